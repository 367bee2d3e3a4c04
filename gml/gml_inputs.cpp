#include "gml/gml_inputs.h"

#include <unordered_set>

#include "archive/zip_archive.h"
#include "gml/gml_tile.h"
#include "platform/folder_search.h"
#include "platform/unicode.h"

namespace elevara {
namespace {

constexpr std::string_view kArchivePattern = "*.zip";

}  // namespace

GmlInputs FindGmlInputs(FileSystem& fs, const std::filesystem::path& folder,
                        std::string_view pattern, const ArchiveLimits& limits) {
  GmlInputs inputs;
  inputs.names = SearchFolder(fs, folder, pattern);
  std::unordered_set<std::string> seen;
  for (const std::string& name : inputs.names) seen.insert(AsciiLowered(name));
  for (const std::string& archive : SearchFolder(fs, folder, kArchivePattern)) {
    ArchiveListing listing = ListArchiveMembers(fs, folder, archive, pattern, limits);
    for (std::string& location : listing.members) {
      if (seen.insert(AsciiLowered(MemberFileName(location))).second) {
        inputs.names.push_back(std::move(location));
      }
    }
    for (const UnreadableArchive& unreadable : listing.unreadable) {
      inputs.unreadable.push_back({folder / PathFromUtf8(unreadable.location),
                                   SkipReason::kArchiveUnreadable, unreadable.reason});
    }
  }
  return inputs;
}

std::filesystem::path GmlInputPath(const std::filesystem::path& folder, std::string_view name) {
  return folder / PathFromUtf8(name);
}

GmlInputReader::GmlInputReader(FileSystem& fs, const std::filesystem::path& folder,
                               const ArchiveLimits& limits, MemberReading reading)
    : fs_(fs), folder_(folder), members_(fs, folder, limits, std::move(reading)) {}

std::optional<InputFile> GmlInputReader::open(std::string_view name) {
  if (IsMemberLocation(name)) {
    std::error_code error;
    std::unique_ptr<RawFile> member = members_.open(name, error);
    if (member == nullptr) return std::nullopt;
    return InputFile::FromStream(std::move(member), pathOf(name));
  }
  return OpenGmlFile(fs_, pathOf(name));
}

}  // namespace elevara
