#include "commands/geotiff_command.h"

#include "commands/services.h"
#include "platform/errors.h"
#include "raster/envi_header.h"
#include "raster/raw_raster.h"

namespace elevara {

CommandResult RunGeoTiffExport(Services& services) {
  auto picked = services.runOpenDialog(geotiff_text::kOpenTitle, geotiff_text::kOpenFilter);
  if (!picked) {
    services.showMessage(geotiff_text::kNoFileChosen);
    return {CommandOutcome::kCancelled, {}};
  }
  // The picked file only names the folder.
  const std::filesystem::path folder = picked->parent_path();
  return RunReportingFileErrors(services, [&] {
    ServicesProgress progress(services);
    const BatchResult result = ExportGeoTiffFolder({services.fileSystem(), progress, folder});
    return ShowBatchReport(services, progress,
                           ReportOfBatch(result, geotiff_text::kNotFound, folder));
  });
}

std::string GeoTiffReport(const GeoTiffOutcome& outcome, const std::filesystem::path& raster) {
  if (!outcome.refusal) return std::string(kFinishedMessage) + "\n" + DisplayPath(outcome.tif);
  switch (*outcome.refusal) {
    case GeoTiffRefusal::kNoSize:
      return std::string(geotiff_text::kNoSize) + "\n" + DisplayPath(SidecarPathFor(raster));
    case GeoTiffRefusal::kNoHeader:
      return std::string(geotiff_text::kNoHeader) + "\n" + DisplayPath(EnviHeaderPathFor(raster));
    case GeoTiffRefusal::kOtherSize:
      break;
  }
  return std::string(geotiff_text::kOtherSize) + "\n" + DisplayPath(raster);
}

}  // namespace elevara
