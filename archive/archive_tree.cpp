#include "archive/archive_tree.h"

#include <algorithm>
#include <unordered_map>

#include "archive/read_ahead.h"
#include "platform/file_system.h"
#include "platform/files.h"
#include "platform/folder_search.h"
#include "platform/progress.h"
#include "platform/unicode.h"

namespace elevara {
namespace {

std::shared_ptr<ZipArchive> OpenFolderArchive(FileSystem& fs, const std::filesystem::path& path,
                                              std::error_code& error) {
  std::unique_ptr<RawFile> file = fs.openRead(path, error);
  if (file == nullptr) return nullptr;
  const std::uint64_t size = fs.fileSize(path, error);
  if (error) return nullptr;
  return ZipArchive::Open(std::move(file), size, error);
}

// Whether an archive may be opened at `depth` (the folder's ZIP file is depth 1); kTooDeep in
// `error` when it would lie deeper than the limit.
bool WithinDepth(std::size_t depth, const ArchiveLimits& limits, std::error_code& error) {
  if (depth <= static_cast<std::size_t>(std::max(limits.maxDepth, 0))) return true;
  error = ArchiveFault::kTooDeep;
  return false;
}

std::string Join(std::string_view location, std::string_view name) {
  std::string joined(location);
  joined += '/';
  joined += name;
  return joined;
}

class Lister {
 public:
  Lister(FileSystem& fs, std::string_view pattern, const ArchiveLimits& limits)
      : fs_(fs), pattern_(pattern), limits_(limits) {}

  void list(const std::shared_ptr<ZipArchive>& archive, const std::string& location,
            std::size_t depth) {
    const std::vector<ArchiveEntry>& entries = archive->entries();
    for (std::size_t index = 0; index < entries.size(); ++index) {
      if (limits_.progress != nullptr) limits_.progress->poll();
      const ArchiveEntry& entry = entries[index];
      if (entry.directory) continue;
      const std::string_view ownName = MemberFileName(entry.name);
      std::string memberLocation = Join(location, entry.name);
      if (IsZipName(ownName)) {
        std::error_code error;
        auto nested = WithinDepth(depth + 1, limits_, error)
                          ? ZipArchive::OpenNested(archive, index, fs_, limits_, error)
                          : nullptr;
        if (nested == nullptr) {
          result.unreadable.push_back({std::move(memberLocation), error});
        } else {
          list(nested, memberLocation, depth + 1);
        }
      } else if (MatchWildcard(pattern_, ownName)) {
        result.members.push_back(std::move(memberLocation));
      }
    }
  }

  ArchiveListing result;

 private:
  FileSystem& fs_;
  std::string_view pattern_;
  const ArchiveLimits& limits_;
};

}  // namespace

std::string_view MemberFileName(std::string_view location) {
  const std::size_t slash = location.rfind('/');
  return slash == std::string_view::npos ? location : location.substr(slash + 1);
}

bool IsMemberLocation(std::string_view name) {
  return name.find('/') != std::string_view::npos;
}

ArchiveListing ListArchiveMembers(FileSystem& fs, const std::filesystem::path& folder,
                                  std::string_view archiveName, std::string_view pattern,
                                  const ArchiveLimits& limits) {
  Lister lister(fs, pattern, limits);
  std::error_code error;
  auto archive = OpenFolderArchive(fs, folder / PathFromUtf8(archiveName), error);
  if (archive == nullptr) {
    lister.result.unreadable.push_back({std::string(archiveName), error});
  } else {
    lister.list(archive, std::string(archiveName), 1);
  }
  return std::move(lister.result);
}

// One archive of the chain, with its entries found by name. Where an archive holds one name
// twice, the first entry is the one meant.
struct ArchiveMemberReader::OpenArchive {
  OpenArchive(std::string at, std::shared_ptr<ZipArchive> opened)
      : location(std::move(at)), archive(std::move(opened)) {
    const std::vector<ArchiveEntry>& entries = archive->entries();
    for (std::size_t index = 0; index < entries.size(); ++index) {
      if (!entries[index].directory) byName.try_emplace(entries[index].name, index);
    }
  }

