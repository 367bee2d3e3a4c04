#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>

#include "platform/errors.h"
#include "raster/area_layer.h"
#include "raster/geotiff_export.h"
#include "raster/overview_pyramid.h"
#include "raster/raw_raster.h"
#include "testkit/faulty_file_system.h"
#include "testkit/files.h"

namespace elevara {
namespace {

namespace fs = std::filesystem;
using testing::Bits;
using testing::TempFolder;

TEST(OverviewSizes, HalveUpToTheFirstLevelOf256OrLess) {
  const auto sides = [](std::int64_t width, std::int64_t height) {
    std::vector<std::int64_t> halves;
    for (const RasterSize& level : OverviewSizes(width, height)) {
      halves.insert(halves.end(), {level.width, level.height});
    }
    return halves;
  };
  EXPECT_EQ(sides(256, 256), std::vector<std::int64_t>{});
  EXPECT_EQ(sides(257, 1), (std::vector<std::int64_t>{129, 1}));
  EXPECT_EQ(sides(2250, 1500), (std::vector<std::int64_t>{1125, 750, 563, 375, 282, 188, 141, 94}));
}

// Every cell of every level against the mean of the raster's cells it covers, taken directly.
// Quarter metres add up exactly in any order, so the means must agree to the bit.
TEST(OverviewPyramid, EachCellIsTheMeanOfTheCellsHoldingDataThatItCovers) {
  constexpr RasterSize kSize{601, 299};
  const auto width = static_cast<std::size_t>(kSize.width);
  std::mt19937 random(20);
  std::vector<float> cells(width * kSize.height);
  for (float& cell : cells) {
    const auto kind = random() % 8;
    cell = kind == 0   ? kNoData
           : kind == 1 ? std::numeric_limits<float>::quiet_NaN()
                       : static_cast<float>(static_cast<int>(random() % 16000) - 4000) / 4;
  }
  for (const bool declaresNoData : {true, false}) {
    TempFolder folder;
    OverviewPyramid pyramid(SystemFileSystem(), folder / "x.tif", kSize, declaresNoData);
    for (std::size_t row = 0; row < static_cast<std::size_t>(kSize.height); ++row) {
      pyramid.addRow(std::span(cells).subspan(row * width, width));
    }
    pyramid.finish();
    ASSERT_EQ(pyramid.sizes().size(), 2u);
    for (std::size_t level = 0; level < 2; ++level) {
      const RasterSize size = pyramid.sizes()[level];
      const std::vector<float> means = testing::ReadFloats(pyramid.levelPath(level));
      ASSERT_EQ(means.size(), static_cast<std::size_t>(size.width * size.height));
      const std::size_t block = std::size_t{2} << level;
      for (std::size_t y = 0; y < static_cast<std::size_t>(size.height); ++y) {
        for (std::size_t x = 0; x < static_cast<std::size_t>(size.width); ++x) {
          double sum = 0;
          int count = 0;
          for (std::size_t r = y * block; r < std::min((y + 1) * block, cells.size() / width);
               ++r) {
            for (std::size_t c = x * block; c < std::min((x + 1) * block, width); ++c) {
              if (!HoldsData(cells[r * width + c], declaresNoData)) continue;
              sum += cells[r * width + c];
              ++count;
            }
          }
          const float got = means[y * static_cast<std::size_t>(size.width) + x];
          if (count == 0 && !declaresNoData) {
            EXPECT_TRUE(std::isnan(got)) << level << " " << x << " " << y;
          } else {
            const float want = count == 0 ? kNoData : static_cast<float>(sum / count);
            EXPECT_EQ(Bits(got), Bits(want)) << level << " " << x << " " << y;
          }
        }
      }
    }
  }
}

// A placed raster of 700 x 600 cells, which has two overview levels.
fs::path WritePlacedRaster(const fs::path& folder) {
  const fs::path raster = folder / "533946-DEM5";
  RasterWriter writer = RasterWriter::Create(SystemFileSystem(), raster, 700, 600);
  std::vector<float> row(700);
  for (int y = 0; y < 600; ++y) {
    for (int x = 0; x < 700; ++x) row[x] = x < y ? kNoData : static_cast<float>(x * y % 977) / 8;
    writer.writeRow(row);
  }
  writer.setGeoreference(MeshGeoreference("533946", 700, 600, Datum::kJgd2011));
  writer.commit();
  return raster;
}

class InterruptAt final : public Progress {
 public:
  explicit InterruptAt(std::int64_t step) : left_(step) {}
  void startPhase(std::int64_t) override {}
  void step() override {
    if (--left_ == 0) throw Interrupted();
  }

