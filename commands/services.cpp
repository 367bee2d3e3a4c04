#include "commands/services.h"

#include <algorithm>
#include <limits>

#include "platform/file_system.h"

namespace elevara {
namespace {

std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) {
  constexpr std::int64_t kLargest = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t kSmallest = std::numeric_limits<std::int64_t>::min();
  if (b > 0 && a > kLargest - b) return kLargest;
  if (b < 0 && a < kSmallest - b) return kSmallest;
  return a + b;
}

}  // namespace

void ProgressState::advance() {
  const std::int64_t next = SaturatingAdd(position_, step_);
  position_ = maximum_ < minimum_ ? next : std::clamp(next, minimum_, maximum_);
}

void Services::setProgressMinimum(std::int64_t value) {
  progress_.setMinimum(value);
  progressChanged(ProgressChange::kMinimum);
}

void Services::setProgressMaximum(std::int64_t value) {
  progress_.setMaximum(value);
  progressChanged(ProgressChange::kMaximum);
}

void Services::setProgressPosition(std::int64_t value) {
  progress_.setPosition(value);
  progressChanged(ProgressChange::kPosition);
}

void Services::setProgressStep(std::int64_t value) {
  progress_.setStep(value);
  progressChanged(ProgressChange::kStep);
}

void Services::stepProgress() {
  progress_.advance();
  progressChanged(ProgressChange::kAdvance);
}

FileSystem& Services::fileSystem() {
  return SystemFileSystem();
}

void ServicesProgress::startPhase(std::int64_t steps) {
  services_.setProgressMinimum(0);
  services_.setProgressMaximum(steps);
  services_.setProgressPosition(0);
  services_.setProgressStep(1);
}

void ServicesProgress::step() {
  services_.processMessages();
  services_.stepProgress();
}

void ServicesProgress::poll() {
  services_.pollMessages();
}

}  // namespace elevara
