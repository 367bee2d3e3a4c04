#include "gml/gml_conversion.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "gml/gml_edition.h"
#include "gml/gml_inputs.h"
#include "gml/gml_tile.h"
#include "platform/errors.h"
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

// What a tile raster written in this run declares of its datum: that of each file whose values
// it holds. A raster of no-data only lies on any datum.
struct DeclaredTile {
  bool holdsElevations = false;
  std::vector<std::optional<Datum>> datums;
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
      for (const std::optional<Datum>& datum : found->second.datums) datums.add(datum);
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

// A listed name, and the tile raster it becomes when its name places it.
struct ListedTile {
  std::string name;
  std::optional<SkipReason> refusal;  // why its name does not place it
  std::string mosaicCode;
  std::filesystem::path tileRaster;  // empty: not placed
  std::optional<GmlEdition> edition;
};

std::vector<ListedTile> ListedTiles(const BatchContext& context, const GmlConversion& conversion,
                                    const std::filesystem::path& listPath, CodeTable& codes) {
  std::vector<ListedTile> tiles;
  ForEachListedName(context.fs, listPath, [&](std::string_view name) {
    // A member's place comes from its own file name, as if it stood in the folder.
    const std::string_view fileName = GmlInputReader::FileNameOf(name);
    TileName tile(fileName, conversion);
    ListedTile& listed = tiles.emplace_back(
        ListedTile{std::string(name), tile.refusal(), {}, {}, EditionOfName(fileName)});
    if (listed.refusal) return;
    listed.mosaicCode = tile.mosaicCode();
    codes.add(listed.mosaicCode);
    listed.tileRaster =
        context.folder / PathFromUtf8(tile.tileCode() + std::string(conversion.nameSuffix));
  });
  return tiles;
}

// A job of the tile phase: the listed tiles of one tile raster, in list order, which one worker
// makes into the raster (see ConvertGmlFolder on editions); jobs of different rasters are
// independent. Names that a file system ignoring letter case takes for one raster share a job
// too. A name that is not placed is a job of its own, without a raster.
struct TileJob {
  std::filesystem::path tileRaster;
  std::vector<std::size_t> tiles;  // indices into the list
};

// The tiles of a job by edition, the best first, each edition's in list order; all of them as one
// edition when a name among them gives none.
std::vector<std::vector<std::size_t>> EditionsBestFirst(const std::vector<ListedTile>& tiles,
                                                        const std::vector<std::size_t>& job) {
  const auto hasEdition = [&](std::size_t tile) { return tiles[tile].edition.has_value(); };
  if (job.size() == 1 || !std::ranges::all_of(job, hasEdition)) return {job};
  std::vector<std::size_t> ranked = job;
  const auto better = [&](std::size_t a, std::size_t b) {
    return IsBetterEdition(*tiles[a].edition, *tiles[b].edition);
  };
  std::ranges::stable_sort(ranked, better);
  std::vector<std::vector<std::size_t>> editions;
  for (std::size_t tile : ranked) {
    if (editions.empty() || better(editions.back().front(), tile)) editions.emplace_back();
    editions.back().push_back(tile);
  }
  return editions;
}

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

// The progress of the job a worker is on, for the archives it keeps open from job to job: they
// poll it while they list or inflate.
class CurrentJobProgress final : public Progress {
 public:
  void startPhase(std::int64_t) override {}
  void step() override { current_->step(); }
  void poll() override { current_->poll(); }
  void setJob(Progress& progress) { current_ = &progress; }

