// The one mosaic writer: assembles a mosaic raster from a grid of tile rasters, streaming one
// mosaic row at a time. It serves the GML10 and GML5 conversions and the DEM5 merge.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "raster/batch_steps.h"
#include "raster/datum.h"
#include "raster/envi_header.h"

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

// How a mosaic lies on the earth, given the tile rasters found present in it (the names they
// were opened under); nullopt for a mosaic that gets no ENVI header.
using MosaicGeoreference = std::function<std::optional<EnviGeoreference>(
    const std::vector<std::filesystem::path>& presentTiles)>;

// One mosaic to write: its layout, its path, where its tiles stand and how it lies on the earth
// (no ENVI header without `georeference`).
struct MosaicPlan {
  MosaicLayout layout;
  std::filesystem::path path;
  TileNames tileNames;
  MosaicGeoreference georeference;
};

// Writes the mosaic `plan` names, strictly top to bottom: band by band from the highest row
// digit down to 0, each mosaic row made of the matching rows of the band's tiles left to right.
// Tiles are opened and read through `tiles`, so absent and unreadable tiles, and rows or samples
// a short tile lacks, are kNoData. Takes one progress step per mosaic row. The raster, its
// ".hd1" sidecar and its ENVI header appear under their names only when whole. Throws FileError
// (nothing is left under the mosaic's name then).
void WriteMosaic(FileSystem& fs, Progress& progress, const MosaicPlan& plan, TileRasters& tiles);

// The names under which a tile of the mosaic with the given code may stand (see TileNames).
using CodeTileNames = std::function<std::vector<std::filesystem::path>(
    const std::string& code, int rowDigit, int columnDigit)>;

// Adds to `datums` what the tile raster `tile`, present in a mosaic, declares of its datum; a
// tile that holds no elevation, and so lies on any datum, may add nothing.
using DeclareTileDatum =
    std::function<void(const std::filesystem::path& tile, DatumAgreement& datums)>;

// The mosaics of a batch run: one per code, in the order given, named "<code><suffix>".
struct MosaicSet {
  MosaicLayout layout;
  std::vector<std::string> codes;
  std::string_view suffix;
  CodeTileNames tileNames;
  DeclareTileDatum declareDatum;
};

// The mosaic phase of a batch run: every mosaic of `set` in the context's folder (see
// WriteMosaic), placed on the mesh its code names, on the datum its present tiles agree on (see
// DatumAgreement). The mosaics are independent of each other, so the context's workers write
// them side by side; `set`'s functions are called from every worker. Adds each mosaic to
// `result.written`, and the tile rasters that exist but could not be read to `result.skipped`,
// in the order of the codes, as one worker meets them. Throws FileError (that of the first
// mosaic in code order that fails), also before the first mosaic when the folder's file system
// lacks the room for all of them (FileAction::kFill); an Interrupted names the mosaics not
// written.
void WriteMosaics(const BatchContext& context, const MosaicSet& set, BatchResult& result);

}  // namespace elevara
