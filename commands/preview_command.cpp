#include "commands/preview_command.h"

#include "commands/services.h"
#include "platform/errors.h"
#include "raster/raw_raster.h"

namespace elevara {

std::string PreviewReport(const PreviewOutcome& outcome, const std::filesystem::path& raster) {
  switch (outcome.status) {
    case PreviewOutcome::Status::kWritten:
      return std::string(kPreviewWritten) + "\n" + DisplayPath(outcome.picture);
    case PreviewOutcome::Status::kNoSize:
      return std::string(kPreviewNoSize) + "\n" + DisplayPath(SidecarPathFor(raster));
    case PreviewOutcome::Status::kOverRaster:
      break;
  }
  return std::string(kPreviewOverRaster) + "\n" + DisplayPath(outcome.picture);
}

CommandResult RunPreview(Services& services, const std::filesystem::path& raster,
                         const std::optional<std::filesystem::path>& png) {
  return RunReportingFileErrors(services, [&]() -> CommandResult {
    ServicesProgress progress(services);
    const PreviewOutcome outcome =
        DrawPreview(services.fileSystem(), progress, raster, png.value_or(std::filesystem::path()));
    services.showMessage(PreviewReport(outcome, raster));
    if (outcome.status != PreviewOutcome::Status::kWritten) return {CommandOutcome::kFailed, {}};
    progress.reset();
    return {CommandOutcome::kFinished, {}};
  });
}

}  // namespace elevara
