#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <fstream>

#include "commands/gml_command.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "raster/raw_raster.h"
#include "testkit/faulty_file_system.h"
#include "testkit/files.h"
#include "testkit/plain_gml.h"
#include "testkit/scripted_services.h"
#include "testkit/zip_files.h"
#include "tests/gml/small_conversion.h"

namespace elevara {
namespace {

namespace fs = std::filesystem;
using testing::GmlText;
using testing::MakeGml;
using testing::ReadBytes;
using testing::ReadFloats;
using testing::ScriptedServices;
using testing::TempFolder;
using testing::Tokens;
using testing::WriteBytes;
using testing::WriteFloats;

using testing::kSmall;

const std::string kOpenCall =
    std::string("open ") + gml_text::kOpenTitle + " | " + gml_text::kOpenFilter;
const std::string kFinishedCall = std::string("message ") + kFinishedMessage;

std::vector<std::string> Values(int first, int count) {
  std::vector<std::string> values;
  for (int i = 0; i < count; ++i) values.push_back(std::to_string(first + i));
  return values;
}

// A mosaic of kSmall as the placement rule gives it: tile (row digit, column digit) fills rows
// (1 - row digit) x 2 on and columns column digit x 3 on.
struct SmallMosaic {
  std::vector<float> cells = std::vector<float>(6 * 4, kNoData);
  void place(int rowDigit, int columnDigit, const std::vector<float>& tile) {
    for (int r = 0; r < 2; ++r) {
      for (int c = 0; c < 3; ++c)
        cells[((1 - rowDigit) * 2 + r) * 6 + columnDigit * 3 + c] = tile[r * 3 + c];
    }
  }
};

std::vector<float> Floats(int first, int count) {
  std::vector<float> values;
  for (int i = 0; i < count; ++i) values.push_back(float(first + i));
  return values;
}

std::vector<std::string> NamesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

struct GmlRun : ::testing::Test {
  TempFolder folder;
  ScriptedServices services;

