#pragma once

namespace orvane {

// orvane-batch codes: the design codes' single-joint checks of a data set. argv[0] is "codes".
int RunCodesCommand(int argc, char** argv);

extern const char* const kCodesUsage;

} // namespace orvane
