// The datum a GML tile declares: the srsName of its envelope, such as
// <gml:Envelope srsName="fguuid:jgd2011.bl">.
#pragma once

#include <optional>
#include <string_view>

#include "raster/datum.h"

namespace elevara {

// Whether `token` (white-space separated, as the tile reader reads it) is the srsName
// attribute: it begins with `srsName=`.
bool IsSrsNameToken(std::string_view token);

// The datum the srsName token names: "fguuid:jgd2000.bl", "fguuid:jgd2011.bl" or
// "fguuid:jgd2024.bl" in double or single quotes. nullopt for any other name.
std::optional<Datum> DatumOfSrsName(std::string_view token);

}  // namespace elevara
