#include "gml/gml_tile.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "gml/gml_tokens.h"
#include "platform/files.h"
#include "raster/raw_raster.h"

namespace elevara {
namespace {

constexpr std::string_view kStartPointTag = "startP";
constexpr std::string_view kValueListTag = "tupleL";
constexpr std::string_view kNoDataLine = "-9999\r\n";
constexpr std::size_t kValueBufferSize = std::size_t{1} << 20;
// Twice the output file's own buffer, so that full blocks go straight to the file.
constexpr std::size_t kValueWriteBlockSize = std::size_t{2} << 20;

// Start column and row: the cell that receives the first listed value.
struct StartPoint {
  std::int64_t column = 0;
  std::int64_t row = 0;
};

bool IsEndOfValueList(std::string_view token) {
  return token.size() >= 3 && token[2] == 'g';
}

std::optional<StartPoint> FindStartPoint(GmlTokenReader& tokens) {
  if (!tokens.seekTagged(kStartPointTag)) return std::nullopt;
  constexpr std::size_t kColumnOffset = 16;  // right behind "<gml:startPoint>"
  std::string_view token;
  tokens.next(token);
  StartPoint start;
  if (token.size() > kColumnOffset) start.column = ParseLeadingInteger(token.substr(kColumnOffset));
  if (tokens.next(token)) start.row = ParseLeadingInteger(token);
  return start;
}

// Lines of the value file, gathered into large blocks before they reach the file.
class ValueFileWriter {
 public:
  explicit ValueFileWriter(OutputFile file)
      : file_(std::move(file)), buffer_(kValueWriteBlockSize) {}

