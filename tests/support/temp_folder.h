// A fresh folder under the system's temporary folder, removed with everything in it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace elevara::testing {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Whole-file helpers for checking outputs byte for byte.
std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);
std::vector<float> ReadFloats(const std::filesystem::path& path);
void WriteFloats(const std::filesystem::path& path, const std::vector<float>& samples);
// Bits of the sample at (row, column) of a raster of the given width, read from the file.
std::uint32_t SampleBits(const std::filesystem::path& path, std::int64_t width, std::int64_t row,
                         std::int64_t column);

}  // namespace elevara::testing
