// The FileSystem seam on POSIX systems: the calls of <unistd.h> and <fcntl.h>. A read or write
// that a signal cuts short fails with errc::interrupted instead of going on, so that an interrupt
// is not waited out behind a FIFO that never moves; the other calls are repeated.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/files.h"

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

// The random names of scratch files, where a file system has no unnamed ones; drawn again when
// one is taken, a few times at most.
constexpr int kScratchNameDraws = 8;

int OpenDescriptor(const std::filesystem::path& path, int flags, std::error_code& error,
                   mode_t mode = 0666) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) error = LastError();
  return fd;
}

// Opens without waiting: a FIFO opened for reading would wait for a writer, one opened for
// writing for a reader (ENXIO instead). What is opened then reads and writes as usual. Returns
// the descriptor, or -1 and `error`.
int OpenWithoutWaiting(const std::filesystem::path& path, int flags, std::error_code& error) {
  const int fd = OpenDescriptor(path, flags | O_NONBLOCK, error);
  if (fd < 0) return -1;
  const int status = ::fcntl(fd, F_GETFL);
  if (status == -1 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == -1) {
    error = LastError();
    ::close(fd);
    return -1;
  }
  return fd;
}

// Nothing but a regular file is an input: a FIFO may never end, a device never end or never
// give anything.
std::error_code RefusalOfInput(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return LastError();
  if (S_ISDIR(info.st_mode)) return std::make_error_code(std::errc::is_a_directory);
  if (!S_ISREG(info.st_mode)) return FileFault::kNotRegularFile;
  return {};
}

class PosixFolderClaim final : public FolderClaim {
 public:
  explicit PosixFolderClaim(int fd) : fd_(fd) {}
  ~PosixFolderClaim() override {
    if (fd_ >= 0) ::close(fd_);  // closing the last descriptor ends the lock
  }
  PosixFolderClaim(const PosixFolderClaim&) = delete;
  PosixFolderClaim& operator=(const PosixFolderClaim&) = delete;

 private:
  int fd_;
};

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
  const int fd = OpenWithoutWaiting(path, O_RDONLY, error);
  if (fd < 0) return nullptr;
  auto file = std::make_unique<PosixFile>(fd);
  // A folder named like a tile opens on POSIX too, but cannot be read as one.
  error = RefusalOfInput(fd);
  if (error) return nullptr;
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
  const int fd = OpenWithoutWaiting(path, O_WRONLY, error);
  if (fd < 0) return nullptr;
  return std::make_unique<PosixFile>(fd);
}

std::unique_ptr<RawFile> FileSystem::createScratch(const std::filesystem::path& folder,
                                                   std::error_code& error) {
  const std::filesystem::path where =
      folder.empty() ? std::filesystem::temp_directory_path(error) : folder;
  if (error) return nullptr;
#ifdef O_TMPFILE
  const int unnamed = OpenDescriptor(where, O_TMPFILE | O_RDWR, error, 0600);
  if (unnamed >= 0) return std::make_unique<PosixFile>(unnamed);
  // Only a file system that has no unnamed files goes on to a named one.
  if (error != std::errc::operation_not_supported && error != std::errc::is_a_directory &&
      error != std::errc::invalid_argument) {
    return nullptr;
  }
#endif
  for (int draw = 0; draw < kScratchNameDraws; ++draw) {
    error.clear();
    const std::filesystem::path name = where / ("elevara-" + RandomHexDigits() + ".scratch");
    const int fd = OpenDescriptor(name, O_RDWR | O_CREAT | O_EXCL, error, 0600);
    if (fd >= 0) {
      ::unlink(name.c_str());  // the open descriptor keeps the file as long as it is needed
      return std::make_unique<PosixFile>(fd);
    }
    if (error != std::errc::file_exists) break;
  }
  return nullptr;
}

// The lock is the folder's own (flock on its descriptor): nothing is added to the folder, and
// nothing can go stale, since the lock ends with the last descriptor of the process.
std::unique_ptr<FolderClaim> FileSystem::claimFolder(const std::filesystem::path& folder,
                                                     std::error_code& error) {
  const int fd = OpenDescriptor(folder.empty() ? std::filesystem::path(".") : folder,
                                O_RDONLY | O_DIRECTORY, error);
  if (fd < 0) return nullptr;
  auto claim = std::make_unique<PosixFolderClaim>(fd);
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked == 0) return claim;
  if (errno == EWOULDBLOCK) {
    error = FileFault::kFolderBusy;
    return nullptr;
  }
  // A file system without locks (ENOLCK, EOPNOTSUPP, a network one's EBADF): the run goes on
  // unguarded rather than not at all.
  return claim;
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
