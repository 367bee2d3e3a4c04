// The DEM5 merge: the 2250 x 1500 GML5 mosaics of a folder, 8 x 8 at a time, into
// 18000 x 12000 rasters "<code>-DEM5".
#pragma once

#include <string_view>

#include "platform/command.h"
#include "raster/mosaic_writer.h"

namespace elevara {

class Services;

// The command behind the DEM5 group's Run button. The picked file only names the folder; every
// entry there matching "??????-DEM5.raw" or "??????-DEM5" (the name the GML5 conversion writes)
// lends its first four characters as a mosaic code, and each code becomes one merged raster
// with its sidecar. Tiles that exist but cannot be read are
// reported in the final message and returned as skipped; absent tiles are no-data silently.
CommandResult RunDem5Merge(Services& services);

// The GML5 mosaics are the tiles here: six-character tile codes, row digit 7 northernmost.
inline constexpr MosaicLayout kDem5MergeLayout{2250, 1500, 8, 8};

namespace dem5_text {
inline constexpr char kOpenTitle[] = "対象DEM5ファイル（１ファイル）を指定する";
// The second entry shows the GML5 conversion's mosaics, which have no extension.
inline constexpr char kOpenFilter[] =
    "RAWファイル (*.raw) | *.raw | DEM5ファイル (??????-DEM5) | ??????-DEM5";
inline constexpr char kNoInput[] = "対象DEM5ファイルが指定されていません\n再度、実行してください";
inline constexpr char kNotFound[] = "対象DEM5ファイルが見つかりません\n再度、実行してください";
inline constexpr char kRawPattern[] = "??????-DEM5.raw";
inline constexpr char kBarePattern[] = "??????-DEM5";
inline constexpr std::string_view kDiscoveryPatterns[] = {kRawPattern, kBarePattern};
inline constexpr char kNameList[] = "dem5_name.txt";
}  // namespace dem5_text

}  // namespace elevara
