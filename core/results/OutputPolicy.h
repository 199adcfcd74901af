#pragma once

// What a command may write, checked before it does any work: an output never replaces one of
// the command's inputs or another of its outputs, goes only into a directory that exists and
// takes files, and is a regular file or a new name (or a character device such as /dev/null,
// which keeps nothing). A name the program derived itself never replaces an existing file
// unless the user forces it; a name the user typed is replaced, as asked.

#include <string>
#include <vector>

namespace orvane {

struct PolicyInput {
    std::string path;
    std::string role; // "the parameter file", "the measured file"
};

struct PolicyOutput {
    std::string path;     // "-" is standard output
    std::string role;     // how the user asked for it: "--csv", "the result file"
    bool derived = false; // the program made the name up
};

// Returns the first refusal, naming the output, the file and the reason; empty when every
// output may be written. Files are compared as files on disk (device and inode), so symbolic
// and hard links to an input are found; new names by their directory and name.
std::string CheckOutputs(const std::vector<PolicyInput>& inputs,
                         const std::vector<PolicyOutput>& outputs, bool force);

} // namespace orvane
