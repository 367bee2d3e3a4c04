// Cloud-optimized GeoTIFF copies of RAW rasters, placed and on their datum as their ENVI headers
// say, which any GIS opens, a web browser too.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "platform/progress.h"
#include "raster/batch_steps.h"
#include "raster/datum.h"
#include "raster/mesh_code.h"

namespace elevara {

class FileSystem;

inline constexpr std::int64_t kGeoTiffTileSize = 512;
// The widest raster exported: a row of tiles of it is held, 184 MB at this width (as wide as
// the no-data replacement takes).
inline constexpr std::int64_t kGeoTiffWidestRaster = 90000;

// A raster to export and what its ENVI header says of it.
struct GeoTiffSource {
  std::filesystem::path raster;
  std::int64_t width = 0;
  std::int64_t height = 0;
  std::optional<GeoPlacement> placement;  // none: the TIFF is not placed
  std::optional<Datum> datum;             // none: it names no coordinate system
  bool declaresNoData = false;            // "data ignore value = -9999"
};

// Why a raster cannot be exported.
enum class GeoTiffRefusal {
  kNoSize,     // no ".hd1" sidecar, one that states no size, or a size beyond what is exported
  kNoHeader,   // no ENVI header: nothing says where the raster lies
  kOtherSize,  // the raster's length, its sidecar and its ENVI header disagree on its size
};

// The source that the ".hd1" sidecar and the ENVI header of `raster` describe, or why there is
// none. Throws FileError when one of them exists but cannot be read.
struct GeoTiffExamination {
  std::optional<GeoTiffSource> source;
  GeoTiffRefusal refusal = GeoTiffRefusal::kNoSize;
};
GeoTiffExamination ExamineGeoTiffSource(FileSystem& fs, const std::filesystem::path& raster);

// The GeoTIFF's path: the raster's with ".tif" appended (3926-ELEVARA.tif).
std::filesystem::path GeoTiffPathFor(const std::filesystem::path& raster);

// The progress steps WriteGeoTiff takes for a raster of this size: one per row read, the
// raster's rows twice and each overview level's once.
std::int64_t GeoTiffSteps(std::int64_t width, std::int64_t height);

// Writes `source` as a cloud-optimized GeoTIFF at `tif`: float32 in tiles of 512 x 512,
// compressed losslessly (DEFLATE with the floating-point predictor), NoData -9999 where the
// source declares it, placed by ModelTiepoint and ModelPixelScale with pixel-is-area, GeoKeys
// for the datum, and the overview levels of OverviewSizes (see OverviewPyramid). The directories
// come first and the image data after them, smallest level first, as cloud-optimized readers
// want it. The raster is read twice, row by row; a row of tiles is held at a time. The GeoTIFF
// takes its name only when whole (see AtomicOutputFile); its overview levels are built in
// working files beside it meanwhile. Throws FileError.
void WriteGeoTiff(FileSystem& fs, Progress& progress, const GeoTiffSource& source,
                  const std::filesystem::path& tif);

// What ExportGeoTiff did with one raster.
struct GeoTiffOutcome {
  std::optional<GeoTiffRefusal> refusal;  // none: written
  std::filesystem::path tif;
};

// The GeoTIFF of the raster at `raster` (see ExamineGeoTiffSource and WriteGeoTiff), beside it,
// in a phase of its own. Throws FileError.
GeoTiffOutcome ExportGeoTiff(FileSystem& fs, Progress& progress,
                             const std::filesystem::path& raster);

// The GeoTIFF of every raster of the context's folder that has its ".hd1" sidecar and an ENVI
// header, in the order of their names, in one phase. found is false when there is none. A raster
// that cannot be exported (see GeoTiffRefusal), opened or read is returned as skipped; its
// earlier GeoTIFF stays. Throws FileError when a GeoTIFF cannot be written.
BatchResult ExportGeoTiffFolder(const BatchContext& context);

}  // namespace elevara
