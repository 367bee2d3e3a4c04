// The services the main window gives a running command. The window supplies them through Qt;
// tests and the terminal front end supply their own, so no command ever talks to a GUI toolkit.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace elevara {

class FileSystem;

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

  // Handles every window message pending now and returns without waiting for new ones. The
  // terminal front end uses this point to notice an interrupt (it throws Interrupted).
  virtual void processMessages() = 0;

  // The progress bar.
  virtual void setProgressMinimum(std::int64_t value) = 0;
  virtual void setProgressMaximum(std::int64_t value) = 0;
  virtual void setProgressPosition(std::int64_t value) = 0;
  virtual void setProgressStep(std::int64_t value) = 0;
  virtual void stepProgress() = 0;

  // Every file the commands touch goes through this seam, so faults can be injected in tests.
  virtual FileSystem& fileSystem();
};

// The progress contract every command follows.
class Progress {
 public:
  explicit Progress(Services& services) : services_(services) {}

  // Minimum 0, maximum `steps`, position 0, step 1, in this order.
  void startPhase(std::int64_t steps);
  // Pending messages first, then one step of the bar.
  void step();
  // After the final message has been closed.
  void reset() { services_.setProgressPosition(0); }

 private:
  Services& services_;
};

}  // namespace elevara
