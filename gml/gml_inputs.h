// Where the GML commands find their tiles: the files of the picked folder, and the members of the
// folder's ZIP files as GSI delivers them, archives inside archives included.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_tree.h"
#include "platform/files.h"
#include "raster/batch_steps.h"

namespace elevara {

struct GmlInputs {
  // Bare names of the folder's entries, then members by their locations (ArchiveMemberReader).
  std::vector<std::string> names;
  // Archives of the folder, or inside them, that could not be read or lie too deep.
  std::vector<SkippedInput> unreadable;
};

// The folder's entries whose names match `pattern`, in the order of the directory search; then
// the members whose own file names match it, of every ZIP file of the folder (a name ending in
// ".zip" in any letter case) in the order of their names, and of the archives inside those, in
// archive order. A member whose own file name (letter case aside) is that of an entry or member
// found before is a copy of the same tile: it is listed too, and stands in for the copies
// before it when none of them converts (see ConvertGmlFolder). limits.progress is polled while
// the archives are listed. Throws FileError when the folder cannot be read.
GmlInputs FindGmlInputs(FileSystem& fs, const std::filesystem::path& folder,
                        std::string_view pattern, const ArchiveLimits& limits = {});

// The path that names the listed `name` in what the user is told: the file of `folder`, or the
// member below its archive's path.
std::filesystem::path GmlInputPath(const std::filesystem::path& folder, std::string_view name);

// Opens the listed tiles of one run: files of the folder, and members by their locations, whose
// archives stay open from one member to the next. One reader per thread (see
// ArchiveMemberReader); the readers of one run share `reading.inflated`.
class GmlInputReader {
 public:
  GmlInputReader(FileSystem& fs, const std::filesystem::path& folder,
                 const ArchiveLimits& limits = {}, MemberReading reading = {});

  std::filesystem::path pathOf(std::string_view name) const { return GmlInputPath(folder_, name); }
  // The listed `name`'s file name, from which the tile's place in its mosaic is read.
  static std::string_view FileNameOf(std::string_view name) { return MemberFileName(name); }
  // The listed `name` opened from its first byte, read with limits.progress polled for every
  // block; nullopt and `error` when it cannot be opened: a file that is not a regular one, or
  // larger than limits.maxMemberBytes as a member may be, is not.
  std::optional<InputFile> open(std::string_view name, std::error_code& error);

 private:
  FileSystem& fs_;
  std::filesystem::path folder_;
  ArchiveLimits limits_;
  ArchiveMemberReader members_;
};

}  // namespace elevara
