// The FileSystem seam on POSIX systems: the calls of <unistd.h> and <fcntl.h>, each repeated
// when a signal interrupts it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_system.h"

namespace elevara {
namespace {

std::error_code LastError() {
  return {errno, std::generic_category()};
}

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
  std::size_t writeAt(std::uint64_t offset, const void* data, std::size_t size,
                      std::error_code& error) override {
    std::size_t done = Loop(size, error, [&](std::size_t done_so_far) {
      return ::pwrite(fd_, static_cast<const char*>(data) + done_so_far, size - done_so_far,
                      static_cast<off_t>(offset + done_so_far));
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

}  // namespace

std::unique_ptr<RawFile> FileSystem::openRead(const std::filesystem::path& path,
                                              std::error_code& error) {
  auto file = OpenPosix(path, O_RDONLY, error);
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
  return OpenPosix(path, O_WRONLY | O_CREAT | O_TRUNC, error);
}

std::unique_ptr<RawFile> FileSystem::createNew(const std::filesystem::path& path,
                                               std::filesystem::perms permissions,
                                               std::error_code& error) {
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
}

std::unique_ptr<RawFile> FileSystem::openWrite(const std::filesystem::path& path,
                                               std::error_code& error) {
  return OpenPosix(path, O_WRONLY, error);
}

void FileSystem::rename(const std::filesystem::path& from, const std::filesystem::path& to,
                        std::error_code& error) {
  std::filesystem::rename(from, to, error);
}

void FileSystem::renameDurably(const std::filesystem::path& from, const std::filesystem::path& to,
                               std::error_code& error) {
  std::filesystem::rename(from, to, error);
  if (!error) SyncFolder(to.parent_path(), error);
}

bool FileSystem::remove(const std::filesystem::path& path, std::error_code& error) {
  if (::unlink(path.c_str()) == 0) return true;
  if (errno != ENOENT) error = LastError();
  return false;
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

}  // namespace elevara
