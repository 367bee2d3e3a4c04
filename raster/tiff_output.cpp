#include "raster/tiff_output.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"

namespace elevara {

// The file as libtiff sees it: `start` holds its first bytes, all of them until
// startImageData(), after which the bytes appended go to the output.
struct TiffStream {
  TiffStream(FileSystem& fs, const std::filesystem::path& path)
      : file(AtomicOutputFile::Create(fs, path)), target(path) {}

  AtomicOutputFile file;
  std::filesystem::path target;
  std::vector<unsigned char> start;
  bool startFixed = false;
  std::uint64_t size = 0;
  std::uint64_t position = 0;
  // The first failure of the output, which libtiff only learns of as a short write.
  std::exception_ptr failure;

  tmsize_t read(void* buffer, tmsize_t count) {
    const std::uint64_t end = std::min<std::uint64_t>(position + count, start.size());
    if (position >= end) return 0;  // image data is never read back
    std::memcpy(buffer, start.data() + position, end - position);
    const auto got = static_cast<tmsize_t>(end - position);
    position = end;
    return got;
  }

  tmsize_t write(const void* data, tmsize_t count) {
    const auto bytes = static_cast<std::uint64_t>(count);
    if (!startFixed || position + bytes <= start.size()) {
      if (position + bytes > start.size()) start.resize(position + bytes);
      std::memcpy(start.data() + position, data, bytes);
    } else if (position == size) {
      try {
        file.write(data, bytes);
      } catch (...) {
        if (!failure) failure = std::current_exception();
        return 0;
      }
    } else {
      return 0;  // image data is written once, at the end
    }
    position += bytes;
    size = std::max(size, position);
    return count;
  }

  toff_t seek(toff_t offset, int whence) {
    if (whence == SEEK_CUR) offset += position;
    if (whence == SEEK_END) offset += size;
    position = offset;
    return position;
  }
};

namespace {

TiffStream& StreamOf(thandle_t handle) {
  return *static_cast<TiffStream*>(handle);
}

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t count) {
  return StreamOf(handle).read(buffer, count);
}
tmsize_t WriteProc(thandle_t handle, void* data, tmsize_t count) {
  return StreamOf(handle).write(data, count);
}
toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  return StreamOf(handle).seek(offset, whence);
}
int CloseProc(thandle_t) {
  return 0;
}
toff_t SizeProc(thandle_t handle) {
  return StreamOf(handle).size;
}
int MapProc(thandle_t, void**, toff_t*) {
  return 0;
}
void UnmapProc(thandle_t, void*, toff_t) {}

// libtiff's messages would go to standard error, which belongs to the front end: a failure is
// reported by the call's result instead, and a warning (a tag it does not know, read back) is
// no concern of the writer.
int Silenced(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

}  // namespace

TiffOutput::TiffOutput(FileSystem& fs, const std::filesystem::path& target, bool big)
    : stream_(std::make_unique<TiffStream>(fs, target)) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetErrorHandlerExtR(options, Silenced, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, Silenced, nullptr);
  // "l": little-endian on every host, so every build writes the same bytes; "m": no mapping.
  tiff_ = TIFFClientOpenExt("elevara", big ? "w8lm" : "wlm", stream_.get(), ReadProc, WriteProc,
                            SeekProc, CloseProc, SizeProc, MapProc, UnmapProc, options);
  TIFFOpenOptionsFree(options);
  check(tiff_ != nullptr);
}

TiffOutput::~TiffOutput() {
  // What the handle still writes on its way out goes to an output that is then abandoned.
  if (tiff_ != nullptr) TIFFClose(tiff_);
}

void TiffOutput::check(bool succeeded) const {
  if (succeeded) return;
  if (stream_->failure) std::rethrow_exception(stream_->failure);
  throw FileError(FileAction::kWrite, stream_->target, std::make_error_code(std::errc::io_error));
}

void TiffOutput::startImageData() {
  stream_->file.write(stream_->start.data(), stream_->start.size());
  stream_->startFixed = true;
}

void TiffOutput::commit() {
  if (!stream_->startFixed) startImageData();
  TIFF* closing = std::exchange(tiff_, nullptr);
  const bool flushed = TIFFFlush(closing) == 1;
  TIFFClose(closing);
  check(flushed);
  check(!stream_->failure);
  stream_->file.overwrite(0, stream_->start.data(), stream_->start.size());
  stream_->file.commit();
}

}  // namespace elevara
