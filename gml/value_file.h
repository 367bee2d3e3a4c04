// The value file "dtm.txt": one line of value text per listed value, written from the tokens of
// a GML tile and read back into the cells of the tile raster from its start point on. The road
// of ConvertGmlTileByValueFile, the reference of the direct conversion.
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

// The length of the line at `at` with its LF, when the LF is among the 16 bytes there (all
// readable); 0 otherwise.
inline std::size_t ShortLineLength(const char* at) {
#if defined(ELEVARA_GML_SSE2)
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  const auto lf =
      static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))));
  return lf == 0 ? 0 : static_cast<std::size_t>(std::countr_zero(lf)) + 1;
#else
  const void* lf = std::memchr(at, '\n', ValueTextKey::kMaxSize);
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
    if (end_ - pos_ >= ValueTextKey::kMaxSize) {
      if (const std::size_t size = ShortLineLength(at); size != 0) {
        pos_ += size;
        std::size_t text = size - 1;  // without the LF, and without a CR before it
        if (text > 0 && at[text - 1] == '\r') --text;
        return values_.valueOf(std::string_view(at, text));
      }
    }
    return ParseValueText(nextLine());
  }

 private:
  std::string_view nextLine();
  bool refill();

  InputFile file_;
  std::size_t capacity_;
  std::vector<char> buffer_;  // ValueTextKey::kMaxSize bytes more than capacity_
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool eof_ = false;
  ValueTextCache values_;
};

}  // namespace elevara
