// A long GML5 run over a folder as downloads leave it: 3,000 tiles of 40 mosaics, one in ten of
// them broken in its own way. Every good tile must land in its block, every broken one must be
// named, and the run must give back every file it opened.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "commands/gml_command.h"
#include "platform/folder_search.h"
#include "raster/raw_raster.h"
#include "testkit/files.h"
#include "testkit/scripted_services.h"

namespace elevara {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::ScriptedServices;
using testing::TempFolder;
using testing::WriteBytes;

constexpr int kTiles = 3000;
constexpr int kMosaics = 40;
constexpr int kTileWidth = 225;
constexpr int kTileHeight = 150;
constexpr int kMosaicWidth = 2250;

enum class Breakage { kNone, kEmpty, kTruncatedMidToken, kBinaryGarbage, kFolder, kHugeToken };

struct SoakTile {
  std::string name;
  int mosaic;
  int rowDigit;
  int columnDigit;
  Breakage breakage;
  int startColumn;
  int startRow;
  float firstValue;  // the second listed value is firstValue + 0.5
};

std::string MosaicCode(int mosaic) {
  return std::to_string(5300 + mosaic / 4) + "-" + std::to_string(10 + mosaic % 4);
}

// One tile in ten is broken, seven or eight of every mosaic (a mosaic with no tile converted
// would get none); the kinds take turns. Two of them hold a single token of 1 MB.
SoakTile TileNumber(int i) {
  SoakTile tile;
  tile.mosaic = i % kMosaics;
  const int slot = i / kMosaics;  // 75 tiles per mosaic
  tile.rowDigit = slot / 10;
  tile.columnDigit = slot % 10;
  tile.name = "FG-GML-" + MosaicCode(tile.mosaic) + "-" + std::to_string(tile.rowDigit) +
              std::to_string(tile.columnDigit) + "-DEM5A-20161001.xml";
  tile.breakage = Breakage::kNone;
  if ((tile.mosaic + slot) % 10 == 3) {
    const Breakage kinds[] = {Breakage::kEmpty, Breakage::kTruncatedMidToken,
                              Breakage::kBinaryGarbage, Breakage::kFolder};
    tile.breakage = (i == 3 || i == 1486) ? Breakage::kHugeToken : kinds[(i / 10) % 4];
  }
  tile.startColumn = (i * 7) % (kTileWidth - 2);  // two values fit in the row
  tile.startRow = (i * 11) % kTileHeight;
  tile.firstValue = float(i) + 0.25f;
  return tile;
}

std::string GoodTileText(const SoakTile& tile) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<gml:tupleList>\r\n地表面," +
         std::to_string(tile.firstValue) + "\r\n地表面," + std::to_string(tile.firstValue + 0.5f) +
         "\r\n</gml:tupleList>\r\n<gml:startPoint>" + std::to_string(tile.startColumn) + " " +
         std::to_string(tile.startRow) + "</gml:startPoint>\r\n";
}

void MakeTile(const fs::path& folder, const SoakTile& tile, std::mt19937& random) {
  const fs::path path = folder / tile.name;
  const std::string good = GoodTileText(tile);
  switch (tile.breakage) {
    case Breakage::kNone:
      WriteBytes(path, good);
      break;
    case Breakage::kEmpty:
      WriteBytes(path, "");
      break;
    case Breakage::kTruncatedMidToken:  // the download stopped inside the start-point tag
      WriteBytes(path, good.substr(0, good.find("<gml:startPoint>") + 9));
      break;
    case Breakage::kBinaryGarbage: {
      std::string bytes(4096, '\0');
      for (char& byte : bytes) byte = static_cast<char>(random());
      WriteBytes(path, bytes);
      break;
    }
    case Breakage::kFolder:
      fs::create_directory(path);
      break;
    case Breakage::kHugeToken:
      WriteBytes(path, std::string(1 << 20, 'x'));
      break;
  }
}

std::uint32_t Cell(const std::string& mosaic, int row, int column) {
  return testing::CellBits(mosaic, kMosaicWidth, row, column);
}

using testing::Bits;

TEST(Gml5Soak, ThreeThousandTilesWithBrokenOnesAmongThem) {
  TempFolder folder;
  std::mt19937 random(2024);
  std::vector<SoakTile> tiles;
  for (int i = 0; i < kTiles; ++i) {
    tiles.push_back(TileNumber(i));
    MakeTile(folder.path(), tiles.back(), random);
  }
  ScriptedServices services;
  services.openAnswers.push_back(folder / tiles.front().name);
  const std::size_t descriptors = testing::OpenDescriptorCount();

  const CommandResult result = RunGml5Conversion(services);

  EXPECT_EQ(testing::OpenDescriptorCount(), descriptors);
  ASSERT_EQ(result.outcome, CommandOutcome::kFinished);

  // Broken tiles are reported in list order, which is the order of the directory search.
  std::vector<SoakTile> listed = tiles;
  std::sort(listed.begin(), listed.end(), [](const SoakTile& a, const SoakTile& b) {
    return NameLessIgnoringCase(a.name, b.name);
  });
  std::vector<fs::path> broken;
  for (const SoakTile& tile : listed) {
    if (tile.breakage != Breakage::kNone) broken.push_back(folder / tile.name);
  }
  EXPECT_EQ(broken.size(), std::size_t{kTiles / 10});
  EXPECT_EQ(result.skipped, broken);
  ASSERT_EQ(services.messages.size(), 1u);
  EXPECT_EQ(testing::WithoutReasons(services.messages[0]), testing::FinalReportNaming(broken));
  EXPECT_EQ(services.advances, std::int64_t{kTiles} * 300 + kMosaics * 1500);

  for (int mosaic = 0; mosaic < kMosaics; ++mosaic) {
    SCOPED_TRACE("mosaic " + MosaicCode(mosaic));
    std::string code = MosaicCode(mosaic);
    code.erase(4, 1);
    const std::string raster = ReadBytes(folder / (code + "-DEM5"));
    ASSERT_EQ(raster.size(), 13'500'000u);
    EXPECT_EQ(ReadBytes(folder / (code + "-DEM5.hd1")),
              "2250 width\r\n1500 height\r\n4 data_type\r\n");
    for (int i = mosaic; i < kTiles; i += kMosaics) {
      const SoakTile& tile = tiles[std::size_t(i)];
      const int top = (9 - tile.rowDigit) * kTileHeight;
      const int left = tile.columnDigit * kTileWidth;
      const int row = top + tile.startRow;
      const int column = left + tile.startColumn;
      SCOPED_TRACE(tile.name);
      if (tile.breakage != Breakage::kNone) {
        EXPECT_EQ(Cell(raster, row, column), kNoDataBits);
        EXPECT_EQ(Cell(raster, top + kTileHeight - 1, left + kTileWidth - 1), kNoDataBits);
        continue;
      }
      EXPECT_EQ(Cell(raster, row, column), Bits(tile.firstValue));
      EXPECT_EQ(Cell(raster, row, column + 1), Bits(tile.firstValue + 0.5f));
      EXPECT_EQ(Cell(raster, row, column + 2), kNoDataBits);
      if (tile.startColumn > 0) {
        EXPECT_EQ(Cell(raster, row, column - 1), kNoDataBits);
      }
    }
    // The 25 slots no tile fills.
    EXPECT_EQ(Cell(raster, 0, kMosaicWidth - 1), kNoDataBits);
    EXPECT_EQ(Cell(raster, 2 * kTileHeight - 1, 0), kNoDataBits);
  }
}

}  // namespace
}  // namespace elevara
