// Faults of the file layer in every command: the disk fills up, a rename, a creation or a removal
// is refused, the folder turns read-only halfway. Whatever fails, the command ends with one
// message that names the file, never with the finished message, leaves what earlier runs wrote
// under the output names as it was, and keeps no file open.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "commands/gml_command.h"
#include "commands/merge_command.h"
#include "commands/nodata_command.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "testkit/faulty_file_system.h"
#include "testkit/files.h"
#include "testkit/scripted_services.h"

namespace elevara {
namespace {

using testing::FaultyFileSystem;
using testing::ReadBytes;
using testing::ScriptedServices;
using testing::TempFolder;
using testing::WriteBytes;

constexpr char kEarlier[] = "earlier";

enum class Command { kNoData, kDem5Merge, kGml10, kGml5 };

// A tile with a start point and a few values: enough for the tile and mosaic phases to run.
std::string SmallGmlTile() {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<gml:tupleList>\r\n"
         "地表面,12.50\r\n地表面,13.25\r\nデータなし,-9999.\r\n</gml:tupleList>\r\n"
         "<gml:startPoint>3 1</gml:startPoint>\r\n";
}

// What each command reads, the outputs an earlier run left, and how its run is started.
struct CommandSetup {
  std::string input;                 // the file the dialog picks
  std::vector<std::string> outputs;  // earlier outputs, written as kEarlier before the run
  std::string discardWrites;         // the large mosaic kept off the disk
  // The tile raster is rebuilt from its GML file by every run, which removes the earlier one
  // first: after a failure it may be gone, but it is never partial.
  std::string rebuiltTile;
};

CommandSetup SetupFor(Command command) {
  switch (command) {
    case Command::kNoData:
      return {"in.raw", {"out.raw", "out.raw.hd1"}, "", ""};
    case Command::kDem5Merge:
      return {"533946-DEM5.raw", {"5339-DEM5", "5339-DEM5.hd1"}, "5339-DEM5", ""};
    case Command::kGml10:
      return {"FG-GML-5339-45-dem10b-20161001.xml",
              {"5339-ELEVARA", "5339-ELEVARA.hd1", "533945-ELEVARA"},
              "5339-ELEVARA",
              "533945-ELEVARA"};
    case Command::kGml5:
      return {"FG-GML-5339-46-78-DEM5A-20161001.xml",
              {"533946-DEM5", "533946-DEM5.hd1", "53394678-DEM5"},
              "",
              "53394678-DEM5"};
  }
  return {};
}

struct FaultCase {
  std::string name;
  Command command;
  std::function<void(FaultyFileSystem&)> inject;
  std::int64_t readOnlyAfterSteps = -1;    // the folder turns read-only after this many steps
  FileAction action = FileAction::kWrite;  // the first line of the message
  std::string namedFile;                   // the file the message names
  std::vector<std::string> replaced;       // outputs legitimately new although the run failed

  // Where the folder still lets it, a failed output takes its temporary file with it.
  bool temporaryFilesRemoved() const {
    return readOnlyAfterSteps < 0 && name != "CleanupRefusedToo";
  }
};

std::ostream& operator<<(std::ostream& out, const FaultCase& fault) {
  return out << fault.name;
}

struct FileFaults : ::testing::TestWithParam<FaultCase> {
  TempFolder folder;
  ScriptedServices services;
  FaultyFileSystem fs;
  CommandSetup setup = SetupFor(GetParam().command);

  void prepare() {
    switch (GetParam().command) {
      case Command::kNoData:
        testing::WriteFloats(folder / setup.input, std::vector<float>(300 * 200, -9999.0f));
        services.saveAnswers.push_back(folder / "out.raw");
        break;
      case Command::kDem5Merge:
        testing::WriteFloats(folder / setup.input, {1.0f, 2.0f});
        break;
      case Command::kGml10:
      case Command::kGml5:
        WriteBytes(folder / setup.input, SmallGmlTile());
        break;
    }
    for (const std::string& output : setup.outputs) WriteBytes(folder / output, kEarlier);
    services.openAnswers.push_back(folder / setup.input);
    services.files = &fs;
    fs.discardWritesOf = setup.discardWrites;
  }

