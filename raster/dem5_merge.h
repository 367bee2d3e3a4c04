// The DEM5 merge: the 2250 x 1500 GML5 mosaics of a folder, 8 x 8 at a time, into
// 18000 x 12000 rasters "<code>-DEM5".
#pragma once

#include "platform/command.h"

namespace elevara {

class Services;

CommandResult RunDem5Merge(Services& services);

}  // namespace elevara
