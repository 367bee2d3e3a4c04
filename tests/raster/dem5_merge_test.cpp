#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "commands/merge_command.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "raster/envi_header.h"
#include "raster/raw_raster.h"
#include "testkit/faulty_file_system.h"
#include "testkit/files.h"
#include "testkit/scripted_services.h"

namespace elevara {
namespace {

using namespace dem5_text;
using testing::ReadBytes;
using testing::ScriptedServices;
using testing::TempFolder;
using testing::WriteBytes;
namespace fs = std::filesystem;

constexpr std::int64_t kWidth = 18000;
constexpr std::uint64_t kMergedBytes = 864'000'000;
constexpr std::size_t kTileBytes = 13'500'000;
constexpr char kSidecarText[] = "18000 width\r\n12000 height\r\n4 data_type\r\n";
const std::string kOpenCall = std::string("open ") + kOpenTitle + " | " + kOpenFilter;

// Every sample of every tile differs (the mark tells tiles apart, the rest the position), so a
// misplaced tile, row or column cannot go unnoticed.
std::uint32_t TileBits(std::uint32_t mark, std::int64_t line, std::int64_t column) {
  return mark << 24 | static_cast<std::uint32_t>(line * 2250 + column);
}

void WriteTile(const fs::path& path, std::uint32_t mark, std::size_t bytes = kTileBytes) {
  std::string data(bytes, '\0');
  for (std::size_t i = 0; i < bytes; ++i) {
    data[i] = static_cast<char>((mark << 24 | static_cast<std::uint32_t>(i / 4)) >> (8 * (i % 4)));
  }
  WriteBytes(path, data);
}

struct Spot {
  std::int64_t row;
  std::int64_t column;
  std::uint32_t bits;
};

// Sample (line, column) of the tile with the given digits, where the merged raster must hold it.
Spot TileSpot(int rowDigit, int columnDigit, std::int64_t line, std::int64_t column,
              std::uint32_t mark) {
  return {(7 - rowDigit) * 1500 + line, columnDigit * 2250 + column, TileBits(mark, line, column)};
}
Spot NoDataSpot(std::int64_t row, std::int64_t column) {
  return {row, column, kNoDataBits};
}

// Keeps merged rasters off the disk: their temporary files become sinks that count the bytes and
// keep the samples at chosen positions; a commit files the sink under the raster's name. Every
// other file goes to the disk, with the faults of FaultyFileSystem.
class RasterSinkFileSystem : public testing::FaultyFileSystem {
 public:
  struct Raster {
    std::uint64_t size = 0;
    std::map<std::int64_t, std::uint32_t> samples;
  };
  std::set<std::int64_t> probes;     // sample indexes to keep
  std::vector<std::string> created;  // merged rasters, in the order they were begun
  std::map<std::string, Raster> committed;
  std::vector<std::string> openAttempts;

  std::unique_ptr<RawFile> openRead(const fs::path& path, std::error_code& error) override {
    openAttempts.push_back(path.filename().string());
    return FaultyFileSystem::openRead(path, error);
  }
  std::unique_ptr<RawFile> createNew(const fs::path& path, fs::perms permissions,
                                     std::error_code& error) override {
    const std::string name = path.filename().string();
    const bool mergedRaster = IsTemporaryFileName(name) &&
                              name.find("-DEM5") != std::string::npos &&
                              name.find(".hd") == std::string::npos;  // nor .hd1 nor .hdr
    if (!mergedRaster) return FaultyFileSystem::createNew(path, permissions, error);
    created.push_back(name);  // named by its raster once it is committed
    return std::make_unique<SinkFile>(pending_[path], probes);
  }
  void renameDurably(const fs::path& from, const fs::path& to, std::error_code& error) override {
    auto sink = pending_.find(from);
    if (sink == pending_.end()) return FaultyFileSystem::renameDurably(from, to, error);
    std::replace(created.begin(), created.end(), from.filename().string(), to.filename().string());
    committed[to.filename().string()] = std::move(sink->second);
    pending_.erase(sink);
  }

