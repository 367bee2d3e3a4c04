// Replays a fuzz target's corpus as an ordinary test: every build, with any compiler and without
// libFuzzer, checks the seeds and every finding that was added to the corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "testkit/files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace elevara {
namespace {

TEST(FuzzCorpus, EveryInputKeepsTheTargetsPromises) {
  std::vector<std::filesystem::path> inputs;
  for (const auto& entry : std::filesystem::directory_iterator(ELEVARA_FUZZ_CORPUS)) {
    inputs.push_back(entry.path());
  }
  std::sort(inputs.begin(), inputs.end());
  ASSERT_FALSE(inputs.empty()) << "no corpus at " << ELEVARA_FUZZ_CORPUS;
  for (const auto& input : inputs) {
    const std::string bytes = testing::ReadBytes(input);
    try {
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    } catch (const std::exception& error) {
      ADD_FAILURE() << input.filename().string() << ": " << error.what();
    }
  }
}

}  // namespace
}  // namespace elevara
