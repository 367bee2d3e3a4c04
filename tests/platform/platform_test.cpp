#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/folder_search.h"
#include "platform/unicode.h"
#include "testkit/faulty_file_system.h"
#include "testkit/files.h"

namespace elevara {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

TEST(Wildcard, StarIsAnyRunQuestionMarkOneCharacterAndLettersMatchWithoutCase) {
  EXPECT_TRUE(MatchWildcard("FG-GML*dem10*.xml", "FG-GML-5339-45-DEM10B-20161001.xml"));
  EXPECT_TRUE(MatchWildcard("FG-GML*dem10*.xml", "fg-gml-6341-51-dem10b-20161001.XML"));
  EXPECT_FALSE(MatchWildcard("FG-GML*dem10*.xml", "FG-GML-5339-45-DEM5A-20161001.xml"));
  EXPECT_FALSE(MatchWildcard("FG-GML*dem10*.xml", "FG-GML-5339-45-DEM10B.xml.bak"));
  EXPECT_TRUE(MatchWildcard("??????-DEM5.raw", "533946-DEM5.raw"));
  EXPECT_TRUE(MatchWildcard("??????-DEM5.raw", "5339ab-dem5.RAW"));
  EXPECT_FALSE(MatchWildcard("??????-DEM5.raw", "53394-DEM5.raw"));
  EXPECT_FALSE(MatchWildcard("??????-DEM5.raw", "5339466-DEM5.raw"));
  // "?" is one character, however many bytes it takes.
  EXPECT_TRUE(MatchWildcard("??????-DEM5.raw", "5339標高-DEM5.raw"));
  EXPECT_TRUE(MatchWildcard("*", ""));
  EXPECT_FALSE(MatchWildcard("?", ""));
  EXPECT_TRUE(MatchWildcard("a*b*c", "aXXbYYbZc"));
  EXPECT_FALSE(MatchWildcard("a*b*c", "aXXbYYbZ"));
}

TEST(FolderSearch, ListsEveryKindOfEntrySortedWithoutCase) {
  TempFolder folder;
  for (const char* name : {"b.xml", "A.xml", ".hidden.xml", "c.XML", "d.txt"}) {
    WriteBytes(folder / name, "x");
  }
  std::filesystem::create_directory(folder / "dir.xml");
  auto names = SearchFolder(SystemFileSystem(), folder.path(), "*.xml");
  EXPECT_EQ(names, (std::vector<std::string>{".hidden.xml", "A.xml", "b.xml", "c.XML", "dir.xml"}));
}

TEST(FolderSearch, AMissingFolderIsAFileError) {
  TempFolder folder;
  EXPECT_THROW(SearchFolder(SystemFileSystem(), folder / "absent", "*"), FileError);
}

TEST(AtomicOutputFile, AppearsOnlyOnCommit) {
  TempFolder folder;
  auto target = folder / "out.raw";
  WriteBytes(target, "old");
  {
    auto file = AtomicOutputFile::Create(SystemFileSystem(), target);
    file.write("new data");
    EXPECT_EQ(ReadBytes(target), "old");
  }  // dropped without commit
  EXPECT_EQ(ReadBytes(target), "old");
  EXPECT_EQ(testing::TemporaryFilesIn(folder.path()).size(), 0u);
  auto file = AtomicOutputFile::Create(SystemFileSystem(), target);
  file.write("new data");
  file.commit();
  EXPECT_EQ(ReadBytes(target), "new data");
  EXPECT_EQ(testing::TemporaryFilesIn(folder.path()).size(), 0u);
}

TEST(AtomicOutputFile, AFailedWriteOrRenameKeepsTheEarlierFile) {
  TempFolder folder;
  auto target = folder / "out.raw";
  WriteBytes(target, "old");
  testing::FaultyFileSystem fs;
  fs.failWritesAfter = 10;
  try {
    auto file = AtomicOutputFile::Create(fs, target);
    file.write(std::string(3 << 20, 'x'));
    file.commit();
    ADD_FAILURE();
  } catch (const FileError& error) {
    // The user is told about the file they asked for, not the temporary one.
    EXPECT_EQ(error.path(), target);
  }
  fs.failWritesAfter.reset();
  fs.failRenameContaining = "out.raw";
  EXPECT_THROW(
      {
        auto file = AtomicOutputFile::Create(fs, target);
        file.write("abc");
        file.commit();
      },
      FileError);
  EXPECT_EQ(ReadBytes(target), "old");
  EXPECT_EQ(testing::TemporaryFilesIn(folder.path()).size(), 0u);
  EXPECT_EQ(fs.openFiles, 0);
}

TEST(RemoveFile, RemovesAFileOrALinkButNeverAFolder) {
#if defined(_WIN32)
  GTEST_SKIP() << "symbolic links need a privilege on Windows";
#endif
  TempFolder folder;
  std::filesystem::create_directory(folder / "dtm.txt");
  try {
    RemoveFile(SystemFileSystem(), folder / "dtm.txt");
    ADD_FAILURE() << "a folder was removed";
  } catch (const FileError& error) {
    EXPECT_EQ(error.reason(), std::errc::is_a_directory);
  }
  EXPECT_TRUE(std::filesystem::is_directory(folder / "dtm.txt"));
  std::filesystem::create_symlink("dtm.txt", folder / "link");
  RemoveFile(SystemFileSystem(), folder / "link");
  RemoveFile(SystemFileSystem(), folder / "absent");
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(folder / "link")));
}

