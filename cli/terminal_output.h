// What a terminal shows of a run: its messages printed, its progress drawn as one line on
// standard error, and Ctrl-C noticed at the next progress step.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "platform/progress.h"

namespace elevara::cli {

// One line on a terminal, redrawn in place: phase, percentage, steps done of steps. It redraws
// at most ten times a second, and reads the clock only every so many steps, how many adapting
// to the pace of the steps, so that a step stays cheap.
class ProgressLine {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  explicit ProgressLine(std::ostream& terminal, Clock clock = std::chrono::steady_clock::now);

  void startPhase(std::int64_t steps);
  void moved(std::int64_t position);
  // Wipes the line, so that other output starts at the left margin of an empty line.
  void clear();

  static constexpr std::chrono::milliseconds kRedrawInterval{100};

 private:
  void considerRedraw(std::chrono::steady_clock::time_point now);
  void draw();

  std::ostream& terminal_;
  Clock clock_;
  int phase_ = 0;
  std::int64_t steps_ = 0;
  std::int64_t position_ = 0;
  std::int64_t stepsUntilCheck_ = 0;
  std::int64_t checkStride_ = 1;
  std::chrono::steady_clock::time_point lastCheck_{};
  std::optional<std::chrono::steady_clock::time_point> lastDraw_;
  bool shown_ = false;
};

// The progress of a run on the terminal's progress line, if there is one to draw.
class TerminalProgress final : public Progress {
 public:
  // `line` is null when nothing should be drawn. `interruptSignal` is set (to the signal's
  // number) by the front end's signal handler.
  TerminalProgress(ProgressLine* line, const volatile std::sig_atomic_t& interruptSignal)
      : line_(line), interruptSignal_(interruptSignal) {}

  void startPhase(std::int64_t steps) override;
  // Both throw Interrupted once the interrupt signal has arrived.
  void step() override;
  void poll() override;

 private:
  ProgressLine* line_;
  const volatile std::sig_atomic_t& interruptSignal_;
  std::int64_t steps_ = 0;
  std::int64_t position_ = 0;
};

// The messages of a run, each on lines of its own, after the progress line has been wiped.
class TerminalMessages {
 public:
  TerminalMessages(std::ostream& out, ProgressLine* line) : out_(out), line_(line) {}

  void say(const std::string& text);
  void clearProgress();

 private:
  std::ostream& out_;
  ProgressLine* line_;
};

}  // namespace elevara::cli
