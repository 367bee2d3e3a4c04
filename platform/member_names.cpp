#include "platform/member_names.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>

namespace elevara {
namespace {

#include "platform/code_page_tables.inc"

constexpr unsigned kCp932TrailFirst = 0x40;
constexpr unsigned kCp932TrailLast = 0xFC;
constexpr unsigned kCp932Trails = kCp932TrailLast - kCp932TrailFirst + 1;
constexpr unsigned kCp932Leads = (0x9F - 0x81 + 1) + (0xFC - 0xE0 + 1);
static_assert(std::size(kCp932DoubleByte) == kCp932Leads * kCp932Trails);
static_assert(std::size(kCp437High) == 128);

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The row of a lead byte in kCp932DoubleByte, or nothing for a byte that leads no pair.
std::optional<unsigned> Cp932LeadRow(unsigned byte) {
  if (byte >= 0x81 && byte <= 0x9F) return byte - 0x81;
  if (byte >= 0xE0 && byte <= 0xFC) return byte - 0xE0 + (0x9F - 0x81 + 1);
  return std::nullopt;
}

std::optional<std::string> DecodeCp932(std::string_view raw) {
  std::string out;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const auto byte = static_cast<unsigned char>(raw[i]);
    if (byte < 0x80) {
      out += static_cast<char>(byte);
    } else if (byte >= 0xA1 && byte <= 0xDF) {  // half-width katakana
      AppendUtf8(out, 0xFF61 + (byte - 0xA1));
    } else if (const auto row = Cp932LeadRow(byte); row && i + 1 < raw.size()) {
      const auto trail = static_cast<unsigned char>(raw[++i]);
      if (trail < kCp932TrailFirst || trail > kCp932TrailLast) return std::nullopt;
      const char32_t c = kCp932DoubleByte[*row * kCp932Trails + (trail - kCp932TrailFirst)];
      if (c == 0) return std::nullopt;
      AppendUtf8(out, c);
    } else {
      return std::nullopt;
    }
  }
  return out;
}

std::string DecodeCp437(std::string_view raw) {
  std::string out;
  for (char c : raw) {
    const auto byte = static_cast<unsigned char>(c);
    AppendUtf8(out, byte < 0x80 ? char32_t{byte} : char32_t{kCp437High[byte - 0x80]});
  }
  return out;
}

}  // namespace

bool IsUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length;
    char32_t c;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      c = lead & 0x07;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    const char32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (c < smallest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::string DecodeMemberName(std::string_view raw) {
  if (IsUtf8(raw)) return std::string(raw);
  if (auto name = DecodeCp932(raw)) return *name;
  return DecodeCp437(raw);
}

}  // namespace elevara
