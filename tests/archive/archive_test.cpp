// The ZIP archive reading: listing members through archives inside archives, reading them back
// by location byte for byte, and the bounds and faults that keep a hostile archive harmless.
#include <gtest/gtest.h>

#if defined(__linux__)
#include <sys/stat.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "archive/archive_tree.h"
#include "archive/member_names.h"
#include "archive/read_ahead.h"
#include "archive/zip_archive.h"
#include "platform/errors.h"
#include "platform/unicode.h"
#include "testkit/faulty_file_system.h"
#include "testkit/files.h"
#include "testkit/zip_files.h"

namespace elevara {
namespace {

using testing::FaultyFileSystem;
using testing::PatchFirstMember;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;
using testing::WriteZip;
using testing::ZipBytes;
using testing::ZipField;
using testing::ZipMember;

const std::filesystem::path kSamples = ELEVARA_SAMPLES;
const std::filesystem::path kTestData = ELEVARA_TEST_DATA;

struct Read {
  std::string bytes;
  std::error_code error;
};

Read ReadWhole(RawFile& stream) {
  Read result;
  std::vector<char> block(1000);  // smaller than the members, so reads go on across blocks
  for (;;) {
    const std::size_t got = stream.read(block.data(), block.size(), result.error);
    result.bytes.append(block.data(), got);
    if (result.error || got == 0) return result;
  }
}

std::size_t FilesIn(const std::filesystem::path& folder) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

#if defined(__linux__)
// The permission bits of the files of `folder` this process holds open, named or not, as /proc
// tells them of every descriptor.
std::vector<unsigned> ModesOfOpenFilesIn(const std::filesystem::path& folder) {
  std::vector<unsigned> modes;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
    if (error || !target.starts_with(folder.string() + "/")) continue;
    struct stat info {};
    if (::stat(entry.path().c_str(), &info) == 0) modes.push_back(info.st_mode & 0777);
  }
  return modes;
}
#endif

// The scratch files held open in `folder`: unnamed on Linux, so counted by descriptor there.
std::size_t ScratchFilesHeldIn(const std::filesystem::path& folder) {
#if defined(__linux__)
  return ModesOfOpenFilesIn(folder).size();
#else
  return FilesIn(folder);
#endif
}

struct Archives : ::testing::Test {
  TempFolder folder;
  TempFolder scratch;
  ArchiveLimits limits{.scratchFolder = scratch.path()};
  FaultyFileSystem files;

