#include "tests/gml/reference_tile.h"

#include <cstdlib>
#include <sstream>

namespace elevara::testing {
namespace {

constexpr float kMissing = -9999.0f;

bool Tagged(const std::string& token, const char* tag) {
  return token.size() >= 11 && token.compare(5, 6, tag) == 0;
}

float Convert(const std::string& token) {
  const std::size_t comma = token.rfind(',');
  const std::string text = comma == std::string::npos ? token : token.substr(comma + 1);
  char* end = nullptr;
  const float value = std::strtof(text.c_str(), &end);
  return end == text.c_str() ? kMissing : value;
}

}  // namespace

std::vector<float> ReferenceTile(const std::string& gml, int width, int height) {
  std::vector<float> cells(static_cast<std::size_t>(width) * height, kMissing);
  std::istringstream first(gml);
  std::string token;
  long long column = 0, row = 0;
  bool started = false;
  while (!started && first >> token) {
    if (!Tagged(token, "startP")) continue;
    started = true;
    column = token.size() > 16 ? std::atoll(token.c_str() + 16) : 0;
    if (first >> token) row = std::atoll(token.c_str());
  }
  if (!started) return cells;

  std::istringstream second(gml);
  bool listed = false;
  while (!listed && second >> token) listed = Tagged(token, "tupleL");
  if (!listed) return cells;
  std::vector<std::string> list;
  while (second >> token && !(token.size() >= 3 && token[2] == 'g')) list.push_back(token);

  std::size_t next = 0;
  for (long long r = 0; r < height; ++r) {
    for (long long c = 0; c < width; ++c) {
      if (r < row || (r == row && c < column)) continue;
      if (next == list.size()) return cells;
      cells[static_cast<std::size_t>(r * width + c)] = Convert(list[next++]);
    }
  }
  return cells;
}

std::string MakeGml(const GmlText& text) {
  std::string gml =
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<Dataset>\r\n"
      "\t<DEM  gml:id=\"DEM001\">\r\n\t\t<gml:Envelope  srsName=\"fguuid:jgd2011.bl\">\r\n";
  const std::string start = "\t\t\t\t\t" + text.startPoint + "\r\n";
  if (text.startPointFirst) gml += start;
  if (text.valueList) {
    gml += "\r\n<gml:tupleList>\r\n";
    for (const std::string& value : text.values) gml += value + "\r\n";
    if (!text.endToken) return gml;  // a file cut off inside its list
    gml += "</gml:tupleList>\r\n\r\n\t\t\t\t</gml:DataBlock>\r\n";
  }
  if (!text.startPointFirst) gml += start;
  gml += "\t</DEM>\r\n</Dataset>\r\n";
  return gml;
}

std::vector<std::string> Tokens(const std::vector<std::string>& values) {
  std::vector<std::string> tokens;
  for (const std::string& value : values) tokens.push_back("地表面," + value);
  return tokens;
}

}  // namespace elevara::testing
