#pragma once

// A parametric study: one base data set and one or two swept inputs, every point an
// independent run of the pull-out solver.
//
// A swept value enters a point as the text of its field, read by the same rule as the
// parameter window (the lenient parse rounded to single precision; for ds, the initial ds
// field, its number / 100 starts the run). A point's result therefore equals, bit for bit, a
// single run of the base set with that text in that field. A list item and the ends of a range
// are used as typed; a value inside a range is the shortest text of the double it gives.
//
// Points are numbered row-major: the first swept input is the outer loop.

#include "core/engine/AnalysisParameters.h"
#include "core/engine/BondQuantities.h"
#include "core/engine/PulloutRun.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

inline constexpr std::int64_t kMaxStudyPoints = 1'000'000;

// One swept input: a field (or the law) and its values, a list or a range from:to:count,
// spaced linearly or logarithmically. A range is not expanded: value k is formed on demand,
// so a long range costs no memory.
struct Sweep {
    enum class Spacing { List, Linear, Log };

    std::optional<NumericField> field; // empty: the bond-slip law
    Spacing spacing = Spacing::List;
    std::vector<std::string> items; // List: field texts or law names, as given
    double from = 0;
    double to = 0;
    std::string fromText; // the ends as typed, the texts of the first and last value
    std::string toText;
    std::int64_t count = 0;

    std::int64_t size() const;
    // The column name: tauMax, sMax, su, dl, lb, b, tf, Ef, tr, Er, bc, dc, Ec, Ab, Eb, ds, law.
    std::string_view name() const;
    // The k-th value as the field's text (or the law's name, softening or bilinear).
    std::string text(std::int64_t k) const;
    // The definition in the syntax ParseSweep reads: lb=10:300:30, Ef=150000,230000.
    std::string definition() const;
};

struct SweepParse {
    Sweep sweep;
    std::string error; // empty when the definition is valid
};

// Reads NAME=VALUES, where VALUES is a list (v1,v2,…), a range from:to:count or
// from:to:count:log. NAME is one of the column names (τmax, τy, smax, sy and Δl are read
// too); the law takes a list of softening and bilinear.
SweepParse ParseSweep(std::string_view definition);

// The field a study input name stands for (a column name or one of the aliases τmax, τy, smax,
// sy, Δl); none for any other name.
std::optional<NumericField> StudyFieldNamed(std::string_view name);

// The base data set as the parameter window holds it after Execute: the field texts and
// the values copied from them, the law and the comment.
struct StudyDefinition {
    AnalysisParameters base = StartupParameters();
    FieldTexts baseTexts = StartupFieldTexts();
    std::vector<Sweep> sweeps; // one or two
    std::string lawFrom;       // the model the base law was derived from; empty: typed
};

// Why the study cannot start (no sweep, more than two, one input swept twice, too many
// points); empty when it can.
std::string CheckStudy(const StudyDefinition& study);

std::int64_t PointCount(const StudyDefinition& study);

// The data set of point k: the base with every swept value applied.
struct StudyPoint {
    AnalysisParameters params;
    FieldTexts texts;
};
StudyPoint MakeStudyPoint(const StudyDefinition& study, std::int64_t k);

struct StudyPointResult {
    std::int64_t index = 0;
    std::vector<std::string> sweptTexts; // each swept value as the run used it
    std::vector<double> sweptValues;     // the same as numbers; NaN for the law
    std::string problem;                 // why the run checks refused the point; empty if run
    RunEnd end = RunEnd::None;           // None when refused
    int steps = 0;
    double Pbumax = 0; // N
    double slmax = 0;  // mm
    BondQuantities quantities{};

    bool refused() const { return !problem.empty(); }
};

// Point k without its run: the swept values, the closed forms and, when the run checks
// refuse the point, why; the run's fields are left as for a refused point.
StudyPointResult DescribeStudyPoint(const StudyDefinition& study, std::int64_t k);

// Runs point k to its end without a result file. A stop request ends the run between two
// steps with RunEnd::Stopped.
StudyPointResult RunStudyPoint(const StudyDefinition& study, std::int64_t k,
                               std::stop_token stop = {});

// The run of a point already made (the run may adjust its parameters): the bond quantities, the run
// checks (a refusal goes to result.problem) and the run to its end. Sets every member of result but
// index and the swept inputs.
void RunPointAnalysis(StudyPoint& point, StudyPointResult& result, std::stop_token stop);

// Receives the results in point order; returning false stops the study (a write failed).
using StudySink = std::function<bool(const StudyPointResult&)>;

// The number of worker threads when none is asked for: the machine's cores, at least 1.
int DefaultJobs();

// Runs every point on `jobs` worker threads, one run per task, and hands the results to
// sink on the calling thread in point order (RunInOrder, OrderedTasks.h): on a stop request
// no new point starts, runs under way stop, and the sink has seen a gapless prefix of whole
// points. Returns the number of points handed out.
std::int64_t RunStudy(const StudyDefinition& study, int jobs, const StudySink& sink,
                      std::stop_token stop = {});

// The points first ≤ k < end of any study (a range of the grid, a shard, the samples of a
// sampled study), each run by runPoint, on the thread pool of RunStudy with its promises.
struct PointRange {
    std::int64_t first = 0;
    std::int64_t end = 0;
    std::int64_t size() const { return end - first; }
};
using PointRunner = std::function<StudyPointResult(std::int64_t k, std::stop_token stop)>;
std::int64_t RunPoints(PointRange range, int jobs, const PointRunner& runPoint,
                       const StudySink& sink, std::stop_token stop = {});

} // namespace orvane
