// The one mosaic writer: assembles a mosaic raster from a grid of tile rasters, streaming one
// mosaic row at a time. It serves the GML10 and GML5 conversions and the DEM5 merge.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "raster/batch_steps.h"

namespace elevara {

class Progress;

struct MosaicLayout {
  int tileWidth;
  int tileHeight;
  int tilesAcross;
  int tilesDown;

  std::int64_t width() const { return std::int64_t{tileWidth} * tilesAcross; }
  std::int64_t height() const { return std::int64_t{tileHeight} * tilesDown; }
};

// The names under which the tile with the given row and column digit may stand, the preferred
// first. Row digit tilesDown - 1 is the northernmost band, column digit 0 the westernmost
// column.
using TileNames = std::function<std::vector<std::filesystem::path>(int rowDigit, int columnDigit)>;

// Writes the mosaic at `path`, strictly top to bottom: band by band from the highest row digit
// down to 0, each mosaic row made of the matching rows of the band's tiles left to right. Tiles
// are opened and read through `tiles`, so absent and unreadable tiles, and rows or samples a
// short tile lacks, are kNoData. Takes one progress step per mosaic row. The raster and its
// ".hd1" sidecar appear under their names only when whole. Throws FileError (nothing is left
// under the mosaic's name then).
void WriteMosaic(FileSystem& fs, Progress& progress, const MosaicLayout& layout,
                 const std::filesystem::path& path, TileRasters& tiles, const TileNames& tileNames);

// The names under which a tile of the mosaic with the given code may stand (see TileNames).
using CodeTileNames = std::function<std::vector<std::filesystem::path>(
    const std::string& code, int rowDigit, int columnDigit)>;

// The mosaic phase of a batch command: for each code, in the order given, the mosaic
// "<code><suffix>" in `folder` (see WriteMosaic). Returns the tile rasters that exist but could
// not be read, in the order they were met. Throws FileError.
std::vector<std::filesystem::path> WriteMosaics(FileSystem& fs, Progress& progress,
                                                const MosaicLayout& layout,
                                                const std::filesystem::path& folder,
                                                const std::vector<std::string>& codes,
                                                std::string_view suffix,
                                                const CodeTileNames& tileNames);

}  // namespace elevara
