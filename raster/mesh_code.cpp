#include "raster/mesh_code.h"

#include <algorithm>

namespace elevara {
namespace {

bool AllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int DigitsValue(std::string_view digits) {
  int value = 0;
  for (char c : digits) value = value * 10 + (c - '0');
  return value;
}

}  // namespace

std::optional<MeshBounds> BoundsOfMesh(std::string_view code) {
  if ((code.size() != 4 && code.size() != 6) || !AllDigits(code)) return std::nullopt;
  // Latitudes in twelfths of a degree: a first-order mesh is 8 of them, a second-order one 1.
  // Longitudes in eighths: 8 and 1. Both fractions are then exact until the one division.
  const int latitudeRow = DigitsValue(code.substr(0, 2));
  const int longitudeColumn = DigitsValue(code.substr(2, 2));
  int south = 8 * latitudeRow;
  int west = 8 * (100 + longitudeColumn);
  int size = 8;
  if (code.size() == 6) {
    const int row = code[4] - '0';
    const int column = code[5] - '0';
    if (row > 7 || column > 7) return std::nullopt;
    south += row;
    west += column;
    size = 1;
  }
  return MeshBounds{south / 12.0, west / 8.0, (south + size) / 12.0, (west + size) / 8.0};
}

std::optional<GeoPlacement> PlacementOfMesh(std::string_view code, int cellsPerDegree) {
  const std::optional<MeshBounds> bounds = BoundsOfMesh(code);
  if (!bounds) return std::nullopt;
  return GeoPlacement{bounds->west, bounds->north, 1.0 / cellsPerDegree};
}

}  // namespace elevara
