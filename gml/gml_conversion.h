// The GML10 and GML5 conversions: every GML elevation tile of a folder becomes a tile raster,
// and the tile rasters of each mosaic code become one mosaic raster with its sidecar.
#pragma once

#include "platform/command.h"

namespace elevara {

class Services;

// 10 m tiles "FG-GML*dem10*.xml" into 9000 x 6000 mosaics "<code>-ELEVARA".
CommandResult RunGml10Conversion(Services& services);
// 5 m tiles "FG-GML*dem5*.xml" into 2250 x 1500 mosaics "<code>-DEM5".
CommandResult RunGml5Conversion(Services& services);

}  // namespace elevara
