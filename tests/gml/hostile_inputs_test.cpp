// A GML run over folders made to hurt it: names that would reach outside the folder, inputs
// that never end, archives that cannot be read, copies of a tile, links where working files go.
// Each ends with a report naming what was left out and why, and writes only in its folder.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "commands/gml_command.h"
#include "platform/folder_search.h"
#include "platform/unicode.h"
#include "testkit/files.h"
#include "testkit/plain_gml.h"
#include "testkit/scripted_services.h"
#include "testkit/zip_files.h"
#include "tests/gml/small_conversion.h"

namespace elevara {
namespace {

namespace fs = std::filesystem;
using testing::WriteBytes;
using testing::WriteZip;
using testing::ZipBytes;

const std::string kTile = testing::MakeGml({.values = testing::Tokens({"1", "2", "3", "4"})});
const std::string kPlainName = "名前のメッシュコードにファイル名に使えない文字があります";
const std::string kBroken = "書庫が壊れています";
const std::string kStuck = "FIFOやデバイスなど、通常のファイルではありません";

std::string Named(const std::string& name, const std::string& reason) {
  return "\n" + name + "（" + reason + "）";
}

std::string Skipped(const char* head, int count) {
  return std::string(head) + "\n読み込めなかったファイル：" + std::to_string(count) + "件";
}

struct HostileCase {
  const char* name;
  std::function<void(const fs::path& folder)> make;
  std::string report;
  std::vector<std::string> mosaics;
};

void MakeEvilNames(const fs::path& folder) {
  WriteZip(folder / "evil.zip", {{"FG-GML-..\\x-22-00-dem5.xml", kTile},
                                 {"FG-GML-C:\\W-22-00-dem5.xml", kTile},
                                 {"FG-GML-a\"*|-22-00-dem5.xml", kTile},
                                 {"FG-GML-2222-22-\x01\x7F-dem5.xml", kTile},
                                 {"FG-GML-2222-22-00-dem5.xml", kTile}});
}

void MakeCopies(const fs::path& folder) {
  std::string damaged = ZipBytes({{"FG-GML-2222-22-00-dem5.xml", kTile}});
  testing::PatchFirstMember(damaged, testing::ZipField::kCrc, 1);
  WriteBytes(folder / "a-damaged.zip", damaged);
  WriteZip(folder / "good.zip", {{"FG-GML-2222-22-00-dem5.xml", kTile}});
}

void MakeTooDeep(const fs::path& folder) {
  std::string nested = ZipBytes({{"FG-GML-2222-22-00-dem5.xml", kTile}});
  for (int depth = 5; depth >= 2; --depth) {
    nested = ZipBytes({{"in" + std::to_string(depth) + ".zip", nested}});
  }
  WriteBytes(folder / "outer.zip", nested);
}

#if !defined(_WIN32)
void MakeStuckInputs(const fs::path& folder) {
  ::mkfifo((folder / "FG-GML-2222-22-00-dem5.xml").c_str(), 0600);
  fs::create_symlink("/dev/urandom", folder / "FG-GML-2222-22-01-dem5.xml");
  WriteBytes(folder / "FG-GML-2222-22-10-dem5.xml", kTile);
  fs::resize_file(folder / "FG-GML-2222-22-10-dem5.xml", 1'000'000'001);  // sparse
  WriteBytes(folder / "FG-GML-2222-22-11-dem5.xml", kTile);
  ::mkfifo((folder / "stuck.zip").c_str(), 0600);
}

void MakeLinks(const fs::path& folder) {
  WriteBytes(folder / "FG-GML-2222-22-00-dem5.xml", kTile);
  WriteBytes(folder.parent_path() / "kept", "earlier");
  for (const char* name : {"gml_name.txt", "22222200-DEM5"}) {
    fs::create_symlink("../kept", folder / name);
  }
}
#endif

const HostileCase kCases[] = {
    {"names that reach outside the folder",
     MakeEvilNames,
     Skipped(kFinishedMessage, 4) + Named("evil.zip/FG-GML-..\\x-22-00-dem5.xml", kPlainName) +
         Named("evil.zip/FG-GML-C:\\W-22-00-dem5.xml", kPlainName) +
         Named("evil.zip/FG-GML-a\"*|-22-00-dem5.xml", kPlainName) +
         Named("evil.zip/FG-GML-2222-22-\x01\x7F-dem5.xml", kPlainName),
     {"222222-DEM5"}},
    {"empty members of two codes",
     [](const fs::path& folder) {
       WriteZip(folder / "empty.zip",
                {{"FG-GML-1111-11-00-dem5.xml", ""}, {"FG-GML-3333-33-00-dem5.xml", ""}});
     },
     Skipped(kNothingWrittenMessage, 2) +
         Named("empty.zip/FG-GML-1111-11-00-dem5.xml", "開始位置 gml:startPoint がありません") +
         Named("empty.zip/FG-GML-3333-33-00-dem5.xml", "開始位置 gml:startPoint がありません"),
     {}},
    {"a damaged copy before a good one",
     MakeCopies,
     Skipped(kFinishedMessage, 1) + Named("a-damaged.zip/FG-GML-2222-22-00-dem5.xml", kBroken),
     {"222222-DEM5"}},
    {"the only archive cut short",
     [](const fs::path& folder) {
       WriteBytes(folder / "cut.zip",
                  ZipBytes({{"FG-GML-2222-22-00-dem5.xml", kTile}}).substr(0, 90));
     },
     Skipped(gml_text::kNoFileFound, 1) + Named("cut.zip", kBroken),
     {}},
    {"the only archive encrypted",
     [](const fs::path& folder) {
       WriteZip(folder / "locked.zip", {{"FG-GML-2222-22-00-dem5.xml", kTile, false, "secret"}});
     },
     Skipped(kNothingWrittenMessage, 1) +
         Named("locked.zip/FG-GML-2222-22-00-dem5.xml", "書庫が暗号化されています"),
     {}},
    {"the only tile nested five deep",
     MakeTooDeep,
     Skipped(gml_text::kNoFileFound, 1) +
         Named("outer.zip/in2.zip/in3.zip/in4.zip/in5.zip", "書庫の入れ子が深すぎます"),
     {}},
#if !defined(_WIN32)
    {"inputs that never end or never open",
     MakeStuckInputs,
     Skipped(kFinishedMessage, 4) + Named("stuck.zip", kStuck) +
         Named("FG-GML-2222-22-00-dem5.xml", kStuck) + Named("FG-GML-2222-22-01-dem5.xml", kStuck) +
         Named("FG-GML-2222-22-10-dem5.xml", "ファイルが大きすぎます"),
     {"222222-DEM5"}},
    {"links where the working files go", MakeLinks, kFinishedMessage, {"222222-DEM5"}},
#endif
};

class HostileInputs : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileInputs, AreNamedWithTheirReasonAndNothingIsWrittenOutsideTheFolder) {
  const HostileCase& hostile = GetParam();
  testing::TempFolder around;
  const fs::path folder = around / "run";
  fs::create_directory(folder);
  hostile.make(folder);
  testing::ScriptedServices services;
  services.openAnswers.push_back(folder / "picked.xml");
  RunGmlConversion(services, testing::kSmall);

