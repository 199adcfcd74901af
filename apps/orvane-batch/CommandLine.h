#pragma once

// The command line of orvane-batch, read with CLI11: the run (no command name), `study`,
// `fit`, `convert` and `codes`, each with its own options and help.

#include "apps/orvane-batch/BatchOptions.h"
#include "apps/orvane-batch/CodesCommand.h"
#include "apps/orvane-batch/ConvertCommand.h"
#include "apps/orvane-batch/FitCommand.h"
#include "apps/orvane-batch/StudyCommand.h"
#include "apps/orvane-batch/ValidateCommand.h"

#include <string>
#include <vector>

namespace orvane {

enum class Command { Run, Study, StudyMerge, Fit, Convert, Codes, Validate };

struct CommandLine {
    Command command = Command::Run;
    BatchOptions run;
    StudyOptions study;
    StudyMergeOptions studyMerge;
    FitOptions fit;
    ConvertOptions convert;
    CodesOptions codes;
    ValidateOptions validate;
    std::string error; // empty when the command line is valid
    std::string help;  // the command's help text, when asked for or after an error

    bool helpAsked() const {
        return run.help || study.help || studyMerge.help || fit.help || convert.help ||
               codes.help || validate.help;
    }
    bool figureAsked() const {
        return run.figurePath || study.figure || studyMerge.figure || fit.figureFile ||
               validate.figure;
    }
};

// Reads the arguments after the program name. A command name comes first; long options take
// their value as the next argument or after '=' and may be shortened to a unique prefix,
// short options may be grouped, "--" ends the options, and options and the file may come in
// any order. An empty value or file name is refused.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// "orvane-batch", "orvane-batch study" or "orvane-batch fit": how messages begin.
std::string CommandName(Command command);

} // namespace orvane
