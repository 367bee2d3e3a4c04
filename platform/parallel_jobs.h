// Work split into numbered jobs that a pool of worker threads runs, while the calling thread
// alone talks to the caller's Progress: it takes the steps the workers have counted, so that a
// window's bar moves (and its messages are processed) on the window's own thread, and an
// interrupt noticed there stops every worker.
#pragma once

#include <cstddef>
#include <functional>

#include "platform/progress.h"

namespace elevara {

// The cores of the machine, at least 1: how many workers "every core" means.
int AvailableCores();

// Job number `index`, run by worker number `worker` (0 to workers - 1; a worker runs one job at a
// time, so what is kept per worker needs no lock). It counts its progress steps in `steps`, whose
// step() throws Interrupted once the job is to stop, like any Progress.
using ParallelJob = std::function<void(std::size_t index, int worker, Progress& steps)>;

// Runs the jobs 0 to count - 1, each once, on at most `workers` threads; with fewer than two
// workers (or jobs), on the calling thread in order, with `progress` itself. A worker takes the
// lowest-numbered job not yet taken, so jobs start in the order of their numbers; work that must
// be done in order belongs in one job. Every step of a job is taken on `progress`, on the calling
// thread, which also waits there, and the steps of all jobs are as many as one worker takes.
//
// Failures come out as on one worker: a job that throws stops the run, no later-numbered job
// starts and those under way stop, earlier ones finish; then the exception of the lowest-numbered
// failed job is rethrown. An exception from `progress` (Interrupted) stops every job at its next
// step and is rethrown once every worker has ended. No worker outlives the call.
void RunParallelJobs(Progress& progress, int workers, std::size_t count, const ParallelJob& job);

}  // namespace elevara
