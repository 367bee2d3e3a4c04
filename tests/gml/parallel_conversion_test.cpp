// The same folder converted on one worker and on four: every file written, byte for byte, and
// what the run returns and tells the progress, whatever order the workers finish in; and an
// interrupt that stops every worker and leaves no part file.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "gml/gml_conversion.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "testkit/files.h"
#include "testkit/plain_gml.h"
#include "testkit/zip_files.h"
#include "tests/gml/small_conversion.h"

namespace elevara {
namespace {

namespace fs = std::filesystem;
using testing::MakeGml;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;
using testing::ZipMember;

std::string Tile(int first, int cells, int startColumn = 0) {
  std::vector<std::string> values;
  for (int i = 0; i < cells; ++i) values.push_back(std::to_string(first + i) + ".25");
  return MakeGml(
      {.startPoint = "<gml:startPoint>" + std::to_string(startColumn) + " 0</gml:startPoint>",
       .values = testing::Tokens(values)});
}

// Tiles of many mosaics as downloads leave them: files, members of a ZIP file and of a compressed
// ZIP file inside it; two editions of one tile (the later in other letters), a broken tile and a
// name too short to place.
void MakeFolder(const fs::path& folder, int tiles, int cells) {
  std::vector<ZipMember> members, inner;
  for (int i = 0; i < tiles; ++i) {
    const std::string name = "FG-GML-" + std::to_string(1000 + i / 4) + "-00-" +
                             std::to_string(i / 2 % 2) + std::to_string(i % 2) + "-dem5.xml";
    const std::string text = Tile(100 * i, cells, i % 3);
    if (i % 3 == 0) members.emplace_back(name, text);
    if (i % 3 == 1) inner.emplace_back(name, text);
    if (i % 3 == 2) WriteBytes(folder / name, text);
  }
  WriteBytes(folder / "FG-GML-1000-00-10-dem5b.xml", Tile(-50, cells));
  WriteBytes(folder / "FG-GML-1000-00-10-DEM5C.xml", Tile(-70, cells));
  WriteBytes(folder / "FG-GML-1001-00-11-dem5-broken.xml", "<gml:tupleList> t,1");
  WriteBytes(folder / "FG-GML-dem5.xml", Tile(0, cells));
  members.emplace_back("inner.zip", testing::ZipBytes(inner));
  testing::WriteZip(folder / "tiles.zip", members);
}

// What a run told its progress: each phase and the steps taken in it. Interrupts at a step.
class RecordedProgress final : public Progress {
 public:
  explicit RecordedProgress(std::int64_t interruptAt = -1) : interruptAt_(interruptAt) {}
  std::vector<std::int64_t> phases;  // each phase's steps, then the steps taken
  void startPhase(std::int64_t steps) override { phases.insert(phases.end(), {steps, 0}); }
  void step() override {
    if (++steps_ == interruptAt_) throw Interrupted();
    ++phases.back();
  }

 private:
  std::int64_t interruptAt_;
  std::int64_t steps_ = 0;
};

std::map<std::string, std::string> FilesIn(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    files[entry.path().filename().string()] = ReadBytes(entry.path());
  }
  return files;
}

// The run's result with the folder's path taken out.
std::vector<std::string> Told(const BatchResult& result, const fs::path& folder) {
  std::vector<std::string> told;
  for (const fs::path& written : result.written) told.push_back(written.filename().string());
  for (const SkippedInput& skipped : result.skipped) {
    told.push_back(fs::relative(skipped.path, folder).string() + " " +
                   std::to_string(int(skipped.reason)) + " " + skipped.error.message());
  }
  return told;
}

TEST(ParallelConversion, FourWorkersWriteAndTellWhatOneDoes) {
  const struct {
    const GmlConversion& conversion;
    int tiles;
  } cases[] = {{testing::kSmall, 60}, {kGml5Conversion, 12}};
  for (const auto& c : cases) {
    const int cells = c.conversion.layout.tileWidth * c.conversion.layout.tileHeight;
    TempFolder one, four;
    MakeFolder(one.path(), c.tiles, cells);
    // File by file: MinGW's copy of a folder refuses a target folder that exists.
    for (const fs::directory_entry& file : fs::directory_iterator(one.path())) {
      fs::copy_file(file.path(), four.path() / file.path().filename());
    }
    RecordedProgress oneSteps, fourSteps;
    const BatchResult byOne =
        ConvertGmlFolder({SystemFileSystem(), oneSteps, one.path(), 1}, c.conversion);
    const BatchResult byFour =
        ConvertGmlFolder({SystemFileSystem(), fourSteps, four.path(), 4}, c.conversion);
    EXPECT_EQ(Told(byFour, four.path()), Told(byOne, one.path()));
    EXPECT_EQ(fourSteps.phases, oneSteps.phases);
    EXPECT_EQ(byOne.written.size(), std::size_t(c.tiles / 4));
    EXPECT_EQ(byOne.skipped.size(), 2u);  // the broken tile and the short name
    const auto byFourFiles = FilesIn(four.path()), byOneFiles = FilesIn(one.path());
    for (const auto& [name, bytes] : byOneFiles) {
      EXPECT_TRUE(byFourFiles.contains(name) && byFourFiles.at(name) == bytes) << name;
    }
    EXPECT_EQ(byFourFiles.size(), byOneFiles.size());
  }
}

TEST(ParallelConversion, AnInterruptStopsEveryWorkerAndLeavesNoPartFile) {
  const std::int64_t tileSteps = GmlTileSteps(kGml5Conversion.layout.tileHeight);
  for (std::int64_t interruptAt : {tileSteps / 2, 7 * tileSteps, 15 * tileSteps + 700}) {
    SCOPED_TRACE(interruptAt);
    TempFolder folder;
    MakeFolder(folder.path(), 12, 225 * 150);
    RecordedProgress progress(interruptAt);
    EXPECT_THROW(
        ConvertGmlFolder({SystemFileSystem(), progress, folder.path(), 4}, kGml5Conversion),
        Interrupted);
    const std::map<std::string, std::string> left = FilesIn(folder.path());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(FilesIn(folder.path()) == left) << "a worker wrote on";
    EXPECT_TRUE(testing::TemporaryFilesIn(folder.path()).empty());
  }
}

}  // namespace
}  // namespace elevara
