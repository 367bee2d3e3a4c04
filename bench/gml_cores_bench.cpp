// What a user converting a region asks: how many tiles, and how many MB of XML, a second on one
// core, on two and on all of them, for 64 10 m tiles (one full mosaic) and 2,000 5 m tiles (20
// mosaics), made here. Beside it, in the same run, the floor: the least any converter does,
// reading each tile's XML, parsing each value with from_chars and writing the floats. Goals: one
// worker within 1.2 times the floor's time at 10 m and 1.5 times at 5 m; two workers at least
// 1.7 times one worker's throughput at 10 m; the peak memory of N workers at most N times what
// one worker needs and a few MiB. Each run is a process of its own, since a process's peak memory
// only grows; the runs take turns, round after round, so that they meet the same load, which the
// bench prints before and after: the load average, and how much more work two spinning threads
// get done than one (near 2 only when nothing else runs).
//
//   gml_cores_bench [ROUNDS]                 everything, each run ROUNDS times (default 3)
//   gml_cores_bench --run 10|5 FOLDER N      one conversion on N workers (used by the above)
//   gml_cores_bench --floor 10|5 FOLDER      the floor over the same tiles (used by the above)
//   gml_cores_bench --make 10|5 FOLDER       only the tiles, to look at a run by other means

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "gml/gml_conversion.h"
#include "platform/file_system.h"
#include "platform/parallel_jobs.h"
#include "testkit/files.h"
#include "testkit/zip_files.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 3;  // runs of each kind, by default
constexpr float kNoData = -9999.0f;

struct Grid {
  const char* name;
  const elevara::GmlConversion& conversion;
  int tiles;
  double floorGoal;  // one worker's time at most this times the floor's
};

const Grid kGrids[] = {{"10", elevara::kGml10Conversion, 64, 1.2},
                       {"5", elevara::kGml5Conversion, 2000, 1.5}};

const Grid& GridNamed(std::string_view name) {
  return name == "10" ? kGrids[0] : kGrids[1];
}

double PeakMemoryMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

// The processor time of all the process's threads, which a busy machine changes less than the
// time on the clock.
double ProcessorSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double SecondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// The name of tile `index`, laid out as the published ones: 10 m tiles fill one mosaic row by
// row, 5 m tiles 100 to a mosaic.
std::string TileName(const Grid& grid, int index) {
  char name[64];
  if (grid.tiles == 64) {
    std::snprintf(name, sizeof name, "FG-GML-5339-%d%d-DEM10B-20161001.xml", index / 8, index % 8);
  } else {
    const int mosaic = index / 100, slot = index % 100;
    std::snprintf(name, sizeof name, "FG-GML-%04d-%02d-%d%d-DEM5A-20161001.xml", 5300 + mosaic / 8,
                  mosaic % 8 * 10 + mosaic % 8, slot / 10, slot % 10);
  }
  return name;
}

// A full tile of smooth terrain with noise, in centimetres, a few cells of no-data, in the
// layout of the published tiles: the values one per CR LF line, the start point behind them.
std::string TileText(const Grid& grid, int index) {
  const int width = grid.conversion.layout.tileWidth, height = grid.conversion.layout.tileHeight;
  std::mt19937 random(static_cast<unsigned>(index) * 7919u + 1u);
  std::string text =
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Dataset>\r\n"
      "\t<DEM>\r\n\t\t<gml:Envelope srsName=\"fguuid:jgd2011.bl\">\r\n\r\n<gml:tupleList>\r\n";
  text.reserve(static_cast<std::size_t>(width) * height * 20 + 1024);
  char digits[16];
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c) {
      const double x = c + index * 131.0, y = r + index * 71.0;
      if ((random() & 63) == 0) {
        text += "データなし,-9999.\r\n";
        continue;
      }
      const long centimetres = std::lround(40000 + 30000 * std::sin(x / 97) * std::cos(y / 131) +
                                           static_cast<double>(random() % 200));
      text += "地表面,";
      text.append(digits, std::to_chars(digits, digits + sizeof digits, centimetres / 100).ptr);
      text += '.';
      text += static_cast<char>('0' + centimetres / 10 % 10);
      text += static_cast<char>('0' + centimetres % 10);
      text += "\r\n";
    }
  }
  text +=
      "</gml:tupleList>\r\n\r\n\t\t\t\t</gml:DataBlock>\r\n\t\t\t\t<gml:coverageFunction>\r\n"
      "\t\t\t\t\t<gml:GridFunction>\r\n\t\t\t\t\t\t<gml:sequenceRule order=\"+x-y\">Linear"
      "</gml:sequenceRule>\r\n\t\t\t\t\t\t<gml:startPoint>0 0</gml:startPoint>\r\n"
      "\t\t\t\t\t</gml:GridFunction>\r\n\t\t\t\t</gml:coverageFunction>\r\n\t</DEM>\r\n"
      "</Dataset>\r\n";
  return text;
}