  ArchiveListing list(const std::string& archive, const std::string& pattern = "*.xml") {
    return ListArchiveMembers(files, folder.path(), archive, pattern, limits);
  }
  Read read(const std::string& location) {
    ArchiveMemberReader reader(files, folder.path(), limits);
    Read result;
    auto stream = reader.open(location, result.error);
    return stream != nullptr ? ReadWhole(*stream) : result;
  }
};

TEST_F(Archives, RealDownloadsGiveTheirTilesInArchiveOrderByteForByte) {
  for (const char* download : {"FG-GML-3624-30-DEM5B.zip", "FG-GML-3926-76-DEM10B.zip"}) {
    std::filesystem::copy_file(kSamples / download, folder / download);
  }
  const ArchiveListing dem5 = list("FG-GML-3624-30-DEM5B.zip", "FG-GML*dem5*.xml");
  const std::vector<std::string> tiles = {"76", "77", "86", "87", "88", "96", "97", "98"};
  ASSERT_EQ(dem5.members.size(), tiles.size());
  EXPECT_TRUE(dem5.unreadable.empty());
  ArchiveMemberReader reader(files, folder.path(), limits);
  for (std::size_t i = 0; i < tiles.size(); ++i) {
    const std::string name = "FG-GML-3624-30-" + tiles[i] + "-DEM5B-20170202.xml";
    EXPECT_EQ(dem5.members[i], "FG-GML-3624-30-DEM5B.zip/" + name);
    std::error_code error;
    auto stream = reader.open(dem5.members[i], error);
    ASSERT_NE(stream, nullptr) << error.message();
    EXPECT_EQ(ReadWhole(*stream).bytes, ReadBytes(kSamples / name)) << name;
  }
  const ArchiveListing dem10 = list("FG-GML-3926-76-DEM10B.zip", "FG-GML*dem10*.xml");
  ASSERT_EQ(dem10.members.size(), 1u);
  EXPECT_EQ(read(dem10.members[0]).bytes,
            ReadBytes(kSamples / "FG-GML-3926-76-DEM10B-20161001.xml"));
  EXPECT_EQ(FilesIn(folder.path()), 2u);  // nothing unpacked beside the archives
}

// The scratch copies of in3 and in4 have no name from the start (on Windows, the system deletes
// them when they are closed), so nothing is left of them after a kill, and nobody but the user
// may read them.
TEST_F(Archives, ArchivesInsideAreReadDownToTheDepthLimitAndLeaveNoScratchFile) {
  // in2 is stored, so it is read in place; in3 and in4 are deflated and need a scratch copy.
  const std::string in5 = ZipBytes({{"e.xml", "five"}});
  const std::string in4 = ZipBytes({{"d.xml", "four"}, {"in5.zip", in5}});
  const std::string in3 = ZipBytes({{"c.xml", "three"}, {"sub/in4.zip", in4}});
  const std::string in2 = ZipBytes({{"b.xml", "two"}, {"in3.zip", in3}});
  WriteZip(folder / "outer.ZIP", {{"a.xml", "one"}, {"in2.zip", in2, true}});

  const ArchiveListing listing = list("outer.ZIP");
  EXPECT_EQ(listing.members,
            (std::vector<std::string>{"outer.ZIP/a.xml", "outer.ZIP/in2.zip/b.xml",
                                      "outer.ZIP/in2.zip/in3.zip/c.xml",
                                      "outer.ZIP/in2.zip/in3.zip/sub/in4.zip/d.xml"}));
  ASSERT_EQ(listing.unreadable.size(), 1u);
  EXPECT_EQ(listing.unreadable[0].location, "outer.ZIP/in2.zip/in3.zip/sub/in4.zip/in5.zip");
  EXPECT_EQ(listing.unreadable[0].reason, ArchiveFault::kTooDeep);
  EXPECT_EQ(FilesIn(scratch.path()), 0u);

  std::unique_ptr<RawFile> deepest;
  {
    ArchiveMemberReader reader(files, folder.path(), limits);
    std::error_code error;
    deepest = reader.open(listing.members[3], error);
    ASSERT_NE(deepest, nullptr) << error.message();
#if defined(_WIN32)
    EXPECT_EQ(FilesIn(scratch.path()), 2u);  // named while open; the system deletes them on close
#else
    EXPECT_EQ(FilesIn(scratch.path()), 0u);
#endif
#if defined(__linux__)
    EXPECT_EQ(ModesOfOpenFilesIn(scratch.path()), (std::vector<unsigned>{0600, 0600}));
#endif
    auto outer = reader.open(listing.members[0], error);  // another chain under a live stream
    ASSERT_NE(outer, nullptr);
    EXPECT_EQ(ReadWhole(*outer).bytes, "one");
  }
  EXPECT_EQ(ReadWhole(*deepest).bytes, "four");
  deepest.reset();
  EXPECT_EQ(FilesIn(scratch.path()), 0u);
}

// Readers side by side (one per worker) share the copy of a compressed archive inside an
// archive: it is inflated once, and goes with the last reader that holds it.
TEST_F(Archives, ReadersSideBySideInflateAnArchiveInsideOnce) {
  WriteZip(folder / "outer.zip", {{"in.zip", ZipBytes({{"a.xml", "one"}, {"b.xml", "two"}})}});
  const auto inflated = std::make_shared<InflatedArchives>();
  auto first = std::make_unique<ArchiveMemberReader>(files, folder.path(), limits,
                                                     MemberReading{false, inflated});
  auto second = std::make_unique<ArchiveMemberReader>(files, folder.path(), limits,
                                                      MemberReading{false, inflated});
  std::error_code error;
  auto a = first->open("outer.zip/in.zip/a.xml", error);
  auto b = second->open("outer.zip/in.zip/b.xml", error);
  ASSERT_TRUE(a != nullptr && b != nullptr) << error.message();
  EXPECT_EQ(ScratchFilesHeldIn(scratch.path()), 1u);
  EXPECT_EQ(ReadWhole(*a).bytes + ReadWhole(*b).bytes, "onetwo");
  a.reset();
  first.reset();
  EXPECT_EQ(ScratchFilesHeldIn(scratch.path()), 1u);  // the second reader holds it still
  EXPECT_EQ(ReadWhole(*second->open("outer.zip/in.zip/a.xml", error)).bytes, "one");
  b.reset();
  second.reset();
  EXPECT_EQ(ScratchFilesHeldIn(scratch.path()), 0u);
}

TEST_F(Archives, MembersNeverGiveMoreThanTheyDeclareNorMoreThanTheBound) {
  const std::string text(5000, 'v');
  struct Case {
    const char* name;
    ZipField field;
    std::uint32_t value;
    ArchiveFault fault;
  };
  const Case cases[] = {
      {"inflates past its declared size", ZipField::kSize, 1000, ArchiveFault::kDamaged},
      {"ends before its declared size", ZipField::kSize, 6000, ArchiveFault::kDamaged},
      {"checksum does not match", ZipField::kCrc, 12345, ArchiveFault::kDamaged},
      {"unknown compression method", ZipField::kMethod, 97, ArchiveFault::kUnsupported},
  };
  for (const Case& c : cases) {
    std::string archive = ZipBytes({{"m.xml", text}});
    PatchFirstMember(archive, c.field, c.value);
    WriteBytes(folder / "a.zip", archive);
    const Read got = read("a.zip/m.xml");
    EXPECT_EQ(got.error, c.fault) << c.name << ": " << got.error.message();
    EXPECT_LE(got.bytes.size(), text.size()) << c.name;
  }

  WriteZip(folder / "a.zip", {{"secret.xml", text, false, "password"}});
  EXPECT_EQ(read("a.zip/secret.xml").error, ArchiveFault::kEncrypted);

  limits.maxMemberBytes = 4999;
  const std::string bomb = ZipBytes({{"bomb.xml", text, true}});
  WriteZip(folder / "a.zip", {{"bomb.xml", text}, {"inner.zip", bomb}});
  EXPECT_EQ(read("a.zip/bomb.xml").error, ArchiveFault::kTooLarge);
  const ArchiveListing listing = list("a.zip");
  ASSERT_EQ(listing.unreadable.size(), 1u);  // bigger than the bound itself, so never inflated
  EXPECT_EQ(listing.unreadable[0].reason, ArchiveFault::kTooLarge);
  EXPECT_EQ(FilesIn(scratch.path()), 0u);
}

TEST_F(Archives, ArchivesThatCannotBeOpenedAreNamedWithTheirReason) {
  const std::string good = ZipBytes({{"m.xml", "value"}});
  WriteBytes(folder / "text.zip", "not an archive");
  WriteBytes(folder / "cut.zip", good.substr(0, good.size() / 2));
  WriteBytes(folder / "empty.zip", "");
  std::filesystem::create_directory(folder / "folder.zip");
  WriteBytes(folder / "locked.zip", good);
  files.failOpenContaining = "locked";
  const std::pair<const char*, std::error_code> cases[] = {
      {"text.zip", ArchiveFault::kDamaged},
      {"cut.zip", ArchiveFault::kDamaged},
      {"empty.zip", ArchiveFault::kDamaged},
      {"folder.zip", std::make_error_code(std::errc::is_a_directory)},
      {"locked.zip", std::make_error_code(std::errc::permission_denied)},
  };
  for (const auto& [name, reason] : cases) {
    const ArchiveListing listing = list(name);
    EXPECT_TRUE(listing.members.empty()) << name;
    ASSERT_EQ(listing.unreadable.size(), 1u) << name;
    EXPECT_EQ(listing.unreadable[0].location, name);
    EXPECT_EQ(listing.unreadable[0].reason, reason) << name << ": " << listing.unreadable[0].reason;
  }
  // An archive inside is inflated in the temporary folder, whose failure is told as its own.
  WriteZip(folder / "nested.zip", {{"in.zip", good}});
  limits.scratchFolder = folder / "absent";
  const ArchiveListing nested = list("nested.zip");
  ASSERT_EQ(nested.unreadable.size(), 1u);
  EXPECT_EQ(DescribeReason(nested.unreadable[0].reason),
            "一時フォルダ：ファイルまたはフォルダがありません");
}

TEST_F(Archives, NamesAreReadInTheEncodingTheirMakerUsed) {
  WriteZip(folder / "names.zip", {{"標高/utf8.xml", "u"},              // with the UTF-8 flag
                                  {"\x95\x57\x8d\x82/sjis.xml", "s"},  // Shift-JIS, no flag
                                  {"\x80\xff.xml", "c"},               // neither: code page 437
                                  {"dir/", ""},
                                  {"dir/no-match.txt", "x"}});
  std::filesystem::copy_file(kTestData / "zip64.zip", folder / "zip64.zip");
  const ArchiveListing listing = list("names.zip");
  const std::vector<std::string> want = {"names.zip/標高/utf8.xml", "names.zip/標高/sjis.xml",
                                         "names.zip/Ç\u00A0.xml"};
  ASSERT_EQ(listing.members, want);
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(read(want[i]).bytes, std::string(1, "usc"[i])) << want[i];
  }
  const ArchiveListing zip64 = list("zip64.zip");
  ASSERT_EQ(zip64.members.size(), 1u);
  std::string lines;
  for (int i = 0; i < 100; ++i) lines += "ZIP64 member\r\n";
  EXPECT_EQ(read(zip64.members[0]).bytes, lines);
}

