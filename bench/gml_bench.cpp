// How fast a GML tile becomes a tile raster, against the straightforward converter built beside
// this bench as a yardstick: a 10 m tile, its values in the layout of a 1 m tile (as many cells),
// and a 1 m tile of laser terrain; and what whole runs over more and more tiles cost in time and
// memory: GML10 over one full mosaic of 64 tiles, GML1 over 16 tiles of one mosaic.
//
//   gml_bench                     every measurement
//   gml_bench --run 10|1 N TILE   one GML10 or GML1 run over N links to TILE (used by the above,
//                                 one process each)

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "commands/gml_command.h"
#include "commands/services.h"
#include "gml/gml_tile.h"
#include "platform/file_system.h"
#include "testkit/files.h"
#include "testkit/null_services.h"
#include "testkit/plain_gml.h"

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
// Written at once (see Write1mTile).
void GenerateTile(const fs::path& path) {
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> centimetres(-1000, 300000);
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Dataset>\r\n\t<DEM>\r\n"
      "\t\t\t\t<gml:tupleList>\r\n";
  char line[64];
  for (int i = 0; i < kTileWidth * kTileHeight; ++i) {
    int value = centimetres(random);
    std::snprintf(line, sizeof line, "その他,%d.%02d\r\n", value / 100, std::abs(value % 100));
    text += line;
  }
  text +=
      "</gml:tupleList>\r\n\t\t\t\t</gml:DataBlock>\r\n"
      "\t\t\t\t\t<gml:startPoint>0 0</gml:startPoint>\r\n\t</DEM>\r\n</Dataset>\r\n";
  elevara::testing::WriteBytes(path, text);
}

// A 1 m tile laid out like the published ones around the value list that `values` appends: a
// header indented with blanks, LF line ends, the value list at column 0, 90 values more than the
// grid holds, then `startPoint` ("0 0"). Written at once, as the published tile beside it was: a
// file written in small pieces sits in smaller pieces of the page cache and reads slower, which
// would be measured as the converter's cost.
void Write1mTile(const fs::path& path, const std::function<void(std::string&)>& values,
                 std::string_view startPoint) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Dataset gml:id=\"Dataset1\">\n"
      "<DEM gml:id=\"DEM001\">\n <type>1mメッシュ（標高）</type>\n <coverage>\n"
      "  <gml:boundedBy>\n   <gml:Envelope srsName=\"fguuid:jgd2024.bl\">\n"
      "   </gml:Envelope>\n  </gml:boundedBy>\n  <gml:rangeSet>\n   <gml:DataBlock>\n"
      "<gml:tupleList>\n";
  values(text);
  for (int i = 0; i < 90; ++i) text += "データなし,-9999.\n";
  text +=
      "</gml:tupleList>\n   </gml:DataBlock>\n  </gml:rangeSet>\n  <gml:coverageFunction>\n"
      "   <gml:GridFunction>\n    <gml:startPoint>";
  text += startPoint;
  text +=
      "</gml:startPoint>\n   </gml:GridFunction>\n  </gml:coverageFunction>\n </coverage>\n"
      "</DEM>\n</Dataset>\n";
  elevara::testing::WriteBytes(path, text);
}

// A full 1 m tile of terrain as a laser survey gives it: centimetres, smooth at a metre's scale,
// with noise; sea along one edge and no data in patches.
void Generate1mTerrain(const fs::path& path) {
  Write1mTile(
      path,
      [](std::string& text) {
        std::mt19937 random(54321);
        char line[64];
        for (int i = 0; i < kTileWidth * kTileHeight; ++i) {
          const int column = i % kTileWidth;
          if (column < 40) {
            text += "海水面,-9999.\n";
          } else if ((i / kTileWidth / 50 + column / 100) % 7 == 0) {
            text += "データなし,-9999.\n";
          } else {
            const double x = column, y = i / kTileWidth;
            const long value = std::lround(40000 + 30000 * std::sin(x / 970) * std::cos(y / 1310) +
                                           static_cast<double>(random() % 20));
            std::snprintf(line, sizeof line, "地表面,%ld.%02ld\n", value / 100, value % 100);
            text += line;
          }
        }
      },
      "0 0");
}

// The value list and start point of the 10 m tile `source` in the 1 m layout: the same values,
// so that the two tiles differ in their layout alone.
void Relayout10mTile(const fs::path& source, const fs::path& path) {
  const std::string text = elevara::testing::ReadBytes(source);
  const std::size_t list = text.find("<gml:tupleList>") + 15;
  const std::string_view values(text.data() + list, text.find("</gml:tupleList>") - list);
  const std::size_t start = text.find("<gml:startPoint>") + 16;
  Write1mTile(
      path,
      [&](std::string& out) {
        for (const std::string_view token : elevara::testing::SplitTokens(values)) {
          out += token;
          out += '\n';
        }
      },
      std::string_view(text).substr(start, text.find('<', start) - start));
}

// What a tile is measured on.
enum class BenchTileKind { kTenMetre, kOneMetreOfTheTenMetreValues, kOneMetreTerrain };

// The 10 m tile: a copy of the published one when there is one, else one made here. The 1 m
// tiles are made here, since the published ones are not kept beside the project.
fs::path BenchTile(const TempFolder& scratch, BenchTileKind kind) {
  const fs::path oneMetre = scratch.path() / "FG-GML-5339-45-00-DEM1A-20240101.xml";
  if (kind == BenchTileKind::kOneMetreTerrain) {
    Generate1mTerrain(oneMetre);
    return oneMetre;
  }
  const fs::path published = ELEVARA_BENCH_TILE;
  const fs::path tenMetre = scratch.path() / "FG-GML-5339-00-dem10b-20161001.xml";
  if (fs::exists(published)) {
    // Copied at once, as the 1 m tiles are written (see Write1mTile).
    elevara::testing::WriteBytes(tenMetre, elevara::testing::ReadBytes(published));
  } else {
    GenerateTile(tenMetre);
  }
  if (kind == BenchTileKind::kTenMetre) return tenMetre;
  Relayout10mTile(tenMetre, oneMetre);
  return oneMetre;
}

