#include "core/files/InputFile.h"

#include "core/files/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

InputFile ReadInputFile(const std::string& path, std::size_t maxBytes) {
    InputFile file;
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0) {
        file.problem = InputFileProblem::CannotRead;
        file.errorNumber = errno;
        return file;
    }
    if (S_ISDIR(info.st_mode)) {
        file.problem = InputFileProblem::CannotRead;
        file.errorNumber = EISDIR;
        return file;
    }
    if (!S_ISREG(info.st_mode)) {
        file.problem = InputFileProblem::NotRegularFile;
        return file;
    }
    // One byte past the limit tells a file that is too large from one that just fits.
    while (file.bytes.size() <= maxBytes) {
        char chunk[65536];
        const ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            file.problem = InputFileProblem::CannotRead;
            file.errorNumber = errno;
            file.bytes.clear();
            return file;
        }
        if (got == 0) {
            return file;
        }
        file.bytes.append(chunk, std::size_t(got));
    }
    file.problem = InputFileProblem::TooLarge;
    file.bytes.clear();
    return file;
}

} // namespace orvane
