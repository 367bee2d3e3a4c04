#include "raster/dem5_merge.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/folder_search.h"
#include "platform/services.h"

namespace elevara {
namespace {

using namespace dem5_text;

constexpr std::size_t kMosaicCodeCharacters = 4;
constexpr std::size_t kTileCodeCharacters = 6;
constexpr char kRasterSuffix[] = "-DEM5";

// Counts characters the way "?" of the search does, so a code never ends inside a multi-byte
// character of the name it came from.
std::string LeadingCharacters(std::string_view name, std::size_t characters) {
  std::size_t end = 0;
  for (std::size_t i = 0; i < characters && end < name.size(); ++i) {
    end += CharacterLength(name, end);
  }
  return std::string(name.substr(0, end));
}

void WriteNameList(FileSystem& fs, const std::filesystem::path& folder) {
  std::vector<std::string> names = SearchFolder(fs, folder, kDiscoveryPattern);
  AtomicOutputFile list = AtomicOutputFile::Create(fs, folder / kNameList);
  for (const std::string& name : names) {
    // Such a name cannot stand on one line: read back, it would turn into two names that
    // exist nowhere.
    if (name.find_first_of("\r\n") != std::string::npos) continue;
    list.writeLine(name);
  }
  list.commit();
}

struct Discovery {
  std::vector<std::string> mosaicCodes;          // in order of first appearance
  std::map<std::string, std::string> tileNames;  // tile code -> its first discovery name
};

Discovery ReadNameList(FileSystem& fs, const std::filesystem::path& folder) {
  Discovery discovery;
  LineReader list(InputFile::Open(fs, folder / kNameList));
  std::string_view name;
  while (list.next(name)) {
    if (name.empty()) continue;
    std::string code = LeadingCharacters(name, kMosaicCodeCharacters);
    auto& codes = discovery.mosaicCodes;
    if (std::find(codes.begin(), codes.end(), code) == codes.end()) codes.push_back(code);
    discovery.tileNames.emplace(LeadingCharacters(name, kTileCodeCharacters), name);
  }
  return discovery;
}

// Opens the tiles of the folder. A tile is read under the name the search discovered for its
// tile code (on a file system that tells letter case apart it may differ from
// "<tile code>-DEM5.raw"), and otherwise under "<tile code>-DEM5", the name the GML5 conversion
// writes. Absent tiles are ordinary gaps in the mesh; tiles that exist but cannot be opened are
// remembered, because the user would otherwise take their no-data area for the real thing.
class TileFinder {
 public:
  TileFinder(FileSystem& fs, std::filesystem::path folder,
             std::map<std::string, std::string> discoveredNames)
      : fs_(fs), folder_(std::move(folder)), discoveredNames_(std::move(discoveredNames)) {}

  std::optional<RasterReader> open(const std::string& mosaicCode, int rowDigit, int columnDigit) {
    const std::string tileCode =
        mosaicCode + DigitCharacter(rowDigit) + DigitCharacter(columnDigit);
    auto discovered = discoveredNames_.find(tileCode);
    const std::string names[] = {
        discovered != discoveredNames_.end() ? discovered->second : tileCode + "-DEM5.raw",
        tileCode + kRasterSuffix};
    std::optional<std::filesystem::path> failed;
    for (const std::string& name : names) {
      if (auto tile = tryOpen(folder_ / PathFromUtf8(name), failed)) return tile;
    }
    if (failed) unreadable_.push_back(*failed);
    return std::nullopt;
  }

  const std::vector<std::filesystem::path>& unreadable() const { return unreadable_; }

 private:
  static char DigitCharacter(int digit) { return static_cast<char>('0' + digit); }

  std::optional<RasterReader> tryOpen(const std::filesystem::path& path,
                                      std::optional<std::filesystem::path>& failed) {
    try {
      return RasterReader::Open(fs_, path, kDem5MergeLayout.tileWidth);
    } catch (const FileError& error) {
      if (error.reason() != std::errc::no_such_file_or_directory && !failed) failed = path;
      return std::nullopt;
    }
  }

  FileSystem& fs_;
  std::filesystem::path folder_;
  std::map<std::string, std::string> discoveredNames_;
  std::vector<std::filesystem::path> unreadable_;
};

CommandResult MergeFolder(Services& services, const std::filesystem::path& folder) {
  FileSystem& fs = services.fileSystem();
  WriteNameList(fs, folder);
  Discovery discovery = ReadNameList(fs, folder);
  if (discovery.mosaicCodes.empty()) {
    services.showMessage(kNotFound);
    return {CommandOutcome::kNotFound, {}};
  }

  Progress progress(services);
  progress.startPhase(static_cast<std::int64_t>(discovery.mosaicCodes.size()) *
                      kDem5MergeLayout.height());
  TileFinder tiles(fs, folder, std::move(discovery.tileNames));
  for (const std::string& code : discovery.mosaicCodes) {
    WriteMosaic(
        fs, progress, kDem5MergeLayout, folder / PathFromUtf8(code + kRasterSuffix),
        [&](int rowDigit, int columnDigit) { return tiles.open(code, rowDigit, columnDigit); });
  }

  services.showMessage(FinalReport(tiles.unreadable()));
  progress.reset();
  return {CommandOutcome::kFinished, tiles.unreadable()};
}

}  // namespace

CommandResult RunDem5Merge(Services& services) {
  auto picked = services.runOpenDialog(kOpenTitle, kOpenFilter);
  if (!picked) {
    services.showMessage(kNoInput);
    return {CommandOutcome::kCancelled, {}};
  }
  return RunReportingFileErrors(services,
                                [&]() { return MergeFolder(services, picked->parent_path()); });
}

}  // namespace elevara
