// The text rules of names, each in one place: UTF-8 sequences, UTF-16 (in which Windows keeps
// file names and command lines), ASCII letter case, and paths as UTF-8.
//
// Neither direction between UTF-8 and UTF-16 fails and names survive the round trip: Windows
// allows a lone surrogate in a name, and it becomes a three-byte sequence of its own (the
// generalised UTF-8 known as WTF-8), so that a listed name still opens the file it came from.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace elevara {

// Appends the UTF-8 sequence of `code`, a surrogate included (WTF-8).
void AppendUtf8(std::string& out, char32_t code);

// The character that starts at `at` of `text`: its code point and its length in bytes, 1 to 4.
// A byte that starts no sequence, or a sequence cut short, overlong or beyond U+10FFFF, is one
// character of its own, of length 1 and code point U+FFFD. Surrogates are characters here, as
// WTF-8 encodes them.
struct Utf8Character {
  char32_t code;
  std::size_t length;
};
Utf8Character DecodeUtf8At(std::string_view text, std::size_t at);

// Bytes of the character that starts at `at` (see DecodeUtf8At): what one "?" of a wildcard
// pattern consumes.
inline std::size_t CharacterLength(std::string_view text, std::size_t at) {
  return DecodeUtf8At(text, at).length;
}

// Whether `text` is well-formed UTF-8: every character a valid sequence, no surrogate.
bool IsUtf8(std::string_view text);

// Whether `text` may stand in a file name on every platform as it is: well-formed UTF-8 without
// any of \ / : * ? " < > | and without a control character (U+0000 to U+001F, U+007F to
// U+009F). A code read from an input's name goes into an output's name only then, so that it
// never reaches outside the folder (as "..\x" or "C:\W" would on Windows) and every platform
// writes the same files.
bool IsPlainFileNamePart(std::string_view text);

// The longest start of `text` of at most `bytes` bytes that ends between two characters.
std::string_view Utf8Prefix(std::string_view text, std::size_t bytes);

std::string Utf8FromUtf16(std::u16string_view text);
// Bytes that form no character become U+FFFD each, so every text names some file.
std::u16string Utf16FromUtf8(std::string_view text);

// ASCII letters in lower case; every other byte as it is. Names are compared so wherever case
// does not count (the directory search, ".zip", the keys of an ENVI header).
inline char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string AsciiLowered(std::string_view text);
bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b);

// A name or path in UTF-8 (as the directory search and the command line give them) as a path,
// and back, without a detour through the system's narrow code page, which on Windows cannot
// hold every name. Neither fails (see Utf16FromUtf8).
std::filesystem::path PathFromUtf8(std::string_view name);
std::string Utf8FromPath(const std::filesystem::path& path);

}  // namespace elevara
