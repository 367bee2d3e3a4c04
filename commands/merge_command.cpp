#include "commands/merge_command.h"

#include "commands/services.h"

namespace elevara {

CommandResult RunDem5Merge(Services& services) {
  auto picked = services.runOpenDialog(dem5_text::kOpenTitle, dem5_text::kOpenFilter);
  if (!picked) {
    services.showMessage(dem5_text::kNoInput);
    return {CommandOutcome::kCancelled, {}};
  }
  const std::filesystem::path folder = picked->parent_path();
  return RunReportingFileErrors(services, [&] {
    ServicesProgress progress(services);
    const BatchResult result = MergeDem5Folder({services.fileSystem(), progress, folder});
    return ShowBatchReport(services, progress, ReportOfBatch(result, dem5_text::kNotFound, folder));
  });
}

}  // namespace elevara
