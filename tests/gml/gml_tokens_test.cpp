#include <gtest/gtest.h>

#include <random>

#include "gml/gml_tokens.h"
#include "platform/errors.h"
#include "testkit/files.h"
#include "testkit/plain_gml.h"

namespace elevara {
namespace {

using testing::TempFolder;

std::vector<std::string> StreamTokens(const std::string& text) {
  const std::vector<std::string_view> tokens = testing::SplitTokens(text);
  return {tokens.begin(), tokens.end()};
}

GmlTokenReader Reader(const std::filesystem::path& path, std::size_t bufferSize) {
  return GmlTokenReader(InputFile::Open(SystemFileSystem(), path), bufferSize);
}

std::vector<std::string> ReaderTokens(GmlTokenReader& reader) {
  std::vector<std::string> tokens;
  std::string_view token;
  while (reader.next(token)) tokens.emplace_back(token);
  return tokens;
}

// Text made to hit every edge of the blocks and index windows: runs of each kind of white space,
// tokens from one byte to beyond the index window, near misses of the tags.
std::string RandomText(std::mt19937& random, std::size_t size) {
  const std::string pieces[] = {" ",
                                "\t",
                                "\r\n",
                                "\n",
                                "\v",
                                "\f",
                                "\r",
                                "a",
                                "地表面,1.5",
                                "<gml:startPoint>",
                                "<gml:tupleList>",
                                "startP",
                                "tupleL",
                                "xx<gml:startPoint>",
                                "<gml:startP",
                                ","};
  std::string text;
  while (text.size() < size) {
    if (random() % 200 == 0) {
      text += std::string(4000 + random() % 5000, 'z');  // a token past the index window
    } else {
      text += pieces[random() % std::size(pieces)];
    }
  }
  return text;
}

TEST(GmlTokenReader, SplitsAtBlankTabLineFeedVerticalTabFormFeedAndCarriageReturn) {
  TempFolder folder;
  std::mt19937 random(11);
  for (int round = 0; round < 12; ++round) {
    const std::string text = RandomText(random, 1000 + random() % 30000);
    testing::WriteBytes(folder / "t.xml", text);
    const auto want = StreamTokens(text);
    for (std::size_t bufferSize : {1, 2, 3, 7, 11, 16, 63, 64, 65, 1000, 4096 + 5, 1 << 20}) {
      auto reader = Reader(folder / "t.xml", bufferSize);
      EXPECT_EQ(ReaderTokens(reader), want) << "round " << round << ", buffer " << bufferSize;
    }
  }
}

TEST(GmlTokenReader, SeeksTheFirstTokenWhoseBytesFiveToTenAreTheTag) {
  TempFolder folder;
  std::mt19937 random(5);
  for (int round = 0; round < 40; ++round) {
    const std::string text = RandomText(random, 200 + random() % 20000);
    testing::WriteBytes(folder / "t.xml", text);
    const auto all = StreamTokens(text);
    for (const char* tag : {"startP", "tupleL"}) {
      // Where the plain reading finds the tag, and what follows it.
      std::size_t first = 0;
      while (first < all.size() && !(all[first].size() >= 11 && all[first].compare(5, 6, tag) == 0))
        ++first;
      const std::vector<std::string> want(all.begin() + std::ptrdiff_t(first), all.end());
      for (std::size_t bufferSize : {1, 5, 10, 11, 12, 17, 100, 1 << 20}) {
        auto reader = Reader(folder / "t.xml", bufferSize);
        EXPECT_EQ(reader.seekTagged(tag), first < all.size());
        EXPECT_EQ(ReaderTokens(reader), want)
            << "round " << round << ", " << tag << ", buffer " << bufferSize;
      }
    }
  }
}

TEST(GmlTokenReader, SeeksOnlyFromWhereItStands) {
  TempFolder folder;
  testing::WriteBytes(folder / "t.xml", "<gml:tupleList> a <gml:tupleList>b c");
  auto reader = Reader(folder / "t.xml", 4);
  std::string_view token;
  ASSERT_TRUE(reader.next(token));
  ASSERT_TRUE(reader.seekTagged("tupleL"));
  ASSERT_TRUE(reader.next(token));
  EXPECT_EQ(token, "<gml:tupleList>b");
  EXPECT_FALSE(reader.seekTagged("tupleL"));
  EXPECT_FALSE(reader.next(token));
}

TEST(GmlTokenReader, ATokenPastTheBoundIsAReadFailureOfTheFile) {
  TempFolder folder;
  const auto path = folder / "endless.xml";
  testing::WriteBytes(path, "short " + std::string(100, 't') + " after");
  GmlTokenReader reader(InputFile::Open(SystemFileSystem(), path), 8, 64);
  std::string_view token;
  ASSERT_TRUE(reader.next(token));
  EXPECT_EQ(token, "short");
  try {
    reader.next(token);
    ADD_FAILURE() << "a token of 100 bytes came out";
  } catch (const FileError& error) {
    EXPECT_EQ(error.action(), FileAction::kRead);
    EXPECT_EQ(error.path(), path);
    EXPECT_EQ(error.reason(), std::errc::value_too_large);
  }
}

TEST(GmlTokenReader, TheValueTextFollowsTheLastComma) {
  TempFolder folder;
  const std::string text = "a,1 b,c,2 ,3 4 x, " + std::string(40, 'n') + ",5 " +
                           std::string(30, ',') + "6 ,,,,,,,,,,,,,,,,,7" + std::string(20, 'd');
  testing::WriteBytes(folder / "t.xml", text);
  auto reader = Reader(folder / "t.xml", GmlTokenReader::kDefaultBufferSize);
  std::vector<std::string> values;
  std::string_view token;
  while (reader.next(token)) values.emplace_back(GmlTokenReader::TextAfterLastComma(token));
  EXPECT_EQ(values, (std::vector<std::string>{"1", "2", "3", "4", "", "5", "6",
                                              "7" + std::string(20, 'd')}));
}

}  // namespace
}  // namespace elevara
