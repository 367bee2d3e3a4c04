#include "testkit/files.h"

#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "platform/files.h"
#include "platform/unicode.h"

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

std::filesystem::path TempFolder::operator/(const std::string& name) const {
  return path_ / PathFromUtf8(name);
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

void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
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

bool IsTemporaryFileOf(const std::filesystem::path& file, const std::string& target) {
  // The stem of a temporary file's name is the name of its target.
  return IsTemporaryFileName(file.filename().string()) && (target.empty() || file.stem() == target);
}

std::vector<std::filesystem::path> TemporaryFilesIn(const std::filesystem::path& folder,
                                                    const std::string& target) {
  std::vector<std::filesystem::path> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (IsTemporaryFileOf(entry.path(), target)) found.push_back(entry.path());
  }
  return found;
}

namespace {

std::uint32_t LittleEndianBits(const char* bytes) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
         std::uint32_t{b[3]} << 24;
}

}  // namespace

std::uint32_t CellBits(std::string_view raster, std::int64_t width, std::int64_t row,
                       std::int64_t column) {
  const auto offset = static_cast<std::size_t>((row * width + column) * 4);
  if (offset + 4 > raster.size()) throw std::runtime_error("sample out of raster");
  return LittleEndianBits(raster.data() + offset);
}

std::uint32_t SampleBits(const std::filesystem::path& path, std::int64_t width, std::int64_t row,
                         std::int64_t column) {
  std::ifstream in(path, std::ios::binary);
  in.seekg((row * width + column) * 4);
  char bytes[4] = {};
  in.read(bytes, 4);
  if (!in) throw std::runtime_error("sample out of file " + path.string());
  return LittleEndianBits(bytes);
}

std::size_t OpenDescriptorCount() {
#if defined(_WIN32)
  DWORD handles = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handles);
  return handles;
#else
  const std::filesystem::path fds =
      std::filesystem::exists("/proc/self/fd") ? "/proc/self/fd" : "/dev/fd";
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(fds),
                                                std::filesystem::directory_iterator()));
#endif
}

}  // namespace elevara::testing
