// Arbitrary bytes as a GML tile. Whatever the file holds, the conversion by way of the value file
// (the reference that gml_direct_fuzzer holds the direct conversion to) must leave a whole tile
// raster and a value file of one CR LF line per listed value, and both must agree with a plain
// in-memory reading of the same tokens: first byte picks the grid, the rest is the file.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "commands/services.h"
#include "fuzz/fuzz_support.h"
#include "gml/gml_tile.h"
#include "gml/value_text.h"
#include "platform/files.h"
#include "raster/raw_raster.h"
#include "testkit/scripted_services.h"

namespace elevara::fuzz {
namespace {

struct Grid {
  int width;
  int height;
};

// Selector 0 is the real GML5 grid; the small ones meet the edges of the start point and of the
// value list at every other cell.
constexpr Grid kGrids[] = {{225, 150}, {1, 1}, {2, 3}, {3, 2}, {5, 4}, {16, 1}, {1, 16}, {17, 9}};

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void CheckTile(std::string_view bytes, const Grid& grid) {
  const std::filesystem::path& folder = ScratchFolder();
  const auto gmlPath = folder / "FG-GML-5339-46-78-DEM5A.xml";
  const auto valuePath = folder / "dtm.txt";
  const auto rasterPath = folder / "53394678-DEM5";
  WriteBytes(gmlPath, bytes);

  testing::ScriptedServices services;
  ServicesProgress progress(services);
  const GmlTileStatus status =
      ConvertGmlTileByValueFile(SystemFileSystem(), progress,
                                OpenGmlFile(SystemFileSystem(), gmlPath),
                                {rasterPath, grid.width, grid.height}, valuePath)
          .status;
  const std::int64_t steps = services.advances;

  const testing::PlainTile expected = testing::ReadTilePlainly(bytes, grid.width, grid.height);
  Check(status == expected.status, "status " + std::to_string(int(status)) + ", expected " +
                                       std::to_string(int(expected.status)));
  Check(steps == GmlTileSteps(grid.height), "progress steps " + std::to_string(steps));
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    Check(!IsTemporaryFileName(entry.path().filename().string()), "temporary file left behind");
  }

  // Comparing the whole text checks the count of lines and every CR LF too.
  const std::string values = ReadBytes(valuePath);
  Check(values == JoinLines(expected.listedTexts), "value file differs from the listed values");

  const std::string raster = ReadBytes(rasterPath);
  Check(raster.size() == expected.valueTexts.size() * 4,
        "tile raster of " + std::to_string(raster.size()) + " bytes");
  for (std::size_t cell = 0; cell < expected.valueTexts.size(); ++cell) {
    const std::uint32_t got = testing::CellBits(raster, 1, 0, static_cast<std::int64_t>(cell));
    const std::uint32_t want = testing::Bits(ParseValueText(expected.valueTexts[cell]));
    Check(got == want, "cell " + std::to_string(cell) + " of '" +
                           std::string(expected.valueTexts[cell]) + "' has bits " +
                           std::to_string(got) + ", expected " + std::to_string(want));
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
