#include "core/files/FileStatus.h"

#include <cassert>
#include <cstring>

namespace orvane {

FileStatus SystemFailure(FileFailure failure, const std::string& path, int errorNumber) {
    assert(failure == FileFailure::CannotOpen || failure == FileFailure::CannotWrite);
    const char* action = failure == FileFailure::CannotWrite ? "Cannot write" : "Cannot open";
    const char* reason = errorNumber != 0 ? std::strerror(errorNumber) : "unknown error";
    return {failure, errorNumber, std::string(action) + " \"" + path + "\": " + reason};
}

} // namespace orvane
