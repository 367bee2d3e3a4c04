#include <gtest/gtest.h>

#include "commands/services.h"
#include "platform/errors.h"
#include "raster/mosaic_writer.h"
#include "raster/raw_raster.h"
#include "testkit/faulty_file_system.h"
#include "testkit/files.h"
#include "testkit/scripted_services.h"

namespace elevara {
namespace {

using testing::ReadBytes;
using testing::ReadFloats;
using testing::TempFolder;
using testing::WriteFloats;

TEST(RawHeader, WritesThreeCrLfLinesBesideTheRaster) {
  TempFolder folder;
  HeaderState header{folder / "5339-DEM5", 18000, 12000};
  WriteRawHeader(SystemFileSystem(), header).commit();
  EXPECT_EQ(ReadBytes(folder / "5339-DEM5.hd1"), "18000 width\r\n12000 height\r\n4 data_type\r\n");

  header = {folder / "result.raw", 1, 1};
  testing::WriteBytes(folder / "result.raw.hd1", std::string(100, 'z'));
  WriteRawHeader(SystemFileSystem(), header).commit();
  EXPECT_EQ(ReadBytes(folder / "result.raw.hd1"), "1 width\r\n1 height\r\n4 data_type\r\n");
}

TEST(RawHeader, LongPathsWork) {
  TempFolder folder;
  auto deep = folder.path();
  for (int i = 0; i < 6; ++i) deep /= std::string(120, static_cast<char>('a' + i));
  std::filesystem::create_directories(deep);
  HeaderState header{deep / (std::string(200, 'r') + "-ELEVARA"), 9000, 6000};
  WriteRawHeader(SystemFileSystem(), header).commit();
  EXPECT_EQ(ReadBytes(SidecarPathFor(header.path)).size(), 38u);
}

TEST(RasterReader, ReadsRowsAtAbsolutePositionsAndPadsShortFiles) {
  TempFolder folder;
  WriteFloats(folder / "t.raw", {1, 2, 3, 4, 5, 6, 7});
  auto reader = RasterReader::Open(SystemFileSystem(), folder / "t.raw", 3);
  std::vector<float> row(3);
  EXPECT_EQ(reader.readRow(1, row), 3u);
  EXPECT_EQ(row, (std::vector<float>{4, 5, 6}));
  EXPECT_EQ(reader.readRow(2, row), 1u);
  EXPECT_EQ(row, (std::vector<float>{7, kNoData, kNoData}));
  EXPECT_EQ(reader.readRow(9, row), 0u);
  EXPECT_EQ(row, (std::vector<float>{kNoData, kNoData, kNoData}));
}

// The ENVI header goes and comes with its raster: prepared before the raster takes its name, put
// in place after it, and an earlier one removed before, so that no failure leaves a header
// beside a raster it was not written for.
TEST(RasterWriter, TheEnviHeaderIsNeverLeftBesideAnotherRaster) {
  TempFolder folder;
  const std::filesystem::path raster = folder / "6341-ELEVARA";
  const std::filesystem::path header = EnviHeaderPathFor(raster);
  const auto write = [&](FileSystem& fs, float value, bool placed) {
    RasterWriter writer = RasterWriter::Create(fs, raster, 1, 1);
    std::vector<float> row{value};
    writer.writeRow(row);
    if (placed) writer.setGeoreference(MeshGeoreference("6341", 1, 1, Datum::kJgd2000));
    writer.commit();
  };
  write(SystemFileSystem(), 1, true);
  const std::string placed = ReadBytes(header);
  EXPECT_NE(placed.find("coordinate system string = {GEOGCS[\"JGD2000\""), std::string::npos);
  EXPECT_NE(placed.find("\r\ndata ignore value = -9999\r\n"), std::string::npos);

  // A header that cannot be written, or an earlier one that cannot be removed for a raster
  // without one: nothing changes.
  for (const auto& [fault, placedAgain] :
       {std::pair{&testing::FaultyFileSystem::failCreateContaining, true},
        std::pair{&testing::FaultyFileSystem::failRemoveContaining, false}}) {
    testing::FaultyFileSystem fs;
    fs.*fault = ".hdr";
    EXPECT_THROW(write(fs, 2, placedAgain), FileError);
    EXPECT_EQ(ReadFloats(raster), std::vector<float>{1});
    EXPECT_EQ(ReadBytes(header), placed);
  }
  // Failing once the raster is in place, the new header is missing, never the earlier one there.
  testing::FaultyFileSystem fs;
  fs.failRenameContaining = ".hdr";
  EXPECT_THROW(write(fs, 3, true), FileError);
  EXPECT_EQ(ReadFloats(raster), std::vector<float>{3});
  EXPECT_FALSE(std::filesystem::exists(header));

  write(SystemFileSystem(), 4, true);
  write(SystemFileSystem(), 5, false);  // a raster without placement loses the earlier header
  EXPECT_FALSE(std::filesystem::exists(header));
  EXPECT_EQ(ReadBytes(SidecarPathFor(raster)), "1 width\r\n1 height\r\n4 data_type\r\n");
  EXPECT_FALSE(std::filesystem::exists(TemporaryPathFor(header)));
}

// A 2 x 2 grid of 3 x 2 tiles: tile (row digit, column digit) holds 10 * row + column + cell / 10.
struct SmallMosaic {
  TempFolder folder;
  MosaicLayout layout{3, 2, 2, 2};
  testing::ScriptedServices services;
  ServicesProgress progress{services};

