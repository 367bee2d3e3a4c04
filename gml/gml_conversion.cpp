#include "gml/gml_conversion.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "gml/gml_inputs.h"
#include "gml/gml_tile.h"
#include "platform/files.h"
#include "platform/parallel_jobs.h"
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

// A listed name, and the tile raster it becomes when the name holds every position.
struct ListedTile {
  std::string name;
  std::filesystem::path tileRaster;  // empty: too short to be placed
};

std::vector<ListedTile> ListedTiles(const BatchContext& context, const GmlConversion& conversion,
                                    const std::filesystem::path& listPath, CodeTable& codes) {
  std::vector<ListedTile> tiles;
  ForEachListedName(context.fs, listPath, [&](std::string_view name) {
    // A member's place comes from its own file name, as if it stood in the folder.
    TileName tile(GmlInputReader::FileNameOf(name), conversion);
    ListedTile& listed = tiles.emplace_back(ListedTile{std::string(name), {}});
    if (!tile.holdsAllPositions()) return;
    codes.add(tile.mosaicCode());
    listed.tileRaster =
        context.folder / PathFromUtf8(tile.tileCode() + std::string(conversion.nameSuffix));
  });
  return tiles;
}

// A job of the tile phase: the listed tiles of one tile raster, in list order. Converted in
// turn, the later one's raster replaces the earlier one's, as one worker leaves them; jobs of
// different rasters are independent. Names that a file system ignoring letter case takes for one
// raster share a job too. A name too short to be placed is a job of its own, without a raster.
struct TileJob {
  std::filesystem::path tileRaster;
  std::vector<std::size_t> tiles;  // indices into the list
};

std::vector<TileJob> TileJobs(const std::vector<ListedTile>& tiles) {
  std::vector<TileJob> jobs;
  std::unordered_map<std::string, std::size_t> jobOfRaster;
  for (std::size_t tile = 0; tile < tiles.size(); ++tile) {
    const std::filesystem::path& raster = tiles[tile].tileRaster;
    if (raster.empty()) {
      jobs.push_back({{}, {tile}});
      continue;
    }
    const auto [job, added] =
        jobOfRaster.try_emplace(AsciiLowered(Utf8FromPath(raster.filename())), jobs.size());
    if (added) jobs.push_back({raster, {}});
    jobs[job->second].tiles.push_back(tile);
  }
  return jobs;
}

// What a worker of the tile phase keeps for the run.
struct TileWorker {
  TileWorker(const BatchContext& context, const MemberReading& reading)
      : inputs(context.fs, context.folder, {}, reading) {}
  GmlInputReader inputs;
  GmlTileWorkspace workspace;
};

// The tile phase: every listed tile becomes a tile raster, the context's workers converting the
// jobs side by side.
class TilePhase {
 public:
  TilePhase(const BatchContext& context, const GmlConversion& conversion,
            std::vector<ListedTile> tiles)
      : context_(context),
        layout_(conversion.layout),
        tiles_(std::move(tiles)),
        jobs_(TileJobs(tiles_)),
        workers_(static_cast<std::size_t>(std::max(context.workers, 1))),
        results_(tiles_.size()) {}

  void run() {
    RunParallelJobs(context_.progress, context_.workers, jobs_.size(),
                    [this](std::size_t job, int worker, Progress& progress) {
                      convert(jobs_[job], workerAt(worker), progress);
                    });
  }

  // What the mosaic phase needs of the tiles; what could not be converted goes to `skipped`, in
  // list order.
  ConvertedTiles report(std::vector<SkippedInput>& skipped) const {
    ConvertedTiles converted;
    for (std::size_t tile = 0; tile < tiles_.size(); ++tile) {
      const std::filesystem::path gmlPath = GmlInputPath(context_.folder, tiles_[tile].name);
      const std::optional<GmlTileResult>& result = results_[tile];
      if (!result) {
        skipped.push_back({gmlPath, SkipReason::kNameTooShort, {}});
        continue;
      }
      const bool holdsElevations = result->status == GmlTileStatus::kConverted;
      if (!holdsElevations) skipped.push_back({gmlPath, SkipReasonOf(result->status), {}});
      converted.declared.insert_or_assign(tiles_[tile].tileRaster,
                                          DeclaredTile{holdsElevations, result->datum});
    }
    return converted;
  }

 private:
  void convert(const TileJob& job, TileWorker& worker, Progress& progress) {
    for (std::size_t tile : job.tiles) {
      if (job.tileRaster.empty()) {
        // Its steps are still taken, so the bar ends full.
        for (std::int64_t i = 0; i < GmlTileSteps(layout_.tileHeight); ++i) progress.step();
        continue;
      }
      results_[tile] =
          ConvertGmlTile(context_.fs, progress, worker.inputs.open(tiles_[tile].name),
                         {job.tileRaster, layout_.tileWidth, layout_.tileHeight}, worker.workspace);
    }
  }

  // Made by the worker itself when it takes its first job, so that none is made for nothing.
  TileWorker& workerAt(int worker) {
    std::unique_ptr<TileWorker>& kept = workers_[static_cast<std::size_t>(worker)];
    // A member read ahead pays only where no other worker keeps the cores busy.
    if (!kept)
      kept = std::make_unique<TileWorker>(context_, MemberReading{context_.workers < 2, inflated_});
    return *kept;
  }

  const BatchContext& context_;
  const MosaicLayout& layout_;
  const std::vector<ListedTile> tiles_;
  const std::vector<TileJob> jobs_;
  const std::shared_ptr<InflatedArchives> inflated_ = std::make_shared<InflatedArchives>();
  std::vector<std::unique_ptr<TileWorker>> workers_;
  std::vector<std::optional<GmlTileResult>> results_;  // by listed tile; nullopt: not placed
};

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
  CodeTable codes;
  TilePhase tilePhase(context, conversion, ListedTiles(context, conversion, listPath, codes));
  tilePhase.run();
  ConvertedTiles tiles = tilePhase.report(result.skipped);
  tiles.codes = codes.codes();

  context.progress.startPhase(static_cast<std::int64_t>(tiles.codes.size()) * layout.height());
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
