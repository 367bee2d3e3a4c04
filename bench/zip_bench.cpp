// How fast the tile reader converts a tile streamed from its ZIP download, against the same tile
// unpacked: the goal is at most 1.5 times the time. The tiles are the members of the published
// downloads beside the project (three full 10 m tiles of 15 to 16 MB), or of the project's own
// sample downloads when those are absent. Each tile is timed unpacked and zipped by turns, so
// that both meet the same load of the machine. A third time, of the member inflated on the
// reading thread itself, shows what reading ahead on a second core gains: nothing when no core
// is free.
//
//   zip_bench

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/zip_archive.h"
#include "commands/services.h"
#include "gml/gml_inputs.h"
#include "gml/gml_tile.h"
#include "platform/file_system.h"
#include "testkit/files.h"
#include "testkit/null_services.h"
#include "testkit/zip_files.h"

namespace {

namespace fs = std::filesystem;
using elevara::testing::TempFolder;
using Clock = std::chrono::steady_clock;

constexpr int kRepetitions = 9;
constexpr double kGoal = 1.5;

struct Member {
  std::string download;
  std::string name;
  int width;
  int height;
};

// The members to time, and the folder their downloads are in.
std::vector<Member> Members(fs::path& folder) {
  folder = fs::path(ELEVARA_SHARED_DIR) / "data" / "gsi";
  if (fs::exists(folder / "sample-dem10b.zip") &&
      fs::exists(folder / "FG-GML-543745-DEM10B-20161001.zip")) {
    return {{"sample-dem10b.zip", "FG-GML-6341-51-dem10b-20161001.xml", 1125, 750},
            {"sample-dem10b.zip", "FG-GML-6341-61-dem10b-20161001.xml", 1125, 750},
            {"FG-GML-543745-DEM10B-20161001.zip", "FG-GML-5437-45-dem10b-20161001.xml", 1125, 750}};
  }
  std::printf("published downloads absent: the sample downloads (small tiles) instead\n");
  folder = ELEVARA_SAMPLES;
  return {{"FG-GML-3926-76-DEM10B.zip", "FG-GML-3926-76-DEM10B-20161001.xml", 1125, 750},
          {"FG-GML-3624-30-DEM5B.zip", "FG-GML-3624-30-86-DEM5B-20170202.xml", 225, 150}};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

template <typename Convert>
double MillisecondsOf(Convert convert) {
  const auto start = Clock::now();
  convert();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main() {
  fs::path downloads;
  const std::vector<Member> members = Members(downloads);
  elevara::FileSystem& files = elevara::SystemFileSystem();
  elevara::testing::NullServices services;
  elevara::ServicesProgress progress(services);
  bool met = true;
  for (const Member& member : members) {
    TempFolder scratch;
    fs::copy_file(downloads / member.download, scratch / member.download);
    TempFolder unpacked;
    elevara::testing::ExtractZip(downloads / member.download, unpacked.path());
    const fs::path plain = unpacked / member.name;
    const std::string location = member.download + "/" + member.name;
    elevara::GmlInputReader inputs(files, scratch.path());
    std::error_code error;
    const fs::path zip = scratch / member.download;
    const auto archive =
        elevara::ZipArchive::Open(files.openRead(zip, error), files.fileSize(zip, error), error);
    std::size_t index = 0;
    while (archive->entries()[index].name != member.name) ++index;

    std::vector<double> fromFile, fromMember, onOneThread;
    for (int i = 0; i < kRepetitions; ++i) {
      fromFile.push_back(MillisecondsOf([&] {
        elevara::ConvertGmlTile(files, progress, elevara::OpenGmlFile(files, plain),
                                {scratch / "unpacked-tile", member.width, member.height});
      }));
      fromMember.push_back(MillisecondsOf([&] {
        elevara::ConvertGmlTile(files, progress, inputs.open(location, error),
                                {scratch / "zipped-tile", member.width, member.height});
      }));
      onOneThread.push_back(MillisecondsOf([&] {
        auto stream = archive->openMember(index, elevara::ArchiveLimits{}.maxMemberBytes, error);
        elevara::ConvertGmlTile(files, progress,
                                elevara::InputFile::FromStream(std::move(stream), location),
                                {scratch / "one-thread-tile", member.width, member.height});
      }));
    }
    const double ratio = Median(fromMember) / Median(fromFile);
    const bool same =
        elevara::testing::SameBytes(scratch / "unpacked-tile", scratch / "zipped-tile");
    std::printf(
        "%s (%.1f MB)\n  unpacked %5.1f ms, from %s %5.1f ms: ratio %.2f, %s%s\n"
        "  inflated on the reading thread instead: %5.1f ms, ratio %.2f\n",
        member.name.c_str(), static_cast<double>(fs::file_size(plain)) / 1e6, Median(fromFile),
        member.download.c_str(), Median(fromMember), ratio, ratio <= kGoal ? "met" : "NOT MET",
        same ? "" : ", RASTERS DIFFER", Median(onOneThread),
        Median(onOneThread) / Median(fromFile));
    met = met && ratio <= kGoal && same;
  }
  std::printf("goal: a streamed member within %.1f times its unpacked tile (medians of %d)\n",
              kGoal, kRepetitions);
  return met ? 0 : 1;
}
