// The DEM5 merge: the 2250 x 1500 GML5 mosaics of a folder, 8 x 8 at a time, into
// 18000 x 12000 rasters "<code>-DEM5".
#pragma once

#include <string_view>

#include "raster/batch_steps.h"
#include "raster/mosaic_writer.h"

namespace elevara {

// Every entry of the context's folder matching "??????-DEM5.raw" or "??????-DEM5" (the name the
// GML5 conversion writes) lends its first four characters as a mosaic code, listed in
// "dem5_name.txt"; each code becomes one merged raster with its sidecar, in the order the codes
// first appear, and the layer of the folder's merged rasters (WriteAreaLayer). Nothing found:
// result.found is false and nothing but the list is written. Tiles that exist but cannot be read
// are returned as skipped; absent tiles are no-data silently. Takes (codes x 12000) progress steps
// in one phase. Throws FileError.
BatchResult MergeDem5Folder(const BatchContext& context);

// The GML5 mosaics are the tiles here: six-character tile codes, row digit 7 northernmost.
inline constexpr MosaicLayout kDem5MergeLayout{2250, 1500, 8, 8};

inline constexpr char kDem5RawPattern[] = "??????-DEM5.raw";
inline constexpr char kDem5BarePattern[] = "??????-DEM5";
inline constexpr std::string_view kDem5DiscoveryPatterns[] = {kDem5RawPattern, kDem5BarePattern};
inline constexpr char kDem5NameList[] = "dem5_name.txt";

}  // namespace elevara
