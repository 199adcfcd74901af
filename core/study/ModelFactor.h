#pragma once

// The model factor θ = test/predicted: how far the analysis is from the tests, as a lognormal
// variable of given mean and coefficient of variation. A validation against a test database
// writes it to a small TOML file:
//
//   [model_factor]
//   distribution = "lognormal"
//   mean = 1.17        # mean of test/predicted
//   cov = 0.27         # coefficient of variation of test/predicted
//   tests = 812        # tests behind it (optional)
//   model = "lu2005"   # the law the predictions used (optional)
//
// A sampled study multiplies each sample's capacity by a draw of θ.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

struct ModelFactor {
    double mean = 1;
    double cov = 0;
    std::optional<std::int64_t> tests;
    std::string model;  // empty when not given
    std::string source; // the file it was read from; empty when given as MEAN:COV

    // The lognormal's parameters: σ² = ln(1 + V²), μ = ln(mean) − σ²/2, so that the variable
    // itself has the given mean and coefficient of variation.
    double logMean() const;
    double logDeviation() const;
    // The definition as the command line takes it, lognormal:MEAN:COV.
    std::string definition() const;
};

struct ModelFactorRead {
    ModelFactor factor;
    std::string error; // names the file (or the text), the line or key and the fault
};

// The file's text for the factor, as a validation writes it; ParseModelFactorFile reads it back.
std::string FormatModelFactorFile(const ModelFactor& factor);

// MEAN:COV as given on a command line: mean > 0, 0 ≤ cov ≤ 2.
ModelFactorRead ParseModelFactorValues(std::string_view text);
// The file's text; name is how messages call the file.
ModelFactorRead ParseModelFactorFile(std::string_view text, const std::string& name);
ModelFactorRead ReadModelFactorFile(const std::string& path);
// As a user gives it: a file when one of that name is there (or the text has no colon), else
// MEAN:COV.
ModelFactorRead ReadModelFactor(const std::string& given);

} // namespace orvane
