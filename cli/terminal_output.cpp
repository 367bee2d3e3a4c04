#include "cli/terminal_output.h"

#include <algorithm>
#include <utility>

#include "platform/errors.h"

namespace elevara::cli {
namespace {

// Bounds for the number of steps between two readings of the clock: readings well inside a
// redraw interval are wasted, readings far apart make the redraws late.
constexpr std::chrono::milliseconds kCheckTooSoon{10};
constexpr std::chrono::milliseconds kCheckTooLate{50};
constexpr std::int64_t kMaxCheckStride = std::int64_t{1} << 16;

// "Erase in line" from the cursor to the end: a shorter line leaves no digits of a longer one.
constexpr char kEraseToEnd[] = "\x1b[K";

}  // namespace

ProgressLine::ProgressLine(std::ostream& terminal, Clock clock)
    : terminal_(terminal), clock_(std::move(clock)) {}

void ProgressLine::startPhase(std::int64_t steps) {
  ++phase_;
  steps_ = steps;
  position_ = 0;
  checkStride_ = 1;
  stepsUntilCheck_ = checkStride_;
  lastCheck_ = clock_();
  considerRedraw(lastCheck_);
}

void ProgressLine::moved(std::int64_t position) {
  position_ = position;
  if (--stepsUntilCheck_ > 0) return;
  const auto now = clock_();
  const auto sinceCheck = now - lastCheck_;
  if (sinceCheck < kCheckTooSoon) {
    checkStride_ = std::min(checkStride_ * 2, kMaxCheckStride);
  } else if (sinceCheck > kCheckTooLate) {
    checkStride_ = std::max<std::int64_t>(checkStride_ / 2, 1);
  }
  stepsUntilCheck_ = checkStride_;
  lastCheck_ = now;
  considerRedraw(now);
}

void ProgressLine::considerRedraw(std::chrono::steady_clock::time_point now) {
  if (lastDraw_ && now - *lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;
  draw();
}

void ProgressLine::draw() {
  const std::int64_t done =
      std::clamp<std::int64_t>(position_, 0, std::max<std::int64_t>(steps_, 0));
  const std::int64_t percent = steps_ > 0 ? done * 100 / steps_ : 100;
  std::string line = "\r段階 " + std::to_string(phase_) + "  " + std::to_string(percent) + "%  " +
                     std::to_string(done) + "/" + std::to_string(steps_) + kEraseToEnd;
  terminal_ << line << std::flush;
  shown_ = true;
}

void ProgressLine::clear() {
  if (!shown_) return;
  terminal_ << '\r' << kEraseToEnd << std::flush;
  shown_ = false;
}

void TerminalProgress::startPhase(std::int64_t steps) {
  steps_ = steps;
  position_ = 0;
  if (line_ != nullptr) line_->startPhase(steps);
}

void TerminalProgress::step() {
  poll();
  // The position stops at the end of the phase, as the window's bar does.
  if (position_ < steps_) ++position_;
  if (line_ != nullptr) line_->moved(position_);
}

void TerminalProgress::poll() {
  if (interruptSignal_ != 0) throw Interrupted();
}

void TerminalMessages::say(const std::string& text) {
  clearProgress();
  out_ << text << '\n' << std::flush;
}

void TerminalMessages::clearProgress() {
  if (line_ != nullptr) line_->clear();
}

}  // namespace elevara::cli