  ASSERT_EQ(services.messages.size(), 1u);
  EXPECT_EQ(services.messages[0], hostile.report);
  EXPECT_EQ(SearchFolder(SystemFileSystem(), folder, "??????-DEM5"), hostile.mosaics);
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    const std::string name = Utf8FromPath(entry.path().filename());
    EXPECT_TRUE(IsPlainFileNamePart(name) && !IsTemporaryFileName(name)) << name;
    EXPECT_FALSE(entry.is_symlink() && name != "FG-GML-2222-22-01-dem5.xml") << name;
  }
  EXPECT_FALSE(fs::exists(folder / kGmlValueFileName));
  // Beside the folder, only what the case put there, untouched.
  for (const fs::directory_entry& entry : fs::directory_iterator(around.path())) {
    const std::string name = Utf8FromPath(entry.path().filename());
    EXPECT_TRUE(name == "run" || (name == "kept" && testing::ReadBytes(entry) == "earlier"))
        << name;
  }
#if defined(_WIN32)
  EXPECT_FALSE(fs::exists("C:\\W2200-DEM5"));
  EXPECT_FALSE(fs::exists("C:\\W22-DEM5"));
#endif
}

INSTANTIATE_TEST_SUITE_P(Folders, HostileInputs, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<HostileCase>& param) {
                           std::string name = param.param.name;
                           for (char& c : name) c = std::isalnum(c) ? c : '_';
                           return name;
                         });

}  // namespace
}  // namespace elevara
