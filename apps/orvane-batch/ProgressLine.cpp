#include "apps/orvane-batch/ProgressLine.h"

#include <iostream>
#include <unistd.h>

namespace orvane {

ProgressLine::ProgressLine(bool quiet) : m_terminal(!quiet && isatty(STDERR_FILENO) != 0) {
}

void ProgressLine::show(const std::function<std::string()>& text, bool final) {
    if (!m_terminal) {
        return;
    }
    const std::lock_guard lock(m_mutex);
    const auto now = std::chrono::steady_clock::now();
    if (!final && now - m_lastShown < std::chrono::milliseconds(250)) {
        return;
    }
    m_lastShown = now;
    std::cerr << "\r" << text() << "\033[K" << std::flush;
    m_dirty = true;
}

void ProgressLine::clear() {
    const std::lock_guard lock(m_mutex);
    if (m_dirty) {
        std::cerr << "\r\033[K" << std::flush;
        m_dirty = false;
    }
}

} // namespace orvane
