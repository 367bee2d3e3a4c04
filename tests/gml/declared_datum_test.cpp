#include <gtest/gtest.h>

#include "gml/declared_datum.h"

namespace elevara {
namespace {

TEST(DeclaredDatum, TheEnvelopesSrsNameNamesTheDatum) {
  EXPECT_EQ(DatumOfSrsName(R"(srsName="fguuid:jgd2000.bl">)"), Datum::kJgd2000);
  EXPECT_EQ(DatumOfSrsName(R"(srsName="fguuid:jgd2011.bl")"), Datum::kJgd2011);
  EXPECT_EQ(DatumOfSrsName(R"(srsName='fguuid:jgd2024.bl'/>)"), Datum::kJgd2024);
  for (const char* token :
       {R"(srsName="fguuid:jgd2011.bl)", R"(srsName="EPSG:6668">)", R"(srsName=fguuid:jgd2011.bl)",
        R"(srsName="fguuid:JGD2011.bl">)", R"(srsName="fguuid:jgd2011.bl.x">)",
        R"(srsname="fguuid:jgd2011.bl">)", "srsName=", ""}) {
    EXPECT_FALSE(DatumOfSrsName(token)) << token;
  }
}

}  // namespace
}  // namespace elevara