  void writeTile(const std::string& name, const GmlText& text) {
    WriteBytes(folder / name, MakeGml(text));
  }
  CommandResult run(const GmlConversion& conversion = kSmall, int workers = AvailableCores()) {
    services.openAnswers.push_back(folder / "any.xml");  // only its folder counts
    return RunGmlConversion(services, conversion, workers);
  }
};

TEST_F(GmlRun, ConvertsEveryTileAndAssemblesTheMosaicsInOrderOfFirstAppearance) {
  // Letter case is ignored by the search and by its order, so the lower-case name comes first.
  writeTile("FG-GML-2222-22-00-dem5.xml", {.values = Tokens(Values(1, 6))});
  writeTile("FG-GML-2222-22-11-dem5.xml", {.startPoint = "<gml:startPoint>1 0</gml:startPoint>",
                                           .values = Tokens(Values(11, 6))});
  writeTile("FG-GML-3333-33-10-dem5.xml", {.values = Tokens(Values(21, 6))});
  writeTile("fg-gml-1111-11-01-DEM5.xml", {.values = Tokens(Values(31, 6))});
  writeTile("FG-GML-2222-22-00-dem10.xml", {.values = Tokens(Values(41, 6))});
  WriteBytes(folder / "notes.txt", "x");
  // When the second mosaic takes its first step, the first one is finished and the third one
  // not begun.
  bool firstMosaicFirst = false;
  services.onProcessMessages = [&] {
    if (services.processCount == 16 + 4 + 1) {
      firstMosaicFirst = fs::exists(folder / "111111-DEM5.hd1") &&
                         !fs::exists(folder / "222222-DEM5.hd1") &&
                         testing::TemporaryFilesIn(folder.path(), "333333-DEM5").empty();
    }
  };

  const CommandResult result = run(kSmall, 1);  // one worker writes the mosaics one by one
  EXPECT_EQ(result.outcome, CommandOutcome::kFinished);
  EXPECT_TRUE(result.skipped.empty());
  EXPECT_TRUE(firstMosaicFirst);
  EXPECT_EQ(services.calls,
            (std::vector<std::string>{kOpenCall, "min 0", "max 16", "pos 0", "step 1", "min 0",
                                      "max 12", "pos 0", "step 1", kFinishedCall, "pos 0"}));
  EXPECT_EQ(services.advances, 28);
  EXPECT_EQ(services.processCount, 28);

  EXPECT_EQ(ReadBytes(folder / kGmlListFileName),
            "fg-gml-1111-11-01-DEM5.xml\r\nFG-GML-2222-22-00-dem5.xml\r\n"
            "FG-GML-2222-22-11-dem5.xml\r\nFG-GML-3333-33-10-dem5.xml\r\n");
  EXPECT_FALSE(fs::exists(folder / kGmlValueFileName));
  EXPECT_EQ(ReadFloats(folder / "22222211-DEM5"),
            (std::vector<float>{kNoData, 11, 12, 13, 14, 15}));

  SmallMosaic first, second, third;
  first.place(0, 1, Floats(31, 6));
  second.place(0, 0, Floats(1, 6));
  second.place(1, 1, {kNoData, 11, 12, 13, 14, 15});
  third.place(1, 0, Floats(21, 6));
  EXPECT_EQ(ReadFloats(folder / "111111-DEM5"), first.cells);
  EXPECT_EQ(ReadFloats(folder / "222222-DEM5"), second.cells);
  EXPECT_EQ(ReadFloats(folder / "333333-DEM5"), third.cells);
  for (const char* sidecar : {"111111-DEM5.hd1", "222222-DEM5.hd1", "333333-DEM5.hd1"}) {
    EXPECT_EQ(ReadBytes(folder / sidecar), "6 width\r\n4 height\r\n4 data_type\r\n");
  }
  EXPECT_EQ(NamesIn(folder.path()), (std::vector<std::string>{"111111-DEM5",
                                                              "111111-DEM5.hd1",
                                                              "111111-DEM5.hdr",
                                                              "11111101-DEM5",
                                                              "222222-DEM5",
                                                              "222222-DEM5.hd1",
                                                              "222222-DEM5.hdr",
                                                              "22222200-DEM5",
                                                              "22222211-DEM5",
                                                              "333333-DEM5",
                                                              "333333-DEM5.hd1",
                                                              "333333-DEM5.hdr",
                                                              "33333310-DEM5",
                                                              "FG-GML-2222-22-00-dem10.xml",
                                                              "FG-GML-2222-22-00-dem5.xml",
                                                              "FG-GML-2222-22-11-dem5.xml",
                                                              "FG-GML-3333-33-10-dem5.xml",
                                                              "fg-gml-1111-11-01-DEM5.xml",
                                                              "gml_name.txt",
                                                              "notes.txt"}));
}

TEST_F(GmlRun, ACancelledDialogTouchesNothing) {
  services.openAnswers.push_back(std::nullopt);
  EXPECT_EQ(RunGmlConversion(services, kSmall).outcome, CommandOutcome::kCancelled);
  EXPECT_EQ(services.calls, (std::vector<std::string>{
                                kOpenCall, std::string("message ") + gml_text::kNoFileChosen}));
  EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST_F(GmlRun, AFolderWithoutTilesKeepsItsEmptyList) {
  WriteBytes(folder / "FG-GML-1234-56-dem10.xml", "x");  // the other command's tiles
  EXPECT_EQ(run().outcome, CommandOutcome::kNotFound);
  EXPECT_EQ(services.calls, (std::vector<std::string>{
                                kOpenCall, std::string("message ") + gml_text::kNoFileFound}));
  EXPECT_EQ(ReadBytes(folder / kGmlListFileName), "");
  EXPECT_EQ(NamesIn(folder.path()),
            (std::vector<std::string>{"FG-GML-1234-56-dem10.xml", "gml_name.txt"}));
}

TEST_F(GmlRun, BrokenTilesAreNamedAndTheirStaleRastersReplaced) {
  // A raster of an earlier run whose GML is gone still fills its block.
  WriteFloats(folder / "44444400-DEM5", std::vector<float>(6, 7.0f));
  // Broken now: its earlier raster of 9s must not stand in for it.
  WriteFloats(folder / "44444410-DEM5", std::vector<float>(6, 9.0f));
  writeTile("FG-GML-4444-44-10-dem5.xml", {.startPoint = "", .values = Tokens(Values(1, 6))});
  fs::create_directory(folder / "FG-GML-4444-44-01-dem5.xml");  // cannot be read as a tile
  // Two editions of one tile, one with blanks in its name: the later in the list wins.
  writeTile("FG-GML-4444-44-11-dem5 (1).xml", {.values = Tokens(Values(51, 6))});
  writeTile("FG-GML-4444-44-11-dem5.xml", {.values = Tokens(Values(61, 6))});

  const CommandResult result = run();
  EXPECT_EQ(result.outcome, CommandOutcome::kFinished);
  EXPECT_EQ(result.skipped, (std::vector<fs::path>{folder / "FG-GML-4444-44-01-dem5.xml",
                                                   folder / "FG-GML-4444-44-10-dem5.xml"}));
  EXPECT_EQ(services.messages.back(),
            std::string(kFinishedMessage) +
                "\n読み込めなかったファイル：2件\n"
                "FG-GML-4444-44-01-dem5.xml（ファイルではなくフォルダです）\n"
                "FG-GML-4444-44-10-dem5.xml（開始位置 gml:startPoint がありません）");
  SmallMosaic mosaic;
  mosaic.place(0, 0, std::vector<float>(6, 7.0f));
  mosaic.place(1, 1, Floats(61, 6));
  EXPECT_EQ(ReadFloats(folder / "444444-DEM5"), mosaic.cells);
  EXPECT_EQ(ReadFloats(folder / "44444410-DEM5"), std::vector<float>(6, kNoData));
  EXPECT_EQ(ReadFloats(folder / "44444401-DEM5"), std::vector<float>(6, kNoData));
  EXPECT_EQ(services.advances, 4 * 4 + 4);
}

// A run that cannot write all its mosaics writes none, rather than fill the disk to find out.
TEST_F(GmlRun, TheRoomForEveryMosaicIsCheckedBeforeTheFirst) {
  writeTile("FG-GML-1111-11-00-dem5.xml", {.values = Tokens(Values(1, 6))});
  writeTile("FG-GML-2222-22-00-dem5.xml", {.values = Tokens(Values(1, 6))});
  testing::FaultyFileSystem files;
  services.files = &files;
  const std::uint64_t needed = 2 * (6 * 4 * 4 + 64 * 1024);  // two mosaics and their headers
  files.availableBytes = needed - 1;
  EXPECT_EQ(run().outcome, CommandOutcome::kFailed);
  EXPECT_EQ(services.messages.back(), "フォルダに出力を書き出せません\n" +
                                          DisplayPath(folder.path()) +
                                          "\nディスクの空き容量が足りません\n"
                                          "必要な空き容量 1 MB、空き容量 0 MB");
  EXPECT_EQ(
      NamesIn(folder.path()),
      (std::vector<std::string>{"11111100-DEM5", "22222200-DEM5", "FG-GML-1111-11-00-dem5.xml",
                                "FG-GML-2222-22-00-dem5.xml", "gml_name.txt"}));
  files.availableBytes = needed;
  EXPECT_EQ(run().outcome, CommandOutcome::kFinished);
}

// An absent tile raster is a gap of the mesh; one that is there but cannot be read is named.
TEST_F(GmlRun, TileRastersThatCannotBeReadAreNoDataAndNamed) {
  writeTile("FG-GML-2222-22-00-dem5.xml", {.values = Tokens(Values(1, 6))});
  fs::create_directory(folder / "22222211-DEM5");
  const CommandResult result = run();
  EXPECT_EQ(result.outcome, CommandOutcome::kFinished);
  EXPECT_EQ(result.skipped, std::vector<fs::path>{folder / "22222211-DEM5"});
  EXPECT_EQ(services.messages.back(),
            FinalReport({{folder / "22222211-DEM5", SkipReason::kTileRasterUnreadable,
                          std::make_error_code(std::errc::is_a_directory)}}));
  SmallMosaic mosaic;
  mosaic.place(0, 0, Floats(1, 6));
  EXPECT_EQ(ReadFloats(folder / "222222-DEM5"), mosaic.cells);
}

// Work that takes no step, listing and inflating archives or reading a tile, still notices an
// interrupt: the run unwinds at the first poll, names the mosaics it had still to write and
// leaves no working or temporary file.
TEST_F(GmlRun, AnInterruptIsNoticedBetweenStepsToo) {
  const std::string tile = MakeGml({.values = Tokens(Values(1, 6))});
  testing::WriteZip(folder / "nested.zip",
                    {{"in.zip", testing::ZipBytes({{"FG-GML-1111-11-00-dem5.xml", tile}})}});
  services.onPollMessages = [] { throw Interrupted(); };
  for (const bool listing : {true, false}) {
    if (!listing) {
      fs::remove(folder / "nested.zip");
      WriteBytes(folder / "FG-GML-2222-22-00-dem5.xml", tile);
    }
    try {
      run();
      ADD_FAILURE() << "not interrupted";
    } catch (const Interrupted& interrupted) {
      EXPECT_EQ(interrupted.unwritten,
                listing ? std::vector<fs::path>{} : std::vector{folder / "222222-DEM5"});
    }
    const std::vector<std::string> left =
        listing ? std::vector<std::string>{"nested.zip"}
                : std::vector<std::string>{"FG-GML-2222-22-00-dem5.xml", "gml_name.txt"};
    EXPECT_EQ(NamesIn(folder.path()), left);
  }
}

TEST_F(GmlRun, NamesTooShortForThePositionsAreSkippedButStillStepped) {
  writeTile("FG-GML-dem5.xml", {.values = Tokens(Values(1, 6))});  // no position 15 or 16
  // Letters at positions 15 and 16: its raster is written, but no block of the mosaic reads it.
  writeTile("FG-GML-5555-55-dem5-x.xml", {.values = Tokens(Values(1, 6))});
  const CommandResult result = run();
  EXPECT_EQ(result.outcome, CommandOutcome::kFinished);
  EXPECT_EQ(result.skipped, std::vector<fs::path>{folder / "FG-GML-dem5.xml"});
  // Both names count in the tile phase; only the long one gives a code.
  EXPECT_EQ(services.calls[2], "max 8");
  EXPECT_EQ(services.calls[6], "max 4");
  EXPECT_EQ(services.advances, 8 + 4);
  EXPECT_EQ(ReadFloats(folder / "555555de-DEM5"), Floats(1, 6));
  EXPECT_EQ(ReadFloats(folder / "555555-DEM5"), std::vector<float>(6 * 4, kNoData));
}

TEST_F(GmlRun, TheCodeTableHasNoLimit) {
  const GmlConversion single{
      "FG-GML*dem5*.xml", {1, 1, 1, 1}, testing::kSmallCodePositions, 15, 16, "-DEM5"};
  constexpr int kCodes = 601;
  for (int i = 0; i < kCodes; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "FG-GML-%04d-%02d-00-dem5.xml", 1000 + i / 100, i % 100);
    writeTile(name, {.values = Tokens({std::to_string(i)})});
  }
  EXPECT_EQ(run(single).outcome, CommandOutcome::kFinished);
  EXPECT_EQ(services.calls[6], "max " + std::to_string(kCodes));
  for (int i = 0; i < kCodes; ++i) {
    char code[16];
    std::snprintf(code, sizeof code, "%04d%02d-DEM5", 1000 + i / 100, i % 100);
    ASSERT_EQ(ReadFloats(folder / code), std::vector<float>{float(i)}) << code;
  }
}

// Every file a run writes is whole or absent after a failure, and the failure is the one
// message: the file and the reason, never the success message.
::testing::AssertionResult NothingHalfWritten(const fs::path& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (IsTemporaryFileName(name)) return ::testing::AssertionFailure() << name << " left";
    const bool mosaic = name.size() == 11 && name.ends_with("-DEM5");
    const bool tile = name.size() == 13 && name.ends_with("-DEM5");
    const auto size = entry.is_regular_file() ? entry.file_size() : 0;
    if (mosaic && size != 6 * 4 * 4) return ::testing::AssertionFailure() << name << " partial";
    if (tile && size != 3 * 2 * 4) return ::testing::AssertionFailure() << name << " partial";
    if (name.ends_with(".hd1") && !fs::exists(folder / name.substr(0, name.size() - 4))) {
      return ::testing::AssertionFailure() << name << " without its raster";
    }
  }
  return ::testing::AssertionSuccess();
}

struct FaultyRun : GmlRun {
  testing::FaultyFileSystem files;
  void SetUp() override {
    services.files = &files;
    writeTile("FG-GML-2222-22-00-dem5.xml", {.values = Tokens(Values(1, 6))});
    writeTile("FG-GML-2222-22-11-dem5.xml", {.values = Tokens(Values(11, 6))});
    writeTile("FG-GML-3333-33-10-dem5.xml", {.values = Tokens(Values(21, 6))});
  }
  void expectStoppedNaming(const std::string& file, const std::string& reason) {
    EXPECT_EQ(run().outcome, CommandOutcome::kFailed);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_NE(services.messages[0].find(file), std::string::npos) << services.messages[0];
    EXPECT_NE(services.messages[0].find(reason), std::string::npos) << services.messages[0];
    EXPECT_EQ(files.openFiles, 0);
    EXPECT_TRUE(NothingHalfWritten(folder.path()));
  }
};

TEST_F(FaultyRun, AListThatCannotBeCreatedStopsBeforeAnyPhase) {
  files.failCreateContaining = "gml_name";
  expectStoppedNaming("gml_name.txt", "ファイルを作成できません");
  EXPECT_EQ(services.calls.size(), 2u);  // the dialog and the message: the bar is untouched
}

TEST_F(FaultyRun, ATileRasterThatCannotBeCreatedStopsTheTilePhase) {
  files.failCreateContaining = "22222211";
  expectStoppedNaming("22222211-DEM5", "ファイルを作成できません");
  EXPECT_FALSE(fs::exists(folder / "22222211-DEM5"));
  EXPECT_FALSE(fs::exists(folder / "222222-DEM5"));
}

TEST_F(FaultyRun, AMosaicThatCannotBeSavedHasNoSidecar) {
  files.failRenameContaining = "333333-DEM5";
  expectStoppedNaming("333333-DEM5", "ファイルを保存できません");
  EXPECT_TRUE(fs::exists(folder / "222222-DEM5.hd1"));
  EXPECT_FALSE(fs::exists(folder / "333333-DEM5"));
  EXPECT_FALSE(fs::exists(folder / "333333-DEM5.hd1"));
}

TEST_F(FaultyRun, AFullDiskAtAnyPointLeavesOnlyWholeFiles) {
  TempFolder measure;
  // How much a whole run writes, in a folder of its own.
  {
    testing::FaultyFileSystem counting;
    ScriptedServices quiet;
    quiet.files = &counting;
    for (const auto& entry : fs::directory_iterator(folder.path())) {
      fs::copy_file(entry.path(), measure / entry.path().filename().string());
    }
    quiet.openAnswers.push_back(measure / "any.xml");
    ASSERT_EQ(RunGmlConversion(quiet, kSmall).outcome, CommandOutcome::kFinished);
    ASSERT_GT(counting.written, 100u);
    files.failWritesAfter = counting.written;
  }
  const std::uint64_t total = *files.failWritesAfter;
  for (std::uint64_t limit :
       {std::uint64_t{0}, std::uint64_t{60}, total / 3, total / 2, total - 200, total - 1}) {
    SCOPED_TRACE("writes fail after " + std::to_string(limit) + " of " + std::to_string(total));
    TempFolder fresh;
    for (const auto& entry : fs::directory_iterator(folder.path())) {
      if (entry.path().extension() == ".xml") {
        fs::copy_file(entry.path(), fresh / entry.path().filename().string());
      }
    }
    testing::FaultyFileSystem full;
    full.failWritesAfter = limit;
    ScriptedServices run;
    run.files = &full;
    run.openAnswers.push_back(fresh / "any.xml");
    EXPECT_EQ(RunGmlConversion(run, kSmall).outcome, CommandOutcome::kFailed);
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_EQ(run.messages[0].find(kFinishedMessage), std::string::npos);
    EXPECT_NE(run.messages[0].find("ファイルに書き込めません"), std::string::npos);
    EXPECT_EQ(full.openFiles, 0);
    EXPECT_TRUE(NothingHalfWritten(fresh.path()));
  }
}

// The published 5 m tiles of one mosaic: eight of its hundred tiles, with start points such as
// 57 0, 0 7 and 1 94 and lists that end early.
TEST(PublishedGml5Run, PlacesEightTilesInMosaic362430) {
  TempFolder folder;
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(ELEVARA_SAMPLES)) {
    const std::string name = entry.path().filename().string();
    if (name.find("DEM5B") == std::string::npos || entry.path().extension() != ".xml") continue;
    fs::copy_file(entry.path(), folder / name);
    names.push_back(name);
  }
  ASSERT_EQ(names.size(), 8u);
  ScriptedServices services;
  services.openAnswers.push_back(folder / names[0]);
  ASSERT_EQ(RunGml5Conversion(services).outcome, CommandOutcome::kFinished);
  EXPECT_EQ(services.calls[2], "max 2400");
  EXPECT_EQ(services.calls[6], "max 1500");
  EXPECT_EQ(services.messages, std::vector<std::string>{kFinishedMessage});
  EXPECT_EQ(ReadBytes(folder / "362430-DEM5.hd1"), "2250 width\r\n1500 height\r\n4 data_type\r\n");

