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

class Interrupted;
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
// A batch run that found inputs but could write no output from them.
inline constexpr char kNothingWrittenMessage[] = "変換できたファイルがありません";
inline constexpr char kInterruptedMessage[] = "中断しました";

// Why an input was left out, in the user's words: the system's or the archive's own reason
// where one is known (DescribeReason), else what the reason for skipping it says.
std::string SkipReasonText(const SkippedInput& input);

// The final report: `head` (kFinishedMessage by default), then, only when files were skipped,
// how many and which, each with its reason (at most kFinalReportNamesShown of them, then how
// many more, so the box stays readable). A file is named by its path from `folder` when it lies
// there ("a.zip/x.xml" for a member of an archive), by its bare name otherwise.
inline constexpr std::size_t kFinalReportNamesShown = 10;
std::string FinalReport(const std::vector<SkippedInput>& skipped,
                        const std::filesystem::path& folder = {},
                        std::string_view head = kFinishedMessage);

// What the user is told of an interrupted command: kInterruptedMessage, then the outputs it did
// not write, named as FinalReport names files.
std::string InterruptedReport(const Interrupted& interrupted,
                              const std::filesystem::path& folder = {});

// The heading under which the final report names the mosaics left out of the area's layer
// (the virtual raster), with their count.
inline constexpr char kLeftOutOfLayer[] = "仮想ラスタ（.vrt）に含めなかったラスタ：";

// What the user is told at the end of a batch run: `notFound` when nothing matched,
// kNothingWrittenMessage when nothing could be written of what did, else kFinishedMessage;
// each followed by what was skipped (FinalReport), since an archive that could not be read may
// be why nothing was found; then the mosaics left out of the area's layer, a notice.
struct BatchReport {
  CommandOutcome outcome = CommandOutcome::kFinished;  // kFinished, kNotFound or kFailed
  std::string text;
  std::vector<std::filesystem::path> skipped;
  bool notice = false;
};
BatchReport ReportOfBatch(const BatchResult& result, std::string_view notFound,
                          const std::filesystem::path& folder);

// The texts of a batch command: its open dialog, and its messages for a cancelled dialog and for
// a folder without anything to work on.
struct BatchTexts {
  const char* openTitle;
  const char* openFilter;
  const char* noInput;
  const char* notFound;
};

// The core call of a batch command, on the folder of the picked file.
using BatchCall = std::function<BatchResult(const BatchContext& context)>;

// A batch command in the window: asks for one file, runs `call` on its folder, shows the report
// in the message box and, for a run that got through its phases, puts the bar back at position 0
// once the box is closed.
CommandResult RunBatchCommand(Services& services, const BatchTexts& texts, const BatchCall& call);

// Runs a command body; a FileError that leaves it is shown by showErrorMessage (the action, the
// file and the reason) and ends the command as kFailed. Other exceptions pass on to the caller's
// error display.
CommandResult RunReportingFileErrors(Services& services,
                                     const std::function<CommandResult()>& body);

}  // namespace elevara
