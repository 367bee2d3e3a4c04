// Which of several files of one tile is the better one: GSI publishes a mesh again as new
// products and new surveys, each a file of its own, named with its product letter and its date
// ("FG-GML-5339-45-00-DEM5A-20161001.xml").
#pragma once

#include <optional>
#include <string_view>

namespace elevara {

// What a tile's file name says of its edition.
struct GmlEdition {
  char product;  // the letter behind "DEM" and the grid's digits, upper case: 'A' laser survey
  int date;      // the 8-digit date, YYYYMMDD

  bool operator==(const GmlEdition&) const = default;
};

// The edition of the file name `fileName`: the field (between '-') of "DEM" in any letter case,
// one or more digits and one letter, and the next field's first 8 bytes, digits not followed by
// another digit. nullopt when the name has no such fields.
std::optional<GmlEdition> EditionOfName(std::string_view fileName);

// Whether `a` is the better edition: the earlier product letter (A before B before C), then the
// newer date. Editions of one product and date are neither better than the other.
inline bool IsBetterEdition(const GmlEdition& a, const GmlEdition& b) {
  if (a.product != b.product) return a.product < b.product;
  return a.date > b.date;
}

}  // namespace elevara
