// elevara-cli as scripts see it: the real executable, its exit status, its two streams and the
// files it leaves. The commands themselves are tested elsewhere.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <limits>
#include <thread>

#include "cli/arguments.h"
#include "commands/command.h"
#include "commands/gml_command.h"
#include "commands/merge_command.h"
#include "commands/nodata_command.h"
#include "commands/product.h"
#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/files.h"
#include "platform/unicode.h"
#include "raster/raw_raster.h"
#include "testkit/files.h"
#include "testkit/plain_gml.h"
#include "tests/cli/cli_process.h"

namespace elevara {
namespace {

using namespace nodata_text;
using testing::CliProcess;
using testing::CliRun;
using testing::ReadBytes;
using testing::TempFolder;

std::string Line(const std::string& text) {
  return text + "\n";
}

struct Cli : ::testing::Test {
  TempFolder work;
  TempFolder capture;
  CliProcess cli{work.path(), capture.path()};

  std::size_t filesInWork() const {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator(work.path()), {}));
  }
};

TEST_F(Cli, UsageErrorsExitTwoWithTheUsageOnStandardErrorOnly) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"convert"},
      {"GML5", "."},
      {"gml10", "a", "b"},
      {"merge", "--width", "5", "."},
      {"merge", "--jobs", "2", "."},
      {"merge", "--sea-level-zero", "."},
      {"gml10", "--jobs"},
      {"gml10", "--jobs", "0", "."},
      {"gml5", "--jobs=257", "."},
      {"gml5", "--jobs", "-1", "."},
      {"gml5", "--jobs", "2x", "."},
      {"nodata", "a", "b", "c"},
      {"nodata", "--width"},
      {"nodata", "--depth", "3", "a", "b"},
      {"--help", "gml5"},
      {"--version", "x"},
      {"preview"},
      {"preview", "", "b"},
      {"preview", "a", "b", "c"},
      {"preview", "--width", "3", "a"},
      {"geotiff", "a", "b"},
  };
  for (const auto& arguments : cases) {
    std::string shown;
    for (const auto& a : arguments) shown += "[" + a + "]";
    CliRun run = cli.run(arguments);
    EXPECT_EQ(run.status, 2) << shown;
    EXPECT_EQ(run.out, "") << shown;
    EXPECT_EQ(run.err.rfind("elevara-cli: ", 0), 0u) << shown << run.err;
    EXPECT_NE(run.err.find("  elevara-cli nodata [--width TEXT] [--height TEXT] INPUT OUTPUT\n"),
              std::string::npos)
        << shown;
  }
  EXPECT_EQ(filesInWork(), 0u);
}

TEST_F(Cli, HelpIsJapaneseWithAnEnglishSummaryUnderItAndVersionIsTheCaption) {
  CliRun help = cli.run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  for (const char* line :
       {"elevara-cli gml10 [--jobs N] [--sea-level-zero] PATH\n",
        "elevara-cli gml5 [--jobs N] [--sea-level-zero] PATH\n",
        "elevara-cli gml1 [--jobs N] [--sea-level-zero] PATH\n", "elevara-cli merge PATH\n",
        "elevara-cli nodata [--width TEXT] [--height TEXT] INPUT OUTPUT\n",
        "elevara-cli --help | --version\n"}) {
    EXPECT_NE(help.out.find(line), std::string::npos) << line;
  }
  ASSERT_FALSE(help.out.empty());
  ASSERT_EQ(help.out.back(), '\n');
  const std::string lastLine = help.out.substr(help.out.rfind('\n', help.out.size() - 2) + 1);
  const std::string beforeIt = help.out.substr(0, help.out.size() - lastLine.size());
  EXPECT_GT(lastLine.size(), 20u);
  for (unsigned char c : lastLine) EXPECT_LT(c, 0x80) << lastLine;
  EXPECT_NE(beforeIt.find("変換します"), std::string::npos);
  EXPECT_EQ(cli.run({"-h"}).out, help.out);

  CliRun version = cli.run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string(kProductCaption) + "\n");
  EXPECT_EQ(version.err, "");
}

