#include "testkit/faulty_file_system.h"

#include <algorithm>

#include "platform/files.h"
#include "platform/unicode.h"
#include "testkit/files.h"

namespace elevara::testing {
namespace {

bool NameContains(const std::filesystem::path& path, const std::string& text) {
  return !text.empty() && Utf8FromPath(path.filename()).find(text) != std::string::npos;
}

class CountingFile final : public RawFile {
 public:
  CountingFile(std::unique_ptr<RawFile> inner, FaultyFileSystem& owner,
               const std::filesystem::path& path)
      : inner_(std::move(inner)),
        owner_(owner),
        path_(path),
        limited_(owner.failWritesContaining.empty() ||
                 NameContains(path, owner.failWritesContaining)),
        discarded_(!owner.discardWritesOf.empty() &&
                   IsTemporaryFileOf(path, owner.discardWritesOf)),
        failsReads_(NameContains(path, owner.failReadsContaining)) {
    std::lock_guard lock(owner_.counting);
    ++owner_.openFiles;
  }
  ~CountingFile() override {
    std::lock_guard lock(owner_.counting);
    --owner_.openFiles;
  }
  std::size_t read(void* buffer, std::size_t size, std::error_code& error) override {
    if (failsReads_) return FailedRead(error);
    return inner_->read(buffer, size, error);
  }
  std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t size,
                     std::error_code& error) override {
    if (failsReads_) return FailedRead(error);
    return inner_->readAt(offset, buffer, size, error);
  }
  std::size_t write(const void* data, std::size_t size, std::error_code& error) override {
    return counted(size, error, [&](std::size_t allowed) {
      return discarded_ ? allowed : inner_->write(data, allowed, error);
    });
  }
  std::size_t writeAt(std::uint64_t offset, const void* data, std::size_t size,
                      std::error_code& error) override {
    return counted(size, error, [&](std::size_t allowed) {
      return discarded_ ? allowed : inner_->writeAt(offset, data, allowed, error);
    });
  }
  void syncData(std::error_code& error) override {
    if (owner_.syncsDoNothing) return;
    inner_->syncData(error);
    std::lock_guard lock(owner_.counting);
    if (!error) owner_.synced.push_back(path_);
  }
  void resize(std::uint64_t size, std::error_code& error) override { inner_->resize(size, error); }
  void close(std::error_code& error) override { inner_->close(error); }

 private:
  std::unique_ptr<RawFile> inner_;
  FaultyFileSystem& owner_;
  std::filesystem::path path_;
  bool limited_;    // counts towards failWritesAfter
  bool discarded_;  // its bytes never reach the disk
  bool failsReads_;

  // A write of `size` bytes, cut short where failWritesAfter says the disk is full.
  template <typename Write>
  std::size_t counted(std::size_t size, std::error_code& error, Write write) {
    // Writes of many workers count one after another, so that the limit falls at one byte.
    std::lock_guard lock(owner_.counting);
    std::size_t allowed = size;
    if (owner_.failWritesAfter && limited_) {
      std::uint64_t room =
          owner_.written >= *owner_.failWritesAfter ? 0 : *owner_.failWritesAfter - owner_.written;
      if (room < size) allowed = static_cast<std::size_t>(room);
    }
    std::size_t put = write(allowed);
    if (limited_) owner_.written += put;
    if (!error && put < size) error = std::make_error_code(std::errc::no_space_on_device);
    return put;
  }

  static std::size_t FailedRead(std::error_code& error) {
    error = std::make_error_code(std::errc::io_error);
    return 0;
  }
};

std::error_code Refused() {
  return std::make_error_code(std::errc::permission_denied);
}

}  // namespace

std::unique_ptr<RawFile> FaultyFileSystem::openRead(const std::filesystem::path& path,
                                                    std::error_code& error) {
  if (NameContains(path, failOpenContaining)) {
    error = Refused();
    return nullptr;
  }
  auto file = FileSystem::openRead(path, error);
  if (file == nullptr) return nullptr;
  return std::make_unique<CountingFile>(std::move(file), *this, path);
}

std::unique_ptr<RawFile> FaultyFileSystem::create(const std::filesystem::path& path,
                                                  std::error_code& error) {
  if (readOnly || NameContains(path, failCreateContaining)) {
    error = Refused();
    return nullptr;
  }
  auto file = FileSystem::create(path, error);
  if (file == nullptr) return nullptr;
  return std::make_unique<CountingFile>(std::move(file), *this, path);
}

std::unique_ptr<RawFile> FaultyFileSystem::createNew(const std::filesystem::path& path,
                                                     std::filesystem::perms permissions,
                                                     std::error_code& error) {
  if (readOnly || NameContains(path, failCreateContaining)) {
    error = Refused();
    return nullptr;
  }
  auto file = FileSystem::createNew(path, permissions, error);
  if (file == nullptr) return nullptr;
  return std::make_unique<CountingFile>(std::move(file), *this, path);
}

std::unique_ptr<RawFile> FaultyFileSystem::openWrite(const std::filesystem::path& path,
                                                     std::error_code& error) {
  if (NameContains(path, failCreateContaining)) {
    error = Refused();
    return nullptr;
  }
  auto file = FileSystem::openWrite(path, error);
  if (file == nullptr) return nullptr;
  return std::make_unique<CountingFile>(std::move(file), *this, path);
}

void FaultyFileSystem::rename(const std::filesystem::path& from, const std::filesystem::path& to,
                              std::error_code& error) {
  if (readOnly || NameContains(to, failRenameContaining)) {
    error = Refused();
    return;
  }
  FileSystem::rename(from, to, error);
  std::lock_guard lock(counting);
  if (!error) renamed.push_back({to.filename().string(), false});
}

void FaultyFileSystem::renameDurably(const std::filesystem::path& from,
                                     const std::filesystem::path& to, std::error_code& error) {
  if (readOnly || NameContains(to, failRenameContaining)) {
    error = Refused();
    return;
  }
  if (syncsDoNothing) {
    FileSystem::rename(from, to, error);
  } else {
    FileSystem::renameDurably(from, to, error);
  }
  std::lock_guard lock(counting);
  const bool wasSynced = std::find(synced.begin(), synced.end(), from) != synced.end();
  if (!error) renamed.push_back({to.filename().string(), wasSynced});
}

bool FaultyFileSystem::remove(const std::filesystem::path& path, std::error_code& error) {
  if (readOnly || NameContains(path, failRemoveContaining) ||
      (failRemovingTemporaryFiles && IsTemporaryFileName(path.filename().string()))) {
    error = Refused();
    return false;
  }
  return FileSystem::remove(path, error);
}

}  // namespace elevara::testing
