#include "gml/gml_conversion.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "gml/gml_inputs.h"
#include "gml/gml_tile.h"
#include "platform/files.h"
#include "platform/unicode.h"
#include "raster/batch_steps.h"

namespace elevara {
namespace {

constexpr std::size_t kGml10CodePositions[] = {7, 8, 9, 10};
constexpr std::size_t kGml5CodePositions[] = {7, 8, 9, 10, 12, 13};

// The bytes a conversion reads from a tile's name: its mosaic code, then row and column digit.
class TileName {
 public:
  TileName(std::string_view name, const GmlConversion& conversion)
      : name_(name), conversion_(conversion) {}

  bool holdsAllPositions() const {
    std::size_t last = std::max(conversion_.rowDigitPosition, conversion_.columnDigitPosition);
    for (std::size_t position : conversion_.codePositions) last = std::max(last, position);
    return name_.size() > last;
  }
  std::string mosaicCode() const {
    std::string code;
    for (std::size_t position : conversion_.codePositions) code += name_[position];
    return code;
  }
  std::string tileCode() const {
    return mosaicCode() + name_[conversion_.rowDigitPosition] +
           name_[conversion_.columnDigitPosition];
  }

 private:
  std::string_view name_;
  const GmlConversion& conversion_;
};

// The value file is a working file of the tile phase. Whatever ends the phase removes it: its
// end, after which a failure to remove it is reported, or an interrupt or a failure, which
// already has its report.
class ValueFileRemoval {
 public:
  ValueFileRemoval(FileSystem& fs, std::filesystem::path path) : fs_(fs), path_(std::move(path)) {}
  ValueFileRemoval(const ValueFileRemoval&) = delete;
  ValueFileRemoval& operator=(const ValueFileRemoval&) = delete;
  ~ValueFileRemoval() {
    if (removed_) return;
    std::error_code ignored;
    fs_.remove(path_, ignored);
  }
  void remove() {
    RemoveFile(fs_, path_);
    removed_ = true;
  }

 private:
  FileSystem& fs_;
  std::filesystem::path path_;
  bool removed_ = false;
};

// What a tile raster written in this run declares of its datum. A tile that could not be
// converted left a raster of no-data only, which lies on any datum.
struct DeclaredTile {
  bool holdsElevations;
  std::optional<Datum> datum;
};

// What the tile phase leaves for the mosaic phase: the code table, and the declaration of every
// tile raster it wrote, by path.
struct ConvertedTiles {
  std::vector<std::string> codes;
  std::map<std::filesystem::path, DeclaredTile> declared;

