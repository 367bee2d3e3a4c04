#include "tests/support/temp_folder.h"

#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>

namespace elevara::testing {

TempFolder::TempFolder() {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = std::filesystem::temp_directory_path() /
                     ("elevara-test-" + std::to_string(random()) + std::to_string(random()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // Read-only folders left by a fault test must not keep their contents alive.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<float> ReadFloats(const std::filesystem::path& path) {
  std::string bytes = ReadBytes(path);
  std::vector<float> samples(bytes.size() / 4);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 4);
  return samples;
}

void WriteFloats(const std::filesystem::path& path, const std::vector<float>& samples) {
  std::string bytes(samples.size() * 4, '\0');
  std::memcpy(bytes.data(), samples.data(), bytes.size());
  WriteBytes(path, bytes);
}

std::uint32_t SampleBits(const std::filesystem::path& path, std::int64_t width, std::int64_t row,
                         std::int64_t column) {
  std::ifstream in(path, std::ios::binary);
  in.seekg((row * width + column) * 4);
  unsigned char b[4] = {};
  in.read(reinterpret_cast<char*>(b), 4);
  if (!in) throw std::runtime_error("sample out of file " + path.string());
  return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
         std::uint32_t{b[3]} << 24;
}

}  // namespace elevara::testing
