// One GML elevation tile into one tile raster. One pass over the GML text parses the listed
// values as they come and finds the start point, wherever it stands; then the values are placed
// from the start point on and the raster is written. One pass, because a member of a ZIP archive
// can only be inflated from its start again, and the start point stands behind the values in the
// published tiles: so the values wait for it in a buffer of one tile's cells, which a worker
// keeps for the whole run (GmlTileWorkspace).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <system_error>
#include <vector>

#include "gml/gml_tokens.h"
#include "gml/value_text.h"
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

// Where a tile's values go: the tile raster of `width` x `height` cells. `seaLevelZero`: a cell
// whose value token names it sea surface (see NamesSeaSurface) is 0.0, whatever its value text.
struct GmlTilePlan {
  std::filesystem::path tileRaster;
  int width;
  int height;
  bool seaLevelZero = false;
};

// Whether the value token `token`, whose value text is `text` (the bytes after its last comma),
// names its cell sea surface: "海水面" alone before that comma. The published tiles give sea
// cells the value text of missing data, "-9999.", and tell them apart only so.
bool NamesSeaSurface(std::string_view token, std::string_view text);

// What converting tiles one after another reuses, so that no tile allocates what the tile before
// had: the token reader's buffers, the cells of one tile (grown to the largest grid met, at most
// width x height floats), the cells of a lesser edition of the same tile (grown only for a tile
// of several editions) and the values of recent value texts. One per worker, kept for the run.
struct GmlTileWorkspace {
  GmlTokenReader tokens;
  std::vector<float> cells;
  std::vector<float> editionCells;
  ValueTextCache values;
};

// The first width x height of `cells`, grown to hold them.
std::span<float> TileCells(std::vector<float>& cells, const GmlTilePlan& plan);

// Converts the GML text `gml` (nullopt: the tile could not be opened) into the tile raster `plan`
// names, in `workspace`: ReadGmlTile into workspace.cells, then WriteGmlTileRaster. Takes
// GmlTileSteps(height) progress steps. The raster appears only when whole; reading the datum
// changes none of its bytes. Failures to read the GML text are the tile's (kNotRead), under its
// path, not the command's; a raster that cannot be created or written throws FileError.
GmlTileResult ConvertGmlTile(FileSystem& fs, Progress& progress, std::optional<InputFile> gml,
                             const GmlTilePlan& plan, GmlTileWorkspace& workspace);

// The first half of it: the cells of the GML text `gml`, in `cells` (TileCells of the plan), read
// with the token reader and value cache of `workspace`; no-data where no value is, all of them
// for a tile that is not converted. Takes `height` progress steps.
GmlTileResult ReadGmlTile(Progress& progress, std::optional<InputFile> gml, const GmlTilePlan& plan,
                          GmlTileWorkspace& workspace, std::span<float> cells);

// The second half: `cells` written as the tile raster `plan` names, one progress step a row.
void WriteGmlTileRaster(FileSystem& fs, Progress& progress, std::span<float> cells,
                        const GmlTilePlan& plan);

// Gives the no-data cells of `cells` the values of `lesser`, cell by cell; returns how many
// took a value other than no-data.
std::int64_t FillNoDataCells(std::span<float> cells, std::span<const float> lesser);

// The same for one tile alone, in a workspace of its own.
GmlTileResult ConvertGmlTile(FileSystem& fs, Progress& progress, std::optional<InputFile> gml,
                             const GmlTilePlan& plan);
GmlTileResult ConvertGmlTile(FileSystem& fs, Progress& progress,
                             const std::filesystem::path& gmlPath, const GmlTilePlan& plan);

// The GML file at `gmlPath`, opened; nullopt when it cannot be, whatever the reason: a broken
// tile of the run, not the end of it.
std::optional<InputFile> OpenGmlFile(FileSystem& fs, const std::filesystem::path& gmlPath);

// The same conversion by way of the text value file at `valueFile` ("dtm.txt"): every listed
// value text written as one CR LF line, then the lines read back into the raster, no-data before
// the start point and after the list. The runs no longer take this road; it stays as the
// reference that the direct conversion is held to, cell for cell (tests, a fuzz target), since
// it spells the value rules out line by line. A sea-surface cell of plan.seaLevelZero is the line
// "0.0". The value file is left for the caller to delete; one that cannot be created or written
// throws FileError.
GmlTileResult ConvertGmlTileByValueFile(FileSystem& fs, Progress& progress,
                                        std::optional<InputFile> gml, const GmlTilePlan& plan,
                                        const std::filesystem::path& valueFile);

}  // namespace elevara