 private:
  std::int64_t left_;
};

// A GeoTIFF whose writing fails anywhere, in its working files, its start or its image data, or
// is interrupted, leaves the earlier GeoTIFF as it was and no file of its own.
TEST(GeoTiffExport, AFailureOrInterruptLeavesTheEarlierGeoTiffAlone) {
  TempFolder folder;
  const fs::path raster = WritePlacedRaster(folder.path());
  testing::FaultyFileSystem counting;
  SilentProgress silent;
  ASSERT_FALSE(ExportGeoTiff(counting, silent, raster).refusal);
  const std::string earlier = testing::ReadBytes(GeoTiffPathFor(raster));
  const std::uint64_t written = counting.written;
  for (const std::uint64_t failAfter : {std::uint64_t{0}, written / 4, written / 2, written - 1}) {
    testing::FaultyFileSystem files;
    files.failWritesAfter = failAfter;
    EXPECT_THROW(ExportGeoTiff(files, silent, raster), FileError) << failAfter;
    EXPECT_EQ(testing::ReadBytes(GeoTiffPathFor(raster)), earlier) << failAfter;
    EXPECT_EQ(testing::TemporaryFilesIn(folder.path()), std::vector<fs::path>{}) << failAfter;
  }
  for (const std::int64_t step :
       {std::int64_t{1}, std::int64_t{600}, std::int64_t{1100}, GeoTiffSteps(700, 600)}) {
    InterruptAt interrupt(step);
    EXPECT_THROW(ExportGeoTiff(SystemFileSystem(), interrupt, raster), Interrupted) << step;
    EXPECT_EQ(testing::ReadBytes(GeoTiffPathFor(raster)), earlier) << step;
    EXPECT_EQ(testing::TemporaryFilesIn(folder.path()), std::vector<fs::path>{}) << step;
  }
}

// Two east-west neighbours of a small kind; the case spoils the eastern one.
constexpr std::string_view kSmallSuffixes[] = {"-M"};
constexpr AreaLayer kSmallLayer{"small.vrt", 6, kSmallSuffixes, {4, 2}};

void WriteMosaic(const fs::path& folder, const std::string& code, const std::string& placedAs,
                 Datum datum) {
  RasterWriter writer = RasterWriter::Create(SystemFileSystem(), folder / (code + "-M"), 4, 2);
  std::vector<float> row(4, 1.5f);
  writer.writeRow(row);
  writer.writeRow(row);
  writer.setGeoreference(MeshGeoreference(placedAs, 4, 2, datum));
  writer.commit();
}

struct SpoiledMosaic {
  const char* what;
  std::function<void(const fs::path& east)> spoil;
  SkipReason reason;
};

class AreaLayerLeavesOut : public ::testing::TestWithParam<SpoiledMosaic> {};

TEST_P(AreaLayerLeavesOut, AMosaicThatIsNotWhatItsNameSays) {
  TempFolder folder;
  WriteMosaic(folder.path(), "533946", "533946", Datum::kJgd2011);
  WriteMosaic(folder.path(), "533947", "533947", Datum::kJgd2011);
  const fs::path east = folder / "533947-M";
  GetParam().spoil(east);
  BatchResult result;
  SilentProgress progress;
  WriteAreaLayer({SystemFileSystem(), progress, folder.path()}, kSmallLayer, result);
  ASSERT_EQ(result.leftOutOfLayer.size(), 1u);
  EXPECT_EQ(result.leftOutOfLayer[0].path, east);
  EXPECT_EQ(result.leftOutOfLayer[0].reason, GetParam().reason);
  const std::string layer = testing::ReadBytes(folder / "small.vrt");
  EXPECT_NE(layer.find(">533946-M<"), std::string::npos);
  EXPECT_EQ(layer.find(">533947-M<"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Mosaics, AreaLayerLeavesOut,
    ::testing::Values(
        SpoiledMosaic{"a sidecar of another size",
                      [](const fs::path& east) {
                        testing::WriteBytes(SidecarPathFor(east), "2 width\r\n4 height\r\n");
                      },
                      SkipReason::kOtherRasterSize},
        SpoiledMosaic{"a raster cut short", [](const fs::path& east) { fs::resize_file(east, 28); },
                      SkipReason::kOtherRasterSize},
        SpoiledMosaic{"no ENVI header",
                      [](const fs::path& east) { fs::remove(east.string() + ".hdr"); },
                      SkipReason::kOtherPlacement},
        SpoiledMosaic{"placed on another mesh",
                      [](const fs::path& east) {
                        WriteMosaic(east.parent_path(), "533947", "533957", Datum::kJgd2011);
                      },
                      SkipReason::kOtherPlacement},
        // One mosaic on each datum: the newer one is the layer's.
        SpoiledMosaic{"on an older datum",
                      [](const fs::path& east) {
                        WriteMosaic(east.parent_path(), "533947", "533947", Datum::kJgd2000);
                      },
                      SkipReason::kOtherDatum}),
    [](const ::testing::TestParamInfo<SpoiledMosaic>& spoiled) {
      std::string name = spoiled.param.what;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

}  // namespace
}  // namespace elevara
