#include "raster/mosaic_writer.h"

#include <optional>

#include "platform/files.h"
#include "platform/services.h"
#include "platform/unicode.h"

namespace elevara {

void WriteMosaic(FileSystem& fs, Progress& progress, const MosaicLayout& layout,
                 const std::filesystem::path& path, TileRasters& tiles, const TileNames& tileNames,
                 const MosaicGeoreference& georeference) {
  RasterWriter mosaic = RasterWriter::Create(fs, path, static_cast<std::int32_t>(layout.width()),
                                             static_cast<std::int32_t>(layout.height()));
  std::vector<float> row(static_cast<std::size_t>(layout.width()));
  std::vector<std::optional<RasterReader>> band(static_cast<std::size_t>(layout.tilesAcross));
  std::vector<std::filesystem::path> present;
  for (int rowDigit = layout.tilesDown - 1; rowDigit >= 0; --rowDigit) {
    for (int column = 0; column < layout.tilesAcross; ++column) {
      auto& tile = band[static_cast<std::size_t>(column)];
      tile = tiles.open(tileNames(rowDigit, column));
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
  if (georeference) mosaic.setGeoreference(georeference(present));
  mosaic.commit();
}

std::vector<std::filesystem::path> WriteMosaics(
    FileSystem& fs, Progress& progress, const MosaicLayout& layout,
    const std::filesystem::path& folder, const std::vector<std::string>& codes,
    std::string_view suffix, const CodeTileNames& tileNames, const DeclareTileDatum& declareDatum) {
  TileRasters tiles(fs, layout.tileWidth);
  for (const std::string& code : codes) {
    const auto georeference = [&](const std::vector<std::filesystem::path>& present) {
      DatumAgreement datums;
      for (const std::filesystem::path& tile : present) declareDatum(tile, datums);
      return MeshGeoreference(code, layout.width(), layout.height(), datums.common());
    };
    WriteMosaic(
        fs, progress, layout, folder / PathFromUtf8(code + std::string(suffix)), tiles,
        [&](int rowDigit, int columnDigit) { return tileNames(code, rowDigit, columnDigit); },
        georeference);
  }
  return tiles.unreadable();
}

}  // namespace elevara
