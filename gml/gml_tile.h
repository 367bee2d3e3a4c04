// One GML elevation tile into one tile raster: the start point is found, the listed values go
// to the text value file one per line, and the value file is read back into the raster.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

#include "platform/file_system.h"

namespace elevara {

enum class GmlTileStatus {
  kConverted,
  // The three below still leave a whole tile raster of no-data, so a raster of an earlier run
  // cannot stand in for a tile that is broken now.
  kNotOpened,
  kNoStartPoint,
  kNoValueList,
};

// Converts the GML tile at `gmlPath` into a `width` x `height` tile raster at `tileRasterPath`
// by way of the value file at `valueFilePath`, which it leaves behind for the caller to delete.
// Performs `progressStep` exactly 2 x height times: after every row of the value file and after
// every row of the raster. The raster appears only when whole. A file that cannot be created or
// written throws FileError.
GmlTileStatus ConvertGmlTile(FileSystem& fs, const std::filesystem::path& gmlPath,
                             const std::filesystem::path& valueFilePath,
                             const std::filesystem::path& tileRasterPath, int width, int height,
                             const std::function<void()>& progressStep);

// The cell value of one line of the value file: the decimal number at its start (optional sign,
// fraction and exponent, "inf" and "nan" too), rounded once to float; -9999.0 when the line
// holds no number, so an odd line never moves the cells after it. Numbers beyond float's range
// become infinities or zeros.
float ParseValueText(std::string_view text);

// The decimal integer at the start of `text`: optional sign, then digits up to the first other
// byte; 0 without digits. Saturates instead of overflowing, since every digit counts.
std::int64_t ParseLeadingInteger(std::string_view text);

}  // namespace elevara
