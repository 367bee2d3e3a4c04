#include "platform/folder_search.h"

#include <algorithm>

#include "platform/errors.h"
#include "platform/file_system.h"

namespace elevara {
namespace {

char FoldCase(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::size_t CharacterLength(std::string_view text, std::size_t at) {
  auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  std::size_t end = std::min(text.size(), at + length);
  for (std::size_t i = at + 1; i < end; ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return i - at;
  }
  return end - at;
}

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
    } else if (p < pattern.size() && FoldCase(pattern[p]) == FoldCase(name[n])) {
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
    auto ca = static_cast<unsigned char>(FoldCase(a[i]));
    auto cb = static_cast<unsigned char>(FoldCase(b[i]));
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
