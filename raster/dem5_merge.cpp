#include "raster/dem5_merge.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/folder_search.h"
#include "platform/unicode.h"
#include "raster/area_layer.h"
#include "raster/batch_steps.h"
#include "raster/envi_header.h"

namespace elevara {
namespace {

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

// The mosaic codes of the listed names, in order of first appearance, and for every tile code
// the first name of each kind the search discovered for it.
struct Discovery {
  CodeTable mosaicCodes;
  std::map<std::string, std::string> rawNames;   // "??????-DEM5.raw"
  std::map<std::string, std::string> bareNames;  // "??????-DEM5", as the GML5 conversion writes
};

// A name whose tile code holds what no file name may (IsPlainFileNamePart) lends no code: it
// is named in `refused` instead.
Discovery ReadNameList(const BatchContext& context, const std::filesystem::path& listPath,
                       std::vector<SkippedInput>& refused) {
  Discovery discovery;
  ForEachListedName(context.fs, listPath, [&](std::string_view name) {
    if (!IsPlainFileNamePart(LeadingCharacters(name, kTileCodeCharacters))) {
      refused.push_back({context.folder / PathFromUtf8(name), SkipReason::kCodeNotANamePart, {}});
      return;
    }
    discovery.mosaicCodes.add(LeadingCharacters(name, kMosaicCodeCharacters));
    auto& names = MatchWildcard(kDem5RawPattern, name) ? discovery.rawNames : discovery.bareNames;
    names.emplace(LeadingCharacters(name, kTileCodeCharacters), name);
  });
  return discovery;
}

std::string DiscoveredOr(const std::map<std::string, std::string>& names,
                         const std::string& tileCode, std::string usual) {
  auto discovered = names.find(tileCode);
  return discovered != names.end() ? discovered->second : usual;
}

// A tile is read under its ".raw" name first, then under the name without extension. Each is
// the name the search discovered for the tile code (on a file system that tells letter case
// apart it may differ from the usual one), and otherwise "<tile code>-DEM5.raw" and
// "<tile code>-DEM5".
std::vector<std::filesystem::path> TileNamesOf(const std::filesystem::path& folder,
                                               const Discovery& discovery,
                                               const std::string& mosaicCode, int rowDigit,
                                               int columnDigit) {
  const std::string tileCode =
      mosaicCode + static_cast<char>('0' + rowDigit) + static_cast<char>('0' + columnDigit);
  const std::string bareName = tileCode + kRasterSuffix;
  return {folder / PathFromUtf8(DiscoveredOr(discovery.rawNames, tileCode, bareName + ".raw")),
          folder / PathFromUtf8(DiscoveredOr(discovery.bareNames, tileCode, bareName))};
}

// The datum a mosaic declares in its ENVI header, which the GML5 conversion writes beside it;
// nothing known without one, or with another coordinate system. A header that exists but
// cannot be read declares nothing either, and is named in the final report.
std::optional<Datum> DatumInHeaderOf(FileSystem& fs, const std::filesystem::path& mosaic,
                                     std::vector<SkippedInput>& unreadable) {
  try {
    const std::optional<EnviHeaderFields> header = ReadEnviHeader(fs, mosaic);
    if (!header || !header->coordinateSystem) return std::nullopt;
    return DatumOfWkt(*header->coordinateSystem);
  } catch (const FileError& error) {
    unreadable.push_back({error.path(), SkipReason::kEnviHeaderUnreadable, error.reason()});
    return std::nullopt;
  }
}

}  // namespace

BatchResult MergeDem5Folder(const BatchContext& context) {
  FileSystem& fs = context.fs;
  const std::filesystem::path listPath = context.folder / kDem5NameList;
  const std::unique_ptr<FolderClaim> claim = ClaimFolder(context);
  BatchResult result;
  WriteNameList(fs, context.folder, kDem5DiscoveryPatterns, listPath, result.skipped);
  const Discovery discovery = ReadNameList(context, listPath, result.skipped);
  const std::vector<std::string>& codes = discovery.mosaicCodes.codes();
  result.found = !codes.empty();
  if (!result.found) return result;

  context.progress.startPhase(static_cast<std::int64_t>(codes.size()) * kDem5MergeLayout.height());
  std::vector<SkippedInput> unreadableHeaders;
  const MosaicSet mosaics{kDem5MergeLayout, codes, kRasterSuffix,
                          [&](const std::string& code, int rowDigit, int columnDigit) {
                            return TileNamesOf(context.folder, discovery, code, rowDigit,
                                               columnDigit);
                          },
                          [&](const std::filesystem::path& tile, DatumAgreement& datums) {
                            datums.add(DatumInHeaderOf(fs, tile, unreadableHeaders));
                          }};
  WriteMosaics(context, mosaics, result);
  result.skipped.insert(result.skipped.end(), unreadableHeaders.begin(), unreadableHeaders.end());
  WriteAreaLayer(context, kMergedLayer, result);
  return result;
}

}  // namespace elevara
