#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "commands/nodata_command.h"
#include "platform/errors.h"
#include "raster/raw_raster.h"
#include "testkit/faulty_file_system.h"
#include "testkit/files.h"
#include "testkit/scripted_services.h"

namespace elevara {
namespace {

using namespace nodata_text;
using testing::ReadBytes;
using testing::ScriptedServices;
using testing::TempFolder;
using testing::WriteBytes;
using testing::WriteFloats;

using testing::Bits;

struct NoDataRun : ::testing::Test {
  TempFolder folder;
  ScriptedServices services;
  std::filesystem::path input = folder / "in.raw";
  std::filesystem::path output = folder / "out.raw";

  CommandResult run(const char* width, const char* height) {
    return RunNoDataReplacement(services, width, height);
  }
  void answer(std::optional<std::filesystem::path> open,
              std::optional<std::filesystem::path> save) {
    services.openAnswers.push_back(open);
    services.saveAnswers.push_back(save);
  }
};

TEST_F(NoDataRun, ReplacesOnlyTheExactNoDataBits) {
  const float special[] = {kNoData,
                           -9999.9f,
                           -9998.0f,
                           9999.0f,
                           -0.0f,
                           0.0f,
                           std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity(),
                           std::numeric_limits<float>::quiet_NaN(),
                           std::bit_cast<float>(0xFFC01234u),  // a NaN with a payload
                           std::bit_cast<float>(kNoDataBits + 1),
                           kNoData};
  std::vector<float> samples(std::begin(special), std::end(special));
  WriteFloats(input, samples);
  answer(input, output);
  auto result = run("4", "3");
  EXPECT_EQ(result.outcome, CommandOutcome::kFinished);
  auto got = testing::ReadFloats(output);
  ASSERT_EQ(got.size(), samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    std::uint32_t want = Bits(samples[i]) == kNoDataBits ? 0u : Bits(samples[i]);
    EXPECT_EQ(Bits(got[i]), want) << "sample " << i;
  }
  EXPECT_EQ(ReadBytes(folder / "out.raw.hd1"), "4 width\r\n3 height\r\n4 data_type\r\n");
  EXPECT_EQ(services.calls,
            (std::vector<std::string>{"open 変換対象ファイルを指定する | RAWファイル (*.*) | *.*",
                                      "save 保存先ファイル名を指定する", "min 0", "max 3", "pos 0",
                                      "step 1", "message ファイル変換を終了しました", "pos 0"}));
  EXPECT_EQ(services.advances, 3);
  EXPECT_EQ(services.processCount, 3);
}

TEST_F(NoDataRun, TheSplitIntoRowsDoesNotChangeTheBytes) {
  std::vector<float> samples;
  for (int i = 0; i < 6 * 9; ++i) samples.push_back(i % 4 == 0 ? kNoData : float(i) / 3);
  WriteFloats(input, samples);
  answer(input, output);
  run("9", "6");
  answer(input, folder / "other.raw");
  run("6", "9");
  EXPECT_EQ(ReadBytes(output), ReadBytes(folder / "other.raw"));
  EXPECT_EQ(ReadBytes(folder / "other.raw.hd1"), "6 width\r\n9 height\r\n4 data_type\r\n");
}

TEST_F(NoDataRun, RangeChecksComeInOrderAndTouchNothing) {
  struct Case {
    const char* width;
    const char* height;
    const char* message;
  } cases[] = {{"0", "0", kWidthTooSmall},
               {"-5", "10", kWidthTooSmall},
               {"90001", "0", kWidthTooLarge},
               {"9000", "0", kHeightTooSmall},
               {"1", "-1", kHeightTooSmall}};
  for (const auto& c : cases) {
    ScriptedServices fresh;
    auto result = RunNoDataReplacement(fresh, c.width, c.height);
    EXPECT_EQ(result.outcome, CommandOutcome::kOutOfRange);
    EXPECT_EQ(fresh.calls, std::vector<std::string>{std::string("message ") + c.message})
        << c.width << " x " << c.height;
  }
}

TEST_F(NoDataRun, TextsThatAreNotIntegersThrowBeforeAnyDialog) {
  try {
    run("abc", "xyz");
    FAIL();
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.what()), "'abc' は整数ではありません");
  }
  // The height is converted before the width is checked.
  EXPECT_THROW(run("0", "6000 "), Error);
  EXPECT_TRUE(services.calls.empty());
}

TEST_F(NoDataRun, WidthNinetyThousandIsAcceptedAndHeightOneCopiesOneRow) {
  std::vector<float> samples(90000 + 7, kNoData);
  WriteFloats(input, samples);
  answer(input, output);
  EXPECT_EQ(run("90000", "1").outcome, CommandOutcome::kFinished);
  EXPECT_EQ(ReadBytes(output), std::string(360000, '\0'));  // and the 7 extra samples ignored
}

TEST_F(NoDataRun, CancelledDialogsEndWithTheirMessages) {
  WriteFloats(input, {1, 2});
  answer(std::nullopt, std::nullopt);
  EXPECT_EQ(run("1", "1").outcome, CommandOutcome::kCancelled);
  EXPECT_EQ(services.messages.back(), kNoInput);

  testing::FaultyFileSystem fs;
  services.files = &fs;
  answer(input, std::nullopt);
  EXPECT_EQ(run("1", "1").outcome, CommandOutcome::kCancelled);
  EXPECT_EQ(services.messages.back(), kNoOutput);
  EXPECT_EQ(fs.openFiles, 0);  // the input was closed again
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
  for (const auto& call : services.calls) EXPECT_NE(call.rfind("max", 0), 0u) << call;
}

