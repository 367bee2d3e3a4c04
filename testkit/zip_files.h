// ZIP archives for tests, written with libzip, and the header fields that tests break on purpose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace elevara::testing {

struct ZipMember {
  ZipMember(std::string memberName, std::string memberBytes, bool storedAsIs = false,
            std::string memberPassword = {})
      : name(std::move(memberName)),
        bytes(std::move(memberBytes)),
        stored(storedAsIs),
        password(std::move(memberPassword)) {}

  std::string name;  // the bytes written as the name: UTF-8 gets the UTF-8 flag, others none
  std::string bytes;
  bool stored = false;   // stored as it is instead of deflated
  std::string password;  // traditional PKWARE encryption when not empty
};

// Writes an archive holding `members` in this order.
void WriteZip(const std::filesystem::path& path, const std::vector<ZipMember>& members);
// The bytes of such an archive.
std::string ZipBytes(const std::vector<ZipMember>& members);

// Unpacks every file member of the archive at `path` into `folder` under its own file name (the
// part of its name after the last "/"), as a user unpacking a download would.
void ExtractZip(const std::filesystem::path& path, const std::filesystem::path& folder);

// Whether two files hold the same bytes, read a block at a time (for rasters of hundreds of MB).
bool SameBytes(const std::filesystem::path& a, const std::filesystem::path& b);

// Fields of the first member's local header and of its central directory record, by their
// offset in the local header; PatchFirstMember writes a little-endian value into both.
enum class ZipField : std::size_t { kFlags = 6, kMethod = 8, kCrc = 14, kSize = 22 };
void PatchFirstMember(std::string& archive, ZipField field, std::uint32_t value);

}  // namespace elevara::testing