  const std::vector<float> mosaic = ReadFloats(folder / "362430-DEM5");
  ASSERT_EQ(mosaic.size(), 2250u * 1500);
  int present = 0;
  for (int rowDigit = 0; rowDigit < 10; ++rowDigit) {
    for (int columnDigit = 0; columnDigit < 10; ++columnDigit) {
      const fs::path tilePath =
          folder / ("362430" + std::to_string(rowDigit) + std::to_string(columnDigit) + "-DEM5");
      std::vector<float> tile(225 * 150, kNoData);
      if (fs::exists(tilePath)) {
        ++present;
        tile = ReadFloats(tilePath);
        const std::string gml = "FG-GML-3624-30-" + std::to_string(rowDigit) +
                                std::to_string(columnDigit) + "-DEM5B-20170202.xml";
        ASSERT_EQ(tile, testing::ReferenceTile(ReadBytes(folder / gml), 225, 150)) << gml;
      }
      // Every cell of the block, its edges included, bit for bit.
      for (int r = 0; r < 150; ++r) {
        const std::size_t at = std::size_t((9 - rowDigit) * 150 + r) * 2250 + columnDigit * 225;
        ASSERT_EQ(std::memcmp(&mosaic[at], &tile[std::size_t(r) * 225], 225 * 4), 0)
            << "tile " << rowDigit << columnDigit << " row " << r;
      }
    }
  }
  EXPECT_EQ(present, 8);
  // Tile 76 fills rows 300 to 449 and columns 1350 to 1574; its start point is 57 0.
  EXPECT_EQ(testing::Bits(mosaic[300 * 2250 + 1350 + 56]), kNoDataBits);
  EXPECT_NE(testing::Bits(mosaic[300 * 2250 + 1350 + 57]), kNoDataBits);
  EXPECT_FALSE(fs::exists(folder / kGmlValueFileName));
}

