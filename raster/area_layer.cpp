#include "raster/area_layer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/folder_search.h"
#include "platform/unicode.h"
#include "raster/envi_header.h"
#include "raster/raw_raster.h"

namespace elevara {
namespace {

std::string ShortestText(double value) {
  char text[32];  // the longest shortest form of a double is 24 characters
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

// Text as XML character data or an attribute value in double quotes.
std::string XmlEscaped(std::string_view text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string Rectangle(const char* element, std::int64_t column, std::int64_t row, RasterSize size) {
  return std::string("      <") + element + " xOff=\"" + std::to_string(column) + "\" yOff=\"" +
         std::to_string(row) + "\" xSize=\"" + std::to_string(size.width) + "\" ySize=\"" +
         std::to_string(size.height) + "\" />";
}

bool AllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A mosaic of the folder that may be listed: its name, its mesh code and what its headers say.
struct Candidate {
  std::string name;
  std::string code;
  std::optional<Datum> datum;
};

// The first name of each mesh code among the names of the layer's kind, in the order of the
// layer's suffixes, then of the codes.
std::map<std::string, std::string> NamesByCode(FileSystem& fs, const std::filesystem::path& folder,
                                               const AreaLayer& layer) {
  std::map<std::string, std::string> names;
  for (std::string_view suffix : layer.suffixes) {
    const std::string pattern = std::string(layer.codeDigits, '?') + std::string(suffix);
    for (std::string& name : SearchFolder(fs, folder, pattern)) {
      std::string code = name.substr(0, layer.codeDigits);
      if (AllDigits(code)) names.emplace(std::move(code), std::move(name));
    }
  }
  return names;
}

// Whether the mosaic named `name` is what its name says; the reason to leave it out otherwise.
std::optional<SkipReason> Examine(FileSystem& fs, const std::filesystem::path& path,
                                  const std::string& code, const AreaLayer& layer,
                                  std::optional<Datum>& datum) {
  const std::optional<RasterSize> sidecar = ReadRawHeader(fs, path);
  if (!sidecar || !(*sidecar == layer.size)) return SkipReason::kOtherRasterSize;
  const std::optional<EnviHeaderFields> header = ReadEnviHeader(fs, path);
  if (!header || !header->mapInfo) return SkipReason::kOtherPlacement;
  std::error_code error;
  const std::uint64_t length = fs.fileSize(path, error);
  if (error) throw FileError(FileAction::kOpen, path, error);
  const auto bytes = static_cast<std::uint64_t>(layer.size.width * layer.size.height) * 4u;
  if (RasterSize{header->samples, header->lines} != layer.size || length != bytes) {
    return SkipReason::kOtherRasterSize;
  }
  const std::optional<GeoPlacement> placement = PlacementOfMapInfo(*header->mapInfo);
  const std::optional<GeoPlacement> mesh =
      PlacementOfMesh(code, layer.size.width, layer.size.height);
  if (!placement || !mesh || placement->west != mesh->west || placement->north != mesh->north ||
      placement->cellWidth != mesh->cellWidth || placement->cellHeight != mesh->cellHeight) {
    return SkipReason::kOtherPlacement;
  }
  if (header->coordinateSystem) datum = DatumOfWkt(*header->coordinateSystem);
  return std::nullopt;
}

// The datum of the layer: the one the most candidates lie on; as many on two, a datum named
// before none and a newer one before an older one.
std::optional<Datum> LayerDatum(const std::vector<Candidate>& candidates) {
  const auto rank = [&](std::optional<Datum> datum) {
    const auto count = std::count_if(candidates.begin(), candidates.end(),
                                     [&](const Candidate& c) { return c.datum == datum; });
    return std::pair(count, datum ? static_cast<int>(*datum) + 1 : 0);
  };
  std::optional<Datum> best;
  for (const Candidate& candidate : candidates) {
    if (rank(candidate.datum) > rank(best)) best = candidate.datum;
  }
  return best;
}

LayerGrid GridOf(const std::vector<Candidate>& listed, const AreaLayer& layer,
                 std::optional<Datum> datum) {
  LayerGrid grid;
  grid.mosaicSize = layer.size;
  grid.datum = datum;
  std::vector<GeoPlacement> placements;
  for (const Candidate& mosaic : listed) {
    placements.push_back(*PlacementOfMesh(mosaic.code, layer.size.width, layer.size.height));
  }
  grid.placement = placements.front();
  for (const GeoPlacement& at : placements) {
    grid.placement.west = std::min(grid.placement.west, at.west);
    grid.placement.north = std::max(grid.placement.north, at.north);
  }
  for (std::size_t i = 0; i < listed.size(); ++i) {
    // Meshes of one kind lie whole cells apart: the quotients are integers up to rounding.
    const std::int64_t column =
        std::llround((placements[i].west - grid.placement.west) / grid.placement.cellWidth);
    const std::int64_t row =
        std::llround((grid.placement.north - placements[i].north) / grid.placement.cellHeight);
    grid.mosaics.push_back({listed[i].name, column, row});
    grid.size.width = std::max(grid.size.width, column + layer.size.width);
    grid.size.height = std::max(grid.size.height, row + layer.size.height);
  }
  return grid;
}

}  // namespace

std::vector<std::string> VrtLines(const LayerGrid& grid) {
  const GeoPlacement& at = grid.placement;
  std::vector<std::string> lines = {"<VRTDataset rasterXSize=\"" + std::to_string(grid.size.width) +
                                    "\" rasterYSize=\"" + std::to_string(grid.size.height) + "\">"};
  // The WKT names latitude first; the grid's columns run east, its rows north to south.
  if (grid.datum) {
    lines.push_back("  <SRS dataAxisToSRSAxisMapping=\"2,1\">" + XmlEscaped(WktOf(*grid.datum)) +
                    "</SRS>");
  }
  lines.push_back("  <GeoTransform>" + ShortestText(at.west) + ", " + ShortestText(at.cellWidth) +
                  ", 0, " + ShortestText(at.north) + ", 0, " + ShortestText(-at.cellHeight) +
                  "</GeoTransform>");
  lines.push_back("  <VRTRasterBand dataType=\"Float32\" band=\"1\">");
  lines.push_back("    <NoDataValue>-9999</NoDataValue>");
  const std::string width = std::to_string(grid.mosaicSize.width);
  const std::string height = std::to_string(grid.mosaicSize.height);
  for (const LayerMosaic& mosaic : grid.mosaics) {
    lines.push_back("    <SimpleSource>");
    lines.push_back("      <SourceFilename relativeToVRT=\"1\">" + XmlEscaped(mosaic.name) +
                    "</SourceFilename>");
    lines.push_back("      <SourceBand>1</SourceBand>");
    // What GDAL would learn by opening the mosaic, so that it opens only those it reads.
    lines.push_back("      <SourceProperties RasterXSize=\"" + width + "\" RasterYSize=\"" +
                    height + "\" DataType=\"Float32\" BlockXSize=\"" + width +
                    "\" BlockYSize=\"1\" />");
    lines.push_back(Rectangle("SrcRect", 0, 0, grid.mosaicSize));
    lines.push_back(Rectangle("DstRect", mosaic.column, mosaic.row, grid.mosaicSize));
    lines.push_back("    </SimpleSource>");
  }
  lines.push_back("  </VRTRasterBand>");
  lines.push_back("</VRTDataset>");
  return lines;
}

void WriteAreaLayer(const BatchContext& context, const AreaLayer& layer, BatchResult& result) {
  std::vector<Candidate> candidates;
  for (const auto& [code, name] : NamesByCode(context.fs, context.folder, layer)) {
    const std::filesystem::path path = context.folder / PathFromUtf8(name);
    std::optional<Datum> datum;
    std::optional<SkipReason> leftOut;
    std::error_code reason;
    try {
      leftOut = Examine(context.fs, path, code, layer, datum);
    } catch (const FileError& error) {
      leftOut = SkipReason::kNotRead;
      reason = error.reason();
    }
    if (leftOut) {
      result.leftOutOfLayer.push_back({path, *leftOut, reason});
    } else {
      candidates.push_back({name, code, datum});
    }
  }
  if (candidates.empty()) return;
  const std::optional<Datum> datum = LayerDatum(candidates);
  std::vector<Candidate> listed;
  for (const Candidate& candidate : candidates) {
    if (candidate.datum == datum) {
      listed.push_back(candidate);
    } else {
      result.leftOutOfLayer.push_back(
          {context.folder / PathFromUtf8(candidate.name), SkipReason::kOtherDatum, {}});
    }
  }
  AtomicOutputFile vrt =
      AtomicOutputFile::Create(context.fs, context.folder / PathFromUtf8(layer.fileName));
  for (const std::string& line : VrtLines(GridOf(listed, layer, datum))) vrt.writeLine(line);
  vrt.commit();
}

}  // namespace elevara
