#pragma once

// An input file read whole, as every reader of the programs' inputs needs it: opened without
// waiting, so that a pipe without a writer cannot hang the reader, refused when it is not a
// regular file, and refused rather than cut when it holds more than the reader takes.

#include <cstddef>
#include <string>

namespace orvane {

enum class InputFileProblem {
    None,
    CannotRead,     // open, fstat or read failed; errorNumber holds errno (EISDIR for a folder)
    NotRegularFile, // a pipe, device or socket; nothing was read
    TooLarge,       // more than maxBytes
};

struct InputFile {
    InputFileProblem problem = InputFileProblem::None;
    int errorNumber = 0;
    std::string bytes; // the whole file when there is no problem
};

InputFile ReadInputFile(const std::string& path, std::size_t maxBytes);

} // namespace orvane
