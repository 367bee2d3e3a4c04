#include "testkit/plain_gml.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace elevara::testing {
namespace {

bool IsTokenSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// An optional sign and digits; a bound far beyond any grid keeps huge numbers huge.
std::int64_t LeadingInteger(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), std::int64_t{1} << 40);
  }
  return negative ? -value : value;
}

std::size_t FindTagged(const std::vector<std::string_view>& tokens, std::string_view tag) {
  std::size_t at = 0;
  while (at < tokens.size() && !IsTaggedToken(tokens[at], tag)) ++at;
  return at;
}

std::string_view ValueText(std::string_view token) {
  const std::size_t comma = token.rfind(',');
  return comma == std::string_view::npos ? token : token.substr(comma + 1);
}

// The value texts of the tokens after the first value-list token, up to the end token or the
// end of the file, at most `cells` of them.
std::vector<std::string> ListedTexts(const std::vector<std::string_view>& tokens,
                                     std::size_t cells) {
  std::vector<std::string> texts;
  for (std::size_t at = FindTagged(tokens, "tupleL") + 1;
       at < tokens.size() && texts.size() < cells; ++at) {
    if (tokens[at].size() >= 3 && tokens[at][2] == 'g') break;
    texts.emplace_back(ValueText(tokens[at]));
  }
  return texts;
}

}  // namespace

bool IsTaggedToken(std::string_view token, std::string_view tag) {
  return token.size() >= 11 && token.substr(5, 6) == tag;
}

std::vector<std::string_view> SplitTokens(std::string_view bytes) {
  std::vector<std::string_view> tokens;
  std::size_t at = 0;
  while (at < bytes.size()) {
    while (at < bytes.size() && IsTokenSpace(bytes[at])) ++at;
    std::size_t stop = at;
    while (stop < bytes.size() && !IsTokenSpace(bytes[stop])) ++stop;
    if (stop > at) tokens.push_back(bytes.substr(at, stop - at));
    at = stop;
  }
  return tokens;
}

PlainTile ReadTilePlainly(std::string_view gml, int width, int height) {
  const std::vector<std::string_view> tokens = SplitTokens(gml);
  PlainTile tile;
  tile.valueTexts.assign(std::size_t(width) * std::size_t(height), "-9999");
  tile.listedTexts = ListedTexts(tokens, tile.valueTexts.size());

  const std::size_t startAt = FindTagged(tokens, "startP");
  if (startAt == tokens.size()) {
    tile.status = GmlTileStatus::kNoStartPoint;
    return tile;
  }
  const std::string_view startToken = tokens[startAt];
  const std::int64_t x0 = startToken.size() > 16 ? LeadingInteger(startToken.substr(16)) : 0;
  const std::int64_t y0 = startAt + 1 < tokens.size() ? LeadingInteger(tokens[startAt + 1]) : 0;

  std::size_t next = FindTagged(tokens, "tupleL");
  if (next == tokens.size()) {
    tile.status = GmlTileStatus::kNoValueList;
    return tile;
  }
  ++next;
  for (std::int64_t r = 0; r < height; ++r) {
    for (std::int64_t c = 0; c < width; ++c) {
      if (r < y0 || (r == y0 && c < x0)) continue;
      // The list ends at the end token, or at the end of the file.
      if (next == tokens.size()) return tile;
      const std::string_view token = tokens[next++];
      if (token.size() >= 3 && token[2] == 'g') return tile;
      tile.valueTexts[std::size_t(r * width + c)] = ValueText(token);
    }
  }
  return tile;
}

std::vector<float> ReferenceTile(std::string_view gml, int width, int height) {
  const PlainTile tile = ReadTilePlainly(gml, width, height);
  std::vector<float> cells;
  cells.reserve(tile.valueTexts.size());
  for (const std::string& text : tile.valueTexts) {
    char* end = nullptr;
    const float value = std::strtof(text.c_str(), &end);
    cells.push_back(end == text.c_str() ? -9999.0f : value);
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
