// The texts the user types and reads: the number fields, the error box and the title.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "commands/text_fields.h"
#include "platform/errors.h"

namespace elevara {
namespace {

TEST(EditInteger, AcceptsLeadingBlanksASignAndDecimalOrHexadecimalDigits) {
  EXPECT_EQ(ConvertEditInteger("9000"), 9000);
  EXPECT_EQ(ConvertEditInteger("   +12"), 12);
  EXPECT_EQ(ConvertEditInteger("-0"), 0);
  EXPECT_EQ(ConvertEditInteger("$1F"), 31);
  EXPECT_EQ(ConvertEditInteger("x10"), 16);
  EXPECT_EQ(ConvertEditInteger("X10"), 16);
  EXPECT_EQ(ConvertEditInteger("0x10"), 16);
  EXPECT_EQ(ConvertEditInteger("-0XfF"), -255);
  EXPECT_EQ(ConvertEditInteger("2147483647"), 2147483647);
  EXPECT_EQ(ConvertEditInteger("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(ConvertEditInteger("007"), 7);
}

TEST(EditInteger, RefusesEverythingElseNamingTheText) {
  for (const char* text : {"", " ", "12 ", "1.5", "abc", "-", "+", "$", "0x", "2147483648",
                           "-2147483649", "99999999999999999999", "１２", "\t12", "1e3"}) {
    try {
      ConvertEditInteger(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const Error& error) {
      EXPECT_EQ(error.kind(), ErrorKind::kBadInput);
      EXPECT_EQ(std::string(error.what()), "'" + std::string(text) + "' は整数ではありません");
    }
  }
}

TEST(ErrorDisplay, AppendsAFullStopAfterBytesThatSortAfterIt) {
  EXPECT_EQ(ErrorDisplayText("'abc' は整数ではありません"), "'abc' は整数ではありません.");
  EXPECT_EQ(ErrorDisplayText("done."), "done.");
  EXPECT_EQ(ErrorDisplayText("why?"), "why?.");
  EXPECT_EQ(ErrorDisplayText("a-"), "a-");
  EXPECT_EQ(ErrorDisplayText("x!"), "x!");
  EXPECT_EQ(ErrorDisplayText(""), "");
}

TEST(ApplicationTitle, IsTheExecutableNameUpToItsFirstDot) {
  EXPECT_EQ(ApplicationTitle("/usr/bin/elevara"), "elevara");
  EXPECT_EQ(ApplicationTitle("C:\\Tools\\ELEVARA.EXE"), "Elevara");
  EXPECT_EQ(ApplicationTitle("/opt/My.Tool.exe"), "My");
  EXPECT_EQ(ApplicationTitle("GeoConv"), "Geoconv");
}

}  // namespace
}  // namespace elevara
