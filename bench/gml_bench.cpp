// How fast a GML tile becomes a tile raster, against the straightforward converter built beside
// this bench as a yardstick, and what a whole GML10 run over one full mosaic of 64 tiles costs in
// time and memory.
//
//   gml_bench                 both measurements
//   gml_bench --run N         one GML10 run over N tiles (used by the above, one process each)

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "commands/gml_command.h"
#include "commands/services.h"
#include "gml/gml_tile.h"
#include "platform/file_system.h"
#include "testkit/files.h"
#include "testkit/null_services.h"

namespace {

namespace fs = std::filesystem;
using elevara::testing::NullServices;
using elevara::testing::TempFolder;
using Clock = std::chrono::steady_clock;

constexpr int kTileWidth = 1125;
constexpr int kTileHeight = 750;
constexpr int kRepetitions = 7;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double PeakMemoryMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

// A full 10 m tile laid out like the published ones: start point 0 0 behind the value list.
void GenerateTile(const fs::path& path) {
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> centimetres(-1000, 300000);
  std::ofstream out(path, std::ios::binary);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Dataset>\r\n\t<DEM>\r\n"
         "\t\t\t\t<gml:tupleList>\r\n";
  char line[64];
  for (int i = 0; i < kTileWidth * kTileHeight; ++i) {
    int value = centimetres(random);
    std::snprintf(line, sizeof line, "その他,%d.%02d\r\n", value / 100, std::abs(value % 100));
    out << line;
  }
  out << "</gml:tupleList>\r\n\t\t\t\t</gml:DataBlock>\r\n"
         "\t\t\t\t\t<gml:startPoint>0 0</gml:startPoint>\r\n\t</DEM>\r\n</Dataset>\r\n";
}

fs::path BenchTile(const TempFolder& scratch) {
  fs::path shared = ELEVARA_BENCH_TILE;
  if (fs::exists(shared)) return shared;
  fs::path generated = scratch.path() / "FG-GML-5339-00-dem10b-generated.xml";
  GenerateTile(generated);
  return generated;
}

bool SameBytes(const fs::path& a, const fs::path& b) {
  return elevara::testing::ReadBytes(a) == elevara::testing::ReadBytes(b);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Returns whether the goal was met (or could not be measured).
bool MeasureTile() {
  TempFolder scratch;
  const fs::path tile = BenchTile(scratch);
  const fs::path yardstick = ELEVARA_YARDSTICK;
  const bool haveYardstick = fs::exists(yardstick);
  std::printf("tile: %s (%.1f MB)\n", tile.filename().c_str(),
              static_cast<double>(fs::file_size(tile)) / 1e6);

  std::vector<double> ours, theirs;
  NullServices services;
  elevara::ServicesProgress progress(services);
  for (int i = 0; i < kRepetitions; ++i) {
    if (haveYardstick) {
      std::string command = "'" + yardstick.string() + "' '" + tile.string() + "' '" +
                            (scratch.path() / "naive-dtm.txt").string() + "' '" +
                            (scratch.path() / "naive.raw").string() + "' 1125 750";
      auto start = Clock::now();
      if (std::system(command.c_str()) != 0) std::printf("yardstick failed\n");
      theirs.push_back(SecondsSince(start));
    }
    auto start = Clock::now();
    elevara::ConvertGmlTile(elevara::SystemFileSystem(), progress, tile,
                            {scratch.path() / "tile.raw", kTileWidth, kTileHeight});
    ours.push_back(SecondsSince(start));
  }
  std::printf("ConvertGmlTile:                     median %.1f ms, best %.1f ms (%d runs)\n",
              Median(ours) * 1e3, *std::min_element(ours.begin(), ours.end()) * 1e3, kRepetitions);
  if (!haveYardstick) {
    std::printf("yardstick naive_tile not built (../shared absent): no ratio\n");
    return true;
  }
  const double ratio = Median(ours) / Median(theirs);
  std::printf("naive_tile yardstick:               median %.1f ms, best %.1f ms\n",
              Median(theirs) * 1e3, *std::min_element(theirs.begin(), theirs.end()) * 1e3);
  std::printf("ratio (medians): 1/%.1f  goal at most 1/8: %s\n", 1 / ratio,
              ratio <= 1.0 / 8 ? "met" : "NOT MET");
  const bool same = SameBytes(scratch.path() / "tile.raw", scratch.path() / "naive.raw");
  std::printf("tile rasters identical to the yardstick's: %s\n", same ? "yes" : "NO");
  std::fflush(stdout);
  return ratio <= 1.0 / 8 && same;
}

// Answers the dialog with one tile of the folder and notes when the mosaic phase begins.
class BenchServices : public NullServices {
 public:
  explicit BenchServices(fs::path chosen) : NullServices(std::move(chosen)) {}

  int phases = 0;
  Clock::time_point mosaicPhaseStart;

 protected:
  void progressChanged(ProgressChange change) override {
    if (change == ProgressChange::kMaximum && ++phases == 2) mosaicPhaseStart = Clock::now();
  }
};

int RunGml10(int tiles) {
  TempFolder scratch;
  const fs::path source = BenchTile(scratch);
  fs::path folder = scratch.path() / "run";
  fs::create_directories(folder);
  std::uintmax_t gmlBytes = 0;
  fs::path first;
  for (int i = 0; i < tiles; ++i) {
    // Row and column digits 0 to 7 fill one mosaic; more tiles go to further mosaic codes.
    char name[64];
    std::snprintf(name, sizeof name, "FG-GML-%04d-%d%d-dem10b-20161001.xml", 5339 + i / 64,
                  i / 8 % 8, i % 8);
    fs::path link = folder / name;
    std::error_code error;
    fs::create_hard_link(source, link, error);
    if (error) fs::copy_file(source, link);
    gmlBytes += fs::file_size(link);
    if (first.empty()) first = link;
  }
  const double baseline = PeakMemoryMiB();
  BenchServices services(first);
  auto start = Clock::now();
  // One worker, so that the peak memory compares runs of one tile and of 64 (gml_cores_bench
  // measures the runs on every core).
  elevara::RunGmlConversion(services, elevara::kGml10Conversion, 1);
  const double total = SecondsSince(start);
  const double tilePhase = std::chrono::duration<double>(services.mosaicPhaseStart - start).count();
  std::printf(
      "%5d tiles  %7.2f s  (tiles %6.2f s, mosaics %6.2f s)  %7.1f MB/s GML  "
      "peak %6.1f MiB (%.1f MiB before the run)\n",
      tiles, total, tilePhase, total - tilePhase, static_cast<double>(gmlBytes) / 1e6 / tilePhase,
      PeakMemoryMiB(), baseline);
  if (services.lastMessage.rfind("ファイル変換を終了しました", 0) != 0) {
    std::printf("run failed: %s\n", services.lastMessage.c_str());
    return 1;
  }
  return 0;
}

// Each run in a process of its own, since a process's peak memory only ever grows. Returns
// whether the peak stayed flat from one tile to 64 (within 1 MiB).
bool MeasureRuns(const char* self) {
  std::printf(
      "\nGML10 runs on one worker (one process each; MB/s counts each GML file once, over the tile "
      "phase):\n");
  std::fflush(stdout);
  std::vector<double> peaks;
  for (int tiles : {1, 8, 64}) {
    std::string command = std::string("'") + self + "' --run " + std::to_string(tiles);
    FILE* child = popen(command.c_str(), "r");
    char line[512];
    double peak = -1;
    while (child != nullptr && std::fgets(line, sizeof line, child) != nullptr) {
      std::fputs(line, stdout);
      if (const char* at = std::strstr(line, "peak ")) peak = std::atof(at + 5);
    }
    if (child == nullptr || pclose(child) != 0 || peak < 0) {
      std::printf("run over %d tiles failed\n", tiles);
      return false;
    }
    peaks.push_back(peak);
  }
  const bool flat = peaks.back() <= peaks.front() + 1.0;
  std::printf("peak memory from 1 to 64 tiles: %.1f -> %.1f MiB: %s\n", peaks.front(), peaks.back(),
              flat ? "flat" : "GROWS");
  return flat;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--run") return RunGml10(std::atoi(argv[2]));
  const bool fast = MeasureTile();
  const bool flat = MeasureRuns(argv[0]);
  return fast && flat ? 0 : 1;
}
