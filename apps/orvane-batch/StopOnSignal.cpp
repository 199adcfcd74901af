#include "apps/orvane-batch/StopOnSignal.h"

#include <pthread.h>

namespace orvane {

StopOnSignal::StopOnSignal() {
    sigemptyset(&m_signals);
    sigaddset(&m_signals, SIGINT);
    sigaddset(&m_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &m_signals, nullptr);
    m_watcher = std::jthread([this](std::stop_token ending) {
        const timespec wait{0, 100'000'000};
        while (!ending.stop_requested()) {
            if (sigtimedwait(&m_signals, nullptr, &wait) > 0) {
                m_stop.request_stop();
                return;
            }
        }
    });
}

} // namespace orvane
