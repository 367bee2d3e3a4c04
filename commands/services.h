// The services the main window gives a running command: its dialogs, its message box, its
// progress bar and its message processing. The window supplies them through Qt, tests their own,
// so no command ever talks to a GUI toolkit.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/progress.h"

namespace elevara {

class FileSystem;

// The numbers of the progress bar as the commands set them, in 64 bits.
class ProgressState {
 public:
  std::int64_t minimum() const { return minimum_; }
  std::int64_t maximum() const { return maximum_; }
  std::int64_t position() const { return position_; }
  std::int64_t step() const { return step_; }

  void setMinimum(std::int64_t value) { minimum_ = value; }
  void setMaximum(std::int64_t value) { maximum_ = value; }
  void setPosition(std::int64_t value) { position_ = value; }
  void setStep(std::int64_t value) { step_ = value; }
  // One step on. The position stops at the ends of the range rather than wrapping around, and
  // never overflows.
  void advance();

 private:
  // A bar that starts empty, with the range and step it has before any command sets its own.
  std::int64_t minimum_ = 0;
  std::int64_t maximum_ = 100;
  std::int64_t position_ = 0;
  std::int64_t step_ = 10;
};

class Services {
 public:
  virtual ~Services() = default;

  // Modal file-open dialog. `filter` has the "description | pattern" form of the window's
  // dialogs. Each dialog offers the path last chosen in it again. nullopt means cancelled.
  virtual std::optional<std::filesystem::path> runOpenDialog(const std::string& title,
                                                             const std::string& filter) = 0;
  // Modal file-save dialog without filter or default extension; replaces without asking.
  virtual std::optional<std::filesystem::path> runSaveDialog(const std::string& title) = 0;

  // Modal message box: the text (line breaks kept) and one "OK" button.
  virtual void showMessage(const std::string& text) = 0;
  // The same box for a failure the user has to act on (a file that cannot be read or written);
  // the window marks it with an error icon.
  virtual void showErrorMessage(const std::string& text) { showMessage(text); }

  // Handles every window message pending now and returns without waiting for new ones. A window
  // asked to close while a command runs throws Interrupted here.
  virtual void processMessages() = 0;
  // The same for work that goes on long without a progress step (Progress::poll): called for
  // every block of such work, it may handle the messages only every so often, as long as a
  // close is noticed within a fraction of a second.
  virtual void pollMessages() {}

  // The progress bar. The numbers are kept here, the same for every front end; each front end
  // shows them in progressChanged().
  void setProgressMinimum(std::int64_t value);
  void setProgressMaximum(std::int64_t value);
  void setProgressPosition(std::int64_t value);
  void setProgressStep(std::int64_t value);
  void stepProgress();
  const ProgressState& progress() const { return progress_; }

  // Every file the commands touch goes through this seam, so faults can be injected in tests.
  virtual FileSystem& fileSystem();

 protected:
  enum class ProgressChange { kMinimum, kMaximum, kPosition, kStep, kAdvance };
  // Called after each change of the bar's numbers; `change` says which call made it.
  virtual void progressChanged(ProgressChange change) = 0;

 private:
  ProgressState progress_;
};

// The progress of a command on the window's bar, by the contract every command follows.
class ServicesProgress final : public Progress {
 public:
  explicit ServicesProgress(Services& services) : services_(services) {}

  // Minimum 0, maximum `steps`, position 0, step 1, in this order.
  void startPhase(std::int64_t steps) override;
  // Pending messages first (where an interrupt is noticed), then one step of the bar.
  void step() override;
  // Services::pollMessages.
  void poll() override;
  // After the final message has been closed.
  void reset() { services_.setProgressPosition(0); }

 private:
  Services& services_;
};

}  // namespace elevara
