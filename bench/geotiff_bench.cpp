// The GeoTIFF export against GDAL's own cloud-optimized writer, on the same 9000 x 6000 mosaic
// with the same compression (DEFLATE level 6, floating-point predictor, 512 x 512 tiles, the same
// number of overview levels made by averaging), in the same run; and the export's peak memory
// on an 18000 x 12000 raster, in a process of its own.
//
// The mosaic is the published 10 m tile 6341-51 (beside the project) in each of its 64 places,
// real terrain with its sea; without it, a synthetic terrain. Each contender runs once untimed
// to warm the cache, then, alternating, kTimedPasses times; the fastest run counts, because other
// work on a shared machine only ever slows a run down. Both finish with their file on the disk:
// ELEVARA syncs its GeoTIFF before the rename, GDAL's is followed by `sync --data`. Goals: the
// export no slower than GDAL, at most 64 MiB for 18000 x 12000. Exit status 1 when one is missed.
//
//   geotiff_bench                 both measurements
//   geotiff_bench --export RASTER one export, printing the process's peak memory in MiB

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "commands/gml_command.h"
#include "platform/files.h"
#include "raster/geotiff_export.h"
#include "raster/overview_pyramid.h"
#include "raster/raw_raster.h"
#include "testkit/faulty_file_system.h"
#include "testkit/files.h"
#include "testkit/scripted_services.h"

