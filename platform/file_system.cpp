#include "platform/file_system.h"

#include <cerrno>
#include <cstdio>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace elevara {
namespace {

std::error_code LastError() {
  return {errno, std::generic_category()};
}

// The standard's functions report a name under which nothing exists as an error too.
std::filesystem::file_status UnlessAbsent(std::filesystem::file_status status,
                                          std::error_code& error) {
  if (status.type() == std::filesystem::file_type::not_found &&
      error == std::errc::no_such_file_or_directory) {
    error.clear();
  }
  return status;
}

#if defined(_WIN32)

std::error_code LastWindowsError() {
  return {static_cast<int>(GetLastError()), std::system_category()};
}

// A replaced file's new directory entry reaches the disk when the file is flushed through a
// handle of its own. Its data was flushed before the replacement, so a file that no longer
// opens for writing (the replaced file's read-only attribute passes to it) has lost nothing.
void FlushMetadataOf(const std::filesystem::path& path, std::error_code& error) {
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  if (!FlushFileBuffers(handle)) error = LastWindowsError();
  CloseHandle(handle);
}

// Windows has no pread; a FILE with 64-bit seeks and no buffer of its own does the same job,
// because every caller reads and writes in large blocks through its own buffer.
class StdioFile final : public RawFile {
 public:
  explicit StdioFile(std::FILE* file) : file_(file) { std::setvbuf(file_, nullptr, _IONBF, 0); }
  ~StdioFile() override {
    if (file_ != nullptr) std::fclose(file_);
  }
  std::size_t read(void* buffer, std::size_t size, std::error_code& error) override {
    std::size_t got = std::fread(buffer, 1, size, file_);
    if (got < size && std::ferror(file_)) error = LastError();
    return got;
  }
  std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t size,
                     std::error_code& error) override {
    __int64 here = _ftelli64(file_);
    if (_fseeki64(file_, static_cast<__int64>(offset), SEEK_SET) != 0) {
      error = LastError();
      return 0;
    }
    std::size_t got = read(buffer, size, error);
    _fseeki64(file_, here, SEEK_SET);
    return got;
  }
  std::size_t write(const void* data, std::size_t size, std::error_code& error) override {
    std::size_t put = std::fwrite(data, 1, size, file_);
    if (put < size) error = LastError();
    return put;
  }
  void syncData(std::error_code& error) override {
    if (std::fflush(file_) != 0) {
      error = LastError();
      return;
    }
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file_)));
    if (!FlushFileBuffers(handle)) error = LastWindowsError();
  }
  void resize(std::uint64_t size, std::error_code& error) override {
    if (errno_t failed = _chsize_s(_fileno(file_), static_cast<__int64>(size)); failed != 0) {
      error = {failed, std::generic_category()};
    }
  }
  void close(std::error_code& error) override {
    if (std::fclose(file_) != 0) error = LastError();
    file_ = nullptr;
  }

 private:
  std::FILE* file_;
};

std::unique_ptr<RawFile> OpenStdio(const std::filesystem::path& path, const wchar_t* mode,
                                   std::error_code& error) {
  std::FILE* file = _wfopen(path.c_str(), mode);
  if (file == nullptr) {
    error = LastError();
    return nullptr;
  }
  return std::make_unique<StdioFile>(file);
}

// For the opening modes that fopen has no letters for: exclusive creation, and writing without
// emptying. fdopen does not empty the file, whatever its mode says.
std::unique_ptr<RawFile> OpenForWriting(const std::filesystem::path& path, int flags,
                                        std::error_code& error) {
  int fd = -1;
  errno_t failed = _wsopen_s(&fd, path.c_str(), flags | _O_WRONLY | _O_BINARY | _O_NOINHERIT,
                             _SH_DENYNO, _S_IREAD | _S_IWRITE);
  if (failed != 0) {
    error = {failed, std::generic_category()};
    return nullptr;
  }
  std::FILE* file = _wfdopen(fd, L"wb");
  if (file == nullptr) {
    error = LastError();
    _close(fd);
    return nullptr;
  }
  return std::make_unique<StdioFile>(file);
}

// ReplaceFileW gives the new file the replaced one's attributes and access rights, which is
// what keeping the permission bits means on Windows; a target that does not exist yet is moved
// into place instead. Write-through makes the move itself reach the disk before it returns.
void ReplaceOrMove(const std::filesystem::path& from, const std::filesystem::path& to, bool durable,
                   std::error_code& error) {
  if (ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                   nullptr)) {
    if (durable) FlushMetadataOf(to, error);
    return;
  }
  DWORD flags = MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0);
  if (!MoveFileExW(from.c_str(), to.c_str(), flags)) error = LastWindowsError();
}

#else

class PosixFile final : public RawFile {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  std::size_t read(void* buffer, std::size_t size, std::error_code& error) override {
    return Loop(size, error, [&](std::size_t done) {
      return ::read(fd_, static_cast<char*>(buffer) + done, size - done);
    });
  }
  std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t size,
                     std::error_code& error) override {
    return Loop(size, error, [&](std::size_t done) {
      return ::pread(fd_, static_cast<char*>(buffer) + done, size - done,
                     static_cast<off_t>(offset + done));
    });
  }
  std::size_t write(const void* data, std::size_t size, std::error_code& error) override {
    std::size_t done = Loop(size, error, [&](std::size_t done_so_far) {
      return ::write(fd_, static_cast<const char*>(data) + done_so_far, size - done_so_far);
    });
    if (done < size && !error) error = std::make_error_code(std::errc::no_space_on_device);
    return done;
  }
  void syncData(std::error_code& error) override {
    while (::fdatasync(fd_) != 0) {
      if (errno == EINTR) continue;
      error = LastError();
      return;
    }
  }
  void resize(std::uint64_t size, std::error_code& error) override {
    while (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
      if (errno == EINTR) continue;
      error = LastError();
      return;
    }
  }
  void close(std::error_code& error) override {
    if (::close(fd_) != 0) error = LastError();
    fd_ = -1;
  }

 private:
  // Repeats a call until it has moved `size` bytes, met the end of the file or failed.
  template <typename Call>
  static std::size_t Loop(std::size_t size, std::error_code& error, Call call) {
    std::size_t done = 0;
    while (done < size) {
      ssize_t n = call(done);
      if (n < 0) {
        if (errno == EINTR) continue;
        error = LastError();
        break;
      }
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    return done;
  }

  int fd_;
};

