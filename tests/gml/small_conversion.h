// A GML conversion for tests: the GML5 name positions with tiles of 3 x 2 cells in a 2 x 2
// mosaic, the whole command in a few hundred bytes.
#pragma once

#include <cstddef>

#include "commands/gml_command.h"

namespace elevara::testing {

inline constexpr std::size_t kSmallCodePositions[] = {7, 8, 9, 10, 12, 13};
inline const GmlConversion kSmall{
    "FG-GML*dem5*.xml", {3, 2, 2, 2}, kSmallCodePositions, 15, 16, "-DEM5"};

}  // namespace elevara::testing
