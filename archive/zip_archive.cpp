#include "archive/zip_archive.h"

#include <zip.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iterator>
#include <utility>

#include "archive/member_names.h"
#include "platform/errors.h"
#include "platform/progress.h"
#include "platform/unicode.h"

namespace elevara {
namespace {

class ArchiveErrorCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "archive"; }
  std::string message(int value) const override {
    switch (static_cast<ArchiveFault>(value)) {
      case ArchiveFault::kDamaged:
        return "書庫が壊れています";
      case ArchiveFault::kEncrypted:
        return "書庫が暗号化されています";
      case ArchiveFault::kUnsupported:
        return "書庫の形式に対応していません";
      case ArchiveFault::kTooLarge:
        return "展開すると大きすぎます";
      case ArchiveFault::kTooDeep:
        return "書庫の入れ子が深すぎます";
      case ArchiveFault::kNoSuchMember:
        return "書庫にありません";
    }
    return "書庫を読み込めません";
  }
};

// What libzip reads an archive through: a file read at absolute positions, with the reason of
// its last failure kept, since libzip itself keeps only a number.
struct ByteSource {
  std::unique_ptr<RawFile> file;
  std::uint64_t size = 0;
  std::uint64_t position = 0;
  zip_error_t error{};
  std::error_code fileError;
};

zip_int64_t ReadSource(ByteSource& source, void* data, zip_uint64_t length) {
  const std::uint64_t left = source.size - std::min(source.position, source.size);
  const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(length, left));
  std::error_code error;
  const std::size_t got = source.file->readAt(source.position, data, wanted, error);
  if (error) {
    source.fileError = error;
    zip_error_set(&source.error, ZIP_ER_READ, 0);
    return -1;
  }
  source.position += got;
  return static_cast<zip_int64_t>(got);
}

zip_int64_t SourceCallback(void* userdata, void* data, zip_uint64_t length,
                           zip_source_cmd_t command) {
  auto& source = *static_cast<ByteSource*>(userdata);
  switch (command) {
    case ZIP_SOURCE_OPEN:
      source.position = 0;
      return 0;
    case ZIP_SOURCE_READ:
      return ReadSource(source, data, length);
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_FREE:  // the source belongs to its archive, not to libzip
      return 0;
    case ZIP_SOURCE_STAT: {
      auto* stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &source.error);
      if (stat == nullptr) return -1;
      zip_stat_init(stat);
      stat->size = source.size;
      stat->valid |= ZIP_STAT_SIZE;
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&source.error, data, length);
    case ZIP_SOURCE_SEEK: {
      const zip_int64_t position =
          zip_source_seek_compute_offset(source.position, source.size, data, length, &source.error);
      if (position < 0) return -1;
      source.position = static_cast<std::uint64_t>(position);
      return 0;
    }
    case ZIP_SOURCE_TELL:
      return static_cast<zip_int64_t>(source.position);
    case ZIP_SOURCE_ACCEPT_EMPTY:  // an empty file is no archive
      return 0;
    case ZIP_SOURCE_SUPPORTS:
      return ZIP_SOURCE_SUPPORTS_SEEKABLE |
             ZIP_SOURCE_MAKE_COMMAND_BITMASK(ZIP_SOURCE_ACCEPT_EMPTY);
    default:
      zip_error_set(&source.error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

// The reason for a failure that libzip reports as `error`: the file's own reason when reading
// the file failed, otherwise what the archive's state tells.
std::error_code ReasonOf(const zip_error_t* error, const ByteSource& source) {
  switch (zip_error_code_zip(error)) {
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
    case ZIP_ER_TELL:
      if (source.fileError) return source.fileError;
      return std::make_error_code(std::errc::io_error);
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
    case ZIP_ER_ENCRNOTSUPP:
      return ArchiveFault::kEncrypted;
    case ZIP_ER_COMPNOTSUPP:
    case ZIP_ER_MULTIDISK:
    case ZIP_ER_OPNOTSUPP:
      return ArchiveFault::kUnsupported;
    case ZIP_ER_MEMORY:
      return std::make_error_code(std::errc::not_enough_memory);
    default:
      return ArchiveFault::kDamaged;
  }
}

// One member read through libzip. Never more bytes than the member declares come out: one byte
// more is asked for at most, so a member that inflates past its size is caught at the first
// byte over, and one that ends early is caught at its end.
class MemberStream final : public RawFile {
 public:
  MemberStream(std::shared_ptr<const void> archive, const ByteSource& source, zip_file_t* file,
               std::uint64_t size, bool seekable)
      : archive_(std::move(archive)),
        source_(source),
        file_(file),
        size_(size),
        seekable_(seekable) {}
  ~MemberStream() override { zip_fclose(file_); }

  std::size_t read(void* buffer, std::size_t size, std::error_code& error) override {
    if (failure_) {
      error = failure_;
      return 0;
    }
    if (libraryPosition_ != position_ && !seekTo(position_, error)) return 0;
    const std::uint64_t room = size_ - position_ + 1;
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(size, room));
    std::size_t got = readFromLibrary(buffer, wanted, error);
    position_ += got;
    if (!error && position_ > size_) fail(ArchiveFault::kDamaged, error);
    if (!error && got < wanted && position_ < size_) fail(ArchiveFault::kDamaged, error);
    if (error) got = 0;
    return got;
  }

  std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t size,
                     std::error_code& error) override {
    if (!seekable_) {
      error = std::make_error_code(std::errc::operation_not_supported);
      return 0;
    }
    if (offset >= size_) return 0;
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(size, size_ - offset));
    if (libraryPosition_ != offset && !seekTo(offset, error)) return 0;
    return readFromLibrary(buffer, wanted, error);
  }

  std::size_t write(const void*, std::size_t, std::error_code& error) override {
    error = std::make_error_code(std::errc::bad_file_descriptor);
    return 0;
  }
  void close(std::error_code&) override {}

 private:
  std::size_t readFromLibrary(void* buffer, std::size_t size, std::error_code& error) {
    std::size_t done = 0;
    while (done < size) {
      const zip_int64_t got = zip_fread(file_, static_cast<char*>(buffer) + done, size - done);
      if (got < 0) {
        fail(ReasonOf(zip_file_get_error(file_), source_), error);
        break;
      }
      if (got == 0) break;
      done += static_cast<std::size_t>(got);
    }
    libraryPosition_ += done;
    return done;
  }

  bool seekTo(std::uint64_t offset, std::error_code& error) {
    if (zip_fseek(file_, static_cast<zip_int64_t>(offset), SEEK_SET) != 0) {
      fail(ReasonOf(zip_file_get_error(file_), source_), error);
      return false;
    }
    libraryPosition_ = offset;
    return true;
  }

  // A failed stream stays failed: libzip's state after an error is not to be read on.
  void fail(std::error_code reason, std::error_code& error) {
    failure_ = reason;
    error = reason;
  }

  std::shared_ptr<const void> archive_;  // keeps the archive and everything under it open
  const ByteSource& source_;
  zip_file_t* file_;
  std::uint64_t size_;
  bool seekable_;
  std::uint64_t position_ = 0;
  std::uint64_t libraryPosition_ = 0;
  std::error_code failure_;
};

