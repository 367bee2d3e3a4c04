#include "raster/png_writer.h"

#include <png.h>

#include <csetjmp>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/files.h"

namespace elevara {

// libpng reports an error by a long jump back to the last setjmp. So that the jump skips no
// destructor, every libpng call runs in Guarded() below, the callbacks hold no object with a
// destructor when they jump, and the encoded bytes are only collected by the write callback:
// they reach the file, which may throw, back in ordinary code.
struct PngState {
  PngState(AtomicOutputFile file, std::uint32_t imageWidth, std::uint32_t imageHeight)
      : output(std::move(file)), width(imageWidth), height(imageHeight) {}
  ~PngState() { png_destroy_write_struct(&png, &info); }

  AtomicOutputFile output;
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t rowsWritten = 0;
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::vector<unsigned char> encoded;  // bytes libpng has produced that are not in the file yet
  std::string error;                   // libpng's last error message
};

namespace {

void OnError(png_structp png, png_const_charp message) {
  auto* error = static_cast<std::string*>(png_get_error_ptr(png));
  try {
    *error = message != nullptr ? message : "";
  } catch (...) {  // out of memory: the message is lost, the failure is not
  }
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void OnWrite(png_structp png, png_bytep data, size_t size) {
  auto* encoded = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
  bool stored = true;
  try {
    encoded->insert(encoded->end(), data, data + size);
  } catch (...) {
    stored = false;
  }
  if (!stored) png_error(png, "out of memory");
}

void OnFlush(png_structp) {}

template <typename Call>
bool Guarded(png_structp png, const Call& call) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  call();
  return true;
}

// Runs `call` with libpng's structures, then moves what it encoded into the file.
template <typename Call>
void Run(PngState& state, const Call& call) {
  if (!Guarded(state.png, [&] { call(state.png, state.info); })) {
    throw std::runtime_error("libpng: " + state.error);
  }
  state.output.write(state.encoded.data(), state.encoded.size());
  state.encoded.clear();
}

}  // namespace

PngWriter PngWriter::Create(FileSystem& fs, const std::filesystem::path& path, std::uint32_t width,
                            std::uint32_t height) {
  auto state = std::make_unique<PngState>(AtomicOutputFile::Create(fs, path), width, height);
  state->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state->error, OnError, OnWarning);
  if (state->png != nullptr) state->info = png_create_info_struct(state->png);
  if (state->info == nullptr) throw std::bad_alloc();
  Run(*state, [&](png_structp png, png_infop info) {
    png_set_write_fn(png, &state->encoded, OnWrite, OnFlush);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
  });
  return PngWriter(std::move(state));
}

PngWriter::PngWriter(std::unique_ptr<PngState> state) : state_(std::move(state)) {}
PngWriter::PngWriter(PngWriter&&) noexcept = default;
PngWriter::~PngWriter() = default;

void PngWriter::writeRow(std::span<const std::uint8_t> rgba) {
  if (rgba.size() != std::size_t{4} * state_->width || state_->rowsWritten == state_->height) {
    throw std::logic_error("PNG row of the wrong size, or one row too many");
  }
  Run(*state_, [&](png_structp png, png_infop) { png_write_row(png, rgba.data()); });
  ++state_->rowsWritten;
}

void PngWriter::commit() {
  if (state_->rowsWritten != state_->height) throw std::logic_error("PNG rows missing");
  Run(*state_, [](png_structp png, png_infop info) { png_write_end(png, info); });
  state_->output.commit();
}

}  // namespace elevara
