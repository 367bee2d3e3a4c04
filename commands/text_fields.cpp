#include "commands/text_fields.h"

#include <limits>

#include "platform/errors.h"
#include "platform/unicode.h"

namespace elevara {
namespace {

int DigitValue(char c, int base) {
  int value = -1;
  if (c >= '0' && c <= '9') value = c - '0';
  if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
  return value < base ? value : -1;
}

[[noreturn]] void NotAnInteger(std::string_view text) {
  throw Error(ErrorKind::kBadInput, "'" + std::string(text) + "' は整数ではありません");
}

}  // namespace

std::int32_t ConvertEditInteger(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && text[at] == ' ') ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
  int base = 10;
  if (at < text.size() && (text[at] == '$' || text[at] == 'x' || text[at] == 'X')) {
    base = 16;
    ++at;
  } else if (at + 1 < text.size() && text[at] == '0' &&
             (text[at + 1] == 'x' || text[at + 1] == 'X')) {
    base = 16;
    at += 2;
  }
  if (at == text.size()) NotAnInteger(text);
  // Accumulate the magnitude in 64 bits and stop as soon as it cannot fit any more.
  const std::int64_t limit =
      std::int64_t{std::numeric_limits<std::int32_t>::max()} + (negative ? 1 : 0);
  std::int64_t magnitude = 0;
  for (; at < text.size(); ++at) {
    int digit = DigitValue(text[at], base);
    if (digit < 0) NotAnInteger(text);
    magnitude = magnitude * base + digit;
    if (magnitude > limit) NotAnInteger(text);
  }
  return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

std::string ErrorDisplayText(std::string_view message) {
  std::string text(message);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.')) {
    text += '.';
  }
  return text;
}

std::string ApplicationTitle(std::string_view executablePath) {
  std::size_t slash = executablePath.find_last_of("/\\");
  std::string_view name =
      slash == std::string_view::npos ? executablePath : executablePath.substr(slash + 1);
  name = name.substr(0, name.find('.'));
  std::string title(name);
  for (std::size_t i = 1; i < title.size(); ++i) {
    title[i] = AsciiLower(title[i]);
  }
  return title;
}

}  // namespace elevara
