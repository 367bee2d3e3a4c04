#include "commands/nodata_command.h"

#include "commands/services.h"
#include "commands/text_fields.h"

namespace elevara {
namespace {

std::string SizeText(std::int64_t width, std::int64_t height) {
  return "横 " + std::to_string(width) + " ピクセル × 縦 " + std::to_string(height) + " ライン";
}

// From the chosen input on: opened, its size checked against its sidecar, the save dialog, the
// copy. The input is closed again before any message.
CommandResult CopyWithoutNoData(Services& services, const std::filesystem::path& inputPath,
                                RasterSize size) {
  using namespace nodata_text;
  FileSystem& fs = services.fileSystem();
  std::optional<NoDataInput> input = NoDataInput::Open(fs, inputPath, size);
  if (auto stated = input->sidecarSizeIfOther(fs)) {
    input.reset();
    services.showMessage(SizeMismatchMessage(*stated, size));
    return {CommandOutcome::kOutOfRange, {}};
  }
  auto outputPath = services.runSaveDialog(kSaveTitle);
  if (!outputPath) {
    input.reset();
    services.showMessage(kNoOutput);
    return {CommandOutcome::kCancelled, {}};
  }
  ServicesProgress progress(services);
  const NoDataCopy copy = NoDataCopy::Write(fs, progress, std::move(*input), *outputPath);
  services.showMessage(NoDataReport(copy));
  progress.reset();
  return {CommandOutcome::kFinished, {}, copy.inputShort || copy.inputLong};
}

}  // namespace

const char* NoDataSizeProblem(std::int32_t width, std::int32_t height) {
  using namespace nodata_text;
  if (width < 1) return kWidthTooSmall;
  if (width > kMaxNoDataWidth) return kWidthTooLarge;
  if (height < 1) return kHeightTooSmall;
  return nullptr;
}

std::string SizeMismatchMessage(const RasterSize& sidecar, const RasterSize& typed) {
  using namespace nodata_text;
  return std::string(kSizeMismatch) + "\n" + kSidecarSize +
         SizeText(sidecar.width, sidecar.height) + "\n" + kTypedSize +
         SizeText(typed.width, typed.height) + "\n再度、実行してください";
}

std::string NoDataReport(const NoDataCopy& copy) {
  std::string report = kFinishedMessage;
  if (copy.inputShort) report += std::string("\n") + nodata_text::kInputShort;
  if (copy.inputLong) report += std::string("\n") + nodata_text::kInputLong;
  return report;
}

CommandResult RunNoDataReplacement(Services& services, std::string_view widthText,
                                   std::string_view heightText) {
  const std::int32_t width = ConvertEditInteger(widthText);
  const std::int32_t height = ConvertEditInteger(heightText);
  if (const char* problem = NoDataSizeProblem(width, height)) {
    services.showMessage(problem);
    return {CommandOutcome::kOutOfRange, {}};
  }
  auto inputPath = services.runOpenDialog(nodata_text::kOpenTitle, nodata_text::kOpenFilter);
  if (!inputPath) {
    services.showMessage(nodata_text::kNoInput);
    return {CommandOutcome::kCancelled, {}};
  }
  return RunReportingFileErrors(services, [&] {
    return CopyWithoutNoData(services, *inputPath, {width, height});
  });
}

}  // namespace elevara