TEST_F(Archives, ALocationMeansTheEntryTheListingMetFirst) {
  const std::string inner = ZipBytes({{"x.xml", "inside"}});
  WriteZip(folder / "plain-first.zip", {{"a.zip/x.xml", "plain"}, {"a.zip", inner}});
  WriteZip(folder / "nested-first.zip", {{"a.zip", inner}, {"a.zip/x.xml", "plain"}});
  EXPECT_EQ(read("plain-first.zip/a.zip/x.xml").bytes, "plain");
  EXPECT_EQ(read("nested-first.zip/a.zip/x.xml").bytes, "inside");
  EXPECT_EQ(read("plain-first.zip/y.xml").error, ArchiveFault::kNoSuchMember);
  EXPECT_EQ(read("absent.zip/x.xml").error, std::errc::no_such_file_or_directory);

  ArchiveMemberReader reader(files, folder.path(), limits);
  std::error_code error;
  auto stream = reader.open("nested-first.zip/a.zip/x.xml", error);
  ASSERT_NE(stream, nullptr);
  char byte;
  stream->readAt(0, &byte, 1, error);  // deflated: no positions
  EXPECT_EQ(error, std::errc::operation_not_supported);
}

// Bytes 0, 1, 2 ... 250, 0, 1 ..., failing with EIO after `failAfter` of them, or never ending.
class PatternSource final : public RawFile {
 public:
  PatternSource(std::size_t size, std::size_t failAfter, std::atomic<int>& reads)
      : size_(size), failAfter_(failAfter), reads_(reads) {}
  std::size_t read(void* buffer, std::size_t size, std::error_code& error) override {
    ++reads_;
    const std::size_t got = std::min({size, size_ - position_, failAfter_ - position_});
    for (std::size_t i = 0; i < got; ++i) {
      static_cast<char*>(buffer)[i] = static_cast<char>((position_ + i) % 251);
    }
    position_ += got;
    if (got < size && position_ == failAfter_ && failAfter_ < size_)
      error = std::make_error_code(std::errc::io_error);
    return got;
  }
  std::size_t readAt(std::uint64_t, void*, std::size_t, std::error_code&) override { return 0; }
  std::size_t write(const void*, std::size_t, std::error_code&) override { return 0; }
  void close(std::error_code&) override {}

