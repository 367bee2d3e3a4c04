#include "gml/gml_tile.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "gml/declared_datum.h"
#include "gml/gml_tokens.h"
#include "gml/value_file.h"
#include "gml/value_text.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "raster/raw_raster.h"

namespace elevara {
namespace {

constexpr std::string_view kStartPointTag = "startP";
constexpr std::string_view kValueListTag = "tupleL";
constexpr std::size_t kStartColumnOffset = 16;  // right behind "<gml:startPoint>"

// Start column and row: the cell that receives the first listed value.
struct StartPoint {
  std::int64_t column = 0;
  std::int64_t row = 0;
};

bool IsEndOfValueList(std::string_view token) {
  return token.size() >= 3 && token[2] == 'g';
}

StartPoint StartColumnOf(std::string_view token) {
  StartPoint start;
  if (token.size() > kStartColumnOffset) {
    start.column = ParseLeadingInteger(token.substr(kStartColumnOffset));
  }
  return start;
}

// Writing over a file that exists, by truncating it or by renaming onto it, makes ext4 write
// the new data out at once (its auto_da_alloc rule), which costs more than converting the
// whole tile. A tile's files are rewritten for every tile, so the earlier one is removed first,
// a link or a FIFO of that name too: working files are created anew in the folder, never
// written through anything. A folder of that name is the user's and makes the creation fail.
// Should the removal fail, creating or renaming the new file reports the reason.
void RemoveEarlierFile(FileSystem& fs, const std::filesystem::path& path) {
  std::error_code ignored;
  const std::filesystem::file_status status = fs.symlinkStatus(path, ignored);
  if (std::filesystem::exists(status) && !std::filesystem::is_directory(status)) {
    fs.remove(path, ignored);
  }
}

OutputFile CreateAfresh(FileSystem& fs, const std::filesystem::path& path) {
  RemoveEarlierFile(fs, path);
  return OutputFile::CreateNew(fs, path);
}

// The cells before the start point: every row above the start row, and the first `column`
// cells of the start row when it is a row of the grid.
std::int64_t CellsBeforeStart(const StartPoint& start, int width, int height) {
  const std::int64_t rowsAbove = std::clamp<std::int64_t>(start.row, 0, height);
  const bool startRowInGrid = start.row >= 0 && start.row < height;
  return rowsAbove * width +
         (startRowInGrid ? std::clamp<std::int64_t>(start.column, 0, width) : 0);
}

// The value pass's share of the tile's steps: one for every row's worth of values read, and the
// rest when the list has ended, `height` in all.
class ValueSteps {
 public:
  ValueSteps(Progress& progress, int width, int height)
      : progress_(progress), width_(width), left_(height) {}
  void value() {
    if (++values_ == width_) {
      values_ = 0;
      --left_;
      progress_.step();
    }
  }
  void finish() {
    for (; left_ > 0; --left_) progress_.step();
  }

 private:
  Progress& progress_;
  int width_;
  int left_;
  int values_ = 0;
};

constexpr float kSeaLevel = 0.0f;
// kSeaLevel as a line of the value file, which copies a short text as a block of
// kReadablePastToken bytes.
constexpr char kSeaLevelText[GmlTokenReader::kReadablePastToken + 1] = "0.0";
constexpr std::string_view kSeaLevelLine(kSeaLevelText, 3);

// Where the listed values go in the direct conversion: parsed into the cells from the first on,
// in the order they come, to be placed once the start point is known.
struct CellSink {
  float* cells;
  ValueTextCache& values;
  ValueSteps& steps;
  bool seaLevelZero;
  std::int64_t count = 0;

  void put(std::string_view token) {
    const std::string_view text = GmlTokenReader::TextAfterLastComma(token);
    cells[count++] =
        seaLevelZero && NamesSeaSurface(token, text) ? kSeaLevel : values.valueOf(text);
    steps.value();
  }
};

// Where they go on the way through the value file: one line each.
struct ValueFileSink {
  ValueFileWriter& file;
  ValueSteps& steps;
  bool seaLevelZero;

