#include "platform/parallel_jobs.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/errors.h"

namespace elevara {
namespace {

// How often the calling thread hands the workers' steps on: often enough for a bar that moves
// smoothly and an interrupt that is noticed at once, rarely enough to cost nothing.
constexpr std::chrono::milliseconds kHandOnInterval{10};

constexpr std::size_t kNoJob = std::numeric_limits<std::size_t>::max();

// What the calling thread and the workers of one run share.
class JobRun {
 public:
  JobRun(std::size_t count, const ParallelJob& job) : count_(count), job_(job) {}

  // A worker's life: jobs in the order of their numbers until none is left or the run stops.
  void work(int worker) {
    for (;;) {
      const std::size_t index = next_.fetch_add(1);
      if (index >= count_ || mustStop(index)) break;
      Steps steps(*this, index);
      try {
        job_(index, worker, steps);
      } catch (const Interrupted&) {
        // Stopped from outside: the run has its own reason already.
      } catch (...) {
        fail(index);
      }
    }
    std::lock_guard lock(mutex_);
    --running_;
    ended_.notify_all();
  }

  void started() {
    std::lock_guard lock(mutex_);
    ++running_;
  }
  void notStarted() {
    std::lock_guard lock(mutex_);
    --running_;
  }
  // Waits up to one hand-on interval; true once every worker has ended.
  bool waitForWorkers() {
    std::unique_lock lock(mutex_);
    return ended_.wait_for(lock, kHandOnInterval, [this] { return running_ == 0; });
  }
  std::int64_t steps() const { return steps_.load(std::memory_order_relaxed); }
  void stopAll() { stopAll_.store(true); }
  // After every worker has ended: the failure of the lowest-numbered job, if one failed.
  void rethrowFailure() const {
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  // A job's steps: counted for the calling thread, and where a job learns that it must stop.
  class Steps final : public Progress {
   public:
    Steps(JobRun& run, std::size_t index) : run_(run), index_(index) {}
    void startPhase(std::int64_t) override {}  // phases are the caller's
    void step() override {
      run_.steps_.fetch_add(1, std::memory_order_relaxed);
      poll();
    }
    void poll() override {
      if (run_.mustStop(index_)) throw Interrupted();
    }

   private:
    JobRun& run_;
    std::size_t index_;
  };

  // Jobs numbered above a failed one stop; earlier ones finish, since one worker would have.
  bool mustStop(std::size_t index) const {
    return stopAll_.load(std::memory_order_relaxed) ||
           index > firstFailed_.load(std::memory_order_relaxed);
  }

  void fail(std::size_t index) {
    std::lock_guard lock(mutex_);
    if (index < firstFailed_.load()) {
      firstFailed_.store(index);
      failure_ = std::current_exception();
    }
  }

  const std::size_t count_;
  const ParallelJob& job_;
  std::atomic<std::size_t> next_{0};
  std::atomic<std::int64_t> steps_{0};
  std::atomic<bool> stopAll_{false};
  std::atomic<std::size_t> firstFailed_{kNoJob};
  std::mutex mutex_;  // guards what follows
  std::condition_variable ended_;
  int running_ = 0;
  std::exception_ptr failure_;
};

// The workers of a run, stopped and joined whatever way the calling thread leaves.
class Workers {
 public:
  explicit Workers(JobRun& run) : run_(run) {}
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;
  ~Workers() {
    run_.stopAll();
    join();
  }

  void start(int count) {
    threads_.reserve(static_cast<std::size_t>(count));
    for (int worker = 0; worker < count; ++worker) {
      run_.started();
      try {
        threads_.emplace_back([this, worker] { run_.work(worker); });
      } catch (...) {
        run_.notStarted();
        throw;
      }
    }
  }
  void join() {
    for (std::thread& thread : threads_) {
      if (thread.joinable()) thread.join();
    }
  }

 private:
  JobRun& run_;
  std::vector<std::thread> threads_;
};

}  // namespace

int AvailableCores() {
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

void RunParallelJobs(Progress& progress, int workers, std::size_t count, const ParallelJob& job) {
  if (workers < 2 || count < 2) {
    for (std::size_t index = 0; index < count; ++index) job(index, 0, progress);
    return;
  }
  JobRun run(count, job);
  {
    Workers pool(run);
    pool.start(static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(workers), count)));
    std::int64_t taken = 0;
    for (bool ended = false; !ended;) {
      ended = run.waitForWorkers();
      // An exception here (an interrupt) stops and joins the workers on its way out; polled
      // too, for the workers may be where no step is taken for long.
      progress.poll();
      for (const std::int64_t done = run.steps(); taken < done; ++taken) progress.step();
    }
    pool.join();
  }
  run.rethrowFailure();
}

}  // namespace elevara
