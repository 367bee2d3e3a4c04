// The directory search of the batch commands: every entry of a folder whose name matches a
// wildcard pattern, in an order that does not depend on the file system.
#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace elevara {

class FileSystem;

// "*" matches any run of characters, "?" exactly one character (CharacterLength), and
// ASCII letters match without regard to case; every other character matches itself.
bool MatchWildcard(std::string_view pattern, std::string_view name);

// Orders names by their bytes with ASCII letters folded to one case; names that differ only in
// case keep a fixed order by their raw bytes.
bool NameLessIgnoringCase(std::string_view a, std::string_view b);

// The bare names of every entry of `folder` that matches one of `patterns`, files, folders and
// hidden entries alike, never "." or "..", each name once, sorted by NameLessIgnoringCase.
// Throws FileError when the folder cannot be read.
std::vector<std::string> SearchFolder(FileSystem& fs, const std::filesystem::path& folder,
                                      std::span<const std::string_view> patterns);
inline std::vector<std::string> SearchFolder(FileSystem& fs, const std::filesystem::path& folder,
                                             std::string_view pattern) {
  return SearchFolder(fs, folder, std::span(&pattern, 1));
}

}  // namespace elevara
