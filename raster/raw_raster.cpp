#include "raster/raw_raster.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/errors.h"

namespace elevara {

std::filesystem::path SidecarPathFor(const std::filesystem::path& raster) {
  std::filesystem::path sidecar = raster;
  sidecar += ".hd1";
  return sidecar;
}

AtomicOutputFile WriteRawHeader(FileSystem& fs, const HeaderState& header) {
  auto file = AtomicOutputFile::Create(fs, SidecarPathFor(header.path));
  file.writeLine(std::to_string(header.width) + " width");
  file.writeLine(std::to_string(header.height) + " height");
  file.writeLine("4 data_type");
  return file;
}

namespace {

// The number of a sidecar line "<digits> <name>", blanks allowed around the name.
std::optional<std::int64_t> SidecarNumber(std::string_view line, std::string_view name) {
  std::int64_t value = 0;
  const char* end = line.data() + line.size();
  auto [after, error] = std::from_chars(line.data(), end, value);
  if (error != std::errc() || after == line.data() || value < 0) return std::nullopt;
  std::string_view rest(after, static_cast<std::size_t>(end - after));
  const std::size_t first = rest.find_first_not_of(" \t");
  const std::size_t last = rest.find_last_not_of(" \t");
  if (first == 0 || first == std::string_view::npos) return std::nullopt;
  if (rest.substr(first, last - first + 1) != name) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::int64_t> RasterBytesOf(RasterSize size) {
  constexpr std::int64_t kLargest = std::numeric_limits<std::int64_t>::max();
  if (size.width < 0 || size.height < 0) return std::nullopt;
  if (size.width == 0 || size.height == 0) return 0;
  if (size.width > kLargest / std::int64_t{sizeof(float)} / size.height) return std::nullopt;
  return size.width * size.height * std::int64_t{sizeof(float)};
}

std::optional<RasterSize> ReadRawHeader(FileSystem& fs, const std::filesystem::path& raster) {
  auto file = InputFile::OpenIfPresent(fs, SidecarPathFor(raster));
  if (!file) return std::nullopt;
  LineReader lines(std::move(*file));
  std::string_view line;
  if (!lines.next(line)) return std::nullopt;
  const std::optional<std::int64_t> width = SidecarNumber(line, "width");
  if (!width || !lines.next(line)) return std::nullopt;
  const std::optional<std::int64_t> height = SidecarNumber(line, "height");
  if (!height || !RasterBytesOf({*width, *height})) return std::nullopt;
  return RasterSize{*width, *height};
}

void ToFileOrder(std::span<float> samples) {
  if constexpr (std::endian::native == std::endian::big) {
    for (float& sample : samples) {
      std::uint32_t bits = std::bit_cast<std::uint32_t>(sample);
      bits = (bits >> 24) | ((bits >> 8) & 0xFF00u) | ((bits << 8) & 0xFF0000u) | (bits << 24);
      sample = std::bit_cast<float>(bits);
    }
  }
}

RasterWriter RasterWriter::Create(FileSystem& fs, const std::filesystem::path& path,
                                  std::int32_t width, std::int32_t height) {
  return RasterWriter(fs, AtomicOutputFile::Create(fs, path), HeaderState{path, width, height});
}

RasterWriter RasterWriter::CreateTile(FileSystem& fs, const std::filesystem::path& path) {
  return RasterWriter(fs, AtomicOutputFile::Create(fs, path, Durability::kWorkingFile),
                      std::nullopt);
}

void RasterWriter::commit() {
  if (!header_) {
    file_.commit();
    return;
  }
  AtomicOutputFile sidecar = WriteRawHeader(*fs_, *header_);
  const std::filesystem::path enviPath = EnviHeaderPathFor(header_->path);
  if (!georeference_) {
    // An earlier ENVI header would describe the new raster: it goes before the raster takes its
    // name, so that a failure to remove it leaves everything as it was.
    std::error_code absent;
    if (std::filesystem::exists(fs_->symlinkStatus(enviPath, absent))) RemoveFile(*fs_, enviPath);
    file_.commit();
    sidecar.commit();
    return;
  }
  AtomicOutputFile envi =
      WriteEnviHeader(*fs_, header_->path, header_->width, header_->height, *georeference_);
  file_.commit();
  try {
    sidecar.commit();
    envi.commit();
  } catch (const FileError&) {
    // The new raster stands; an earlier header beside it would describe another one.
    std::error_code ignored;
    fs_->remove(enviPath, ignored);
    throw;
  }
}

void RasterWriter::writeRow(std::span<float> row) {
  ToFileOrder(row);
  file_.write(row.data(), row.size_bytes());
}

void RasterWriter::writeRows(std::span<float> rows) {
  ToFileOrder(rows);
  file_.writeUnbuffered(rows.data(), rows.size_bytes());
}

std::optional<RasterReader> RasterReader::OpenIfPresent(FileSystem& fs,
                                                        const std::filesystem::path& path,
                                                        std::int64_t width) {
  auto file = InputFile::OpenIfPresent(fs, path);
  if (!file) return std::nullopt;
  return RasterReader(std::move(*file), width);
}

RasterReader RasterReader::Open(FileSystem& fs, const std::filesystem::path& path,
                                std::int64_t width) {
  return RasterReader(InputFile::Open(fs, path), width);
}

std::size_t RasterReader::readRow(std::int64_t row, std::span<float> samples) {
  const auto offset = static_cast<std::uint64_t>(row) * static_cast<std::uint64_t>(width_) * 4u;
  std::size_t bytes = file_.readAt(offset, samples.data(), samples.size_bytes());
  std::size_t whole = bytes / sizeof(float);
  // A partial last sample is as unusable as a missing one.
  std::fill(samples.begin() + static_cast<std::ptrdiff_t>(whole), samples.end(), kNoData);
  FromFileOrder(samples.first(whole));
  return whole;
}

bool RasterReader::extendsBeyond(std::int64_t rows) {
  const auto end = static_cast<std::uint64_t>(rows) * static_cast<std::uint64_t>(width_) * 4u;
  char byte = 0;
  return file_.readAt(end, &byte, 1) == 1;
}

}  // namespace elevara
