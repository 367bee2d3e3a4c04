// Failures that leave a command. Each carries a class and a text the user can act on.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace elevara {

enum class ErrorKind {
  kBadInput,     // a typed number that is not an integer, and the like
  kFileIo,       // a file that cannot be opened, created, written, renamed or listed
  kInterrupted,  // the terminal front end was interrupted
};

class Error : public std::runtime_error {
 public:
  Error(ErrorKind kind, const std::string& text) : std::runtime_error(text), kind_(kind) {}
  ErrorKind kind() const { return kind_; }

 private:
  ErrorKind kind_;
};

// What went wrong with a file, in the words the user sees.
enum class FileAction { kOpen, kCreate, kRead, kWrite, kRename, kRemove, kList };

class FileError : public Error {
 public:
  FileError(FileAction action, const std::filesystem::path& path, std::error_code reason);
  FileAction action() const { return action_; }
  const std::filesystem::path& path() const { return path_; }
  std::error_code reason() const { return reason_; }

 private:
  FileAction action_;
  std::filesystem::path path_;
  std::error_code reason_;
};

// The first line of a FileError's text, by action ("ファイルを開けません" …).
std::string DescribeFileAction(FileAction action);

// The last line of a FileError's text: Japanese for the common reasons, the system's own text
// for the rest.
std::string DescribeReason(std::error_code reason);

// A path as the user should read it: UTF-8 with the platform's own separators.
std::string DisplayPath(const std::filesystem::path& path);

class Interrupted : public Error {
 public:
  Interrupted() : Error(ErrorKind::kInterrupted, "中断しました") {}
};

}  // namespace elevara
