// The rules by which the text of the value file becomes numbers: a cell's value, and the
// integers of the start point.
#pragma once

#include <cstdint>
#include <string_view>

namespace elevara {

// The cell value of one line of the value file: the decimal number at its start (optional sign,
// fraction and exponent, "inf" and "nan" too), rounded once to float, as strtof reads it;
// -9999.0 when the line holds no number, so an odd line never moves the cells after it. Numbers
// beyond float's range become infinities or zeros.
float ParseValueText(std::string_view text);

// The decimal integer at the start of `text`: an optional sign, then digits up to the first
// other byte; 0 without digits. Saturates instead of overflowing, since every digit counts.
std::int64_t ParseLeadingInteger(std::string_view text);

}  // namespace elevara