 private:
  class SinkFile final : public RawFile {
   public:
    SinkFile(Raster& raster, const std::set<std::int64_t>& probes)
        : raster_(raster), probes_(probes) {}
    std::size_t read(void*, std::size_t, std::error_code&) override { return 0; }
    std::size_t readAt(std::uint64_t, void*, std::size_t, std::error_code&) override { return 0; }
    std::size_t write(const void* data, std::size_t size, std::error_code&) override {
      // Rows are whole samples, so a sample never straddles two writes.
      auto first = static_cast<std::int64_t>(raster_.size / 4);
      auto last = static_cast<std::int64_t>((raster_.size + size) / 4);
      for (auto it = probes_.lower_bound(first); it != probes_.end() && *it < last; ++it) {
        std::uint32_t bits;
        std::memcpy(&bits, static_cast<const char*>(data) + (*it - first) * 4, 4);
        raster_.samples[*it] = bits;
      }
      raster_.size += size;
      return size;
    }
    void syncData(std::error_code&) override {}
    void close(std::error_code&) override {}

   private:
    Raster& raster_;
    const std::set<std::int64_t>& probes_;
  };

  std::map<fs::path, Raster> pending_;
};

struct Dem5Merge : ::testing::Test {
  TempFolder folder;
  ScriptedServices services;
  RasterSinkFileSystem sink;

  CommandResult run() {
    services.openAnswers.push_back(folder / "any-file.raw");
    return RunDem5Merge(services);
  }
  void sinkRasters(const std::vector<Spot>& spots) {
    for (const Spot& spot : spots) sink.probes.insert(spot.row * kWidth + spot.column);
    services.files = &sink;
  }
  void expectSunk(const std::string& name, const std::vector<Spot>& spots) {
    ASSERT_TRUE(sink.committed.contains(name)) << name;
    const auto& raster = sink.committed[name];
    EXPECT_EQ(raster.size, kMergedBytes) << name;
    for (const Spot& spot : spots) {
      auto sample = raster.samples.find(spot.row * kWidth + spot.column);
      ASSERT_NE(sample, raster.samples.end());
      EXPECT_EQ(sample->second, spot.bits)
          << name << " row " << spot.row << " column " << spot.column;
    }
    EXPECT_EQ(
        ReadBytes(folder.path() / fs::path(std::u8string(name.begin(), name.end()) + u8".hd1")),
        kSidecarText);
  }
  std::set<std::string> folderNames() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.path())) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }
};

// The one test that writes a real 864 MB raster: the placement on disk, the whole progress
// sequence, and the replacement of an earlier run's files.
TEST_F(Dem5Merge, ASingleTileFillsItsPlaceAndEverythingElseIsNoData) {
  WriteTile(folder / "533946-DEM5.raw", 1);
  WriteBytes(folder / "5339-DEM5", "earlier");
  WriteBytes(folder / "5339-DEM5.hd1", "earlier");
  WriteBytes(folder / kDem5NameList, "earlier\r\n");

  auto result = run();

  EXPECT_EQ(result.outcome, CommandOutcome::kFinished);
  EXPECT_TRUE(result.skipped.empty());
  const fs::path merged = folder / "5339-DEM5";
  ASSERT_EQ(fs::file_size(merged), kMergedBytes);
  const Spot spots[] = {TileSpot(4, 6, 0, 0, 1),      TileSpot(4, 6, 0, 2249, 1),
                        TileSpot(4, 6, 1499, 0, 1),   TileSpot(4, 6, 1499, 2249, 1),
                        TileSpot(4, 6, 700, 1234, 1), NoDataSpot(4499, 13500),
                        NoDataSpot(6000, 15749),      NoDataSpot(4500, 13499),
                        NoDataSpot(5999, 15750),      NoDataSpot(0, 0),
                        NoDataSpot(11999, 17999)};
  for (const Spot& spot : spots) {
    EXPECT_EQ(testing::SampleBits(merged, kWidth, spot.row, spot.column), spot.bits)
        << "row " << spot.row << " column " << spot.column;
  }
  EXPECT_EQ(ReadBytes(folder / "5339-DEM5.hd1"), kSidecarText);
  EXPECT_EQ(ReadBytes(folder / kDem5NameList), "533946-DEM5.raw\r\n");
  EXPECT_EQ(services.calls,
            (std::vector<std::string>{kOpenCall, "min 0", "max 12000", "pos 0", "step 1",
                                      std::string("message ") + kFinishedMessage, "pos 0"}));
  EXPECT_EQ(services.advances, 12000);
  EXPECT_EQ(services.processCount, 12000);
  EXPECT_EQ(folderNames(),
            (std::set<std::string>{"533946-DEM5.raw", "5339-DEM5", "5339-DEM5.hd1", "5339-DEM5.hdr",
                                   kDem5NameList, "ELEVARA-5m-merged.vrt"}));
  // Placed on mesh 5339, on no datum: its one tile has no header to declare one.
  const auto header = ReadEnviHeader(SystemFileSystem(), merged);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->mapInfo,
            "Geographic Lat/Lon, 1, 1, 139, 36, 5.555555555555556e-05, "
            "5.555555555555556e-05");
  EXPECT_FALSE(header->coordinateSystem);
}

