#pragma once

namespace orvane {

// orvane-batch study: a parametric study of a base data set. arguments[0] is "study".
int RunStudyCommand(int argc, char** argv);

extern const char* const kStudyUsage;

} // namespace orvane
