#include "gml/gml_conversion.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "gml/gml_inputs.h"
#include "gml/gml_tile.h"
#include "platform/errors.h"
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
  // Why the tile cannot be placed by its name: too short for the positions, or its codes would
  // put into the names of its raster and mosaic what no file name may hold.
  std::optional<SkipReason> refusal() const {
    if (!holdsAllPositions()) return SkipReason::kNameTooShort;
    if (!IsPlainFileNamePart(tileCode())) return SkipReason::kCodeNotANamePart;
    return std::nullopt;
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

// What the tile phase leaves for the mosaic phase: the codes with a tile converted, in the
// order of the code table, and the declaration of every tile raster it wrote, by path.
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

// The archives' usual bounds, the run's progress polled while they are read.
ArchiveLimits ArchiveLimitsOf(const BatchContext& context) {
  ArchiveLimits limits;
  limits.progress = &context.progress;
  return limits;
}

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

// The tile phase: every listed tile becomes a tile raster. A copy of a tile (a file name met
// before, letter case aside) is passed over once a copy of it has converted; until then it
// stands in for the copies that did not.
ConvertedTiles ConvertListedTiles(const BatchContext& context, const GmlConversion& conversion,
                                  const std::filesystem::path& listPath,
                                  std::vector<SkippedInput>& skipped) {
  FileSystem& fs = context.fs;
  const std::filesystem::path& folder = context.folder;
  const MosaicLayout& layout = conversion.layout;
  const std::filesystem::path valueFilePath = folder / kGmlValueFileName;
  GmlInputReader inputs(fs, folder, ArchiveLimitsOf(context));
  CodeTable codes;
  std::unordered_set<std::string> convertedNames, codesConverted;
  ConvertedTiles converted;
  ForEachListedName(fs, listPath, [&](std::string_view name) {
    const std::filesystem::path gmlPath = inputs.pathOf(name);
    // A member's place comes from its own file name, as if it stood in the folder.
    const std::string_view fileName = GmlInputReader::FileNameOf(name);
    TileName tile(fileName, conversion);
    const std::optional<SkipReason> refusal = tile.refusal();
    if (refusal || convertedNames.contains(AsciiLowered(fileName))) {
      // Its steps are still taken, so the bar ends full.
      for (std::int64_t i = 0; i < GmlTileSteps(layout.tileHeight); ++i) context.progress.step();
      if (refusal) skipped.push_back({gmlPath, *refusal, {}});
      return;
    }
    codes.add(tile.mosaicCode());
    const std::filesystem::path tilePath =
        folder / PathFromUtf8(tile.tileCode() + std::string(conversion.nameSuffix));
    std::error_code openError;
    std::optional<InputFile> gml = inputs.open(name, openError);
    const GmlTileResult result =
        ConvertGmlTile(fs, context.progress, std::move(gml),
                       {valueFilePath, tilePath, layout.tileWidth, layout.tileHeight});
    const bool holdsElevations = result.status == GmlTileStatus::kConverted;
    if (holdsElevations) {
      convertedNames.insert(AsciiLowered(fileName));
      codesConverted.insert(tile.mosaicCode());
    } else {
      skipped.push_back(
          {gmlPath, SkipReasonOf(result.status), openError ? openError : result.error});
    }
    converted.declared.insert_or_assign(tilePath, DeclaredTile{holdsElevations, result.datum});
  });
  // A mosaic of no-data only would pass for a mesh of the sea: a code none of whose tiles
  // converted gets none, and its tiles are named.
  std::ranges::copy_if(codes.codes(), std::back_inserter(converted.codes),
                       [&](const std::string& code) { return codesConverted.contains(code); });
  return converted;
}

// The mosaics the listed tiles make, one for each code of a tile that can be placed: what an
// interrupt of the tile phase leaves unwritten.
std::vector<std::filesystem::path> ListedMosaics(const BatchContext& context,
                                                 const GmlConversion& conversion,
                                                 const std::filesystem::path& listPath) {
  CodeTable codes;
  ForEachListedName(context.fs, listPath, [&](std::string_view name) {
    const TileName tile(GmlInputReader::FileNameOf(name), conversion);
    if (!tile.refusal()) codes.add(tile.mosaicCode());
  });
  std::vector<std::filesystem::path> mosaics;
  for (const std::string& code : codes.codes()) {
    mosaics.push_back(context.folder / PathFromUtf8(code + std::string(conversion.nameSuffix)));
  }
  return mosaics;
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
    "FG-GML*dem10*.xml", {1125, 750, 8, 8}, kGml10CodePositions, 12, 13, "-ELEVARA"};
const GmlConversion kGml5Conversion{
    "FG-GML*dem5*.xml", {225, 150, 10, 10}, kGml5CodePositions, 15, 16, "-DEM5"};

BatchResult ConvertGmlFolder(const BatchContext& context, const GmlConversion& conversion) {
  FileSystem& fs = context.fs;
  const std::filesystem::path listPath = context.folder / kGmlListFileName;
  const std::unique_ptr<FolderClaim> claim = ClaimFolder(context);
  BatchResult result;
  GmlInputs inputs =
      FindGmlInputs(fs, context.folder, conversion.pattern, ArchiveLimitsOf(context));
  result.skipped = std::move(inputs.unreadable);
  WriteNameList(fs, context.folder, inputs.names, listPath, result.skipped);
  std::int64_t count = 0;
  ForEachListedName(fs, listPath, [&count](std::string_view) { ++count; });
  result.found = count > 0;
  if (!result.found) return result;

  const MosaicLayout& layout = conversion.layout;
  context.progress.startPhase(count * GmlTileSteps(layout.tileHeight));
  ValueFileRemoval valueFile(fs, context.folder / kGmlValueFileName);
  std::optional<ConvertedTiles> converted;
  try {
    converted = ConvertListedTiles(context, conversion, listPath, result.skipped);
  } catch (Interrupted& interrupted) {
    interrupted.unwritten = ListedMosaics(context, conversion, listPath);
    throw;
  }
  const ConvertedTiles& tiles = *converted;

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
  return result;
}

}  // namespace elevara
