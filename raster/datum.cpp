#include "raster/datum.h"

#include <charconv>
#include <string>

namespace elevara {
namespace {

// What sets the geographic coordinate systems apart: their names and EPSG codes (none where
// the EPSG database has none for GDAL to know).
struct DatumNames {
  Datum datum;
  std::string_view system;
  std::string_view datumName;
  std::string_view datumCode;
  std::string_view systemCode;
};

constexpr DatumNames kDatums[] = {
    {Datum::kJgd2000, "JGD2000", "Japanese_Geodetic_Datum_2000", "6612", "4612"},
    {Datum::kJgd2011, "JGD2011", "Japanese_Geodetic_Datum_2011", "1128", "6668"},
    {Datum::kJgd2024, "JGD2024", "Japanese_Geodetic_Datum_2024", "", ""},
};

std::string Authority(std::string_view code) {
  return code.empty() ? "" : ",AUTHORITY[\"EPSG\",\"" + std::string(code) + "\"]";
}

}  // namespace

std::string WktOf(Datum datum) {
  for (const DatumNames& names : kDatums) {
    if (names.datum != datum) continue;
    return "GEOGCS[\"" + std::string(names.system) + "\",DATUM[\"" + std::string(names.datumName) +
           "\",SPHEROID[\"GRS 1980\",6378137,298.257222101,AUTHORITY[\"EPSG\",\"7019\"]]" +
           Authority(names.datumCode) + "],PRIMEM[\"Greenwich\",0,AUTHORITY[\"EPSG\",\"8901\"]]," +
           "UNIT[\"degree\",0.0174532925199433,AUTHORITY[\"EPSG\",\"9122\"]]," +
           "AXIS[\"Latitude\",NORTH],AXIS[\"Longitude\",EAST]" + Authority(names.systemCode) + "]";
  }
  return {};
}

DatumIdentity IdentityOf(Datum datum) {
  for (const DatumNames& names : kDatums) {
    if (names.datum != datum) continue;
    int code = 0;
    std::from_chars(names.systemCode.data(), names.systemCode.data() + names.systemCode.size(),
                    code);
    return {names.system, names.datumName, code};
  }
  return {};
}

std::optional<Datum> DatumOfWkt(std::string_view wkt) {
  for (const DatumNames& names : kDatums) {
    if (WktOf(names.datum) == wkt) return names.datum;
  }
  return std::nullopt;
}

void DatumAgreement::add(std::optional<Datum> declared) {
  if (!declared || (any_ && declared != common_)) agreed_ = false;
  if (!any_) common_ = declared;
  any_ = true;
}

}  // namespace elevara
