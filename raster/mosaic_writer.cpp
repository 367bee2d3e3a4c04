#include "raster/mosaic_writer.h"

#include <optional>

#include "platform/files.h"
#include "platform/services.h"

namespace elevara {

void WriteMosaic(FileSystem& fs, Progress& progress, const MosaicLayout& layout,
                 const std::filesystem::path& path, TileRasters& tiles,
                 const TileNames& tileNames) {
  RasterWriter mosaic = RasterWriter::Create(fs, path, static_cast<std::int32_t>(layout.width()),
                                             static_cast<std::int32_t>(layout.height()));
  std::vector<float> row(static_cast<std::size_t>(layout.width()));
  std::vector<std::optional<RasterReader>> band(static_cast<std::size_t>(layout.tilesAcross));
  for (int rowDigit = layout.tilesDown - 1; rowDigit >= 0; --rowDigit) {
    for (int column = 0; column < layout.tilesAcross; ++column) {
      band[static_cast<std::size_t>(column)] = tiles.open(tileNames(rowDigit, column));
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
  mosaic.commit();
}

std::vector<std::filesystem::path> WriteMosaics(FileSystem& fs, Progress& progress,
                                                const MosaicLayout& layout,
                                                const std::filesystem::path& folder,
                                                const std::vector<std::string>& codes,
                                                std::string_view suffix,
                                                const CodeTileNames& tileNames) {
  TileRasters tiles(fs, layout.tileWidth);
  for (const std::string& code : codes) {
    WriteMosaic(
        fs, progress, layout, folder / PathFromUtf8(code + std::string(suffix)), tiles,
        [&](int rowDigit, int columnDigit) { return tileNames(code, rowDigit, columnDigit); });
  }
  return tiles.unreadable();
}

}  // namespace elevara
