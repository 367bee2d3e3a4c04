// A TIFF that libtiff writes into an output taking its name whole (AtomicOutputFile), through
// the FileSystem seam like every other output.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/file_system.h"

struct tiff;

namespace elevara {

struct TiffStream;

// libtiff writes a cloud-optimized TIFF's start (header, directories, tile offset arrays) before
// its image data and mends it last, when the tiles' places are known. That start is kept in
// memory, where libtiff also reads its directories back; the image data after it is appended to
// the output as it comes. commit() writes the mended start over its first copy and renames the
// output into place.
class TiffOutput {
 public:
  // A little-endian TIFF, BigTIFF when `big`, for `target`. Throws FileError.
  TiffOutput(FileSystem& fs, const std::filesystem::path& target, bool big);
  TiffOutput(const TiffOutput&) = delete;
  TiffOutput& operator=(const TiffOutput&) = delete;
  // Without commit(), nothing is left under the target's name, nor a temporary file.
  ~TiffOutput();

  ::tiff* handle() const { return tiff_; }

  // Throws, when `succeeded` is false, what made the last libtiff call fail: the FileError of
  // the output, or a write error naming the target.
  void check(bool succeeded) const;

  // Marks the end of the TIFF's start: what libtiff appends from now on is image data, and it
  // rewrites only what lies before.
  void startImageData();

  // Closes the TIFF and puts it in place (see AtomicOutputFile::commit). Throws FileError.
  void commit();

 private:
  std::unique_ptr<TiffStream> stream_;
  ::tiff* tiff_ = nullptr;
};

}  // namespace elevara
