#include "raster/preview.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "platform/errors.h"
#include "raster/envi_header.h"
#include "raster/png_writer.h"
#include "raster/raw_raster.h"

namespace elevara {
namespace {

constexpr double kAssumedCellMetres = 10.0;
constexpr double kEarthRadiusMetres = 6371008.8;
// Relief is drawn steeper than it is, so that a picture of a few kilometres per hundred
// pixels still shows hills.
constexpr double kVerticalExaggeration = 3.0;
// The share of a pixel's brightness that does not depend on the light.
constexpr double kAmbientLight = 0.3;

constexpr float kNoPixel = std::numeric_limits<float>::quiet_NaN();

bool IsElevation(float sample) {
  return std::bit_cast<std::uint32_t>(sample) != kNoDataBits && std::isfinite(sample);
}

// Streams the raster's rows and gives, per row of the picture, the mean of the elevations in
// each block of cells (NaN for a block without any).
class BlockMeans {
 public:
  BlockMeans(RasterReader& raster, Progress& progress, std::int64_t width, std::int64_t height,
             const PreviewSize& size)
      : raster_(raster),
        progress_(progress),
        height_(height),
        block_(size.cellsPerPixel),
        cells_(static_cast<std::size_t>(width)),
        sums_(static_cast<std::size_t>(size.width)),
        counts_(static_cast<std::size_t>(size.width)) {}

  // The next row of means into `means` (the picture's width); false after the last.
  bool next(std::vector<float>& means) {
    if (row_ >= height_) return false;
    std::fill(sums_.begin(), sums_.end(), 0.0);
    std::fill(counts_.begin(), counts_.end(), 0);
    const std::int64_t end = std::min(row_ + block_, height_);
    for (; row_ < end; ++row_) {
      raster_.readRow(row_, cells_);
      for (std::size_t column = 0; column < cells_.size(); ++column) {
        if (!IsElevation(cells_[column])) continue;
        const std::size_t pixel = column / static_cast<std::size_t>(block_);
        sums_[pixel] += cells_[column];
        ++counts_[pixel];
      }
      progress_.step();
    }
    for (std::size_t pixel = 0; pixel < means.size(); ++pixel) {
      const auto count = static_cast<double>(counts_[pixel]);
      means[pixel] = count == 0 ? kNoPixel : static_cast<float>(sums_[pixel] / count);
    }
    return true;
  }

 private:
  RasterReader& raster_;
  Progress& progress_;
  std::int64_t height_;
  std::int64_t block_;
  std::int64_t row_ = 0;
  std::vector<float> cells_;
  std::vector<double> sums_;
  std::vector<std::int64_t> counts_;
};

struct ElevationRange {
  float lowest = std::numeric_limits<float>::infinity();
  float highest = -std::numeric_limits<float>::infinity();

  double fractionOf(float elevation) const {
    if (!(highest > lowest)) return 0.0;
    return (static_cast<double>(elevation) - lowest) / (static_cast<double>(highest) - lowest);
  }
};

// The ground size of a picture's pixel, in metres east-west and north-south.
struct PixelGround {
  double across;
  double down;
};

PixelGround PixelGroundOf(const std::optional<GeoPlacement>& placement, std::int64_t height,
                          std::int64_t cellsPerPixel) {
  const double cells = static_cast<double>(cellsPerPixel);
  if (!placement) return {kAssumedCellMetres * cells, kAssumedCellMetres * cells};
  const double metresPerDegree = kEarthRadiusMetres * std::numbers::pi / 180.0;
  const double middleLatitude =
      placement->north - placement->cellHeight * static_cast<double>(height) / 2.0;
  return {placement->cellWidth * cells * metresPerDegree *
              std::cos(middleLatitude * std::numbers::pi / 180.0),
          placement->cellHeight * cells * metresPerDegree};
}

// Draws one row of the picture from the block means of it and of its neighbours north and
// south. A neighbour without elevation stands in as level with the pixel.
class ReliefPainter {
 public:
  ReliefPainter(const ElevationRange& range, const PixelGround& ground)
      : range_(range), ground_(ground) {}

