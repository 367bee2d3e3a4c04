// Throughput of the DEM5 merge against copying the same bytes with cat.
//
// Writes a full set of 64 GML5 mosaics (13.5 MB each) into a fresh folder, then times, in
// alternation, `cat tiles... > out`, the same followed by `sync --data out`, the merge of that
// folder as it runs (its raster synced before the rename), and the merge with the syncing left
// out. One untimed pass warms the cache, and of the timed passes the fastest of each counts,
// because other work on a shared machine only ever slows a run down. The merge is I/O-bound: it
// must reach at least half the throughput of cat followed by sync. The gap between the two
// merges is what syncing costs. Exit status 1 when the goal is missed.
//
// Usage: dem5_merge_bench [folder]   (default: a new folder under the system's temporary one)

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "commands/merge_command.h"
#include "commands/services.h"
#include "platform/files.h"
#include "raster/raw_raster.h"
#include "testkit/faulty_file_system.h"
#include "testkit/files.h"
#include "testkit/null_services.h"

namespace {

using namespace elevara;
namespace fs = std::filesystem;

constexpr double kGoal = 0.5;
constexpr int kTimedPasses = 3;
constexpr std::uint64_t kMergedBytes = 18000ull * 12000 * 4;

std::vector<fs::path> WriteTiles(const fs::path& folder) {
  std::vector<float> row(static_cast<std::size_t>(kDem5MergeLayout.tileWidth));
  std::mt19937 random(5339);
  std::uniform_real_distribution<float> elevation(-5.0f, 3776.0f);
  std::vector<fs::path> tiles;
  for (int rowDigit = 7; rowDigit >= 0; --rowDigit) {
    for (int column = 0; column < 8; ++column) {
      std::string name = "5339" + std::to_string(rowDigit) + std::to_string(column) + "-DEM5.raw";
      tiles.push_back(folder / name);
      RasterWriter tile = RasterWriter::CreateTile(SystemFileSystem(), tiles.back());
      for (int line = 0; line < kDem5MergeLayout.tileHeight; ++line) {
        for (float& sample : row) sample = elevation(random);
        tile.writeRow(row);
      }
      tile.commit();
    }
  }
  return tiles;
}

std::string ShellQuoted(const fs::path& path) {
  std::string quoted = "'";
  for (char c : path.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Leaves no dirty pages of one run to be written back during the next, and no earlier output
// whose removal the next run would pay for.
void Settle(const std::vector<fs::path>& outputs) {
  for (const fs::path& output : outputs) {
    fs::remove(output);
    fs::remove(SidecarPathFor(output));
  }
  ::sync();
}

template <typename Work>
double SecondsOf(Work work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double TimeCat(const std::vector<fs::path>& tiles, const fs::path& out, bool synced) {
  std::string command = "cat";
  for (const fs::path& tile : tiles) command += " " + ShellQuoted(tile);
  command += " > " + ShellQuoted(out);
  if (synced) command += " && sync --data " + ShellQuoted(out);
  Settle({out});
  double seconds = SecondsOf([&] {
    if (std::system(command.c_str()) != 0) throw std::runtime_error("cat failed");
  });
  if (fs::file_size(out) != kMergedBytes) throw std::runtime_error("cat wrote a wrong size");
  return seconds;
}

double TimeMerge(const fs::path& folder, const fs::path& merged, FileSystem& files) {
  Settle({merged});
  testing::NullServices services(folder / "533946-DEM5.raw");
  services.files = &files;
  double seconds = SecondsOf([&] { RunDem5Merge(services); });
  if (services.lastMessage != kFinishedMessage) throw std::runtime_error(services.lastMessage);
  if (fs::file_size(merged) != kMergedBytes) throw std::runtime_error("merge wrote a wrong size");
  return seconds;
}

double MegabytesPerSecond(double seconds) {
  return static_cast<double>(kMergedBytes) / seconds / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::optional<testing::TempFolder> scratch;
    if (argc <= 1) scratch.emplace();
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : scratch->path();
    fs::create_directories(folder);
    std::printf("folder: %s\nwriting 64 tiles of 13.5 MB...\n", folder.string().c_str());
    std::fflush(stdout);
    std::vector<fs::path> tiles = WriteTiles(folder);
    const fs::path catOut = folder / "cat-out";
    const fs::path merged = folder / "5339-DEM5";

    testing::FaultyFileSystem unsynced;
    unsynced.syncsDoNothing = true;
    struct Contender {
      const char* name;
      std::function<double()> run;
      double seconds = std::numeric_limits<double>::infinity();
    };
    Contender contenders[] = {
        {"cat", [&] { return TimeCat(tiles, catOut, false); }},
        {"cat+sync", [&] { return TimeCat(tiles, catOut, true); }},
        {"merge, unsynced", [&] { return TimeMerge(folder, merged, unsynced); }},
        {"merge", [&] { return TimeMerge(folder, merged, SystemFileSystem()); }},
    };
    for (Contender& contender : contenders) contender.run();
    for (int pass = 0; pass < kTimedPasses; ++pass) {
      for (Contender& contender : contenders) {
        contender.seconds = std::min(contender.seconds, contender.run());
      }
    }
    Settle({catOut, merged});

    for (const Contender& contender : contenders) {
      std::printf("%-16s: %8.1f MB/s (best of %d: %.3f s for 864 MB)\n", contender.name,
                  MegabytesPerSecond(contender.seconds), kTimedPasses, contender.seconds);
    }
    const auto& [cat, catSynced, mergeUnsynced, merge] = contenders;
    std::printf("cost of syncing : %+.3f s for the merge, %+.3f s for cat\n",
                merge.seconds - mergeUnsynced.seconds, catSynced.seconds - cat.seconds);
    std::printf("unsynced        : %.2f of cat's throughput\n",
                cat.seconds / mergeUnsynced.seconds);
    const double ratio = catSynced.seconds / merge.seconds;
    std::printf("ratio           : %.2f of cat+sync's throughput (goal >= %.2f) %s\n", ratio, kGoal,
                ratio >= kGoal ? "PASS" : "FAIL");
    return ratio >= kGoal ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "dem5_merge_bench: %s\n", error.what());
    return 2;
  }
}
