#include "raster/envi_header.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "platform/unicode.h"
#include "raster/raw_raster.h"

namespace elevara {
namespace {

constexpr std::string_view kMagic = "ENVI";

std::string ShortestText(double value) {
  char text[32];  // the longest shortest form of a double is 24 characters
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Keys compare as GDAL compares them: letter case ignored.
bool SameKey(std::string_view key, std::string_view expected) {
  return EqualIgnoringAsciiCase(key, expected);
}

std::int64_t IntegerValue(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

// Reads "key = value" lines; a value that opens a brace goes on, over further lines, to the
// brace that closes it, and is taken without the braces.
class EnviHeaderParser {
 public:
  explicit EnviHeaderParser(EnviHeaderFields& fields) : fields_(fields) {}

  void line(std::string_view text) {
    if (open_) {
      continueValue(text);
      return;
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) return;
    key_ = std::string(Trimmed(text.substr(0, equals)));
    std::string_view value = Trimmed(text.substr(equals + 1));
    value_.clear();
    if (value.starts_with('{')) {
      open_ = true;
      continueValue(value.substr(1));
    } else {
      value_ = value;
      take();
    }
  }

 private:
  void continueValue(std::string_view text) {
    const std::size_t close = text.find('}');
    if (!value_.empty()) value_ += ' ';
    value_ += Trimmed(text.substr(0, close));
    if (close == std::string_view::npos) return;
    open_ = false;
    take();
  }

  void take() {
    if (SameKey(key_, "samples")) fields_.samples = IntegerValue(value_);
    if (SameKey(key_, "lines")) fields_.lines = IntegerValue(value_);
    if (SameKey(key_, "map info")) fields_.mapInfo = value_;
    if (SameKey(key_, "coordinate system string")) fields_.coordinateSystem = value_;
    if (SameKey(key_, "data ignore value")) fields_.dataIgnoreValue = value_;
  }

  EnviHeaderFields& fields_;
  std::string key_;
  std::string value_;
  bool open_ = false;
};

std::optional<double> NumberValue(std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::vector<std::string_view> CommaFields(std::string_view text) {
  std::vector<std::string_view> fields;
  for (;;) {
    const std::size_t comma = text.find(',');
    fields.push_back(Trimmed(text.substr(0, comma)));
    if (comma == std::string_view::npos) return fields;
    text.remove_prefix(comma + 1);
  }
}

std::optional<EnviHeaderFields> ParseEnviHeader(InputFile file) {
  LineReader reader(std::move(file));
  std::string_view line;
  if (!reader.next(line) || !line.starts_with(kMagic)) return std::nullopt;
  EnviHeaderFields fields;
  EnviHeaderParser parser(fields);
  while (reader.next(line)) parser.line(line);
  // A size no file can hold is no size: it is not used.
  if (!RasterBytesOf({fields.samples, fields.lines})) fields.samples = fields.lines = 0;
  return fields;
}

}  // namespace

std::string MapInfoOf(const GeoPlacement& placement) {
  return "Geographic Lat/Lon, 1, 1, " + ShortestText(placement.west) + ", " +
         ShortestText(placement.north) + ", " + ShortestText(placement.cellWidth) + ", " +
         ShortestText(placement.cellHeight);
}

std::optional<GeoPlacement> PlacementOfMapInfo(std::string_view mapInfo) {
  const std::vector<std::string_view> fields = CommaFields(mapInfo);
  if (fields.size() < 7 || fields[0] != "Geographic Lat/Lon") return std::nullopt;
  std::optional<double> numbers[6];
  for (std::size_t i = 0; i < 6; ++i) {
    numbers[i] = NumberValue(fields[i + 1]);
    if (!numbers[i]) return std::nullopt;
  }
  const auto [pixelX, pixelY, easting, northing, cellWidth, cellHeight] = numbers;
  if (!(*cellWidth > 0 && *cellHeight > 0)) return std::nullopt;
  // Pixel (1, 1) is the upper-left corner of the upper-left cell.
  return GeoPlacement{*easting - (*pixelX - 1) * *cellWidth,
                      *northing + (*pixelY - 1) * *cellHeight, *cellWidth, *cellHeight};
}

std::optional<EnviGeoreference> MeshGeoreference(std::string_view meshCode, std::int64_t width,
                                                 std::int64_t height, std::optional<Datum> datum) {
  const std::optional<GeoPlacement> placement = PlacementOfMesh(meshCode, width, height);
  if (!placement) return std::nullopt;
  EnviGeoreference georeference;
  georeference.mapInfo = MapInfoOf(*placement);
  if (datum) georeference.coordinateSystem = WktOf(*datum);
  return georeference;
}

std::filesystem::path EnviHeaderPathFor(const std::filesystem::path& raster) {
  std::filesystem::path header = raster;
  header += ".hdr";
  return header;
}

std::vector<std::string> EnviHeaderLines(std::int64_t samples, std::int64_t lines,
                                         const EnviGeoreference& georeference) {
  std::vector<std::string> text = {
      std::string(kMagic),
      "samples = " + std::to_string(samples),
      "lines = " + std::to_string(lines),
      "bands = 1",
      "header offset = 0",
      "file type = ENVI Standard",
      "data type = 4",  // 32-bit float
      "interleave = bsq",
      "byte order = 0",  // little-endian
      "map info = {" + georeference.mapInfo + "}",
  };
  if (!georeference.coordinateSystem.empty()) {
    text.push_back("coordinate system string = {" + georeference.coordinateSystem + "}");
  }
  if (georeference.declaresNoData) text.push_back("data ignore value = -9999");
  return text;
}

AtomicOutputFile WriteEnviHeader(FileSystem& fs, const std::filesystem::path& raster,
                                 std::int64_t samples, std::int64_t lines,
                                 const EnviGeoreference& georeference) {
  AtomicOutputFile file = AtomicOutputFile::Create(fs, EnviHeaderPathFor(raster));
  for (const std::string& line : EnviHeaderLines(samples, lines, georeference)) {
    file.writeLine(line);
  }
  return file;
}

std::optional<EnviHeaderFields> ReadEnviHeader(FileSystem& fs,
                                               const std::filesystem::path& raster) {
  std::filesystem::path replaced = raster;
  replaced.replace_extension(".hdr");
  for (const std::filesystem::path& candidate : {replaced, EnviHeaderPathFor(raster)}) {
    if (auto file = InputFile::OpenIfPresent(fs, candidate)) {
      return ParseEnviHeader(std::move(*file));
    }
  }
  return std::nullopt;
}

}  // namespace elevara
