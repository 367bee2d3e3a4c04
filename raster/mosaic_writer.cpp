#include "raster/mosaic_writer.h"

#include <algorithm>
#include <vector>

#include "platform/services.h"

namespace elevara {

void WriteMosaic(FileSystem& fs, Progress& progress, const MosaicLayout& layout,
                 const std::filesystem::path& path, const TileOpener& openTile) {
  HeaderState header;
  header.path = path;
  RasterWriter mosaic = RasterWriter::Create(fs, path);

  std::vector<float> row(static_cast<std::size_t>(layout.width()));
  std::vector<std::optional<RasterReader>> band(static_cast<std::size_t>(layout.tilesAcross));
  for (int rowDigit = layout.tilesDown - 1; rowDigit >= 0; --rowDigit) {
    for (int column = 0; column < layout.tilesAcross; ++column) {
      band[static_cast<std::size_t>(column)] = openTile(rowDigit, column);
    }
    for (int line = 0; line < layout.tileHeight; ++line) {
      for (int column = 0; column < layout.tilesAcross; ++column) {
        std::span<float> segment(row.data() + std::size_t(column) * layout.tileWidth,
                                 static_cast<std::size_t>(layout.tileWidth));
        auto& tile = band[static_cast<std::size_t>(column)];
        if (tile) {
          tile->readRow(line, segment);
        } else {
          std::fill(segment.begin(), segment.end(), kNoData);
        }
      }
      mosaic.writeRow(row);
      progress.step();
    }
    for (auto& tile : band) tile.reset();
  }
  header.width = static_cast<std::int32_t>(layout.width());
  header.height = static_cast<std::int32_t>(layout.height());
  mosaic.commitWithHeader(fs, header);
}

}  // namespace elevara