TEST(LineReader, SplitsOnLineFeedsDroppingCarriageReturns) {
  TempFolder folder;
  std::string longLine(600000, 'n');
  WriteBytes(folder / "list.txt", "a b.xml\r\n\r\nlast\n" + longLine + "\r\nno-newline");
  LineReader reader(InputFile::Open(SystemFileSystem(), folder / "list.txt"));
  std::vector<std::string> lines;
  std::string_view line;
  while (reader.next(line)) lines.emplace_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"a b.xml", "", "last", longLine, "no-newline"}));
}

TEST(FileError, NamesTheFileAndTheReason) {
  TempFolder folder;
  try {
    InputFile::Open(SystemFileSystem(), folder / "missing.raw");
    FAIL();
  } catch (const FileError& error) {
    std::string text = error.what();
    EXPECT_EQ(text.rfind("ファイルを開けません\n", 0), 0u) << text;
    EXPECT_NE(text.find("missing.raw"), std::string::npos);
    EXPECT_EQ(text.substr(text.rfind('\n') + 1), "ファイルまたはフォルダがありません");
  }
}

// The common reasons read in Japanese, whichever category they come in; the rest keep the
// system's own words rather than a vague catch-all.
TEST(FileError, ReasonIsJapaneseForCommonSystemErrors) {
  const std::pair<int, const char*> known[] = {
      {ENOENT, "ファイルまたはフォルダがありません"},
      {EACCES, "アクセスが拒否されました"},
      {ENOSPC, "ディスクの空き容量が足りません"},
      {EROFS, "読み取り専用のファイルシステムです"},
      {EISDIR, "ファイルではなくフォルダです"},
      {ENOTDIR, "フォルダではありません"},
      {ENAMETOOLONG, "名前が長すぎます"},
      {EMFILE, "開いているファイルが多すぎます"},
      {EIO, "入出力エラーが発生しました"},
      {ESPIPE, "位置を指定して読み書きできないファイルです"},
  };
  for (auto [code, text] : known) {
    EXPECT_EQ(DescribeReason({code, std::generic_category()}), text) << code;
#if !defined(_WIN32)  // Windows' system category holds Windows codes, not errno values
    EXPECT_EQ(DescribeReason({code, std::system_category()}), text) << code;
#endif
  }
#ifdef EDQUOT
  EXPECT_EQ(DescribeReason({EDQUOT, std::generic_category()}),
            "ディスクの使用量の上限を超えました");
#endif
  const std::error_code other(EXDEV, std::generic_category());
  EXPECT_EQ(DescribeReason(other), other.message());
  const FileError error(FileAction::kWrite, "/data/out.raw", {ENOSPC, std::generic_category()});
  EXPECT_EQ(error.what(), "ファイルに書き込めません\n" + DisplayPath("/data/out.raw") +
                              "\nディスクの空き容量が足りません");
}

TEST(Unicode, NamesSurviveTheRoundTripAndBrokenBytesBecomeReplacements) {
  const std::u16string names[] = {u"標高データ",
                                  u"FG-GML-5339.xml",
                                  u"\U0001F5FE",
                                  {u'a', char16_t{0xD800}, u'b'},
                                  {char16_t{0xDC00}}};
  for (const std::u16string& name : names) EXPECT_EQ(Utf16FromUtf8(Utf8FromUtf16(name)), name);
  EXPECT_EQ(Utf8FromUtf16(u"標高\U0001F5FE"), "標高\U0001F5FE");
  EXPECT_EQ(Utf16FromUtf8("a\xFF"
                          "b"),
            u"a\uFFFDb");
  EXPECT_EQ(Utf16FromUtf8("\xE6\xA8"), u"\uFFFD\uFFFD");                      // cut short
  EXPECT_EQ(Utf16FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");                      // overlong
  EXPECT_EQ(Utf16FromUtf8("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // past U+10FFFF
}

#if defined(_WIN32)
// What only the Windows seam has to get right: names past the 260-character limit, entries the
// shell hides, and a folder where a file is expected.
TEST(WindowsFileSystem, LongPathsHiddenEntriesAndFolders) {
  TempFolder folder;
  FileSystem& fs = SystemFileSystem();
  std::filesystem::path deep = folder.path();
  for (char letter : std::string("abcdef")) {
    deep /= PathFromUtf8(std::string(60, letter) + "標高");
    ASSERT_TRUE(CreateDirectoryW((LR"(\\?\)" + deep.native()).c_str(), nullptr));
  }
  ASSERT_GT(deep.native().size(), 300u);
  AtomicOutputFile out = AtomicOutputFile::Create(fs, deep / "tile.raw");
  out.writeLine("1 width");
  out.commit();
  std::string read(9, '\0');
  EXPECT_EQ(InputFile::Open(fs, deep / "tile.raw").read(read.data(), read.size()), 9u);
  EXPECT_EQ(read, "1 width\r\n");
  EXPECT_EQ(SearchFolder(fs, deep, "*.raw"), std::vector<std::string>{"tile.raw"});

  WriteBytes(folder / "hidden.xml", "x");
  SetFileAttributesW((folder / "hidden.xml").c_str(),
                     FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  EXPECT_EQ(SearchFolder(fs, folder.path(), "*.xml"), std::vector<std::string>{"hidden.xml"});

  try {
    InputFile::Open(fs, deep.parent_path());
    ADD_FAILURE() << "a folder opened as a file";
  } catch (const FileError& error) {
    EXPECT_EQ(error.reason(), std::errc::is_a_directory);
  }
}
#endif

}  // namespace
}  // namespace elevara
