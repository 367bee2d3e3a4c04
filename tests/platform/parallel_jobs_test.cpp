// The pool's promises that the batch runs count on: every job once, every step taken on the
// calling thread, and a failure that comes out as one worker would meet it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/parallel_jobs.h"

namespace elevara {
namespace {

// Counts the steps, and whether each was taken on the thread that made it.
class CountedSteps final : public Progress {
 public:
  std::int64_t steps = 0;
  bool elsewhere = false;
  void startPhase(std::int64_t) override {}
  void step() override {
    ++steps;
    elsewhere = elsewhere || std::this_thread::get_id() != owner_;
  }

 private:
  std::thread::id owner_ = std::this_thread::get_id();
};

TEST(ParallelJobs, EveryJobRunsOnceAndAFailureIsTheFirstOneWorkerMeets) {
  for (int workers : {1, 3, 8}) {
    SCOPED_TRACE(workers);
    for (const std::vector<std::size_t>& failing : {std::vector<std::size_t>{}, {9, 23}}) {
      std::vector<std::atomic<int>> runs(40);
      CountedSteps progress;
      std::string failure;
      try {
        RunParallelJobs(progress, workers, runs.size(),
                        [&](std::size_t job, int worker, Progress& steps) {
                          EXPECT_LT(worker, workers);
                          ++runs[job];
                          for (std::size_t i = 0; i < job % 7; ++i) steps.step();
                          if (std::find(failing.begin(), failing.end(), job) != failing.end()) {
                            throw std::runtime_error(std::to_string(job));
                          }
                        });
      } catch (const std::runtime_error& error) {
        failure = error.what();
      }
      EXPECT_EQ(failure, failing.empty() ? "" : "9");
      std::int64_t steps = 0;
      for (std::size_t job = 0; job < runs.size(); ++job) {
        // Jobs after a failed one may or may not have started; none runs twice.
        EXPECT_EQ(runs[job], failing.empty() || job <= 9 ? 1 : std::min(runs[job].load(), 1));
        steps += runs[job] * static_cast<std::int64_t>(job % 7);
      }
      EXPECT_FALSE(progress.elsewhere);
      if (failing.empty()) {
        EXPECT_EQ(progress.steps, steps);
      }
    }
  }
}

}  // namespace
}  // namespace elevara
