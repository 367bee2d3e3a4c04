#include "gml/gml_edition.h"

#include <algorithm>
#include <cstddef>

#include "platform/unicode.h"

namespace elevara {
namespace {

constexpr std::size_t kDateDigits = 8;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// "DEM5A", "dem10b": the product letter, upper case; nullopt for any other field.
std::optional<char> ProductLetterOf(std::string_view field) {
  constexpr std::string_view kDem = "dem";
  if (field.size() < kDem.size() + 2 || AsciiLowered(field.substr(0, kDem.size())) != kDem) {
    return std::nullopt;
  }
  const std::string_view digits = field.substr(kDem.size(), field.size() - kDem.size() - 1);
  for (char c : digits) {
    if (!IsDigit(c)) return std::nullopt;
  }
  const char letter = field.back();
  if (!IsAsciiLetter(letter)) return std::nullopt;
  return static_cast<char>(letter & ~0x20);
}

// "20161001.xml", "20161001 (1).xml": the date; nullopt unless 8 digits, and no ninth, start it.
std::optional<int> DateOf(std::string_view field) {
  if (field.size() < kDateDigits || (field.size() > kDateDigits && IsDigit(field[kDateDigits]))) {
    return std::nullopt;
  }
  int date = 0;
  for (std::size_t i = 0; i < kDateDigits; ++i) {
    if (!IsDigit(field[i])) return std::nullopt;
    date = date * 10 + (field[i] - '0');
  }
  return date;
}

}  // namespace

std::optional<GmlEdition> EditionOfName(std::string_view fileName) {
  std::size_t start = 0;
  while (start <= fileName.size()) {
    const std::size_t end = std::min(fileName.find('-', start), fileName.size());
    if (const std::optional<char> product = ProductLetterOf(fileName.substr(start, end - start))) {
      if (end == fileName.size()) return std::nullopt;
      const std::optional<int> date = DateOf(fileName.substr(end + 1));
      if (!date) return std::nullopt;
      return GmlEdition{*product, *date};
    }
    start = end + 1;
  }
  return std::nullopt;
}

}  // namespace elevara
