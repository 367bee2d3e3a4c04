#include "tests/cli/cli_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <stdexcept>
#include <thread>

#include "tests/support/files.h"

namespace elevara::testing {
namespace {

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

}  // namespace

CliProcess::CliProcess(std::filesystem::path workFolder, std::filesystem::path captureFolder)
    : workFolder_(std::move(workFolder)),
      outPath_(captureFolder / "stdout.txt"),
      errPath_(captureFolder / "stderr.txt") {}

CliRun CliProcess::run(const std::vector<std::string>& arguments) {
  return wait(start(arguments), 60);
}

pid_t CliProcess::start(const std::vector<std::string>& arguments) {
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

CliRun CliProcess::wait(pid_t pid, int seconds) {
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

}  // namespace elevara::testing
