#include "raster/mosaic_writer.h"

#include <optional>

#include "platform/files.h"
#include "platform/unicode.h"

namespace elevara {

void WriteMosaic(FileSystem& fs, Progress& progress, const MosaicPlan& plan, TileRasters& tiles) {
  const MosaicLayout& layout = plan.layout;
  RasterWriter mosaic =
      RasterWriter::Create(fs, plan.path, static_cast<std::int32_t>(layout.width()),
                           static_cast<std::int32_t>(layout.height()));
  std::vector<float> row(static_cast<std::size_t>(layout.width()));
  std::vector<std::optional<RasterReader>> band(static_cast<std::size_t>(layout.tilesAcross));
  std::vector<std::filesystem::path> present;
  for (int rowDigit = layout.tilesDown - 1; rowDigit >= 0; --rowDigit) {
    for (int column = 0; column < layout.tilesAcross; ++column) {
      auto& tile = band[static_cast<std::size_t>(column)];
      tile = tiles.open(plan.tileNames(rowDigit, column));
      if (tile) present.push_back(tile->path());
    }
    for (int line = 0; line < layout.tileHeight; ++line) {
      for (int column = 0; column < layout.tilesAcross; ++column) {
        std::span<float> segment(row.data() + std::size_t(column) * layout.tileWidth,
                                 static_cast<std::size_t>(layout.tileWidth));
        tiles.readRow(band[static_cast<std::size_t>(column)], line, segment);
      }
      mosaic.writeRow(row);
      progress.step();
    }
    for (auto& tile : band) tile.reset();
  }
  if (plan.georeference) mosaic.setGeoreference(plan.georeference(present));
  mosaic.commit();
}

void WriteMosaics(const BatchContext& context, const MosaicSet& set, BatchResult& result) {
  TileRasters tiles(context.fs, set.layout.tileWidth);
  for (const std::string& code : set.codes) {
    const auto georeference = [&](const std::vector<std::filesystem::path>& present) {
      DatumAgreement datums;
      for (const std::filesystem::path& tile : present) set.declareDatum(tile, datums);
      return MeshGeoreference(code, set.layout.width(), set.layout.height(), datums.common());
    };
    const MosaicPlan plan{
        set.layout, context.folder / PathFromUtf8(code + std::string(set.suffix)),
        [&](int rowDigit, int columnDigit) { return set.tileNames(code, rowDigit, columnDigit); },
        georeference};
    WriteMosaic(context.fs, context.progress, plan, tiles);
    result.written.push_back(plan.path);
  }
  result.skipped.insert(result.skipped.end(), tiles.skipped().begin(), tiles.skipped().end());
}

}  // namespace elevara
