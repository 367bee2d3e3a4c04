#include "archive/read_ahead.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace elevara {

std::shared_ptr<ReadAheadBlocks> ReadAheadStream::MakeBlocks() {
  return std::make_shared<ReadAheadBlocks>(kBlocks, std::vector<char>(kBlockSize));
}

ReadAheadStream::ReadAheadStream(std::unique_ptr<RawFile> source,
                                 std::shared_ptr<std::mutex> sourceLock,
                                 std::shared_ptr<ReadAheadBlocks> blocks)
    : source_(std::move(source)),
      sourceLock_(std::move(sourceLock)),
      blockStore_(blocks != nullptr ? std::move(blocks) : MakeBlocks()),
      blocks_(*blockStore_),
      thread_([this] { produce(); }) {}

ReadAheadStream::~ReadAheadStream() {
  stop();
}

void ReadAheadStream::produce() {
  for (;;) {
    std::size_t slot;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stopping_ || filled_ < blocks_.size(); });
      if (stopping_) return;
      slot = (first_ + filled_) % blocks_.size();
    }
    // The slot is no reader's until it is counted as filled, so it is written unlocked.
    std::error_code error;
    std::size_t got;
    {
      std::lock_guard source(*sourceLock_);
      got = source_->read(blocks_[slot].data(), kBlockSize, error);
    }
    const bool last = error || got < kBlockSize;
    {
      std::lock_guard lock(mutex_);
      sizes_[slot] = got;
      if (got > 0) ++filled_;
      ended_ = last;
      failure_ = error;
    }
    changed_.notify_all();
    if (last) return;
  }
}

std::size_t ReadAheadStream::read(void* buffer, std::size_t size, std::error_code& error) {
  std::size_t done = 0;
  std::unique_lock lock(mutex_);
  while (done < size) {
    changed_.wait(lock, [this] { return filled_ > 0 || ended_; });
    if (filled_ == 0) {
      error = failure_;
      break;
    }
    const std::size_t part = std::min(size - done, sizes_[first_] - taken_);
    std::memcpy(static_cast<char*>(buffer) + done, blocks_[first_].data() + taken_, part);
    done += part;
    taken_ += part;
    if (taken_ == sizes_[first_]) {
      taken_ = 0;
      first_ = (first_ + 1) % blocks_.size();
      --filled_;
      changed_.notify_all();
    }
  }
  return done;
}

std::size_t ReadAheadStream::readAt(std::uint64_t, void*, std::size_t, std::error_code& error) {
  error = std::make_error_code(std::errc::operation_not_supported);
  return 0;
}

std::size_t ReadAheadStream::write(const void*, std::size_t, std::error_code& error) {
  error = std::make_error_code(std::errc::bad_file_descriptor);
  return 0;
}

void ReadAheadStream::close(std::error_code&) {
  stop();
}

void ReadAheadStream::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  // What the source holds on to (a member's archive) is the lock's to guard even as it goes.
  std::lock_guard source(*sourceLock_);
  source_.reset();
}

}  // namespace elevara
