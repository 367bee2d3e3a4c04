#include "archive/member_names.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>

#include "platform/unicode.h"

namespace elevara {
namespace {

#include "archive/code_page_tables.inc"

constexpr unsigned kCp932TrailFirst = 0x40;
constexpr unsigned kCp932TrailLast = 0xFC;
constexpr unsigned kCp932Trails = kCp932TrailLast - kCp932TrailFirst + 1;
constexpr unsigned kCp932Leads = (0x9F - 0x81 + 1) + (0xFC - 0xE0 + 1);
static_assert(std::size(kCp932DoubleByte) == kCp932Leads * kCp932Trails);
static_assert(std::size(kCp437High) == 128);

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

std::string DecodeMemberName(std::string_view raw) {
  if (IsUtf8(raw)) return std::string(raw);
  if (auto name = DecodeCp932(raw)) return *name;
  return DecodeCp437(raw);
}

}  // namespace elevara
