#include "raster/nodata_replacement.h"

#include <bit>
#include <vector>

#include "platform/services.h"
#include "platform/text.h"
#include "raster/envi_header.h"
#include "raster/raw_raster.h"

namespace elevara {

namespace {

std::string SizeText(std::int64_t width, std::int64_t height) {
  return "横 " + std::to_string(width) + " ピクセル × 縦 " + std::to_string(height) + " ライン";
}

std::string SizeMismatchMessage(const RasterSize& sidecar, const RasterSize& typed) {
  using namespace nodata_text;
  return std::string(kSizeMismatch) + "\n" + kSidecarSize +
         SizeText(sidecar.width, sidecar.height) + "\n" + kTypedSize +
         SizeText(typed.width, typed.height) + "\n再度、実行してください";
}

}  // namespace

void ReplaceNoData(std::span<float> samples) {
  // Equality of bit patterns, not of values: NaNs, -0.0 and the rest pass through unchanged.
  for (float& sample : samples) {
    if (std::bit_cast<std::uint32_t>(sample) == kNoDataBits) sample = 0.0f;
  }
}

namespace {

// The input's placement and datum for the copy, from the input's ENVI header, when that header
// describes a raster of the size typed in: read as another shape, the copy would be placed
// wrongly. Its cells of -9999.0 are 0.0 now, so the copy declares no ignore value.
std::optional<EnviGeoreference> CopiedGeoreference(FileSystem& fs,
                                                   const std::filesystem::path& input,
                                                   std::int32_t width, std::int32_t height) {
  const std::optional<EnviHeaderFields> header = ReadEnviHeader(fs, input);
  if (!header || !header->mapInfo || header->samples != width || header->lines != height) {
    return std::nullopt;
  }
  return EnviGeoreference{*header->mapInfo, header->coordinateSystem.value_or(""), false};
}

}  // namespace

CommandResult RunNoDataReplacement(Services& services, std::string_view widthText,
                                   std::string_view heightText) {
  using namespace nodata_text;
  const std::int32_t width = ConvertEditInteger(widthText);
  const std::int32_t height = ConvertEditInteger(heightText);
  const char* rangeMessage = width < 1                 ? kWidthTooSmall
                             : width > kMaxNoDataWidth ? kWidthTooLarge
                             : height < 1              ? kHeightTooSmall
                                                       : nullptr;
  if (rangeMessage != nullptr) {
    services.showMessage(rangeMessage);
    return {CommandOutcome::kOutOfRange, {}};
  }

  auto inputPath = services.runOpenDialog(kOpenTitle, kOpenFilter);
  if (!inputPath) {
    services.showMessage(kNoInput);
    return {CommandOutcome::kCancelled, {}};
  }

  return RunReportingFileErrors(services, [&]() -> CommandResult {
    FileSystem& fs = services.fileSystem();
    std::optional<RasterReader> input = RasterReader::Open(fs, *inputPath, width);
    // Typed sizes that do not fit the input would wrap its rows into another shape without a
    // sign of it; the sidecar of an input written by one of the commands tells its real size.
    const RasterSize typed{width, height};
    if (auto stated = ReadRawHeader(fs, *inputPath); stated && *stated != typed) {
      input.reset();
      services.showMessage(SizeMismatchMessage(*stated, typed));
      return {CommandOutcome::kOutOfRange, {}};
    }

    auto outputPath = services.runSaveDialog(kSaveTitle);
    if (!outputPath) {
      input.reset();
      services.showMessage(kNoOutput);
      return {CommandOutcome::kCancelled, {}};
    }
    // The output goes to a temporary file first, so an output chosen over the input replaces it
    // only after the input has been read whole.
    RasterWriter output = RasterWriter::Create(fs, *outputPath, width, height);
    output.setGeoreference(CopiedGeoreference(fs, *inputPath, width, height));

    Progress progress(services);
    progress.startPhase(height);
    std::vector<float> row(static_cast<std::size_t>(width));
    bool inputShort = false;
    for (std::int32_t r = 0; r < height; ++r) {
      // Samples beyond the input's end arrive as -9999.0 and so leave as 0.0.
      if (input->readRow(r, row) < row.size()) inputShort = true;
      ReplaceNoData(row);
      output.writeRow(row);
      progress.step();
    }
    const bool inputLong = input->extendsBeyond(height);
    input.reset();
    output.commit();

    std::string report = kFinishedMessage;
    if (inputShort) report += std::string("\n") + kInputShort;
    if (inputLong) report += std::string("\n") + kInputLong;
    services.showMessage(report);
    progress.reset();
    return {CommandOutcome::kFinished, {}, inputShort || inputLong};
  });
}

}  // namespace elevara