TEST_F(Cli, NoDataWritesTheOutputAndPrintsTheFinalMessageOnly) {
  const float samples[] = {kNoData,
                           -9999.9f,
                           -0.0f,
                           std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity(),
                           kNoData};
  std::string input(reinterpret_cast<const char*>(samples), sizeof samples);
  // A name that starts with "-" needs the end of the options; the sizes take both forms.
  testing::WriteBytes(work / "-in.raw", input);
  CliRun run = cli.run({"nodata", "--width", "3", "--height=2", "--", "-in.raw", "out.raw"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, Line(kFinishedMessage));
  EXPECT_EQ(run.err, "");  // no progress when standard error is no terminal

  std::string expected = input;
  const std::string zero(4, '\0');
  expected.replace(0, 4, zero).replace(20, 4, zero);
  EXPECT_EQ(ReadBytes(work / "out.raw"), expected);
  EXPECT_EQ(ReadBytes(work / "out.raw.hd1"), "3 width\r\n2 height\r\n4 data_type\r\n");
}

TEST_F(Cli, NoDataTakesTheWindowsInitialSizeByDefault) {
  testing::WriteBytes(work / "in.raw", "");
  CliRun run = cli.run({"nodata", "in.raw", "out.raw"});
  EXPECT_EQ(run.status, 1);  // converted, but with a notice a script must not miss
  EXPECT_EQ(run.out, Line(std::string(kFinishedMessage) + "\n" + kInputShort));
  EXPECT_EQ(std::filesystem::file_size(work / "out.raw"), 216'000'000u);
  EXPECT_EQ(ReadBytes(work / "out.raw.hd1"), "9000 width\r\n6000 height\r\n4 data_type\r\n");
  std::filesystem::remove(work / "out.raw");
}

TEST_F(Cli, NoDataMessagesGoToStandardOutputAndExitOne) {
  testing::WriteBytes(work / "in.raw", std::string(64, '\0'));
  struct Case {
    std::vector<std::string> arguments;
    std::string message;
  } cases[] = {
      {{"nodata", "--width", "0", "in.raw", "out.raw"}, kWidthTooSmall},
      {{"nodata", "--width", "-5", "in.raw", "out.raw"}, kWidthTooSmall},
      {{"nodata", "--width=0", "--height=0", "in.raw", "out.raw"}, kWidthTooSmall},
      {{"nodata", "--width", "90001", "in.raw", "out.raw"}, kWidthTooLarge},
      {{"nodata", "--width", "4", "--height", "0", "in.raw", "out.raw"}, kHeightTooSmall},
      // A missing argument is a cancelled dialog, and so is an empty one.
      {{"nodata", "--width", "4", "--height", "4"}, kNoInput},
      {{"nodata", "--width", "4", "--height", "4", "", "out.raw"}, kNoInput},
      {{"nodata", "--width", "4", "--height", "4", "in.raw"}, kNoOutput},
  };
  for (const auto& c : cases) {
    CliRun run = cli.run(c.arguments);
    EXPECT_EQ(run.status, 1) << c.message;
    EXPECT_EQ(run.out, Line(c.message));
    EXPECT_EQ(run.err, "") << c.message;
  }
  EXPECT_EQ(filesInWork(), 1u);
}

TEST_F(Cli, TheIntegerConversionErrorGoesToStandardErrorWithAFullStop) {
  struct Case {
    std::string width, height, named;
  } cases[] = {
      {"abc", "6000", "abc"},
      {"a", "b", "a"},        // the width is converted first
      {"0", "x", "x"},        // both are converted before the range is checked
      {"9000", "12 ", "12 "}  // trailing blanks are no part of a number
  };
  for (const auto& c : cases) {
    CliRun run = cli.run({"nodata", "--width", c.width, "--height", c.height, "in", "out"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "'" + c.named + "' は整数ではありません.\n");
  }
  EXPECT_EQ(filesInWork(), 0u);
}

TEST_F(Cli, AnInputThatCannotBeOpenedIsReportedAndExitsOne) {
  CliRun run = cli.run({"nodata", "--width", "2", "--height", "2", "missing.raw", "out.raw"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find(DisplayPath(work / "missing.raw")), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\nファイルまたはフォルダがありません\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find(kFinishedMessage), std::string::npos);
  EXPECT_EQ(filesInWork(), 0u);
}

#if !defined(_WIN32)
// The row loop must notice the signal at a progress step and unwind, so the temporary output
// is removed, no output appears under its name, and the status tells the signal.
TEST_F(Cli, AnInterruptLeavesNoOutputBehindAndExitsWithTheSignalsStatus) {
  testing::WriteBytes(work / "in.raw", "");
  const std::filesystem::path output = work / "out.raw";
  for (auto [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
    // 720 MB if it ran to its end; the signal arrives after the first rows.
    pid_t pid = cli.start({"nodata", "--width", "90000", "--height", "2000", "in.raw", "out.raw"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (testing::TemporaryFilesIn(work.path()).empty() &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ASSERT_EQ(testing::TemporaryFilesIn(work.path()).size(), 1u);
    kill(pid, signal);
    CliRun run = cli.wait(pid, 60);
    EXPECT_EQ(run.status, status);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "中断しました\n書き出さなかったファイル：1件\nout.raw\n");
    EXPECT_FALSE(std::filesystem::exists(output));
    EXPECT_EQ(testing::TemporaryFilesIn(work.path()).size(), 0u);
    EXPECT_FALSE(std::filesystem::exists(SidecarPathFor(output)));
  }
}
#endif

// Names outside every narrow code page, in the arguments and in the folder, reach the files.
TEST_F(Cli, JapaneseNamesInTheArgumentsReachTheirFiles) {
  const std::filesystem::path folder = work / "標高データ";
  std::filesystem::create_directory(folder);
  testing::WriteFloats(folder / PathFromUtf8("入力.raw"), {-9999.0f, 1.5f});
  CliRun run = cli.run({"nodata", "--width", "2", "--height", "1", "標高データ/入力.raw",
                        Utf8FromPath(folder / PathFromUtf8("出力.raw"))});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(testing::ReadFloats(folder / PathFromUtf8("出力.raw")),
            (std::vector<float>{0.0f, 1.5f}));
  EXPECT_EQ(ReadBytes(folder / PathFromUtf8("出力.raw.hd1")),
            "2 width\r\n1 height\r\n4 data_type\r\n");
}

// The batch commands take only the folder of the dialog's answer: PATH may name the folder or
// any file in it, and a relative PATH is taken from the current folder.
TEST_F(Cli, BatchCommandsTakeTheFolderOrAFileInIt) {
  const std::filesystem::path samples = ELEVARA_SAMPLES;
  const char* tiles[] = {"FG-GML-3624-30-76-DEM5B-20170202.xml",
                         "FG-GML-3624-30-98-DEM5B-20170202.xml"};
  for (const char* sub : {"byFolder", "byFile"}) {
    std::filesystem::create_directory(work / sub);
    for (const char* tile : tiles) std::filesystem::copy_file(samples / tile, work / sub / tile);
  }
  CliRun byFolder = cli.run({"gml5", Utf8FromPath(work / "byFolder")});
  CliRun byFile = cli.run({"gml5", std::string("byFile/") + tiles[1]});
  for (const CliRun& run : {byFolder, byFile}) {
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, Line(kFinishedMessage));
    EXPECT_EQ(run.err, "");
  }
  const std::string mosaic = ReadBytes(work / "byFolder" / "362430-DEM5");
  EXPECT_EQ(mosaic.size(), 2250u * 1500u * 4u);
  EXPECT_EQ(ReadBytes(work / "byFile" / "362430-DEM5"), mosaic);
  EXPECT_EQ(ReadBytes(work / "byFile" / "362430-DEM5.hd1"),
            "2250 width\r\n1500 height\r\n4 data_type\r\n");
}

// --sea-level-zero makes sea cells 0.0 and leaves no-data cells -9999.0; without it both are
// -9999.0. The GML subcommands share the option, so the smallest stands for all.
TEST_F(Cli, SeaLevelZeroSetsTheSeaCells) {
  testing::WriteBytes(
      work / "FG-GML-5339-45-00-DEM5A-20161001.xml",
      testing::MakeGml({.values = {"海水面,-9999.", "データなし,-9999.", "地表面,5"}}));
  for (const bool seaLevelZero : {true, false}) {
    const CliRun run =
        seaLevelZero ? cli.run({"gml5", "--sea-level-zero", "."}) : cli.run({"gml5", "."});
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string tile = ReadBytes(work / "53394500-DEM5");
    EXPECT_EQ(testing::CellBits(tile, 225, 0, 0), testing::Bits(seaLevelZero ? 0.0f : kNoData));
    EXPECT_EQ(testing::CellBits(tile, 225, 0, 1), kNoDataBits);
    EXPECT_EQ(testing::CellBits(tile, 225, 0, 2), testing::Bits(5.0f));
  }
}

// A batch command's PATH must be given and be there: a mistyped folder ("subb" for "sub") is a
// usage error naming it, not a file of the current folder whose tiles are then converted.
TEST_F(Cli, BatchCommandsWithoutPathOrTilesEndWithTheirMessages) {
  std::filesystem::create_directory(work / "empty");
  std::filesystem::create_directory(work / "sub");
  std::filesystem::copy_file(
      std::filesystem::path(ELEVARA_SAMPLES) / "FG-GML-3624-30-76-DEM5B-20170202.xml",
      work / "FG-GML-3624-30-76-DEM5B-20170202.xml");
  const std::string usage = std::string("\n") + cli::kUsageText;
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string out;
    std::string err;
  } cases[] = {
      {{"gml10"}, 2, "", "elevara-cli: PATH がありません" + usage},
      {{"gml5", ""}, 2, "", "elevara-cli: PATH がありません" + usage},
      {{"merge"}, 2, "", "elevara-cli: PATH がありません" + usage},
      {{"gml5", "subb"}, 2, "", "elevara-cli: PATH が見つかりません：subb" + usage},
      {{"merge", "empty/any.raw"},
       2,
       "",
       "elevara-cli: PATH が見つかりません：empty/any.raw" + usage},
      {{"gml10", "empty"}, 1, Line(gml_text::kNoFileFound), ""},
      {{"gml5", "empty/"}, 1, Line(gml_text::kNoFileFound), ""},
      {{"gml10", "--jobs", "3", "empty"}, 1, Line(gml_text::kNoFileFound), ""},
      {{"gml5", "--jobs=256", "empty"}, 1, Line(gml_text::kNoFileFound), ""},
  };
  for (const auto& c : cases) {
    CliRun run = cli.run(c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments.back();
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err) << c.arguments.back();
  }
  EXPECT_FALSE(std::filesystem::exists(work / "362430-DEM5"));
}

// Two runs in one folder would share its working files: while one holds the folder (here this
// process), another is refused at once, naming the folder; the claim ends with its holder.
TEST_F(Cli, ASecondRunInAFolderIsRefusedWhileTheFirstHoldsIt) {
  std::error_code error;
  auto claim = SystemFileSystem().claimFolder(work.path(), error);
  ASSERT_NE(claim, nullptr) << error.message();
  for (const char* command : {"gml10", "gml5", "merge"}) {
    CliRun refused = cli.run({command, "."});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, Line("このフォルダでは変換を始められません\n" +
                                DisplayPath(work.path()) + "\n別の変換がこのフォルダで実行中です"));
  }
  for (const char* list : {"gml_name.txt", "dem5_name.txt"})
    EXPECT_FALSE(std::filesystem::exists(work / list));
  claim.reset();
  EXPECT_EQ(cli.run({"gml5", "."}).out, Line(gml_text::kNoFileFound));
}

// Names too short to hold the mesh code are skipped, and a skipped file means status 1. The
// final report names at most a few; standard error then lists every one, for scripts.
TEST_F(Cli, SkippedFilesMakeStatusOneAndAreAllListedWhenTheReportCannotNameThem) {
  for (const char* sub : {"few", "many"}) std::filesystem::create_directory(work / sub);
  std::string listed;
  for (char letter = 'A'; letter < 'A' + 11; ++letter) {
    const std::string name = std::string("FG-GML-dem5") + letter + ".xml";
    if (letter < 'A' + 2) testing::WriteBytes(work / "few" / name, "");
    testing::WriteBytes(work / "many" / name, "");
    listed += DisplayPath(work / "many" / name) + "\n";
  }
  // None converted: no mosaic, and the report does not say the conversion finished.
  CliRun few = cli.run({"gml5", "few"});
  EXPECT_EQ(few.status, 1);
  EXPECT_EQ(few.out.rfind(kNothingWrittenMessage, 0), 0u);
  EXPECT_NE(few.out.find("FG-GML-dem5B.xml"), std::string::npos);
  EXPECT_EQ(few.err, "");

  CliRun many = cli.run({"gml5", "many"});
  EXPECT_EQ(many.status, 1);
  EXPECT_EQ(many.out.rfind(kNothingWrittenMessage, 0), 0u);
  EXPECT_EQ(many.out.find("FG-GML-dem5K.xml"), std::string::npos);
  EXPECT_EQ(many.err, listed);
}

}  // namespace
}  // namespace elevara