// The one run of the full 10 m command: a 216 MB mosaic from the published tile 3926-76.
TEST(PublishedGml10Run, PlacesTile76InMosaic3926) {
  TempFolder folder;
  const std::string name = "FG-GML-3926-76-DEM10B-20161001.xml";
  fs::copy_file(ELEVARA_SAMPLES "/" + name, folder / name);
  ScriptedServices services;
  services.openAnswers.push_back(folder / name);
  ASSERT_EQ(RunGml10Conversion(services).outcome, CommandOutcome::kFinished);
  EXPECT_EQ(services.calls[2], "max 1500");
  EXPECT_EQ(services.calls[6], "max 6000");
  EXPECT_EQ(services.advances, 1500 + 6000);
  EXPECT_EQ(ReadBytes(folder / "3926-ELEVARA.hd1"), "9000 width\r\n6000 height\r\n4 data_type\r\n");
  const fs::path mosaic = folder / "3926-ELEVARA";
  ASSERT_EQ(fs::file_size(mosaic), 216'000'000u);

  const std::vector<float> tile = ReadFloats(folder / "392676-ELEVARA");
  ASSERT_EQ(tile, testing::ReferenceTile(ReadBytes(folder / name), 1125, 750));
  // Row digit 7, column digit 6: mosaic rows 0 to 749, columns 6750 to 7874. Its start point
  // is 743 639.
  std::ifstream in(mosaic, std::ios::binary);
  auto sample = [&](std::int64_t row, std::int64_t column) {
    float value;
    in.seekg((row * 9000 + column) * 4);
    in.read(reinterpret_cast<char*>(&value), 4);
    return testing::Bits(value);
  };
  for (int r : {0, 1, 638, 639, 640, 700, 748, 749}) {
    for (int c : {0, 1, 742, 743, 744, 1000, 1123, 1124}) {
      ASSERT_EQ(sample(r, 6750 + c), testing::Bits(tile[r * 1125 + c])) << r << " " << c;
    }
  }
  EXPECT_NE(sample(639, 6750 + 743), kNoDataBits);
  for (auto [row, column] : std::vector<std::pair<int, int>>{
           {0, 6749}, {0, 7875}, {749, 6749}, {750, 6750}, {750, 7874}, {5999, 8999}, {3000, 0}}) {
    EXPECT_EQ(sample(row, column), kNoDataBits) << row << " " << column;
  }
}

