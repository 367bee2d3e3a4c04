// The window's services, given by a terminal: dialogs answered from the command line, message
// boxes printed, the progress bar drawn as one line on standard error, and Ctrl-C noticed where
// the window would process its messages.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "platform/services.h"

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

// What the command line answered in place of the two dialogs.
struct DialogAnswers {
  std::optional<std::filesystem::path> open;
  std::optional<std::filesystem::path> save;
};

class TerminalServices : public Services {
 public:
  // `messages` receives every message box's text; `progress` is null when nothing should be
  // drawn. `interruptSignal` is set (to the signal's number) by the front end's signal handler.
  TerminalServices(DialogAnswers answers, std::ostream& messages, ProgressLine* progress,
                   const volatile std::sig_atomic_t& interruptSignal);

  std::optional<std::filesystem::path> runOpenDialog(const std::string& title,
                                                     const std::string& filter) override;
  std::optional<std::filesystem::path> runSaveDialog(const std::string& title) override;
  void showMessage(const std::string& text) override;
  // Throws Interrupted once the interrupt signal has arrived.
  void processMessages() override;

  void clearProgress();

 protected:
  void progressChanged(ProgressChange change) override;

 private:
  DialogAnswers answers_;
  std::ostream& messages_;
  ProgressLine* progress_;
  const volatile std::sig_atomic_t& interruptSignal_;
};

}  // namespace elevara::cli
