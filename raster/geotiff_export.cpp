#include "raster/geotiff_export.h"

#include <geotiffio.h>
#include <tiffio.h>
#include <xtiffio.h>

#include <algorithm>
#include <charconv>
#include <limits>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/folder_search.h"
#include "platform/unicode.h"
#include "raster/envi_header.h"
#include "raster/overview_pyramid.h"
#include "raster/raw_raster.h"
#include "raster/tiff_output.h"

namespace elevara {
namespace {

constexpr auto kTile = static_cast<std::uint32_t>(kGeoTiffTileSize);
// GDAL's tag for the no-data value, as text (GDAL_NODATA): GDAL, and with it QGIS, reads it, and
// so do the GeoTIFF readers of web maps.
constexpr ttag_t kGdalNoDataTag = 42113;
constexpr char kNoDataText[] = "-9999";
// DEFLATE at level 6, GDAL's own default, through libdeflate, on tiles whose floats the
// floating-point predictor has split into byte planes of differences.
constexpr int kDeflateLevel = 6;
// A classic TIFF's offsets are 32-bit: a TIFF whose tiles, unpacked, would come near them is
// a BigTIFF. Compression never grows a tile by more than a few bytes in a thousand.
constexpr std::uint64_t kClassicTiffBytes = 4'000'000'000;
constexpr double kGrs1980SemiMajor = 6378137.0;
constexpr double kGrs1980InverseFlattening = 298.257222101;

template <typename... Values>
void SetField(TiffOutput& out, ttag_t tag, Values... values) {
  out.check(TIFFSetField(out.handle(), tag, values...) == 1);
}

std::uint64_t PaddedBytes(RasterSize size) {
  const auto tiles = [](std::int64_t cells) {
    return static_cast<std::uint64_t>((cells + kTile - 1) / kTile);
  };
  return tiles(size.width) * tiles(size.height) * kTile * kTile * sizeof(float);
}

bool NeedsBigTiff(RasterSize size) {
  std::uint64_t bytes = PaddedBytes(size);
  for (const RasterSize& level : OverviewSizes(size.width, size.height)) {
    bytes += PaddedBytes(level);
  }
  return bytes > kClassicTiffBytes;
}

// The codec's settings live in the open handle only, not in the file: they are set again
// whenever a directory is read back to take its tiles.
void SetCompression(TiffOutput& out) {
  SetField(out, TIFFTAG_ZIPQUALITY, kDeflateLevel);
  SetField(out, TIFFTAG_DEFLATE_SUBCODEC, DEFLATE_SUBCODEC_LIBDEFLATE);
}

void SetImageTags(TiffOutput& out, RasterSize size, bool overview, bool declaresNoData) {
  SetField(out, TIFFTAG_SUBFILETYPE, overview ? FILETYPE_REDUCEDIMAGE : 0u);
  SetField(out, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(size.width));
  SetField(out, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(size.height));
  SetField(out, TIFFTAG_BITSPERSAMPLE, 32);
  SetField(out, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
  SetField(out, TIFFTAG_SAMPLESPERPIXEL, 1);
  SetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  SetField(out, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  SetField(out, TIFFTAG_TILEWIDTH, kTile);
  SetField(out, TIFFTAG_TILELENGTH, kTile);
  SetField(out, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
  SetField(out, TIFFTAG_PREDICTOR, PREDICTOR_FLOATINGPOINT);
  SetCompression(out);
  if (!declaresNoData) return;
  // libtiff forgets a tag it was taught with every new directory: it is taught once per
  // directory, so that no extender of its own is installed for the whole process.
  static const TIFFFieldInfo kNoDataField[] = {{kGdalNoDataTag, -1, -1, TIFF_ASCII, FIELD_CUSTOM, 1,
                                                0, const_cast<char*>("GDALNoDataValue")}};
  out.check(TIFFMergeFieldInfo(out.handle(), kNoDataField, 1) == 0);
  SetField(out, kGdalNoDataTag, kNoDataText);
}

void SetKey(TiffOutput& out, GTIF* keys, geokey_t key, int value) {
  out.check(GTIFKeySet(keys, key, TYPE_SHORT, 1, value) == 1);
}
void SetKey(TiffOutput& out, GTIF* keys, geokey_t key, double value) {
  out.check(GTIFKeySet(keys, key, TYPE_DOUBLE, 1, value) == 1);
}
void SetKey(TiffOutput& out, GTIF* keys, geokey_t key, const std::string& value) {
  out.check(GTIFKeySet(keys, key, TYPE_ASCII, 0, value.c_str()) == 1);
}

// The geographic coordinate system on `datum`, keyed as GDAL keys it: by its EPSG code, or,
// for a system without one, spelt out on the GRS 1980 ellipsoid with the names of the ENVI
// header's WKT in the citation, from which GDAL takes them back.
void SetDatumKeys(TiffOutput& out, GTIF* keys, Datum datum) {
  const DatumIdentity identity = IdentityOf(datum);
  SetKey(out, keys, GTModelTypeGeoKey, ModelTypeGeographic);
  if (identity.epsgCode != 0) {
    SetKey(out, keys, GeographicTypeGeoKey, identity.epsgCode);
    SetKey(out, keys, GeogCitationGeoKey, std::string(identity.system));
  } else {
    SetKey(out, keys, GeographicTypeGeoKey, KvUserDefined);
    SetKey(out, keys, GeogCitationGeoKey,
           "GCS Name = " + std::string(identity.system) +
               "|Datum = " + std::string(identity.datum) + "|Primem = Greenwich|");
    SetKey(out, keys, GeogGeodeticDatumGeoKey, KvUserDefined);
    SetKey(out, keys, GeogEllipsoidGeoKey, Ellipse_GRS_1980);
    SetKey(out, keys, GeogPrimeMeridianLongGeoKey, 0.0);
  }
  SetKey(out, keys, GeogAngularUnitsGeoKey, Angular_Degree);
  SetKey(out, keys, GeogSemiMajorAxisGeoKey, kGrs1980SemiMajor);
  SetKey(out, keys, GeogInvFlatteningGeoKey, kGrs1980InverseFlattening);
}

// Where the raster lies: the outer corner of its north-west cell at raster point (0, 0), the
// cells' size, pixel-is-area; the datum's keys when the header names one.
void SetGeoTags(TiffOutput& out, const GeoTiffSource& source) {
  if (!source.placement) return;
  const GeoPlacement& at = *source.placement;
  double tiePoint[6] = {0, 0, 0, at.west, at.north, 0};
  double pixelScale[3] = {at.cellWidth, at.cellHeight, 0};
  SetField(out, TIFFTAG_GEOTIEPOINTS, 6, tiePoint);
  SetField(out, TIFFTAG_GEOPIXELSCALE, 3, pixelScale);
  GTIF* keys = GTIFNew(out.handle());
  out.check(keys != nullptr);
  try {
    SetKey(out, keys, GTRasterTypeGeoKey, RasterPixelIsArea);
    if (source.datum) SetDatumKeys(out, keys, *source.datum);
    out.check(GTIFWriteKeys(keys) == 1);
  } catch (...) {
    GTIFFree(keys);
    throw;
  }
  GTIFFree(keys);
}

// Writes the current directory with its tile arrays left open, to be filled in once the tiles
// are written; libtiff starts a new directory then.
void WriteDirectory(TiffOutput& out) {
  TIFF* tiff = out.handle();
  out.check(TIFFDeferStrileArrayWriting(tiff) == 1);
  out.check(TIFFWriteCheck(tiff, 1, "elevara") == 1);
  out.check(TIFFWriteDirectory(tiff) == 1);
}

// The directories of the raster and of its overview levels, largest first, as readers find them,
// then their tile arrays, reserved where they are filled in place once the tiles are written.
// Returns the directories' offsets.
std::vector<std::uint64_t> WriteDirectories(TiffOutput& out, const GeoTiffSource& source,
                                            const std::vector<RasterSize>& levels) {
  SetImageTags(out, {source.width, source.height}, false, source.declaresNoData);
  SetGeoTags(out, source);
  WriteDirectory(out);
  for (const RasterSize& level : levels) {
    SetImageTags(out, level, true, source.declaresNoData);
    WriteDirectory(out);
  }
  std::vector<std::uint64_t> offsets;
  for (std::size_t directory = 0; directory <= levels.size(); ++directory) {
    out.check(TIFFSetDirectory(out.handle(), static_cast<tdir_t>(directory)) == 1);
    offsets.push_back(TIFFCurrentDirOffset(out.handle()));
    out.check(TIFFForceStrileArrayWriting(out.handle()) == 1);
  }
  return offsets;
}

// The tiles of one level, row of tiles by row of tiles, from its rows as `rows` reads them.
// Cells beyond the level's edges are -9999.0 in its edge tiles.
void WriteTiles(TiffOutput& out, std::uint64_t directory, RasterReader& rows, RasterSize size,
                Progress& progress) {
  TIFF* tiff = out.handle();
  out.check(TIFFSetSubDirectory(tiff, directory) == 1);
  SetCompression(out);
  const auto width = static_cast<std::size_t>(size.width);
  std::vector<float> band(width * kTile);
  std::vector<float> tile(std::size_t{kTile} * kTile);
  for (std::int64_t top = 0; top < size.height; top += kTile) {
    const auto rowsHere =
        static_cast<std::size_t>(std::min<std::int64_t>(kTile, size.height - top));
    for (std::size_t row = 0; row < rowsHere; ++row) {
      rows.readRow(top + static_cast<std::int64_t>(row),
                   std::span(band).subspan(row * width, width));
      progress.step();
    }
    for (std::size_t left = 0; left < width; left += kTile) {
      const std::size_t columnsHere = std::min<std::size_t>(kTile, width - left);
      std::fill(tile.begin(), tile.end(), kNoData);
      for (std::size_t row = 0; row < rowsHere; ++row) {
        const float* from = band.data() + row * width + left;
        std::copy(from, from + columnsHere,
                  tile.begin() + static_cast<std::ptrdiff_t>(row * kTile));
      }
      const ttile_t index = TIFFComputeTile(tiff, static_cast<std::uint32_t>(left),
                                            static_cast<std::uint32_t>(top), 0, 0);
      out.check(TIFFWriteEncodedTile(tiff, index, tile.data(),
                                     static_cast<tmsize_t>(tile.size() * sizeof(float))) != -1);
    }
  }
  out.check(TIFFForceStrileArrayWriting(tiff) == 1);
}

bool IsNoDataText(const std::string& text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value == kNoData;
}

// Progress that counts the steps taken, so that a raster given up halfway can take the rest.
class CountedProgress final : public Progress {
 public:
  explicit CountedProgress(Progress& inner) : inner_(inner) {}
  void startPhase(std::int64_t steps) override { inner_.startPhase(steps); }
  void step() override {
    inner_.step();
    ++taken_;
  }
  std::int64_t taken() const { return taken_; }

 private:
  Progress& inner_;
  std::int64_t taken_ = 0;
};

SkipReason SkipReasonOf(GeoTiffRefusal refusal) {
  return refusal == GeoTiffRefusal::kOtherSize ? SkipReason::kOtherRasterSize
                                               : SkipReason::kNoRasterSize;
}

// The rasters of `folder` that have a sidecar, in the order of their names.
std::vector<std::filesystem::path> RastersWithSidecars(FileSystem& fs,
                                                       const std::filesystem::path& folder) {
  constexpr std::size_t kSidecarExtension = 4;  // ".hd1"
  std::vector<std::filesystem::path> rasters;
  for (const std::string& name : SearchFolder(fs, folder, "?*.hd1")) {
    const std::filesystem::path raster =
        folder / PathFromUtf8(std::string_view(name).substr(0, name.size() - kSidecarExtension));
    std::error_code error;
    if (std::filesystem::is_regular_file(fs.status(raster, error)) && !error) {
      rasters.push_back(raster);
    }
  }
  return rasters;
}

// The rasters of the context's folder with a sidecar and an ENVI header that can be exported;
// the others with their headers are added to `result` as skipped.
std::vector<GeoTiffSource> FindSources(const BatchContext& context, BatchResult& result) {
  std::vector<GeoTiffSource> sources;
  for (const std::filesystem::path& raster : RastersWithSidecars(context.fs, context.folder)) {
    try {
      const GeoTiffExamination examination = ExamineGeoTiffSource(context.fs, raster);
      if (examination.refusal == GeoTiffRefusal::kNoHeader && !examination.source) continue;
      result.found = true;
      if (examination.source) {
        sources.push_back(*examination.source);
      } else {
        result.skipped.push_back({raster, SkipReasonOf(examination.refusal), {}});
      }
    } catch (const FileError& error) {
      result.found = true;
      result.skipped.push_back({raster, SkipReason::kNotRead, error.reason()});
    }
  }
  return sources;
}

}  // namespace

GeoTiffExamination ExamineGeoTiffSource(FileSystem& fs, const std::filesystem::path& raster) {
  const std::optional<RasterSize> size = ReadRawHeader(fs, raster);
  if (!size || size->width < 1 || size->width > kGeoTiffWidestRaster || size->height < 1 ||
      size->height > std::numeric_limits<std::int32_t>::max()) {
    return {std::nullopt, GeoTiffRefusal::kNoSize};
  }
  const std::optional<EnviHeaderFields> header = ReadEnviHeader(fs, raster);
  if (!header) return {std::nullopt, GeoTiffRefusal::kNoHeader};
  std::error_code error;
  const std::uint64_t length = fs.fileSize(raster, error);
  if (error) throw FileError(FileAction::kOpen, raster, error);
  if (header->samples != size->width || header->lines != size->height ||
      length != static_cast<std::uint64_t>(size->width * size->height) * sizeof(float)) {
    return {std::nullopt, GeoTiffRefusal::kOtherSize};
  }
  GeoTiffSource source;
  source.raster = raster;
  source.width = size->width;
  source.height = size->height;
  if (header->mapInfo) source.placement = PlacementOfMapInfo(*header->mapInfo);
  if (header->coordinateSystem) source.datum = DatumOfWkt(*header->coordinateSystem);
  source.declaresNoData = header->dataIgnoreValue && IsNoDataText(*header->dataIgnoreValue);
  return {source, {}};
}

std::filesystem::path GeoTiffPathFor(const std::filesystem::path& raster) {
  std::filesystem::path tif = raster;
  tif += ".tif";
  return tif;
}

std::int64_t GeoTiffSteps(std::int64_t width, std::int64_t height) {
  std::int64_t steps = 2 * height;
  for (const RasterSize& level : OverviewSizes(width, height)) steps += level.height;
  return steps;
}

void WriteGeoTiff(FileSystem& fs, Progress& progress, const GeoTiffSource& source,
                  const std::filesystem::path& tif) {
  const RasterSize size{source.width, source.height};
  XTIFFInitialize();  // teaches libtiff the GeoTIFF tags, once for the process
  TiffOutput out(fs, tif, NeedsBigTiff(size));
  RasterReader raster = RasterReader::Open(fs, source.raster, source.width);
  OverviewPyramid pyramid(fs, tif, size, source.declaresNoData);
  std::vector<float> row(static_cast<std::size_t>(source.width));
  for (std::int64_t y = 0; y < source.height; ++y) {
    raster.readRow(y, row);
    pyramid.addRow(row);
    progress.step();
  }
  pyramid.finish();

  const std::vector<RasterSize>& levels = pyramid.sizes();
  const std::vector<std::uint64_t> directories = WriteDirectories(out, source, levels);
  out.startImageData();
  for (std::size_t level = levels.size(); level-- > 0;) {
    RasterReader rows = RasterReader::Open(fs, pyramid.levelPath(level), levels[level].width);
    WriteTiles(out, directories[level + 1], rows, levels[level], progress);
  }
  WriteTiles(out, directories[0], raster, size, progress);
  out.commit();
}

GeoTiffOutcome ExportGeoTiff(FileSystem& fs, Progress& progress,
                             const std::filesystem::path& raster) {
  const std::filesystem::path tif = GeoTiffPathFor(raster);
  const GeoTiffExamination examination = ExamineGeoTiffSource(fs, raster);
  if (!examination.source) return {examination.refusal, tif};
  progress.startPhase(GeoTiffSteps(examination.source->width, examination.source->height));
  WriteGeoTiff(fs, progress, *examination.source, tif);
  return {std::nullopt, tif};
}

BatchResult ExportGeoTiffFolder(const BatchContext& context) {
  BatchResult result;
  const std::vector<GeoTiffSource> sources = FindSources(context, result);
  if (!result.found) return result;
  std::int64_t steps = 0;
  for (const GeoTiffSource& source : sources) steps += GeoTiffSteps(source.width, source.height);
  context.progress.startPhase(steps);
  for (const GeoTiffSource& source : sources) {
    CountedProgress progress(context.progress);
    try {
      WriteGeoTiff(context.fs, progress, source, GeoTiffPathFor(source.raster));
      result.written.push_back(GeoTiffPathFor(source.raster));
    } catch (const FileError& error) {
      // A raster that cannot be read is left out; a GeoTIFF that cannot be written stops the run.
      if (error.path() != source.raster) throw;
      const bool opened = error.action() != FileAction::kOpen;
      result.skipped.push_back(
          {source.raster, opened ? SkipReason::kNotRead : SkipReason::kNotOpened, error.reason()});
      const std::int64_t rest = GeoTiffSteps(source.width, source.height) - progress.taken();
      for (std::int64_t i = 0; i < rest; ++i) context.progress.step();
    }
  }
  return result;
}

}  // namespace elevara
