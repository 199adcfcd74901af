#include "fit/ParallelTasks.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace orvane {

void RunTasks(int count, int jobs, const std::function<void(int)>& task) {
    if (jobs <= 1 || count <= 1) {
        for (int i = 0; i < count; ++i) {
            task(i);
        }
        return;
    }
    std::atomic<int> next = 0;
    std::exception_ptr failure;
    std::mutex failureMutex;
    const auto work = [&] {
        for (int i = next++; i < count; i = next++) {
            try {
                task(i);
            } catch (...) {
                const std::lock_guard lock(failureMutex);
                if (!failure) {
                    failure = std::current_exception();
                }
                next = count; // the remaining tasks are not started
            }
        }
    };
    {
        std::vector<std::jthread> threads;
        for (int t = 1; t < std::min(jobs, count); ++t) {
            threads.emplace_back(work);
        }
        work();
    } // the threads join here
    if (failure) {
        std::rethrow_exception(failure);
    }
}

} // namespace orvane
