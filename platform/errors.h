// Failures that leave a command. Each carries a class and a text the user can act on.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

namespace elevara {

// Why a file is refused where the system gives no reason of its own.
enum class FileFault {
  kNotRegularFile = 1,  // a FIFO, a device or the like: it may never open, or never end
  kTooLarge,            // larger than an input of its kind may be
  kFolderBusy,          // another run works in the folder
};

const std::error_category& FileFaultCategory();
std::error_code make_error_code(FileFault fault);

}  // namespace elevara

template <>
struct std::is_error_code_enum<elevara::FileFault> : std::true_type {};

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
enum class FileAction { kOpen, kCreate, kRead, kWrite, kRename, kRemove, kList, kClaim, kFill };

class FileError : public Error {
 public:
  // `detail`, when given, is a last line of its own (the room a folder lacks, and the like).
  FileError(FileAction action, const std::filesystem::path& path, std::error_code reason,
            const std::string& detail = {});
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

// The same reason, told as one of the system's temporary folder, where an archive inside an
// archive is inflated: the user must know it is not the folder being converted that failed.
// A reason with no generic condition (an unusual Windows code) is returned as it is.
std::error_code InTemporaryFolder(std::error_code reason);

// A path as the user should read it: UTF-8 with the platform's own separators.
std::string DisplayPath(const std::filesystem::path& path);

class Interrupted : public Error {
 public:
  Interrupted() : Error(ErrorKind::kInterrupted, "中断しました") {}

  // The outputs the interrupted work was still to write, when it knows them; each piece of work
  // adds its own on the way out.
  std::vector<std::filesystem::path> unwritten;
};

}  // namespace elevara