std::uintmax_t MakeTiles(const Grid& grid, const fs::path& folder) {
  fs::create_directories(folder);
  std::uintmax_t bytes = 0;
  for (int i = 0; i < grid.tiles; ++i) {
    const std::string text = TileText(grid, i);
    std::ofstream(folder / TileName(grid, i), std::ios::binary) << text;
    bytes += text.size();
  }
  return bytes;
}

// Everything but the tiles, so that every run meets the folder as the first one did. The floor
// writes its rasters into the folder too, since creating files costs what it costs in that folder
// (a file system may search long for an inode where many were deleted lately).
void RemoveOutputs(const fs::path& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() != ".xml") fs::remove_all(entry.path());
  }
}

// Notes when the mosaic phase, the second, begins.
class PhaseClock final : public elevara::Progress {
 public:
  Clock::time_point secondPhase;
  double processorAtSecondPhase = 0;
  void startPhase(std::int64_t) override {
    if (++phases_ != 2) return;
    secondPhase = Clock::now();
    processorAtSecondPhase = ProcessorSeconds();
  }
  void step() override {}

 private:
  int phases_ = 0;
};

int RunConversion(const Grid& grid, const fs::path& folder, int workers) {
  PhaseClock progress;
  const double before = PeakMemoryMiB();
  const double processor = ProcessorSeconds();
  const auto start = Clock::now();
  const elevara::BatchResult result = elevara::ConvertGmlFolder(
      {elevara::SystemFileSystem(), progress, folder, workers}, grid.conversion);
  const auto end = Clock::now();
  std::printf("tiles %.4f cpu %.4f total %.4f peak %.2f before %.2f\n",
              SecondsBetween(start, progress.secondPhase),
              progress.processorAtSecondPhase - processor, SecondsBetween(start, end),
              PeakMemoryMiB(), before);
  return result.skipped.empty() && !result.written.empty() ? 0 : 1;
}

// The floor over one tile: the whole XML read, each value parsed with from_chars, placed from
// the start point on, the floats written.
void FloorTile(const fs::path& xml, const fs::path& out, const Grid& grid, std::vector<char>& text,
               std::vector<float>& cells) {
  const int width = grid.conversion.layout.tileWidth, height = grid.conversion.layout.tileHeight;
  FILE* in = std::fopen(xml.c_str(), "rb");
  text.resize(static_cast<std::size_t>(fs::file_size(xml)));
  text.resize(std::fread(text.data(), 1, text.size(), in));
  std::fclose(in);
  const std::string_view all(text.data(), text.size());
  const char* at = all.data() + all.find("<gml:tupleList>") + 15;
  const char* const end = all.data() + all.size();
  cells.resize(static_cast<std::size_t>(width) * height);
  std::size_t count = 0;
  while (count < cells.size()) {
    while (at < end && (*at == '\r' || *at == '\n')) ++at;
    if (at == end || *at == '<') break;
    const char* comma = static_cast<const char*>(std::memchr(at, ',', end - at));
    at = std::from_chars(comma + 1, end, cells[count++]).ptr;
  }
  const char* start = all.data() + all.find("<gml:startPoint>") + 16;
  int column = 0, row = 0;
  start = std::from_chars(start, end, column).ptr;
  std::from_chars(start + 1, end, row);
  const std::size_t before = std::min(cells.size(), static_cast<std::size_t>(row) * width + column);
  const std::size_t placed = std::min(count, cells.size() - before);
  std::memmove(cells.data() + before, cells.data(), placed * sizeof(float));
  std::fill(cells.begin(), cells.begin() + static_cast<std::ptrdiff_t>(before), kNoData);
  std::fill(cells.begin() + static_cast<std::ptrdiff_t>(before + placed), cells.end(), kNoData);
  FILE* raster = std::fopen(out.c_str(), "wb");
  std::fwrite(cells.data(), sizeof(float), cells.size(), raster);
  std::fclose(raster);
}

int RunFloor(const Grid& grid, const fs::path& folder) {
  std::vector<char> text;
  std::vector<float> cells;
  const double before = PeakMemoryMiB();
  const double processor = ProcessorSeconds();
  const auto start = Clock::now();
  for (int i = 0; i < grid.tiles; ++i) {
    FloorTile(folder / TileName(grid, i), folder / (std::to_string(i) + "-floor"), grid, text,
              cells);
  }
  const double seconds = SecondsBetween(start, Clock::now());
  std::printf("tiles %.4f cpu %.4f total %.4f peak %.2f before %.2f\n", seconds,
              ProcessorSeconds() - processor, seconds, PeakMemoryMiB(), before);
  return 0;
}