  void put(std::string_view token) {
    const std::string_view text = GmlTokenReader::TextAfterLastComma(token);
    file.line(seaLevelZero && NamesSeaSurface(token, text) ? kSeaLevelLine : text);
    steps.value();
  }
};

// What the pass over the GML text found.
struct TileReading {
  GmlTileStatus status = GmlTileStatus::kConverted;
  StartPoint start;
  std::int64_t values = 0;  // listed values read (lines of the value file, on that road)
  std::optional<Datum> datum;
  std::error_code error;  // of a failed read
};

// The datum of the first srsName attribute before the value list, once it has been met.
struct DeclaredDatum {
  bool met = false;
  std::optional<Datum> datum;
};

// Moves to the first token from here on that is tagged with one of `tags`, leaves it in `token`
// and returns the index of its tag; nullopt at the end of the file. Until the srsName attribute
// has been met it goes token by token, taking the datum from it; the attribute stands in the
// tile's first lines, so from there on a seek does the rest.
std::optional<std::size_t> SeekTag(GmlTokenReader& tokens, std::span<const std::string_view> tags,
                                   DeclaredDatum& declared, std::string_view& token) {
  while (!declared.met) {
    if (!tokens.next(token)) return std::nullopt;
    for (std::size_t i = 0; i < tags.size(); ++i) {
      if (GmlTokenReader::IsTagged(token, tags[i])) return i;
    }
    if (IsSrsNameToken(token)) declared = {true, DatumOfSrsName(token)};
  }
  const std::optional<std::size_t> found = tokens.seekTagged(tags);
  if (found) tokens.next(token);
  return found;
}

// Copies the listed values from the token after the value-list token on, at most `cells` of
// them, to `values`. A start-point token among them is the start point when none came before; its
// row is the token after it, as anywhere else.
template <typename Sink>
void CopyValues(GmlTokenReader& tokens, Sink& values, std::int64_t cells,
                std::optional<StartPoint>& start, TileReading& reading) {
  std::string_view token;
  bool rowPending = false;
  // The end of the file without the end token ends the list the same way.
  while (reading.values < cells && tokens.next(token)) {
    if (rowPending) start->row = ParseLeadingInteger(token);
    rowPending = !start && GmlTokenReader::IsTagged(token, kStartPointTag);
    if (rowPending) start = StartColumnOf(token);
    if (IsEndOfValueList(token)) break;
    values.put(token);
    ++reading.values;
  }
  if (rowPending && tokens.next(token)) start->row = ParseLeadingInteger(token);
}

// The one pass: the start point and the value list, whichever comes first, the values, then the
// start point after them when it was not before, then the rest of the file.
template <typename Sink>
void ReadTile(GmlTokenReader& tokens, Sink& values, std::int64_t cells, TileReading& reading) {
  std::optional<StartPoint> start;
  DeclaredDatum declared;
  bool listed = false;
  std::string_view token;
  constexpr std::string_view kEitherTag[] = {kStartPointTag, kValueListTag};
  constexpr std::string_view kListTag[] = {kValueListTag};
  const std::optional<std::size_t> first = SeekTag(tokens, kEitherTag, declared, token);
  if (first == 0) {
    start = StartColumnOf(token);
    if (tokens.next(token)) {
      start->row = ParseLeadingInteger(token);
      // The row's token may be the value-list token itself, as the rules read it.
      listed = GmlTokenReader::IsTagged(token, kValueListTag) ||
               SeekTag(tokens, kListTag, declared, token).has_value();
    }
  } else {
    listed = first == 1;
  }
  if (listed) CopyValues(tokens, values, cells, start, reading);
  if (!start && tokens.seekTagged(kStartPointTag)) {
    tokens.next(token);
    start = StartColumnOf(token);
    if (tokens.next(token)) start->row = ParseLeadingInteger(token);
  }
  tokens.readToEnd();
  reading.start = start.value_or(StartPoint{});
  reading.status = !start    ? GmlTileStatus::kNoStartPoint
                   : !listed ? GmlTileStatus::kNoValueList
                             : GmlTileStatus::kConverted;
  if (reading.status == GmlTileStatus::kConverted) reading.datum = declared.datum;
}

// The pass over the GML text, in `tokens`: the listed values to `values`, one put() each. A tile
// that cannot be opened or read, or lacks its start point or value list, is read no further and
// becomes no-data.
template <typename Sink>
TileReading ReadValues(GmlTokenReader& tokens, std::optional<InputFile> gml, Sink& values,
                       std::int64_t cells) {
  TileReading reading;
  if (!gml) {
    reading.status = GmlTileStatus::kNotOpened;
    return reading;
  }
  const std::filesystem::path gmlPath = gml->path();
  struct Finish {
    GmlTokenReader& tokens;
    ~Finish() { tokens.finish(); }
  } finish{tokens};
  try {
    tokens.start(std::move(*gml));
    ReadTile(tokens, values, cells, reading);
  } catch (const FileError& error) {
    // Only the GML text is read in this pass.
    if (error.action() != FileAction::kRead || error.path() != gmlPath) throw;
    reading.status = GmlTileStatus::kNotRead;
    reading.error = error.reason();
  }
  return reading;
}

// The cells before the first listed value: before the start point, or all of them for a tile that
// was not converted.
std::int64_t CellsBefore(const TileReading& reading, const GmlTilePlan& plan) {
  return reading.status == GmlTileStatus::kConverted
             ? CellsBeforeStart(reading.start, plan.width, plan.height)
             : std::int64_t{plan.width} * plan.height;
}

// The `listed` values, held from the first cell on, moved behind the `before` cells before the
// start point; no-data before them, and after them once they run out.
void PlaceValues(std::span<float> grid, std::int64_t before, std::int64_t listed) {
  const auto size = static_cast<std::int64_t>(grid.size());
  const std::int64_t placed = std::clamp<std::int64_t>(listed, 0, size - before);
  float* const cells = grid.data();
  if (before > 0 && placed > 0) {
    std::memmove(cells + before, cells, static_cast<std::size_t>(placed) * sizeof(float));
  }
  std::fill(cells, cells + before, kNoData);
  std::fill(cells + before + placed, cells + size, kNoData);
}

// Rows written at once: about 256 KiB, a dozen calls for a 10 m tile and one for a 5 m tile.
constexpr std::size_t kBytesPerWrite = std::size_t{256} << 10;

}  // namespace

void WriteGmlTileRaster(FileSystem& fs, Progress& progress, std::span<float> grid,
                        const GmlTilePlan& plan) {
  RemoveEarlierFile(fs, plan.tileRaster);
  RasterWriter raster = RasterWriter::CreateTile(fs, plan.tileRaster);
  const auto width = static_cast<std::size_t>(plan.width);
  const int rowsPerWrite = static_cast<int>(std::max<std::size_t>(
      1, std::min<std::size_t>(kBytesPerWrite / (width * sizeof(float)), plan.height)));
  for (int row = 0; row < plan.height; row += rowsPerWrite) {
    const int rows = std::min(rowsPerWrite, plan.height - row);
    raster.writeRows(grid.subspan(static_cast<std::size_t>(row) * width,
                                  static_cast<std::size_t>(rows) * width));
    for (int i = 0; i < rows; ++i) progress.step();
  }
  raster.commit();
}

namespace {

// The raster pass of the value-file road: the values in the order they were listed, read back
// from the value file.
void WriteTileRaster(FileSystem& fs, Progress& progress, const TileReading& reading,
                     const GmlTilePlan& plan, const std::filesystem::path& valueFile) {
  const int width = plan.width;
  const int height = plan.height;
  const std::int64_t cells = std::int64_t{width} * height;
  const std::int64_t before = CellsBefore(reading, plan);
  const std::int64_t valuesEnd = std::min(cells, before + reading.values);
  ValueFileReader values(InputFile::Open(fs, valueFile));
  RemoveEarlierFile(fs, plan.tileRaster);
  RasterWriter raster = RasterWriter::CreateTile(fs, plan.tileRaster);
  std::vector<float> row(static_cast<std::size_t>(width));
  std::int64_t cell = 0;
  for (int r = 0; r < height; ++r) {
    for (float& sample : row) {
      sample = cell >= before && cell < valuesEnd ? values.next() : kNoData;
      ++cell;
    }
    raster.writeRow(row);
    progress.step();
  }
  raster.commit();
}

}  // namespace

std::optional<InputFile> OpenGmlFile(FileSystem& fs, const std::filesystem::path& gmlPath) {
  try {
    return InputFile::Open(fs, gmlPath);
  } catch (const FileError&) {
    return std::nullopt;
  }
}

bool NamesSeaSurface(std::string_view token, std::string_view text) {
  constexpr std::string_view kSeaSurface = "海水面";
  return token.size() == kSeaSurface.size() + 1 + text.size() && token.starts_with(kSeaSurface) &&
         token[kSeaSurface.size()] == ',';
}

std::span<float> TileCells(std::vector<float>& cells, const GmlTilePlan& plan) {
  const std::size_t size = static_cast<std::size_t>(plan.width) * plan.height;
  if (cells.size() < size) cells.resize(size);
  return {cells.data(), size};
}

GmlTileResult ReadGmlTile(Progress& progress, std::optional<InputFile> gml, const GmlTilePlan& plan,
                          GmlTileWorkspace& workspace, std::span<float> cells) {
  ValueSteps steps(progress, plan.width, plan.height);
  CellSink sink{cells.data(), workspace.values, steps, plan.seaLevelZero};
  const TileReading reading =
      ReadValues(workspace.tokens, std::move(gml), sink, static_cast<std::int64_t>(cells.size()));
  steps.finish();
  PlaceValues(cells, CellsBefore(reading, plan), reading.values);
  return {reading.status, reading.datum, reading.error};
}

std::int64_t FillNoDataCells(std::span<float> cells, std::span<const float> lesser) {
  std::int64_t filled = 0;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (std::bit_cast<std::uint32_t>(cells[i]) != kNoDataBits) continue;
    cells[i] = lesser[i];
    filled += std::bit_cast<std::uint32_t>(lesser[i]) != kNoDataBits;
  }
  return filled;
}

