#pragma once

#include <string>

namespace orvane {

// A program started with standard output closed: descriptor 1 is given /dev/null, so that no
// file opened later takes its place and receives what was meant for standard output, and
// std::cout fails every write, so that the loss is told. Call first thing in main.
void GuardStandardOutput();

// Flushes standard output; empty when everything written to it arrived, else the reason
// ("No space left on device"). Run at the end of every command.
std::string StandardOutputFailure();

} // namespace orvane
