// Where a mesh of Japan's regional grid lies on the earth, from its code's digits.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace elevara {

// The outer edges of a mesh, in degrees of latitude and longitude.
struct MeshBounds {
  double south;
  double west;
  double north;
  double east;
};

// A first-order mesh "pqrs" spans latitudes pq / 1.5 to pq / 1.5 + 2/3 and longitudes
// 100 + rs to 101 + rs; a second-order mesh "pqrstu" is the 1/8 x 1/8 part of it in row t
// (counted from the south) and column u, both 0 to 7. nullopt for any other code. Each edge is
// one correctly rounded division, so it is the double nearest to the exact bound.
std::optional<MeshBounds> BoundsOfMesh(std::string_view code);

// How a raster lies on the earth: the outer edges of its north-west cell, west and north, and
// the width and height of its cells, in degrees.
struct GeoPlacement {
  double west;
  double north;
  double cellWidth;
  double cellHeight;
};

// A `width` x `height` raster that covers the mesh `code` exactly: the mesh's bounds are the
// outer edges of its outer cells (a GML10 mosaic of mesh "pqrs" has cells of 1/9000 degree, a
// GML5 mosaic of "pqrstu" and a merged raster of "pqrs" cells of 1/18000 degree). The cell
// sizes are one correctly rounded division each.
std::optional<GeoPlacement> PlacementOfMesh(std::string_view code, std::int64_t width,
                                            std::int64_t height);

}  // namespace elevara
