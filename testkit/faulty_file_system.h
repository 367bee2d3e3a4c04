// A FileSystem that passes everything to the real one until told to fail: a write after N
// bytes, a rename, a create, an open, at chosen paths.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/file_system.h"

namespace elevara::testing {

class FaultyFileSystem : public FileSystem {
 public:
  // Writes fail with ENOSPC once this many bytes have been written in all files created, or,
  // when failWritesContaining is set, in the files whose name contains that text.
  std::optional<std::uint64_t> failWritesAfter;
  std::string failWritesContaining;
  // Calls fail with EACCES (creates, renames, removes, opens) when the path's name contains this
  // text; a rename is matched by its new name. A refused create refuses every opening for
  // writing, an existing file's too.
  std::string failCreateContaining;
  std::string failRenameContaining;
  std::string failRemoveContaining;
  bool failRemovingTemporaryFiles = false;  // of AtomicOutputFile
  std::string failOpenContaining;
  // Reads of files whose name contains this text fail with EIO.
  std::string failReadsContaining;
  // The folder has turned read-only: every create, rename and remove fails with EACCES, while
  // files already there stay writable, as after "chmod a-w" (which root would not notice).
  bool readOnly = false;
  // Bytes written to the temporary files of the output of this name are counted but not stored,
  // which keeps the large mosaics of fault tests off the disk.
  std::string discardWritesOf;
  // Syncs and durable renames go no further than the cache: the disk as a program that never
  // syncs sees it, which is what the benchmarks measure the cost of syncing against.
  bool syncsDoNothing = false;
  // The room the file system tells of, when set.
  std::optional<std::uint64_t> availableBytes;
  std::uint64_t written = 0;
  int openFiles = 0;
  // The names that took their place by a rename, in order, each marked by whether the file's
  // data was synced first and the rename was a durable one.
  struct Renamed {
    std::string name;
    bool durable = false;
    bool operator==(const Renamed&) const = default;
  };
  std::vector<Renamed> renamed;
  std::vector<std::filesystem::path> synced;  // every file whose data was synced
  // Guards the counts and lists above while workers of a run use the seam side by side.
  std::mutex counting;

  std::unique_ptr<RawFile> openRead(const std::filesystem::path& path,
                                    std::error_code& error) override;
  std::unique_ptr<RawFile> create(const std::filesystem::path& path,
                                  std::error_code& error) override;
  std::unique_ptr<RawFile> createNew(const std::filesystem::path& path,
                                     std::filesystem::perms permissions,
                                     std::error_code& error) override;
  std::unique_ptr<RawFile> openWrite(const std::filesystem::path& path,
                                     std::error_code& error) override;
  void rename(const std::filesystem::path& from, const std::filesystem::path& to,
              std::error_code& error) override;
  void renameDurably(const std::filesystem::path& from, const std::filesystem::path& to,
                     std::error_code& error) override;
  bool remove(const std::filesystem::path& path, std::error_code& error) override;
  std::uint64_t availableSpace(const std::filesystem::path& path, std::error_code& error) override {
    return availableBytes ? *availableBytes : FileSystem::availableSpace(path, error);
  }
};

}  // namespace elevara::testing
