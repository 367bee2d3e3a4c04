// Replacing an output keeps what the user set up: the earlier file's permission bits, a
// symbolic link, a FIFO, a file in a folder that takes no new file. Temporary files never meet
// another run's and never pass for an input; final outputs are on the disk before their names.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <string>
#include <vector>

#include "commands/gml_command.h"
#include "commands/merge_command.h"
#include "commands/nodata_command.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/folder_search.h"
#include "testkit/faulty_file_system.h"
#include "testkit/files.h"
#include "testkit/scripted_services.h"

namespace elevara {
namespace {

namespace fs = std::filesystem;
using testing::FaultyFileSystem;
using testing::ReadBytes;
using testing::TempFolder;
using testing::TemporaryFilesIn;
using testing::WriteBytes;
using Renamed = FaultyFileSystem::Renamed;

void Replace(FileSystem& files, const fs::path& target, const std::string& bytes,
             Durability durability = Durability::kFinalOutput) {
  auto file = AtomicOutputFile::Create(files, target, durability);
  file.write(bytes);
  file.commit();
}

FileError ErrorOfReplacing(FileSystem& files, const fs::path& target) {
  try {
    Replace(files, target, "x");
  } catch (const FileError& error) {
    return error;
  }
  ADD_FAILURE() << target << " was replaced";
  return FileError(FileAction::kCreate, target, {});
}

TEST(ReplacingAnOutput, TwoRunsAtOnceNeverShareATemporaryFile) {
  TempFolder folder;
  const fs::path target = folder / "5339-DEM5";
  auto first = AtomicOutputFile::Create(SystemFileSystem(), target);
  auto second = AtomicOutputFile::Create(SystemFileSystem(), target);
  first.write("first");
  second.write("second");
  EXPECT_EQ(TemporaryFilesIn(folder.path(), "5339-DEM5").size(), 2u);
  first.commit();
  EXPECT_EQ(ReadBytes(target), "first");
  second.commit();
  EXPECT_EQ(ReadBytes(target), "second");
  EXPECT_EQ(TemporaryFilesIn(folder.path()).size(), 0u);
}

// Every name drawn for a temporary file is already taken by what a killed run left there.
class LeftoversUnderEveryName : public FileSystem {
 public:
  std::unique_ptr<RawFile> createNew(const fs::path& path, fs::perms permissions,
                                     std::error_code& error) override {
    if (leftovers.size() < 2) {
      WriteBytes(path, "leftover");
      leftovers.push_back(path);
    }
    return FileSystem::createNew(path, permissions, error);
  }
  std::vector<fs::path> leftovers;
};

TEST(ReplacingAnOutput, ALeftoverTemporaryFileIsNeitherWrittenNorTakenForTheOutput) {
  TempFolder folder;
  LeftoversUnderEveryName files;
  Replace(files, folder / "out.raw", "new");
  EXPECT_EQ(ReadBytes(folder / "out.raw"), "new");
  ASSERT_EQ(files.leftovers.size(), 2u);
  for (const fs::path& leftover : files.leftovers) EXPECT_EQ(ReadBytes(leftover), "leftover");
}

TEST(ReplacingAnOutput, TemporaryFilesMatchNoSearchOfTheBatchCommands) {
  TempFolder folder;
  // A name of 250 bytes leaves no room for the temporary file's additions.
  const std::string targets[] = {"FG-GML-5339-45-dem10b-20161001.xml",
                                 "FG-GML-5339-46-78-DEM5A-20161001.xml", "533946-DEM5.raw",
                                 "533946-DEM5", std::string(246, 'a') + ".raw"};
  for (const std::string& target : targets) WriteBytes(TemporaryPathFor(folder / target), "part");
  EXPECT_EQ(SearchFolder(SystemFileSystem(), folder.path(), kGml10Conversion.pattern).size(), 0u);
  EXPECT_EQ(SearchFolder(SystemFileSystem(), folder.path(), kGml5Conversion.pattern).size(), 0u);
  EXPECT_EQ(SearchFolder(SystemFileSystem(), folder.path(), kDem5DiscoveryPatterns).size(), 0u);
  EXPECT_EQ(TemporaryFilesIn(folder.path()).size(), std::size(targets));
}

#if !defined(_WIN32)
// Permission bits, symbolic links and FIFOs as POSIX systems have them.
TEST(ReplacingAnOutput, KeepsThePermissionBitsOfTheEarlierFile) {
  TempFolder folder;
  const fs::path target = folder / "out.raw";
  for (fs::perms mode : {fs::perms(0600), fs::perms(0664), fs::perms(0751)}) {
    WriteBytes(target, "old");
    fs::permissions(target, mode);
    Replace(SystemFileSystem(), target, "new");
    EXPECT_EQ(fs::status(target).permissions(), mode);
    EXPECT_EQ(ReadBytes(target), "new");
  }
}

TEST(ReplacingAnOutput, ReplacesTheFileALinkPointsToAndKeepsTheLink) {
  TempFolder folder;
  const fs::path real = folder / "real";
  fs::create_directory(real);
  WriteBytes(real / "out.raw", "old");
  fs::create_symlink("real/out.raw", folder / "link.raw");  // relative, into another folder
  fs::create_symlink("link.raw", folder / "chain.raw");
  fs::create_symlink(real / "new.raw", folder / "dangling.raw");
  fs::create_symlink("loop.raw", folder / "loop.raw");

  Replace(SystemFileSystem(), folder / "link.raw", "through the link");
  EXPECT_EQ(ReadBytes(real / "out.raw"), "through the link");
  Replace(SystemFileSystem(), folder / "chain.raw", "through two links");
  EXPECT_EQ(ReadBytes(real / "out.raw"), "through two links");
  Replace(SystemFileSystem(), folder / "dangling.raw", "created");
  EXPECT_EQ(ReadBytes(real / "new.raw"), "created");
  for (const char* link : {"link.raw", "chain.raw", "dangling.raw"}) {
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder / link))) << link;
  }
  const FileError loop = ErrorOfReplacing(SystemFileSystem(), folder / "loop.raw");
  EXPECT_EQ(loop.reason(), std::errc::too_many_symbolic_link_levels);
  EXPECT_EQ(TemporaryFilesIn(folder.path()).size() + TemporaryFilesIn(real).size(), 0u);
}