// What one run printed.
struct Measured {
  double tiles = 0;  // seconds of the tile phase
  double cpu = 0;    // processor seconds of the tile phase, all threads
  double total = 0;
  double peak = 0;
  double before = 0;
};

bool RunChild(const std::string& command, Measured& measured) {
  FILE* child = popen(command.c_str(), "r");
  if (child == nullptr) return false;
  char line[256] = {};
  const bool read = std::fgets(line, sizeof line, child) != nullptr;
  const int status = pclose(child);
  return read && status == 0 &&
         std::sscanf(line, "tiles %lf cpu %lf total %lf peak %lf before %lf", &measured.tiles,
                     &measured.cpu, &measured.total, &measured.peak, &measured.before) == 5;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// How much more processor work two threads get done in a second than one, now: about 2 on an
// idle machine of two cores, less while other work runs (Linux shares the processors between
// sessions, however many threads each has). The two-worker goal can only be met near 2.
double TwoThreadCapacity() {
  const auto work = [](int threads) {
    std::atomic<std::int64_t> done{0};
    const auto end = Clock::now() + std::chrono::milliseconds(700);
    std::vector<std::thread> spinning;
    for (int i = 0; i < threads; ++i) {
      spinning.emplace_back([&] {
        volatile double x = 1;
        std::int64_t rounds = 0;
        for (; Clock::now() < end; ++rounds) {
          for (int k = 0; k < 10000; ++k) x = x * 1.0000001;
        }
        done += rounds;
      });
    }
    for (std::thread& thread : spinning) thread.join();
    return static_cast<double>(done.load());
  };
  const double one = work(1);
  return work(2) / one;
}

std::string LoadText() {
  double load[3] = {};
  if (getloadavg(load, 3) != 3) return "unknown";
  char text[64];
  std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
  return text;
}

// What the runs of one grid measured, by number of workers (0: the floor).
struct GridRuns {
  std::map<int, std::vector<Measured>> runs;

  double median(int workers, double Measured::*field) const {
    std::vector<double> values;
    for (const Measured& m : runs.at(workers)) values.push_back(m.*field);
    return Median(values);
  }
  // The most any run of `workers` held, above what the process held before it (`less`).
  double peak(int workers, bool less) const {
    double most = 0;
    for (const Measured& m : runs.at(workers))
      most = std::max(most, m.peak - (less ? m.before : 0));
    return most;
  }
};

// The floor and each number of workers, `rounds` times by turns, each on a folder of nothing but
// the tiles.
bool RunRounds(const char* self, const Grid& grid, const fs::path& folder, int rounds,
               GridRuns& measured) {
  std::vector<int> counts = {0, 1, 2, elevara::AvailableCores()};
  std::sort(counts.begin(), counts.end());
  counts.erase(std::unique(counts.begin(), counts.end()), counts.end());
  for (int round = 0; round < rounds; ++round) {
    for (int workers : counts) {
      RemoveOutputs(folder);
      sync();
      const std::string command =
          std::string("'") + self + "' " +
          (workers == 0 ? "--floor " + std::string(grid.name) + " '" + folder.string() + "'"
                        : "--run " + std::string(grid.name) + " '" + folder.string() + "' " +
                              std::to_string(workers));
      Measured run;
      if (!RunChild(command, run)) {
        std::printf("run failed: %s\n", command.c_str());
        return false;
      }
      measured.runs[workers].push_back(run);
    }
  }
  return true;
}

// The tile raster a conversion writes for tile `index`.
fs::path TileRasterOf(const Grid& grid, const fs::path& folder, int index) {
  const std::string name = TileName(grid, index);
  const elevara::GmlConversion& conversion = grid.conversion;
  std::string raster;
  for (std::size_t position : conversion.codePositions) raster += name[position];
  raster += name[conversion.rowDigitPosition];
  raster += name[conversion.columnDigitPosition];
  return folder / (raster + std::string(conversion.nameSuffix));
}

// Whether the floor does the same work: once more, unmeasured, the floor and one worker, whose
// rasters must agree byte for byte.
bool FloorAgrees(const char* self, const Grid& grid, const fs::path& folder) {
  RemoveOutputs(folder);
  const std::string quoted = "' " + std::string(grid.name) + " '" + folder.string() + "'";
  Measured ignored;
  if (!RunChild(std::string("'") + self + "' --floor" + quoted.substr(1), ignored) ||
      !RunChild(std::string("'") + self + "' --run" + quoted.substr(1) + " 1", ignored)) {
    return false;
  }
  for (int i = 0; i < grid.tiles; ++i) {
    if (!elevara::testing::SameBytes(folder / (std::to_string(i) + "-floor"),
                                     TileRasterOf(grid, folder, i))) {
      return false;
    }
  }
  return true;
}

void PrintTable(const Grid& grid, double megabytes, const GridRuns& measured) {
  std::printf("%-24s %8s %8s %8s %10s %12s %9s\n", "", "tiles/s", "MB/s", "x floor", "tile cpu s",
              "whole run s", "peak MiB");
  const double floor = measured.median(0, &Measured::tiles);
  for (const auto& [workers, runs] : measured.runs) {
    const std::string label =
        workers == 0 ? "floor (from_chars loop)"
                     : std::to_string(workers) + (workers == 1 ? " worker" : " workers") +
                           (workers == elevara::AvailableCores() ? " (all cores)" : "");
    const double seconds = measured.median(workers, &Measured::tiles);
    std::printf("%-24s %8.1f %8.1f %8.2f %10.2f %12.2f %9.1f\n", label.c_str(),
                grid.tiles / seconds, megabytes / seconds, seconds / floor,
                measured.median(workers, &Measured::cpu),
                measured.median(workers, &Measured::total), measured.peak(workers, false));
  }
}

bool JudgeGoals(const Grid& grid, const GridRuns& measured) {
  const double one = measured.median(1, &Measured::tiles);
  const double ratio = one / measured.median(0, &Measured::tiles);
  std::printf("one worker / floor: %.2f, goal at most %.1f: %s\n", ratio, grid.floorGoal,
              ratio <= grid.floorGoal ? "met" : "NOT MET");
  bool met = ratio <= grid.floorGoal;
  if (measured.runs.count(2) != 0 && grid.tiles == 64) {
    const double speedup = one / measured.median(2, &Measured::tiles);
    std::printf("two workers / one worker: %.2f times the tiles a second, goal at least 1.7: %s\n",
                speedup, speedup >= 1.7 ? "met" : "NOT MET");
    met = met && speedup >= 1.7;
  }
  const double perWorker = measured.peak(1, true);
  for (const auto& [workers, runs] : measured.runs) {
    if (workers < 2) continue;
    const double bound = workers * perWorker + 4.0;
    const double peak = measured.peak(workers, true);
    std::printf(
        "peak memory of the run on %d workers: %.1f MiB, bound %d x %.1f + 4 = %.1f MiB: %s\n",
        workers, peak, workers, perWorker, bound, peak <= bound ? "met" : "NOT MET");
    met = met && peak <= bound;
  }
  return met;
}

bool MeasureGrid(const char* self, const Grid& grid, const fs::path& scratch, int rounds) {
  const fs::path folder = scratch / (std::string("gml") + grid.name);
  const double megabytes = static_cast<double>(MakeTiles(grid, folder)) / 1e6;
  sync();
  GridRuns measured;
  if (!RunRounds(self, grid, folder, rounds, measured)) return false;
  std::printf("\n%d %s m tiles, %.1f MB of XML (median of %d runs each)\n", grid.tiles, grid.name,
              megabytes, rounds);
  PrintTable(grid, megabytes, measured);
  const bool agrees = FloorAgrees(self, grid, folder);
  std::printf("the floor's rasters are the tile rasters, byte for byte: %s\n",
              agrees ? "yes" : "NO");
  const bool met = JudgeGoals(grid, measured) && agrees;
  std::fflush(stdout);
  return met;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--run") {
    return RunConversion(GridNamed(argv[2]), argv[3], std::atoi(argv[4]));
  }
  if (argc == 4 && std::string(argv[1]) == "--floor") return RunFloor(GridNamed(argv[2]), argv[3]);
  if (argc == 4 && std::string(argv[1]) == "--make") {
    MakeTiles(GridNamed(argv[2]), argv[3]);
    return 0;
  }
  const int rounds = argc == 2 ? std::max(1, std::atoi(argv[1])) : kRounds;
  std::printf("%d cores; load average before: %s; two threads get %.2f times one's work done\n",
              elevara::AvailableCores(), LoadText().c_str(), TwoThreadCapacity());
  elevara::testing::TempFolder scratch;
  bool met = true;
  for (const Grid& grid : kGrids) met = MeasureGrid(argv[0], grid, scratch.path(), rounds) && met;
  std::printf("\nload average after: %s; two threads get %.2f times one's work done\n",
              LoadText().c_str(), TwoThreadCapacity());
  return met ? 0 : 1;
}
