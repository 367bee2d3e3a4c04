// The text rules behind the list files: the wildcard match of the directory search, the order of
// its names, the character steps of "?", and the LineReader that reads a list back. Input: a
// pattern, a NUL, a name, a NUL, then the text of a list file, which is repeated past the
// reader's block size when byte 0 of the pattern is odd, so lines also straddle blocks.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/files.h"
#include "platform/folder_search.h"
#include "platform/unicode.h"

namespace elevara::fuzz {
namespace {

constexpr std::size_t kLineBlock = std::size_t{1} << 18;  // the LineReader's block

void CheckCharacterLength(std::string_view name) {
  for (std::size_t at = 0; at < name.size(); ++at) {
    const std::size_t length = CharacterLength(name, at);
    Check(length >= 1 && length <= 4 && at + length <= name.size(), "character length");
  }
}

void CheckOrder(std::string_view a, std::string_view b) {
  Check(NameLessIgnoringCase(a, b) == SlowNameLess(a, b), "order of the two names");
  Check(!(NameLessIgnoringCase(a, b) && NameLessIgnoringCase(b, a)), "order both ways");
}

// Lines as the list readers must see them: split at LF, one CR before it dropped, a last line
// without LF kept.
std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t lf = text.find('\n', at);
    std::size_t stop = lf == std::string_view::npos ? text.size() : lf;
    std::string line(text.substr(at, stop - at));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    at = stop + 1;
  }
  return lines;
}

void CheckLineReader(std::string_view text) {
  const auto path = ScratchFolder() / "gml_name.txt";
  WriteBytes(path, text);
  LineReader reader(InputFile::Open(SystemFileSystem(), path));
  const std::vector<std::string> want = SplitLines(text);
  std::string_view line;
  std::size_t count = 0;
  while (reader.next(line)) {
    Check(count < want.size(), "more lines than the text holds");
    Check(line == want[count], "line " + std::to_string(count));
    ++count;
  }
  Check(count == want.size(), "lines read " + std::to_string(count));
  Check(!reader.next(line), "a line after the end");
}

}  // namespace
}  // namespace elevara::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace elevara::fuzz;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t first = input.find('\0');
  if (first == std::string_view::npos) return 0;
  const std::size_t second = input.find('\0', first + 1);
  if (second == std::string_view::npos) return 0;
  const std::string_view pattern = input.substr(0, first);
  const std::string_view name = input.substr(first + 1, second - first - 1);
  const std::string_view list = input.substr(second + 1);

  // Patterns of whole characters only: the search's own patterns are ASCII, and a stray lead
  // byte in a pattern has no meaning to agree on.
  const bool asciiPattern =
      std::all_of(pattern.begin(), pattern.end(), [](char c) { return (c & 0x80) == 0; });
  if (asciiPattern) {
    Check(elevara::MatchWildcard(pattern, name) == MatchSlowly(pattern, name),
          "match of '" + std::string(pattern) + "' against '" + std::string(name) + "'");
  }
  CheckCharacterLength(name);
  CheckOrder(pattern, name);

  std::string text(list);
  if (!pattern.empty() && (pattern[0] & 1) != 0 && !list.empty()) {
    // Straddle the block edge by a few bytes that the name's length chooses.
    while (text.size() < kLineBlock + name.size()) text += list;
  }
  CheckLineReader(text);
  return 0;
}