 private:
  Progress* current_ = nullptr;
};

// What a worker of the tile phase keeps for the run.
struct TileWorker {
  TileWorker(const BatchContext& context, const MemberReading& reading)
      : inputs(context.fs, context.folder, limits(), reading) {}
  ArchiveLimits limits() {
    ArchiveLimits polled;
    polled.progress = &progress;
    return polled;
  }
  CurrentJobProgress progress;  // before `inputs`, which polls it
  GmlInputReader inputs;
  GmlTileWorkspace workspace;
};

// What the worker on a job uses while it reads the job's files: its own reader and cells, the job's
// progress, and the file names of the job converted so far (the copies of which are passed over).
struct JobReading {
  TileWorker& worker;
  Progress& progress;
  std::unordered_set<std::string> convertedNames;
};

// Takes the progress steps of `tiles` tiles of `height` rows, or of the second halves of them.
void StepOver(Progress& progress, std::int64_t tiles, int height, bool halves = false) {
  const std::int64_t steps = tiles * (halves ? height : GmlTileSteps(height));
  for (std::int64_t i = 0; i < steps; ++i) progress.step();
}

// The tile phase: every listed tile becomes a tile raster, the context's workers converting the
// jobs side by side. A copy of a tile (a file name met before, letter case aside) is passed over
// once a copy of it has converted; until then it stands in for the copies that did not.
class TilePhase {
 public:
  TilePhase(const BatchContext& context, const GmlConversion& conversion, const GmlOptions& options,
            std::vector<ListedTile> tiles)
      : context_(context),
        layout_(conversion.layout),
        options_(options),
        tiles_(std::move(tiles)),
        jobs_(TileJobs(tiles_)),
        workers_(static_cast<std::size_t>(std::max(context.workers, 1))),
        results_(tiles_.size()),
        declared_(jobs_.size()) {}

  void run() {
    RunParallelJobs(context_.progress, context_.workers, jobs_.size(),
                    [this](std::size_t job, int worker, Progress& progress) {
                      convert(job, workerAt(worker), progress);
                    });
  }

  // What the mosaic phase needs of the tiles: what could not be converted goes to `skipped`, in
  // list order. A mosaic of no-data only would pass for a mesh of the sea: a code none of whose
  // tiles converted gets none, and its tiles are named.
  ConvertedTiles report(const std::vector<std::string>& codes,
                        std::vector<SkippedInput>& skipped) const {
    ConvertedTiles converted;
    std::unordered_set<std::string> codesConverted;
    for (std::size_t tile = 0; tile < tiles_.size(); ++tile) {
      const ListedTile& listed = tiles_[tile];
      const std::filesystem::path gmlPath = GmlInputPath(context_.folder, listed.name);
      if (listed.refusal) {
        skipped.push_back({gmlPath, *listed.refusal, {}});
        continue;
      }
      const std::optional<GmlTileResult>& result = results_[tile];
      if (!result) continue;  // passed over: a copy of it converted
      if (result->status == GmlTileStatus::kConverted) {
        codesConverted.insert(listed.mosaicCode);
      } else {
        skipped.push_back({gmlPath, SkipReasonOf(result->status), result->error});
      }
    }
    for (std::size_t job = 0; job < jobs_.size(); ++job) {
      for (std::size_t tile : jobs_[job].tiles) {
        if (!tiles_[tile].refusal) converted.declared[tiles_[tile].tileRaster] = declared_[job];
      }
    }
    std::ranges::copy_if(codes, std::back_inserter(converted.codes),
                         [&](const std::string& code) { return codesConverted.contains(code); });
    return converted;
  }

 private:
  // The job's raster: its editions read best first, each into the cells of the one before or,
  // for a lesser edition, into cells of its own whose values then fill the no-data cells.
  // Passed-over copies still take their steps, and every file read the steps of a raster
  // written, so the bar ends full.
  void convert(std::size_t jobIndex, TileWorker& worker, Progress& progress) {
    worker.progress.setJob(progress);
    const TileJob& job = jobs_[jobIndex];
    const int height = layout_.tileHeight;
    if (job.tileRaster.empty()) return StepOver(progress, 1, height);
    const GmlTilePlan plan{job.tileRaster, layout_.tileWidth, height, options_.seaLevelZero};
    GmlTileWorkspace& workspace = worker.workspace;
    const std::span<float> cells = TileCells(workspace.cells, plan);
    DeclaredTile& declared = declared_[jobIndex];
    JobReading reading{worker, progress, {}};
    std::int64_t read = 0;
    for (const std::vector<std::size_t>& edition : EditionsBestFirst(tiles_, job.tiles)) {
      const std::span<float> into = read == 0 ? cells : TileCells(workspace.editionCells, plan);
      const std::optional<std::size_t> last = readEdition(edition, reading, plan, into);
      if (!last) continue;
      const GmlTileResult& result = *results_[*last];
      const bool converted = result.status == GmlTileStatus::kConverted;
      if (converted && (read == 0 || FillNoDataCells(cells, into) > 0)) {
        declared.holdsElevations = true;
        declared.datums.push_back(result.datum);
      }
      ++read;
    }
    WriteGmlTileRaster(context_.fs, progress, cells, plan);
    StepOver(progress, read - 1, height, true);
  }

