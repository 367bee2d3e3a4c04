// The steps the three batch runs (GML10, GML5 and the DEM5 merge) share, with one rule for
// each: what a run works with and what it returns, the list of the names found, the list read
// back, the table of mosaic codes, and the tile rasters opened by name.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "platform/progress.h"
#include "raster/raw_raster.h"

namespace elevara {

// What every step of a batch run works with: the files, the progress, the folder the run reads
// from and writes into, and how many workers may convert side by side (RunParallelJobs; the
// outputs are the same for any number). The file seam is used from every worker at once.
struct BatchContext {
  FileSystem& fs;
  Progress& progress;
  std::filesystem::path folder;
  int workers = 1;
};

// Why an input was left out of a run.
enum class SkipReason {
  kLineBreakInName,       // a found name holding CR or LF cannot stand on a line of the list
  kNameTooShort,          // too short for the places its codes are read from
  kCodeNotANamePart,      // its codes hold what no file name may (IsPlainFileNamePart)
  kNotOpened,             // it could not be opened
  kNotRead,               // a read failed on the way
  kNoStartPoint,          // a GML tile without its start point
  kNoValueList,           // a GML tile without its value list
  kArchiveUnreadable,     // an archive that could not be read, or lies too deep
  kTileRasterUnreadable,  // a tile raster that exists but could not be opened or read
  kEnviHeaderUnreadable,  // an ENVI header that exists but could not be read
  kNoRasterSize,          // a raster whose ".hd1" sidecar states no size it can be read as
  kOtherRasterSize,       // a raster whose length, sidecar and ENVI header disagree on its size,
                          // or that is of another size than its name says
  kOtherPlacement,        // a raster whose ENVI header places it elsewhere than its name says
  kOtherDatum,            // a raster on another datum than the others of its layer
};

struct SkippedInput {
  std::filesystem::path path;
  SkipReason reason;
  std::error_code error;  // the system's or the archive's own reason, where one is known
};

// What a batch run did.
struct BatchResult {
  // False when nothing in the folder matched: the run wrote its empty name list and nothing else.
  bool found = false;
  std::vector<std::filesystem::path> written;  // the rasters, in the order they were written
  std::vector<SkippedInput> skipped;           // in the order they were met
  // Mosaics left out of the area's layer (see WriteAreaLayer), in the order of their names.
  std::vector<SkippedInput> leftOutOfLayer;
};

// Takes the context's folder for the run (FileSystem::claimFolder) for as long as the returned
// claim lives: two runs in one folder would share the working files and each other's tiles.
// Throws FileError (FileFault::kFolderBusy) while another run, of this process or another,
// holds it. A folder that cannot be claimed for another reason goes on unclaimed: its listing
// tells what is wrong with it.
[[nodiscard]] std::unique_ptr<FolderClaim> ClaimFolder(const BatchContext& context);

// Writes the bare name of every entry of `folder` that matches one of `patterns` to the list
// file at `listPath`, one per line in the order of the directory search; the list appears whole
// or not at all. A name holding CR or LF cannot stand on a line of its own (read back, it would
// become two names that exist nowhere): it is left out and appended to `unlisted`, so that the
// final report names it. Throws FileError.
void WriteNameList(FileSystem& fs, const std::filesystem::path& folder,
                   std::span<const std::string_view> patterns,
                   const std::filesystem::path& listPath, std::vector<SkippedInput>& unlisted);
// The same for names found another way (the entries of the folder, then the members of its
// archives by their locations), in their order.
void WriteNameList(FileSystem& fs, const std::filesystem::path& folder,
                   const std::vector<std::string>& names, const std::filesystem::path& listPath,
                   std::vector<SkippedInput>& unlisted);

// Calls `visit` with every name of the list file, read back line by line, so that a name with
// blanks stays one name. An empty line names nothing. Throws FileError.
void ForEachListedName(FileSystem& fs, const std::filesystem::path& listPath,
                       const std::function<void(std::string_view name)>& visit);

// The distinct mosaic codes of a run, in the order of their first appearance, as many as there
// are.
class CodeTable {
 public:
  void add(const std::string& code) {
    if (seen_.insert(code).second) codes_.push_back(code);
  }
  const std::vector<std::string>& codes() const { return codes_; }

 private:
  std::vector<std::string> codes_;
  std::unordered_set<std::string> seen_;
};

// The tile rasters of a mosaic, opened by name. A tile raster that is absent is no-data without
// a word: a mesh is often covered only in part. One that exists but cannot be opened or read
// (no permission, a folder of that name, an I/O error) is no-data too, but it is remembered for
// the final report, because the user would otherwise take its no-data block for the real thing.
class TileRasters {
 public:
  TileRasters(FileSystem& fs, std::int64_t tileWidth) : fs_(fs), tileWidth_(tileWidth) {}

  // The first of `names` that opens; nullopt when none does. Of names that exist but cannot be
  // opened, the first is remembered.
  std::optional<RasterReader> open(std::span<const std::filesystem::path> names);

  // Reads row `line` of `tile` into `samples`, kNoData where the tile holds nothing. A tile
  // that cannot be read is remembered and closed, so it is no-data from that row on.
  void readRow(std::optional<RasterReader>& tile, std::int64_t line, std::span<float> samples);

  // The tile rasters that exist but could not be opened or read, in the order they were met,
  // with the system's reason.
  const std::vector<SkippedInput>& skipped() const { return unreadable_; }
  std::vector<std::filesystem::path> unreadable() const;

 private:
  FileSystem& fs_;
  std::int64_t tileWidth_;
  std::vector<SkippedInput> unreadable_;
};

}  // namespace elevara
