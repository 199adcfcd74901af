#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>

namespace orvane {

// One line on standard error, rewritten now and then while a long command works, so that it
// is seen to be alive, and wiped at the end. Shown only on a terminal: a log or a pipe gets
// nothing. Any thread may show it.
class ProgressLine {
public:
    // quiet (--quiet) shows nothing, as off a terminal.
    explicit ProgressLine(bool quiet = false);

    // Shows the text that text() forms, at most every quarter second (text() is not called
    // in between); final shows it in any case.
    void show(const std::function<std::string()>& text, bool final = false);
    // Wipes the line, if it was ever shown.
    void clear();
    // false when standard error is not a terminal: nothing is shown.
    bool onTerminal() const { return m_terminal; }

private:
    const bool m_terminal;
    bool m_dirty = false;
    std::mutex m_mutex;
    std::chrono::steady_clock::time_point m_lastShown = std::chrono::steady_clock::now();
};

} // namespace orvane
