#include "tests/cli/cli_process.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <csignal>
#include <stdexcept>
#include <thread>

#include "platform/files.h"
#include "platform/unicode.h"
#include "testkit/files.h"

namespace elevara::testing {
namespace {

#if defined(_WIN32)

std::wstring Wide(const std::string& utf8) {
  const std::u16string wide = Utf16FromUtf8(utf8);
  return std::wstring(wide.begin(), wide.end());
}

// One argument as CommandLineToArgvW, which splits the command line of wmain, reads it back:
// quoted, with a quote and the backslashes before a quote or the closing quote doubled.
std::wstring QuotedArgument(const std::wstring& argument) {
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, L'\\');
  return quoted + L"\"";
}

HANDLE InheritableOutput(const std::filesystem::path& path) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

#else

// Between fork() and exec() only async-signal-safe calls are allowed, so everything the child
// needs is prepared before the fork.
struct ChildPlan {
  std::string program = ELEVARA_CLI;
  std::vector<std::string> arguments;
  std::vector<char*> argv;
  std::string workFolder;
  std::string outPath;
  std::string errPath;
};

[[noreturn]] void BecomeCli(const ChildPlan& plan) {
  int out = open(plan.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  int err = open(plan.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0 || err < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0 ||
      chdir(plan.workFolder.c_str()) != 0) {
    _exit(127);
  }
  close(out);
  close(err);
  execv(plan.program.c_str(), plan.argv.data());
  _exit(127);
}

#endif

}  // namespace

CliProcess::CliProcess(std::filesystem::path workFolder, std::filesystem::path captureFolder)
    : workFolder_(std::move(workFolder)),
      outPath_(captureFolder / "stdout.txt"),
      errPath_(captureFolder / "stderr.txt") {}

CliRun CliProcess::run(const std::vector<std::string>& arguments) {
  return wait(start(arguments), 60);
}

#if defined(_WIN32)

CliProcessId CliProcess::start(const std::vector<std::string>& arguments) {
  const std::filesystem::path program = std::filesystem::absolute(ELEVARA_CLI);
  std::wstring commandLine = QuotedArgument(program.native());
  for (const std::string& argument : arguments)
    commandLine += L" " + QuotedArgument(Wide(argument));
  HANDLE out = InheritableOutput(outPath_);
  HANDLE err = InheritableOutput(errPath_);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = INVALID_HANDLE_VALUE;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  const bool started = out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
                       CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                      0, nullptr, workFolder_.c_str(), &startup, &process);
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  if (err != INVALID_HANDLE_VALUE) CloseHandle(err);
  if (!started) throw std::runtime_error("elevara-cli did not start");
  CloseHandle(process.hThread);
  return process.hProcess;
}

CliRun CliProcess::wait(CliProcessId process, int seconds) {
  const bool ended = WaitForSingleObject(process, static_cast<DWORD>(seconds) * 1000) == 0;
  if (!ended) TerminateProcess(process, 1);
  DWORD status = 0;
  GetExitCodeProcess(process, &status);
  CloseHandle(process);
  if (!ended) throw std::runtime_error("elevara-cli did not end in time");
  CliRun result;
  result.status = static_cast<int>(status);
  result.out = ReadBytes(outPath_);
  result.err = ReadBytes(errPath_);
  return result;
}

#else

CliProcessId CliProcess::start(const std::vector<std::string>& arguments) {
  ChildPlan plan;
  plan.arguments.push_back(plan.program);
  plan.arguments.insert(plan.arguments.end(), arguments.begin(), arguments.end());
  for (auto& argument : plan.arguments) plan.argv.push_back(argument.data());
  plan.argv.push_back(nullptr);
  plan.workFolder = workFolder_.string();
  plan.outPath = outPath_.string();
  plan.errPath = errPath_.string();
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) BecomeCli(plan);
  return pid;
}

CliRun CliProcess::wait(CliProcessId pid, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      throw std::runtime_error("elevara-cli did not end in time");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  CliRun result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadBytes(outPath_);
  result.err = ReadBytes(errPath_);
  return result;
}

#endif

}  // namespace elevara::testing
