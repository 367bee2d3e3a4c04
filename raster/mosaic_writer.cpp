#include "raster/mosaic_writer.h"

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/parallel_jobs.h"
#include "platform/unicode.h"

namespace elevara {
namespace {

// Room for a mosaic's sidecar and ENVI header, and for the last, partly filled block of each
// of its files.
constexpr std::uint64_t kRoomBesideRaster = 64 * 1024;
constexpr std::uint64_t kBytesPerMegabyte = 1'000'000;

std::filesystem::path MosaicPathOf(const BatchContext& context, const MosaicSet& set,
                                   const std::string& code) {
  return context.folder / PathFromUtf8(code + std::string(set.suffix));
}

// The most room the mosaics take at any moment, `each` bytes each, `atOnce` of them written side
// by side: a mosaic is written beside the file it replaces, which goes only when the new one
// takes its name. A target that is no regular file (a FIFO) is written in place and takes none.
std::uint64_t PeakRoom(FileSystem& fs, const std::vector<std::filesystem::path>& targets,
                       std::uint64_t each, int atOnce) {
  std::vector<std::int64_t> replaced;  // by each mosaic that takes room
  for (const std::filesystem::path& target : targets) {
    std::error_code error;
    const std::filesystem::file_status status = fs.status(target, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) continue;
    replaced.push_back(std::filesystem::is_regular_file(status)
                           ? static_cast<std::int64_t>(fs.fileSize(target, error))
                           : 0);
  }
  std::int64_t held = 0;  // what the mosaics written so far took, less what they replaced
  std::int64_t peak = 0;
  const auto perMosaic = static_cast<std::int64_t>(each);
  for (std::size_t i = 0; i < replaced.size(); ++i) {
    const auto inFlight =
        std::min<std::size_t>(static_cast<std::size_t>(std::max(atOnce, 1)), replaced.size() - i);
    peak = std::max(peak, held + perMosaic * static_cast<std::int64_t>(inFlight));
    held += perMosaic - replaced[i];
  }
  return static_cast<std::uint64_t>(peak);
}

// Megabytes, rounded up for what is needed and down for what there is, so that the two never
// look alike when one falls short.
std::string MegabytesText(std::uint64_t bytes, bool roundUp) {
  return std::to_string((bytes + (roundUp ? kBytesPerMegabyte - 1 : 0)) / kBytesPerMegabyte) +
         " MB";
}

// Before the first mosaic is written: a run that cannot write them all writes none, rather than
// filling the disk to find out. A file system that does not tell its room leaves it to the
// writes.
void CheckRoomForMosaics(const BatchContext& context, const MosaicSet& set) {
  std::vector<std::filesystem::path> targets;
  for (const std::string& code : set.codes) targets.push_back(MosaicPathOf(context, set, code));
  const auto rasterBytes =
      static_cast<std::uint64_t>(set.layout.width() * set.layout.height()) * sizeof(float);
  const std::uint64_t needed =
      PeakRoom(context.fs, targets, rasterBytes + kRoomBesideRaster, context.workers);
  std::error_code error;
  const std::uint64_t available = context.fs.availableSpace(context.folder, error);
  if (error || available >= needed) return;
  throw FileError(FileAction::kFill, context.folder,
                  std::make_error_code(std::errc::no_space_on_device),
                  "必要な空き容量 " + MegabytesText(needed, true) + "、空き容量 " +
                      MegabytesText(available, false));
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
  CheckRoomForMosaics(context, set);
  const std::vector<std::vector<std::size_t>> jobs = MosaicJobs(set.codes, set.suffix);
  // What each mosaic's tiles left unread, kept by code so that they are told in code order.
  std::vector<std::vector<SkippedInput>> unreadable(set.codes.size());
  // Each flag is set by the one worker that writes its mosaic, and read once all have ended.
  std::vector<char> written(set.codes.size(), 0);
  try {
    RunParallelJobs(context.progress, context.workers, jobs.size(),
                    [&](std::size_t job, int, Progress& progress) {
                      for (std::size_t index : jobs[job]) {
                        const std::string& code = set.codes[index];
                        TileRasters tiles(context.fs, set.layout.tileWidth);
                        WriteMosaic(context.fs, progress, MosaicPlanOf(context, set, code), tiles);
                        unreadable[index] = tiles.skipped();
                        written[index] = 1;
                      }
                    });
  } catch (Interrupted& interrupted) {
    for (std::size_t index = 0; index < set.codes.size(); ++index) {
      if (!written[index])
        interrupted.unwritten.push_back(MosaicPathOf(context, set, set.codes[index]));
    }
    throw;
  }
  for (std::size_t index = 0; index < set.codes.size(); ++index) {
    result.written.push_back(MosaicPathOf(context, set, set.codes[index]));
    result.skipped.insert(result.skipped.end(), unreadable[index].begin(), unreadable[index].end());
  }
}

}  // namespace elevara
