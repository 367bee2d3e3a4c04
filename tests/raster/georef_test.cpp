#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "raster/datum.h"
#include "raster/envi_header.h"
#include "raster/mesh_code.h"
#include "testkit/files.h"

namespace elevara {
namespace {

using testing::TempFolder;
using testing::WriteBytes;

TEST(MeshCode, BoundsAreTheMeshEdgesAsTheNearestDoubles) {
  const auto first = BoundsOfMesh("3926");
  ASSERT_TRUE(first);
  EXPECT_EQ(first->south, 26.0);
  EXPECT_EQ(first->north, 80 / 3.0);
  EXPECT_EQ(first->west, 126.0);
  EXPECT_EQ(first->east, 127.0);
  // Row 3 from the south, column 0: the tile FG-GML-3624-30-76 (lowerCorner 24.308333333
  // 124.075) lies in its third-order row 7, column 6.
  const auto second = BoundsOfMesh("362430");
  ASSERT_TRUE(second);
  EXPECT_EQ(second->south, 24.25);
  EXPECT_EQ(second->north, 24 + 4 / 12.0);
  EXPECT_EQ(second->west, 124.0);
  EXPECT_EQ(second->east, 124.125);
  EXPECT_NEAR(second->south + 7 * (second->north - second->south) / 10, 24.308333333, 1e-9);

  for (const char* code : {"", "392", "39267", "3926765", "39a6", "3926-7", "362480", "362438"}) {
    EXPECT_FALSE(BoundsOfMesh(code)) << code;
  }
  // The cell sizes of the three mosaics, as the nearest doubles.
  const auto gml10 = PlacementOfMesh("6341", 9000, 6000);
  ASSERT_TRUE(gml10);
  EXPECT_EQ(gml10->north, 128 / 3.0);
  EXPECT_EQ(gml10->west, 141.0);
  EXPECT_EQ(gml10->cellWidth, 1 / 9000.0);
  EXPECT_EQ(gml10->cellHeight, 1 / 9000.0);
  const auto gml5 = PlacementOfMesh("362430", 2250, 1500);
  EXPECT_EQ(gml5->cellWidth, 1 / 18000.0);
  EXPECT_EQ(gml5->cellHeight, 1 / 18000.0);
  const auto merged = PlacementOfMesh("3624", 18000, 12000);
  EXPECT_EQ(merged->cellWidth, 1 / 18000.0);
  EXPECT_EQ(merged->cellHeight, 1 / 18000.0);
}

TEST(Datum, WktReadsBackAndSourcesAgreeOnlyWhenAllDeclareTheSame) {
  for (Datum datum : {Datum::kJgd2000, Datum::kJgd2011, Datum::kJgd2024}) {
    EXPECT_EQ(DatumOfWkt(WktOf(datum)), datum);
  }
  EXPECT_FALSE(DatumOfWkt("GEOGCS[\"WGS 84\"]"));

  const auto agreed = [](std::initializer_list<std::optional<Datum>> sources) {
    DatumAgreement agreement;
    for (const auto& source : sources) agreement.add(source);
    return agreement.common();
  };
  EXPECT_EQ(agreed({Datum::kJgd2011, Datum::kJgd2011}), Datum::kJgd2011);
  EXPECT_EQ(agreed({}), std::nullopt);
  EXPECT_EQ(agreed({Datum::kJgd2000, Datum::kJgd2011}), std::nullopt);
  EXPECT_EQ(agreed({Datum::kJgd2000, std::nullopt, Datum::kJgd2000}), std::nullopt);
  EXPECT_EQ(agreed({std::nullopt, Datum::kJgd2000}), std::nullopt);
}

TEST(EnviHeader, MosaicHeaderTextAndMapInfoReadBack) {
  const auto georeference = MeshGeoreference("3926", 9000, 6000, Datum::kJgd2011);
  ASSERT_TRUE(georeference);
  EXPECT_EQ(georeference->mapInfo,
            "Geographic Lat/Lon, 1, 1, 126, 26.666666666666668, 0.00011111111111111112, "
            "0.00011111111111111112");
  // What the header says beyond the map info is judged by GDAL (tests/gdal); here only that
  // the datum and the ignore value can each be left out.
  const auto lines = EnviHeaderLines(9000, 6000, *georeference);
  EXPECT_EQ(lines.end()[-2], "coordinate system string = {" + WktOf(Datum::kJgd2011) + "}");
  EXPECT_EQ(lines.back(), "data ignore value = -9999");
  EnviGeoreference bare = *MeshGeoreference("362430", 2250, 1500, std::nullopt);
  bare.declaresNoData = false;
  EXPECT_EQ(EnviHeaderLines(2250, 1500, bare).back(), "map info = {" + bare.mapInfo + "}");
  EXPECT_FALSE(MeshGeoreference("39a6", 9000, 6000, Datum::kJgd2011));

  const auto placement = PlacementOfMapInfo(georeference->mapInfo);
  ASSERT_TRUE(placement);
  EXPECT_EQ(placement->west, 126.0);
  EXPECT_EQ(placement->north, 80 / 3.0);
  EXPECT_EQ(placement->cellWidth, 1 / 9000.0);
  // Another reference pixel: (1.5, 1.5) is the centre of the upper-left cell.
  const auto centred = PlacementOfMapInfo("Geographic Lat/Lon, 1.5, 1.5, 126.5, 27.5, 1, 2");
  ASSERT_TRUE(centred);
  EXPECT_EQ(centred->west, 126.0);
  EXPECT_EQ(centred->north, 28.5);
  EXPECT_EQ(centred->cellHeight, 2.0);
  for (const char* text :
       {"UTM, 1, 1, 0, 0, 1, 1", "Geographic Lat/Lon, 1, 1, 126, 27, 1, 0",
        "Geographic Lat/Lon, 1, 1, 126, 27", "Geographic Lat/Lon, a, 1, 1, 1, 1, 1"}) {
    EXPECT_FALSE(PlacementOfMapInfo(text)) << text;
  }
}

TEST(EnviHeader, ReadsTheHeaderGdalWouldFind) {
  TempFolder folder;
  FileSystem& fs = SystemFileSystem();
  EXPECT_FALSE(ReadEnviHeader(fs, folder / "absent"));

  // Appended ".hdr", keys in any case, a value in braces over several lines.
  WriteBytes(folder / "a.raw.hdr",
             "ENVI\r\nSamples = 12\r\nLINES=3\nmap info = {Geographic Lat/Lon,\r\n 1, 1, 2, 3,"
             " 4, 4}\r\ncoordinate system string = {GEOGCS[\"x\"]}\r\n");
  auto fields = ReadEnviHeader(fs, folder / "a.raw");
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->samples, 12);
  EXPECT_EQ(fields->lines, 3);
  EXPECT_EQ(fields->mapInfo, "Geographic Lat/Lon, 1, 1, 2, 3, 4, 4");
  EXPECT_EQ(fields->coordinateSystem, "GEOGCS[\"x\"]");

  // The extension replaced comes first, as in GDAL; a file that is no ENVI header is none.
  WriteBytes(folder / "a.hdr", "ENVI\r\nsamples = 5\r\n");
  fields = ReadEnviHeader(fs, folder / "a.raw");
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->samples, 5);
  EXPECT_FALSE(fields->mapInfo);
  WriteBytes(folder / "b.hdr", "ncols 5\r\n");
  EXPECT_FALSE(ReadEnviHeader(fs, folder / "b"));
}

}  // namespace
}  // namespace elevara
