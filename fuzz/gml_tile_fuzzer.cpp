// Arbitrary bytes as a GML tile. Whatever the file holds, ConvertGmlTile must leave a whole tile
// raster and a value file of exactly one CR LF line per cell, and both must agree with a plain
// in-memory reading of the same tokens: first byte picks the grid, the rest is the file.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "gml/gml_tile.h"
#include "raster/raw_raster.h"

namespace elevara::fuzz {
namespace {

struct Grid {
  int width;
  int height;
};

// Selector 0 is the real GML5 grid; the small ones meet the edges of the start point and of the
// value list at every other cell.
constexpr Grid kGrids[] = {{225, 150}, {1, 1}, {2, 3}, {3, 2}, {5, 4}, {16, 1}, {1, 16}, {17, 9}};

// Optional sign and digits; a bound far beyond any grid keeps huge numbers huge.
std::int64_t LeadingInteger(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), std::int64_t{1} << 40);
  }
  return negative ? -value : value;
}

struct Expected {
  GmlTileStatus status = GmlTileStatus::kConverted;
  std::vector<std::string_view> lines;  // one per cell, row by row
};

// The three passes as the format describes them, over tokens held in memory.
Expected ReadTileInMemory(std::string_view bytes, const Grid& grid) {
  const std::vector<std::string_view> tokens = SplitTokens(bytes);
  Expected expected;
  const std::size_t cells = std::size_t(grid.width) * std::size_t(grid.height);
  expected.lines.assign(cells, "-9999");

  std::size_t startAt = 0;
  while (startAt < tokens.size() && !IsTaggedToken(tokens[startAt], "startP")) ++startAt;
  if (startAt == tokens.size()) {
    expected.status = GmlTileStatus::kNoStartPoint;
    return expected;
  }
  const std::string_view startToken = tokens[startAt];
  const std::int64_t x0 = startToken.size() > 16 ? LeadingInteger(startToken.substr(16)) : 0;
  const std::int64_t y0 = startAt + 1 < tokens.size() ? LeadingInteger(tokens[startAt + 1]) : 0;

  std::size_t next = 0;
  while (next < tokens.size() && !IsTaggedToken(tokens[next], "tupleL")) ++next;
  if (next == tokens.size()) {
    expected.status = GmlTileStatus::kNoValueList;
    return expected;
  }
  ++next;

  bool ended = false;
  for (std::int64_t r = 0; r < grid.height; ++r) {
    for (std::int64_t c = 0; c < grid.width; ++c) {
      if (r < y0 || (r == y0 && c < x0) || ended) continue;
      if (next == tokens.size()) {
        ended = true;
        continue;
      }
      const std::string_view token = tokens[next++];
      if (token.size() >= 3 && token[2] == 'g') {
        ended = true;
        continue;
      }
      const std::size_t comma = token.rfind(',');
      expected.lines[std::size_t(r * grid.width + c)] =
          comma == std::string_view::npos ? token : token.substr(comma + 1);
    }
  }
  return expected;
}

std::string JoinLines(const std::vector<std::string_view>& lines) {
  std::string text;
  for (std::string_view line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void CheckTile(std::string_view bytes, const Grid& grid) {
  const std::filesystem::path& folder = ScratchFolder::Path();
  const auto gmlPath = folder / "FG-GML-5339-46-78-DEM5A.xml";
  const auto valuePath = folder / "dtm.txt";
  const auto rasterPath = folder / "53394678-DEM5";
  WriteWholeFile(gmlPath, bytes);

  int steps = 0;
  const GmlTileStatus status = ConvertGmlTile(SystemFileSystem(), gmlPath, valuePath, rasterPath,
                                              grid.width, grid.height, [&steps] { ++steps; });

  const Expected expected = ReadTileInMemory(bytes, grid);
  Check(status == expected.status, "status " + std::to_string(int(status)) + ", expected " +
                                       std::to_string(int(expected.status)));
  Check(steps == 2 * grid.height, "progress steps " + std::to_string(steps));
  Check(!std::filesystem::exists(TemporaryPathFor(rasterPath)), "temporary raster left behind");

  // Comparing the whole text checks the count of lines and every CR LF too.
  const std::string values = ReadWholeFile(valuePath);
  Check(values == JoinLines(expected.lines), "value file differs from the listed values");

  const std::string raster = ReadWholeFile(rasterPath);
  Check(raster.size() == expected.lines.size() * 4,
        "tile raster of " + std::to_string(raster.size()) + " bytes");
  for (std::size_t cell = 0; cell < expected.lines.size(); ++cell) {
    std::uint32_t got;
    std::memcpy(&got, raster.data() + cell * 4, 4);
    const auto want = std::bit_cast<std::uint32_t>(ParseValueText(expected.lines[cell]));
    Check(got == want, "cell " + std::to_string(cell) + " of '" +
                           std::string(expected.lines[cell]) + "' has bits " + std::to_string(got) +
                           ", expected " + std::to_string(want));
  }
}

}  // namespace
}  // namespace elevara::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace elevara::fuzz;
  if (size == 0) return 0;
  const Grid& grid = kGrids[data[0] % std::size(kGrids)];
  CheckTile(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), grid);
  return 0;
}
