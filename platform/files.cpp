#include "platform/files.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/errors.h"

namespace elevara {
namespace {

constexpr std::size_t kWriteBufferSize = 1 << 20;
constexpr std::size_t kLineBufferSize = 1 << 18;
constexpr std::string_view kTemporarySuffix = ".elevara-part";

}  // namespace

InputFile InputFile::Open(FileSystem& fs, const std::filesystem::path& path) {
  std::error_code error;
  auto file = fs.openRead(path, error);
  if (file == nullptr) throw FileError(FileAction::kOpen, path, error);
  return InputFile(std::move(file), path);
}

std::optional<InputFile> InputFile::OpenIfPresent(FileSystem& fs,
                                                  const std::filesystem::path& path) {
  std::error_code error;
  auto file = fs.openRead(path, error);
  if (file != nullptr) return InputFile(std::move(file), path);
  if (IsAbsent(error)) return std::nullopt;
  throw FileError(FileAction::kOpen, path, error);
}

std::size_t InputFile::read(void* buffer, std::size_t size) {
  std::error_code error;
  std::size_t got = file_->read(buffer, size, error);
  if (error) throw FileError(FileAction::kRead, path_, error);
  return got;
}

std::size_t InputFile::readAt(std::uint64_t offset, void* buffer, std::size_t size) {
  std::error_code error;
  std::size_t got = file_->readAt(offset, buffer, size, error);
  if (error) throw FileError(FileAction::kRead, path_, error);
  return got;
}

OutputFile OutputFile::Create(FileSystem& fs, const std::filesystem::path& path,
                              const std::filesystem::path& reportedPath) {
  const std::filesystem::path& name = reportedPath.empty() ? path : reportedPath;
  std::error_code error;
  auto file = fs.create(path, error);
  if (file == nullptr) throw FileError(FileAction::kCreate, name, error);
  return OutputFile(std::move(file), name);
}

OutputFile::OutputFile(std::unique_ptr<RawFile> file, std::filesystem::path path)
    : file_(std::move(file)), path_(std::move(path)), buffer_(kWriteBufferSize) {}

OutputFile::~OutputFile() = default;  // an unclosed file is dropped: its RawFile closes it

void OutputFile::write(const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  if (used_ + size > buffer_.size()) {
    flush();
    if (size >= buffer_.size()) {
      std::error_code error;
      file_->write(bytes, size, error);
      if (error) throw FileError(FileAction::kWrite, path_, error);
      return;
    }
  }
  std::memcpy(buffer_.data() + used_, bytes, size);
  used_ += size;
}

void OutputFile::writeLine(std::string_view text) {
  write(text);
  write("\r\n", 2);
}

void OutputFile::flush() {
  if (used_ == 0) return;
  std::error_code error;
  file_->write(buffer_.data(), used_, error);
  used_ = 0;
  if (error) throw FileError(FileAction::kWrite, path_, error);
}

void OutputFile::close() {
  flush();
  std::error_code error;
  file_->close(error);
  file_.reset();
  if (error) throw FileError(FileAction::kWrite, path_, error);
}

std::filesystem::path TemporaryPathFor(const std::filesystem::path& target) {
  std::filesystem::path temp = target;
  temp += kTemporarySuffix;
  return temp;
}

bool IsTemporaryFileName(std::string_view name) {
  return name.size() > kTemporarySuffix.size() && name.ends_with(kTemporarySuffix);
}

AtomicOutputFile AtomicOutputFile::Create(FileSystem& fs, const std::filesystem::path& target) {
  std::filesystem::path temp = TemporaryPathFor(target);
  OutputFile file = OutputFile::Create(fs, temp, target);
  return AtomicOutputFile(fs, target, std::move(temp), std::move(file));
}

AtomicOutputFile::AtomicOutputFile(FileSystem& fs, std::filesystem::path target,
                                   std::filesystem::path temp, OutputFile file)
    : fs_(&fs), target_(std::move(target)), temp_(std::move(temp)), file_(std::move(file)) {}

AtomicOutputFile::AtomicOutputFile(AtomicOutputFile&& other) noexcept
    : fs_(std::exchange(other.fs_, nullptr)),
      target_(std::move(other.target_)),
      temp_(std::move(other.temp_)),
      file_(std::move(other.file_)),
      committed_(other.committed_) {}

AtomicOutputFile::~AtomicOutputFile() {
  if (fs_ == nullptr || committed_) return;  // moved from, or done
  file_.reset();
  std::error_code ignored;
  fs_->remove(temp_, ignored);
}

void AtomicOutputFile::commit() {
  file_->close();
  file_.reset();
  std::error_code error;
  fs_->rename(temp_, target_, error);
  if (error) throw FileError(FileAction::kRename, target_, error);
  committed_ = true;
}

LineReader::LineReader(InputFile file) : file_(std::move(file)), buffer_(kLineBufferSize) {}

bool LineReader::refill() {
  if (eof_) return false;
  end_ = file_.read(buffer_.data(), buffer_.size());
  begin_ = 0;
  if (end_ < buffer_.size()) eof_ = true;
  return end_ > 0;
}

bool LineReader::next(std::string_view& line) {
  carry_.clear();
  bool any = false;
  for (;;) {
    if (begin_ == end_ && !refill()) {
      if (!any) return false;
      break;  // last line without LF
    }
    any = true;
    const char* start = buffer_.data() + begin_;
    const char* stop = buffer_.data() + end_;
    const char* lf = static_cast<const char*>(std::memchr(start, '\n', stop - start));
    if (lf != nullptr) {
      begin_ = static_cast<std::size_t>(lf - buffer_.data()) + 1;
      if (carry_.empty()) {
        line = std::string_view(start, lf - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return true;
      }
      carry_.append(start, lf);
      break;
    }
    carry_.append(start, stop);
    begin_ = end_;
  }
  line = carry_;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return true;
}

std::filesystem::path PathFromUtf8(std::string_view name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

void RemoveFile(FileSystem& fs, const std::filesystem::path& path) {
  std::error_code error;
  fs.remove(path, error);
  if (error) throw FileError(FileAction::kRemove, path, error);
}

}  // namespace elevara
