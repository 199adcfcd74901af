#include "apps/orvane-batch/StopOnSignal.h"

#include <pthread.h>

namespace orvane {

StopOnSignal::StopOnSignal() {
    sigemptyset(&m_signals);
    sigaddset(&m_signals, SIGINT);
    sigaddset(&m_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &m_signals, nullptr);
    m_watcher = std::jthread([this](std::stop_token ending) {
        int signal = 0;
        sigwait(&m_signals, &signal);
        if (!ending.stop_requested()) {
            m_stop.request_stop();
        }
    });
}

StopOnSignal::~StopOnSignal() {
    // The command is over: wake the watcher at once with a signal of its own, so that no run
    // waits at its end for a Ctrl+C that will not come.
    m_watcher.request_stop();
    pthread_kill(m_watcher.native_handle(), SIGTERM);
}

} // namespace orvane
