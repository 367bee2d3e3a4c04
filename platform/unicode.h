// UTF-16, in which Windows keeps file names and command lines, and the UTF-8 that the rest of
// the program uses. Neither direction fails and names survive the round trip: Windows allows a
// lone surrogate in a name, and it becomes a three-byte sequence of its own (the generalised
// UTF-8 known as WTF-8), so that a listed name still opens the file it came from.
#pragma once

#include <string>
#include <string_view>

namespace elevara {

std::string Utf8FromUtf16(std::u16string_view text);

// Bytes that form no character (a stray byte, a sequence cut short or too long) become U+FFFD
// each, so every text names some file.
std::u16string Utf16FromUtf8(std::string_view text);

}  // namespace elevara
