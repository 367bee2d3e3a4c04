// The token reader with buffers of a few bytes, so every token and every tag search crosses block
// boundaries and makes the buffer grow. Byte 0 picks the buffer size, bytes 1 and 2 a script of
// eight steps (next token, or a search for either tag); the rest is the file. After the script
// the remaining tokens are read to the end. Each result must match the plain in-memory reading.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "gml/gml_tokens.h"
#include "platform/files.h"

namespace elevara::fuzz {
namespace {

constexpr std::size_t kScriptBytes = 3;

class TokenReplay {
 public:
  TokenReplay(std::string_view bytes, std::size_t bufferSize)
      : memory_(bytes),
        tokens_(SplitTokens(bytes)),
        reader_(InputFile::Open(memory_, "tile.xml"), bufferSize) {}

  void next() {
    std::string_view token;
    const bool got = reader_.next(token);
    Check(got == (index_ < tokens_.size()), "token " + std::to_string(index_) + " presence");
    if (!got) return;
    Check(token == tokens_[index_],
          "token " + std::to_string(index_) + " is '" + std::string(token) + "'");
    ++index_;
  }

  void seek(std::string_view tag) {
    std::size_t want = index_;
    while (want < tokens_.size() && !IsTaggedToken(tokens_[want], tag)) ++want;
    const bool found = reader_.seekTagged(tag);
    Check(found == (want < tokens_.size()), "search for " + std::string(tag));
    index_ = want;  // the found token is the next one; without a hit, none is left
  }

  void readToTheEnd() {
    const std::size_t total = tokens_.size();
    while (index_ < total) next();
    next();  // and the end is an end
  }

 private:
  MemoryFileSystem memory_;
  std::vector<std::string_view> tokens_;
  GmlTokenReader reader_;
  std::size_t index_ = 0;
};

}  // namespace
}  // namespace elevara::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace elevara::fuzz;
  if (size < kScriptBytes) return 0;
  const std::size_t bufferSize = 1 + data[0] % 40;
  const unsigned script = unsigned{data[1]} | unsigned{data[2]} << 8;
  TokenReplay replay(
      std::string_view(reinterpret_cast<const char*>(data) + kScriptBytes, size - kScriptBytes),
      bufferSize);
  for (int step = 0; step < 8; ++step) {
    switch ((script >> (2 * step)) & 3u) {
      case 0:
      case 1:
        replay.next();
        break;
      case 2:
        replay.seek("startP");
        break;
      default:
        replay.seek("tupleL");
        break;
    }
  }
  replay.readToTheEnd();
  return 0;
}
