// Arbitrary bytes as a ZIP file of the folder, through the whole archive reading: the listing
// down through archives inside archives, and every listed member opened again by its location
// and read to its end. Whatever the bytes hold, every listed location must lead back to a member,
// no member may give more bytes than the bound, and no scratch copy may outlive the reading.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_tree.h"
#include "fuzz/fuzz_support.h"

namespace elevara::fuzz {
namespace {

// Large enough for the real 10 m tiles (16 MB) among the seeds.
constexpr std::uint64_t kMaxMemberBytes = std::uint64_t{1} << 25;

// Reads a member to its end, never asking for more than the bound and one byte.
std::uint64_t ReadToEnd(RawFile& member, std::error_code& error) {
  std::vector<char> block(std::size_t{1} << 16);
  std::uint64_t total = 0;
  while (total <= kMaxMemberBytes) {
    const std::size_t got = member.read(block.data(), block.size(), error);
    total += got;
    if (error || got == 0) break;
  }
  return total;
}

void CheckArchive(std::string_view bytes) {
  const std::filesystem::path& folder = ScratchFolder();
  const std::filesystem::path scratch = folder / "scratch";
  std::filesystem::create_directories(scratch);
  WriteBytes(folder / "input.zip", bytes);
  const ArchiveLimits limits{.maxMemberBytes = kMaxMemberBytes, .scratchFolder = scratch};
  FileSystem& fs = SystemFileSystem();

  const ArchiveListing listing = ListArchiveMembers(fs, folder, "input.zip", "*", limits);
  Check(std::filesystem::is_empty(scratch), "a scratch copy outlived the listing");
  for (const UnreadableArchive& archive : listing.unreadable) {
    Check(archive.reason.value() != 0, "an unreadable archive without a reason");
  }
  {
    ArchiveMemberReader reader(fs, folder, limits);
    for (const std::string& location : listing.members) {
      Check(location.starts_with("input.zip/"), "location outside the archive: " + location);
      std::error_code error;
      auto member = reader.open(location, error);
      Check(member != nullptr || error != ArchiveFault::kNoSuchMember,
            "a listed location names no member: " + location);
      if (member == nullptr) continue;
      const std::uint64_t read = ReadToEnd(*member, error);
      Check(read <= kMaxMemberBytes, "a member gave more than the bound: " + location);
    }
  }
  Check(std::filesystem::is_empty(scratch), "a scratch copy outlived the reading");
}

}  // namespace
}  // namespace elevara::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  elevara::fuzz::CheckArchive(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
