#include "gml/declared_datum.h"

namespace elevara {
namespace {

constexpr std::string_view kAttribute = "srsName=";

struct NamedDatum {
  std::string_view srsName;
  Datum datum;
};

constexpr NamedDatum kNamedDatums[] = {
    {"fguuid:jgd2000.bl", Datum::kJgd2000},
    {"fguuid:jgd2011.bl", Datum::kJgd2011},
    {"fguuid:jgd2024.bl", Datum::kJgd2024},
};

}  // namespace

bool IsSrsNameToken(std::string_view token) {
  return token.starts_with(kAttribute);
}

std::optional<Datum> DatumOfSrsName(std::string_view token) {
  if (!IsSrsNameToken(token)) return std::nullopt;
  std::string_view value = token.substr(kAttribute.size());
  if (value.empty() || (value[0] != '"' && value[0] != '\'')) return std::nullopt;
  const std::size_t close = value.find(value[0], 1);
  if (close == std::string_view::npos) return std::nullopt;
  value = value.substr(1, close - 1);
  for (const NamedDatum& named : kNamedDatums) {
    if (named.srsName == value) return named.datum;
  }
  return std::nullopt;
}

}  // namespace elevara