TEST_F(Dem5Merge, TilesLandByTheirDigitsAndDigitsEightAndNineAreNeverRead) {
  WriteTile(folder / "533970-DEM5.raw", 1);
  WriteTile(folder / "533907-DEM5.raw", 2);
  for (const char* name : {"533980-DEM5.raw", "533909-DEM5.raw", "533999-DEM5.raw", "533980-DEM5",
                           "5339ab-DEM5.raw"}) {
    WriteTile(folder / name, 9, 8);
  }
  const std::vector<Spot> spots = {TileSpot(7, 0, 0, 0, 1),  TileSpot(7, 0, 1499, 2249, 1),
                                   NoDataSpot(1500, 0),      NoDataSpot(0, 2250),
                                   TileSpot(0, 7, 0, 0, 2),  TileSpot(0, 7, 1499, 2249, 2),
                                   NoDataSpot(10499, 15750), NoDataSpot(10500, 15749)};
  sinkRasters(spots);

  EXPECT_EQ(run().outcome, CommandOutcome::kFinished);

  EXPECT_EQ(sink.created, std::vector<std::string>{"5339-DEM5"});
  expectSunk("5339-DEM5", spots);
  EXPECT_EQ(ReadBytes(folder / kDem5NameList),
            "533907-DEM5.raw\r\n533909-DEM5.raw\r\n533970-DEM5.raw\r\n533980-DEM5\r\n"
            "533980-DEM5.raw\r\n533999-DEM5.raw\r\n5339ab-DEM5.raw\r\n");
  std::set<std::string> tried;
  for (const std::string& name : sink.openAttempts) {
    if (name == kDem5NameList) continue;
    EXPECT_TRUE(name[4] <= '7' && name[5] <= '7') << name;
    tried.insert(name.substr(0, 6));
  }
  EXPECT_EQ(tried.size(), 64u);
  EXPECT_EQ(services.advances, 12000);
}

// The GML5 conversion writes its mosaics without extension; they are found as they are, beside
// ".raw" names, each code taken once, and a tile found under both names is read as ".raw".
TEST_F(Dem5Merge, FindsTheGml5ConversionsMosaicsAsTheyAreNamed) {
  WriteTile(folder / "533946-DEM5", 1);
  WriteBytes(folder / "533946-DEM5.hd1", "2250 width\r\n1500 height\r\n4 data_type\r\n");
  WriteTile(folder / "533947-DEM5.raw", 2);
  WriteTile(folder / "533955-DEM5", 3);
  WriteTile(folder / "533955-DEM5.raw", 4);
  WriteTile(folder / "523977-DEM5", 5);
  const std::vector<Spot> spots = {TileSpot(4, 6, 0, 0, 1), TileSpot(4, 7, 1499, 2249, 2),
                                   TileSpot(5, 5, 700, 1234, 4)};
  const std::vector<Spot> otherSpots = {TileSpot(7, 7, 0, 0, 5)};
  sinkRasters(spots);
  sinkRasters(otherSpots);

  EXPECT_EQ(run().outcome, CommandOutcome::kFinished);

  EXPECT_EQ(ReadBytes(folder / kDem5NameList),
            "523977-DEM5\r\n533946-DEM5\r\n533947-DEM5.raw\r\n533955-DEM5\r\n533955-DEM5.raw\r\n");
  EXPECT_EQ(sink.created, (std::vector<std::string>{"5239-DEM5", "5339-DEM5"}));
  expectSunk("5339-DEM5", spots);
  expectSunk("5239-DEM5", otherSpots);
}