TEST_F(NoDataRun, AnUnreadableInputIsReportedAndNothingIsWritten) {
  answer(folder / "missing.raw", output);
  auto result = run("2", "2");
  EXPECT_EQ(result.outcome, CommandOutcome::kFailed);
  ASSERT_EQ(services.messages.size(), 1u);
  EXPECT_NE(services.messages[0].find("missing.raw"), std::string::npos);
  EXPECT_EQ(services.messages[0].find(kFinishedMessage), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(output));
}

TEST_F(NoDataRun, AnOutputThatCannotBeCreatedIsReported) {
  WriteFloats(input, {1, 2, 3, 4});
  answer(input, folder / "no-such-folder" / "out.raw");
  EXPECT_EQ(run("2", "2").outcome, CommandOutcome::kFailed);
  ASSERT_EQ(services.messages.size(), 1u);
  EXPECT_NE(services.messages[0].find("no-such-folder"), std::string::npos);
}

TEST_F(NoDataRun, AWriteFailureLeavesNoOutputAndNoSidecar) {
  std::vector<float> samples(1000 * 1000, 1.5f);
  WriteFloats(input, samples);
  WriteBytes(output, "earlier");
  testing::FaultyFileSystem fs;
  fs.failWritesAfter = 1 << 20;
  services.files = &fs;
  answer(input, output);
  EXPECT_EQ(run("1000", "1000").outcome, CommandOutcome::kFailed);
  ASSERT_EQ(services.messages.size(), 1u);
  EXPECT_EQ(services.messages[0].rfind("ファイルに書き込めません\n", 0), 0u)
      << services.messages[0];
  EXPECT_EQ(ReadBytes(output), "earlier");
  EXPECT_FALSE(std::filesystem::exists(folder / "out.raw.hd1"));
  EXPECT_EQ(fs.openFiles, 0);
}

TEST_F(NoDataRun, AnOutputOverTheInputIsWrittenFromTheWholeInput) {
  std::vector<float> samples = {kNoData, 1, 2, kNoData, 4, 5};
  WriteFloats(input, samples);
  answer(input, input);
  EXPECT_EQ(run("3", "2").outcome, CommandOutcome::kFinished);
  EXPECT_EQ(testing::ReadFloats(input), (std::vector<float>{0, 1, 2, 0, 4, 5}));
}

// Without a sidecar the typed size rules: an input of another length still converts, padded
// with zeros or cut, and the final message says so.
TEST_F(NoDataRun, AnInputOfAnotherLengthConvertsWithANotice) {
  struct Case {
    std::vector<float> input;
    std::vector<float> output;
    const char* notice;
  } cases[] = {{{kNoData, 7, 8}, {0, 7, 8, 0, 0, 0}, kInputShort},
               {{kNoData, 7, 8, 9, 10, 11, kNoData}, {0, 7, 8, 9, 10, 11}, kInputLong},
               {{kNoData, 7, 8, 9, 10, 11}, {0, 7, 8, 9, 10, 11}, nullptr}};
  for (const Case& c : cases) {
    WriteFloats(input, c.input);
    answer(input, output);
    const CommandResult result = run("2", "3");
    EXPECT_EQ(result.outcome, CommandOutcome::kFinished);
    EXPECT_EQ(result.notice, c.notice != nullptr);
    EXPECT_EQ(testing::ReadFloats(output), c.output);
    EXPECT_EQ(services.messages.back(),
              std::string(kFinishedMessage) + (c.notice ? std::string("\n") + c.notice : ""));
  }
}

// A sidecar that states another size stops the command before the save dialog, naming both
// sizes; one that agrees, or one that is not a sidecar of this form, lets it run.
TEST_F(NoDataRun, AnInputsSidecarMustStateTheTypedSize) {
  WriteFloats(input, {kNoData, 7, 8, 9, 10, 11});
  const std::filesystem::path sidecar = SidecarPathFor(input);
  for (const char* stated : {"3 width\r\n3 height\r\n4 data_type\r\n", "2 width\r\n2 height\r\n"}) {
    WriteBytes(sidecar, stated);
    ScriptedServices fresh;
    fresh.openAnswers.push_back(input);
    fresh.saveAnswers.push_back(output);
    EXPECT_EQ(RunNoDataReplacement(fresh, "2", "3").outcome, CommandOutcome::kOutOfRange);
    EXPECT_EQ(fresh.calls.size(), 2u);  // the open dialog and the message, no save dialog
    EXPECT_FALSE(std::filesystem::exists(output));
  }
  EXPECT_EQ(services.messages, std::vector<std::string>{});
  ScriptedServices shown;
  shown.openAnswers.push_back(input);
  RunNoDataReplacement(shown, "2", "3");
  EXPECT_EQ(shown.messages.back(),
            "入力ファイルのヘッダ（.hd1）のサイズが指定のサイズと違います\n"
            "入力ファイル：横 2 ピクセル × 縦 2 ライン\n指定：横 2 ピクセル × 縦 3 ライン\n"
            "再度、実行してください");

  for (const char* stated : {"2 width\r\n3 height\r\n4 data_type\r\n", "2 width\n3 height", "",
                             "width 2\r\nheight 3\r\n", "2width\r\n3 height\r\n"}) {
    WriteBytes(sidecar, stated);
    answer(input, output);
    EXPECT_EQ(run("2", "3").outcome, CommandOutcome::kFinished) << stated;
    std::filesystem::remove(output);
  }
  std::filesystem::remove(sidecar);
  std::filesystem::create_directory(sidecar);
  answer(input, output);
  EXPECT_EQ(run("2", "3").outcome, CommandOutcome::kFailed);
  EXPECT_NE(services.messages.back().find("in.raw.hd1"), std::string::npos);
}

}  // namespace
}  // namespace elevara
