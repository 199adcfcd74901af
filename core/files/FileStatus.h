#pragma once

#include <string>

namespace orvane {

// Why a file operation failed. The core only reports; the window layer and the batch
// command turn a failure into a message for the user.
enum class FileFailure {
    None,
    CannotOpen,     // the file could not be opened or created: missing directory, no
                    // permission, invalid name; errorNumber holds errno
    CannotWrite,    // a write, flush, close or the final rename failed: a full disk, an I/O
                    // error; errorNumber holds errno
    TooFewLines,    // a parameter file ends before its seventeenth line; a data error
    NotCp932,       // a parameter file is not valid Shift-JIS text; a data error
    NotText,        // a parameter file line holds NUL or another control character (tab
                    // aside); a data error
    NotRegularFile, // the path names a pipe, device or socket, which a parameter file never
                    // is; nothing was read
    NotDataSet,     // a data-set file that is not TOML, or holds a missing, unknown or
                    // wrongly typed key, or a later format; a data error
    Unencodable,    // a text holds a character or line break a file cannot store, or the
                    // texts are too long for it; nothing was written. A parameter-file save
                    // gives errorNumber EILSEQ or EFBIG, so that every failed save has a number
};

struct FileStatus {
    FileFailure failure = FileFailure::None;
    int errorNumber = 0; // errno of the failed operation; 0 for data errors read from a file
    std::string message; // names the file and the reason, ready to show to the user

    bool ok() const { return failure == FileFailure::None; }
};

// A failure of a system call on path, from errno.
FileStatus SystemFailure(FileFailure failure, const std::string& path, int errorNumber);

} // namespace orvane