GmlTileResult ConvertGmlTile(FileSystem& fs, Progress& progress, std::optional<InputFile> gml,
                             const GmlTilePlan& plan, GmlTileWorkspace& workspace) {
  const std::span<float> cells = TileCells(workspace.cells, plan);
  const GmlTileResult result = ReadGmlTile(progress, std::move(gml), plan, workspace, cells);
  WriteGmlTileRaster(fs, progress, cells, plan);
  return result;
}

GmlTileResult ConvertGmlTile(FileSystem& fs, Progress& progress, std::optional<InputFile> gml,
                             const GmlTilePlan& plan) {
  GmlTileWorkspace workspace;
  return ConvertGmlTile(fs, progress, std::move(gml), plan, workspace);
}

GmlTileResult ConvertGmlTile(FileSystem& fs, Progress& progress,
                             const std::filesystem::path& gmlPath, const GmlTilePlan& plan) {
  return ConvertGmlTile(fs, progress, OpenGmlFile(fs, gmlPath), plan);
}

GmlTileResult ConvertGmlTileByValueFile(FileSystem& fs, Progress& progress,
                                        std::optional<InputFile> gml, const GmlTilePlan& plan,
                                        const std::filesystem::path& valueFile) {
  GmlTokenReader tokens;
  ValueSteps steps(progress, plan.width, plan.height);
  ValueFileWriter file(CreateAfresh(fs, valueFile));
  ValueFileSink sink{file, steps, plan.seaLevelZero};
  const TileReading reading =
      ReadValues(tokens, std::move(gml), sink, std::int64_t{plan.width} * plan.height);
  file.close();
  steps.finish();
  WriteTileRaster(fs, progress, reading, plan, valueFile);
  return {reading.status, reading.datum, reading.error};
}

}  // namespace elevara
