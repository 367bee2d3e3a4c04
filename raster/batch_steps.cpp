#include "raster/batch_steps.h"

#include <algorithm>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/folder_search.h"
#include "platform/unicode.h"

namespace elevara {

std::unique_ptr<FolderClaim> ClaimFolder(const BatchContext& context) {
  std::error_code error;
  std::unique_ptr<FolderClaim> claim = context.fs.claimFolder(context.folder, error);
  if (error == FileFault::kFolderBusy) throw FileError(FileAction::kClaim, context.folder, error);
  return claim;
}

void WriteNameList(FileSystem& fs, const std::filesystem::path& folder,
                   std::span<const std::string_view> patterns,
                   const std::filesystem::path& listPath, std::vector<SkippedInput>& unlisted) {
  WriteNameList(fs, folder, SearchFolder(fs, folder, patterns), listPath, unlisted);
}

void WriteNameList(FileSystem& fs, const std::filesystem::path& folder,
                   const std::vector<std::string>& names, const std::filesystem::path& listPath,
                   std::vector<SkippedInput>& unlisted) {
  AtomicOutputFile list = AtomicOutputFile::Create(fs, listPath, Durability::kWorkingFile);
  for (const std::string& name : names) {
    if (name.find_first_of("\r\n") != std::string::npos) {
      unlisted.push_back({folder / PathFromUtf8(name), SkipReason::kLineBreakInName, {}});
      continue;
    }
    list.writeLine(name);
  }
  list.commit();
}

void ForEachListedName(FileSystem& fs, const std::filesystem::path& listPath,
                       const std::function<void(std::string_view name)>& visit) {
  LineReader list(InputFile::Open(fs, listPath));
  std::string_view line;
  while (list.next(line)) {
    if (!line.empty()) visit(line);
  }
}

std::optional<RasterReader> TileRasters::open(std::span<const std::filesystem::path> names) {
  std::optional<SkippedInput> failed;
  for (const std::filesystem::path& name : names) {
    try {
      if (auto tile = RasterReader::OpenIfPresent(fs_, name, tileWidth_)) return tile;
    } catch (const FileError& error) {
      if (!failed) failed = SkippedInput{name, SkipReason::kTileRasterUnreadable, error.reason()};
    }
  }
  if (failed) unreadable_.push_back(*failed);
  return std::nullopt;
}

std::vector<std::filesystem::path> TileRasters::unreadable() const {
  std::vector<std::filesystem::path> paths;
  for (const SkippedInput& tile : unreadable_) paths.push_back(tile.path);
  return paths;
}

void TileRasters::readRow(std::optional<RasterReader>& tile, std::int64_t line,
                          std::span<float> samples) {
  if (tile) {
    try {
      tile->readRow(line, samples);
      return;
    } catch (const FileError& error) {
      unreadable_.push_back({tile->path(), SkipReason::kTileRasterUnreadable, error.reason()});
      tile.reset();
    }
  }
  std::fill(samples.begin(), samples.end(), kNoData);
}

}  // namespace elevara
