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

// A mesh in whole units: latitudes in twelfths of a degree (a first-order mesh is 8 of them
// high, a second-order one 1), longitudes in eighths (8 and 1 wide), so that every bound and
// cell size is exact until its one division.
struct MeshUnits {
  int south;
  int west;
  int size;
};

std::optional<MeshUnits> UnitsOfMesh(std::string_view code) {
  if ((code.size() != 4 && code.size() != 6) || !AllDigits(code)) return std::nullopt;
  MeshUnits mesh{8 * DigitsValue(code.substr(0, 2)), 8 * (100 + DigitsValue(code.substr(2, 2))), 8};
  if (code.size() == 6) {
    const int row = code[4] - '0';
    const int column = code[5] - '0';
    if (row > 7 || column > 7) return std::nullopt;
    mesh = {mesh.south + row, mesh.west + column, 1};
  }
  return mesh;
}

constexpr double kLatitudeUnit = 12.0;
constexpr double kLongitudeUnit = 8.0;

}  // namespace

std::optional<MeshBounds> BoundsOfMesh(std::string_view code) {
  const std::optional<MeshUnits> mesh = UnitsOfMesh(code);
  if (!mesh) return std::nullopt;
  return MeshBounds{mesh->south / kLatitudeUnit, mesh->west / kLongitudeUnit,
                    (mesh->south + mesh->size) / kLatitudeUnit,
                    (mesh->west + mesh->size) / kLongitudeUnit};
}

std::optional<GeoPlacement> PlacementOfMesh(std::string_view code, std::int64_t width,
                                            std::int64_t height) {
  const std::optional<MeshUnits> mesh = UnitsOfMesh(code);
  if (!mesh || width < 1 || height < 1) return std::nullopt;
  return GeoPlacement{mesh->west / kLongitudeUnit, (mesh->south + mesh->size) / kLatitudeUnit,
                      mesh->size / (kLongitudeUnit * static_cast<double>(width)),
                      mesh->size / (kLatitudeUnit * static_cast<double>(height))};
}

}  // namespace elevara
