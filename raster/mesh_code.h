// Where a mesh of Japan's regional grid lies on the earth, from its code's digits.
#pragma once

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

// How a raster lies on the earth: the outer edge of its north-west cell and the side of its
// square cells, in degrees.
struct GeoPlacement {
  double west;
  double north;
  double cellSize;
};

// A raster that covers the mesh `code` exactly with cells of 1 / cellsPerDegree degree, the
// mesh's bounds being the outer edges of its outer cells.
std::optional<GeoPlacement> PlacementOfMesh(std::string_view code, int cellsPerDegree);

}  // namespace elevara
