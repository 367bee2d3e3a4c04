#include "raster/datum.h"

namespace elevara {
namespace {

constexpr Datum kDatums[] = {Datum::kJgd2000, Datum::kJgd2011, Datum::kJgd2024};

}  // namespace

std::string_view WktOf(Datum datum) {
  switch (datum) {
    case Datum::kJgd2000:
      return R"(GEOGCS["JGD2000",DATUM["Japanese_Geodetic_Datum_2000",)"
             R"(SPHEROID["GRS 1980",6378137,298.257222101,AUTHORITY["EPSG","7019"]],)"
             R"(AUTHORITY["EPSG","6612"]],PRIMEM["Greenwich",0,AUTHORITY["EPSG","8901"]],)"
             R"(UNIT["degree",0.0174532925199433,AUTHORITY["EPSG","9122"]],)"
             R"(AXIS["Latitude",NORTH],AXIS["Longitude",EAST],AUTHORITY["EPSG","4612"]])";
    case Datum::kJgd2011:
      return R"(GEOGCS["JGD2011",DATUM["Japanese_Geodetic_Datum_2011",)"
             R"(SPHEROID["GRS 1980",6378137,298.257222101,AUTHORITY["EPSG","7019"]],)"
             R"(AUTHORITY["EPSG","1128"]],PRIMEM["Greenwich",0,AUTHORITY["EPSG","8901"]],)"
             R"(UNIT["degree",0.0174532925199433,AUTHORITY["EPSG","9122"]],)"
             R"(AXIS["Latitude",NORTH],AXIS["Longitude",EAST],AUTHORITY["EPSG","6668"]])";
    case Datum::kJgd2024:
      return R"(GEOGCS["JGD2024",DATUM["Japanese_Geodetic_Datum_2024",)"
             R"(SPHEROID["GRS 1980",6378137,298.257222101,AUTHORITY["EPSG","7019"]]],)"
             R"(PRIMEM["Greenwich",0,AUTHORITY["EPSG","8901"]],)"
             R"(UNIT["degree",0.0174532925199433,AUTHORITY["EPSG","9122"]],)"
             R"(AXIS["Latitude",NORTH],AXIS["Longitude",EAST]])";
  }
  return {};
}

std::optional<Datum> DatumOfWkt(std::string_view wkt) {
  for (Datum datum : kDatums) {
    if (WktOf(datum) == wkt) return datum;
  }
  return std::nullopt;
}

void DatumAgreement::add(std::optional<Datum> declared) {
  if (!declared || (any_ && declared != common_)) agreed_ = false;
  if (!any_) common_ = declared;
  any_ = true;
}

}  // namespace elevara
