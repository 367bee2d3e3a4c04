// A picture of a raster without a GIS: shaded relief in elevation tints, written as a PNG.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "platform/progress.h"
#include "raster/mesh_code.h"

namespace elevara {

class FileSystem;

inline constexpr std::int64_t kPreviewLongestSide = 2048;
// The widest raster drawn: one of its rows is held, 4 MB at this width.
inline constexpr std::int64_t kPreviewWidestRaster = 1'000'000;

// The picture of a width x height raster: each pixel is the mean of a square block of cells,
// as few cells per pixel as keep both sides within kPreviewLongestSide.
struct PreviewSize {
  std::int64_t cellsPerPixel;
  std::int64_t width;
  std::int64_t height;
};
PreviewSize PreviewSizeOf(std::int64_t width, std::int64_t height);

// The colour of an elevation at `fraction` (0 lowest, 1 highest) of the raster's range: low
// greens through ochre and brown to near white.
std::array<std::uint8_t, 3> ElevationTint(double fraction);

// Brightness 0 to 1 of a surface lit from the north-west, 45 degrees above the horizon, given
// its slopes: metres of rise per metre eastward and per metre northward.
double HillShade(double riseEast, double riseNorth);

// A raster to draw: where it is, its size, and the cells' ground size when it is placed
// (without a placement a cell is taken as 10 m square).
struct PreviewSource {
  std::filesystem::path raster;
  std::int64_t width;
  std::int64_t height;
  std::optional<GeoPlacement> placement;
};

// Writes the picture of `source` to `png`, reading the raster twice, row by row (once for its
// range of elevations, once to draw it), in memory of a few rows whatever its size. No-data
// (-9999.0, and any value that is not finite) is transparent. Takes 2 x height progress steps.
// Throws FileError.
void WritePreview(FileSystem& fs, Progress& progress, const PreviewSource& source,
                  const std::filesystem::path& png);

// What DrawPreview did.
struct PreviewOutcome {
  enum class Status {
    kWritten,
    kNoSize,      // no ".hd1" sidecar, one that states no size, a size beyond the raster's
                  // length or a width beyond kPreviewWidestRaster: nothing was written
    kOverRaster,  // the picture would replace the raster, its sidecar or its ENVI header:
                  // nothing was written
  };
  Status status;
  std::filesystem::path picture;  // the picture's path, written or refused
};

// The picture of the raster at `raster`: its size from its ".hd1" sidecar, its placement from
// its ENVI header when it has one, written to `png` (empty: the raster's path with ".png"
// appended; see WritePreview) in a phase of its own. Throws FileError.
PreviewOutcome DrawPreview(FileSystem& fs, Progress& progress, const std::filesystem::path& raster,
                           const std::filesystem::path& png);

}  // namespace elevara
