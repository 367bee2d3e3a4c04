// The value file "dtm.txt": one line of value text per listed value, written from the tokens of
// a GML tile and read back into the cells of the tile raster from its start point on.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "gml/gml_tokens.h"
#include "gml/value_text.h"
#include "platform/files.h"

namespace elevara {

// Lines of the value file, gathered into large blocks before they reach the file.
class ValueFileWriter {
 public:
  explicit ValueFileWriter(OutputFile file);

  // Value texts come from GmlTokenReader tokens, whose buffer keeps bytes readable past every
  // token, so a short text is copied as one fixed block instead of a call.
  void line(std::string_view text) {
    constexpr std::size_t kBlock = 16;
    static_assert(GmlTokenReader::kReadablePastToken >= kBlock);
    if (text.size() <= kBlock && used_ + kBlock + 2 <= buffer_.size()) {
      char* out = buffer_.data() + used_;
      std::memcpy(out, text.data(), kBlock);
      out[text.size()] = '\r';
      out[text.size() + 1] = '\n';
      used_ += text.size() + 2;
      return;
    }
    if (used_ + text.size() + 2 > buffer_.size()) {
      flush();
      if (text.size() + 2 > buffer_.size()) {  // a giant token: straight through
        file_.writeLine(text);
        return;
      }
    }
    char* out = buffer_.data() + used_;
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\r';
    out[text.size() + 1] = '\n';
    used_ += text.size() + 2;
  }

  void close();

 private:
  void flush();

  OutputFile file_;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
};

// Up to 16 bytes of a line, CR LF included, as two words: a key that compares and hashes
// without a call. Lines of this system's value files are 7 to 10 bytes long.
struct LineKey {
  static constexpr std::size_t kMaxSize = 16;

  std::uint64_t low = 0;
  std::uint64_t high = 0;
  std::size_t size = 0;  // 0: no line

  // The `size` bytes at `bytes`, of which kMaxSize must be readable.
  static LineKey Of(const char* bytes, std::size_t size) {
    LineKey key;
    std::memcpy(&key.low, bytes, 8);
    std::memcpy(&key.high, bytes + 8, 8);
    key.low &= LeadingBytes(std::min<std::size_t>(size, 8));
    key.high &= LeadingBytes(size > 8 ? size - 8 : 0);
    key.size = size;
    return key;
  }

  bool operator==(const LineKey&) const = default;

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

// The length of the line at `at` with its LF, when the LF is among the 16 bytes there (all
// readable); 0 otherwise.
inline std::size_t ShortLineLength(const char* at) {
#if defined(ELEVARA_GML_SSE2)
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  const auto lf =
      static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))));
  return lf == 0 ? 0 : static_cast<std::size_t>(std::countr_zero(lf)) + 1;
#else
  const void* lf = std::memchr(at, '\n', LineKey::kMaxSize);
  return lf == nullptr ? 0 : static_cast<std::size_t>(static_cast<const char*>(lf) - at) + 1;
#endif
}

// The values of the value file, one line each, read back in blocks; past its end, no-data.
class ValueFileReader {
 public:
  explicit ValueFileReader(InputFile file);

  // The value of the next line (see ParseValueText).
  float next() {
    const char* const at = buffer_.data() + pos_;
    if (end_ - pos_ >= LineKey::kMaxSize) {
      if (const std::size_t size = ShortLineLength(at); size != 0) {
        pos_ += size;
        return valueOf(at, size);
      }
    }
    return ParseValueText(nextLine());
  }

 private:
  // A tile holds a few thousand distinct value texts among its 843,750 cells (sea and
  // no-data alone are a third of many tiles), so most lines are found among the recent ones
  // and only the rest are parsed.
  static constexpr int kRecentBits = 12;
  struct Recent {
    LineKey key;
    float value = 0;
  };

  float valueOf(const char* line, std::size_t size) {
    const LineKey key = LineKey::Of(line, size);
    Recent& recent = recent_[key.hash(kRecentBits)];
    if (recent.key == key) return recent.value;
    return remember(recent, key, line, size);
  }
  float remember(Recent& recent, const LineKey& key, const char* line, std::size_t size);

  std::string_view nextLine();
  bool refill();

  InputFile file_;
  std::size_t capacity_;
  std::vector<char> buffer_;  // LineKey::kMaxSize bytes more than capacity_
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool eof_ = false;
  std::vector<Recent> recent_;
};

}  // namespace elevara
