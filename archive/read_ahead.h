// A stream read ahead of its user by a thread of its own, a few blocks at most, so that making
// the bytes (inflating a ZIP member) and using them (reading a tile's tokens) overlap.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/file_system.h"

namespace elevara {

// The blocks a stream reads ahead into; a reader of many members lends them to one stream after
// the other.
using ReadAheadBlocks = std::vector<std::vector<char>>;

class ReadAheadStream final : public RawFile {
 public:
  static constexpr std::size_t kBlockSize = std::size_t{1} << 18;
  static constexpr std::size_t kBlocks = 4;  // at most 1 MiB ahead

  // Blocks for a stream, made before its thread starts, so that the thread allocates nothing and
  // cannot fail to.
  static std::shared_ptr<ReadAheadBlocks> MakeBlocks();

  // Reads `source` from its first byte to its end on the stream's thread and no other, into
  // `blocks` (of MakeBlocks(), used by no other stream while this one lives; new ones when
  // null). Every block is read holding `sourceLock`, which whoever else uses what the source
  // depends on (the archive a member lies in) holds too.
  ReadAheadStream(std::unique_ptr<RawFile> source, std::shared_ptr<std::mutex> sourceLock,
                  std::shared_ptr<ReadAheadBlocks> blocks = nullptr);
  ReadAheadStream(const ReadAheadStream&) = delete;
  ReadAheadStream& operator=(const ReadAheadStream&) = delete;
  // Stops the thread, which ends within the block it is reading, and closes the source.
  ~ReadAheadStream() override;

  // The source's bytes in order; its failure once the bytes before it are taken.
  std::size_t read(void* buffer, std::size_t size, std::error_code& error) override;
  // A stream has no positions.
  std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t size,
                     std::error_code& error) override;
  std::size_t write(const void* data, std::size_t size, std::error_code& error) override;
  void close(std::error_code& error) override;

 private:
  void produce();
  void stop();

  std::unique_ptr<RawFile> source_;
  std::shared_ptr<std::mutex> sourceLock_;
  std::mutex mutex_;  // guards what follows, up to the thread
  std::condition_variable changed_;
  std::shared_ptr<ReadAheadBlocks> blockStore_;
  ReadAheadBlocks& blocks_;  // a ring: `filled_` blocks from `first_` on are ready
  std::size_t sizes_[kBlocks] = {};
  std::size_t first_ = 0;
  std::size_t filled_ = 0;
  std::size_t taken_ = 0;  // bytes of the first ready block already read
  bool ended_ = false;     // the source has given its last block
  bool stopping_ = false;
  std::error_code failure_;
  std::thread thread_;  // last, so that it starts when everything above is there
};

}  // namespace elevara
