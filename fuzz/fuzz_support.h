// What the fuzz targets share besides the test support library: an in-memory input file, the
// name rules written the slow way, and a check that fails loudly under libFuzzer and in the
// replay tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/file_system.h"
#include "platform/folder_search.h"
#include "platform/unicode.h"
#include "testkit/files.h"
#include "testkit/plain_gml.h"

namespace elevara::fuzz {

using testing::IsTaggedToken;
using testing::SplitTokens;

// A broken promise of the code under test. Thrown rather than aborted, so the replay tests can
// name the input; under libFuzzer the uncaught exception still ends the run as a crash.
class CheckFailed : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

inline void Check(bool condition, const std::string& what) {
  if (!condition) throw CheckFailed(what);
}

// One folder per process, so parallel fuzzing jobs never share files; removed at exit.
inline const std::filesystem::path& ScratchFolder() {
  static const testing::TempFolder folder;
  return folder.path();
}

using testing::ReadBytes;
using testing::WriteBytes;

// Serves one byte string as the only file there is, so a reader can be driven without a disk.
class MemoryFileSystem final : public FileSystem {
 public:
  explicit MemoryFileSystem(std::string_view bytes) : bytes_(bytes) {}

  std::unique_ptr<RawFile> openRead(const std::filesystem::path&, std::error_code&) override {
    return std::make_unique<MemoryFile>(bytes_);
  }

 private:
  class MemoryFile final : public RawFile {
   public:
    explicit MemoryFile(std::string_view bytes) : bytes_(bytes) {}
    std::size_t read(void* buffer, std::size_t size, std::error_code& error) override {
      std::size_t got = readAt(position_, buffer, size, error);
      position_ += got;
      return got;
    }
    std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t size,
                       std::error_code&) override {
      if (offset >= bytes_.size()) return 0;
      std::size_t got = std::min<std::size_t>(size, bytes_.size() - offset);
      std::memcpy(buffer, bytes_.data() + offset, got);
      return got;
    }
    std::size_t write(const void*, std::size_t, std::error_code& error) override {
      error = std::make_error_code(std::errc::bad_file_descriptor);
      return 0;
    }
    void close(std::error_code&) override {}

   private:
    std::string_view bytes_;
    std::uint64_t position_ = 0;
  };

  std::string_view bytes_;
};

inline char Fold(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The match written the slow way: every split of the name that "*" can make is tried.
inline bool MatchSlowly(std::string_view pattern, std::string_view name) {
  // reach[n]: the name's first n bytes are matched by the pattern read so far.
  std::vector<char> reach(name.size() + 1, 0);
  reach[0] = 1;
  for (char p : pattern) {
    std::vector<char> next(name.size() + 1, 0);
    for (std::size_t n = 0; n <= name.size(); ++n) {
      if (p == '*') {
        // "*" stays where it is or steps on by whole characters.
        if (!reach[n] && !next[n]) continue;
        next[n] = 1;
        if (n < name.size()) next[n + CharacterLength(name, n)] = 1;
      } else if (reach[n] && n < name.size()) {
        if (p == '?') {
          next[n + CharacterLength(name, n)] = 1;
        } else if (Fold(p) == Fold(name[n])) {
          next[n + 1] = 1;
        }
      }
    }
    reach.swap(next);
  }
  return reach[name.size()] != 0;
}

inline std::string Folded(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) c = Fold(c);
  return folded;
}

// The order of the directory search, written the slow way: the folded names byte by byte, a
// shorter prefix first; names that fold alike by their raw bytes.
inline bool SlowNameLess(std::string_view a, std::string_view b) {
  const auto bytes = [](std::string_view s) {
    return std::vector<unsigned char>(s.begin(), s.end());
  };
  const std::string fa = Folded(a), fb = Folded(b);
  return fa != fb ? bytes(fa) < bytes(fb) : bytes(a) < bytes(b);
}

}  // namespace elevara::fuzz