TEST_F(Dem5Merge, TileNamesShortTilesAndTilesThatCannotBeRead) {
  WriteTile(folder / "533911-DEM5.raw", 3);
  WriteTile(folder / "533911-DEM5", 4);  // the discovered name wins
  WriteTile(folder / "533922-DEM5", 5);  // no discovery name: read under the GML5 name
  WriteTile(folder / "533933-dem5.raw", 6);
  WriteTile(folder / "533955-DEM5.raw", 7, 9000 + 4500 + 2);  // a row, half a row, a stray
  WriteTile(folder / "533966-DEM5.raw", 8);
  fs::create_directory(folder / "533944-DEM5.raw");
  const std::vector<Spot> spots = {TileSpot(1, 1, 5, 5, 3),
                                   TileSpot(2, 2, 0, 0, 5),
                                   TileSpot(3, 3, 1499, 2249, 6),
                                   TileSpot(5, 5, 0, 2249, 7),
                                   TileSpot(5, 5, 1, 1124, 7),
                                   NoDataSpot((7 - 5) * 1500 + 1, 5 * 2250 + 1125),
                                   NoDataSpot((7 - 5) * 1500 + 2, 5 * 2250),
                                   NoDataSpot((7 - 6) * 1500, 6 * 2250),
                                   NoDataSpot((7 - 4) * 1500, 4 * 2250)};
  sinkRasters(spots);
  sink.failOpenContaining = "533966";

  auto result = run();

  EXPECT_EQ(result.outcome, CommandOutcome::kFinished);
  expectSunk("5339-DEM5", spots);
  // Bands are read from the top, so row digit 6 comes before row digit 4.
  const std::vector<fs::path> unreadable = {folder / "533966-DEM5.raw", folder / "533944-DEM5.raw"};
  EXPECT_EQ(result.skipped, unreadable);
  const std::error_code refused = std::make_error_code(std::errc::permission_denied);
  constexpr SkipReason kTileRasterUnreadable = SkipReason::kTileRasterUnreadable;
  const std::error_code folderNotFile = std::make_error_code(std::errc::is_a_directory);
  EXPECT_EQ(services.messages, std::vector<std::string>{FinalReport(
                                   {{unreadable[0], kTileRasterUnreadable, refused},
                                    {unreadable[1], kTileRasterUnreadable, folderNotFile}})});
}

// Such a name cannot stand on a line of the list: read back it would be two names.
TEST_F(Dem5Merge, AFoundNameHoldingALineBreakIsLeftOutOfTheListAndNamed) {
#if defined(_WIN32)
  GTEST_SKIP() << "Windows names hold no line break";
#endif
  WriteTile(folder / "533946-DEM5.raw", 1, 8);
  WriteTile(folder / "5339\n7-DEM5.raw", 2, 8);
  sinkRasters({});

  const CommandResult result = run();

  EXPECT_EQ(result.outcome, CommandOutcome::kFinished);
  EXPECT_EQ(ReadBytes(folder / kDem5NameList), "533946-DEM5.raw\r\n");
  const std::vector<fs::path> unlisted = {folder / "5339\n7-DEM5.raw"};
  EXPECT_EQ(result.skipped, unlisted);
  EXPECT_EQ(services.messages, std::vector<std::string>{
                                   FinalReport({{unlisted[0], SkipReason::kLineBreakInName, {}}})});
}

TEST_F(Dem5Merge, EachCodeGetsAWholeRasterInTheOrderOfItsFirstName) {
  WriteTile(folder / "5239ab-DEM5.raw", 1, 8);  // a code without a single tile
  WriteTile(folder / "533946-DEM5.raw", 2, 8);
  WriteTile(folder.path() / u8"あいう446-DEM5.raw", 3, 8);  // four characters, not four bytes
  const std::vector<Spot> absent = {NoDataSpot(4500, 13500), NoDataSpot(4500, 13501)};
  const std::vector<Spot> second = {TileSpot(4, 6, 0, 1, 2), NoDataSpot(4500, 13502)};
  const std::vector<Spot> third = {TileSpot(4, 6, 0, 1, 3), NoDataSpot(4500, 13502)};
  for (const auto* spots : {&absent, &second, &third}) sinkRasters(*spots);

  EXPECT_EQ(run().outcome, CommandOutcome::kFinished);

  EXPECT_EQ(sink.created, (std::vector<std::string>{"5239-DEM5", "5339-DEM5", "あいう4-DEM5"}));
  expectSunk("5239-DEM5", absent);
  expectSunk("5339-DEM5", second);
  expectSunk("あいう4-DEM5", third);
  EXPECT_EQ(services.calls[2], "max 36000");
  EXPECT_EQ(services.advances, 36000);
}

