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
#include "raster/envi_header.h"

namespace elevara {

inline constexpr float kNoData = -9999.0f;
inline constexpr std::uint32_t kNoDataBits = 0xC61C3C00u;
static_assert(std::bit_cast<std::uint32_t>(kNoData) == kNoDataBits);

// The raster whose sidecar is written: its path, width and height.
struct HeaderState {
  std::filesystem::path path;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// The sidecar's path: the raster's full path with ".hd1" appended (out.raw -> out.raw.hd1).
std::filesystem::path SidecarPathFor(const std::filesystem::path& raster);

// Writes "<width> width", "<height> height" and "4 data_type", each line ending in CR LF, into
// the sidecar of header.path. The sidecar takes its name, replacing an earlier one whole, when
// the returned file is committed: a raster is put in place between the two steps, so that a
// sidecar that cannot be written stops the command before the raster replaces an earlier one,
// and an earlier sidecar never stands beside a new raster. Throws FileError.
[[nodiscard]] AtomicOutputFile WriteRawHeader(FileSystem& fs, const HeaderState& header);

// The width and height a sidecar states.
struct RasterSize {
  std::int64_t width = 0;
  std::int64_t height = 0;
  bool operator==(const RasterSize&) const = default;
};

// The bytes of a raster of `size`: nullopt when a side is negative, or the raster would hold
// more than any file can (2^63 - 1 bytes), so that no size read from a file is used before it
// is known to be one.
std::optional<std::int64_t> RasterBytesOf(RasterSize size);

// The size stated by the sidecar of `raster`: its first line "<width> width", its second
// "<height> height". nullopt when there is no sidecar, or one whose first two lines are not of
// that form or state no size a file can hold (RasterBytesOf): another program's file of that
// name tells nothing about the raster. Throws FileError when a sidecar exists but cannot be
// read.
std::optional<RasterSize> ReadRawHeader(FileSystem& fs, const std::filesystem::path& raster);

// Rows of samples in file byte order. On a little-endian host this is a plain copy.
void ToFileOrder(std::span<float> samples);
inline void FromFileOrder(std::span<float> samples) {
  ToFileOrder(samples);
}

// Writes a raster row by row; it appears under its name only after commit() (see
// AtomicOutputFile), so a failed or interrupted run leaves no truncated raster behind.
class RasterWriter {
 public:
  // A finished output raster, which gets its ".hd1" sidecar from commit().
  static RasterWriter Create(FileSystem& fs, const std::filesystem::path& path, std::int32_t width,
                             std::int32_t height);
  // A tile raster: a working file of the batch commands, without sidecar.
  static RasterWriter CreateTile(FileSystem& fs, const std::filesystem::path& path);

  // `row` is in host order; it may be reordered in place on big-endian hosts.
  void writeRow(std::span<float> row);
  // Whole rows at once, straight to the file without its buffer: for a caller that holds them
  // together anyway. In host order, reordered in place like writeRow's.
  void writeRows(std::span<float> rows);
  // The ENVI header that commit() puts beside an output raster; without one (the default, and
  // nullopt) it gets none.
  void setGeoreference(std::optional<EnviGeoreference> georeference) {
    georeference_ = std::move(georeference);
  }
  // Writes the sidecar and the ENVI header under their temporary names, puts the raster in
  // place, then the sidecar and the ENVI header; without an ENVI header of its own, an earlier
  // one of the raster's name is removed before the raster takes its name. When a step before
  // the raster's fails, the earlier raster, sidecar and header stay as they were; after it, no
  // ENVI header is left describing a raster it was not written for.
  void commit();

 private:
  RasterWriter(FileSystem& fs, AtomicOutputFile file, std::optional<HeaderState> header)
      : fs_(&fs), file_(std::move(file)), header_(std::move(header)) {}

  FileSystem* fs_;
  AtomicOutputFile file_;
  std::optional<HeaderState> header_;  // none for a tile raster
  std::optional<EnviGeoreference> georeference_;
};

// Reads whole rows of a raster of a known width at absolute 64-bit positions.
class RasterReader {
 public:
  // nullopt when nothing of that name exists; throws FileError when a file of that name
  // cannot be opened (see InputFile::OpenIfPresent).
  static std::optional<RasterReader> OpenIfPresent(FileSystem& fs,
                                                   const std::filesystem::path& path,
                                                   std::int64_t width);
  static RasterReader Open(FileSystem& fs, const std::filesystem::path& path, std::int64_t width);

  // Reads row `row` into `samples` (width values, host order). Samples the file does not hold,
  // because it is shorter than the row's end, become kNoData. Returns how many were read.
  std::size_t readRow(std::int64_t row, std::span<float> samples);
  // Whether the file holds anything after its first `rows` rows.
  bool extendsBeyond(std::int64_t rows);

  const std::filesystem::path& path() const { return file_.path(); }

 private:
  RasterReader(InputFile file, std::int64_t width) : file_(std::move(file)), width_(width) {}
  InputFile file_;
  std::int64_t width_;
};

}  // namespace elevara
