#pragma once

// The thread pool of studies and validations: tasks 0 … total−1 run on a few worker threads and
// their results reach the caller in task order, so that output files come out the same on any
// number of threads.

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

namespace orvane {

// At most kInFlightPerJob·jobs tasks are started and not yet handed out, so memory does not
// grow with the number of tasks.
inline constexpr int kInFlightPerJob = 4;

// Runs run(k, stop) for every k on `jobs` worker threads and hands the results to sink(result)
// on the calling thread in task order. On a stop request no new task starts, tasks under way
// see the stop, and nothing more reaches the sink: it has seen a gapless prefix of whole tasks.
// Returning false from sink stops in the same way. Returns the number of results handed out.
template <typename Result, typename Run, typename Sink>
std::int64_t RunInOrder(std::int64_t total, int jobs, const Run& run, const Sink& sink,
                        std::stop_token stop) {
    if (total == 0) {
        return 0;
    }
    jobs = int(std::clamp<std::int64_t>(jobs, 1, total));
    const std::int64_t window = std::int64_t(kInFlightPerJob) * jobs;

    // The only state the threads share: which task starts next, which is handed out next,
    // and the finished tasks waiting for their turn.
    std::mutex mutex;
    std::condition_variable_any changed;
    std::vector<std::optional<Result>> finished(static_cast<std::size_t>(window));
    std::int64_t next = 0;
    std::int64_t handedOut = 0;

    std::stop_source ending;
    const std::stop_callback forward(stop, [&ending] { ending.request_stop(); });
    const std::stop_token endingToken = ending.get_token();

    const auto work = [&] {
        for (;;) {
            std::int64_t k = 0;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, endingToken,
                             [&] { return next >= total || next < handedOut + window; });
                if (endingToken.stop_requested() || next >= total) {
                    return;
                }
                k = next++;
            }
            Result result = run(k, endingToken);
            {
                const std::lock_guard lock(mutex);
                finished[std::size_t(k % window)] = std::move(result);
            }
            changed.notify_all();
        }
    };

    std::vector<std::jthread> workers;
    workers.reserve(std::size_t(jobs));
    // However this function is left, even by an exception from the sink or from a thread that
    // cannot be created, the workers already started are told to end before they are joined.
    struct EndWorkers {
        std::stop_source& ending;
        ~EndWorkers() { ending.request_stop(); }
    } const endWorkers{ending};
    for (int j = 0; j < jobs; ++j) {
        workers.emplace_back(work);
    }
    while (handedOut < total) {
        Result result;
        {
            std::unique_lock lock(mutex);
            std::optional<Result>& slot = finished[std::size_t(handedOut % window)];
            changed.wait(lock, endingToken, [&] { return slot.has_value(); });
            if (endingToken.stop_requested()) {
                break;
            }
            result = std::move(*slot);
            slot.reset();
            ++handedOut;
        }
        changed.notify_all();
        if (!sink(result)) {
            ending.request_stop();
            break;
        }
    }
    return handedOut;
}

} // namespace orvane
