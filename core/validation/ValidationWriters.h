#pragma once

// What a validation leaves: the table of every test with every prediction (CSV), the
// statistics as text and as JSON, the model factor file, and the figure of predicted against
// measured loads.

#include "core/results/RunFigure.h"
#include "core/validation/Validation.h"

#include <span>
#include <string>
#include <string_view>

namespace orvane {

// One row per test, CR LF: line, id, source, the inputs in N-mm units, Pu, Orvane's load, its
// Δl and runs, each code's load (empty out of its scope), and the problem (empty when used).
// Metadata lines start with "# ": the program, the law, the tests and the rows left out.
std::string ValidationCsv(std::span<const TestResult> results, std::string_view law);

// The statistics, one table per group, for the terminal.
std::string ValidationText(const ValidationSummary& summary, std::string_view law);

// One JSON object: program, version, law, tests, refused, warnings, models (the whole
// database) and groups (each with kind, value, tests and its models).
std::string ValidationJson(const ValidationSummary& summary, std::string_view law,
                           std::span<const std::string> warnings);

// The model factor θ = test/predicted of Orvane's predictions as a lognormal variable, fitted
// by its moments: the file's mean and CoV are the sample's (TOML, shared with the sampling
// study).
std::string ModelFactorText(const ModelStatistics& orvane, std::string_view law);

// Predicted against measured ultimate loads, kN, both axes logarithmic (the values' log10 on
// the axes, ticks at 1, 2 and 5 times the powers of ten), the line of equality, and Orvane's
// and the first in-scope code's points.
FigureData MakeValidationFigure(std::span<const TestResult> results, std::string_view law);

// The warnings an engineer reads beside the statistics: rows left out, few tests.
std::vector<std::string> ValidationWarnings(const ValidationSummary& summary);

} // namespace orvane
