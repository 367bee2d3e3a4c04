// The reduced copies of a raster that a GIS draws when it shows the raster small: each level
// half the size of the one before, each cell the mean of the cells of the raster it covers.
#pragma once

#include <bit>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/files.h"
#include "raster/raw_raster.h"

namespace elevara {

// The smallest level's longer side is at most this, as GDAL's overview tools stop by default.
inline constexpr std::int64_t kSmallestOverviewSide = 256;

// The sizes of the levels of a width x height raster, largest first: level k is
// ceil(width / 2^k) x ceil(height / 2^k), down to the first level whose longer side is at most
// kSmallestOverviewSide. None for a raster that small already.
std::vector<RasterSize> OverviewSizes(std::int64_t width, std::int64_t height);

// Whether a cell holds an elevation: NaN holds none, and -9999.0 none where the raster declares
// it as no data.
inline bool HoldsData(float cell, bool declaresNoData) {
  return cell == cell && !(declaresNoData && std::bit_cast<std::uint32_t>(cell) == kNoDataBits);
}

// Builds every level of a raster from its rows, streamed once from north to south, into RAW
// working rasters beside `near` (under temporary names, see TemporaryPathFor), removed when the
// pyramid goes. Each cell of level k is the mean of the cells holding data among the
// 2^k x 2^k cells of the raster it covers (fewer at the east and south edges), as a double
// rounded to float once; a cell covering none is -9999.0 where the raster declares no data,
// NaN otherwise. Holds two rows of sums per level.
class OverviewPyramid {
 public:
  OverviewPyramid(FileSystem& fs, const std::filesystem::path& near, RasterSize size,
                  bool declaresNoData);
  OverviewPyramid(const OverviewPyramid&) = delete;
  OverviewPyramid& operator=(const OverviewPyramid&) = delete;
  ~OverviewPyramid();

  // The raster's next row, `size.width` cells in host order. Throws FileError.
  void addRow(std::span<const float> row);
  // After the raster's last row: the levels are whole and closed. Throws FileError.
  void finish();

  const std::vector<RasterSize>& sizes() const { return sizes_; }
  // The working raster of level `index` (0 the largest), once finished.
  const std::filesystem::path& levelPath(std::size_t index) const;

 private:
  class Level;
  std::vector<RasterSize> sizes_;
  std::vector<std::unique_ptr<Level>> levels_;
  std::vector<double> sums_;
  std::vector<std::uint32_t> counts_;
  bool declaresNoData_;
};

}  // namespace elevara
