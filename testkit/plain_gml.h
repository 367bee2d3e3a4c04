// A second, deliberately plain reading of a GML tile, written from the token rules alone over
// the whole file in memory, against which the streaming converter is held in tests and fuzz
// targets; and GML texts laid out like the published tiles.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "gml/gml_tile.h"

namespace elevara::testing {

// Runs of bytes that are not white space (blank, tab, LF, VT, FF, CR).
std::vector<std::string_view> SplitTokens(std::string_view bytes);
// A token whose bytes 5 to 10 are `tag` (six bytes).
bool IsTaggedToken(std::string_view token, std::string_view tag);

// What the rules give for a width x height tile: the status, the value text of every cell, row
// by row ("-9999" where no value is), and the value texts as the list gives them, at most one per
// cell, whatever the start point.
struct PlainTile {
  GmlTileStatus status = GmlTileStatus::kConverted;
  std::vector<std::string> valueTexts;
  std::vector<std::string> listedTexts;
};
PlainTile ReadTilePlainly(std::string_view gml, int width, int height);

// The cells of a tile, each value text read with strtof; -9999.0 where no value is or where the
// text holds no number.
std::vector<float> ReferenceTile(std::string_view gml, int width, int height);

// A tile laid out like the published ones: a header, the value list with one "type,value"
// token per CR LF line, then the start point, or the start point first when asked.
struct GmlText {
  std::string startPoint = "<gml:startPoint>0 0</gml:startPoint>";
  std::vector<std::string> values;  // whole value tokens, "地表面,12.34"
  bool startPointFirst = false;
  bool valueList = true;
  bool endToken = true;  // false: the file ends right after the values
};
std::string MakeGml(const GmlText& text);

// "地表面,<value>" for every value.
std::vector<std::string> Tokens(const std::vector<std::string>& values);

}  // namespace elevara::testing
