// The GML10 and GML5 conversions: every GML elevation tile of a folder becomes a tile raster,
// and the tile rasters of each mosaic code become one mosaic raster with its sidecar.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "raster/area_layer.h"
#include "raster/batch_steps.h"
#include "raster/mosaic_writer.h"

namespace elevara {

// What sets one GML conversion apart from the other: which files it takes, how big its tiles
// and mosaics are, and where in a file name the mosaic code and the tile's place stand.
struct GmlConversion {
  std::string_view pattern;                    // the directory search, "FG-GML*dem10*.xml"
  MosaicLayout layout;                         // tile size and tiles across and down
  std::span<const std::size_t> codePositions;  // name bytes that make the mosaic code
  std::size_t rowDigitPosition;                // the tile's row digit, 0 at the bottom
  std::size_t columnDigitPosition;             // the tile's column digit, 0 at the left
  std::string_view nameSuffix;                 // behind tile and mosaic codes, "-ELEVARA"
  const AreaLayer* layer = nullptr;            // the layer of the folder's mosaics, if any
};

// 10 m tiles "FG-GML*dem10*.xml" into 9000 x 6000 mosaics "<code>-ELEVARA".
extern const GmlConversion kGml10Conversion;
// 5 m tiles "FG-GML*dem5*.xml" into 2250 x 1500 mosaics "<code>-DEM5".
extern const GmlConversion kGml5Conversion;
// 1 m tiles "FG-GML*-dem1?-*.xml" (never a 10 m tile, whose "dem10" has two characters before
// its separator) into 11250 x 7500 mosaics "<code>-DEM1": one tile per 8-digit mesh, 10 x 10
// tiles per 6-digit mesh, named and placed in its mosaic as the 5 m tiles are.
extern const GmlConversion kGml1Conversion;

// What the user chooses for a run besides its folder.
struct GmlOptions {
  // Sea-surface cells 0.0 instead of no-data (see GmlTilePlan), apart from the cells that have no
  // data.
  bool seaLevelZero = false;
};

// Converts every matching tile of the context's folder and of the folder's ZIP files
// (FindGmlInputs), listed in "gml_name.txt", into tile rasters, and assembles their mosaics,
// each with its sidecar and ENVI header, in the order their codes first appear, and the layer
// of the folder's mosaics (WriteAreaLayer). Several files of
// one tile raster (one tile code) are its editions: the raster takes the cells of the best (see
// IsBetterEdition), and where they are no-data those of the next best, and so on; of the files
// of one edition the later in list order replaces the earlier whole, and a copy of a file (the
// same file name, letter case aside) is passed over once a copy of it has converted. When a name
// among them gives no edition (EditionOfName), they all count as one edition. The context's
// workers convert tiles, inflate members and write mosaics side by side; every file written and
// everything returned is the same as on one worker. Two phases of progress: GmlTileSteps per
// listed tile, then one step per mosaic row. Nothing found: result.found is false and nothing
// but the list is written. A listed name too short for the positions, a tile that cannot be
// opened or read or lacks its start point or value list, and an archive that cannot be read are
// returned as skipped, in list order. Throws FileError (on many workers, the one a single worker
// would have met first).
BatchResult ConvertGmlFolder(const BatchContext& context, const GmlConversion& conversion,
                             const GmlOptions& options = {});

inline constexpr char kGmlListFileName[] = "gml_name.txt";
// The value file of ConvertGmlTileByValueFile. The conversions write none.
inline constexpr char kGmlValueFileName[] = "dtm.txt";

}  // namespace elevara
