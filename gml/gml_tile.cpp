#include "gml/gml_tile.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "gml/declared_datum.h"
#include "gml/gml_tokens.h"
#include "gml/value_file.h"
#include "gml/value_text.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/services.h"
#include "raster/raw_raster.h"

namespace elevara {
namespace {

constexpr std::string_view kStartPointTag = "startP";
constexpr std::string_view kValueListTag = "tupleL";

// Start column and row: the cell that receives the first listed value.
struct StartPoint {
  std::int64_t column = 0;
  std::int64_t row = 0;
};

bool IsEndOfValueList(std::string_view token) {
  return token.size() >= 3 && token[2] == 'g';
}

std::optional<StartPoint> FindStartPoint(GmlTokenReader& tokens) {
  if (!tokens.seekTagged(kStartPointTag)) return std::nullopt;
  constexpr std::size_t kColumnOffset = 16;  // right behind "<gml:startPoint>"
  std::string_view token;
  tokens.next(token);
  StartPoint start;
  if (token.size() > kColumnOffset) start.column = ParseLeadingInteger(token.substr(kColumnOffset));
  if (tokens.next(token)) start.row = ParseLeadingInteger(token);
  return start;
}

// Writing over a file that exists, by truncating it or by renaming onto it, makes ext4 write
// the new data out at once (its auto_da_alloc rule), which costs more than converting the
// whole tile. A tile's files are rewritten for every tile, so the earlier one is removed first:
// a plain file only. A folder of that name is the user's and makes the creation fail; a link or
// a FIFO is written through like any output. Should the removal fail, creating or renaming the
// new file reports the reason.
void RemoveEarlierFile(FileSystem& fs, const std::filesystem::path& path) {
  std::error_code ignored;
  if (std::filesystem::is_regular_file(fs.symlinkStatus(path, ignored))) fs.remove(path, ignored);
}

OutputFile CreateAfresh(FileSystem& fs, const std::filesystem::path& path) {
  RemoveEarlierFile(fs, path);
  return OutputFile::Create(fs, path);
}

// The cells before the start point in row `row`: all of them above the start row, the first
// `column` of the start row, none below.
std::int64_t CellsBeforeStartInRow(const StartPoint& start, std::int64_t row, int width) {
  if (row < start.row) return width;
  if (row > start.row) return 0;
  return std::clamp<std::int64_t>(start.column, 0, width);
}

// Where the values of a tile begin: its start point, and its tokens standing at the first
// listed value. The status says what is missing when either cannot be found.
struct TileValues {
  GmlTileStatus status = GmlTileStatus::kConverted;
  StartPoint start;
  std::optional<GmlTokenReader> tokens;  // only when status is kConverted
  std::optional<Datum> datum;
};

TileValues Broken(GmlTileStatus status) {
  TileValues tile;
  tile.status = status;
  return tile;
}

// Moves `tokens` to the first listed value, which follows the value-list token, and takes the
// datum from an srsName attribute on the way. Token by token up to that attribute, which
// stands in the tile's first lines; from there a seek, as for a tile without it.
bool SeekValueList(GmlTokenReader& tokens, std::optional<Datum>& datum) {
  std::string_view token;
  while (tokens.next(token)) {
    if (GmlTokenReader::IsTagged(token, kValueListTag)) return true;
    if (IsSrsNameToken(token)) {
      datum = DatumOfSrsName(token);
      break;
    }
  }
  if (!tokens.seekTagged(kValueListTag)) return false;
  tokens.next(token);
  return true;
}

// A GML file that cannot be opened, whatever the reason, is a broken tile of the run.
std::optional<GmlTokenReader> OpenTokens(FileSystem& fs, const std::filesystem::path& gmlPath) {
  try {
    return GmlTokenReader(InputFile::Open(fs, gmlPath));
  } catch (const FileError&) {
    return std::nullopt;
  }
}

// The start-point pass, then the value list looked for from the file's start, so the start
// point may stand before or after the list. Each pass opens the file for itself.
TileValues LocateValues(FileSystem& fs, const std::filesystem::path& gmlPath) {
  TileValues tile;
  {
    std::optional<GmlTokenReader> tokens = OpenTokens(fs, gmlPath);
    if (!tokens) return Broken(GmlTileStatus::kNotOpened);
    std::optional<StartPoint> start = FindStartPoint(*tokens);
    if (!start) return Broken(GmlTileStatus::kNoStartPoint);
    tile.start = *start;
  }
  tile.tokens = OpenTokens(fs, gmlPath);
  if (!tile.tokens) return Broken(GmlTileStatus::kNotOpened);
  if (!SeekValueList(*tile.tokens, tile.datum)) return Broken(GmlTileStatus::kNoValueList);
  return tile;
}

// The value pass: the listed values from the start point on, every other cell no-data, and
// every cell of a tile whose start point or value list was not found. Closes the GML file.
void WriteValueFile(FileSystem& fs, Progress& progress, TileValues tile,
                    const std::filesystem::path& valueFilePath, int width, int height) {
  std::string_view token;
  bool ended = !tile.tokens;
  ValueFileWriter values(CreateAfresh(fs, valueFilePath));
  for (std::int64_t row = 0; row < height; ++row) {
    const std::int64_t before = CellsBeforeStartInRow(tile.start, row, width);
    values.noData(before);
    std::int64_t column = before;
    for (; column < width && !ended; ++column) {
      // The end of the file without the end token ends the list the same way.
      if (!tile.tokens->next(token) || IsEndOfValueList(token)) {
        ended = true;
        break;
      }
      values.line(GmlTokenReader::TextAfterLastComma(token));
    }
    values.noData(width - column);
    progress.step();
  }
  values.close();
}

void WriteTileRaster(FileSystem& fs, Progress& progress, const std::filesystem::path& valueFilePath,
                     const std::filesystem::path& tileRasterPath, int width, int height) {
  ValueFileReader values(InputFile::Open(fs, valueFilePath));
  RemoveEarlierFile(fs, tileRasterPath);
  RasterWriter raster = RasterWriter::CreateTile(fs, tileRasterPath);
  std::vector<float> row(static_cast<std::size_t>(width));
  for (int r = 0; r < height; ++r) {
    for (float& cell : row) cell = values.next();
    raster.writeRow(row);
    progress.step();
  }
  raster.commit();
}

}  // namespace

GmlTileResult ConvertGmlTile(FileSystem& fs, Progress& progress,
                             const std::filesystem::path& gmlPath,
                             const std::filesystem::path& valueFilePath,
                             const std::filesystem::path& tileRasterPath, int width, int height) {
  TileValues tile = LocateValues(fs, gmlPath);
  const GmlTileResult result{tile.status, tile.datum};
  WriteValueFile(fs, progress, std::move(tile), valueFilePath, width, height);
  WriteTileRaster(fs, progress, valueFilePath, tileRasterPath, width, height);
  return result;
}

}  // namespace elevara