  // A tile raster that this run did not write stands in a mosaic with a datum nobody knows.
  void declare(const std::filesystem::path& tile, DatumAgreement& datums) const {
    const auto found = declared.find(tile);
    if (found == declared.end()) {
      datums.add(std::nullopt);
    } else if (found->second.holdsElevations) {
      datums.add(found->second.datum);
    }
  }
};

SkipReason SkipReasonOf(GmlTileStatus status) {
  switch (status) {
    case GmlTileStatus::kNotOpened:
      return SkipReason::kNotOpened;
    case GmlTileStatus::kNoStartPoint:
      return SkipReason::kNoStartPoint;
    case GmlTileStatus::kNoValueList:
      return SkipReason::kNoValueList;
    case GmlTileStatus::kNotRead:
    case GmlTileStatus::kConverted:
      break;
  }
  return SkipReason::kNotRead;
}

// The tile phase: every listed tile becomes a tile raster.
ConvertedTiles ConvertListedTiles(const BatchContext& context, const GmlConversion& conversion,
                                  const std::filesystem::path& listPath,
                                  std::vector<SkippedInput>& skipped) {
  FileSystem& fs = context.fs;
  const std::filesystem::path& folder = context.folder;
  const MosaicLayout& layout = conversion.layout;
  const std::filesystem::path valueFilePath = folder / kGmlValueFileName;
  GmlInputReader inputs(fs, folder);
  CodeTable codes;
  ConvertedTiles converted;
  ForEachListedName(fs, listPath, [&](std::string_view name) {
    const std::filesystem::path gmlPath = inputs.pathOf(name);
    // A member's place comes from its own file name, as if it stood in the folder.
    TileName tile(GmlInputReader::FileNameOf(name), conversion);
    if (!tile.holdsAllPositions()) {
      // Its steps are still taken, so the bar ends full.
      for (std::int64_t i = 0; i < GmlTileSteps(layout.tileHeight); ++i) context.progress.step();
      skipped.push_back({gmlPath, SkipReason::kNameTooShort, {}});
      return;
    }
    codes.add(tile.mosaicCode());
    const std::filesystem::path tilePath =
        folder / PathFromUtf8(tile.tileCode() + std::string(conversion.nameSuffix));
    const GmlTileResult result =
        ConvertGmlTile(fs, context.progress, inputs.open(name),
                       {valueFilePath, tilePath, layout.tileWidth, layout.tileHeight});
    const bool holdsElevations = result.status == GmlTileStatus::kConverted;
    if (!holdsElevations) skipped.push_back({gmlPath, SkipReasonOf(result.status), {}});
    converted.declared.insert_or_assign(tilePath, DeclaredTile{holdsElevations, result.datum});
  });
  converted.codes = codes.codes();
  return converted;
}

// Tiles are opened by name, so a tile raster of an earlier run takes its place too.
std::vector<std::filesystem::path> TileRasterNames(const GmlConversion& conversion,
                                                   const std::filesystem::path& folder,
                                                   const std::string& code, int rowDigit,
                                                   int columnDigit) {
  const std::string name = code + std::to_string(rowDigit) + std::to_string(columnDigit) +
                           std::string(conversion.nameSuffix);
  return {folder / PathFromUtf8(name)};
}

}  // namespace

const GmlConversion kGml10Conversion{
    "FG-GML*dem10*.xml", {1125, 750, 8, 8}, kGml10CodePositions, 12, 13, "-ELEVARA", &kGml10Layer};
const GmlConversion kGml5Conversion{
    "FG-GML*dem5*.xml", {225, 150, 10, 10}, kGml5CodePositions, 15, 16, "-DEM5", &kGml5Layer};

BatchResult ConvertGmlFolder(const BatchContext& context, const GmlConversion& conversion) {
  FileSystem& fs = context.fs;
  const std::filesystem::path listPath = context.folder / kGmlListFileName;
  BatchResult result;
  GmlInputs inputs = FindGmlInputs(fs, context.folder, conversion.pattern);
  result.skipped = std::move(inputs.unreadable);
  WriteNameList(fs, context.folder, inputs.names, listPath, result.skipped);
  std::int64_t count = 0;
  ForEachListedName(fs, listPath, [&count](std::string_view) { ++count; });
  result.found = count > 0;
  if (!result.found) return result;

  const MosaicLayout& layout = conversion.layout;
  context.progress.startPhase(count * GmlTileSteps(layout.tileHeight));
  ValueFileRemoval valueFile(fs, context.folder / kGmlValueFileName);
  const ConvertedTiles tiles = ConvertListedTiles(context, conversion, listPath, result.skipped);

  context.progress.startPhase(static_cast<std::int64_t>(tiles.codes.size()) * layout.height());
  valueFile.remove();
  const MosaicSet mosaics{layout, tiles.codes, conversion.nameSuffix,
                          [&](const std::string& code, int rowDigit, int columnDigit) {
                            return TileRasterNames(conversion, context.folder, code, rowDigit,
                                                   columnDigit);
                          },
                          [&](const std::filesystem::path& tile, DatumAgreement& datums) {
                            tiles.declare(tile, datums);
                          }};
  WriteMosaics(context, mosaics, result);
  if (conversion.layer != nullptr) WriteAreaLayer(context, *conversion.layer, result);
  return result;
}

}  // namespace elevara
