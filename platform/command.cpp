#include "platform/command.h"

#include "platform/errors.h"
#include "platform/services.h"

namespace elevara {

std::string FinalReport(const std::vector<std::filesystem::path>& skipped) {
  std::string text = kFinishedMessage;
  if (skipped.empty()) return text;
  constexpr std::size_t kNamesShown = kFinalReportNamesShown;
  text += "\n読み込めなかったファイル：" + std::to_string(skipped.size()) + "件";
  for (std::size_t i = 0; i < skipped.size() && i < kNamesShown; ++i) {
    text += "\n";
    text += DisplayPath(skipped[i].filename());
  }
  if (skipped.size() > kNamesShown) {
    text += "\nほか" + std::to_string(skipped.size() - kNamesShown) + "件";
  }
  return text;
}

CommandResult ReportFinished(Services& services, Progress& progress,
                             std::vector<std::filesystem::path> skipped) {
  services.showMessage(FinalReport(skipped));
  progress.reset();
  return {CommandOutcome::kFinished, std::move(skipped)};
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
