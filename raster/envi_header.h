// The ENVI header beside a raster, which GDAL-based tools (QGIS, GDAL's utilities, rasterio)
// read to open the RAW raster in place: its size and sample format, where it lies on the earth
// and on which datum.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "raster/datum.h"
#include "raster/mesh_code.h"

namespace elevara {

// What the header says beyond the size and sample format, which come from the raster itself.
struct EnviGeoreference {
  std::string mapInfo;           // the text inside the braces of "map info"
  std::string coordinateSystem;  // WKT inside the braces of "coordinate system string";
                                 // empty: the header names no coordinate system
  bool declaresNoData = true;    // "data ignore value = -9999"
};

// "Geographic Lat/Lon" with the upper-left corner of the upper-left cell at pixel (1, 1), every
// number in the shortest text that reads back as the same double. It names no datum: a datum
// field there would make GDAL assume WGS 84 where the coordinate system string is absent.
std::string MapInfoOf(const GeoPlacement& placement);

// The placement a "map info" text gives when it is "Geographic Lat/Lon", as MapInfoOf writes
// it or with another reference pixel; nullopt for anything else.
std::optional<GeoPlacement> PlacementOfMapInfo(std::string_view mapInfo);

// The georeference of a `width` x `height` mosaic named by its mesh code: placed on the mesh's
// bounds (see PlacementOfMesh), on `datum` when known. nullopt when the code is no mesh code.
std::optional<EnviGeoreference> MeshGeoreference(std::string_view meshCode, std::int64_t width,
                                                 std::int64_t height, std::optional<Datum> datum);

// The header's path: the raster's full path with ".hdr" appended (6341-ELEVARA.hdr).
std::filesystem::path EnviHeaderPathFor(const std::filesystem::path& raster);

// The header's lines, without line ends: a raster of float32 little-endian samples, one band,
// no header offset.
std::vector<std::string> EnviHeaderLines(std::int64_t samples, std::int64_t lines,
                                         const EnviGeoreference& georeference);

// Writes the header of the `samples` x `lines` raster at `raster` under its temporary name; it
// takes its name, replacing an earlier one whole, when the returned file is committed. Throws
// FileError.
[[nodiscard]] AtomicOutputFile WriteEnviHeader(FileSystem& fs, const std::filesystem::path& raster,
                                               std::int64_t samples, std::int64_t lines,
                                               const EnviGeoreference& georeference);

// What ReadEnviHeader takes from a header.
struct EnviHeaderFields {
  // Both 0 when they state no size a file can hold (RasterBytesOf).
  std::int64_t samples = 0;
  std::int64_t lines = 0;
  std::optional<std::string> mapInfo;
  std::optional<std::string> coordinateSystem;
  std::optional<std::string> dataIgnoreValue;
};

// The ENVI header of `raster`, found where GDAL looks for it: the raster's name with its
// extension replaced by ".hdr", then with ".hdr" appended. nullopt when neither exists or the
// file found does not begin with "ENVI". Throws FileError when it exists but cannot be read.
std::optional<EnviHeaderFields> ReadEnviHeader(FileSystem& fs, const std::filesystem::path& raster);

}  // namespace elevara
