// What tests, fuzz targets and benchmarks share for files: a fresh scratch folder, whole-file
// reads and writes, the bit patterns of samples, and a count of the open file descriptors.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace elevara::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // `name` is UTF-8, as every literal of the tests.
  std::filesystem::path operator/(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

// Whole-file helpers for checking outputs byte for byte. Both throw std::runtime_error when the
// file cannot be read or written.
std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, std::string_view bytes);
std::vector<float> ReadFloats(const std::filesystem::path& path);
void WriteFloats(const std::filesystem::path& path, const std::vector<float>& samples);

// Whether `file` is a temporary file of an output (see IsTemporaryFileName); of the output
// named `target` in the same folder, when given.
bool IsTemporaryFileOf(const std::filesystem::path& file, const std::string& target = {});
// The temporary files in `folder`, of `target` alone when given.
std::vector<std::filesystem::path> TemporaryFilesIn(const std::filesystem::path& folder,
                                                    const std::string& target = {});

// Samples are compared by their bits: NaNs, -0.0 and -9999.0 are exact patterns, not values.
inline std::uint32_t Bits(float value) {
  return std::bit_cast<std::uint32_t>(value);
}
// Bits of the sample at (row, column) of raster bytes of the given width (little-endian floats).
std::uint32_t CellBits(std::string_view raster, std::int64_t width, std::int64_t row,
                       std::int64_t column);
// The same, read from the file.
std::uint32_t SampleBits(const std::filesystem::path& path, std::int64_t width, std::int64_t row,
                         std::int64_t column);

// The file descriptors this process holds open now, so a test can see none was left open.
std::size_t OpenDescriptorCount();

}  // namespace elevara::testing