  std::filesystem::path tile(int row, int column) {
    return folder / ("t" + std::to_string(row) + std::to_string(column));
  }
  void writeTile(int row, int column, std::size_t cells = 6) {
    std::vector<float> samples;
    for (std::size_t cell = 0; cell < cells; ++cell) {
      samples.push_back(static_cast<float>(10 * row + column) + static_cast<float>(cell) / 10);
    }
    WriteFloats(tile(row, column), samples);
  }
  TileNames names() {
    return [this](int row, int column) { return std::vector{tile(row, column)}; };
  }
  void write(FileSystem& fs, TileRasters& tiles) {
    WriteMosaic(fs, progress, {layout, folder / "mosaic", names(), {}}, tiles);
  }
};

TEST(MosaicWriter, PlacesTheHighestRowDigitAtTheTopAndFillsAbsentTiles) {
  SmallMosaic m;
  m.writeTile(1, 0);
  m.writeTile(0, 1, 4);  // short: its second row lacks two samples
  m.services.setProgressMaximum(4);
  TileRasters tiles(SystemFileSystem(), m.layout.tileWidth);
  m.write(SystemFileSystem(), tiles);
  const float N = kNoData;
  std::vector<float> expected = {
      10.0f, 10.1f, 10.2f, N,    N,    N,     // band of row digit 1: tile (1,0), then absent (1,1)
      10.3f, 10.4f, 10.5f, N,    N,    N,     //
      N,     N,     N,     1.0f, 1.1f, 1.2f,  // band of row digit 0
      N,     N,     N,     1.3f, N,    N,
  };
  auto got = ReadFloats(m.folder / "mosaic");
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(testing::Bits(got[i]), testing::Bits(expected[i])) << "sample " << i;
  }
  EXPECT_TRUE(tiles.unreadable().empty());
  EXPECT_EQ(ReadBytes(m.folder / "mosaic.hd1"), "6 width\r\n4 height\r\n4 data_type\r\n");
  EXPECT_EQ(m.services.advances, 4);
  EXPECT_EQ(m.services.processCount, 4);
}

TEST(MosaicWriter, AFailedWriteLeavesTheEarlierMosaicAndNoSidecar) {
  SmallMosaic m;
  m.writeTile(1, 1);
  testing::WriteBytes(m.folder / "mosaic", "earlier");
  testing::FaultyFileSystem fs;
  fs.failWritesAfter = 20;
  TileRasters tiles(fs, m.layout.tileWidth);
  EXPECT_THROW(m.write(fs, tiles), FileError);
  EXPECT_EQ(ReadBytes(m.folder / "mosaic"), "earlier");
  EXPECT_FALSE(std::filesystem::exists(m.folder / "mosaic.hd1"));
  EXPECT_EQ(testing::TemporaryFilesIn(m.folder.path()).size(), 0u);
  EXPECT_EQ(fs.openFiles, 0);
}

// Absent tiles are ordinary gaps; a tile that exists but cannot be opened, or fails while it is
// read, is no-data from there on and is named, once, for the final report.
TEST(MosaicWriter, TilesThatCannotBeOpenedOrReadAreNoDataAndNamed) {
  SmallMosaic m;
  m.writeTile(1, 0);
  m.writeTile(1, 1);
  std::filesystem::create_directory(m.tile(0, 0));  // a folder where a tile should be
  testing::FaultyFileSystem fs;
  fs.failReadsContaining = "t11";
  TileRasters tiles(fs, m.layout.tileWidth);
  m.write(fs, tiles);
  const auto got = ReadFloats(m.folder / "mosaic");
  ASSERT_EQ(got.size(), 24u);
  EXPECT_EQ(testing::Bits(got[0]), testing::Bits(10.0f));
  for (std::size_t i : {3u, 9u, 12u, 18u, 21u}) EXPECT_EQ(testing::Bits(got[i]), kNoDataBits) << i;
  EXPECT_EQ(tiles.unreadable(), (std::vector{m.tile(1, 1), m.tile(0, 0)}));
  EXPECT_EQ(fs.openFiles, 0);
}

}  // namespace
}  // namespace elevara
