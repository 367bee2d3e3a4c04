// A FileSystem that passes everything to the real one until told to fail: a write after N
// bytes, a rename, a create, an open, at chosen paths.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include "platform/file_system.h"

namespace elevara::testing {

class FaultyFileSystem : public FileSystem {
 public:
  // Writes fail with ENOSPC once this many bytes have been written in all files created.
  std::optional<std::uint64_t> failWritesAfter;
  // Calls fail with EACCES (creates, renames) when the path's name contains this text.
  std::string failCreateContaining;
  std::string failRenameContaining;
  std::string failOpenContaining;
  std::uint64_t written = 0;
  int openFiles = 0;

  std::unique_ptr<RawFile> openRead(const std::filesystem::path& path,
                                    std::error_code& error) override;
  std::unique_ptr<RawFile> create(const std::filesystem::path& path,
                                  std::error_code& error) override;
  void rename(const std::filesystem::path& from, const std::filesystem::path& to,
              std::error_code& error) override;
};

}  // namespace elevara::testing
