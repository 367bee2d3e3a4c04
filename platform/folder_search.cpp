#include "platform/folder_search.h"

#include <algorithm>

#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/unicode.h"

namespace elevara {

bool MatchWildcard(std::string_view pattern, std::string_view name) {
  // Greedy matching with one backtrack point: linear in practice, never recursive.
  std::size_t p = 0, n = 0;
  std::size_t star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      n += CharacterLength(name, n);
    } else if (p < pattern.size() && AsciiLower(pattern[p]) == AsciiLower(name[n])) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      resume += CharacterLength(name, resume);
      n = resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool NameLessIgnoringCase(std::string_view a, std::string_view b) {
  std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    auto ca = static_cast<unsigned char>(AsciiLower(a[i]));
    auto cb = static_cast<unsigned char>(AsciiLower(b[i]));
    if (ca != cb) return ca < cb;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

std::vector<std::string> SearchFolder(FileSystem& fs, const std::filesystem::path& folder,
                                      std::span<const std::string_view> patterns) {
  std::error_code error;
  std::vector<std::string> names = fs.listNames(folder, error);
  if (error) throw FileError(FileAction::kList, folder, error);
  std::erase_if(names, [&](const std::string& name) {
    return name == "." || name == ".." ||
           std::none_of(patterns.begin(), patterns.end(),
                        [&](std::string_view pattern) { return MatchWildcard(pattern, name); });
  });
  std::sort(names.begin(), names.end(), NameLessIgnoringCase);
  return names;
}

}  // namespace elevara
