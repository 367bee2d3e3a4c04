// The geodetic datums Japan's elevation tiles are published on, and the coordinate system each
// one names in a georeferencing header.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace elevara {

enum class Datum { kJgd2000, kJgd2011, kJgd2024 };

// The geographic coordinate system on `datum` as one line of WKT (version 1), the form GDAL
// reads from an ENVI header's "coordinate system string". JGD2000 and JGD2011 carry their
// EPSG codes (4612, 6668); JGD2024 is spelt out in full (GRS 1980 ellipsoid), since PROJ
// databases older than 2024 have no code for it.
std::string WktOf(Datum datum);

// How the geographic coordinate system on a datum is named, as WktOf spells it: the system
// ("JGD2011"), its datum ("Japanese_Geodetic_Datum_2011") and the system's EPSG code (0 where the
// EPSG database has none). Every one lies on the GRS 1980 ellipsoid.
struct DatumIdentity {
  std::string_view system;
  std::string_view datum;
  int epsgCode = 0;
};
DatumIdentity IdentityOf(Datum datum);

// The datum whose WKT is exactly `wkt`; nullopt for any other text.
std::optional<Datum> DatumOfWkt(std::string_view wkt);

// The datum that a raster's sources agree on: one datum when every source declared that same
// datum, none when one declared nothing known, when two disagree, or when there were none.
class DatumAgreement {
 public:
  // nullopt: the source declared nothing known.
  void add(std::optional<Datum> declared);
  std::optional<Datum> common() const { return agreed_ ? common_ : std::nullopt; }

 private:
  std::optional<Datum> common_;
  bool agreed_ = true;
  bool any_ = false;
};

}  // namespace elevara
