// Several files of one tile, and sea cells told apart from cells without data: the tile raster a
// folder's files make, cell for cell.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "commands/gml_command.h"
#include "gml/gml_edition.h"
#include "raster/raw_raster.h"
#include "testkit/files.h"
#include "testkit/plain_gml.h"
#include "testkit/scripted_services.h"
#include "tests/gml/small_conversion.h"

namespace elevara {
namespace {

using testing::GmlText;

struct NameCase {
  const char* name;
  std::optional<GmlEdition> edition;
};

class EditionOfNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(EditionOfNameTest, TakesTheProductLetterAndTheDateOrNothing) {
  EXPECT_EQ(EditionOfName(GetParam().name), GetParam().edition) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, EditionOfNameTest,
    ::testing::Values(NameCase{"FG-GML-5339-45-00-DEM5A-20161001.xml", GmlEdition{'A', 20161001}},
                      NameCase{"FG-GML-5339-45-dem10b-20090201.xml", GmlEdition{'B', 20090201}},
                      NameCase{"FG-GML-4530-77-05-DEM1A-20260522 (1).xml",
                               GmlEdition{'A', 20260522}},
                      NameCase{"FG-GML-5339-45-00-DEM5A.xml", std::nullopt},
                      NameCase{"FG-GML-5339-45-00-DEM5A", std::nullopt},
                      NameCase{"FG-GML-5339-45-00-dem5-20161001.xml", std::nullopt},
                      NameCase{"FG-GML-5339-45-00-DEM5AB-20161001.xml", std::nullopt},
                      NameCase{"FG-GML-5339-45-00-DEM5\xC3\xA9-20161001.xml", std::nullopt},
                      NameCase{"FG-GML-5339-45-00-DEM5A-201610011.xml", std::nullopt}));

const std::string kNone = "データなし,-9999.";

// A file of tile 22222200, in list order: its name behind "FG-GML-2222-22-00-", and its cells,
// "" for no data, a number for a ground value; none: it cannot be converted.
struct TileFile {
  std::string edition;
  std::vector<std::string> cells;
};

struct EditionCase {
  const char* rule;
  std::vector<TileFile> files;
  std::vector<float> tile;
  std::size_t skipped = 0;
  bool seaLevelZero = false;
};

void PrintTo(const EditionCase& tested, std::ostream* out) {
  *out << tested.rule;
}

class EditionRun : public ::testing::TestWithParam<EditionCase> {};

TEST_P(EditionRun, MakesTheTileRasterOfTheBestFileAndFillsItsHolesFromTheNext) {
  testing::TempFolder folder;
  for (const TileFile& file : GetParam().files) {
    GmlText text{.values = {}};
    for (const std::string& cell : file.cells) {
      text.values.push_back(cell.empty()                  ? kNone
                            : cell.find(',') != cell.npos ? cell
                                                          : "地表面," + cell);
    }
    if (file.cells.empty()) text.startPoint = "";  // cannot be converted
    testing::WriteBytes(folder / ("FG-GML-2222-22-00-" + file.edition), testing::MakeGml(text));
  }
  testing::ScriptedServices services;
  services.openAnswers.push_back(folder / "any.xml");
  const CommandResult result =
      RunGmlConversion(services, testing::kSmall, 2, {GetParam().seaLevelZero});
  EXPECT_EQ(result.outcome, CommandOutcome::kFinished);
  EXPECT_EQ(result.skipped.size(), GetParam().skipped);
  EXPECT_EQ(testing::ReadFloats(folder / "22222200-DEM5"), GetParam().tile);
  const std::string list = testing::ReadBytes(folder / kGmlListFileName);
  EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), std::ssize(GetParam().files));
}

constexpr float N = kNoData;

INSTANTIATE_TEST_SUITE_P(
    Files, EditionRun,
    ::testing::Values(EditionCase{"the product letter first",
                                  {{"DEM5A-20200101.xml", {"1", "", "", "4", "", ""}},
                                   {"DEM5B-20230101.xml", {"21", "22", "", "", "", ""}},
                                   {"DEM5C-20240101.xml", {"31", "32", "33", "34", "35", ""}}},
                                  {1, 22, 33, 4, 35, N}},
                      EditionCase{"then the newer date",
                                  {{"DEM5B-20100101.xml", {"11", "12", "13", "14", "15", "16"}},
                                   {"DEM5B-20200101.xml", {"1", "", "3", "", "5", ""}}},
                                  {1, 12, 3, 14, 5, 16}},
                      EditionCase{"one product and date: the later in the list, whole",
                                  {{"DEM5A-20200101 (1).xml", {"1", "2", "3", "4", "5", "6"}},
                                   {"DEM5A-20200101.xml", {"", "12", "", "", "", ""}}},
                                  {N, 12, N, N, N, N}},
                      EditionCase{"a name without an edition: the later in the list, whole",
                                  {{"dem5.xml", {"1", "2", "3", "4", "5", "6"}},
                                   {"DEM5A-20200101.xml", {"", "12", "", "", "", ""}}},
                                  {N, 12, N, N, N, N}},
                      EditionCase{"a better file that fails leaves its cells to the next",
                                  {{"DEM5B-20100101.xml", {"1", "2", "3", "4", "5", "6"}},
                                   {"DEM5B-20200101.xml", {}}},
                                  {1, 2, 3, 4, 5, 6},
                                  1},
                      EditionCase{
                          "sea is 0.0 and no hole, whatever its value text",
                          {{"DEM5A-20200101.xml",
                            {"海水面,-9999.", "", "海水面,7", "a,海水面,1", "海水面x,-9999.", "3"}},
                           {"DEM5B-20100101.xml", {"21", "22", "23", "24", "25", "26"}}},
                          {0, 22, 0, 1, 25, 3},
                          0,
                          true}));

}  // namespace
}  // namespace elevara