// Copies a member stream into its scratch file, all of it, polling `progress` between blocks;
// false and `error` when either side fails, a failure of the scratch file told as one of the
// temporary folder.
bool CopyStream(RawFile& from, RawFile& to, Progress* progress, std::uint64_t& copied,
                std::error_code& error) {
  std::vector<char> block(std::size_t{1} << 20);
  for (;;) {
    if (progress != nullptr) progress->poll();
    const std::size_t got = from.read(block.data(), block.size(), error);
    if (error) return false;
    if (got == 0) return true;
    to.write(block.data(), got, error);
    if (error) {
      error = InTemporaryFolder(error);
      return false;
    }
    copied += got;
  }
}

// One archive's reading of a scratch copy that several archives may read side by side: at
// positions only, which leaves the copy's file as it is for the others.
class ScratchReader : public RawFile {
 public:
  explicit ScratchReader(std::shared_ptr<ScratchCopy> copy) : copy_(std::move(copy)) {}
  std::size_t read(void*, std::size_t, std::error_code& error) override {
    error = std::make_error_code(std::errc::operation_not_supported);
    return 0;
  }
  std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t size,
                     std::error_code& error) override {
    return copy_->file().readAt(offset, buffer, size, error);
  }
  std::size_t write(const void*, std::size_t, std::error_code& error) override {
    error = std::make_error_code(std::errc::bad_file_descriptor);
    return 0;
  }
  void close(std::error_code&) override {}

 private:
  std::shared_ptr<ScratchCopy> copy_;
};

}  // namespace

const std::error_category& ArchiveCategory() {
  static const ArchiveErrorCategory category;
  return category;
}

std::error_code make_error_code(ArchiveFault fault) {
  return {static_cast<int>(fault), ArchiveCategory()};
}

bool IsZipName(std::string_view name) {
  constexpr std::string_view kSuffix = ".zip";
  if (name.size() < kSuffix.size()) return false;
  const std::string_view tail = name.substr(name.size() - kSuffix.size());
  return EqualIgnoringAsciiCase(tail, kSuffix);
}

// Everything an open archive holds on to, closed in the reverse order of opening: the library's
// handle, the file it reads (a scratch copy goes with it), the archive it lies in.
struct ZipArchive::Handle {
  std::shared_ptr<ZipArchive> parent;
  ByteSource source;
  zip_t* archive = nullptr;

