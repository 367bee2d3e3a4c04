#include "testkit/zip_files.h"

#include <zip.h>

#include <cstring>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "testkit/files.h"

namespace elevara::testing {
namespace {

void Require(bool condition, const char* what) {
  if (!condition) throw std::runtime_error(std::string("writing a test ZIP: ") + what);
}

// The central directory record's offsets differ from the local header's by a fixed amount for
// every field patched here.
constexpr std::size_t kCentralShift = 2;
constexpr char kCentralSignature[] = "PK\x01\x02";

}  // namespace

void WriteZip(const std::filesystem::path& path, const std::vector<ZipMember>& members) {
  int error = 0;
  zip_t* archive = zip_open(path.string().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  Require(archive != nullptr, "open");
  for (const ZipMember& member : members) {
    zip_source_t* source = zip_source_buffer(archive, member.bytes.data(), member.bytes.size(), 0);
    Require(source != nullptr, "source");
    const zip_int64_t index = zip_file_add(archive, member.name.c_str(), source, ZIP_FL_ENC_GUESS);
    Require(index >= 0, "add");
    const auto at = static_cast<zip_uint64_t>(index);
    Require(zip_set_file_compression(archive, at, member.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                                     0) == 0,
            "compression");
    if (!member.password.empty()) {
      Require(
          zip_file_set_encryption(archive, at, ZIP_EM_TRAD_PKWARE, member.password.c_str()) == 0,
          "encryption");
    }
  }
  Require(zip_close(archive) == 0, "close");
}

std::string ZipBytes(const std::vector<ZipMember>& members) {
  TempFolder folder;
  WriteZip(folder / "archive.zip", members);
  return ReadBytes(folder / "archive.zip");
}

void ExtractZip(const std::filesystem::path& path, const std::filesystem::path& folder) {
  int error = 0;
  zip_t* archive = zip_open(path.string().c_str(), ZIP_RDONLY, &error);
  Require(archive != nullptr, "open for unpacking");
  std::vector<char> block(std::size_t{1} << 20);
  for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
    const std::string name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
    if (name.empty() || name.back() == '/') continue;
    zip_file_t* member = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    Require(member != nullptr, "open a member");
    std::ofstream out(folder / name.substr(name.rfind('/') + 1), std::ios::binary);
    for (zip_int64_t got; (got = zip_fread(member, block.data(), block.size())) > 0;) {
      out.write(block.data(), static_cast<std::streamsize>(got));
    }
    zip_fclose(member);
    Require(static_cast<bool>(out), "unpack a member");
  }
  zip_discard(archive);
}

bool SameBytes(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::ifstream left(a, std::ios::binary), right(b, std::ios::binary);
  if (!left || !right) return false;
  std::vector<char> one(std::size_t{1} << 20), other(one.size());
  for (;;) {
    left.read(one.data(), static_cast<std::streamsize>(one.size()));
    right.read(other.data(), static_cast<std::streamsize>(other.size()));
    if (left.gcount() != right.gcount()) return false;
    if (std::memcmp(one.data(), other.data(), static_cast<std::size_t>(left.gcount())) != 0) {
      return false;
    }
    if (left.gcount() == 0) return true;
  }
}

void PatchFirstMember(std::string& archive, ZipField field, std::uint32_t value) {
  const auto local = static_cast<std::size_t>(field);
  const std::size_t central = archive.find(kCentralSignature, 0, 4);
  Require(archive.compare(0, 4, "PK\x03\x04") == 0 && central != std::string::npos, "layout");
  const std::size_t width = field == ZipField::kFlags || field == ZipField::kMethod ? 2 : 4;
  for (std::size_t at : {local, central + local + kCentralShift}) {
    for (std::size_t i = 0; i < width; ++i) archive[at + i] = static_cast<char>(value >> (8 * i));
  }
}

}  // namespace elevara::testing
