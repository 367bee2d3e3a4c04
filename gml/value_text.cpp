#include "gml/value_text.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <system_error>

#include "raster/raw_raster.h"

namespace elevara {
namespace {

// Decides between an infinity and a zero for a decimal number float cannot hold: the number is
// huge when its first significant digit stands before the decimal point after the exponent.
float OutOfRangeValue(std::string_view number) {
  const bool negative = !number.empty() && number[0] == '-';
  if (negative) number.remove_prefix(1);
  std::size_t i = 0;
  std::int64_t magnitude = 0;
  bool significant = false;
  for (; i < number.size() && number[i] >= '0' && number[i] <= '9'; ++i) {
    significant = significant || number[i] != '0';
    if (significant) magnitude = std::min<std::int64_t>(magnitude + 1, 1 << 30);
  }
  if (i < number.size() && number[i] == '.') {
    for (++i; i < number.size() && number[i] >= '0' && number[i] <= '9'; ++i) {
      if (significant) continue;
      if (number[i] != '0') {
        significant = true;
      } else {
        magnitude = std::max<std::int64_t>(magnitude - 1, -(1 << 30));
      }
    }
  }
  if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
    magnitude += ParseLeadingInteger(number.substr(i + 1));  // both saturate far apart
  }
  const float value = magnitude > 0 ? std::numeric_limits<float>::infinity() : 0.0f;
  return negative ? -value : value;
}

}  // namespace

std::int64_t ParseLeadingInteger(std::string_view text) {
  std::size_t i = 0;
  const bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 10 - 1;
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value < kLimit ? value * 10 + (text[i] - '0') : kLimit;
  }
  return negative ? -value : value;
}

float ParseValueText(std::string_view text) {
  // strtof takes a plus sign, from_chars does not.
  if (!text.empty() && text[0] == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) return kNoData;
  }
  float value;
  auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::invalid_argument) return kNoData;
  if (error == std::errc::result_out_of_range) {
    return OutOfRangeValue(text.substr(0, static_cast<std::size_t>(stop - text.data())));
  }
  return value;
}

}  // namespace elevara
