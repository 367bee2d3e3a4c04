// The members of a folder's ZIP files, the archives inside them included, listed by where they
// sit and opened again from that location.
//
// A location is the name of the ZIP file in the folder, then the name of each archive on the way
// in, then the member's name, joined by "/", every name as its archive holds it:
// "FG-GML-3624-30-DEM5B.zip/FG-GML-3624-30-76-DEM5B-20170202.xml". A file name of the folder
// holds no "/", so a location never looks like one.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "archive/read_ahead.h"
#include "archive/zip_archive.h"

namespace elevara {

class FileSystem;

// The part of a location (or of a member name) after its last "/": the member's own file name.
std::string_view MemberFileName(std::string_view location);

// Whether a name is a member's location rather than the name of a file of the folder.
bool IsMemberLocation(std::string_view name);

struct UnreadableArchive {
  std::string location;  // the archive, as a location
  std::error_code reason;
};

struct ArchiveListing {
  std::vector<std::string> members;           // locations, in archive order, nested ones in place
  std::vector<UnreadableArchive> unreadable;  // archives that could not be opened, or lie too deep
};

// Every member of the folder's ZIP file `archiveName`, and of the ZIP files inside it down to
// limits.maxDepth, whose own file name matches `pattern` (as MatchWildcard matches). Directory
// entries are no members; an archive inside is looked into, not listed.
ArchiveListing ListArchiveMembers(FileSystem& fs, const std::filesystem::path& folder,
                                  std::string_view archiveName, std::string_view pattern,
                                  const ArchiveLimits& limits = {});

// The compressed archives inside archives that the member readers of one run have inflated, by
// location, so that readers working side by side inflate each one once. A copy goes when no
// reader holds it any more.
class InflatedArchives {
 public:
  using Inflate = std::function<std::shared_ptr<ScratchCopy>(std::error_code& error)>;
  // The copy of the archive at `location`: the one a reader holds, or a new one from `inflate`
  // (nullptr and `error` when that fails). Readers that ask meanwhile wait for it.
  std::shared_ptr<ScratchCopy> obtain(const std::string& location, const Inflate& inflate,
                                      std::error_code& error);

 private:
  std::mutex mutex_;
  std::unordered_map<std::string, std::weak_ptr<ScratchCopy>> copies_;
};

// How a reader reads its members.
struct MemberReading {
  // Each member inflated ahead of its reader on a thread of the stream's own (ReadAheadStream),
  // so that inflating and using it overlap: for a reader alone. Readers working side by side keep
  // the cores busy already.
  bool readAhead = true;
  // Shared with the other readers of the run; nullptr: the reader inflates its own copies.
  std::shared_ptr<InflatedArchives> inflated;
};

// Opens members by their locations. The archives of the member opened last stay open, so the
// members of one archive are read without opening it, or inflating an archive inside it, anew
// for each. One lock of the reader's guards every use of its archives, which a member read ahead
// uses on its own thread. A reader is for one thread at a time; readers side by side each open
// the archives for themselves.
class ArchiveMemberReader {
 public:
  ArchiveMemberReader(FileSystem& fs, std::filesystem::path folder, ArchiveLimits limits = {},
                      MemberReading reading = {});
  ArchiveMemberReader(const ArchiveMemberReader&) = delete;
  ArchiveMemberReader& operator=(const ArchiveMemberReader&) = delete;
  ~ArchiveMemberReader();

  // The member at `location` as a stream from its first byte (ZipArchive::openMember, read
  // ahead when asked); nullptr
  // and `error` when the location names no member that can be read. Where one archive holds
  // both a member of the whole remaining name and an archive whose name begins it, the entry
  // that comes first in the archive is taken, as the listing met it first.
  std::unique_ptr<RawFile> open(std::string_view location, std::error_code& error);

 private:
  struct OpenArchive;
  std::unique_ptr<RawFile> openUnlocked(std::string_view location, std::error_code& error);
  std::unique_ptr<RawFile> openIn(std::size_t depth, std::string_view rest, std::error_code& error);
  OpenArchive* nestedArchive(std::size_t depth, std::size_t index, std::error_code& error);
  std::shared_ptr<ZipArchive> openNested(const OpenArchive& parent, std::size_t index,
                                         const std::string& location, std::error_code& error);

  FileSystem& fs_;
  std::filesystem::path folder_;
  ArchiveLimits limits_;
  MemberReading reading_;
  std::vector<std::unique_ptr<OpenArchive>> chain_;  // the folder's ZIP file first
  std::shared_ptr<std::mutex> lock_;                 // shared with the streams
  std::shared_ptr<ReadAheadBlocks> blocks_;          // lent to one stream at a time
};

}  // namespace elevara
