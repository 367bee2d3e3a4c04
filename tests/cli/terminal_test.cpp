// The pieces of elevara-cli that a spawned process cannot show: the progress line on a terminal
// against a clock the test drives, the folder of the batch subcommands, and the listing of
// skipped files.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/arguments.h"
#include "cli/front_end.h"
#include "cli/terminal_output.h"
#include "platform/errors.h"
#include "testkit/files.h"

namespace elevara::cli {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A clock that moves only when the test says so, and counts how often it is read.
struct FakeClock {
  steady_clock::time_point now{};
  int reads = 0;
  ProgressLine::Clock function() {
    return [this] {
      ++reads;
      return now;
    };
  }
};

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

TEST(ProgressLine, RedrawsAtMostTenTimesASecondInPlace) {
  std::ostringstream terminal;
  FakeClock clock;
  ProgressLine line(terminal, clock.function());
  line.startPhase(2000);
  for (int step = 1; step <= 2000; ++step) {
    clock.now += milliseconds(1);
    line.moved(step);
  }
  const std::string drawn = terminal.str();
  // Two seconds of steps: the phase's first drawing and then one every 100 ms, give or take the
  // steps between two readings of the clock.
  const std::size_t draws = Count(drawn, "\r");
  EXPECT_LE(draws, 21u);
  EXPECT_GE(draws, 15u);
  EXPECT_EQ(drawn.rfind("\r段階 1  0%  0/2000\x1b[K", 0), 0u) << drawn;
  EXPECT_EQ(Count(drawn, "\n"), 0u);
  EXPECT_LT(clock.reads, 2000 / 4);
}

TEST(ProgressLine, FastStepsReadTheClockRarely) {
  std::ostringstream terminal;
  FakeClock clock;
  ProgressLine line(terminal, clock.function());
  line.startPhase(1'000'000);
  for (int step = 1; step <= 1'000'000; ++step) {
    clock.now += std::chrono::microseconds(1);
    line.moved(step);
  }
  EXPECT_LT(clock.reads, 1000);
  EXPECT_LE(Count(terminal.str(), "\r"), 11u);
}

TEST(ProgressLine, SlowStepsAreEachShownAndPhasesAreCounted) {
  std::ostringstream terminal;
  FakeClock clock;
  ProgressLine line(terminal, clock.function());
  line.startPhase(3);
  for (int step = 1; step <= 3; ++step) {
    clock.now += milliseconds(400);
    line.moved(step);
  }
  clock.now += milliseconds(400);
  line.startPhase(8);
  EXPECT_EQ(terminal.str(),
            "\r段階 1  0%  0/3\x1b[K\r段階 1  33%  1/3\x1b[K\r段階 1  66%  2/3\x1b[K"
            "\r段階 1  100%  3/3\x1b[K\r段階 2  0%  0/8\x1b[K");
  line.clear();
  line.clear();
  EXPECT_EQ(terminal.str().substr(terminal.str().size() - 4), "\r\x1b[K");
  EXPECT_EQ(Count(terminal.str(), "\r\x1b[K"), 1u);
}

struct TerminalOutputTest : ::testing::Test {
  std::ostringstream messages;
  std::ostringstream terminal;
  FakeClock clock;
  ProgressLine line{terminal, clock.function()};
  volatile std::sig_atomic_t interrupt = 0;
  TerminalProgress progress{&line, interrupt};
  TerminalMessages output{messages, &line};
};

TEST_F(TerminalOutputTest, AMessageWipesTheProgressLine) {
  progress.startPhase(2);
  clock.now += milliseconds(500);
  progress.step();
  progress.step();  // too soon after the last drawing to draw again
  output.say("ファイル変換を終了しました\n二行目");
  EXPECT_EQ(messages.str(), "ファイル変換を終了しました\n二行目\n");
  EXPECT_EQ(terminal.str(), "\r段階 1  0%  0/2\x1b[K\r段階 1  50%  1/2\x1b[K\r\x1b[K");
}

TEST_F(TerminalOutputTest, TheInterruptIsNoticedAtTheNextStep) {
  progress.step();
  interrupt = SIGINT;
  EXPECT_THROW(progress.step(), Interrupted);
}

TEST(FolderOf, TheFolderItselfOrTheFolderOfAFileInIt) {
  testing::TempFolder folder;
  std::filesystem::create_directory(folder / "sub");
  const std::filesystem::path sub = folder / "sub";
  // Whether named by itself, with a trailing separator, or by a file in it (present or not).
  for (const auto& argument : {sub, sub / "", sub / ".", sub / "tile.xml", sub / "." / "x.xml"}) {
    EXPECT_EQ(FolderOf(AbsolutePath(argument)), sub) << argument;
  }
  // A relative name is taken from the current folder.
  EXPECT_EQ(FolderOf(AbsolutePath("tile.xml")), std::filesystem::current_path());
  EXPECT_EQ(FolderOf(AbsolutePath("/")), std::filesystem::absolute("/"));
}

TEST(ExitStatusAfter, ZeroOnlyForAFinishedRunWithoutSkippedFiles) {
  std::ostringstream err;
  EXPECT_EQ(ExitStatusAfter({CommandOutcome::kFinished, {}}, err), 0);
  EXPECT_EQ(ExitStatusAfter({CommandOutcome::kNotFound, {}}, err), 1);
  EXPECT_EQ(ExitStatusAfter({CommandOutcome::kFailed, {}}, err), 1);
  EXPECT_EQ(ExitStatusAfter({CommandOutcome::kCancelled, {}}, err), 1);
  EXPECT_EQ(ExitStatusAfter({CommandOutcome::kFinished, {}, true}, err), 1);  // with a notice

  std::vector<std::filesystem::path> skipped;
  for (int i = 0; i < 10; ++i) skipped.push_back("/d/t" + std::to_string(i) + ".xml");
  EXPECT_EQ(ExitStatusAfter({CommandOutcome::kFinished, skipped}, err), 1);
  EXPECT_EQ(err.str(), "");  // the final report has named them all

  skipped.push_back("/d/t10.xml");
  EXPECT_EQ(ExitStatusAfter({CommandOutcome::kFinished, skipped}, err), 1);
  std::string expected;
  for (const auto& path : skipped) expected += DisplayPath(path) + "\n";
  EXPECT_EQ(err.str(), expected);
}

}  // namespace
}  // namespace elevara::cli