TEST(ReplacingAnOutput, WritesAFifoWithAReaderInPlaceAndRefusesAFolder) {
  TempFolder folder;
  const fs::path fifo = folder / "out.raw";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  Replace(SystemFileSystem(), fifo, "through the pipe");
  std::string got(64, '\0');
  got.resize(static_cast<std::size_t>(std::max<ssize_t>(0, ::read(reader, got.data(), 64))));
  ::close(reader);
  EXPECT_EQ(got, "through the pipe");
  EXPECT_TRUE(fs::is_fifo(fifo));
  // Nobody reads it now: an error, not a wait.
  EXPECT_EQ(ErrorOfReplacing(SystemFileSystem(), fifo).reason(),
            std::errc::no_such_device_or_address);

  fs::create_directory(folder / "mosaic");
  const FileError error = ErrorOfReplacing(SystemFileSystem(), folder / "mosaic");
  EXPECT_EQ(error.action(), FileAction::kCreate);
  EXPECT_EQ(error.reason(), std::errc::is_a_directory);
  EXPECT_TRUE(fs::is_directory(folder / "mosaic"));
  EXPECT_EQ(TemporaryFilesIn(folder.path()).size(), 0u);
}

#endif

TEST(ReplacingAnOutput, WritesAnExistingFileInPlaceWhereTheFolderTakesNoNewFile) {
  TempFolder folder;
  FaultyFileSystem files;
  files.readOnly = true;
  const fs::path target = folder / "out.raw.hd1";
  WriteBytes(target, "an earlier, longer sidecar");
  {
    auto file = AtomicOutputFile::Create(files, target);
    file.write("new");
  }  // dropped before its bytes reached the file
  EXPECT_EQ(ReadBytes(target), "an earlier, longer sidecar");
  Replace(files, target, "new");
  EXPECT_EQ(ReadBytes(target), "new");
  EXPECT_EQ(files.synced, std::vector<fs::path>{target});

  const FileError error = ErrorOfReplacing(files, folder / "absent");
  EXPECT_EQ(error.action(), FileAction::kCreate);
  EXPECT_EQ(error.path(), folder / "absent");
  EXPECT_EQ(error.reason(), std::errc::permission_denied);
  EXPECT_EQ(files.openFiles, 0);
}

// Of a GML5 run, the mosaic, its sidecar, its ENVI header and the layer are synced before their
// renames; the name list, the tile raster and the value file are not synced at all. The no-data
// copy and its sidecar are synced too.
TEST(ReplacingAnOutput, TheCommandsSyncTheirFinalOutputsAlone) {
  TempFolder folder;
  FaultyFileSystem files;
  testing::ScriptedServices services;
  services.files = &files;
  WriteBytes(folder / "FG-GML-5339-46-78-DEM5A-20161001.xml",
             "<gml:tupleList>\r\n地表面,12.50\r\n</gml:tupleList>\r\n"
             "<gml:startPoint>0 0</gml:startPoint>\r\n");
  services.openAnswers.push_back(folder / "FG-GML-5339-46-78-DEM5A-20161001.xml");
  ASSERT_EQ(RunGml5Conversion(services).outcome, CommandOutcome::kFinished);
  EXPECT_EQ(files.renamed, (std::vector<Renamed>{{"gml_name.txt", false},
                                                 {"53394678-DEM5", false},
                                                 {"533946-DEM5", true},
                                                 {"533946-DEM5.hd1", true},
                                                 {"533946-DEM5.hdr", true},
                                                 {"ELEVARA-5m.vrt", true}}));
  EXPECT_EQ(files.synced.size(), 4u);

  files.renamed.clear();
  WriteBytes(folder / "in.raw", std::string(8, '\0'));
  services.openAnswers.push_back(folder / "in.raw");
  services.saveAnswers.push_back(folder / "out.raw");
  ASSERT_EQ(RunNoDataReplacement(services, "2", "1").outcome, CommandOutcome::kFinished);
  EXPECT_EQ(files.renamed, (std::vector<Renamed>{{"out.raw", true}, {"out.raw.hd1", true}}));
}

}  // namespace
}  // namespace elevara
