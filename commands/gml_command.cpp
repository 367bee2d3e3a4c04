#include "commands/gml_command.h"

#include "commands/services.h"

namespace elevara {

CommandResult RunGmlConversion(Services& services, const GmlConversion& conversion, int workers) {
  auto chosen = services.runOpenDialog(gml_text::kOpenTitle, gml_text::kOpenFilter);
  if (!chosen) {
    services.showMessage(gml_text::kNoFileChosen);
    return {CommandOutcome::kCancelled, {}};
  }
  // The chosen file only names the folder.
  const std::filesystem::path folder = chosen->parent_path();
  return RunReportingFileErrors(services, [&] {
    ServicesProgress progress(services);
    // The bar and the window's messages stay on this thread (RunParallelJobs).
    const BatchResult result =
        ConvertGmlFolder({services.fileSystem(), progress, folder, workers}, conversion);
    return ShowBatchReport(services, progress,
                           ReportOfBatch(result, gml_text::kNoFileFound, folder));
  });
}

CommandResult RunGml10Conversion(Services& services) {
  return RunGmlConversion(services, kGml10Conversion);
}

CommandResult RunGml5Conversion(Services& services) {
  return RunGmlConversion(services, kGml5Conversion);
}

}  // namespace elevara
