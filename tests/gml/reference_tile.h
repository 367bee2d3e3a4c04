// A second, deliberately plain reading of a GML tile, written from the token rules alone with
// stream extraction and strtof, against which the converter's tile rasters are compared.
#pragma once

#include <string>
#include <vector>

namespace elevara::testing {

// The cells of a width x height tile as the token rules give them, -9999.0 where no value is.
std::vector<float> ReferenceTile(const std::string& gml, int width, int height);

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
