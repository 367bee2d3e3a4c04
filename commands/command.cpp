#include "commands/command.h"

#include "commands/services.h"
#include "platform/errors.h"
#include "platform/unicode.h"

namespace elevara {
namespace {

// The name within `folder` as it was joined to it, as in the list of a batch command: a member's
// location reads the same on every system, "/" between the archives and whatever its own name
// holds ("a.zip/FG-GML-..\x.xml" stays so on Windows too). The bare name of a file elsewhere.
std::string ReportedName(const std::filesystem::path& path, const std::filesystem::path& folder) {
  if (!folder.empty()) {
    const std::filesystem::path::string_type& whole = path.native();
    const std::filesystem::path::string_type base = (folder / "").native();
    if (whole.size() > base.size() && whole.starts_with(base)) {
      return Utf8FromPath(std::filesystem::path(whole.substr(base.size())));
    }
  }
  return DisplayPath(path.filename());
}

const char* DefaultReasonText(SkipReason reason) {
  switch (reason) {
    case SkipReason::kLineBreakInName:
      return "名前に改行が含まれています";
    case SkipReason::kNameTooShort:
      return "名前が短く、メッシュコードを読み取れません";
    case SkipReason::kCodeNotANamePart:
      return "名前のメッシュコードにファイル名に使えない文字があります";
    case SkipReason::kNotOpened:
      return "開けません";
    case SkipReason::kNoStartPoint:
      return "開始位置 gml:startPoint がありません";
    case SkipReason::kNoValueList:
      return "標高値の並び gml:tupleList がありません";
    case SkipReason::kArchiveUnreadable:
      return "書庫を読み込めません";
    case SkipReason::kNoRasterSize:
      return "サイドカー（.hd1）から大きさを読み取れません";
    case SkipReason::kOtherRasterSize:
      return "大きさが名前、サイドカー、ENVIヘッダのいずれかと合いません";
    case SkipReason::kOtherPlacement:
      return "ENVIヘッダの位置が名前のメッシュと合いません";
    case SkipReason::kOtherDatum:
      return "ほかのラスタと測地系が異なります";
    case SkipReason::kNotRead:
    case SkipReason::kTileRasterUnreadable:
    case SkipReason::kEnviHeaderUnreadable:
      break;
  }
  return "読み込めません";
}

// A file named in a report, with why, when that is to be said.
struct ReportedFile {
  std::filesystem::path path;
  std::string reason;
};

// The files one per line, at most kFinalReportNamesShown of them, then how many more; each
// followed by its reason in full-width parentheses when it has one.
std::string NamedFiles(const std::vector<ReportedFile>& files,
                       const std::filesystem::path& folder) {
  std::string text;
  for (std::size_t i = 0; i < files.size() && i < kFinalReportNamesShown; ++i) {
    text += "\n";
    text += ReportedName(files[i].path, folder);
    if (!files[i].reason.empty()) text += "（" + files[i].reason + "）";
  }
  if (files.size() > kFinalReportNamesShown) {
    text += "\nほか" + std::to_string(files.size() - kFinalReportNamesShown) + "件";
  }
  return text;
}

}  // namespace

std::string SkipReasonText(const SkippedInput& input) {
  return input.error ? DescribeReason(input.error) : DefaultReasonText(input.reason);
}

std::string FinalReport(const std::vector<SkippedInput>& skipped,
                        const std::filesystem::path& folder, std::string_view head) {
  std::string text(head);
  if (skipped.empty()) return text;
  std::vector<ReportedFile> files;
  for (const SkippedInput& input : skipped) files.push_back({input.path, SkipReasonText(input)});
  text += "\n読み込めなかったファイル：" + std::to_string(skipped.size()) + "件";
  return text + NamedFiles(files, folder);
}

std::string InterruptedReport(const Interrupted& interrupted, const std::filesystem::path& folder) {
  std::string text = kInterruptedMessage;
  if (interrupted.unwritten.empty()) return text;
  std::vector<ReportedFile> files;
  for (const std::filesystem::path& output : interrupted.unwritten) files.push_back({output, {}});
  text += "\n書き出さなかったファイル：" + std::to_string(files.size()) + "件";
  return text + NamedFiles(files, folder);
}

BatchReport ReportOfBatch(const BatchResult& result, std::string_view notFound,
                          const std::filesystem::path& folder) {
  BatchReport report;
  for (const SkippedInput& input : result.skipped) report.skipped.push_back(input.path);
  std::string_view head = kFinishedMessage;
  if (!result.found) {
    report.outcome = CommandOutcome::kNotFound;
    head = notFound;
  } else if (result.written.empty()) {
    report.outcome = CommandOutcome::kFailed;
    head = kNothingWrittenMessage;
  }
  report.text = FinalReport(result.skipped, folder, head);
  if (!result.leftOutOfLayer.empty()) {
    std::vector<ReportedFile> leftOut;
    for (const SkippedInput& mosaic : result.leftOutOfLayer) {
      leftOut.push_back({mosaic.path, SkipReasonText(mosaic)});
    }
    report.text += "\n" + std::string(kLeftOutOfLayer) + std::to_string(leftOut.size()) + "件";
    report.text += NamedFiles(leftOut, folder);
    report.notice = true;
  }
  return report;
}

CommandResult RunBatchCommand(Services& services, const BatchTexts& texts, const BatchCall& call) {
  auto picked = services.runOpenDialog(texts.openTitle, texts.openFilter);
  if (!picked) {
    services.showMessage(texts.noInput);
    return {CommandOutcome::kCancelled, {}};
  }
  // The picked file only names the folder.
  const std::filesystem::path folder = picked->parent_path();
  return RunReportingFileErrors(services, [&] {
    ServicesProgress progress(services);
    BatchReport report =
        ReportOfBatch(call({services.fileSystem(), progress, folder}), texts.notFound, folder);
    services.showMessage(report.text);
    // A run that got through its phases leaves the bar empty; one that found nothing never set it.
    if (report.outcome != CommandOutcome::kNotFound) progress.reset();
    return CommandResult{report.outcome, std::move(report.skipped), report.notice};
  });
}

CommandResult RunReportingFileErrors(Services& services,
                                     const std::function<CommandResult()>& body) {
  try {
    return body();
  } catch (const FileError& error) {
    services.showErrorMessage(error.what());
    return {CommandOutcome::kFailed, {}};
  }
}

}  // namespace elevara
