// elevara-cli: the window's four commands from a terminal.
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/front_end.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/unicode.h"
#else
#include <unistd.h>
#endif

namespace {

// The one piece of process-wide state: a signal handler can reach nothing else. It only records
// the signal; the command notices it at its next progress step or poll and unwinds.
volatile std::sig_atomic_t interruptSignal = 0;

void NoteInterrupt(int signal) {
  interruptSignal = signal;
}

#if defined(_WIN32)

// While it lives, standard output and error carry the program's own bytes (no LF turned into
// CR LF), the console shows them as the UTF-8 they are, and the console on standard error
// understands the escape sequence that redraws the progress line. Everything is put back after.
class WindowsConsole {
 public:
  WindowsConsole() : outputCodePage_(GetConsoleOutputCP()) {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    if (outputCodePage_ != 0) SetConsoleOutputCP(CP_UTF8);
    if (GetConsoleMode(errHandle_, &errMode_)) {
      errIsConsole_ =
          SetConsoleMode(errHandle_, errMode_ | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
      if (!errIsConsole_) SetConsoleMode(errHandle_, errMode_);
    }
  }
  ~WindowsConsole() {
    if (outputCodePage_ != 0) SetConsoleOutputCP(outputCodePage_);
    if (errIsConsole_) SetConsoleMode(errHandle_, errMode_);
  }
  WindowsConsole(const WindowsConsole&) = delete;
  WindowsConsole& operator=(const WindowsConsole&) = delete;

  // A console that draws the progress line; _isatty() would also say yes for NUL.
  bool errIsConsole() const { return errIsConsole_; }

 private:
  UINT outputCodePage_;
  HANDLE errHandle_ = GetStdHandle(STD_ERROR_HANDLE);
  DWORD errMode_ = 0;
  bool errIsConsole_ = false;
};

#endif

void InstallInterruptHandlers() {
#if defined(_WIN32)
  std::signal(SIGINT, NoteInterrupt);
  std::signal(SIGBREAK, NoteInterrupt);
#else
  struct sigaction action {};
  action.sa_handler = NoteInterrupt;
  sigemptyset(&action.sa_mask);
  // A second Ctrl-C stops the process at once, for a step that never ends. No SA_RESTART: a
  // read or write that waits on something that never moves (a FIFO nobody drains) fails with
  // EINTR, and the command unwinds from its file error as from the step.
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
#endif
}

int Run(const std::vector<std::string>& arguments, bool errIsTerminal) {
  InstallInterruptHandlers();
  const std::vector<std::string_view> views(arguments.begin(), arguments.end());
  const elevara::cli::Terminal terminal{std::cout, std::cerr, errIsTerminal, interruptSignal};
  return elevara::cli::RunFrontEnd(views, terminal);
}

}  // namespace

#if defined(_WIN32)

// The arguments as Windows holds them, in UTF-16, so that no name is lost to the code page.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view argument(argv[i]);
    arguments.push_back(elevara::Utf8FromUtf16(std::u16string(argument.begin(), argument.end())));
  }
  const WindowsConsole console;
  return Run(arguments, console.errIsConsole());
}

#else

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return Run(arguments, isatty(STDERR_FILENO) == 1);
}

#endif
