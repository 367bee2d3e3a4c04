// Writes an 8-bit RGBA PNG row by row through libpng, so an image never needs to be held
// whole; the file appears under its name only when complete (see AtomicOutputFile).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

#include "platform/file_system.h"

namespace elevara {

struct PngState;

class PngWriter {
 public:
  // Throws FileError.
  static PngWriter Create(FileSystem& fs, const std::filesystem::path& path, std::uint32_t width,
                          std::uint32_t height);

  PngWriter(PngWriter&&) noexcept;
  PngWriter& operator=(PngWriter&&) = delete;
  ~PngWriter();

  // The next row from the top: width pixels of red, green, blue and alpha.
  void writeRow(std::span<const std::uint8_t> rgba);
  // After the last row: ends the image and puts the file in place.
  void commit();

 private:
  explicit PngWriter(std::unique_ptr<PngState> state);
  std::unique_ptr<PngState> state_;
};

}  // namespace elevara