int OpenDescriptor(const std::filesystem::path& path, int flags, std::error_code& error) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) error = LastError();
  return fd;
}

std::unique_ptr<RawFile> OpenPosix(const std::filesystem::path& path, int flags,
                                   std::error_code& error) {
  int fd = OpenDescriptor(path, flags, error);
  if (fd < 0) return nullptr;
  return std::make_unique<PosixFile>(fd);
}

// A rename is part of its folder: the folder's own data must reach the disk for the new name to
// survive a power cut. File systems that cannot sync a folder say so with EINVAL, and have
// nothing to sync there.
void SyncFolder(const std::filesystem::path& folder, std::error_code& error) {
  int fd = OpenDescriptor(folder.empty() ? std::filesystem::path(".") : folder,
                          O_RDONLY | O_DIRECTORY, error);
  if (fd < 0) return;
  while (::fsync(fd) != 0) {
    if (errno == EINTR) continue;
    if (errno != EINVAL) error = LastError();
    break;
  }
  ::close(fd);
}

#endif

}  // namespace

void RawFile::syncData(std::error_code& error) {
  error = std::make_error_code(std::errc::operation_not_supported);
}

void RawFile::resize(std::uint64_t, std::error_code& error) {
  error = std::make_error_code(std::errc::operation_not_supported);
}

std::unique_ptr<RawFile> FileSystem::openRead(const std::filesystem::path& path,
                                              std::error_code& error) {
#if defined(_WIN32)
  auto file = OpenStdio(path, L"rb", error);
#else
  auto file = OpenPosix(path, O_RDONLY, error);
#endif
  std::error_code ignored;
  if (file != nullptr && std::filesystem::is_directory(path, ignored)) {
    // A folder named like a tile opens on POSIX but cannot be read as one.
    error = std::make_error_code(std::errc::is_a_directory);
    return nullptr;
  }
  return file;
}

std::unique_ptr<RawFile> FileSystem::create(const std::filesystem::path& path,
                                            std::error_code& error) {
#if defined(_WIN32)
  return OpenStdio(path, L"wb", error);
#else
  return OpenPosix(path, O_WRONLY | O_CREAT | O_TRUNC, error);
#endif
}

std::unique_ptr<RawFile> FileSystem::createNew(const std::filesystem::path& path,
                                               std::filesystem::perms permissions,
                                               std::error_code& error) {
#if defined(_WIN32)
  (void)permissions;  // ReplaceFileW carries the replaced file's own over (see ReplaceOrMove)
  return OpenForWriting(path, _O_CREAT | _O_EXCL, error);
#else
  int fd = OpenDescriptor(path, O_WRONLY | O_CREAT | O_EXCL, error);
  if (fd < 0) return nullptr;
  auto file = std::make_unique<PosixFile>(fd);
  // Set after the creation, because the creation's mode passes through the umask.
  if (permissions != std::filesystem::perms::unknown &&
      ::fchmod(fd, static_cast<mode_t>(permissions & std::filesystem::perms::all)) != 0) {
    error = LastError();
    std::error_code ignored;
    file->close(ignored);
    ::unlink(path.c_str());
    return nullptr;
  }
  return file;
#endif
}

std::unique_ptr<RawFile> FileSystem::openWrite(const std::filesystem::path& path,
                                               std::error_code& error) {
#if defined(_WIN32)
  return OpenForWriting(path, 0, error);
#else
  return OpenPosix(path, O_WRONLY, error);
#endif
}

void FileSystem::rename(const std::filesystem::path& from, const std::filesystem::path& to,
                        std::error_code& error) {
#if defined(_WIN32)
  ReplaceOrMove(from, to, false, error);
#else
  std::filesystem::rename(from, to, error);
#endif
}

void FileSystem::renameDurably(const std::filesystem::path& from, const std::filesystem::path& to,
                               std::error_code& error) {
#if defined(_WIN32)
  ReplaceOrMove(from, to, true, error);
#else
  std::filesystem::rename(from, to, error);
  if (!error) SyncFolder(to.parent_path(), error);
#endif
}

bool FileSystem::remove(const std::filesystem::path& path, std::error_code& error) {
#if defined(_WIN32)
  if (std::filesystem::is_directory(std::filesystem::symlink_status(path, error))) {
    error = std::make_error_code(std::errc::is_a_directory);
    return false;
  }
  error.clear();
  return std::filesystem::remove(path, error);
#else
  if (::unlink(path.c_str()) == 0) return true;
  if (errno != ENOENT) error = LastError();
  return false;
#endif
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

std::vector<std::string> FileSystem::listNames(const std::filesystem::path& folder,
                                               std::error_code& error) {
  std::vector<std::string> names;
  std::filesystem::directory_iterator it(folder, error);
  for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    std::u8string name = it->path().filename().u8string();
    names.emplace_back(name.begin(), name.end());
  }
  return names;
}

FileSystem& SystemFileSystem() {
  static FileSystem system;
  return system;
}

}  // namespace elevara
