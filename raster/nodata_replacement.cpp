#include "raster/nodata_replacement.h"

#include <bit>
#include <vector>

#include "platform/errors.h"
#include "raster/envi_header.h"

namespace elevara {
namespace {

// The input's placement and datum for the copy, from the input's ENVI header, when that header
// describes a raster of the size typed in: read as another shape, the copy would be placed
// wrongly. Its cells of -9999.0 are 0.0 now, so the copy declares no ignore value.
std::optional<EnviGeoreference> CopiedGeoreference(FileSystem& fs,
                                                   const std::filesystem::path& input,
                                                   RasterSize size) {
  const std::optional<EnviHeaderFields> header = ReadEnviHeader(fs, input);
  if (!header || !header->mapInfo || header->samples != size.width ||
      header->lines != size.height) {
    return std::nullopt;
  }
  return EnviGeoreference{*header->mapInfo, header->coordinateSystem.value_or(""), false};
}

}  // namespace

void ReplaceNoData(std::span<float> samples) {
  // Equality of bit patterns, not of values: NaNs, -0.0 and the rest pass through unchanged.
  for (float& sample : samples) {
    if (std::bit_cast<std::uint32_t>(sample) == kNoDataBits) sample = 0.0f;
  }
}

NoDataInput NoDataInput::Open(FileSystem& fs, const std::filesystem::path& path, RasterSize size) {
  return NoDataInput(RasterReader::Open(fs, path, size.width), size);
}

std::optional<RasterSize> NoDataInput::sidecarSizeIfOther(FileSystem& fs) const {
  const std::optional<RasterSize> stated = ReadRawHeader(fs, path());
  if (stated && *stated != size_) return stated;
  return std::nullopt;
}

NoDataCopy NoDataCopy::Write(FileSystem& fs, Progress& progress, NoDataInput input,
                             const std::filesystem::path& output) {
  const RasterSize size = input.size();
  RasterWriter writer = RasterWriter::Create(fs, output, static_cast<std::int32_t>(size.width),
                                             static_cast<std::int32_t>(size.height));
  writer.setGeoreference(CopiedGeoreference(fs, input.path(), size));

  progress.startPhase(size.height);
  std::optional<RasterReader> reader(std::move(input.reader_));
  std::vector<float> row(static_cast<std::size_t>(size.width));
  NoDataCopy copy;
  try {
    for (std::int64_t r = 0; r < size.height; ++r) {
      // Samples beyond the input's end arrive as -9999.0 and so leave as 0.0.
      if (reader->readRow(r, row) < row.size()) copy.inputShort = true;
      ReplaceNoData(row);
      writer.writeRow(row);
      progress.step();
    }
  } catch (Interrupted& interrupted) {
    interrupted.unwritten.push_back(output);
    throw;
  }
  copy.inputLong = reader->extendsBeyond(size.height);
  reader.reset();  // closed before the output takes its name, which may be the input's
  writer.commit();
  return copy;
}

}  // namespace elevara
