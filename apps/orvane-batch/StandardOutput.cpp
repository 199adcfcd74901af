#include "apps/orvane-batch/StandardOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <streambuf>
#include <unistd.h>

namespace orvane {

namespace {

// Takes nothing: every write through it fails.
class ClosedBuffer : public std::streambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

bool g_closedAtStart = false;

} // namespace

void GuardStandardOutput() {
    if (fcntl(STDOUT_FILENO, F_GETFD) != -1 || errno != EBADF) {
        return;
    }
    g_closedAtStart = true;
    const int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0 && devNull != STDOUT_FILENO) {
        dup2(devNull, STDOUT_FILENO);
        close(devNull);
    }
    static ClosedBuffer closed;
    std::cout.rdbuf(&closed);
}

std::string StandardOutputFailure() {
    errno = 0;
    std::cout.flush();
    const bool flushed = std::fflush(stdout) == 0;
    const int error = errno;
    if (flushed && !std::cout.fail() && !std::ferror(stdout)) {
        return {};
    }
    if (g_closedAtStart) {
        return std::strerror(EBADF);
    }
    return error != 0 ? std::strerror(error) : "the write failed";
}

} // namespace orvane
