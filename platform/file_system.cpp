#include "platform/file_system.h"

#include <cerrno>
#include <cstdio>

#if defined(_WIN32)
#include <io.h>
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

#if defined(_WIN32)

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

std::unique_ptr<RawFile> OpenPosix(const std::filesystem::path& path, int flags,
                                   std::error_code& error) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error = LastError();
    return nullptr;
  }
  return std::make_unique<PosixFile>(fd);
}

#endif

}  // namespace

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

void FileSystem::rename(const std::filesystem::path& from, const std::filesystem::path& to,
                        std::error_code& error) {
  std::filesystem::rename(from, to, error);
}

bool FileSystem::remove(const std::filesystem::path& path, std::error_code& error) {
  return std::filesystem::remove(path, error);
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
