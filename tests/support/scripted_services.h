// Services for tests: dialogs are answered from queues, and every call the command makes on the
// window is recorded in order, as text, so a test can compare the whole sequence.
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/services.h"

namespace elevara::testing {

class ScriptedServices : public Services {
 public:
  // Answers, in order, for the open and save dialogs; nullopt cancels.
  std::deque<std::optional<std::filesystem::path>> openAnswers;
  std::deque<std::optional<std::filesystem::path>> saveAnswers;

  // "open <title> | <filter>", "save <title>", "message <text>", "process", "min N", "max N",
  // "pos N", "step N", "advance".
  std::vector<std::string> calls;
  std::vector<std::string> messages;
  std::int64_t advances = 0;
  std::int64_t position = 0;
  std::int64_t maximum = 100;

  // Called at every processMessages(); a test can interrupt or inspect files here.
  std::function<void()> onProcessMessages;

  FileSystem* files = &SystemFileSystem();

  std::optional<std::filesystem::path> runOpenDialog(const std::string& title,
                                                     const std::string& filter) override {
    calls.push_back("open " + title + " | " + filter);
    return Next(openAnswers);
  }
  std::optional<std::filesystem::path> runSaveDialog(const std::string& title) override {
    calls.push_back("save " + title);
    return Next(saveAnswers);
  }
  void showMessage(const std::string& text) override {
    calls.push_back("message " + text);
    messages.push_back(text);
  }
  void processMessages() override {
    ++processCount;
    if (onProcessMessages) onProcessMessages();
  }
  void setProgressMinimum(std::int64_t value) override { Record("min", value); }
  void setProgressMaximum(std::int64_t value) override {
    maximum = value;
    Record("max", value);
  }
  void setProgressPosition(std::int64_t value) override {
    position = value;
    Record("pos", value);
  }
  void setProgressStep(std::int64_t value) override { Record("step", value); }
  void stepProgress() override {
    ++advances;
    ++position;
  }
  FileSystem& fileSystem() override { return *files; }

  // Calls other than the per-step ones (process, advance), which would drown the sequence.
  std::int64_t processCount = 0;

 private:
  static std::optional<std::filesystem::path> Next(
      std::deque<std::optional<std::filesystem::path>>& answers) {
    if (answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void Record(const char* what, std::int64_t value) {
    calls.push_back(std::string(what) + " " + std::to_string(value));
  }
};

}  // namespace elevara::testing
