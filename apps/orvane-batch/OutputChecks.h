#pragma once

// What each orvane-batch command writes and reads, handed to CheckOutputs before the command
// does any work. A refusal exits with kExitRefused.

#include "core/results/OutputPolicy.h"

#include <optional>
#include <string>
#include <vector>

namespace orvane {

// The single run: the t-s file (derived from the parameter file when -o is not given), the
// CSV tables and the figure files.
struct RunOutputNames {
    std::optional<std::string> parameterFile;
    std::optional<std::string> resultFile; // -o
    std::string derivedResultFile;         // the name the run makes up without -o
    std::optional<std::string> csv;
    std::optional<std::string> csvDistribution;
    std::optional<std::string> figure;
    std::optional<std::string> xlsx;
};
std::string CheckRunOutputs(const RunOutputNames& names, bool force);

// The study: its CSV and JSON lines tables and its figure.
std::string CheckStudyOutputs(const std::optional<std::string>& baseFile,
                              const std::optional<std::string>& csv,
                              const std::optional<std::string>& jsonl,
                              const std::optional<std::string>& figure,
                              const std::optional<std::string>& xlsx = std::nullopt);

// The sampled study: its tables, summary and figure; the model factor file is read.
struct SampledStudyOutputNames {
    std::optional<std::string> baseFile;
    std::optional<std::string> modelFactorFile;
    std::optional<std::string> csv;
    std::optional<std::string> jsonl;
    std::optional<std::string> summary;
    std::optional<std::string> figure;
};
std::string CheckSampledStudyOutputs(const SampledStudyOutputNames& names);

// The fit: per law a fitted parameter file, a CSV table and a figure. derived: the stems were
// made up from the measured file's name (no --output).
struct FitOutputNames {
    std::optional<std::string> parameterFile;
    std::string measuredFile;
    std::vector<std::string> seriesInputs; // the other measured and base files of a series
    std::vector<std::string> stems;        // one per law: STEM.orv, STEM.kvp and STEM.csv
    std::vector<std::string> figures;
    bool derived = false;
    std::optional<std::string> xlsx; // one workbook for every law
};
std::string CheckFitOutputs(const FitOutputNames& names, bool force);

// The validation: its CSV table, figure and model factor file, beside the test database and
// the base file.
std::string CheckValidateOutputs(const std::string& tests,
                                 const std::optional<std::string>& baseFile,
                                 const std::optional<std::string>& csv,
                                 const std::optional<std::string>& figure,
                                 const std::optional<std::string>& modelFactor,
                                 const std::optional<std::string>& xlsx);

// A command with one input file and one output named on the command line: codes (--csv) and
// convert (OUT).
std::string CheckSingleOutput(const std::optional<std::string>& input, const std::string& inputRole,
                              const std::string& output, const std::string& outputRole);

} // namespace orvane
