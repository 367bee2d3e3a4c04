// What every command returns and how it ends: the pieces the window and the terminal front end
// share.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace elevara {

class Services;

enum class CommandOutcome {
  kFinished,    // reached "ファイル変換を終了しました"
  kCancelled,   // a dialog was cancelled
  kNotFound,    // nothing to work on
  kOutOfRange,  // a typed number out of range, or not the input's size
  kFailed,      // a file could not be read or written; the user has been told which
};

struct CommandResult {
  CommandOutcome outcome = CommandOutcome::kFinished;
  // Input files that were skipped or could not be read, in the order they were met.
  std::vector<std::filesystem::path> skipped;
  // The final message carries a notice the user has to read (an input of another length than
  // the size typed).
  bool notice = false;
};

inline constexpr char kFinishedMessage[] = "ファイル変換を終了しました";

// The final report: kFinishedMessage, then, only when files were skipped, how many and which
// (at most kFinalReportNamesShown names, then how many more, so the box stays readable). A file
// is named by its path from `folder` when it lies there ("a.zip/x.xml" for a member of an
// archive), by its bare name otherwise.
inline constexpr std::size_t kFinalReportNamesShown = 10;
std::string FinalReport(const std::vector<std::filesystem::path>& skipped,
                        const std::filesystem::path& folder = {});

class Progress;

// The end of a batch command that got through its phases: the final report naming `skipped`
// (from `folder`, see FinalReport), then the bar back at position 0 once the box is closed.
CommandResult ReportFinished(Services& services, Progress& progress,
                             std::vector<std::filesystem::path> skipped,
                             const std::filesystem::path& folder = {});

// Runs a command body; a FileError that leaves it is shown by showErrorMessage (the action, the
// file and the reason) and ends the command as kFailed. Other exceptions pass on to the caller's
// error display.
CommandResult RunReportingFileErrors(Services& services,
                                     const std::function<CommandResult()>& body);

}  // namespace elevara
