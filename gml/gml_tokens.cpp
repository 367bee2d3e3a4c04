#include "gml/gml_tokens.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/errors.h"

namespace elevara {

GmlTokenReader::GmlTokenReader(InputFile file, std::size_t bufferSize, std::size_t maxTokenSize)
    : GmlTokenReader(bufferSize, maxTokenSize) {
  start(std::move(file));
}

GmlTokenReader::GmlTokenReader(std::size_t bufferSize, std::size_t maxTokenSize)
    : maxTokenSize_(maxTokenSize),
      bufferSize_(std::max<std::size_t>(bufferSize, 1)),
      capacity_(bufferSize_),
      buffer_(capacity_ + kPadding),
      bounds_(kIndexWindow + 64) {}

void GmlTokenReader::start(InputFile file) {
  file_.emplace(std::move(file));
  if (capacity_ != bufferSize_) {
    capacity_ = bufferSize_;
    buffer_ = std::vector<char>(capacity_ + kPadding);
  }
  dropIndex();
  pos_ = 0;
  end_ = 0;
  eof_ = false;
}

void GmlTokenReader::finish() {
  file_.reset();
  dropIndex();
  pos_ = 0;
  end_ = 0;
  eof_ = true;  // nothing to read until the next start()
}

namespace {

// Bit i is set when byte i of the 64 at `bytes` is white space.
std::uint64_t SpaceBits(const char* bytes) {
#if defined(ELEVARA_GML_SSE2)
  const __m128i blank = _mm_set1_epi8(' ');
  const __m128i tab = _mm_set1_epi8('\t');
  const __m128i four = _mm_set1_epi8(4);
  std::uint64_t bits = 0;
  for (int part = 0; part < 4; ++part) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * part));
    // Tab to carriage return are 9 to 13: after subtracting 9, at most 4 without sign.
    const __m128i fromTab = _mm_sub_epi8(chunk, tab);
    const __m128i space = _mm_or_si128(_mm_cmpeq_epi8(chunk, blank),
                                       _mm_cmpeq_epi8(_mm_min_epu8(fromTab, four), fromTab));
    bits |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(space))} << (16 * part);
  }
  return bits;
#else
  std::uint64_t bits = 0;
  for (int i = 0; i < 64; ++i) bits |= std::uint64_t{IsGmlSpace(bytes[i])} << i;
  return bits;
#endif
}

// Appends base + the position of every set bit. Eight are written whatever their number, so
// the common word costs no branch per bit; `out` must have room for 64. (The count is summed
// on the way: the baseline x86-64 instruction set has no popcount instruction.)
std::size_t AppendSetBits(std::uint64_t bits, std::size_t base, std::size_t* out) {
  std::size_t count = 0;
#if defined(__GNUC__)
#pragma GCC unroll 8
#endif
  for (std::size_t i = 0; i < 8; ++i) {
    out[i] = base + static_cast<std::size_t>(std::countr_zero(bits));
    count += bits != 0;
    bits &= bits - 1;
  }
  for (; bits != 0; bits &= bits - 1) {
    out[count++] = base + static_cast<std::size_t>(std::countr_zero(bits));
  }
  return count;
}

}  // namespace

bool GmlTokenReader::indexWindow() {
  const std::size_t from = pos_;
  if (from >= end_) return false;
  const std::size_t to = std::min(end_, from + kIndexWindow);
  bound_ = 0;
  std::size_t count = 0;
  std::uint64_t spaceBefore = 1;  // pos_ follows white space or is the file's start
  for (std::size_t at = from; at < to; at += 64) {
    std::uint64_t space = SpaceBits(buffer_.data() + at);
    // Bytes past the window count as white space, so the last token ends at the window's end;
    // whether it really ends there is decided below.
    if (to - at < 64) space |= ~std::uint64_t{0} << (to - at);
    const std::uint64_t changes = space ^ ((space << 1) | spaceBefore);
    spaceBefore = space >> 63;
    count += AppendSetBits(changes, at, bounds_.data() + count);
  }
  // Starts and ends alternate. A last token cut by the window, or by the buffer while the file
  // goes on, is left for later.
  if (count % 2 == 1) bounds_[count++] = to;
  if (count != 0 && bounds_[count - 1] == to) {
    const bool ends = to < end_ ? IsGmlSpace(buffer_[to]) : eof_;
    if (!ends) count -= 2;
  }
  boundCount_ = count;
  return count != 0;
}

