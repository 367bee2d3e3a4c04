// elevara-cli: the window's four commands from a terminal.
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string_view>
#include <vector>

#include "cli/front_end.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// The one piece of process-wide state: a signal handler can reach nothing else. It only records
// the signal; the command notices it at its next progress step and unwinds.
volatile std::sig_atomic_t interruptSignal = 0;

void NoteInterrupt(int signal) {
  interruptSignal = signal;
}

bool StandardErrorIsTerminal() {
#if defined(_WIN32)
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) == 1;
#endif
}

void InstallInterruptHandlers() {
#if defined(_WIN32)
  std::signal(SIGINT, NoteInterrupt);
  std::signal(SIGTERM, NoteInterrupt);
#else
  struct sigaction action {};
  action.sa_handler = NoteInterrupt;
  sigemptyset(&action.sa_mask);
  // A second Ctrl-C stops the process at once, for a step that never ends. System calls under
  // way go on, so that the signal is noticed only where the command can unwind cleanly.
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  InstallInterruptHandlers();
  std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const elevara::cli::Terminal terminal{std::cout, std::cerr, StandardErrorIsTerminal(),
                                        interruptSignal};
  return elevara::cli::RunFrontEnd(arguments, terminal);
}
