// One GML elevation tile into one tile raster: in one pass over the GML text the listed values go
// to the text value file one per line and the start point is found, wherever it stands; then the
// value file is read back into the raster, the values placed from the start point on. One pass,
// because a member of a ZIP archive can only be inflated from its start again, and the start
// point stands behind the values in the published tiles.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <system_error>

#include "platform/file_system.h"
#include "platform/files.h"
#include "platform/progress.h"
#include "raster/datum.h"

namespace elevara {

enum class GmlTileStatus {
  kConverted,
  // The four below still leave a whole tile raster of no-data, so a raster of an earlier run
  // cannot stand in for a tile that is broken now.
  kNotOpened,
  kNoStartPoint,
  kNoValueList,
  // Opened, but a read failed on the way (an I/O error, a damaged archive member).
  kNotRead,
};

// What converting a tile found out about it.
struct GmlTileResult {
  GmlTileStatus status = GmlTileStatus::kConverted;
  // The datum named by the first srsName attribute before the value list (that of the tile's
  // envelope); nullopt when it names none known, and for a tile not converted.
  std::optional<Datum> datum;
  // Why a read failed, for kNotRead.
  std::error_code error;
};

// The progress steps of one tile of `height` rows: `height` while the values are read (one for
// every row's worth of them, the rest when the list ends) and one after every row of the raster. A
// caller that skips a tile takes them all the same, so the bar it sized by this count ends full.
constexpr std::int64_t GmlTileSteps(int height) {
  return 2 * std::int64_t{height};
}

// Where a tile's values go and on which grid: the value file on the way (left behind for the
// caller to delete) and the tile raster of `width` x `height` cells in the end.
struct GmlTilePlan {
  std::filesystem::path valueFile;
  std::filesystem::path tileRaster;
  int width;
  int height;
};

// Converts the GML tile at `gmlPath` into the tile raster `plan` names, by way of its value
// file. Takes GmlTileSteps(height) progress steps. The raster appears only when whole; reading
// the datum changes none of its bytes. A file that cannot be created or written throws
// FileError.
GmlTileResult ConvertGmlTile(FileSystem& fs, Progress& progress,
                             const std::filesystem::path& gmlPath, const GmlTilePlan& plan);

// The GML file at `gmlPath`, opened; nullopt when it cannot be, whatever the reason: a broken
// tile of the run, not the end of it.
std::optional<InputFile> OpenGmlFile(FileSystem& fs, const std::filesystem::path& gmlPath);

// The same for a GML text the caller has opened (a member of an archive), nullopt when it could
// not be; failures to read it are the tile's, under its path, not the command's.
GmlTileResult ConvertGmlTile(FileSystem& fs, Progress& progress, std::optional<InputFile> gml,
                             const GmlTilePlan& plan);

}  // namespace elevara
