// The GML10 and GML5 conversions: every GML elevation tile of a folder becomes a tile raster,
// and the tile rasters of each mosaic code become one mosaic raster with its sidecar.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "platform/command.h"
#include "raster/mosaic_writer.h"

namespace elevara {

class Services;

// What sets one GML conversion apart from the other: which files it takes, how big its tiles
// and mosaics are, and where in a file name the mosaic code and the tile's place stand.
struct GmlConversion {
  std::string_view pattern;                    // the directory search, "FG-GML*dem10*.xml"
  MosaicLayout layout;                         // tile size and tiles across and down
  std::span<const std::size_t> codePositions;  // name bytes that make the mosaic code
  std::size_t rowDigitPosition;                // the tile's row digit, 0 at the bottom
  std::size_t columnDigitPosition;             // the tile's column digit, 0 at the left
  std::string_view nameSuffix;                 // behind tile and mosaic codes, "-ELEVARA"
};

// 10 m tiles "FG-GML*dem10*.xml" into 9000 x 6000 mosaics "<code>-ELEVARA".
extern const GmlConversion kGml10Conversion;
// 5 m tiles "FG-GML*dem5*.xml" into 2250 x 1500 mosaics "<code>-DEM5".
extern const GmlConversion kGml5Conversion;

// Asks for one tile (or ZIP file), converts every matching tile of its folder and of the folder's
// ZIP files (FindGmlInputs) and assembles the mosaics. A listed name too short for the
// positions, a tile that cannot be opened or read or lacks its start point or value list, and an
// archive that cannot be read are named in the final report and in the result's `skipped`.
CommandResult RunGmlConversion(Services& services, const GmlConversion& conversion);

CommandResult RunGml10Conversion(Services& services);
CommandResult RunGml5Conversion(Services& services);

inline constexpr char kGmlListFileName[] = "gml_name.txt";
inline constexpr char kGmlValueFileName[] = "dtm.txt";

namespace gml_text {
inline constexpr char kOpenTitle[] = "対象GMLファイル（１ファイル）を指定する";
// The tiles, then the ZIP files they are delivered in: the folder of either is the one converted.
inline constexpr char kOpenFilter[] = "XMLファイル (*.xml) | *.xml | ZIPファイル (*.zip) | *.zip";
inline constexpr char kNoFileChosen[] =
    "対象GMLファイルが指定されていません\n再度、実行してください";
inline constexpr char kNoFileFound[] = "対象GMLファイルが見つかりません\n再度、実行してください";
}  // namespace gml_text

}  // namespace elevara
