// Runs the real elevara-cli executable in a folder of its own, with its standard output and
// standard error captured, as a script would run it.
#pragma once

#if !defined(_WIN32)
#include <sys/types.h>
#endif

#include <filesystem>
#include <string>
#include <vector>

namespace elevara::testing {

struct CliRun {
  // The exit status, or -1 when a signal ended the process.
  int status = -1;
  std::string out;
  std::string err;
};

// What start() gives and wait() takes: the process id, or on Windows the process's handle.
#if defined(_WIN32)
using CliProcessId = void*;
#else
using CliProcessId = pid_t;
#endif

class CliProcess {
 public:
  // `workFolder` becomes the process's current folder; the captured streams go elsewhere.
  CliProcess(std::filesystem::path workFolder, std::filesystem::path captureFolder);

  CliRun run(const std::vector<std::string>& arguments);

  // For tests that act on the process while it runs: start(), then wait().
  CliProcessId start(const std::vector<std::string>& arguments);
  // Waits at most `seconds`, then kills the process; the test fails on a timeout.
  CliRun wait(CliProcessId process, int seconds);

 private:
  std::filesystem::path workFolder_;
  std::filesystem::path outPath_;
  std::filesystem::path errPath_;
};

}  // namespace elevara::testing
