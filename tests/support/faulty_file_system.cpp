#include "tests/support/faulty_file_system.h"

namespace elevara::testing {
namespace {

bool NameContains(const std::filesystem::path& path, const std::string& text) {
  return !text.empty() && path.filename().string().find(text) != std::string::npos;
}

class CountingFile final : public RawFile {
 public:
  CountingFile(std::unique_ptr<RawFile> inner, FaultyFileSystem& owner)
      : inner_(std::move(inner)), owner_(owner) {
    ++owner_.openFiles;
  }
  ~CountingFile() override { --owner_.openFiles; }
  std::size_t read(void* buffer, std::size_t size, std::error_code& error) override {
    return inner_->read(buffer, size, error);
  }
  std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t size,
                     std::error_code& error) override {
    return inner_->readAt(offset, buffer, size, error);
  }
  std::size_t write(const void* data, std::size_t size, std::error_code& error) override {
    std::size_t allowed = size;
    if (owner_.failWritesAfter) {
      std::uint64_t room =
          owner_.written >= *owner_.failWritesAfter ? 0 : *owner_.failWritesAfter - owner_.written;
      if (room < size) allowed = static_cast<std::size_t>(room);
    }
    std::size_t put = inner_->write(data, allowed, error);
    owner_.written += put;
    if (!error && put < size) error = std::make_error_code(std::errc::no_space_on_device);
    return put;
  }
  void close(std::error_code& error) override { inner_->close(error); }

 private:
  std::unique_ptr<RawFile> inner_;
  FaultyFileSystem& owner_;
};

}  // namespace

std::unique_ptr<RawFile> FaultyFileSystem::openRead(const std::filesystem::path& path,
                                                    std::error_code& error) {
  if (NameContains(path, failOpenContaining)) {
    error = std::make_error_code(std::errc::permission_denied);
    return nullptr;
  }
  auto file = FileSystem::openRead(path, error);
  if (file == nullptr) return nullptr;
  return std::make_unique<CountingFile>(std::move(file), *this);
}

std::unique_ptr<RawFile> FaultyFileSystem::create(const std::filesystem::path& path,
                                                  std::error_code& error) {
  if (NameContains(path, failCreateContaining)) {
    error = std::make_error_code(std::errc::permission_denied);
    return nullptr;
  }
  auto file = FileSystem::create(path, error);
  if (file == nullptr) return nullptr;
  return std::make_unique<CountingFile>(std::move(file), *this);
}

void FaultyFileSystem::rename(const std::filesystem::path& from, const std::filesystem::path& to,
                              std::error_code& error) {
  if (NameContains(to, failRenameContaining)) {
    error = std::make_error_code(std::errc::permission_denied);
    return;
  }
  FileSystem::rename(from, to, error);
}

}  // namespace elevara::testing
