#pragma once

#include <csignal>
#include <stop_token>
#include <thread>

namespace orvane {

// Ctrl+C and a termination request stop the command between two steps or points, so that
// every output is closed with whole records and says it stopped: the signals are blocked in
// every thread and taken by one watcher, which may then use the stop source (a handler could
// not). Make it before any other thread starts, so that they inherit the blocked signals. The
// signals stay blocked after it ends: a second Ctrl+C while the outputs close is not lost
// as a kill that tears them.
class StopOnSignal {
public:
    StopOnSignal();
    ~StopOnSignal();
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;

    std::stop_token token() const { return m_stop.get_token(); }
    bool stopped() const { return m_stop.stop_requested(); }

private:
    sigset_t m_signals;
    std::stop_source m_stop;
    std::jthread m_watcher;
};

} // namespace orvane
