// ZIP archives read with libzip, every byte of them through the FileSystem seam: an archive is
// opened over a file read at absolute positions, and a member is read as a stream that never
// gives more bytes than the member declares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

#include "platform/file_system.h"

namespace elevara {

class Progress;

// Why an archive or a member cannot be read, where the system gives no reason of its own.
enum class ArchiveFault {
  kDamaged = 1,   // not a ZIP, cut short, or failing its own checks
  kEncrypted,     // needs a password
  kUnsupported,   // a compression method or archive feature the library cannot read
  kTooLarge,      // a member that inflates past the bound
  kTooDeep,       // an archive nested deeper than the bound
  kNoSuchMember,  // a location that names no member
};

const std::error_category& ArchiveCategory();
std::error_code make_error_code(ArchiveFault fault);

}  // namespace elevara

template <>
struct std::is_error_code_enum<elevara::ArchiveFault> : std::true_type {};

namespace elevara {

// The bounds that keep a hostile archive from filling memory or the disk, or the user waiting.
struct ArchiveLimits {
  // A member that declares or inflates to more bytes than this is refused: 1 GB.
  std::uint64_t maxMemberBytes = 1'000'000'000;
  // Archives inside archives are read down to this depth; a ZIP file of the folder is depth 1.
  int maxDepth = 4;
  // Where a compressed archive inside an archive is inflated to be read, since the library needs
  // to seek in it; empty for the system's temporary folder. Never the folder being converted.
  std::filesystem::path scratchFolder;
  // Polled (Progress::poll) for every entry listed and every block inflated into the scratch
  // folder, work without progress steps, so that an interrupt stops it too. None: never.
  Progress* progress = nullptr;
};

// A compressed archive inside an archive, inflated into an unnamed scratch file
// (FileSystem::createScratch) so that it can be read at any position, by several readers at
// once. The file goes with the copy, when the last archive opened over it has closed.
class ScratchCopy {
 public:
  ScratchCopy(std::unique_ptr<RawFile> file, std::uint64_t size)
      : file_(std::move(file)), size_(size) {}

  RawFile& file() { return *file_; }
  std::uint64_t size() const { return size_; }

 private:
  std::unique_ptr<RawFile> file_;
  std::uint64_t size_;
};

// One entry of an archive's central directory.
struct ArchiveEntry {
  std::string name;        // the whole name as UTF-8 ("dir/FG-GML-….xml"), see DecodeMemberName
  std::uint64_t size = 0;  // the uncompressed size the archive declares
  bool directory = false;  // a name ending in "/"
  bool readableInPlace = false;  // stored without compression or encryption: seekable as it is
};

// An open archive. Members can be read one after another or several at once; an archive opened
// inside this one keeps this one open for as long as it lives.
class ZipArchive : public std::enable_shared_from_this<ZipArchive> {
 public:
  // Opens the archive held by `file`, `size` bytes long. nullptr and `error` when it is not a
  // ZIP archive that can be read.
  static std::shared_ptr<ZipArchive> Open(std::unique_ptr<RawFile> file, std::uint64_t size,
                                          std::error_code& error);
  // Opens the archive stored as member `index` of `parent`. A member stored as it is is read in
  // place; a compressed one is first inflated into a scratch file of `fs` in
  // limits.scratchFolder (FileSystem::createScratch: unnamed, the user's alone), no larger than
  // the member declares and at most limits.maxMemberBytes, gone when the archive is closed. A
  // failure of the scratch file is told as one of the temporary folder (InTemporaryFolder).
  static std::shared_ptr<ZipArchive> OpenNested(const std::shared_ptr<ZipArchive>& parent,
                                                std::size_t index, FileSystem& fs,
                                                const ArchiveLimits& limits,
                                                std::error_code& error);
  // The two steps of opening a compressed archive inside an archive, for readers that share the
  // copy: member `index` of `parent` inflated into a scratch copy (as OpenNested does it), and an
  // archive opened over a copy, which it keeps. Several archives may be open over one copy, each
  // read by one thread at a time.
  static std::shared_ptr<ScratchCopy> InflateMember(const std::shared_ptr<ZipArchive>& parent,
                                                    std::size_t index, FileSystem& fs,
                                                    const ArchiveLimits& limits,
                                                    std::error_code& error);
  static std::shared_ptr<ZipArchive> OpenCopy(std::shared_ptr<ScratchCopy> copy,
                                              std::error_code& error);

  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;
  ~ZipArchive();

  const std::vector<ArchiveEntry>& entries() const { return entries_; }

  // Member `index` as a stream from its first byte: read() gives its bytes and fails, with a
  // reason, when the member is damaged, needs a password, declares more than `maxBytes`, or
  // inflates to more than it declares; a checksum that does not match shows at its end. The
  // stream keeps the archive open.
  std::unique_ptr<RawFile> openMember(std::size_t index, std::uint64_t maxBytes,
                                      std::error_code& error);

 private:
  struct Handle;
  explicit ZipArchive(std::unique_ptr<Handle> handle);

  std::unique_ptr<Handle> handle_;
  std::vector<ArchiveEntry> entries_;
};

// Whether a member's own file name, or a file's, makes it an archive to look into: it ends in
// ".zip" in any letter case.
bool IsZipName(std::string_view name);

}  // namespace elevara
