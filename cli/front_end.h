// elevara-cli from its arguments to its exit status, apart from the process-wide pieces (the
// signal handler and the standard streams), which belong to main().
#pragma once

#include <csignal>
#include <ostream>
#include <span>
#include <string_view>

#include "commands/command.h"

namespace elevara::cli {

inline constexpr int kExitFinished = 0;
inline constexpr int kExitNotFinished = 1;
inline constexpr int kExitUsage = 2;
// The shell's convention for a process stopped by a signal: 128 plus the signal's number.
inline constexpr int kExitSignalBase = 128;

struct Terminal {
  std::ostream& out;
  std::ostream& err;
  // Progress is drawn only where somebody watches it.
  bool errIsTerminal = false;
  // Set to the signal's number by the signal handler.
  const volatile std::sig_atomic_t& interruptSignal;
};

// `arguments` excludes the program name.
int RunFrontEnd(std::span<const std::string_view> arguments, const Terminal& terminal);

// 0 only for a command that reached its final message without skipped files. When the final
// report could not name every skipped file, `err` gets all of them, one per line.
int ExitStatusAfter(const CommandResult& result, std::ostream& err);

}  // namespace elevara::cli
