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

}  // namespace

std::string FinalReport(const std::vector<std::filesystem::path>& skipped,
                        const std::filesystem::path& folder) {
  std::string text = kFinishedMessage;
  if (skipped.empty()) return text;
  constexpr std::size_t kNamesShown = kFinalReportNamesShown;
  text += "\n読み込めなかったファイル：" + std::to_string(skipped.size()) + "件";
  for (std::size_t i = 0; i < skipped.size() && i < kNamesShown; ++i) {
    text += "\n";
    text += ReportedName(skipped[i], folder);
  }
  if (skipped.size() > kNamesShown) {
    text += "\nほか" + std::to_string(skipped.size() - kNamesShown) + "件";
  }
  return text;
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
    if (report.outcome == CommandOutcome::kFinished) progress.reset();
    return CommandResult{report.outcome, std::move(report.skipped)};
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
