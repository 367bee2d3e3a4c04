// The RAW raster: headerless 32-bit little-endian IEEE floats, row-major, north row first; and
// its ".hd1" header sidecar.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <span>

#include "platform/files.h"

namespace elevara {

inline constexpr float kNoData = -9999.0f;
inline constexpr std::uint32_t kNoDataBits = 0xC61C3C00u;
static_assert(std::bit_cast<std::uint32_t>(kNoData) == kNoDataBits);

// The raster whose sidecar is written next. A command owns its own: set the path before the
// raster is created, the width and height once it is closed, then call WriteRawHeader.
struct HeaderState {
  std::filesystem::path path;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// The sidecar's path: the raster's full path with ".hd1" appended (out.raw -> out.raw.hd1).
std::filesystem::path SidecarPathFor(const std::filesystem::path& raster);

// Writes "<width> width", "<height> height" and "4 data_type", each line ending in CR LF, to the
// sidecar of header.path, replacing an earlier one whole. Throws FileError.
void WriteRawHeader(FileSystem& fs, const HeaderState& header);

// The same sidecar, written to its temporary file but not yet in place: a raster is committed
// between the two steps, so that a sidecar that cannot be written stops the command before the
// raster replaces an earlier one, and an earlier sidecar never stands beside a new raster.
AtomicOutputFile PrepareRawHeader(FileSystem& fs, const HeaderState& header);

// Rows of samples in file byte order. On a little-endian host this is a plain copy.
void ToFileOrder(std::span<float> samples);
inline void FromFileOrder(std::span<float> samples) {
  ToFileOrder(samples);
}

// Writes a raster row by row; it appears under its name only after commit() (see
// AtomicOutputFile), so a failed or interrupted run leaves no truncated raster behind.
class RasterWriter {
 public:
  static RasterWriter Create(FileSystem& fs, const std::filesystem::path& path);

  // `row` is in host order; it may be reordered in place on big-endian hosts.
  void writeRow(std::span<float> row);
  void commit() { file_.commit(); }
  // Puts the raster and then its sidecar in place, after header.width and header.height have
  // been set.
  void commitWithHeader(FileSystem& fs, const HeaderState& header);

 private:
  explicit RasterWriter(AtomicOutputFile file) : file_(std::move(file)) {}
  AtomicOutputFile file_;
};

// Reads whole rows of a raster of a known width at absolute 64-bit positions.
class RasterReader {
 public:
  // nullopt when the file cannot be opened (an absent tile).
  static std::optional<RasterReader> TryOpen(FileSystem& fs, const std::filesystem::path& path,
                                             std::int64_t width);
  static RasterReader Open(FileSystem& fs, const std::filesystem::path& path, std::int64_t width);

  // Reads row `row` into `samples` (width values, host order). Samples the file does not hold,
  // because it is shorter than the row's end, become kNoData. Returns how many were read.
  std::size_t readRow(std::int64_t row, std::span<float> samples);

  const std::filesystem::path& path() const { return file_.path(); }

 private:
  RasterReader(InputFile file, std::int64_t width) : file_(std::move(file)), width_(width) {}
  InputFile file_;
  std::int64_t width_;
};

}  // namespace elevara
