// The GML tiles are read as a stream of white-space separated byte tokens, never parsed as XML:
// the few tokens the converter needs are recognised by fixed byte positions.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// The value pass calls next() once per cell; it must not cost a call.
#if defined(__GNUC__)
#define ELEVARA_GML_INLINE [[gnu::always_inline]] inline
#else
#define ELEVARA_GML_INLINE inline
#endif

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define ELEVARA_GML_SSE2 1
#endif

#include "platform/files.h"

namespace elevara {

// Blank, tab, line feed, vertical tab, form feed and carriage return: the bytes that end a token.
inline bool IsGmlSpace(char c) {
  return c == ' ' || static_cast<unsigned char>(c - '\t') < 5;
}

// Streams the tokens of a file through a block buffer. A token longer than the buffer makes the
// buffer grow, so tokens come out whole, up to a bound far beyond any tile's. One reader reads
// file after file (start()), keeping its buffers.
class GmlTokenReader {
 public:
  static constexpr std::size_t kDefaultBufferSize = std::size_t{1} << 20;
  // A token of a tile holds some tens of bytes. One longer than this ends the reading as a read
  // failure (FileError, kRead, "value too large") of the file, so that a hostile file, or a
  // ZIP member that inflates to one endless token, cannot take the memory.
  static constexpr std::size_t kDefaultMaxTokenSize = std::size_t{64} << 20;
  // Bytes behind the end of every token that next() returns which may be read, though they are
  // not the token's: fixed-size copies and loads of a short token need no bounds check.
  static constexpr std::size_t kReadablePastToken = 16;

  explicit GmlTokenReader(InputFile file, std::size_t bufferSize = kDefaultBufferSize,
                          std::size_t maxTokenSize = kDefaultMaxTokenSize);
  // A reader with its buffers made but no file yet: start() gives it one.
  explicit GmlTokenReader(std::size_t bufferSize = kDefaultBufferSize,
                          std::size_t maxTokenSize = kDefaultMaxTokenSize);

  // Reads `file` from its first token on, in the buffers of the file before, which a long token
  // had grown are made their first size again.
  void start(InputFile file);
  // Closes the file, so that it is not held until the next one.
  void finish();

  // The next token; false at the end of the file. The view stays valid until the next call.
  ELEVARA_GML_INLINE bool next(std::string_view& token) {
    // Tokens are taken from an index of their bounds, built for a window of bytes at a time
    // without any branch per byte; a scan from one token's end to the next one's start would
    // wait on every byte it looks at.
    if (bound_ + 2 > boundCount_ && !indexWindow()) return nextAcrossBlocks(token);
    const std::size_t start = bounds_[bound_];
    const std::size_t stop = bounds_[bound_ + 1];
    bound_ += 2;
    token = std::string_view(buffer_.data() + start, stop - start);
    pos_ = std::min(stop + 1, end_);
    return true;
  }

  // The bytes after the last comma of a token that next() returned (all of it without a
  // comma): the value text of a value token, whose type name before the comma plays no part.
  static std::string_view TextAfterLastComma(std::string_view token) {
#if defined(ELEVARA_GML_SSE2)
    // The 16 bytes that end the token, or the short token and the bytes behind it, which stay
    // readable (kReadablePastToken).
    static_assert(kReadablePastToken >= 16);
    const std::size_t size = token.size();
    const std::size_t window = size > 16 ? size - 16 : 0;
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(token.data() + window));
    unsigned commas =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(','))));
    if (size < 16) commas &= (1u << size) - 1;
    if (commas != 0) return token.substr(window + std::bit_width(commas));
    if (size <= 16) return token;
#endif
    for (std::size_t i = token.size(); i > 0; --i) {
      if (token[i - 1] == ',') return token.substr(i);
    }
    return token;
  }

  // Whether bytes 5 to 10 of `token` are `tag`, the test seekTagged() makes.
  static bool IsTagged(std::string_view token, std::string_view tag) {
    return token.size() >= kTagOffset + kTagLength && token.substr(kTagOffset, kTagLength) == tag;
  }

  // Moves to the first token from here on whose bytes 5 to 10 are `tag` (six bytes that are not
  // white space); next() then returns that token. False, at the end of the file, when none is.
  // The search looks for the tag's last byte with memchr and checks the token around each hit,
  // so it runs at memory speed instead of token by token.
  bool seekTagged(std::string_view tag);
  // The same for whichever of `tags` (at most kMaxSeekTags) comes first: the index of its tag,
  // nullopt at the end of the file.
  std::optional<std::size_t> seekTagged(std::span<const std::string_view> tags);
  static constexpr std::size_t kMaxSeekTags = 4;

  // Reads what is left of the file without looking at it, so that a check at its end (the
  // checksum of an archive member) has run; a failure throws as any read does.
  void readToEnd();

 private:
  static constexpr std::size_t kTagOffset = 5;
  static constexpr std::size_t kTagLength = 6;
  // A hit on the tag's last byte needs the token's first ten bytes and the byte before them.
  static constexpr std::size_t kSeekContext = kTagOffset + kTagLength;

  // The buffer holds this many bytes more than it fills, so the 64-byte loads of the index
  // and the loads behind a token near its end stay inside it.
  static constexpr std::size_t kPadding = 64;
  static_assert(kPadding >= kReadablePastToken);
  // Bytes indexed at a time: their token bounds stay in the first level of the cache.
  static constexpr std::size_t kIndexWindow = 4096;

  // Fills bounds_ with the start and end of every token that begins and ends in the window of
  // bytes from pos_ on. False when the window holds no whole token; next() then goes on byte by
  // byte.
  bool indexWindow();
  void dropIndex() {
    boundCount_ = 0;
    bound_ = 0;
  }
  bool nextAcrossBlocks(std::string_view& token);
  bool isTaggedTokenAt(std::size_t start, std::string_view tag) const;
  // Moves the bytes from `keepFrom` on to the front, growing the buffer when they fill it, and
  // reads more behind them. False when nothing more could be read.
  bool refill(std::size_t keepFrom);

  std::optional<InputFile> file_;
  std::size_t maxTokenSize_;
  std::size_t bufferSize_;  // the first capacity_
  std::size_t capacity_;
  std::vector<char> buffer_;
  std::vector<std::size_t> bounds_;  // start, end, start, end ... of whole tokens
  std::size_t boundCount_ = 0;       // how many of bounds_ hold bounds
  std::size_t bound_ = 0;            // the next start in bounds_
  std::size_t pos_ = 0;  // always at a token boundary: the file's start or just past white space
  std::size_t end_ = 0;
  bool eof_ = true;  // also while there is no file
};

}  // namespace elevara
