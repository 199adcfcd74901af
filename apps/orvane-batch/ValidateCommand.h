#pragma once

#include <optional>
#include <string>

namespace orvane {

// The options of orvane-batch validate: every test of a database run, the predictions of
// Orvane and of the design codes set against the measured loads.
struct ValidateOptions {
    std::string tests;                      // --tests: the test database (CSV)
    std::string lawFrom = "lu2005";         // --law-from: the model that derives each test's law
    int jobs = 0;                           // 0: one per processor
    std::optional<std::string> csv;         // one row per test; "-": standard output
    bool json = false;                      // the statistics as one JSON object
    std::optional<std::string> figure;      // predicted against measured
    std::optional<std::string> modelFactor; // the model factor file (TOML)
    int shard = 1;                          // --shard K/N: the K-th of N parts of the rows
    int shards = 1;
    std::optional<std::string> baseFile;
    std::optional<std::string> xlsx; // --xlsx: the tests and predictions as a workbook
    bool quiet = false; // no progress line and no text report: errors and warnings only
    bool help = false;
};

// Runs the validation; returns the exit status.
int RunValidateCommand(const ValidateOptions& options);

} // namespace orvane
