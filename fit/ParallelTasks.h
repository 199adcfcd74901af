#pragma once

// Independent tasks on a few threads: each task is one model run or a chain of runs that
// shares nothing mutable with the others.

#include <functional>

namespace orvane {

// Runs task(i) for every i in [0, count) on up to jobs threads and returns when all have
// finished. Tasks are taken in index order; with jobs ≤ 1 they run on the calling thread.
// An exception thrown by a task is rethrown here after every thread has stopped.
void RunTasks(int count, int jobs, const std::function<void(int)>& task);

} // namespace orvane
