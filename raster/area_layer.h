// The area as one layer: a GDAL virtual raster (VRT) beside a batch run's mosaics that lists
// every mosaic of one kind in the folder, so that a GIS opens them as one seamless raster.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "raster/batch_steps.h"
#include "raster/datum.h"
#include "raster/mesh_code.h"

namespace elevara {

// One kind of mosaic: "<mesh code><suffix>", every one `size` large, placed on its mesh.
struct AreaLayer {
  std::string_view fileName;                   // the virtual raster's, "ELEVARA-5m.vrt"
  std::size_t codeDigits;                      // 4 for a first-order mesh, 6 for a second-order
  std::span<const std::string_view> suffixes;  // the first that a code has is taken
  RasterSize size;
};

inline constexpr std::string_view kGml10LayerSuffixes[] = {"-ELEVARA"};
// The DEM5 merge takes a GML5 mosaic renamed with ".raw" before the one without, and so does
// the layer.
inline constexpr std::string_view kGml5LayerSuffixes[] = {"-DEM5.raw", "-DEM5"};
inline constexpr std::string_view kMergedLayerSuffixes[] = {"-DEM5"};
inline constexpr std::string_view kGml1LayerSuffixes[] = {"-DEM1"};

inline constexpr AreaLayer kGml10Layer{"ELEVARA-10m.vrt", 4, kGml10LayerSuffixes, {9000, 6000}};
inline constexpr AreaLayer kGml5Layer{"ELEVARA-5m.vrt", 6, kGml5LayerSuffixes, {2250, 1500}};
inline constexpr AreaLayer kGml1Layer{"ELEVARA-1m.vrt", 6, kGml1LayerSuffixes, {11250, 7500}};
// The merged rasters hold the very cells of the 5 m mosaics they were merged from, which stand
// in the same folder: a layer of their own, rather than a share of the 5 m one, keeps every
// cell in one raster of a layer.
inline constexpr AreaLayer kMergedLayer{
    "ELEVARA-5m-merged.vrt", 4, kMergedLayerSuffixes, {18000, 12000}};

// A mosaic listed in a layer: its name in the folder and its place in the layer's grid.
struct LayerMosaic {
  std::string name;
  std::int64_t column = 0;
  std::int64_t row = 0;
};

// A layer's grid: its size, where its north-west corner lies and its cells' size, its datum
// (none: it names no coordinate system), and its mosaics.
struct LayerGrid {
  RasterSize size;
  RasterSize mosaicSize;
  GeoPlacement placement{};
  std::optional<Datum> datum;
  std::vector<LayerMosaic> mosaics;
};

// The VRT's lines, without line ends: one band of float32, NoData -9999, each mosaic a simple
// source named relative to the VRT, which GDAL opens as it opens the raster itself (through
// its ENVI header). Cells no mosaic covers are NoData.
std::vector<std::string> VrtLines(const LayerGrid& grid);

// Writes the layer of the context's folder: every mosaic of the layer's kind there, this run's
// and earlier ones. A mosaic is left out, and added to result.leftOutOfLayer, when its sidecar,
// its ENVI header or its length give another size than the layer's (kOtherRasterSize), when its
// ENVI header is missing or places it elsewhere than its mesh (kOtherPlacement), or when it lies
// on another datum than the most mosaics of the folder (kOtherDatum; a datum named counts before
// none, a newer one before an older one when as many lie on each). No mosaic left: nothing is
// written. The VRT replaces an earlier one whole (AtomicOutputFile). Throws FileError.
void WriteAreaLayer(const BatchContext& context, const AreaLayer& layer, BatchResult& result);

}  // namespace elevara
