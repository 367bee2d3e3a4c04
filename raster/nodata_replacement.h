// The no-data replacement: copies one RAW raster with every -9999.0 turned into +0.0.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

#include "platform/progress.h"
#include "raster/raw_raster.h"

namespace elevara {

// Replaces, in place, every sample whose bits are exactly those of -9999.0 by +0.0.
void ReplaceNoData(std::span<float> samples);

inline constexpr int kMaxNoDataWidth = 90000;

// The raster whose no-data is to be replaced, open for reading as a raster of the size given.
class NoDataInput {
 public:
  // Opens `path`; `size` is at least 1 x 1 and at most kMaxNoDataWidth wide. Throws FileError.
  static NoDataInput Open(FileSystem& fs, const std::filesystem::path& path, RasterSize size);

  // The size the input's ".hd1" sidecar states, when it states another than the one given:
  // read as that other shape, the rows would wrap without a sign of it. Throws FileError.
  std::optional<RasterSize> sidecarSizeIfOther(FileSystem& fs) const;

  const std::filesystem::path& path() const { return reader_.path(); }
  RasterSize size() const { return size_; }

 private:
  friend struct NoDataCopy;
  NoDataInput(RasterReader reader, RasterSize size) : reader_(std::move(reader)), size_(size) {}

  RasterReader reader_;
  RasterSize size_;
};

// What the copy found out about its input's length.
struct NoDataCopy {
  bool inputShort = false;  // rows past the input's end were written as 0.0
  bool inputLong = false;   // the input holds more than the size given; the rest was left out

  // Copies `input` to `output`, row by row, every -9999.0 turned into +0.0, and writes the
  // output's ".hd1" sidecar, and its ENVI header when the input has one for the size given. The
  // output goes to a temporary file first, so an output chosen over the input replaces it only
  // after the input has been read whole. Takes one progress step per row. Throws FileError.
  static NoDataCopy Write(FileSystem& fs, Progress& progress, NoDataInput input,
                          const std::filesystem::path& output);
};

}  // namespace elevara
