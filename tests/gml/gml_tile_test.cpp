#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <random>

#include "commands/services.h"
#include "gml/gml_tile.h"
#include "platform/errors.h"
#include "raster/datum.h"
#include "raster/raw_raster.h"
#include "testkit/faulty_file_system.h"
#include "testkit/files.h"
#include "testkit/plain_gml.h"
#include "testkit/scripted_services.h"

namespace elevara {
namespace {

using testing::GmlText;
using testing::MakeGml;
using testing::ReadBytes;
using testing::ReadFloats;
using testing::ReferenceTile;
using testing::TempFolder;
using testing::Tokens;
using testing::WriteBytes;

using testing::Bits;

// Compares two grids bit for bit and names the first cells that differ.
::testing::AssertionResult SameCells(const std::vector<float>& got, const std::vector<float>& want,
                                     int width) {
  if (got.size() != want.size()) {
    return ::testing::AssertionFailure() << got.size() << " cells instead of " << want.size();
  }
  int shown = 0;
  auto failure = ::testing::AssertionFailure();
  for (std::size_t k = 0; k < got.size(); ++k) {
    if (Bits(got[k]) == Bits(want[k])) continue;
    if (shown++ < 5) {
      failure << "row " << k / width << " column " << k % width << ": " << got[k] << " instead of "
              << want[k] << "; ";
    }
  }
  return shown == 0 ? ::testing::AssertionSuccess() : failure;
}

std::vector<std::string> Numbered(int count, int first = 1) {
  std::vector<std::string> values;
  for (int i = 0; i < count; ++i) values.push_back(std::to_string(first + i) + ".25");
  return values;
}

struct TileRun : ::testing::Test {
  TempFolder folder;
  std::filesystem::path gml = folder / "tile.xml";
  std::filesystem::path values = folder / "dtm.txt";
  std::filesystem::path raster = folder / "tile-ELEVARA";
  std::int64_t steps = 0;
  bool byValueFile = false;  // the reference road through `values`

