#pragma once

#include <cerrno>
#include <unistd.h>

namespace orvane {

// A file descriptor closed when it goes out of scope.
class UniqueFd {
public:
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { close(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return m_fd; }
    void reset(int fd) {
        close();
        m_fd = fd;
    }
    // 0, or the errno of a failed close. On Linux the descriptor is gone even then.
    int close() {
        if (m_fd < 0) {
            return 0;
        }
        const int result = ::close(m_fd);
        m_fd = -1;
        // EINTR leaves nothing unwritten once the data has been synced.
        return result == 0 || errno == EINTR ? 0 : errno;
    }

private:
    int m_fd;
};

} // namespace orvane
