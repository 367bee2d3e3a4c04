// The FileSystem seam: what every system shares. file_system_posix.cpp and
// file_system_windows.cpp hold the system's own calls; the build takes one of them.
#include "platform/file_system.h"

namespace elevara {
namespace {

// The standard's functions report a name under which nothing exists as an error too.
std::filesystem::file_status UnlessAbsent(std::filesystem::file_status status,
                                          std::error_code& error) {
  if (status.type() == std::filesystem::file_type::not_found &&
      error == std::errc::no_such_file_or_directory) {
    error.clear();
  }
  return status;
}

}  // namespace

void RawFile::syncData(std::error_code& error) {
  error = std::make_error_code(std::errc::operation_not_supported);
}

std::size_t RawFile::writeAt(std::uint64_t, const void*, std::size_t, std::error_code& error) {
  error = std::make_error_code(std::errc::operation_not_supported);
  return 0;
}

void RawFile::resize(std::uint64_t, std::error_code& error) {
  error = std::make_error_code(std::errc::operation_not_supported);
}

std::filesystem::file_status FileSystem::status(const std::filesystem::path& path,
                                                std::error_code& error) {
  return UnlessAbsent(std::filesystem::status(path, error), error);
}

std::filesystem::file_status FileSystem::symlinkStatus(const std::filesystem::path& path,
                                                       std::error_code& error) {
  return UnlessAbsent(std::filesystem::symlink_status(path, error), error);
}

std::filesystem::path FileSystem::readSymlink(const std::filesystem::path& path,
                                              std::error_code& error) {
  return std::filesystem::read_symlink(path, error);
}

std::uint64_t FileSystem::fileSize(const std::filesystem::path& path, std::error_code& error) {
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  return error ? 0 : size;
}

std::uint64_t FileSystem::availableSpace(const std::filesystem::path& path,
                                         std::error_code& error) {
  const std::filesystem::space_info space = std::filesystem::space(path, error);
  return error ? 0 : space.available;
}

FileSystem& SystemFileSystem() {
  static FileSystem system;
  return system;
}

}  // namespace elevara