  Handle() { zip_error_init(&source.error); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (archive != nullptr) zip_discard(archive);
    zip_error_fini(&source.error);
    source.file.reset();
  }
};

ZipArchive::ZipArchive(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}

ZipArchive::~ZipArchive() = default;

std::shared_ptr<ZipArchive> ZipArchive::Open(std::unique_ptr<RawFile> file, std::uint64_t size,
                                             std::error_code& error) {
  auto handle = std::make_unique<Handle>();
  handle->source.file = std::move(file);
  handle->source.size = size;
  std::shared_ptr<ZipArchive> archive(new ZipArchive(std::move(handle)));
  Handle& opened = *archive->handle_;

  zip_error_t openError;
  zip_error_init(&openError);
  zip_source_t* source = zip_source_function_create(SourceCallback, &opened.source, &openError);
  if (source != nullptr) {
    opened.archive = zip_open_from_source(source, ZIP_RDONLY, &openError);
    if (opened.archive == nullptr) zip_source_free(source);
  }
  if (opened.archive == nullptr) {
    error = ReasonOf(&openError, opened.source);
    zip_error_fini(&openError);
    return nullptr;
  }
  zip_error_fini(&openError);

  const zip_int64_t count = zip_get_num_entries(opened.archive, 0);
  archive->entries_.reserve(static_cast<std::size_t>(std::max<zip_int64_t>(count, 0)));
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t stat;
    const auto index = static_cast<zip_uint64_t>(i);
    const char* raw = zip_get_name(opened.archive, index, ZIP_FL_ENC_RAW);
    if (raw == nullptr || zip_stat_index(opened.archive, index, ZIP_FL_ENC_RAW, &stat) != 0) {
      error = ArchiveFault::kDamaged;
      return nullptr;
    }
    ArchiveEntry entry;
    entry.name = DecodeMemberName(raw);
    entry.size = stat.size;
    entry.directory = !entry.name.empty() && entry.name.back() == '/';
    entry.readableInPlace =
        stat.comp_method == ZIP_CM_STORE && stat.encryption_method == ZIP_EM_NONE;
    archive->entries_.push_back(std::move(entry));
  }
  return archive;
}

std::shared_ptr<ZipArchive> ZipArchive::OpenNested(const std::shared_ptr<ZipArchive>& parent,
                                                   std::size_t index, FileSystem& fs,
                                                   const ArchiveLimits& limits,
                                                   std::error_code& error) {
  const ArchiveEntry& entry = parent->entries().at(index);
  if (!entry.readableInPlace) {
    auto copy = InflateMember(parent, index, fs, limits, error);
    return copy == nullptr ? nullptr : OpenCopy(std::move(copy), error);
  }
  std::unique_ptr<RawFile> member = parent->openMember(index, limits.maxMemberBytes, error);
  if (member == nullptr) return nullptr;
  auto nested = Open(std::move(member), entry.size, error);
  if (nested != nullptr) nested->handle_->parent = parent;
  return nested;
}

std::shared_ptr<ScratchCopy> ZipArchive::InflateMember(const std::shared_ptr<ZipArchive>& parent,
                                                       std::size_t index, FileSystem& fs,
                                                       const ArchiveLimits& limits,
                                                       std::error_code& error) {
  std::unique_ptr<RawFile> member = parent->openMember(index, limits.maxMemberBytes, error);
  if (member == nullptr) return nullptr;
  // The temporary folder is everyone's: the copy is nobody else's to read, and has no name
  // that could outlive the process.
  std::unique_ptr<RawFile> copy = fs.createScratch(limits.scratchFolder, error);
  if (copy == nullptr) {
    error = InTemporaryFolder(error);
    return nullptr;
  }
  std::uint64_t copied = 0;
  if (!CopyStream(*member, *copy, limits.progress, copied, error)) return nullptr;
  return std::make_shared<ScratchCopy>(std::move(copy), copied);
}

std::shared_ptr<ZipArchive> ZipArchive::OpenCopy(std::shared_ptr<ScratchCopy> copy,
                                                 std::error_code& error) {
  const std::uint64_t size = copy->size();
  return Open(std::make_unique<ScratchReader>(std::move(copy)), size, error);
}

std::unique_ptr<RawFile> ZipArchive::openMember(std::size_t index, std::uint64_t maxBytes,
                                                std::error_code& error) {
  const ArchiveEntry& entry = entries_.at(index);
  if (entry.size > maxBytes) {
    error = ArchiveFault::kTooLarge;
    return nullptr;
  }
  zip_file_t* file = zip_fopen_index(handle_->archive, index, 0);
  if (file == nullptr) {
    error = ReasonOf(zip_get_error(handle_->archive), handle_->source);
    zip_error_clear(handle_->archive);
    return nullptr;
  }
  return std::make_unique<MemberStream>(shared_from_this(), handle_->source, file, entry.size,
                                        entry.readableInPlace);
}

}  // namespace elevara
