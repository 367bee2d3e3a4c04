#include "gml/value_file.h"

#include <algorithm>
#include <utility>

namespace elevara {
namespace {

constexpr std::size_t kValueBufferSize = std::size_t{1} << 20;
// Twice the output file's own buffer, so that full blocks go straight to the file.
constexpr std::size_t kValueWriteBlockSize = std::size_t{2} << 20;

}  // namespace

ValueFileWriter::ValueFileWriter(OutputFile file)
    : file_(std::move(file)), buffer_(kValueWriteBlockSize) {}

void ValueFileWriter::close() {
  flush();
  file_.close();
}

void ValueFileWriter::flush() {
  file_.write(buffer_.data(), used_);
  used_ = 0;
}

ValueFileReader::ValueFileReader(InputFile file)
    : file_(std::move(file)),
      capacity_(kValueBufferSize),
      buffer_(capacity_ + ValueTextKey::kMaxSize) {}

std::string_view ValueFileReader::nextLine() {
  for (;;) {
    const char* start = buffer_.data() + pos_;
    const void* lf = std::memchr(start, '\n', end_ - pos_);
    if (lf != nullptr) {
      std::string_view line(start, static_cast<const char*>(lf) - start);
      pos_ += line.size() + 1;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      return line;
    }
    if (!refill()) {  // a last line without LF, or nothing: no-data either way
      std::string_view line(buffer_.data() + pos_, end_ - pos_);
      pos_ = end_;
      return line;
    }
  }
}

bool ValueFileReader::refill() {
  const std::size_t kept = end_ - pos_;
  std::memmove(buffer_.data(), buffer_.data() + pos_, kept);
  pos_ = 0;
  end_ = kept;
  if (eof_) return false;
  if (kept == capacity_) {
    capacity_ *= 2;
    buffer_.resize(capacity_ + ValueTextKey::kMaxSize);
  }
  const std::size_t room = capacity_ - kept;
  const std::size_t got = file_.read(buffer_.data() + kept, room);
  end_ += got;
  if (got < room) eof_ = true;
  return got > 0;
}

}  // namespace elevara
