// Arbitrary ".hd1" sidecars and ENVI headers beside a raster of a few bytes, through everything
// that reads them: the preview, the no-data copy and the merge's datum. Whatever they state, no
// size is used that a file cannot hold, the preview draws only a raster that holds what its
// sidecar states, and the copy is as long as the size given.
//
// Input: two bytes, the raster's length (little-endian); then the sidecar's text, a NUL byte and
// the ENVI header's text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "platform/progress.h"
#include "raster/envi_header.h"
#include "raster/nodata_replacement.h"
#include "raster/preview.h"
#include "raster/raw_raster.h"
#include "testkit/faulty_file_system.h"

namespace elevara::fuzz {
namespace {

void CheckHeaders(std::string_view input) {
  if (input.size() < 2) return;
  const std::size_t length =
      static_cast<unsigned char>(input[0]) | std::size_t{static_cast<unsigned char>(input[1])} << 8;
  const std::string_view texts = input.substr(2);
  const std::size_t nul = std::min(texts.find('\0'), texts.size());
  const std::filesystem::path raster = ScratchFolder() / "r";
  WriteBytes(raster, std::string(length, '\x41'));
  WriteBytes(SidecarPathFor(raster), texts.substr(0, nul));
  WriteBytes(EnviHeaderPathFor(raster), texts.substr(std::min(nul + 1, texts.size())));
  // The outputs need not reach the disk itself, which would cost more than all the rest.
  testing::FaultyFileSystem fs;
  fs.syncsDoNothing = true;
  SilentProgress progress;

  const std::optional<RasterSize> stated = ReadRawHeader(fs, raster);
  Check(!stated || RasterBytesOf(*stated).has_value(), "a sidecar size no file can hold");
  if (const std::optional<EnviHeaderFields> header = ReadEnviHeader(fs, raster)) {
    Check(RasterBytesOf({header->samples, header->lines}).has_value(),
          "a header size no file can hold");
    if (header->mapInfo) PlacementOfMapInfo(*header->mapInfo);
    if (header->coordinateSystem) DatumOfWkt(*header->coordinateSystem);
  }

  const std::filesystem::path picture = ScratchFolder() / "r.png";
  const PreviewOutcome preview = DrawPreview(fs, progress, raster, picture);
  if (preview.status == PreviewOutcome::Status::kWritten) {
    Check(stated && *RasterBytesOf(*stated) <= static_cast<std::int64_t>(length),
          "a preview of rows the raster does not hold");
  }

  const RasterSize typed{1, std::max<std::int64_t>(1, static_cast<std::int64_t>(length) / 4)};
  NoDataInput source = NoDataInput::Open(fs, raster, typed);
  if (source.sidecarSizeIfOther(fs)) return;
  const std::filesystem::path copy = ScratchFolder() / "copy";
  NoDataCopy::Write(fs, progress, std::move(source), copy);
  Check(std::filesystem::file_size(copy) == static_cast<std::uintmax_t>(typed.height) * 4,
        "a copy of another length than the size given");
}

}  // namespace
}  // namespace elevara::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  elevara::fuzz::CheckHeaders(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