  void paint(const std::vector<float>& north, const std::vector<float>& row,
             const std::vector<float>& south, std::vector<std::uint8_t>& rgba) const {
    const std::size_t width = row.size();
    for (std::size_t x = 0; x < width; ++x) {
      std::uint8_t* pixel = rgba.data() + 4 * x;
      const float centre = row[x];
      if (std::isnan(centre)) {
        std::fill(pixel, pixel + 4, std::uint8_t{0});
        continue;
      }
      const std::size_t west = x > 0 ? x - 1 : x;
      const std::size_t east = x + 1 < width ? x + 1 : x;
      const auto at = [centre](const std::vector<float>& line, std::size_t i) {
        return std::isnan(line[i]) ? static_cast<double>(centre) : static_cast<double>(line[i]);
      };
      // Horn's weights over the 3 x 3 neighbourhood.
      const double eastward = (at(north, east) + 2 * at(row, east) + at(south, east)) -
                              (at(north, west) + 2 * at(row, west) + at(south, west));
      const double northward = (at(north, west) + 2 * at(north, x) + at(north, east)) -
                               (at(south, west) + 2 * at(south, x) + at(south, east));
      const double riseEast = kVerticalExaggeration * eastward / (8 * ground_.across);
      const double riseNorth = kVerticalExaggeration * northward / (8 * ground_.down);
      const double light = kAmbientLight + (1 - kAmbientLight) * HillShade(riseEast, riseNorth);
      const std::array<std::uint8_t, 3> tint = ElevationTint(range_.fractionOf(centre));
      for (std::size_t channel = 0; channel < 3; ++channel) {
        pixel[channel] =
            static_cast<std::uint8_t>(std::lround(std::min(255.0, tint[channel] * light)));
      }
      pixel[3] = 255;
    }
  }