  // Value texts come from GmlTokenReader tokens, whose buffer keeps 16 bytes readable past
  // every token, so a short text is copied as one fixed block of 16 bytes instead of a call.
  void line(std::string_view text) {
    constexpr std::size_t kBlock = 16;
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

  void noData(std::int64_t count) {
    for (std::int64_t i = 0; i < count; ++i) {
      if (used_ + kNoDataLine.size() > buffer_.size()) flush();
      std::memcpy(buffer_.data() + used_, kNoDataLine.data(), kNoDataLine.size());
      used_ += kNoDataLine.size();
    }
  }

  void close() {
    flush();
    file_.close();
  }

 private:
  void flush() {
    file_.write(buffer_.data(), used_);
    used_ = 0;
  }

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
std::size_t ShortLineLength(const char* at) {
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

// The cells of the value file, one line each, read back in blocks.
class ValueFileReader {
 public:
  explicit ValueFileReader(InputFile file)
      : file_(std::move(file)),
        capacity_(kValueBufferSize),
        buffer_(capacity_ + LineKey::kMaxSize),
        recent_(std::size_t{1} << kRecentBits) {}

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
    std::string_view text(line, size - 1);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    recent = {key, ParseValueText(text)};
    return recent.value;
  }

  std::string_view nextLine() {
    for (;;) {
      const char* start = buffer_.data() + pos_;
      const void* lf = std::memchr(start, '\n', end_ - pos_);
      if (lf != nullptr) {
        std::string_view line(start, static_cast<const char*>(lf) - start);
        pos_ += line.size() + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return line;
      }
      if (!refill()) {  // a last line without LF, or nothing: no-data either way
        std::string_view line(buffer_.data() + pos_, end_ - pos_);
        pos_ = end_;
        return line;
      }
    }
  }

  bool refill() {
    const std::size_t kept = end_ - pos_;
    std::memmove(buffer_.data(), buffer_.data() + pos_, kept);
    pos_ = 0;
    end_ = kept;
    if (eof_) return false;
    if (kept == capacity_) {
      capacity_ *= 2;
      buffer_.resize(capacity_ + LineKey::kMaxSize);
    }
    const std::size_t room = capacity_ - kept;
    const std::size_t got = file_.read(buffer_.data() + kept, room);
    end_ += got;
    if (got < room) eof_ = true;
    return got > 0;
  }

  InputFile file_;
  std::size_t capacity_;
  std::vector<char> buffer_;  // LineKey::kMaxSize bytes more than capacity_
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool eof_ = false;
  std::vector<Recent> recent_;
};

// Writing over a file that exists, by truncating it or by renaming onto it, makes ext4 write
// the new data out at once (its auto_da_alloc rule), which costs more than converting the
// whole tile. A tile's files are rewritten for every tile, so the earlier one is removed first.
// Should that fail, creating or renaming the new file reports the reason.
void RemoveEarlierFile(FileSystem& fs, const std::filesystem::path& path) {
  std::error_code ignored;
  fs.remove(path, ignored);
}

OutputFile CreateAfresh(FileSystem& fs, const std::filesystem::path& path) {
  RemoveEarlierFile(fs, path);
  return OutputFile::Create(fs, path);
}

// The cells before the start point in row `row`: all of them above the start row, the first
// `column` of the start row, none below.
std::int64_t CellsBeforeStartInRow(const StartPoint& start, std::int64_t row, int width) {
  if (row < start.row) return width;
  if (row > start.row) return 0;
  return std::clamp<std::int64_t>(start.column, 0, width);
}

// The value pass. Without a start point or a value list every cell is no-data.
GmlTileStatus WriteValueFile(FileSystem& fs, const std::filesystem::path& gmlPath,
                             const std::optional<StartPoint>& start,
                             const std::filesystem::path& valueFilePath, int width, int height,
                             const std::function<void()>& progressStep) {
  GmlTileStatus status = GmlTileStatus::kConverted;
  std::optional<GmlTokenReader> tokens;
  if (!start) {
    status = GmlTileStatus::kNoStartPoint;
  } else if (auto gml = InputFile::TryOpen(fs, gmlPath); !gml) {
    status = GmlTileStatus::kNotOpened;
  } else {
    tokens.emplace(std::move(*gml));
    if (!tokens->seekTagged(kValueListTag)) status = GmlTileStatus::kNoValueList;
  }
  std::string_view token;
  // The value-list token itself comes first; the values follow it.
  bool ended = status != GmlTileStatus::kConverted || !tokens->next(token);

  ValueFileWriter values(CreateAfresh(fs, valueFilePath));
  const StartPoint origin = start.value_or(StartPoint{});
  for (std::int64_t row = 0; row < height; ++row) {
    const std::int64_t before = CellsBeforeStartInRow(origin, row, width);
    values.noData(before);
    std::int64_t column = before;
    for (; column < width && !ended; ++column) {
      // The end of the file without the end token ends the list the same way.
      if (!tokens->next(token) || IsEndOfValueList(token)) {
        ended = true;
        break;
      }
      values.line(GmlTokenReader::TextAfterLastComma(token));
    }
    values.noData(width - column);
    progressStep();
  }
  values.close();
  return status;
}

void WriteTileRaster(FileSystem& fs, const std::filesystem::path& valueFilePath,
                     const std::filesystem::path& tileRasterPath, int width, int height,
                     const std::function<void()>& progressStep) {
  ValueFileReader values(InputFile::Open(fs, valueFilePath));
  RemoveEarlierFile(fs, tileRasterPath);
  RasterWriter raster = RasterWriter::Create(fs, tileRasterPath);
  std::vector<float> row(static_cast<std::size_t>(width));
  for (int r = 0; r < height; ++r) {
    for (float& cell : row) cell = values.next();
    raster.writeRow(row);
    progressStep();
  }
  raster.commit();
}

// Decides between an infinity and a zero for a decimal number float cannot hold: the number is
// huge when its first significant digit stands before the decimal point after the exponent.
float OutOfRangeValue(std::string_view number) {
  const bool negative = !number.empty() && number[0] == '-';
  if (negative) number.remove_prefix(1);
  std::size_t i = 0;
  std::int64_t magnitude = 0;
  bool significant = false;
  for (; i < number.size() && number[i] >= '0' && number[i] <= '9'; ++i) {
    significant = significant || number[i] != '0';
    if (significant) magnitude = std::min<std::int64_t>(magnitude + 1, 1 << 30);
  }
  if (i < number.size() && number[i] == '.') {
    for (++i; i < number.size() && number[i] >= '0' && number[i] <= '9'; ++i) {
      if (significant) continue;
      if (number[i] != '0') {
        significant = true;
      } else {
        magnitude = std::max<std::int64_t>(magnitude - 1, -(1 << 30));
      }
    }
  }
  if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
    magnitude += ParseLeadingInteger(number.substr(i + 1));  // both saturate far apart
  }
  const float value = magnitude > 0 ? std::numeric_limits<float>::infinity() : 0.0f;
  return negative ? -value : value;
}

}  // namespace

std::int64_t ParseLeadingInteger(std::string_view text) {
  std::size_t i = 0;
  const bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 10 - 1;
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value < kLimit ? value * 10 + (text[i] - '0') : kLimit;
  }
  return negative ? -value : value;
}

float ParseValueText(std::string_view text) {
  // from_chars takes no plus sign; the formatted read did.
  if (!text.empty() && text[0] == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) return kNoData;
  }
  float value;
  auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::invalid_argument) return kNoData;
  if (error == std::errc::result_out_of_range) {
    return OutOfRangeValue(text.substr(0, static_cast<std::size_t>(stop - text.data())));
  }
  return value;
}

GmlTileStatus ConvertGmlTile(FileSystem& fs, const std::filesystem::path& gmlPath,
                             const std::filesystem::path& valueFilePath,
                             const std::filesystem::path& tileRasterPath, int width, int height,
                             const std::function<void()>& progressStep) {
  std::optional<StartPoint> start;
  bool opened = false;
  if (auto gml = InputFile::TryOpen(fs, gmlPath)) {
    opened = true;
    GmlTokenReader tokens(std::move(*gml));
    start = FindStartPoint(tokens);
  }
  GmlTileStatus status =
      WriteValueFile(fs, gmlPath, start, valueFilePath, width, height, progressStep);
  if (!opened) status = GmlTileStatus::kNotOpened;
  WriteTileRaster(fs, valueFilePath, tileRasterPath, width, height, progressStep);
  return status;
}

}  // namespace elevara
