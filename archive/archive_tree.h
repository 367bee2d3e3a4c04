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
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

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

// Opens members by their locations. The archives of the member opened last stay open, so the
// members of one archive are read without opening it, or inflating an archive inside it, anew
// for each. A member is inflated ahead of its reader on a thread of the stream's own
// (ReadAheadStream); one lock of the reader's guards every use of its archives.
class ArchiveMemberReader {
 public:
  ArchiveMemberReader(FileSystem& fs, std::filesystem::path folder, ArchiveLimits limits = {});
  ArchiveMemberReader(const ArchiveMemberReader&) = delete;
  ArchiveMemberReader& operator=(const ArchiveMemberReader&) = delete;
  ~ArchiveMemberReader();

  // The member at `location` as a stream from its first byte (ZipArchive::openMember, read
  // ahead); nullptr
  // and `error` when the location names no member that can be read. Where one archive holds
  // both a member of the whole remaining name and an archive whose name begins it, the entry
  // that comes first in the archive is taken, as the listing met it first.
  std::unique_ptr<RawFile> open(std::string_view location, std::error_code& error);

 private:
  struct OpenArchive;
  std::unique_ptr<RawFile> openUnlocked(std::string_view location, std::error_code& error);
  std::unique_ptr<RawFile> openIn(std::size_t depth, std::string_view rest, std::error_code& error);
  OpenArchive* nestedArchive(std::size_t depth, std::size_t index, std::error_code& error);

  FileSystem& fs_;
  std::filesystem::path folder_;
  ArchiveLimits limits_;
  std::vector<std::unique_ptr<OpenArchive>> chain_;  // the folder's ZIP file first
  std::shared_ptr<std::mutex> lock_;                 // shared with the streams
};

}  // namespace elevara
