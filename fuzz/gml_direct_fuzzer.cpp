// Arbitrary bytes as a GML tile, converted twice: straight into the raster, in a workspace that
// has just converted the same bytes on another grid (so nothing its buffers keep may reach the
// next tile), and on the reference road through the value file. Same tile in, same raster out:
// the two rasters must agree byte for byte, with the same status, datum and progress steps. The
// input layout is gml_tile_fuzzer's (first byte the grid, the rest the file), whose corpus seeds
// this target; the first byte's bit 3 sets sea-surface cells to 0.0 on both roads.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "commands/services.h"
#include "fuzz/fuzz_support.h"
#include "gml/gml_tile.h"
#include "testkit/scripted_services.h"

namespace elevara::fuzz {
namespace {

struct Grid {
  int width;
  int height;
};

// gml_tile_fuzzer's grids: the real GML5 grid, and small ones that meet the edges of the start
// point and of the value list at every other cell.
constexpr Grid kGrids[] = {{225, 150}, {1, 1}, {2, 3}, {3, 2}, {5, 4}, {16, 1}, {1, 16}, {17, 9}};

struct Converted {
  GmlTileResult result;
  std::int64_t steps = 0;
};

template <typename Convert>
Converted Run(Convert convert) {
  testing::ScriptedServices services;
  ServicesProgress progress(services);
  const GmlTileResult result = convert(progress);
  return {result, services.advances};
}

void CheckTile(std::string_view bytes, std::size_t selector) {
  const std::filesystem::path& folder = ScratchFolder();
  const auto gmlPath = folder / "FG-GML-5339-46-78-DEM5A.xml";
  WriteBytes(gmlPath, bytes);
  FileSystem& fs = SystemFileSystem();
  const Grid& grid = kGrids[selector % std::size(kGrids)];
  const Grid& before = kGrids[(selector + 1) % std::size(kGrids)];
  const bool seaLevelZero = (selector & 8) != 0;

  GmlTileWorkspace workspace;
  Run([&](Progress& progress) {
    return ConvertGmlTile(fs, progress, OpenGmlFile(fs, gmlPath),
                          {folder / "before", before.width, before.height}, workspace);
  });
  const Converted direct = Run([&](Progress& progress) {
    return ConvertGmlTile(fs, progress, OpenGmlFile(fs, gmlPath),
                          {folder / "direct", grid.width, grid.height, seaLevelZero}, workspace);
  });
  const Converted reference = Run([&](Progress& progress) {
    return ConvertGmlTileByValueFile(fs, progress, OpenGmlFile(fs, gmlPath),
                                     {folder / "reference", grid.width, grid.height, seaLevelZero},
                                     folder / "dtm.txt");
  });

  Check(direct.result.status == reference.result.status,
        "status " + std::to_string(int(direct.result.status)) + ", by the value file " +
            std::to_string(int(reference.result.status)));
  Check(direct.result.datum == reference.result.datum, "datum differs");
  Check(direct.steps == reference.steps, "progress steps " + std::to_string(direct.steps) +
                                             ", by the value file " +
                                             std::to_string(reference.steps));
  const std::string raster = ReadBytes(folder / "direct");
  const std::string expected = ReadBytes(folder / "reference");
  Check(raster.size() == expected.size(), "raster of " + std::to_string(raster.size()) +
                                              " bytes, by the value file " +
                                              std::to_string(expected.size()));
  for (std::size_t at = 0; at < raster.size(); at += 4) {
    Check(raster.compare(at, 4, expected, at, 4) == 0,
          "cell " + std::to_string(at / 4) + " differs from the value file's");
  }
}

}  // namespace
}  // namespace elevara::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace elevara::fuzz;
  if (size == 0) return 0;
  CheckTile(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), data[0]);
  return 0;
}
