// The rules by which the value texts of a tile become numbers: a cell's value, and the integers
// of the start point.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace elevara {

// The cell value of one value text (a line of the value file): the decimal number at its start
// (optional sign, fraction and exponent, "inf" and "nan" too), rounded once to float, as strtof
// reads it; -9999.0 when the text holds no number, so an odd text never moves the cells after
// it. Numbers beyond float's range become infinities or zeros.
float ParseValueText(std::string_view text);

// The decimal integer at the start of `text`: an optional sign, then digits up to the first
// other byte; 0 without digits. Saturates instead of overflowing, since every digit counts.
std::int64_t ParseLeadingInteger(std::string_view text);

// Up to 16 bytes of text as two words: a key that compares and hashes without a call. The value
// texts of the published tiles are 4 to 8 bytes long.
struct ValueTextKey {
  static constexpr std::size_t kMaxSize = 16;

  std::uint64_t low = 0;
  std::uint64_t high = 0;
  std::size_t size = 0;  // 0: no text

  // The `size` bytes at `bytes`, of which kMaxSize must be readable.
  static ValueTextKey Of(const char* bytes, std::size_t size) {
    ValueTextKey key;
    std::memcpy(&key.low, bytes, 8);
    std::memcpy(&key.high, bytes + 8, 8);
    key.low &= LeadingBytes(std::min<std::size_t>(size, 8));
    key.high &= LeadingBytes(size > 8 ? size - 8 : 0);
    key.size = size;
    return key;
  }

  bool operator==(const ValueTextKey&) const = default;

  std::size_t hash(int bits) const {
    const std::uint64_t mixed = (low ^ (high * 0xC2B2AE3D27D4EB4Full)) * 0x9E3779B97F4A7C15ull;
    return static_cast<std::size_t>(mixed >> (64 - bits));
  }

  // The bits of the first `count` bytes in memory order.
  static std::uint64_t LeadingBytes(std::size_t count) {
    if (count == 0) return 0;
    if (count >= 8) return ~std::uint64_t{0};
    if constexpr (std::endian::native == std::endian::little) {
      return (std::uint64_t{1} << (8 * count)) - 1;
    } else {
      return ~std::uint64_t{0} << (64 - 8 * count);
    }
  }
};

// ParseValueText, remembering the values of the texts met lately. A tile holds a few thousand
// distinct value texts among its 843,750 cells (sea and no-data alone are a third of many
// tiles), so most texts are found among the recent ones and only the rest are parsed. Made once
// and kept: what it remembers holds for any tile.
class ValueTextCache {
 public:
  ValueTextCache() : recent_(std::size_t{1} << kRecentBits) {}

  // The value of `text`, of whose first byte on ValueTextKey::kMaxSize bytes must be readable,
  // its own or not.
  float valueOf(std::string_view text) {
    if (text.empty() || text.size() > ValueTextKey::kMaxSize) return ParseValueText(text);
    const ValueTextKey key = ValueTextKey::Of(text.data(), text.size());
    Recent& recent = recent_[key.hash(kRecentBits)];
    if (recent.key == key) return recent.value;
    // Field by field: a whole entry copied through the stack waits on its own parts.
    const float value = ParseValueText(text);
    recent.key = key;
    recent.value = value;
    return value;
  }

 private:
  static constexpr int kRecentBits = 12;
  struct Recent {
    ValueTextKey key;  // size 0, which no text has, until first used
    float value = 0;
  };
  std::vector<Recent> recent_;
};

}  // namespace elevara
