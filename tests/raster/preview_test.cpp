#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <limits>

#include "commands/preview_command.h"
#include "platform/errors.h"
#include "raster/raw_raster.h"
#include "testkit/faulty_file_system.h"
#include "testkit/files.h"
#include "testkit/scripted_services.h"

namespace elevara {
namespace {

using testing::TempFolder;
using testing::WriteBytes;
using testing::WriteFloats;

struct DecodedPng {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgba;

  std::uint8_t alpha(std::uint32_t x, std::uint32_t y) const {
    return rgba[4 * (y * width + x) + 3];
  }
};

// Decoded by libpng itself, independently of the writer.
DecodedPng DecodePng(const std::filesystem::path& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  DecodedPng decoded;
  const std::string bytes = testing::ReadBytes(path);
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return decoded;
  image.format = PNG_FORMAT_RGBA;
  std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return decoded;
  decoded = {image.width, image.height, std::move(pixels)};
  return decoded;
}

TEST(Preview, SizeKeepsTheLongerSideWithin2048) {
  const auto size = [](std::int64_t w, std::int64_t h) {
    const PreviewSize s = PreviewSizeOf(w, h);
    return std::vector<std::int64_t>{s.cellsPerPixel, s.width, s.height};
  };
  EXPECT_EQ(size(5, 3), (std::vector<std::int64_t>{1, 5, 3}));
  EXPECT_EQ(size(2048, 1), (std::vector<std::int64_t>{1, 2048, 1}));
  EXPECT_EQ(size(2049, 1), (std::vector<std::int64_t>{2, 1025, 1}));
  EXPECT_EQ(size(9000, 6000), (std::vector<std::int64_t>{5, 1800, 1200}));
  EXPECT_EQ(size(18000, 12000), (std::vector<std::int64_t>{9, 2000, 1334}));
  EXPECT_EQ(size(1, 90000), (std::vector<std::int64_t>{44, 1, 2046}));
}

TEST(Preview, LightComesFromTheNorthWest) {
  const double level = HillShade(0, 0);
  EXPECT_NEAR(level, std::sqrt(0.5), 1e-12);
  // Ground rising to the south-east faces the light; rising to the north-west turns from it.
  EXPECT_GT(HillShade(0.5, -0.5), level);
  EXPECT_LT(HillShade(-0.5, 0.5), level);
  EXPECT_EQ(HillShade(-100, 100), 0.0);
  EXPECT_NEAR(HillShade(0.5, 0), HillShade(0, -0.5), 1e-12);
  EXPECT_NE(ElevationTint(0), ElevationTint(1));
  EXPECT_EQ(ElevationTint(-3), ElevationTint(0));
}

TEST(Preview, NoDataIsTransparentAndThePictureIsNamedAfterTheRaster) {
  TempFolder folder;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  // 4 x 3 cells: no-data, NaN and an infinity make three transparent pixels.
  WriteFloats(folder / "r",
              {kNoData, 1, 2, 3, 4, nan, 6, 7, 8, 9, 10, std::numeric_limits<float>::infinity()});
  WriteBytes(folder / "r.hd1", "4 width\r\n3 height\r\n4 data_type\r\n");
  testing::ScriptedServices services;
  ASSERT_EQ(RunPreview(services, folder / "r", std::nullopt).outcome, CommandOutcome::kFinished);
  EXPECT_EQ(services.messages.back(),
            std::string(kPreviewWritten) + "\n" + DisplayPath(folder / "r.png"));
  EXPECT_EQ(services.advances, 6);

  const DecodedPng picture = DecodePng(folder / "r.png");
  ASSERT_EQ(picture.width, 4u);
  ASSERT_EQ(picture.height, 3u);
  for (std::uint32_t y = 0; y < 3; ++y) {
    for (std::uint32_t x = 0; x < 4; ++x) {
      const bool hole = (y == 0 && x == 0) || (y == 1 && x == 1) || (y == 2 && x == 3);
      EXPECT_EQ(picture.alpha(x, y), hole ? 0 : 255) << x << "," << y;
    }
  }
}

TEST(Preview, ABlockWithAnyElevationIsDrawnAtItsMean) {
  TempFolder folder;
  // 4100 x 2: three cells per pixel, 1367 pixels across, one row.
  std::vector<float> cells(4100 * 2, kNoData);
  cells[4100 + 4099] = 5;  // the last block has two cells, one of them with an elevation
  WriteFloats(folder / "wide", cells);
  testing::ScriptedServices services;
  const std::filesystem::path png = folder / "wide preview.png";
  WriteBytes(folder / "wide.hd1", "4100 width\r\n2 height\r\n4 data_type\r\n");
  ASSERT_EQ(RunPreview(services, folder / "wide", png).outcome, CommandOutcome::kFinished);
  const DecodedPng picture = DecodePng(png);
  ASSERT_EQ(picture.width, 1367u);
  ASSERT_EQ(picture.height, 1u);
  EXPECT_EQ(picture.alpha(0, 0), 0);
  EXPECT_EQ(picture.alpha(1366, 0), 255);
}

TEST(Preview, ASidecarIsNeededAndAFailedWriteLeavesNoPicture) {
  TempFolder folder;
  testing::ScriptedServices services;
  WriteFloats(folder / "r", {1, 2, 3, 4});
  EXPECT_EQ(RunPreview(services, folder / "r", std::nullopt).outcome, CommandOutcome::kFailed);

  // Sizes that overflow, or that the raster's four cells do not hold, are no sizes either.
  for (const char* sidecar :
       {"2 width\r\n", "0 width\r\n2 height\r\n", "1000001 width\r\n1 height\r\n",
        "2 width\r\n9223372036854775807 height\r\n", "2 width\r\n3 height\r\n",
        "4611686018427387904 width\r\n4 height\r\n"}) {
    WriteBytes(folder / "r.hd1", sidecar);
    EXPECT_EQ(RunPreview(services, folder / "r", std::nullopt).outcome, CommandOutcome::kFailed);
    EXPECT_EQ(services.messages.back().rfind(kPreviewNoSize, 0), 0u) << sidecar;
  }
  WriteBytes(folder / "r.hd1", "2 width\n2 height\n4 data_type\n");
  for (const char* over : {"r", "./r.hd1", "r.hdr"}) {
    EXPECT_EQ(RunPreview(services, folder / "r", folder / over).outcome, CommandOutcome::kFailed);
  }
  EXPECT_EQ(testing::ReadFloats(folder / "r"), (std::vector<float>{1, 2, 3, 4}));
  EXPECT_FALSE(std::filesystem::exists(folder / "r.hdr"));

  testing::FaultyFileSystem faulty;
  faulty.failWritesContaining = ".png";
  faulty.failWritesAfter = 0;
  services.files = &faulty;
  EXPECT_EQ(RunPreview(services, folder / "r", std::nullopt).outcome, CommandOutcome::kFailed);
  EXPECT_FALSE(std::filesystem::exists(folder / "r.png"));
  EXPECT_FALSE(std::filesystem::exists(TemporaryPathFor(folder / "r.png")));
}

}  // namespace
}  // namespace elevara
