// What every command returns, how it ends and what it reports: the pieces the window and the
// terminal front end share.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "raster/batch_steps.h"

namespace elevara {

class Services;
class ServicesProgress;

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

// The heading under which the final report names the mosaics left out of the area's layer
// (the virtual raster), with their count.
inline constexpr char kLeftOutOfLayer[] = "仮想ラスタ（.vrt）に含めなかったラスタ：";

// What the user is told at the end of a batch run: `notFound` when nothing matched, else the
// final report on what was skipped, and the mosaics left out of the area's layer, a notice.
struct BatchReport {
  CommandOutcome outcome = CommandOutcome::kFinished;  // kFinished or kNotFound
  std::string text;
  std::vector<std::filesystem::path> skipped;
  bool notice = false;
};
BatchReport ReportOfBatch(const BatchResult& result, std::string_view notFound,
                          const std::filesystem::path& folder);

// The end of a batch command in the window: the report in the message box, then, for a run
// that got through its phases, the bar back at position 0 once the box is closed.
CommandResult ShowBatchReport(Services& services, ServicesProgress& progress, BatchReport report);

// Runs a command body; a FileError that leaves it is shown by showErrorMessage (the action, the
// file and the reason) and ends the command as kFailed. Other exceptions pass on to the caller's
// error display.
CommandResult RunReportingFileErrors(Services& services,
                                     const std::function<CommandResult()>& body);

}  // namespace elevara
