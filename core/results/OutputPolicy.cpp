#include "core/results/OutputPolicy.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

namespace {

// Where an output lands: an existing file by device and inode, a new one by the real path of
// its directory and its name; a character device keeps nothing and may take several outputs.
struct Landing {
    bool exists = false;
    bool device = false;
    dev_t dev = 0;
    ino_t ino = 0;
    std::string newName;

    bool sameAs(const Landing& other) const {
        if (device || other.device) {
            return false;
        }
        if (exists || other.exists) {
            return exists && other.exists && dev == other.dev && ino == other.ino;
        }
        return newName == other.newName;
    }
};

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

const char* kindOf(mode_t mode) {
    return S_ISFIFO(mode)   ? "a named pipe"
           : S_ISSOCK(mode) ? "a socket"
           : S_ISBLK(mode)  ? "a block device"
           : S_ISDIR(mode)  ? "a directory"
                            : "a special file";
}

// A new name, seen through the symbolic links that lead to it: the file is made in the
// directory of the last link's target.
std::string newFileTarget(const std::string& path) {
    std::filesystem::path current = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!std::filesystem::is_symlink(current, error)) {
            return current.string();
        }
        const std::filesystem::path link = std::filesystem::read_symlink(current, error);
        if (error) {
            return current.string();
        }
        current = link.is_absolute() ? link : current.parent_path() / link;
    }
    return current.string();
}

// Fills landing for path; returns why path cannot be written, or an empty text.
std::string land(const std::string& path, Landing& landing) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (S_ISCHR(info.st_mode)) {
            landing.device = true;
            return {};
        }
        if (!S_ISREG(info.st_mode)) {
            return std::string("it is ") + kindOf(info.st_mode) +
                   "; an output is a regular file or a new name";
        }
        if (::access(path.c_str(), W_OK) != 0) {
            return std::string("it cannot be written: ") + std::strerror(errno);
        }
        landing.exists = true;
        landing.dev = info.st_dev;
        landing.ino = info.st_ino;
        return {};
    }
    if (errno != ENOENT) {
        return std::strerror(errno);
    }
    const std::filesystem::path target = newFileTarget(path);
    const std::string directory =
        target.has_parent_path() ? target.parent_path().string() : std::string(".");
    struct stat folder {};
    if (::stat(directory.c_str(), &folder) != 0) {
        return "the folder " + quoted(directory) + " does not exist";
    }
    if (!S_ISDIR(folder.st_mode)) {
        return quoted(directory) + " is not a folder";
    }
    if (::access(directory.c_str(), W_OK | X_OK) != 0) {
        return "the folder " + quoted(directory) + " cannot be written: " + std::strerror(errno);
    }
    char real[PATH_MAX];
    landing.newName = (::realpath(directory.c_str(), real) ? std::string(real) : directory) + "/" +
                      target.filename().string();
    return {};
}

} // namespace

std::string CheckOutputs(const std::vector<PolicyInput>& inputs,
                         const std::vector<PolicyOutput>& outputs, bool force) {
    std::vector<Landing> landed;
    const PolicyOutput* onStandardOutput = nullptr;
    for (const PolicyOutput& output : outputs) {
        const std::string named = output.role + " " + quoted(output.path);
        Landing landing;
        if (output.path == "-") {
            if (onStandardOutput) {
                return onStandardOutput->role + " and " + output.role +
                       " cannot both go to standard output";
            }
            onStandardOutput = &output;
            landing.device = true;
            landed.push_back(landing);
            continue;
        }
        if (const std::string reason = land(output.path, landing); !reason.empty()) {
            return named + ": " + reason;
        }
        for (const PolicyInput& input : inputs) {
            struct stat info {};
            // "-", standard input, is no file an output could land on.
            if (input.path != "-" && landing.exists && ::stat(input.path.c_str(), &info) == 0 &&
                info.st_dev == landing.dev && info.st_ino == landing.ino) {
                return named + " is " + input.role + " " + quoted(input.path) +
                       "; an output never replaces an input";
            }
        }
        for (std::size_t k = 0; k < landed.size(); ++k) {
            if (landing.sameAs(landed[k])) {
                return named + " is the same file as " + outputs[k].role + " " +
                       quoted(outputs[k].path) + "; each output needs a file of its own";
            }
        }
        if (landing.exists && output.derived && !force) {
            return named + " exists; give --force (-f) to replace it, or name the output";
        }
        landed.push_back(landing);
    }
    return {};
}

} // namespace orvane