// The 1 m command over what a user downloads: a tile of the folder, and a regional pack that is a
// ZIP of a mesh's ZIP; 10 m tiles beside them are not its business. Every block of the 337.5 MB
// mosaic is the independent reading of its tile, the values beyond the grid ignored.
TEST(PublishedGml1Run, PlacesTheFolderAndThePackTilesInMosaic453077) {
  TempFolder folder;
  const std::string rebuilt = "FG-GML-4530-77-05-DEM1A-20260522.xml";
  fs::copy_file(ELEVARA_TEST_DATA "/" + rebuilt, folder / rebuilt);
  GmlText synthetic;
  for (int i = 0; i < 1125 * 3 + 7; ++i) synthetic.values.push_back("地表面," + std::to_string(i));
  const std::string packed = "FG-GML-4530-77-90-DEM1A-20250613.xml";
  const std::string mesh = testing::ZipBytes({{packed, MakeGml(synthetic)}});
  testing::WriteZip(folder / "FG-GML-DEM1A-pack.zip", {{"FG-GML-453077-DEM1A-20250613.zip", mesh}});
  WriteBytes(folder / "FG-GML-4530-77-dem10b-20161001.xml", MakeGml(synthetic));

  ScriptedServices services;
  services.openAnswers.push_back(folder / rebuilt);
  ASSERT_EQ(RunGml1Conversion(services).outcome, CommandOutcome::kFinished);
  EXPECT_EQ(services.messages, std::vector<std::string>{kFinishedMessage});
  EXPECT_EQ(
      ReadBytes(folder / kGmlListFileName),
      rebuilt + "\r\nFG-GML-DEM1A-pack.zip/FG-GML-453077-DEM1A-20250613.zip/" + packed + "\r\n");
  EXPECT_EQ(ReadBytes(folder / "453077-DEM1.hd1"), "11250 width\r\n7500 height\r\n4 data_type\r\n");
  const fs::path mosaic = folder / "453077-DEM1";
  ASSERT_EQ(fs::file_size(mosaic), 337'500'000u);
  const std::vector<float> tiles[] = {
      testing::ReferenceTile(ReadBytes(folder / rebuilt), 1125, 750),
      testing::ReferenceTile(MakeGml(synthetic), 1125, 750)};
  // Tile 05 fills rows 6750 to 7499 and columns 5625 to 6749, tile 90 rows 0 to 749 and columns
  // 0 to 1124; every other cell is no-data.
  const std::pair<std::int64_t, std::int64_t> origins[] = {{6750, 5625}, {0, 0}};
  std::ifstream in(mosaic, std::ios::binary);
  std::vector<float> row(11250);
  int valued = 0;
  for (std::int64_t r = 0; r < 7500; ++r) {
    in.read(reinterpret_cast<char*>(row.data()), std::streamsize(row.size() * 4));
    for (int t = 0; t < 2; ++t) {
      const auto [top, left] = origins[t];
      if (r < top || r >= top + 750) continue;
      ASSERT_EQ(std::memcmp(&row[left], &tiles[t][std::size_t(r - top) * 1125], 1125 * 4), 0)
          << "tile " << t << " row " << r;
      std::fill_n(row.begin() + left, 1125, kNoData);
    }
    for (float cell : row) valued += testing::Bits(cell) != kNoDataBits;
  }
  EXPECT_EQ(valued, 0);
}

}  // namespace
}  // namespace elevara
