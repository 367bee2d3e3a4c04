#include "platform/files.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <utility>

#include "platform/errors.h"
#include "platform/unicode.h"

namespace elevara {
namespace {

constexpr std::size_t kWriteBufferSize = 1 << 20;
constexpr std::size_t kLineBufferSize = 1 << 18;

constexpr std::string_view kTemporaryMarker = ".elevara-part-";
constexpr std::size_t kTemporaryDigits = 16;
// The longest file name of the usual file systems, in bytes of UTF-8 (ext4) or in UTF-16 units
// (NTFS), which a UTF-8 name never has more of than bytes.
constexpr std::size_t kMaxNameBytes = 255;
// As many as Linux follows before it gives up with ELOOP.
constexpr int kMaxLinkHops = 40;
// Another run's temporary file under a freshly drawn name is so unlikely that a few draws only
// guard against a broken random source.
constexpr int kTemporaryNameDraws = 8;

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// The file `target` stands for: every symbolic link followed, a relative link read from the
// link's own folder. The name itself when it is no link, also when nothing exists under it.
std::filesystem::path FollowLinks(FileSystem& fs, const std::filesystem::path& target) {
  std::filesystem::path current = target;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    std::error_code error;
    const std::filesystem::file_status status = fs.symlinkStatus(current, error);
    if (error) throw FileError(FileAction::kCreate, target, error);
    if (!std::filesystem::is_symlink(status)) return current;
    std::filesystem::path link = fs.readSymlink(current, error);
    if (error) throw FileError(FileAction::kCreate, target, error);
    current = link.is_absolute() ? link : current.parent_path() / link;
  }
  throw FileError(FileAction::kCreate, target,
                  std::make_error_code(std::errc::too_many_symbolic_link_levels));
}

// A refusal of the folder, not of the file: an existing file in it may still be writable.
bool FolderRefusesNewFiles(std::error_code error) {
  return error == std::errc::permission_denied || error == std::errc::operation_not_permitted ||
         error == std::errc::read_only_file_system;
}

std::unique_ptr<RawFile> CreateTemporary(FileSystem& fs, const std::filesystem::path& destination,
                                         std::filesystem::perms permissions,
                                         std::filesystem::path& temp, std::error_code& error) {
  for (int draw = 0; draw < kTemporaryNameDraws; ++draw) {
    error.clear();
    temp = TemporaryPathFor(destination);
    if (auto file = fs.createNew(temp, permissions, error)) return file;
    if (error != std::errc::file_exists) break;
  }
  return nullptr;
}

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

OutputFile OutputFile::CreateNew(FileSystem& fs, const std::filesystem::path& path,
                                 const std::filesystem::path& reportedPath) {
  const std::filesystem::path& name = reportedPath.empty() ? path : reportedPath;
  std::error_code error;
  auto file = fs.createNew(path, std::filesystem::perms::unknown, error);
  if (file == nullptr) {
    std::error_code ignored;
    if (error == std::errc::file_exists &&
        std::filesystem::is_directory(fs.symlinkStatus(path, ignored))) {
      error = std::make_error_code(std::errc::is_a_directory);
    }
    throw FileError(FileAction::kCreate, name, error);
  }
  return OutputFile(std::move(file), name);
}

OutputFile::OutputFile(std::unique_ptr<RawFile> file, std::filesystem::path path)
    : file_(std::move(file)), path_(std::move(path)) {}

OutputFile::~OutputFile() = default;  // an unclosed file is dropped: its RawFile closes it

void OutputFile::write(const void* data, std::size_t size) {
  if (used_ + size > kWriteBufferSize) {
    flush();
    if (size >= kWriteBufferSize) {
      writeUnbuffered(data, size);
      return;
    }
  }
  if (buffer_.empty()) buffer_.resize(kWriteBufferSize);
  std::memcpy(buffer_.data() + used_, data, size);
  used_ += size;
}

void OutputFile::writeUnbuffered(const void* data, std::size_t size) {
  flush();
  std::error_code error;
  position_ += file_->write(data, size, error);
  if (error) throw FileError(FileAction::kWrite, path_, error);
}

void OutputFile::writeLine(std::string_view text) {
  write(text);
  write("\r\n", 2);
}

void OutputFile::overwrite(std::uint64_t offset, const void* data, std::size_t size) {
  flush();
  std::error_code error;
  if (offset > position_ || size > position_ - offset) {
    error = std::make_error_code(std::errc::invalid_argument);
  } else {
    file_->writeAt(offset, data, size, error);
  }
  if (error) throw FileError(FileAction::kWrite, path_, error);
}

void OutputFile::flush() {
  if (used_ == 0) return;
  std::error_code error;
  position_ += file_->write(buffer_.data(), used_, error);
  used_ = 0;
  if (error) throw FileError(FileAction::kWrite, path_, error);
}

void OutputFile::sync() {
  flush();
  std::error_code error;
  file_->syncData(error);
  if (error) throw FileError(FileAction::kWrite, path_, error);
}

void OutputFile::endHere() {
  flush();
  std::error_code error;
  file_->resize(position_, error);
  if (error) throw FileError(FileAction::kWrite, path_, error);
}

void OutputFile::close() {
  flush();
  std::error_code error;
  file_->close(error);
  file_.reset();
  if (error) throw FileError(FileAction::kWrite, path_, error);
}

std::string RandomHexDigits() {
#if defined(__linux__) && defined(__GLIBCXX__)
  // The system's entropy call itself: the default source asks the processor first, which costs a
  // virtual machine some tens of microseconds for every name, more than writing a small tile.
  std::random_device random("getentropy");
#else
  std::random_device random;
#endif
  std::uint64_t bits = (std::uint64_t{random()} << 32) ^ random();
  std::string digits(kTemporaryDigits, '0');
  for (char& digit : digits) {
    digit = "0123456789abcdef"[bits >> 60];
    bits <<= 4;
  }
  return digits;
}

std::filesystem::path TemporaryPathFor(const std::filesystem::path& target) {
  const std::size_t room = kMaxNameBytes - kTemporaryMarker.size() - kTemporaryDigits;
  std::string name(Utf8Prefix(Utf8FromPath(target.filename()), room));
  name += kTemporaryMarker;
  name += RandomHexDigits();
  return target.parent_path() / PathFromUtf8(name);
}

bool IsTemporaryFileName(std::string_view name) {
  const std::size_t marker = name.rfind(kTemporaryMarker);
  if (marker == std::string_view::npos) return false;
  const std::string_view digits = name.substr(marker + kTemporaryMarker.size());
  return digits.size() == kTemporaryDigits && std::all_of(digits.begin(), digits.end(), IsHexDigit);
}

AtomicOutputFile AtomicOutputFile::Create(FileSystem& fs, const std::filesystem::path& target,
                                          Durability durability) {
  const bool working = durability == Durability::kWorkingFile;
  Route route{working ? target : FollowLinks(fs, target), {}, true};
  std::error_code error;
  const std::filesystem::file_status status =
      working ? fs.symlinkStatus(target, error) : fs.status(route.destination, error);
  if (error) throw FileError(FileAction::kCreate, target, error);
  if (std::filesystem::is_directory(status)) {
    throw FileError(FileAction::kCreate, target, std::make_error_code(std::errc::is_a_directory));
  }
  // A link or a FIFO under a working file's name is replaced as if nothing stood there.
  const bool exists =
      working ? std::filesystem::is_regular_file(status) : std::filesystem::exists(status);
  if (exists && !std::filesystem::is_regular_file(status)) {
    route.regular = false;
    return WriteInPlace(fs, target, std::move(route), durability);
  }
  const auto permissions = exists ? status.permissions() : std::filesystem::perms::unknown;
  auto temp = CreateTemporary(fs, route.destination, permissions, route.temp, error);
  if (temp != nullptr) {
    return AtomicOutputFile(fs, target, std::move(route), durability,
                            OutputFile(std::move(temp), target));
  }
  if (!exists || !FolderRefusesNewFiles(error)) throw FileError(FileAction::kCreate, target, error);
  route.temp.clear();
  return WriteInPlace(fs, target, std::move(route), durability);
}

AtomicOutputFile AtomicOutputFile::WriteInPlace(FileSystem& fs, const std::filesystem::path& target,
                                                Route route, Durability durability) {
  std::error_code error;
  auto file = fs.openWrite(route.destination, error);
  if (file == nullptr) throw FileError(FileAction::kCreate, target, error);
  return AtomicOutputFile(fs, target, std::move(route), durability,
                          OutputFile(std::move(file), target));
}

AtomicOutputFile::AtomicOutputFile(FileSystem& fs, std::filesystem::path target, Route route,
                                   Durability durability, OutputFile file)
    : fs_(&fs),
      target_(std::move(target)),
      route_(std::move(route)),
      durability_(durability),
      file_(std::move(file)) {}

AtomicOutputFile::AtomicOutputFile(AtomicOutputFile&& other) noexcept
    : fs_(std::exchange(other.fs_, nullptr)),
      target_(std::move(other.target_)),
      route_(std::move(other.route_)),
      durability_(other.durability_),
      file_(std::move(other.file_)),
      committed_(other.committed_) {}

AtomicOutputFile::~AtomicOutputFile() {
  if (fs_ == nullptr || committed_) return;  // moved from, or done
  if (inPlace()) {
    abandonInPlace();
    return;
  }
  file_.reset();
  std::error_code ignored;
  fs_->remove(route_.temp, ignored);
}

// What reached the file stays; the rest of the earlier content goes, so that the file does not
// pass for a whole one of its old length. A file nothing reached is left as it was.
void AtomicOutputFile::abandonInPlace() noexcept {
  if (file_ && file_->file_ && route_.regular && file_->position_ > 0) {
    std::error_code ignored;
    file_->file_->resize(file_->position_, ignored);
  }
  file_.reset();
}

void AtomicOutputFile::commit() {
  if (inPlace() && route_.regular) file_->endHere();
  if (durability_ == Durability::kFinalOutput && route_.regular) file_->sync();
  file_->close();
  file_.reset();
  if (!inPlace()) {
    std::error_code error;
    if (durability_ == Durability::kFinalOutput) {
      fs_->renameDurably(route_.temp, route_.destination, error);
    } else {
      fs_->rename(route_.temp, route_.destination, error);
    }
    if (error) throw FileError(FileAction::kRename, target_, error);
  }
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

void RemoveFile(FileSystem& fs, const std::filesystem::path& path) {
  std::error_code error;
  fs.remove(path, error);
  if (error) throw FileError(FileAction::kRemove, path, error);
}

}  // namespace elevara