bool SameBytes(const fs::path& a, const fs::path& b) {
  return elevara::testing::ReadBytes(a) == elevara::testing::ReadBytes(b);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// One tile against the yardstick. Returns whether the goal was met (or could not be measured);
// `perByte` gets the milliseconds per MB of the best run of ours and of the yardstick's (0
// without it), which a busy machine disturbs least.
bool MeasureTile(BenchTileKind kind, double perByte[2]) {
  TempFolder scratch;
  const fs::path tile = BenchTile(scratch, kind);
  sync();  // a tile just made is written out before the clock starts, as a downloaded one is
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
  const double megabytes = static_cast<double>(fs::file_size(tile)) / 1e6;
  const double best = *std::min_element(ours.begin(), ours.end());
  perByte[0] = best * 1e3 / megabytes;
  perByte[1] =
      haveYardstick ? *std::min_element(theirs.begin(), theirs.end()) * 1e3 / megabytes : 0;
  std::printf(
      "ConvertGmlTile:                     median %.1f ms, best %.1f ms (%d runs), "
      "best %.1f MB/s\n",
      Median(ours) * 1e3, best * 1e3, kRepetitions, 1e3 / perByte[0]);
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

// The same per-byte speed for both products, as a share of the yardstick's in the same run: the
// 1 m tile of the 10 m tile's values at most 10 % slower against the yardstick than the 10 m
// tile. A tile of other values parses at another speed, whatever its layout.
bool SamePerByteSpeed(const double tenMetre[2], const double oneMetre[2]) {
  if (tenMetre[1] == 0 || oneMetre[1] == 0) return true;
  const double ten = tenMetre[0] / tenMetre[1], one = oneMetre[0] / oneMetre[1];
  std::printf(
      "\nbest ms per MB against the yardstick's, the same values: 10 m 1/%.1f, 1 m 1/%.1f; 1 m "
      "at most 1.1 times 10 m: %s\n",
      1 / ten, 1 / one, one <= 1.1 * ten ? "met" : "NOT MET");
  return one <= 1.1 * ten;
}

// A name of tile `index` of mosaic 5339 (10 m) or 533945 (1 m), more tiles going to further
// mosaic codes.
std::string TileName(bool oneMetre, int index) {
  char name[64];
  if (oneMetre) {
    std::snprintf(name, sizeof name, "FG-GML-%04d-45-%d%d-DEM1A-20240101.xml", 5339 + index / 100,
                  index / 10 % 10, index % 10);
  } else {
    std::snprintf(name, sizeof name, "FG-GML-%04d-%d%d-dem10b-20161001.xml", 5339 + index / 64,
                  index / 8 % 8, index % 8);
  }
  return name;
}

// One run over `tiles` links to the tile `source`, in a scratch folder.
int RunGml(bool oneMetre, int tiles, const fs::path& source) {
  TempFolder scratch;
  fs::path folder = scratch.path() / "run";
  fs::create_directories(folder);
  std::uintmax_t gmlBytes = 0;
  fs::path first;
  for (int i = 0; i < tiles; ++i) {
    fs::path link = folder / TileName(oneMetre, i);
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
  elevara::RunGmlConversion(services,
                            oneMetre ? elevara::kGml1Conversion : elevara::kGml10Conversion, 1);
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
// whether the peak stayed flat from the fewest tiles to the most (within 1 MiB).
bool MeasureRuns(const char* self, bool oneMetre, std::initializer_list<int> counts) {
  std::printf(
      "\n%s runs on one worker (one process each; MB/s counts each GML file once, over the tile "
      "phase):\n",
      oneMetre ? "GML1" : "GML10");
  std::fflush(stdout);
  // Made here, so that the runs' peaks hold nothing of the making.
  TempFolder scratch;
  const fs::path source =
      BenchTile(scratch, oneMetre ? BenchTileKind::kOneMetreTerrain : BenchTileKind::kTenMetre);
  sync();
  std::vector<double> peaks;
  for (int tiles : counts) {
    std::string command = std::string("'") + self + "' --run " + (oneMetre ? "1 " : "10 ") +
                          std::to_string(tiles) + " '" + source.string() + "'";
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
  std::printf("peak memory from %d to %d tiles: %.1f -> %.1f MiB: %s\n", *counts.begin(),
              *(counts.end() - 1), peaks.front(), peaks.back(), flat ? "flat" : "GROWS");
  return flat;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--run") {
    return RunGml(std::string(argv[2]) == "1", std::atoi(argv[3]), argv[4]);
  }
  double tenMetre[2], oneMetre[2], terrain[2];
  std::printf("10 m tile\n");
  bool met = MeasureTile(BenchTileKind::kTenMetre, tenMetre);
  std::printf("\n1 m tile of the same values\n");
  met = MeasureTile(BenchTileKind::kOneMetreOfTheTenMetreValues, oneMetre) && met;
  std::printf("\n1 m tile of laser terrain (more distinct values than the 10 m tile)\n");
  met = MeasureTile(BenchTileKind::kOneMetreTerrain, terrain) && met;
  met = SamePerByteSpeed(tenMetre, oneMetre) && met;
  met = MeasureRuns(argv[0], false, {1, 8, 64}) && met;
  met = MeasureRuns(argv[0], true, {1, 16}) && met;
  return met ? 0 : 1;
}
