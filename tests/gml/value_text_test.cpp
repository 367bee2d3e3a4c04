#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "gml/value_text.h"
#include "raster/raw_raster.h"
#include "testkit/files.h"

namespace elevara {
namespace {

using testing::Bits;

TEST(ParseValueText, RoundsANumberOnceAsStrtofReadsIt) {
  for (const char* text :
       {"12.25", "-0.10", "+12.5", "1e3", "1E-2", "-9999.", "-9999.00", "0.00", "-0", "16.60",
        "3.4028235e38", "1e-45", "123456789012", "0.1", "550.30", ".5", "5."}) {
    EXPECT_EQ(Bits(ParseValueText(text)), Bits(std::strtof(text, nullptr))) << text;
  }
}

TEST(ParseValueText, OddTextsAreNoDataOrTheNumberBeforeThem) {
  const float infinity = std::numeric_limits<float>::infinity();
  struct Case {
    const char* text;
    float value;
  } cases[] = {{"", kNoData},
               {"abc", kNoData},
               {"+-1", kNoData},
               {"-", kNoData},
               {"+", kNoData},
               {".", kNoData},
               {"12abc", 12},
               {"7,5", 7},
               {"1e", 1},
               {"1e50", infinity},
               {"-1e50", -infinity},
               {"1e-50", 0.0f},
               {"-1e-60", -0.0f},
               {"1e999999999999999999999", infinity},
               {"0.0000000000000000000000000000000000000000000000000001e-400", 0.0f},
               {"inf", infinity}};
  for (const auto& c : cases) {
    EXPECT_EQ(Bits(ParseValueText(c.text)), Bits(c.value)) << c.text;
  }
  const std::string hugeDigits = "1" + std::string(400, '0');
  EXPECT_EQ(ParseValueText(hugeDigits), infinity);
  EXPECT_EQ(Bits(ParseValueText("-0." + std::string(400, '0') + "1")), Bits(-0.0f));
  EXPECT_TRUE(std::isnan(ParseValueText("nan")));
}

TEST(ParseLeadingInteger, ReadsEveryDigitAndSaturates) {
  EXPECT_EQ(ParseLeadingInteger("1000</gml:startPoint>"), 1000);
  EXPECT_EQ(ParseLeadingInteger("-12x"), -12);
  EXPECT_EQ(ParseLeadingInteger("+7"), 7);
  EXPECT_EQ(ParseLeadingInteger("</gml:startPoint>"), 0);
  EXPECT_EQ(ParseLeadingInteger(""), 0);
  EXPECT_GT(ParseLeadingInteger(std::string(40, '9')), 1'000'000'000'000'000LL);
  EXPECT_LT(ParseLeadingInteger("-" + std::string(40, '9')), -1'000'000'000'000'000LL);
}

}  // namespace
}  // namespace elevara
