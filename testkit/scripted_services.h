// Services for tests: dialogs are answered from queues, and every call the command makes on the
// window is recorded in order, as text, so a test can compare the whole sequence.
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "commands/command.h"
#include "testkit/null_services.h"

namespace elevara::testing {

// A report without the reasons in full-width parentheses that end the lines naming files, for
// tests that look at which files were named (the reasons have tests of their own).
inline std::string WithoutReasons(const std::string& report) {
  const std::regex reason("（.*）$", std::regex::ECMAScript | std::regex::multiline);
  return std::regex_replace(report, reason, "");
}

// The final report naming `skipped`, without reasons (see WithoutReasons).
inline std::string FinalReportNaming(const std::vector<std::filesystem::path>& skipped,
                                     std::string_view head = kFinishedMessage) {
  std::vector<SkippedInput> inputs;
  for (const std::filesystem::path& path : skipped) {
    inputs.push_back({path, SkipReason::kNotRead, {}});
  }
  return WithoutReasons(FinalReport(inputs, {}, head));
}

class ScriptedServices : public NullServices {
 public:
  // Answers, in order, for the open and save dialogs; nullopt cancels.
  std::deque<std::optional<std::filesystem::path>> openAnswers;
  std::deque<std::optional<std::filesystem::path>> saveAnswers;

  // "open <title> | <filter>", "save <title>", "message <text>", "min N", "max N", "pos N",
  // "step N". The per-step calls (processing messages, advancing the bar) are counted instead,
  // as they would drown the sequence.
  std::vector<std::string> calls;
  std::vector<std::string> messages;
  std::int64_t advances = 0;
  std::int64_t processCount = 0;

  // Called at every processMessages(); a test can interrupt or inspect files here.
  std::function<void()> onProcessMessages;
  // The same for pollMessages(), which work between steps calls.
  std::int64_t pollCount = 0;
  std::function<void()> onPollMessages;

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
    NullServices::showMessage(text);
  }
  void processMessages() override {
    ++processCount;
    if (onProcessMessages) onProcessMessages();
  }
  void pollMessages() override {
    ++pollCount;
    if (onPollMessages) onPollMessages();
  }

 protected:
  void progressChanged(ProgressChange change) override {
    switch (change) {
      case ProgressChange::kMinimum:
        return Record("min", progress().minimum());
      case ProgressChange::kMaximum:
        return Record("max", progress().maximum());
      case ProgressChange::kPosition:
        return Record("pos", progress().position());
      case ProgressChange::kStep:
        return Record("step", progress().step());
      case ProgressChange::kAdvance:
        ++advances;
        return;
    }
  }

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
