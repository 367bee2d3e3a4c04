// Services that do nothing a window would do: the open dialog answers with a fixed path, the
// save dialog with another, the last message is kept, progress goes nowhere. Benchmarks run the
// commands through it, and the tests' scripted services build on it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "commands/services.h"
#include "platform/file_system.h"

namespace elevara::testing {

class NullServices : public Services {
 public:
  NullServices() = default;
  explicit NullServices(std::optional<std::filesystem::path> open,
                        std::optional<std::filesystem::path> save = std::nullopt)
      : openAnswer(std::move(open)), saveAnswer(std::move(save)) {}

  std::optional<std::filesystem::path> openAnswer;
  std::optional<std::filesystem::path> saveAnswer;
  std::string lastMessage;
  FileSystem* files = &SystemFileSystem();

  std::optional<std::filesystem::path> runOpenDialog(const std::string&,
                                                     const std::string&) override {
    return openAnswer;
  }
  std::optional<std::filesystem::path> runSaveDialog(const std::string&) override {
    return saveAnswer;
  }
  void showMessage(const std::string& text) override { lastMessage = text; }
  void processMessages() override {}
  FileSystem& fileSystem() override { return *files; }

 protected:
  void progressChanged(ProgressChange) override {}
};

}  // namespace elevara::testing
