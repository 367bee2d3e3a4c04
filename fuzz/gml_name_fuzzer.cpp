// File names as they come from downloads and unzip tools, through the whole GML5 conversion: the
// directory search, the list file written and read back, the mosaic codes and tile digits taken
// from fixed byte positions, and the mosaics assembled from them. The tiles are 2 x 1 cells so a
// run costs little; the names, positions and texts are those of the GML5 conversion.
//
// Input: entries separated by NUL bytes, at most kMaxEntries. The first byte of an entry says how
// its name is made and what the entry is:
//   bits 0-1: 0 the rest is the whole name; 1 "FG-GML-" + rest + "-DEM5A.xml";
//             2 "FG-GML-" + rest; 3 as 1, but made a folder instead of a file
//   bit 2:    the file holds a tile whose first cell is the entry's number; else it is empty.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "commands/gml_command.h"
#include "fuzz/fuzz_support.h"
#include "raster/raw_raster.h"
#include "testkit/scripted_services.h"

namespace elevara::fuzz {
namespace {

constexpr std::size_t kMaxEntries = 12;
constexpr int kTileWidth = 2;
constexpr int kTileHeight = 1;
constexpr int kTilesAcross = 10;
constexpr std::size_t kShortestUsableName = 17;  // positions up to 16 are read

struct Entry {
  std::string name;
  bool folder = false;
  bool holdsTile = false;
  int number = 0;
};

std::filesystem::path PathOf(std::string_view name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

bool IsPossibleName(std::string_view name) {
  return !name.empty() && name.size() <= 255 && name != "." && name != ".." &&
         name.find('/') == std::string_view::npos;
}

// Windows keeps names in UTF-16, compares them without regard to case and refuses a few
// characters, so names of bytes, and names that differ in case only, are POSIX cases alone.
// There the replay keeps to printable ASCII names that Windows holds exactly as they are.
std::string NameAsTheSystemComparesIt(const std::string& name) {
#if defined(_WIN32)
  std::string folded = name;
  for (char& c : folded) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return folded;
#else
  return name;
#endif
}

bool TheSystemHoldsName([[maybe_unused]] std::string_view name) {
#if defined(_WIN32)
  for (char c : name) {
    if (c < 0x20 || c > 0x7E || std::string_view("<>:\"\\|?*").find(c) != std::string_view::npos) {
      return false;
    }
  }
  return name.back() != '.' && name.back() != ' ';
#else
  return true;
#endif
}

std::vector<Entry> ParseEntries(std::string_view input) {
  std::vector<Entry> entries;
  std::set<std::string> seen;
  std::size_t at = 0;
  while (at < input.size() && entries.size() < kMaxEntries) {
    std::size_t stop = input.find('\0', at);
    if (stop == std::string_view::npos) stop = input.size();
    const std::string_view chunk = input.substr(at, stop - at);
    at = stop + 1;
    if (chunk.empty()) continue;
    const auto mode = static_cast<unsigned char>(chunk[0]);
    const std::string rest(chunk.substr(1));
    Entry entry;
    switch (mode & 3u) {
      case 0:
        entry.name = rest;
        break;
      case 2:
        entry.name = "FG-GML-" + rest;
        break;
      default:
        entry.name = "FG-GML-" + rest + "-DEM5A.xml";
        break;
    }
    entry.folder = (mode & 3u) == 3;
    entry.holdsTile = !entry.folder && (mode & 4u) != 0;
    entry.number = static_cast<int>(entries.size()) + 1;
    if (!IsPossibleName(entry.name) || !TheSystemHoldsName(entry.name) ||
        !seen.insert(NameAsTheSystemComparesIt(entry.name)).second) {
      continue;
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

void MakeEntries(const std::filesystem::path& folder, const std::vector<Entry>& entries) {
  for (const Entry& entry : entries) {
    const auto path = folder / PathOf(entry.name);
    if (entry.folder) {
      std::filesystem::create_directory(path);
    } else if (entry.holdsTile) {
      WriteBytes(path, "<gml:tupleList>\r\nx," + std::to_string(entry.number) +
                           "\r\n</gml:tupleList>\r\n<gml:startPoint>0 0</gml:startPoint>\r\n");
    } else {
      WriteBytes(path, "");
    }
  }
}

std::string MosaicCode(std::string_view name) {
  std::string code;
  for (std::size_t position : kGml5Conversion.codePositions) code += name[position];
  return code;
}

std::string TileCode(std::string_view name) {
  return MosaicCode(name) + name[15] + name[16];
}

// Whether a code may stand in a file name, written the slow way: every character decoded on its
// own and held against the list of what no file name may hold.
bool IsPlainSlowly(const std::string& code) {
  if (!IsUtf8(code)) return false;
  for (char32_t c : Utf16FromUtf8(code)) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F) ||
        std::u32string_view(U"\\/:*?\"<>|").find(c) != std::u32string_view::npos) {
      return false;
    }
  }
  return true;
}

std::uint32_t CellBits(const std::string& raster, std::size_t row, std::size_t column) {
  return testing::CellBits(raster, kTilesAcross * kTileWidth, static_cast<std::int64_t>(row),
                           static_cast<std::int64_t>(column));
}

// What the run must have made of the folder.
struct Expected {
  std::vector<const Entry*> listed;              // in list order
  std::vector<std::filesystem::path> skipped;    // in the order they were met
  std::vector<std::string> codes;                // in order of first appearance
  std::map<std::string, const Entry*> lastTile;  // tile code -> the last entry converted to it
};

Expected Foresee(const std::filesystem::path& folder, const std::vector<Entry>& entries) {
  std::vector<const Entry*> matching;
  for (const Entry& entry : entries) {
    if (MatchSlowly(kGml5Conversion.pattern, entry.name)) matching.push_back(&entry);
  }
  std::sort(matching.begin(), matching.end(),
            [](const Entry* a, const Entry* b) { return SlowNameLess(a->name, b->name); });
  Expected expected;
  for (const Entry* entry : matching) {
    if (entry->name.find_first_of("\r\n") != std::string::npos) {
      expected.skipped.push_back(folder / PathOf(entry->name));
    } else {
      expected.listed.push_back(entry);
    }
  }
  std::set<std::string> converted, codesConverted;
  std::vector<std::string> codes;
  for (const Entry* entry : expected.listed) {
    // A name met before, letter case aside, is a copy of a tile that converted: passed over.
    if (converted.contains(Folded(entry->name))) continue;
    const bool usable =
        entry->name.size() >= kShortestUsableName && IsPlainSlowly(TileCode(entry->name));
    if (!usable || !entry->holdsTile) expected.skipped.push_back(folder / PathOf(entry->name));
    if (!usable) continue;
    const std::string code = MosaicCode(entry->name);
    if (std::find(codes.begin(), codes.end(), code) == codes.end()) codes.push_back(code);
    if (entry->holdsTile) {
      converted.insert(Folded(entry->name));
      codesConverted.insert(code);
    }
    expected.lastTile[TileCode(entry->name)] = entry;
  }
  // Only a code with a tile converted gets a mosaic.
  for (const std::string& code : codes) {
    if (codesConverted.contains(code)) expected.codes.push_back(code);
  }
  return expected;
}

void CheckMosaic(const std::filesystem::path& folder, const std::string& code,
                 const Expected& expected, const std::set<std::string>& namesBefore) {
  const std::string mosaicName = code + "-DEM5";
  const std::string raster = ReadBytes(folder / PathOf(mosaicName));
  const std::size_t width = kTilesAcross * kTileWidth;
  Check(raster.size() == width * 10 * kTileHeight * 4, "mosaic size");
  Check(
      ReadBytes(folder / PathOf(mosaicName + ".hd1")) == "20 width\r\n10 height\r\n4 data_type\r\n",
      "sidecar");
  for (int row = 0; row < 10; ++row) {
    for (int column = 0; column < kTilesAcross; ++column) {
      const std::string tileCode = code + char('0' + row) + char('0' + column);
      auto tile = expected.lastTile.find(tileCode);
      if (tile == expected.lastTile.end() && namesBefore.contains(tileCode + "-DEM5")) {
        continue;  // a file of the folder stood in for the tile: its bytes are its own
      }
      const bool filled = tile != expected.lastTile.end() && tile->second->holdsTile;
      const std::size_t mosaicRow = std::size_t(9 - row);
      const std::size_t first = std::size_t(column) * kTileWidth;
      const std::uint32_t want =
          filled ? std::bit_cast<std::uint32_t>(float(tile->second->number)) : kNoDataBits;
      Check(CellBits(raster, mosaicRow, first) == want, "first cell of tile " + tileCode);
      Check(CellBits(raster, mosaicRow, first + 1) == kNoDataBits, "second cell of " + tileCode);
    }
  }
}

void RunFolder(const std::vector<Entry>& entries) {
  const std::filesystem::path folder = ScratchFolder() / "run";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directory(folder);
  MakeEntries(folder, entries);
  std::set<std::string> namesBefore;
  for (const Entry& entry : entries) namesBefore.insert(entry.name);

  GmlConversion conversion = kGml5Conversion;
  conversion.layout = {kTileWidth, kTileHeight, kTilesAcross, 10};
  conversion.layer = nullptr;  // mosaics this small are of no layer's size
  testing::ScriptedServices services;
  services.openAnswers.push_back(folder / "picked.xml");
  const std::size_t descriptors = testing::OpenDescriptorCount();
  const CommandResult result = RunGmlConversion(services, conversion);
  Check(testing::OpenDescriptorCount() == descriptors, "a file was left open");

  const Expected expected = Foresee(folder, entries);
  std::string list;
  for (const Entry* entry : expected.listed) list += entry->name + "\r\n";
  Check(ReadBytes(folder / kGmlListFileName) == list, "list file");
  Check(!std::filesystem::exists(folder / kGmlValueFileName) || namesBefore.contains("dtm.txt"),
        "value file left behind");
  Check(result.skipped == expected.skipped, "skipped files");
  const std::string_view head = expected.listed.empty()  ? gml_text::kNoFileFound
                                : expected.codes.empty() ? kNothingWrittenMessage
                                                         : kFinishedMessage;
  Check(services.messages.size() == 1 && testing::WithoutReasons(services.messages[0]) ==
                                             testing::FinalReportNaming(expected.skipped, head),
        "final report");
  if (expected.listed.empty()) {
    Check(result.outcome == CommandOutcome::kNotFound, "outcome without names");
    return;
  }
  Check(result.outcome ==
            (expected.codes.empty() ? CommandOutcome::kFailed : CommandOutcome::kFinished),
        "outcome");
  const auto steps =
      std::int64_t(expected.listed.size()) * 2 + std::int64_t(expected.codes.size()) * 10;
  Check(services.advances == steps, "progress steps");
  for (const std::string& code : expected.codes) CheckMosaic(folder, code, expected, namesBefore);
}

}  // namespace
}  // namespace elevara::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace elevara::fuzz;
  RunFolder(ParseEntries(std::string_view(reinterpret_cast<const char*>(data), size)));
  return 0;
}