bool GmlTokenReader::refill(std::size_t keepFrom) {
  dropIndex();
  const std::size_t kept = end_ - keepFrom;
  std::memmove(buffer_.data(), buffer_.data() + keepFrom, kept);
  pos_ = pos_ > keepFrom ? pos_ - keepFrom : 0;
  end_ = kept;
  if (eof_) return false;
  if (kept == capacity_) {
    if (capacity_ >= maxTokenSize_) {
      throw FileError(FileAction::kRead, file_->path(),
                      std::make_error_code(std::errc::value_too_large));
    }
    capacity_ *= 2;
    buffer_.resize(capacity_ + kPadding);
  }
  const std::size_t room = capacity_ - kept;
  const std::size_t got = file_->read(buffer_.data() + kept, room);
  end_ += got;
  if (got < room) eof_ = true;
  return got > 0;
}

bool GmlTokenReader::nextAcrossBlocks(std::string_view& token) {
  dropIndex();
  for (;;) {
    while (pos_ < end_ && IsGmlSpace(buffer_[pos_])) ++pos_;
    if (pos_ < end_) break;
    if (!refill(end_)) return false;
  }
  std::size_t start = pos_;
  std::size_t stop = pos_;
  for (;;) {
    while (stop < end_ && !IsGmlSpace(buffer_[stop])) ++stop;
    if (stop < end_) break;
    const std::size_t scanned = stop - start;
    const bool more = refill(start);
    start = 0;
    stop = scanned;
    if (!more) break;  // the file ends inside the token
  }
  token = std::string_view(buffer_.data() + start, stop - start);
  pos_ = stop < end_ ? stop + 1 : stop;
  return true;
}

bool GmlTokenReader::isTaggedTokenAt(std::size_t start, std::string_view tag) const {
  const char* token = buffer_.data() + start;
  if (std::memcmp(token + kTagOffset, tag.data(), kTagLength - 1) != 0) return false;
  for (std::size_t i = 0; i < kTagOffset; ++i) {
    if (IsGmlSpace(token[i])) return false;
  }
  // pos_ is a token boundary itself; anywhere else the token must follow white space.
  return start == pos_ || IsGmlSpace(token[-1]);
}

bool GmlTokenReader::seekTagged(std::string_view tag) {
  return seekTagged(std::span<const std::string_view>(&tag, 1)).has_value();
}

std::optional<std::size_t> GmlTokenReader::seekTagged(std::span<const std::string_view> tags) {
  dropIndex();
  const std::size_t count = std::min(tags.size(), kMaxSeekTags);
  std::size_t searchFrom = pos_ + kSeekContext - 1;
  for (;;) {
    // The next hit on each tag's last byte from searchFrom on (end_ for none), each looked for
    // again only once the search has passed it, so every byte is looked at once per tag.
    std::size_t hits[kMaxSeekTags];
    std::fill(hits, hits + count, std::size_t{0});
    while (searchFrom < end_) {
      std::size_t nearest = end_;
      for (std::size_t i = 0; i < count; ++i) {
        if (hits[i] < searchFrom) {
          const char* base = buffer_.data();
          const void* hit =
              std::memchr(base + searchFrom, tags[i][kTagLength - 1], end_ - searchFrom);
          hits[i] = hit == nullptr ? end_
                                   : static_cast<std::size_t>(static_cast<const char*>(hit) - base);
        }
        nearest = std::min(nearest, hits[i]);
      }
      if (nearest == end_) break;
      const std::size_t start = nearest - (kSeekContext - 1);
      for (std::size_t i = 0; i < count; ++i) {
        if (hits[i] == nearest && isTaggedTokenAt(start, tags[i])) {
          pos_ = start;
          return i;
        }
      }
      searchFrom = nearest + 1;
    }
    // Keep only what a hit in the next block may still need. Whenever this drops bytes, pos_
    // lands strictly before every token start that a later hit can give, so the boundary rule
    // of isTaggedTokenAt stays exact.
    const std::size_t keepFrom = std::max(pos_, end_ > kSeekContext ? end_ - kSeekContext : 0);
    pos_ = keepFrom;
    const std::size_t searched = end_ - keepFrom;
    if (!refill(keepFrom)) {
      pos_ = end_;
      return std::nullopt;
    }
    searchFrom = std::max(searched, pos_ + kSeekContext - 1);
  }
}

void GmlTokenReader::readToEnd() {
  dropIndex();
  while (refill(end_)) {
  }
  pos_ = end_;
}

}  // namespace elevara