  CommandResult run() {
    switch (GetParam().command) {
      case Command::kNoData:
        return RunNoDataReplacement(services, "300", "200");
      case Command::kDem5Merge:
        return RunDem5Merge(services);
      case Command::kGml10:
        return RunGml10Conversion(services);
      case Command::kGml5:
        return RunGml5Conversion(services);
    }
    return {};
  }
};

TEST_P(FileFaults, EndWithAMessageAndLeaveEarlierOutputsAlone) {
  const FaultCase& fault = GetParam();
  prepare();
  fault.inject(fs);
  std::int64_t steps = 0;
  services.onProcessMessages = [&] {
    if (++steps == fault.readOnlyAfterSteps) fs.readOnly = true;
  };

  const CommandResult result = run();

  EXPECT_EQ(result.outcome, CommandOutcome::kFailed);
  ASSERT_EQ(services.messages.size(), 1u) << ::testing::PrintToString(services.messages);
  const std::string& message = services.messages[0];
  const std::string named = DisplayPath(folder / fault.namedFile);
  EXPECT_EQ(message.rfind(DescribeFileAction(fault.action) + "\n" + named + "\n", 0), 0u)
      << message;
  EXPECT_EQ(message.find(kFinishedMessage), std::string::npos);
  EXPECT_EQ(fs.openFiles, 0);
  for (const std::string& output : setup.outputs) {
    if (std::find(fault.replaced.begin(), fault.replaced.end(), output) != fault.replaced.end()) {
      continue;
    }
    if (output == setup.rebuiltTile && !std::filesystem::exists(folder / output)) continue;
    EXPECT_EQ(ReadBytes(folder / output), kEarlier) << output;
  }
  if (fault.temporaryFilesRemoved()) {
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
      EXPECT_FALSE(IsTemporaryFileName(entry.path().filename().string())) << entry.path();
    }
  }
}

// Faults that the command's own tests do not reach yet. The disk filling up in the no-data
// replacement and the DEM5 merge, and a DEM5 list that cannot be created, are tested beside
// those commands.
std::vector<FaultCase> NoDataFaults() {
  return {
      {"NoDataRasterRenameRefused",
       Command::kNoData,
       [](FaultyFileSystem& fs) { fs.failRenameContaining = "out.raw"; },
       -1,
       FileAction::kRename,
       "out.raw",
       {}},
      // The sidecar is written before the raster takes its place, so neither replaces the
      // earlier pair and no old sidecar ends up describing a new raster.
      {"NoDataSidecarRefused",
       Command::kNoData,
       [](FaultyFileSystem& fs) { fs.failCreateContaining = ".hd1"; },
       -1,
       FileAction::kCreate,
       "out.raw.hd1",
       {}},
      // The earlier sidecar stays writable, so the new one would be written over it in place,
      // but only after the raster has taken its name, which the folder refuses.
      {"NoDataFolderTurnsReadOnly",
       Command::kNoData,
       [](FaultyFileSystem&) {},
       100,
       FileAction::kRename,
       "out.raw",
       {}},
      // A write fails and the temporary file cannot be removed either: the first fault is the
      // one reported.
      {"CleanupRefusedToo",
       Command::kNoData,
       [](FaultyFileSystem& fs) {
         fs.failWritesAfter = 1000;
         fs.failRemovingTemporaryFiles = true;
       },
       -1,
       FileAction::kWrite,
       "out.raw",
       {}},
  };
}

std::vector<FaultCase> Dem5MergeFaults() {
  return {
      {"Dem5ListRenameRefused",
       Command::kDem5Merge,
       [](FaultyFileSystem& fs) { fs.failRenameContaining = "dem5_name"; },
       -1,
       FileAction::kRename,
       "dem5_name.txt",
       {}},
      {"Dem5RasterRenameRefused",
       Command::kDem5Merge,
       [](FaultyFileSystem& fs) { fs.failRenameContaining = "5339-DEM5"; },
       -1,
       FileAction::kRename,
       "5339-DEM5",
       {}},
      {"Dem5SidecarRefused",
       Command::kDem5Merge,
       [](FaultyFileSystem& fs) { fs.failCreateContaining = ".hd1"; },
       -1,
       FileAction::kCreate,
       "5339-DEM5.hd1",
       {}},
      // The merged raster's ENVI header, new in the folder, is created before the raster's
      // rename.
      {"Dem5FolderTurnsReadOnly",
       Command::kDem5Merge,
       [](FaultyFileSystem&) {},
       6000,
       FileAction::kCreate,
       "5339-DEM5.hdr",
       {}},
  };
}

// The same faults for both GML conversions, at each file the conversion writes or removes.
// The faults of the GML conversions that the conversion's own tests leave out (they cover a
// list or tile raster that cannot be created, a mosaic that cannot be saved and the disk filling
// up at any point), for both commands as the window runs them.
std::vector<FaultCase> GmlFaults(Command command, const std::string& prefix,
                                 const std::string& mosaic, const std::string& tile,
                                 std::int64_t tileSteps) {
  const auto none = [](FaultyFileSystem&) {};
  return {
      {prefix + "TileRasterRenameRefused",
       command,
       [tile](FaultyFileSystem& fs) { fs.failRenameContaining = tile; },
       -1,
       FileAction::kRename,
       tile,
       {}},
      {prefix + "SidecarRefused",
       command,
       [](FaultyFileSystem& fs) { fs.failCreateContaining = ".hd1"; },
       -1,
       FileAction::kCreate,
       mosaic + ".hd1",
       {tile}},
      // The earlier tile raster and mosaic are still writable and are written in place; the
      // mosaic's ENVI header, new in the folder, cannot be created.
      {prefix + "FolderTurnsReadOnlyInTheTilePhase",
       command,
       none,
       10,
       FileAction::kCreate,
       mosaic + ".hdr",
       {tile, mosaic}},
      {prefix + "FolderTurnsReadOnlyInTheMosaicPhase",
       command,
       none,
       tileSteps + 100,
       FileAction::kCreate,
       mosaic + ".hdr",
       {tile}},
  };
}

std::vector<FaultCase> AllFaults() {
  std::vector<FaultCase> all;
  for (auto group : {NoDataFaults(), Dem5MergeFaults(),
                     GmlFaults(Command::kGml10, "Gml10", "5339-ELEVARA", "533945-ELEVARA", 1500),
                     GmlFaults(Command::kGml5, "Gml5", "533946-DEM5", "53394678-DEM5", 300)}) {
    all.insert(all.end(), group.begin(), group.end());
  }
  return all;
}

INSTANTIATE_TEST_SUITE_P(EveryCommand, FileFaults, ::testing::ValuesIn(AllFaults()),
                         [](const auto& fault) { return fault.param.name; });

#if !defined(_WIN32)
// The real thing, where permission bits count: the folder is made read-only while the GML5
// mosaic is written. Windows folders have no such bits.
TEST(ReadOnlyFolder, StopsTheGml5MosaicWithAMessage) {
  if (::geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
  TempFolder folder;
  ScriptedServices services;
  WriteBytes(folder / "FG-GML-5339-46-78-DEM5A-20161001.xml", SmallGmlTile());
  WriteBytes(folder / "533946-DEM5", kEarlier);
  services.openAnswers.push_back(folder / "FG-GML-5339-46-78-DEM5A-20161001.xml");
  std::int64_t steps = 0;
  services.onProcessMessages = [&] {
    if (++steps == 400) {
      std::filesystem::permissions(folder.path(), std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::remove);
    }
  };

  EXPECT_EQ(RunGml5Conversion(services).outcome, CommandOutcome::kFailed);

  // The mosaic's sidecar is the first file its commit would create there.
  ASSERT_EQ(services.messages.size(), 1u);
  EXPECT_EQ(services.messages[0].rfind(DescribeFileAction(FileAction::kCreate) + "\n", 0), 0u)
      << services.messages[0];
  EXPECT_NE(services.messages[0].find("533946-DEM5.hd1"), std::string::npos);
  EXPECT_EQ(ReadBytes(folder / "533946-DEM5"), kEarlier);
}
#else
// Another program reads the output while the command runs. Windows refuses to replace a file
// that is held open: the command says so, and the file keeps its bytes.
TEST(HeldOpenOutput, IsReportedAndKeepsItsBytes) {
  TempFolder folder;
  ScriptedServices services;
  testing::WriteFloats(folder / "in.raw", {-9999.0f, 2.0f});
  WriteBytes(folder / "out.raw", kEarlier);
  services.openAnswers.push_back(folder / "in.raw");
  services.saveAnswers.push_back(folder / "out.raw");
  HANDLE reader = CreateFileW((folder / "out.raw").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);

  EXPECT_EQ(RunNoDataReplacement(services, "2", "1").outcome, CommandOutcome::kFailed);
  CloseHandle(reader);

  ASSERT_EQ(services.messages.size(), 1u);
  const std::string& message = services.messages[0];
  const std::string named =
      DescribeFileAction(FileAction::kRename) + "\n" + DisplayPath(folder / "out.raw") + "\n";
  EXPECT_EQ(message.rfind(named, 0), 0u) << message;
  EXPECT_GT(message.size(), named.size()) << "the system's reason follows";
  EXPECT_EQ(ReadBytes(folder / "out.raw"), kEarlier);
  EXPECT_FALSE(std::filesystem::exists(TemporaryPathFor(folder / "out.raw")));
}
#endif

}  // namespace
}  // namespace elevara
