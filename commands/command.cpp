#include "commands/command.h"

#include "commands/services.h"
#include "platform/errors.h"

namespace elevara {
namespace {

// The name within `folder`, with "/" between the names as in the list of a batch command; the
// bare name of a file elsewhere.
std::string ReportedName(const std::filesystem::path& path, const std::filesystem::path& folder) {
  const std::filesystem::path within =
      folder.empty() ? std::filesystem::path() : path.lexically_relative(folder);
  if (within.empty() || *within.begin() == "..") return DisplayPath(path.filename());
  const std::u8string text = within.generic_u8string();
  return std::string(text.begin(), text.end());
}

// A heading with the count, then the names, at most kFinalReportNamesShown of them.
std::string NamedFiles(std::string_view heading, const std::vector<std::filesystem::path>& files,
                       const std::filesystem::path& folder) {
  constexpr std::size_t kNamesShown = kFinalReportNamesShown;
  std::string text = "\n" + std::string(heading) + std::to_string(files.size()) + "件";
  for (std::size_t i = 0; i < files.size() && i < kNamesShown; ++i) {
    text += "\n";
    text += ReportedName(files[i], folder);
  }
  if (files.size() > kNamesShown) {
    text += "\nほか" + std::to_string(files.size() - kNamesShown) + "件";
  }
  return text;
}

}  // namespace

std::string FinalReport(const std::vector<std::filesystem::path>& skipped,
                        const std::filesystem::path& folder) {
  std::string text = kFinishedMessage;
  if (skipped.empty()) return text;
  return text + NamedFiles("読み込めなかったファイル：", skipped, folder);
}

BatchReport ReportOfBatch(const BatchResult& result, std::string_view notFound,
                          const std::filesystem::path& folder) {
  BatchReport report;
  for (const SkippedInput& input : result.skipped) report.skipped.push_back(input.path);
  if (!result.found) {
    report.outcome = CommandOutcome::kNotFound;
    report.text = notFound;
  } else {
    report.text = FinalReport(report.skipped, folder);
  }
  if (!result.leftOutOfLayer.empty()) {
    std::vector<std::filesystem::path> leftOut;
    for (const SkippedInput& mosaic : result.leftOutOfLayer) leftOut.push_back(mosaic.path);
    report.text += NamedFiles(kLeftOutOfLayer, leftOut, folder);
    report.notice = true;
  }
  return report;
}

CommandResult ShowBatchReport(Services& services, ServicesProgress& progress, BatchReport report) {
  services.showMessage(report.text);
  if (report.outcome == CommandOutcome::kFinished) progress.reset();
  return {report.outcome, std::move(report.skipped), report.notice};
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
