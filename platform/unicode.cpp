#include "platform/unicode.h"

#include <algorithm>

namespace elevara {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

void AppendUtf16(std::u16string& out, char32_t code) {
  if (code < 0x10000) {
    out += static_cast<char16_t>(code);
  } else {
    code -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (code >> 10));
    out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
  }
}

// The length of the sequence a lead byte starts; 0 for a byte that starts none.
std::size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t code) {
  auto byte = [&out](char32_t value) { out += static_cast<char>(value); };
  if (code < 0x80) {
    byte(code);
  } else if (code < 0x800) {
    byte(0xC0 | (code >> 6));
    byte(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    byte(0xE0 | (code >> 12));
    byte(0x80 | ((code >> 6) & 0x3F));
    byte(0x80 | (code & 0x3F));
  } else {
    byte(0xF0 | (code >> 18));
    byte(0x80 | ((code >> 12) & 0x3F));
    byte(0x80 | ((code >> 6) & 0x3F));
    byte(0x80 | (code & 0x3F));
  }
}

Utf8Character DecodeUtf8At(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  const std::size_t size = SequenceLength(lead);
  if (size == 1) return {lead, 1};
  if (size == 0 || at + size > text.size()) return {kReplacement, 1};
  char32_t code = lead & (0x7F >> size);
  for (std::size_t i = 1; i < size; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return {kReplacement, 1};
    code = (code << 6) | (next & 0x3F);
  }
  constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[size] || code > 0x10FFFF) return {kReplacement, 1};  // overlong, too large
  return {code, size};
}

bool IsUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const Utf8Character character = DecodeUtf8At(text, at);
    const bool replaced = character.code == kReplacement && character.length == 1;
    if (replaced || IsHighSurrogate(character.code) || IsLowSurrogate(character.code)) {
      return false;
    }
    at += character.length;
  }
  return true;
}

bool IsPlainFileNamePart(std::string_view text) {
  constexpr std::string_view kSeparatorsAndWildcards = "\\/:*?\"<>|";
  if (text.empty() || !IsUtf8(text)) return false;
  for (std::size_t at = 0; at < text.size();) {
    const Utf8Character character = DecodeUtf8At(text, at);
    const char32_t code = character.code;
    const bool control = code < 0x20 || (code >= 0x7F && code <= 0x9F);
    if (control || (code < 0x80 && kSeparatorsAndWildcards.find(static_cast<char>(code)) !=
                                       std::string_view::npos)) {
      return false;
    }
    at += character.length;
  }
  return true;
}

std::string_view Utf8Prefix(std::string_view text, std::size_t bytes) {
  std::size_t end = 0;
  while (end < text.size()) {
    const std::size_t next = end + CharacterLength(text, end);
    if (next > bytes) break;
    end = next;
  }
  return text.substr(0, end);
}

std::string Utf8FromUtf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      unit = 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    AppendUtf8(out, unit);
  }
  return out;
}

std::u16string Utf16FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const Utf8Character character = DecodeUtf8At(text, at);
    AppendUtf16(out, character.code);
    at += character.length;
  }
  return out;
}

std::string AsciiLowered(std::string_view text) {
  std::string lowered(text);
  std::transform(lowered.begin(), lowered.end(), lowered.begin(), AsciiLower);
  return lowered;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

std::filesystem::path PathFromUtf8(std::string_view name) {
#if defined(_WIN32)
  const std::u16string wide = Utf16FromUtf8(name);
  return std::filesystem::path(std::wstring(wide.begin(), wide.end()));
#else
  return std::filesystem::path(std::string(name));
#endif
}

std::string Utf8FromPath(const std::filesystem::path& path) {
#if defined(_WIN32)
  const std::wstring& wide = path.native();
  return Utf8FromUtf16(std::u16string(wide.begin(), wide.end()));
#else
  return path.native();
#endif
}

}  // namespace elevara
