// The GML commands over ZIP files as they are downloaded: members listed after the folder's own
// tiles and converted as if they stood in the folder, archives that cannot be read named, and
// the mosaics of the published downloads equal to those of their unpacked tiles.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "commands/gml_command.h"
#include "raster/raw_raster.h"
#include "testkit/files.h"
#include "testkit/plain_gml.h"
#include "testkit/scripted_services.h"
#include "testkit/zip_files.h"
#include "tests/gml/small_conversion.h"

namespace elevara {
namespace {

namespace fs = std::filesystem;
using testing::MakeGml;
using testing::ReadBytes;
using testing::ReadFloats;
using testing::SameBytes;
using testing::ScriptedServices;
using testing::TempFolder;
using testing::Tokens;
using testing::WriteBytes;
using testing::WriteZip;
using testing::ZipBytes;
using testing::ZipField;
using testing::ZipMember;

using testing::kSmall;

std::string SmallTile(int first, const char* start = "0 0") {
  std::vector<std::string> values;
  for (int i = 0; i < 6; ++i) values.push_back(std::to_string(first + i));
  return MakeGml({.startPoint = std::string("<gml:startPoint>") + start + "</gml:startPoint>",
                  .values = Tokens(values)});
}

CommandResult ConvertIn(const fs::path& folder, const GmlConversion& conversion,
                        ScriptedServices& services) {
  services.openAnswers.push_back(folder / "picked.zip");  // only its folder counts
  return RunGmlConversion(services, conversion);
}

TEST(GmlZipRun, MembersFollowTheFolderAndConvertAsIfTheyStoodThere) {
  TempFolder zipped, unpacked;
  const std::string t00 = SmallTile(1), t11 = SmallTile(11, "1 0"), t10 = SmallTile(21),
                    t01 = SmallTile(31);
  WriteBytes(zipped / "FG-GML-2222-22-00-dem5.xml", t00);
  WriteZip(zipped / "b.zip",
           {{"FG-GML-2222-22-11-dem5.xml", t11},
            {"sub/FG-GML-2222-22-00-DEM5.xml", SmallTile(99)},  // the folder's tile again
            {"inner.zip", ZipBytes({{"FG-GML-3333-33-10-dem5.xml", t10}}), true}});
  WriteZip(zipped / "A.ZIP", {{"FG-GML-1111-11-01-dem5.xml", t01}});
  WriteBytes(zipped / "bad.zip", "not an archive");
  WriteZip(zipped / "c.zip", {{"FG-GML-4444-44-00-dem5.xml", t00, false, "password"}});
  std::string damaged = ZipBytes({{"FG-GML-5555-55-00-dem5.xml", t00}});
  testing::PatchFirstMember(damaged, ZipField::kCrc, 1);
  WriteBytes(zipped / "d.zip", damaged);
  testing::WriteFloats(zipped / "55555500-DEM5", std::vector<float>(6, 1.0f));  // earlier run
  const std::vector<std::string> before = {
      "A.ZIP", "FG-GML-2222-22-00-dem5.xml", "b.zip", "bad.zip", "c.zip", "d.zip", "55555500-DEM5"};

  ScriptedServices services;
  const CommandResult result = ConvertIn(zipped.path(), kSmall, services);
  ASSERT_EQ(result.outcome, CommandOutcome::kFinished);
  // The folder's tile again is listed too, and passed over once the first copy has converted.
  EXPECT_EQ(ReadBytes(zipped / kGmlListFileName),
            "FG-GML-2222-22-00-dem5.xml\r\n"
            "A.ZIP/FG-GML-1111-11-01-dem5.xml\r\n"
            "b.zip/FG-GML-2222-22-11-dem5.xml\r\n"
            "b.zip/sub/FG-GML-2222-22-00-DEM5.xml\r\n"
            "b.zip/inner.zip/FG-GML-3333-33-10-dem5.xml\r\n"
            "c.zip/FG-GML-4444-44-00-dem5.xml\r\n"
            "d.zip/FG-GML-5555-55-00-dem5.xml\r\n");
  EXPECT_EQ(result.skipped,
            (std::vector<fs::path>{zipped / "bad.zip", zipped / "c.zip/FG-GML-4444-44-00-dem5.xml",
                                   zipped / "d.zip/FG-GML-5555-55-00-dem5.xml"}));
  EXPECT_EQ(services.messages.back(),
            std::string(kFinishedMessage) +
                "\n読み込めなかったファイル：3件"
                "\nbad.zip（書庫が壊れています）"
                "\nc.zip/FG-GML-4444-44-00-dem5.xml（書庫が暗号化されています）"
                "\nd.zip/FG-GML-5555-55-00-dem5.xml（書庫が壊れています）");
  EXPECT_EQ(services.calls[2], "max 28");  // seven tiles of two rows, two passes
  EXPECT_EQ(services.calls[6], "max 12");  // three mosaics of four rows: 4444 and 5555 have none
  EXPECT_EQ(ReadFloats(zipped / "55555500-DEM5"), std::vector<float>(6, kNoData));
  EXPECT_EQ(ReadFloats(zipped / "44444400-DEM5"), std::vector<float>(6, kNoData));
  EXPECT_FALSE(fs::exists(zipped / "444444-DEM5"));
  EXPECT_FALSE(fs::exists(zipped / "555555-DEM5"));

  // The same tiles unpacked give the same mosaics, bit for bit.
  WriteBytes(unpacked / "FG-GML-2222-22-00-dem5.xml", t00);
  WriteBytes(unpacked / "FG-GML-2222-22-11-dem5.xml", t11);
  WriteBytes(unpacked / "FG-GML-3333-33-10-dem5.xml", t10);
  WriteBytes(unpacked / "FG-GML-1111-11-01-dem5.xml", t01);
  ScriptedServices plain;
  ASSERT_EQ(ConvertIn(unpacked.path(), kSmall, plain).outcome, CommandOutcome::kFinished);
  for (const char* mosaic : {"222222-DEM5", "111111-DEM5", "333333-DEM5"}) {
    EXPECT_TRUE(SameBytes(zipped / mosaic, unpacked / mosaic)) << mosaic;
  }

  // Nothing was unpacked into the folder: besides what was there, only the command's outputs.
  for (const auto& entry : fs::directory_iterator(zipped.path())) {
    const std::string name = entry.path().filename().string();
    const bool output = name == kGmlListFileName || name.ends_with("-DEM5") ||
                        name.ends_with("-DEM5.hd1") || name.ends_with("-DEM5.hdr");
    EXPECT_TRUE(output || std::count(before.begin(), before.end(), name) == 1) << name;
  }
}

// The published 5 m download, as it comes and wrapped once more (deflated), against its
// unpacked tiles.
TEST(GmlZipRun, TheDem5DownloadGivesTheMosaicOfItsUnpackedTiles) {
  const fs::path download = fs::path(ELEVARA_SAMPLES) / "FG-GML-3624-30-DEM5B.zip";
  TempFolder unpacked, zipped, nested;
  testing::ExtractZip(download, unpacked.path());
  fs::copy_file(download, zipped / "FG-GML-3624-30-DEM5B.zip");
  WriteZip(nested / "download.zip", {{"FG-GML-3624-30-DEM5B.zip", ReadBytes(download)}});
  for (const TempFolder* folder : {&unpacked, &zipped, &nested}) {
    ScriptedServices services;
    ASSERT_EQ(ConvertIn(folder->path(), kGml5Conversion, services).outcome,
              CommandOutcome::kFinished);
    EXPECT_EQ(services.messages, std::vector<std::string>{kFinishedMessage});
    EXPECT_EQ(services.advances, 8 * 300 + 1500);
  }
  EXPECT_TRUE(SameBytes(zipped / "362430-DEM5", unpacked / "362430-DEM5"));
  EXPECT_TRUE(SameBytes(nested / "362430-DEM5", unpacked / "362430-DEM5"));
}

// The four published downloads beside the project: the 10 m mosaics 3926, 5437 and 6341 and the
// 5 m mosaic 362430, from the downloads and from a ZIP of them, equal to those of the unpacked
// tiles. About 2 GB of mosaics pass through the temporary folder, a third of them at a time.
TEST(GmlZipRun, ThePublishedDownloadsGiveTheMosaicsOfTheirUnpackedTiles) {
  const fs::path shared = ELEVARA_SHARED_DATA;
  const std::vector<std::string> downloads = {
      "FG-GML-3624-30-DEM5B.zip", "FG-GML-3926-76-DEM10B.zip", "FG-GML-543745-DEM10B-20161001.zip",
      "sample-dem10b.zip"};
  for (const std::string& download : downloads) {
    if (!fs::exists(shared / download)) GTEST_SKIP() << "no " << (shared / download);
  }
  const std::vector<std::string> mosaics = {"3926-ELEVARA", "5437-ELEVARA", "6341-ELEVARA",
                                            "362430-DEM5"};
  // The 10 m mosaic 3926 lies on JGD2011, 5437 and 6341 on JGD2000: the layer of the 10 m
  // mosaics takes the two and names the one it leaves out.
  const std::string leftOut = std::string(kFinishedMessage) + "\n" + kLeftOutOfLayer +
                              "1件\n3926-ELEVARA（ほかのラスタと測地系が異なります）";
  auto convertBoth = [&](const fs::path& folder) {
    for (const GmlConversion* conversion : {&kGml10Conversion, &kGml5Conversion}) {
      ScriptedServices services;
      ASSERT_EQ(ConvertIn(folder, *conversion, services).outcome, CommandOutcome::kFinished);
      const bool tenMetres = conversion == &kGml10Conversion;
      EXPECT_EQ(services.messages,
                std::vector<std::string>{tenMetres ? leftOut : kFinishedMessage});
    }
  };
  TempFolder unpacked;
  for (const std::string& download : downloads) {
    testing::ExtractZip(shared / download, unpacked.path());
  }
  convertBoth(unpacked.path());

  std::vector<ZipMember> wrapped;
  for (const std::string& download : downloads) {
    wrapped.emplace_back("downloads/" + download, ReadBytes(shared / download));
  }
  for (const bool nested : {false, true}) {
    SCOPED_TRACE(nested ? "a ZIP of the downloads" : "the downloads");
    TempFolder zipped;
    if (nested) {
      WriteZip(zipped / "all.zip", wrapped);
    } else {
      for (const std::string& download : downloads) {
        fs::copy_file(shared / download, zipped / download);
      }
    }
    convertBoth(zipped.path());
    for (const std::string& mosaic : mosaics) {
      EXPECT_TRUE(SameBytes(zipped / mosaic, unpacked / mosaic)) << mosaic;
    }
  }
}

}  // namespace
}  // namespace elevara
