// A picture of a raster without a GIS: shaded relief in elevation tints, written as a PNG.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "platform/command.h"
#include "raster/mesh_code.h"

namespace elevara {

class Progress;
class Services;
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

// Writes the picture of the `width` x `height` raster at `raster` to `png`, reading the raster
// twice, row by row (once for its range of elevations, once to draw it), in memory of a few
// rows whatever its size. No-data (-9999.0, and any value that is not finite) is transparent.
// `placement` gives the cells' ground size; without it a cell is taken as 10 m square. Takes
// 2 x height progress steps. Throws FileError.
void WritePreview(FileSystem& fs, Progress& progress, const std::filesystem::path& raster,
                  std::int64_t width, std::int64_t height,
                  const std::optional<GeoPlacement>& placement, const std::filesystem::path& png);

// The terminal's preview command: the raster's size from its ".hd1" sidecar (kPreviewNoSize
// without one, or for a width of more than kPreviewWidestRaster), its placement
// from its ENVI header when it has one, the picture at `png` (default: the raster's path with
// ".png" appended). A picture that would replace the raster, its sidecar or its ENVI header is
// refused with kPreviewOverRaster, and nothing is written.
CommandResult RunPreview(Services& services, const std::filesystem::path& raster,
                         const std::optional<std::filesystem::path>& png);

inline constexpr char kPreviewWritten[] = "プレビュー画像を書き出しました";
inline constexpr char kPreviewNoSize[] =
    "ラスタの大きさがわかりません（サイドカー .hd1 がないか、その内容が正しくありません）";
inline constexpr char kPreviewOverRaster[] =
    "プレビュー画像の保存先がラスタまたはそのヘッダと同じです\n別の名前を指定してください";

}  // namespace elevara