namespace {

namespace fs = std::filesystem;
using namespace elevara;

constexpr int kTimedPasses = 3;
constexpr double kMemoryGoalMiB = 64;

std::string ShellQuoted(const fs::path& path) {
  std::string quoted = "'";
  for (char c : path.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

void Run(const std::string& command) {
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

// The rows of a 1125 x 750 tile: the published tile converted, or a synthetic terrain.
std::vector<float> TileCells(const fs::path& folder) {
  const fs::path published = ELEVARA_BENCH_TILE;
  std::vector<float> cells(1125 * 750);
  if (fs::exists(published)) {
    fs::copy_file(published, folder / published.filename());
    testing::ScriptedServices services;
    services.openAnswers.push_back(folder / published.filename());
    RunGml10Conversion(services);
    cells = testing::ReadFloats(folder / "634151-ELEVARA");
    for (const fs::path& file : fs::directory_iterator(folder)) fs::remove(file);
    std::printf("terrain: the published tile 6341-51 in every place\n");
    return cells;
  }
  for (int y = 0; y < 750; ++y) {
    for (int x = 0; x < 1125; ++x) {
      const double height = 400 * std::sin(x / 97.0) * std::cos(y / 61.0) + 0.37 * ((x * y) % 29);
      cells[y * 1125 + x] =
          height < -100 ? kNoData : std::round(static_cast<float>(height) * 10) / 10;
    }
  }
  std::printf("terrain: synthetic (the published tile 6341-51 is absent)\n");
  return cells;
}

// A raster `name` of the tile in each of its `across` x `down` places, placed on mesh `code`.
fs::path WriteMosaic(const fs::path& folder, const std::vector<float>& tile, const char* name,
                     const char* code, int across, int down) {
  const fs::path path = folder / name;
  const int width = 1125 * across;
  const int height = 750 * down;
  RasterWriter writer = RasterWriter::Create(SystemFileSystem(), path, width, height);
  std::vector<float> row(static_cast<std::size_t>(width));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) row[x] = tile[(y % 750) * 1125 + x % 1125];
    writer.writeRow(row);
  }
  writer.setGeoreference(MeshGeoreference(code, width, height, Datum::kJgd2011));
  writer.commit();
  return path;
}

double SecondsOf(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// No dirty pages of one run written back during the next, no earlier output to replace.
void Settle(const fs::path& output) {
  fs::remove(output);
  ::sync();
}

double TimeElevara(const fs::path& raster, FileSystem& files) {
  Settle(GeoTiffPathFor(raster));
  SilentProgress progress;
  return SecondsOf([&] {
    if (ExportGeoTiff(files, progress, raster).refusal) throw std::runtime_error("not exported");
  });
}

double TimeGdal(const fs::path& raster, const fs::path& tif, bool synced) {
  Settle(tif);
  const auto levels = OverviewSizes(9000, 6000).size();
  std::string command =
      "gdal_translate -q -of COG -co COMPRESS=DEFLATE -co LEVEL=6 "
      "-co PREDICTOR=YES -co BLOCKSIZE=512 -co RESAMPLING=AVERAGE "
      "-co OVERVIEW_COUNT=" +
      std::to_string(levels) + " " + ShellQuoted(raster) + " " + ShellQuoted(tif);
  if (synced) command += " && sync --data " + ShellQuoted(tif);
  return SecondsOf([&] { Run(command); });
}

// The export's peak memory, in a process of its own.
double PeakMemoryOfExport(const char* self, const fs::path& raster) {
  const std::string command = ShellQuoted(self) + " --export " + ShellQuoted(raster);
  FILE* child = popen(command.c_str(), "r");
  if (child == nullptr) throw std::runtime_error("cannot start " + command);
  double mib = -1;
  if (std::fscanf(child, "%lf", &mib) != 1) mib = -1;
  if (pclose(child) != 0 || mib < 0) throw std::runtime_error("failed: " + command);
  return mib;
}

int ExportAlone(const char* raster) {
  SilentProgress progress;
  if (ExportGeoTiff(SystemFileSystem(), progress, raster).refusal) return 1;
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%.1f\n", static_cast<double>(usage.ru_maxrss) / 1024.0);  // kilobytes on Linux
  return 0;
}

int Measure(const char* self) {
  testing::TempFolder folder;
  const std::vector<float> tile = TileCells(folder.path());
  const fs::path mosaic = WriteMosaic(folder.path(), tile, "6341-ELEVARA", "6341", 8, 8);
  const fs::path gdalTif = folder / "gdal.tif";

  testing::FaultyFileSystem unsynced;
  unsynced.syncsDoNothing = true;
  struct Contender {
    const char* name;
    std::function<double()> run;
    double seconds = std::numeric_limits<double>::infinity();
  };
  Contender contenders[] = {
      {"GDAL COG", [&] { return TimeGdal(mosaic, gdalTif, false); }},
      {"GDAL COG+sync", [&] { return TimeGdal(mosaic, gdalTif, true); }},
      {"ELEVARA, unsynced", [&] { return TimeElevara(mosaic, unsynced); }},
      {"ELEVARA", [&] { return TimeElevara(mosaic, SystemFileSystem()); }},
  };
  for (Contender& contender : contenders) contender.run();
  for (int pass = 0; pass < kTimedPasses; ++pass) {
    for (Contender& contender : contenders) {
      contender.seconds = std::min(contender.seconds, contender.run());
    }
  }
  const auto rawBytes = static_cast<double>(fs::file_size(mosaic));
  const auto ourBytes = static_cast<double>(fs::file_size(GeoTiffPathFor(mosaic)));
  const auto gdalBytes = static_cast<double>(fs::file_size(gdalTif));
  for (const Contender& contender : contenders) {
    std::printf("%-18s: %6.2f s (best of %d) for 9000 x 6000\n", contender.name, contender.seconds,
                kTimedPasses);
  }
  std::printf("size             : %.1f MB, %.1f%% of the RAW's %.1f MB (GDAL's: %.1f MB)\n",
              ourBytes / 1e6, 100 * ourBytes / rawBytes, rawBytes / 1e6, gdalBytes / 1e6);
  fs::remove(gdalTif);
  fs::remove(mosaic);
  fs::remove(GeoTiffPathFor(mosaic));

  const fs::path merged = WriteMosaic(folder.path(), tile, "5339-DEM5", "5339", 16, 16);
  const double mib = PeakMemoryOfExport(self, merged);
  const double ratio = contenders[1].seconds / contenders[3].seconds;
  const bool fast = ratio >= 1.0;
  const bool small = mib <= kMemoryGoalMiB;
  std::printf("speed            : %.2f x GDAL's, both synced (goal >= 1.00) %s\n", ratio,
              fast ? "PASS" : "FAIL");
  std::printf("peak memory      : %.1f MiB for 18000 x 12000 (goal <= %.0f MiB) %s\n", mib,
              kMemoryGoalMiB, small ? "PASS" : "FAIL");
  return fast && small ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 3 && std::string(argv[1]) == "--export") return ExportAlone(argv[2]);
    return Measure(argv[0]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "geotiff_bench: %s\n", error.what());
    return 2;
  }
}