 private:
  ElevationRange range_;
  PixelGround ground_;
};

ElevationRange RangeOfElevations(BlockMeans means, std::size_t width) {
  ElevationRange range;
  std::vector<float> row(width);
  while (means.next(row)) {
    for (float mean : row) {
      if (std::isnan(mean)) continue;
      range.lowest = std::min(range.lowest, mean);
      range.highest = std::max(range.highest, mean);
    }
  }
  return range;
}

// Whether `picture` would replace the raster or one of its headers: the picture is written to a
// temporary file and renamed over whatever has its name.
bool ReplacesTheRaster(const std::filesystem::path& picture, const std::filesystem::path& raster) {
  for (const std::filesystem::path& file :
       {raster, SidecarPathFor(raster), EnviHeaderPathFor(raster)}) {
    std::error_code absent;
    if (picture.lexically_normal() == file.lexically_normal() ||
        std::filesystem::equivalent(picture, file, absent)) {
      return true;
    }
  }
  return false;
}

// Whether the raster's file holds every row its sidecar states: a size beyond the file's length
// is no size of this raster, and would have the rows of nothing read for ever.
bool HoldsRowsOf(FileSystem& fs, const std::filesystem::path& raster, RasterSize size) {
  std::error_code error;
  const std::uint64_t length = fs.fileSize(raster, error);
  const std::optional<std::int64_t> bytes = RasterBytesOf(size);
  return !error && bytes && static_cast<std::uint64_t>(*bytes) <= length;
}

}  // namespace

PreviewSize PreviewSizeOf(std::int64_t width, std::int64_t height) {
  const std::int64_t longest = std::max(width, height);
  const std::int64_t cellsPerPixel =
      std::max<std::int64_t>(1, (longest + kPreviewLongestSide - 1) / kPreviewLongestSide);
  const auto pixels = [cellsPerPixel](std::int64_t cells) {
    return (cells + cellsPerPixel - 1) / cellsPerPixel;
  };
  return {cellsPerPixel, pixels(width), pixels(height)};
}

std::array<std::uint8_t, 3> ElevationTint(double fraction) {
  struct Stop {
    double at;
    double red, green, blue;
  };
  static constexpr Stop kStops[] = {
      {0.00, 52, 120, 72},  {0.15, 104, 160, 88}, {0.35, 196, 200, 120},
      {0.60, 190, 150, 96}, {0.85, 150, 110, 90}, {1.00, 248, 246, 240},
  };
  fraction = std::clamp(fraction, 0.0, 1.0);
  std::size_t upper = 1;
  while (upper + 1 < std::size(kStops) && kStops[upper].at < fraction) ++upper;
  const Stop& low = kStops[upper - 1];
  const Stop& high = kStops[upper];
  const double t = (fraction - low.at) / (high.at - low.at);
  const auto mix = [t](double a, double b) {
    return static_cast<std::uint8_t>(std::lround(a + (b - a) * std::clamp(t, 0.0, 1.0)));
  };
  return {mix(low.red, high.red), mix(low.green, high.green), mix(low.blue, high.blue)};
}

double HillShade(double riseEast, double riseNorth) {
  // The light's direction: azimuth 315 degrees (north-west), altitude 45 degrees.
  const double altitude = std::numbers::pi / 4;
  const double towardEast = -std::cos(altitude) * std::sqrt(0.5);
  const double towardNorth = std::cos(altitude) * std::sqrt(0.5);
  const double up = std::sin(altitude);
  // The surface normal is (-riseEast, -riseNorth, 1), normalised.
  const double lit = -riseEast * towardEast - riseNorth * towardNorth + up;
  return std::max(0.0, lit / std::sqrt(riseEast * riseEast + riseNorth * riseNorth + 1));
}

void WritePreview(FileSystem& fs, Progress& progress, const PreviewSource& source,
                  const std::filesystem::path& png) {
  const std::int64_t width = source.width;
  const std::int64_t height = source.height;
  const PreviewSize size = PreviewSizeOf(width, height);
  const auto pixels = static_cast<std::size_t>(size.width);
  RasterReader reader = RasterReader::Open(fs, source.raster, width);
  const ElevationRange range =
      RangeOfElevations(BlockMeans(reader, progress, width, height, size), pixels);

  PngWriter picture = PngWriter::Create(fs, png, static_cast<std::uint32_t>(size.width),
                                        static_cast<std::uint32_t>(size.height));
  const ReliefPainter painter(range, PixelGroundOf(source.placement, height, size.cellsPerPixel));
  BlockMeans means(reader, progress, width, height, size);
  std::vector<float> north(pixels), row(pixels), south(pixels);
  std::vector<std::uint8_t> rgba(4 * pixels);
  means.next(row);
  north = row;
  for (bool more = true; more;) {
    more = means.next(south);
    if (!more) south = row;
    painter.paint(north, row, south, rgba);
    picture.writeRow(rgba);
    std::swap(north, row);
    std::swap(row, south);
  }
  picture.commit();
}

PreviewOutcome DrawPreview(FileSystem& fs, Progress& progress, const std::filesystem::path& raster,
                           const std::filesystem::path& png) {
  using Status = PreviewOutcome::Status;
  std::filesystem::path picture = png;
  if (picture.empty()) {
    picture = raster;
    picture += ".png";
  }
  const std::optional<RasterSize> size = ReadRawHeader(fs, raster);
  if (!size || size->width < 1 || size->width > kPreviewWidestRaster || size->height < 1 ||
      !HoldsRowsOf(fs, raster, *size)) {
    return {Status::kNoSize, picture};
  }
  std::optional<GeoPlacement> placement;
  if (auto envi = ReadEnviHeader(fs, raster); envi && envi->mapInfo) {
    placement = PlacementOfMapInfo(*envi->mapInfo);
  }
  if (ReplacesTheRaster(picture, raster)) return {Status::kOverRaster, picture};
  progress.startPhase(2 * size->height);
  try {
    WritePreview(fs, progress, {raster, size->width, size->height, placement}, picture);
  } catch (Interrupted& interrupted) {
    interrupted.unwritten.push_back(picture);
    throw;
  }
  return {Status::kWritten, picture};
}

}  // namespace elevara