  // Reads the files of one edition into `cells` in list order, each replacing the one before,
  // passing over copies; returns the last read, whose cells stay.
  std::optional<std::size_t> readEdition(const std::vector<std::size_t>& edition,
                                         JobReading& reading, const GmlTilePlan& plan,
                                         std::span<float> cells) {
    std::optional<std::size_t> last;
    for (std::size_t tile : edition) {
      const std::string& name = tiles_[tile].name;
      const std::string fileName = AsciiLowered(GmlInputReader::FileNameOf(name));
      if (reading.convertedNames.contains(fileName)) {
        StepOver(reading.progress, 1, plan.height);
        continue;
      }
      if (last) StepOver(reading.progress, 1, plan.height, true);  // the file it replaces
      std::error_code openError;
      std::optional<InputFile> gml = reading.worker.inputs.open(name, openError);
      GmlTileResult result =
          ReadGmlTile(reading.progress, std::move(gml), plan, reading.worker.workspace, cells);
      if (openError) result.error = openError;
      if (result.status == GmlTileStatus::kConverted) reading.convertedNames.insert(fileName);
      results_[tile] = std::move(result);
      last = tile;
    }
    return last;
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
  const GmlOptions options_;
  const std::vector<ListedTile> tiles_;
  const std::vector<TileJob> jobs_;
  const std::shared_ptr<InflatedArchives> inflated_ = std::make_shared<InflatedArchives>();
  std::vector<std::unique_ptr<TileWorker>> workers_;
  std::vector<std::optional<GmlTileResult>> results_;  // by listed tile; nullopt: not converted
  std::vector<DeclaredTile> declared_;                 // by job
};

// The mosaics the listed tiles make, one for each code of a tile that can be placed: what an
// interrupt of the tile phase leaves unwritten.
std::vector<std::filesystem::path> ListedMosaics(const BatchContext& context,
                                                 const GmlConversion& conversion,
                                                 const std::vector<std::string>& codes) {
  std::vector<std::filesystem::path> mosaics;
  for (const std::string& code : codes) {
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
    "FG-GML*dem10*.xml", {1125, 750, 8, 8}, kGml10CodePositions, 12, 13, "-ELEVARA", &kGml10Layer};
const GmlConversion kGml5Conversion{
    "FG-GML*dem5*.xml", {225, 150, 10, 10}, kGml5CodePositions, 15, 16, "-DEM5", &kGml5Layer};
const GmlConversion kGml1Conversion{
    "FG-GML*-dem1?-*.xml", {1125, 750, 10, 10}, kGml5CodePositions, 15, 16, "-DEM1", &kGml1Layer};

BatchResult ConvertGmlFolder(const BatchContext& context, const GmlConversion& conversion,
                             const GmlOptions& options) {
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
  CodeTable codes;
  TilePhase tilePhase(context, conversion, options,
                      ListedTiles(context, conversion, listPath, codes));
  try {
    tilePhase.run();
  } catch (Interrupted& interrupted) {
    interrupted.unwritten = ListedMosaics(context, conversion, codes.codes());
    throw;
  }
  const ConvertedTiles tiles = tilePhase.report(codes.codes(), result.skipped);

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
  if (conversion.layer != nullptr) WriteAreaLayer(context, *conversion.layer, result);
  return result;
}

}  // namespace elevara