  std::string location;
  std::shared_ptr<ZipArchive> archive;
  std::unordered_map<std::string_view, std::size_t> byName;  // views into archive's entries
};

std::shared_ptr<ScratchCopy> InflatedArchives::obtain(const std::string& location,
                                                      const Inflate& inflate,
                                                      std::error_code& error) {
  // Held while inflating: the readers that wait want the same copy, as they read the list in
  // order side by side.
  std::lock_guard lock(mutex_);
  std::erase_if(copies_, [](const auto& entry) { return entry.second.expired(); });
  if (auto held = copies_[location].lock()) return held;
  std::shared_ptr<ScratchCopy> copy = inflate(error);
  if (copy != nullptr) copies_[location] = copy;
  return copy;
}

ArchiveMemberReader::ArchiveMemberReader(FileSystem& fs, std::filesystem::path folder,
                                         ArchiveLimits limits, MemberReading reading)
    : fs_(fs),
      folder_(std::move(folder)),
      limits_(std::move(limits)),
      reading_(std::move(reading)),
      lock_(std::make_shared<std::mutex>()) {}

ArchiveMemberReader::~ArchiveMemberReader() {
  std::lock_guard lock(*lock_);
  chain_.clear();
}

std::unique_ptr<RawFile> ArchiveMemberReader::open(std::string_view location,
                                                   std::error_code& error) {
  std::lock_guard lock(*lock_);
  std::unique_ptr<RawFile> member = openUnlocked(location, error);
  if (member == nullptr || !reading_.readAhead) return member;
  // The blocks of the stream before, once it has gone, serve the next one.
  if (blocks_ == nullptr || blocks_.use_count() > 1) blocks_ = ReadAheadStream::MakeBlocks();
  return std::make_unique<ReadAheadStream>(std::move(member), lock_, blocks_);
}

std::unique_ptr<RawFile> ArchiveMemberReader::openUnlocked(std::string_view location,
                                                           std::error_code& error) {
  const std::size_t slash = location.find('/');
  if (slash == std::string_view::npos) {
    error = ArchiveFault::kNoSuchMember;
    return nullptr;
  }
  const std::string_view archiveName = location.substr(0, slash);
  if (chain_.empty() || chain_.front()->location != archiveName) {
    chain_.clear();
    auto archive = OpenFolderArchive(fs_, folder_ / PathFromUtf8(archiveName), error);
    if (archive == nullptr) return nullptr;
    chain_.push_back(std::make_unique<OpenArchive>(std::string(archiveName), std::move(archive)));
  }
  return openIn(0, location.substr(slash + 1), error);
}

std::unique_ptr<RawFile> ArchiveMemberReader::openIn(std::size_t depth, std::string_view rest,
                                                     std::error_code& error) {
  // The entries that `rest` may mean: the member of that whole name, or an archive whose name
  // is `rest` up to one of its "/", with the remainder inside it; tried in archive order.
  struct Candidate {
    std::size_t index;
    std::size_t nameLength;
  };
  std::vector<Candidate> candidates;
  const auto& byName = chain_[depth]->byName;
  for (std::size_t end = 0; end <= rest.size(); ++end) {
    if (end < rest.size() && rest[end] != '/') continue;
    const std::string_view name = rest.substr(0, end);
    const auto found = byName.find(name);
    if (found == byName.end()) continue;
    if (end == rest.size() || IsZipName(MemberFileName(name))) {
      candidates.push_back({found->second, end});
    }
  }
  std::sort(candidates.begin(), candidates.end(),
            [](const Candidate& a, const Candidate& b) { return a.index < b.index; });

  std::error_code firstFailure;
  for (const Candidate& candidate : candidates) {
    std::error_code failure;
    std::unique_ptr<RawFile> member;
    if (candidate.nameLength == rest.size()) {
      member = chain_[depth]->archive->openMember(candidate.index, limits_.maxMemberBytes, failure);
    } else if (nestedArchive(depth, candidate.index, failure) != nullptr) {
      member = openIn(depth + 1, rest.substr(candidate.nameLength + 1), failure);
    }
    if (member != nullptr) return member;
    if (!firstFailure) firstFailure = failure;
  }
  error = firstFailure ? firstFailure : make_error_code(ArchiveFault::kNoSuchMember);
  return nullptr;
}

ArchiveMemberReader::OpenArchive* ArchiveMemberReader::nestedArchive(std::size_t depth,
                                                                     std::size_t index,
                                                                     std::error_code& error) {
  OpenArchive& parent = *chain_[depth];
  const std::string location = Join(parent.location, parent.archive->entries()[index].name);
  if (chain_.size() > depth + 1 && chain_[depth + 1]->location == location) {
    return chain_[depth + 1].get();
  }
  chain_.resize(depth + 1);
  auto nested =
      WithinDepth(depth + 2, limits_, error) ? openNested(parent, index, location, error) : nullptr;
  if (nested == nullptr) return nullptr;
  chain_.push_back(std::make_unique<OpenArchive>(location, std::move(nested)));
  return chain_.back().get();
}

std::shared_ptr<ZipArchive> ArchiveMemberReader::openNested(const OpenArchive& parent,
                                                            std::size_t index,
                                                            const std::string& location,
                                                            std::error_code& error) {
  const bool inflated = !parent.archive->entries()[index].readableInPlace;
  if (!inflated || reading_.inflated == nullptr) {
    return ZipArchive::OpenNested(parent.archive, index, fs_, limits_, error);
  }
  auto copy = reading_.inflated->obtain(
      location,
      [&](std::error_code& failure) {
        return ZipArchive::InflateMember(parent.archive, index, fs_, limits_, failure);
      },
      error);
  return copy == nullptr ? nullptr : ZipArchive::OpenCopy(std::move(copy), error);
}

}  // namespace elevara
