#include "raster/mosaic_writer.h"

#include <optional>
#include <unordered_map>

#include "platform/files.h"
#include "platform/parallel_jobs.h"
#include "platform/unicode.h"

namespace elevara {

namespace {

std::filesystem::path MosaicPathOf(const BatchContext& context, const MosaicSet& set,
                                   const std::string& code) {
  return context.folder / PathFromUtf8(code + std::string(set.suffix));
}

// The mosaic of `code`, placed on the mesh its code names, on the datum its present tiles agree
// on.
MosaicPlan MosaicPlanOf(const BatchContext& context, const MosaicSet& set,
                        const std::string& code) {
  const auto georeference = [&set, code](const std::vector<std::filesystem::path>& present) {
    DatumAgreement datums;
    for (const std::filesystem::path& tile : present) set.declareDatum(tile, datums);
    return MeshGeoreference(code, set.layout.width(), set.layout.height(), datums.common());
  };
  return {set.layout, MosaicPathOf(context, set, code),
          [&set, code](int rowDigit, int columnDigit) {
            return set.tileNames(code, rowDigit, columnDigit);
          },
          georeference};
}

// The mosaics written by one job, in code order: those whose names a file system that ignores
// letter case takes for one, so that the last of them stands, as on one worker. Mosaics of
// different jobs are independent and may be written side by side.
std::vector<std::vector<std::size_t>> MosaicJobs(const std::vector<std::string>& codes,
                                                 std::string_view suffix) {
  std::vector<std::vector<std::size_t>> jobs;
  std::unordered_map<std::string, std::size_t> jobOfName;
  for (std::size_t code = 0; code < codes.size(); ++code) {
    const auto [job, added] =
        jobOfName.try_emplace(AsciiLowered(codes[code] + std::string(suffix)), jobs.size());
    if (added) jobs.emplace_back();
    jobs[job->second].push_back(code);
  }
  return jobs;
}

}  // namespace

void WriteMosaic(FileSystem& fs, Progress& progress, const MosaicPlan& plan, TileRasters& tiles) {
  const MosaicLayout& layout = plan.layout;
  RasterWriter mosaic =
      RasterWriter::Create(fs, plan.path, static_cast<std::int32_t>(layout.width()),
                           static_cast<std::int32_t>(layout.height()));
  std::vector<float> row(static_cast<std::size_t>(layout.width()));
  std::vector<std::optional<RasterReader>> band(static_cast<std::size_t>(layout.tilesAcross));
  std::vector<std::filesystem::path> present;
  for (int rowDigit = layout.tilesDown - 1; rowDigit >= 0; --rowDigit) {
    for (int column = 0; column < layout.tilesAcross; ++column) {
      auto& tile = band[static_cast<std::size_t>(column)];
      tile = tiles.open(plan.tileNames(rowDigit, column));
      if (tile) present.push_back(tile->path());
    }
    for (int line = 0; line < layout.tileHeight; ++line) {
      for (int column = 0; column < layout.tilesAcross; ++column) {
        std::span<float> segment(row.data() + std::size_t(column) * layout.tileWidth,
                                 static_cast<std::size_t>(layout.tileWidth));
        tiles.readRow(band[static_cast<std::size_t>(column)], line, segment);
      }
      mosaic.writeRow(row);
      progress.step();
    }
    for (auto& tile : band) tile.reset();
  }
  if (plan.georeference) mosaic.setGeoreference(plan.georeference(present));
  mosaic.commit();
}

void WriteMosaics(const BatchContext& context, const MosaicSet& set, BatchResult& result) {
  const std::vector<std::vector<std::size_t>> jobs = MosaicJobs(set.codes, set.suffix);
  // What each mosaic's tiles left unread, kept by code so that they are told in code order.
  std::vector<std::vector<SkippedInput>> unreadable(set.codes.size());
  RunParallelJobs(context.progress, context.workers, jobs.size(),
                  [&](std::size_t job, int, Progress& progress) {
                    for (std::size_t index : jobs[job]) {
                      const std::string& code = set.codes[index];
                      TileRasters tiles(context.fs, set.layout.tileWidth);
                      WriteMosaic(context.fs, progress, MosaicPlanOf(context, set, code), tiles);
                      unreadable[index] = tiles.skipped();
                    }
                  });
  for (std::size_t index = 0; index < set.codes.size(); ++index) {
    result.written.push_back(MosaicPathOf(context, set, set.codes[index]));
    result.skipped.insert(result.skipped.end(), unreadable[index].begin(), unreadable[index].end());
  }
}

}  // namespace elevara
