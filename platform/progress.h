// How long work tells how far it has come, and learns that it must stop: the one callback the
// core always has, whoever watches it (the window's bar, a terminal's line, nobody).
#pragma once

#include <cstdint>

namespace elevara {

class Progress {
 public:
  virtual ~Progress() = default;

  // A phase of `steps` steps starts; the steps of an earlier phase count no more.
  virtual void startPhase(std::int64_t steps) = 0;
  // One step of the phase is done. Throws Interrupted when the work is to stop: the caller
  // unwinds from there, and what it has not finished removes itself.
  virtual void step() = 0;
  // Throws Interrupted as step() does, without taking a step: for work that goes on long
  // between two steps or before the first (listing archives, inflating one, reading a tile
  // that holds no value for a gigabyte), so that an interrupt is noticed there too. Cheap
  // enough to be called for every block of a megabyte.
  virtual void poll() {}
};

// Progress nobody watches, for work that is never interrupted.
class SilentProgress final : public Progress {
 public:
  void startPhase(std::int64_t) override {}
  void step() override {}
};

}  // namespace elevara