TEST_F(Dem5Merge, CancelAndNothingFoundEndBeforeTheBarMoves) {
  services.openAnswers.push_back(std::nullopt);
  EXPECT_EQ(RunDem5Merge(services).outcome, CommandOutcome::kCancelled);
  EXPECT_EQ(services.calls,
            (std::vector<std::string>{kOpenCall, std::string("message ") + kNoInput}));
  EXPECT_TRUE(folderNames().empty());

  // A GML5 mosaic's sidecar, a merged raster and a GML5 tile raster are no inputs either.
  std::vector<std::string> names = {"53394-DEM5.raw",  "5339467-DEM5.raw", "533946-DEM5.rawx",
                                    "533946_DEM5.raw", "53394-DEM5",       "533946-DEM5.hd1",
                                    "5239-DEM5",       "53394698-DEM5"};
  std::string notFound = kNotFound;
#if !defined(_WIN32)
  names.push_back("53\n946-DEM5.raw");  // a name Windows cannot hold, named as not listed
  notFound =
      FinalReport({{folder / names.back(), SkipReason::kLineBreakInName, {}}}, {}, kNotFound);
#endif
  for (const std::string& name : names) WriteTile(folder / name, 1, 8);
  WriteBytes(folder / kDem5NameList, "earlier\r\n");
  services.calls.clear();
  EXPECT_EQ(run().outcome, CommandOutcome::kNotFound);
  EXPECT_EQ(services.calls, (std::vector<std::string>{kOpenCall, "message " + notFound}));
  EXPECT_EQ(ReadBytes(folder / kDem5NameList), "");
  EXPECT_FALSE(fs::exists(folder / "5339-DEM5"));
}

TEST_F(Dem5Merge, AListThatCannotBeCreatedIsReported) {
  WriteTile(folder / "533946-DEM5.raw", 1, 8);
  testing::FaultyFileSystem faulty;
  faulty.failCreateContaining = "dem5_name";
  services.files = &faulty;

  EXPECT_EQ(run().outcome, CommandOutcome::kFailed);

  ASSERT_EQ(services.messages.size(), 1u);
  EXPECT_EQ(services.messages[0].rfind("ファイルを作成できません\n", 0), 0u)
      << services.messages[0];
  EXPECT_NE(services.messages[0].find(kDem5NameList), std::string::npos);
  EXPECT_EQ(folderNames(), std::set<std::string>{"533946-DEM5.raw"});
}

TEST_F(Dem5Merge, ADiskFullLeavesTheEarlierRasterAndNoSidecar) {
  WriteTile(folder / "533946-DEM5.raw", 1);
  WriteBytes(folder / "5339-DEM5", "earlier");
  testing::FaultyFileSystem faulty;
  faulty.failWritesAfter = 5u << 20;
  services.files = &faulty;

  EXPECT_EQ(run().outcome, CommandOutcome::kFailed);

  ASSERT_EQ(services.messages.size(), 1u);
  EXPECT_EQ(services.messages[0].rfind("ファイルに書き込めません\n", 0), 0u)
      << services.messages[0];
  EXPECT_NE(services.messages[0].find("5339-DEM5"), std::string::npos);
  EXPECT_NE(services.calls.back(), "pos 0");
  EXPECT_EQ(ReadBytes(folder / "5339-DEM5"), "earlier");
  EXPECT_EQ(folderNames(), (std::set<std::string>{"533946-DEM5.raw", "5339-DEM5", kDem5NameList}));
  EXPECT_EQ(faulty.openFiles, 0);
}

}  // namespace
}  // namespace elevara