  GmlTileStatus convert(int width, int height, FileSystem& fs = SystemFileSystem()) {
    testing::ScriptedServices services;
    ServicesProgress progress(services);
    const GmlTileResult result = byValueFile
                                     ? ConvertGmlTileByValueFile(fs, progress, OpenGmlFile(fs, gml),
                                                                 {raster, width, height}, values)
                                     : ConvertGmlTile(fs, progress, gml, {raster, width, height});
    steps = services.advances;
    datum = result.datum;
    return result.status;
  }
  std::optional<Datum> datum;
  // Converts `text` and checks the raster against the plain reading of the same bytes.
  void expectAsReference(const std::string& text, int width, int height) {
    WriteBytes(gml, text);
    convert(width, height);
    EXPECT_EQ(steps, GmlTileSteps(height));
    EXPECT_TRUE(SameCells(ReadFloats(raster), ReferenceTile(text, width, height), width));
  }
};

TEST_F(TileRun, ValuesFillTheGridFromTheStartPointInRowOrder) {
  struct Case {
    const char* name;
    GmlText text;
    int width, height;
    int firstListedCell;  // -1: none
  } cases[] = {
      {"start 0 0, full list", {.values = Tokens(Numbered(35))}, 7, 5, 0},
      {"start column 3 row 2",
       {.startPoint = "<gml:startPoint>3 2</gml:startPoint>", .values = Tokens(Numbered(18))},
       7,
       5,
       2 * 7 + 3},
      {"four-digit start column",
       {.startPoint = "<gml:startPoint>1000 0</gml:startPoint>", .values = Tokens(Numbered(300))},
       1125,
       2,
       1000},
      {"start row past the grid",
       {.startPoint = "<gml:startPoint>0 5</gml:startPoint>", .values = Tokens(Numbered(9))},
       7,
       5,
       -1},
      {"start column past the row: the next row begins",
       {.startPoint = "<gml:startPoint>9 1</gml:startPoint>", .values = Tokens(Numbered(40))},
       7,
       5,
       2 * 7},
      {"list ending early",
       {.startPoint = "<gml:startPoint>2 1</gml:startPoint>", .values = Tokens(Numbered(4))},
       7,
       5,
       7 + 2},
      {"surplus values", {.values = Tokens(Numbered(50))}, 7, 5, 0},
      {"start point before the list",
       {.startPoint = "<gml:startPoint>1 1</gml:startPoint>",
        .values = Tokens(Numbered(40)),
        .startPointFirst = true},
       7,
       5,
       7 + 1},
      {"signed start point",
       {.startPoint = "<gml:startPoint>+2 -1</gml:startPoint>", .values = Tokens(Numbered(40))},
       7,
       5,
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = MakeGml(c.text);
    expectAsReference(text, c.width, c.height);
    const std::vector<float> cells = ReadFloats(raster);
    ASSERT_EQ(cells.size(), std::size_t(c.width) * c.height);
    for (int k = 0; k < (c.firstListedCell < 0 ? c.width * c.height : c.firstListedCell); ++k) {
      ASSERT_EQ(Bits(cells[k]), kNoDataBits) << "cell " << k << " lies before the start";
    }
    if (c.firstListedCell >= 0) {
      EXPECT_EQ(cells[c.firstListedCell], 1.25f);
    }
  }
}

TEST_F(TileRun, ValueTextIsWhatFollowsTheLastComma) {
  GmlText text{.values = {"a,b,c,1.5", "地表面,,2.5", "データなし,-9999.", "その他,-9999.00", "77",
                          "x,+3.5", "x,1e2", "x,-2.5E-1", "x,", "x,abc", "x,6.5"}};
  WriteBytes(gml, MakeGml(text));
  convert(11, 1);
  // An empty or non-numeric value is no-data and keeps the cells after it in their places.
  const std::vector<float> want = {1.5f,   2.5f,   kNoData, kNoData, 77.0f, 3.5f,
                                   100.0f, -0.25f, kNoData, kNoData, 6.5f};
  EXPECT_TRUE(SameCells(ReadFloats(raster), want, 11));
}

TEST_F(TileRun, TheValueFileHoldsTheListedValuesOneCrLfLineEach) {
  byValueFile = true;
  WriteBytes(gml, MakeGml({.startPoint = "<gml:startPoint>1 0</gml:startPoint>",
                           .values = {"t,1.5", "t,-2", "t,+3", "t,", "t,x,9"}}));
  convert(3, 3);
  EXPECT_EQ(ReadBytes(values), "1.5\r\n-2\r\n+3\r\n\r\n9\r\n");
  EXPECT_EQ(ReadFloats(raster),
            (std::vector<float>{kNoData, 1.5f, -2, 3, kNoData, 9, kNoData, kNoData, kNoData}));
}

TEST_F(TileRun, ListsWithoutTheirEndTokenEndAtTheEndOfTheFile) {
  WriteBytes(gml,
             MakeGml({.values = Tokens(Numbered(10)), .startPointFirst = true, .endToken = false}));
  EXPECT_EQ(convert(4, 4), GmlTileStatus::kConverted);
  std::vector<float> want(16, kNoData);
  for (int k = 0; k < 10; ++k) want[k] = float(k + 1) + 0.25f;
  EXPECT_TRUE(SameCells(ReadFloats(raster), want, 4));
}

TEST_F(TileRun, TokensOfAnyLengthAreReadWhole) {
  // Far beyond the 255 bytes a fixed token buffer would hold, and beyond the reader's own
  // block, so a token has to span blocks.
  const std::string longName(3 << 20, 'n');
  WriteBytes(gml, MakeGml({.startPoint = "<gml:startPoint>1" + std::string(300, '0') +
                                         "</gml:startPoint>junk 0</gml:startPoint>",
                           .values = {longName + ",4.5", "t," + std::string(400, '1'),
                                      "t,0." + std::string(500, '0') + "1", "t,5.5"}}));
  EXPECT_EQ(convert(3, 2), GmlTileStatus::kConverted);
  // 1 followed by 300 zeros lies past every column: the first value lands on row 1.
  const std::vector<float> want = {
      kNoData, kNoData, kNoData, 4.5f, std::numeric_limits<float>::infinity(), 0.0f};
  EXPECT_TRUE(SameCells(ReadFloats(raster), want, 3));
}

TEST_F(TileRun, BrokenTilesGiveAWholeRasterOfNoData) {
  struct Case {
    const char* name;
    std::optional<std::string> text;  // nullopt: no such file
    GmlTileStatus status;
  } cases[] = {
      {"missing file", std::nullopt, GmlTileStatus::kNotOpened},
      {"empty file", std::string(), GmlTileStatus::kNoStartPoint},
      {"no start point", MakeGml({.startPoint = "<gml:sequenceRule>", .values = {"t,1"}}),
       GmlTileStatus::kNoStartPoint},
      {"no value list", MakeGml({.values = {"t,1"}, .valueList = false}),
       GmlTileStatus::kNoValueList},
      {"near misses of the start point",
       "<gml:start 1 2 <gm:startPoint>3 4 x<gml:startPoint>5 6 <gml:tupleList> t,1 "
       "</gml:tupleList>",
       GmlTileStatus::kNoStartPoint},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(gml);
    if (c.text) WriteBytes(gml, *c.text);
    // A raster of an earlier run must not stand in for the broken tile.
    testing::WriteFloats(raster, std::vector<float>(6, 1.0f));
    EXPECT_EQ(convert(3, 2), c.status);
    EXPECT_EQ(steps, 4);
    EXPECT_EQ(ReadFloats(raster), std::vector<float>(6, kNoData));
  }
}

TEST_F(TileRun, ConvertingTwiceReplacesTheRasterWhole) {
  WriteBytes(gml, MakeGml({.values = Tokens(Numbered(20))}));
  convert(5, 4);
  WriteBytes(gml, MakeGml({.values = Tokens({"8"})}));
  convert(5, 4);
  std::vector<float> want(20, kNoData);
  want[0] = 8;
  EXPECT_EQ(ReadFloats(raster), want);
  EXPECT_EQ(testing::TemporaryFilesIn(raster.parent_path()).size(), 0u);
}

TEST_F(TileRun, RandomTilesReadAsThePlainReading) {
  // Random start points, lengths, value spellings and white space between tokens.
  std::mt19937 random(7);
  const char* spaces[] = {" ", "\t", "\r\n", "\n", "\v", "\f", "  \r\n\t"};
  for (int round = 0; round < 40; ++round) {
    const int width = 1 + int(random() % 40), height = 1 + int(random() % 30);
    GmlText text;
    text.startPoint = "<gml:startPoint>" + std::to_string(random() % (width + 3)) + " " +
                      std::to_string(random() % (height + 2)) + "</gml:startPoint>";
    text.startPointFirst = random() % 2 == 0;
    const int count = int(random() % (width * height + 5));
    for (int i = 0; i < count; ++i) {
      std::string value = std::to_string(int(random() % 200000) - 1000);
      value.insert(value.size() > 2 ? value.size() - 2 : 0, ".");
      std::string token = (random() % 3 == 0 ? "データなし," : "地表面,") + value;
      if (random() % 50 == 0) token = "その他,-9999.00";
      // Long texts that agree in their first eight bytes.
      if (random() % 4 == 0) token = "t,9876543." + std::to_string(random() % 100000);
      text.values.push_back(token + spaces[random() % 7] + "");
    }
    SCOPED_TRACE("round " + std::to_string(round));
    expectAsReference(MakeGml(text), width, height);
  }
}

TEST_F(TileRun, AFileThatCannotBeWrittenStopsTheTile) {
  byValueFile = true;
  WriteBytes(gml, MakeGml({.values = Tokens(Numbered(12))}));
  {
    testing::FaultyFileSystem fs;
    fs.failCreateContaining = "dtm";
    try {
      convert(4, 3, fs);
      FAIL() << "no error";
    } catch (const FileError& error) {
      EXPECT_EQ(error.action(), FileAction::kCreate);
      EXPECT_EQ(error.path(), values);
    }
    EXPECT_EQ(fs.openFiles, 0);
    EXPECT_FALSE(std::filesystem::exists(raster));
  }
  {
    testing::FaultyFileSystem fs;
    fs.failWritesAfter = 12 * 7 + 10;  // the value file, and a little of the raster
    EXPECT_THROW(convert(4, 3, fs), FileError);
    EXPECT_EQ(fs.openFiles, 0);
    EXPECT_FALSE(std::filesystem::exists(raster));
    EXPECT_EQ(testing::TemporaryFilesIn(raster.parent_path()).size(), 0u);
  }
}

// A folder of the value file's or the tile raster's name, empty or not, stops the tile with a
// file error and stays. (Links and FIFOs of those names are replaced: see
// GmlRun.WorkingFilesAreCreatedAnewNeverThroughALink.)
TEST_F(TileRun, AFolderOfATileFilesNameStopsTheTileAndStays) {
  byValueFile = true;
  WriteBytes(gml, MakeGml({.values = Tokens(Numbered(12))}));
  for (const std::filesystem::path& taken : {values, raster}) {
    std::filesystem::create_directory(taken);
    try {
      convert(4, 3);
      ADD_FAILURE() << "no error for " << taken;
    } catch (const FileError& error) {
      EXPECT_EQ(error.action(), FileAction::kCreate);
      EXPECT_EQ(error.path(), taken);
    }
    EXPECT_TRUE(std::filesystem::is_directory(taken));
    std::filesystem::remove(taken);
  }
}

TEST_F(TileRun, TheDatumIsTheFirstSrsNameBeforeTheListAndChangesNoCell) {
  const std::string plain = MakeGml({.values = Tokens(Numbered(4))});
  const std::string envelope = "srsName=\"fguuid:jgd2011.bl\"";
  const auto with = [&](const std::string& replacement, std::string text) {
    return text.replace(text.find(envelope), envelope.size(), replacement);
  };
  const std::string listEnd = "</gml:tupleList>";
  std::string behindTheList = with("a", plain);
  behindTheList.insert(behindTheList.find(listEnd) + listEnd.size(),
                       " srsName=\"fguuid:jgd2000.bl\"");
  const struct {
    std::string text;
    std::optional<Datum> datum;
  } cases[] = {
      {plain, Datum::kJgd2011},
      {with("srsName='fguuid:jgd2024.bl'> srsName=\"fguuid:jgd2000.bl\"", plain), Datum::kJgd2024},
      {with("srsName=\"fguuid:tokyo.bl\"", plain), std::nullopt},
      {behindTheList, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 200));
    expectAsReference(c.text, 2, 3);
    EXPECT_EQ(datum, c.datum);
  }
  WriteBytes(gml, MakeGml({.values = {"t,1"}, .valueList = false}));
  convert(2, 3);
  EXPECT_EQ(datum, std::nullopt);
}

// The published tiles: start points behind their lists, lists that end early, BOMs, CR LF.
TEST(PublishedTiles, ConvertAsThePlainReading) {
  TempFolder folder;
  struct Tile {
    std::filesystem::path path;
    int width, height;
  };
  std::vector<Tile> tiles;
  for (const auto& entry : std::filesystem::directory_iterator(ELEVARA_SAMPLES)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".xml") continue;
    if (name.find("DEM5B") != std::string::npos) tiles.push_back({entry.path(), 225, 150});
    if (name.find("DEM10B") != std::string::npos) tiles.push_back({entry.path(), 1125, 750});
  }
  ASSERT_EQ(tiles.size(), 9u);
  const std::filesystem::path full =
      ELEVARA_SHARED_DATA "/FG-GML-6341-51-dem10b-20161001.xml";  // not in the project
  if (std::filesystem::exists(full)) tiles.push_back({full, 1125, 750});
  for (const Tile& tile : tiles) {
    SCOPED_TRACE(tile.path.filename().string());
    testing::ScriptedServices services;
    ServicesProgress progress(services);
    const GmlTileResult result = ConvertGmlTile(SystemFileSystem(), progress, tile.path,
                                                {folder / "tile", tile.width, tile.height});
    EXPECT_EQ(result.status, GmlTileStatus::kConverted);
    // 6341-51 declares JGD2000, the samples JGD2011.
    EXPECT_EQ(result.datum, tile.path == full ? Datum::kJgd2000 : Datum::kJgd2011);
    EXPECT_EQ(services.advances, GmlTileSteps(tile.height));
    EXPECT_TRUE(SameCells(ReadFloats(folder / "tile"),
                          ReferenceTile(ReadBytes(tile.path), tile.width, tile.height),
                          tile.width));
  }
}

TEST(PublishedTiles, TheSingleValueOfTile98LandsAtItsStartPoint) {
  TempFolder folder;
  testing::NullServices services;
  ServicesProgress progress(services);
  ConvertGmlTile(SystemFileSystem(), progress,
                 ELEVARA_SAMPLES "/FG-GML-3624-30-98-DEM5B-20170202.xml",
                 {folder / "tile", 225, 150});
  const std::vector<float> cells = ReadFloats(folder / "tile");
  ASSERT_EQ(cells.size(), 225u * 150);
  for (std::size_t k = 0; k < cells.size(); ++k) {
    // "<gml:startPoint>1 94": column 1 of row 94 holds 地表面,0.00.
    ASSERT_EQ(Bits(cells[k]), k == 94 * 225 + 1 ? Bits(0.0f) : kNoDataBits) << k;
  }
}

}  // namespace
}  // namespace elevara