 private:
  std::size_t size_;
  std::size_t failAfter_;
  std::size_t position_ = 0;
  std::atomic<int>& reads_;
};

TEST(ReadAheadStream, GivesTheSourceInOrderThenItsFailure) {
  constexpr std::size_t kSize = 5 * ReadAheadStream::kBlockSize / 2;  // blocks and a half
  for (const std::size_t failAfter : {kSize, kSize - 12345}) {
    std::atomic<int> reads = 0;
    ReadAheadStream stream(std::make_unique<PatternSource>(kSize, failAfter, reads),
                           std::make_shared<std::mutex>());
    std::string got;
    std::error_code error;
    for (std::size_t ask = 1; !error; ask = ask * 3 + 1) {
      std::string part(ask, '\0');
      const std::size_t n = stream.read(part.data(), ask, error);
      got.append(part.data(), n);
      if (n < ask) break;
    }
    ASSERT_EQ(got.size(), failAfter);
    for (std::size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(static_cast<unsigned char>(got[i]), i % 251) << "byte " << i;
    }
    EXPECT_EQ(error,
              failAfter < kSize ? std::make_error_code(std::errc::io_error) : std::error_code());
  }
}

TEST(ReadAheadStream, ReadsOnlyUnderTheLockAndStopsBeforeTheEnd) {
  std::atomic<int> reads = 0;
  auto lock = std::make_shared<std::mutex>();
  const std::size_t endless = std::numeric_limits<std::size_t>::max();
  {
    std::unique_lock held(*lock);
    ReadAheadStream stream(std::make_unique<PatternSource>(endless, endless, reads), lock);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(reads, 0);
    held.unlock();
    char byte;
    std::error_code error;
    EXPECT_EQ(stream.read(&byte, 1, error), 1u);
  }  // an endless source: leaving must not wait for its end
  EXPECT_LE(reads, int{ReadAheadStream::kBlocks} + 1);
}

TEST(MemberNames, Utf8IsCheckedStrictlyAndLegacyCodePagesAreDecoded) {
  EXPECT_TRUE(IsUtf8("FG-GML 標高 \xF0\x9F\x97\xBE"));
  for (const char* broken : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE6\xA8", "\x80"}) {
    EXPECT_FALSE(IsUtf8(broken)) << broken;
  }
  // Code page 932 at the edges of its rows, so a table shifted by a row or a column shows.
  const std::pair<const char*, const char*> cp932[] = {
      {"\x81\x40", "\u3000"}, {"\x88\x9f", "亜"}, {"\x9f\xfc", "滌"}, {"\xe0\x40", "漾"},
      {"\xea\xa4", "熙"},     {"\x87\x40", "①"},  {"\xfa\x40", "ⅰ"},  {"\xfc\x4b", "黑"},
      {"\xb1\xdf", "ｱﾟ"},     {"\x5c", "\\"}};
  for (const auto& [raw, text] : cp932) EXPECT_EQ(DecodeMemberName(raw), text) << text;
  // A code that code page 932 leaves unassigned makes the name code page 437.
  EXPECT_EQ(DecodeMemberName("\x85\x40"), "à@");
}

}  // namespace
}  // namespace elevara
