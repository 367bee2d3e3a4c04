#include "commands/geotiff_command.h"

#include "platform/errors.h"
#include "raster/envi_header.h"
#include "raster/raw_raster.h"

namespace elevara {

CommandResult RunGeoTiffExport(Services& services) {
  using namespace geotiff_text;
  return RunBatchCommand(services, {kOpenTitle, kOpenFilter, kNoFileChosen, kNotFound},
                         ExportGeoTiffFolder);
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
