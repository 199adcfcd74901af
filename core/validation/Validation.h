#pragma once

// A validation: every test of a database run as a single analysis would run it, and the
// predictions of Orvane and of each design code set against the measured ultimate loads.
//
// A test's data set is the base data set (the start-up set, or the file given) with the test's
// bond length, laminate width, thickness and modulus and member width in their fields, and the
// bond-slip law that the chosen model derives from the test's fc′ (ft from fc′), as
// `orvane-batch FILE --fc fc --law-from MODEL` would set it. The member's depth and modulus,
// the re-bar and the adhesive stay the base's: test reports seldom give them, and they move
// the load by far less than the tests scatter.

#include "core/codes/BondModels.h"
#include "core/codes/DesignCodes.h"
#include "core/engine/AnalysisParameters.h"
#include "core/engine/PulloutRun.h"
#include "core/validation/TestDatabase.h"

#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

namespace orvane {

struct ValidationSetup {
    AnalysisParameters base = StartupParameters();
    FieldTexts baseTexts = StartupFieldTexts();
    BondSlipModel law = BondSlipModel::Lu2005Bilinear;
    DesignFactors factors;
};

// The element length. The march's load converges to first order in Δl (halving Δl halves the
// change), so the change on one halving estimates the error left after it. The march starts
// from the largest power of two not above a sixteenth of the shorter of the bond length and
// the effective bond length, and halves Δl until one halving changes Pbumax by less than
// kMeshTolerance: the load kept, the finer one's, is then within about that of the converged
// load, half the 0.2 % asked of a prediction.
inline constexpr double kMeshTolerance = 0.001;
inline constexpr int kMaxHalvings = 8;
// The first element length for a bond of length lb and effective length Le, mm.
double StartingElementLength(double lb, double Le);

// A test's data set with the element length Δl, or why it has none.
struct TestDataSet {
    AnalysisParameters params;
    FieldTexts texts;
    std::string problem;
};
TestDataSet MakeTestDataSet(const ValidationSetup& setup, const TestRow& row, double dl);

struct TestResult {
    TestRow row;
    std::string problem; // why the test is left out of the statistics; empty when it is in
    double orvane = 0;   // Orvane's Pbumax, N
    double dl = 0;       // the element length of that run, mm
    int runs = 0;        // the runs made for it, one per element length tried
    RunEnd end = RunEnd::None;
    std::vector<double> codes; // each design code's load (N), NaN out of its scope

    bool refused() const { return !problem.empty(); }
};

// The models compared: "orvane", then every design code's name as CheckDesignCodes gives them.
const std::vector<std::string>& ValidationModelNames();

// Runs one test to its prediction; a stop request ends it with the problem "stopped".
TestResult RunValidationTest(const ValidationSetup& setup, const TestRow& row,
                             std::stop_token stop = {});

// The k-th of n disjoint parts of the rows (k from 1), consecutive and of sizes that differ by
// one at most: the parts' CSV rows, joined in order, are the whole database's.
std::span<const TestRow> ShardOf(std::span<const TestRow> rows, int k, int n);

// Runs every row on `jobs` threads (RunInOrder) and hands the results to sink in row order.
// Returns the number handed out.
std::int64_t RunValidation(const ValidationSetup& setup, std::span<const TestRow> rows, int jobs,
                           const std::function<bool(const TestResult&)>& sink,
                           std::stop_token stop = {});

// The statistics of test/predicted θ = Pu / P over the tests a model predicts (docs/theory.md).
struct ModelStatistics {
    std::string model;
    std::int64_t n = 0;
    double mean = 0;  // of θ; NaN for n = 0
    double cov = 0;   // sample standard deviation of θ over its mean; NaN for n < 2
    double r2 = 0;    // 1 − Σ(Pu − P)² / Σ(Pu − mean Pu)²; NaN for n < 2 or equal Pu
    double mape = 0;  // mean of |Pu − P| / Pu, a fraction
    double below = 0; // the share of tests with Pu < P, a fraction
};
ModelStatistics ComputeStatistics(std::string model, std::span<const double> measured,
                                  std::span<const double> predicted);

// The statistics of every model over one group of tests: all, one source, or one band of
// Ef·tf or bf/bc.
struct ValidationGroup {
    std::string kind;  // "all", "source", "ef-tf" or "bf-bc"
    std::string value; // the source's name or the band ("50-100" kN/mm, "0.25-0.5")
    std::int64_t tests = 0;
    std::vector<ModelStatistics> models;
};

struct ValidationSummary {
    std::int64_t tests = 0;              // rows of the database handed out
    std::int64_t refused = 0;            // rows left out, each with its reason
    std::vector<ValidationGroup> groups; // "all" first, then sources, then the bands
};
ValidationSummary SummarizeValidation(std::span<const TestResult> results);

} // namespace orvane
