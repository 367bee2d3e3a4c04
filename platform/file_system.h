// A thin seam over the operating system's file calls. Everything the commands read, write,
// rename, delete or list goes through a FileSystem, so tests can make any call fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace elevara {

// An open file at the level of the system calls: unbuffered, every call reports its error.
class RawFile {
 public:
  virtual ~RawFile() = default;
  // Sequential read; returns fewer than `size` bytes only at the end of the file or on error.
  virtual std::size_t read(void* buffer, std::size_t size, std::error_code& error) = 0;
  // Read from an absolute 64-bit position; does not move the sequential position.
  virtual std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t size,
                             std::error_code& error) = 0;
  // Sequential write; returns fewer than `size` bytes only on error.
  virtual std::size_t write(const void* data, std::size_t size, std::error_code& error) = 0;
  // Writes over bytes already written, from an absolute 64-bit position; the sequential position
  // stays where it was. Only files with positions (regular files) take it.
  virtual std::size_t writeAt(std::uint64_t offset, const void* data, std::size_t size,
                              std::error_code& error);
  // Puts what was written on the disk itself, so that it survives a power cut.
  virtual void syncData(std::error_code& error);
  // Sets the file's size to `size` bytes. Only regular files have a size to set.
  virtual void resize(std::uint64_t size, std::error_code& error);
  // Closing reports what a delayed write could not store (a full disk shows up here too).
  virtual void close(std::error_code& error) = 0;
};

// A folder taken by one run for as long as the object lives, or the process does: the operating
// system's own lock, which ends with the process however it ends.
class FolderClaim {
 public:
  virtual ~FolderClaim() = default;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens a regular file for reading. Anything else that a name can stand for (a FIFO, a
  // device) is refused with FileFault::kNotRegularFile before it can block or never end.
  virtual std::unique_ptr<RawFile> openRead(const std::filesystem::path& path,
                                            std::error_code& error);
  // Creates the file, or empties an existing one.
  virtual std::unique_ptr<RawFile> create(const std::filesystem::path& path,
                                          std::error_code& error);
  // Creates a file where nothing of that name exists yet (file_exists otherwise), with
  // `permissions` when they are not perms::unknown, else with those of any new file.
  virtual std::unique_ptr<RawFile> createNew(const std::filesystem::path& path,
                                             std::filesystem::perms permissions,
                                             std::error_code& error);
  // Opens an existing file for writing from its first byte on, neither creating nor emptying it.
  // A FIFO that nobody reads is an error (no_such_device_or_address), not a wait.
  virtual std::unique_ptr<RawFile> openWrite(const std::filesystem::path& path,
                                             std::error_code& error);
  // A file of the process's own in `folder`, or in the system's temporary folder when `folder`
  // is empty, for writing and then reading at positions: readable by the user alone from the
  // start and without a name, so that nothing of it is left once it is closed or the process
  // ends, a kill included.
  virtual std::unique_ptr<RawFile> createScratch(const std::filesystem::path& folder,
                                                 std::error_code& error);
  // Takes `folder` for one run; FileFault::kFolderBusy while another claim of it lives, in this
  // process or another. A file system that keeps no locks gives a claim that holds nothing.
  virtual std::unique_ptr<FolderClaim> claimFolder(const std::filesystem::path& folder,
                                                   std::error_code& error);
  // The bytes the user may still write on the file system that holds `path`.
  virtual std::uint64_t availableSpace(const std::filesystem::path& path, std::error_code& error);
  // Replaces `to` if it exists.
  virtual void rename(const std::filesystem::path& from, const std::filesystem::path& to,
                      std::error_code& error);
  // The same, and the new name is on the disk itself when it returns.
  virtual void renameDurably(const std::filesystem::path& from, const std::filesystem::path& to,
                             std::error_code& error);
  // Removes a file or a symbolic link, never a folder (that is the error is_a_directory).
  // Returns false (without error) when there was nothing to remove.
  virtual bool remove(const std::filesystem::path& path, std::error_code& error);
  // What std::filesystem's functions of these names tell, without exceptions. A name under which
  // nothing exists has the type not_found and is no error.
  virtual std::filesystem::file_status status(const std::filesystem::path& path,
                                              std::error_code& error);
  virtual std::filesystem::file_status symlinkStatus(const std::filesystem::path& path,
                                                     std::error_code& error);
  virtual std::filesystem::path readSymlink(const std::filesystem::path& path,
                                            std::error_code& error);
  // The size in bytes of the file at `path`.
  virtual std::uint64_t fileSize(const std::filesystem::path& path, std::error_code& error);
  // Bare names of every entry of the folder, of every kind, without "." and "..", in no order.
  virtual std::vector<std::string> listNames(const std::filesystem::path& folder,
                                             std::error_code& error);
};

// True for the error of opening a name under which nothing exists, as opposed to a file that is
// there but cannot be opened.
inline bool IsAbsent(std::error_code error) {
  return error == std::errc::no_such_file_or_directory;
}

// The operating system's own files. Stateless, so one instance serves everybody.
FileSystem& SystemFileSystem();

}  // namespace elevara
