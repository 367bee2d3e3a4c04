// The rules of the texts the user types and reads: the number fields, the error box and the
// application title, the same in the window and the terminal front end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace elevara {

// Converts the text of a number field: optional leading blanks, an optional sign, then decimal
// digits, or hexadecimal digits after "$", "x", "X", "0x" or "0X"; the value must fit a signed
// 32-bit integer. Anything else (an empty text, trailing
// blanks) throws Error(kBadInput) with the text "'<text>' は整数ではありません".
std::int32_t ConvertEditInteger(std::string_view text);

// The text of the error box: the message, with "." appended when it is not empty and its last
// byte sorts after ".".
std::string ErrorDisplayText(std::string_view message);

// The application title shown as the caption of every message box: the executable's file name
// without its folder and without everything from its first "." on, with every ASCII letter
// after the first in lower case.
std::string ApplicationTitle(std::string_view executablePath);

}  // namespace elevara
