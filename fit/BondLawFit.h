#pragma once

// Calibration of the bond-slip law to a measured load-slip curve: the τmax, smax and su (τy,
// sy, su for the perfectly bi-linear law) with which the program's own pull-out march
// reproduces the measured loads best, in the least-squares sense.
//
// The model load at a measured slip is the run's load-slip path (LoadSlipPath) interpolated
// linearly there; beyond the path's last slip the bond has failed and carries nothing.
//
// The search runs NLopt's BOBYQA (bounded quadratic models without derivatives; Subplex for a
// single free parameter) on the logarithms of τmax, smax and su − smax, so that every trial
// keeps τmax > 0 and 0 < smax < su within the bounds below. It starts from the best points of
// a coarse grid around a seed read off the measured curve (the peak gives Gf, its slip su,
// the initial secant stiffness smax); the grid points and the searches from the best of
// them run in parallel, each search itself serially. Levenberg-Marquardt steps with a wide
// finite-difference Jacobian then walk the long, rippled valley in which the law keeps its
// fracture energy to its end.
//
// The reported values are those of the field texts written to the fitted parameter file,
// through the display masks of the parameter window ("#0.000" for τmax, "0.0000" for smax
// and su): a run of that file uses exactly them. Misfit and uncertainty are evaluated there.
//
// A series of specimens (engineers test three to five of a kind) is fitted with one law shared
// by all: each specimen keeps its own base set (geometry, stiffnesses, Δl, ds), its own run and
// its own points, and the misfit is the sum of the specimens' sums of squares, so that each
// point weighs the same whichever specimen it comes from. A single curve is a series of one.
//
// A seating offset, when fitted, is each specimen's own, and is profiled out of the misfit:
// for every trial law the offset that suits its run best, found on the run's path without
// another run, so that every stage below searches the law alone.
//
// Uncertainty: the Gauss-Newton approximation. J is the central-difference Jacobian of the
// residuals with respect to the free parameters (steps of 1 %), σ² = SSR/(m − p), and the
// standard error of parameter j is √(σ²·[(JᵀJ)⁻¹]jj). The 95 % confidence interval of each
// determined parameter is the profile-likelihood interval (Bates and Watts, Nonlinear
// Regression Analysis, 1988, § 6.1): the values θj for which the sum of squares, minimised
// over the other parameters, stays below SSR·(1 + t²/(m − p)), t the 97.5 % quantile of
// Student's t with m − p degrees of freedom. Unlike the standard error it follows the
// misfit's real shape: asymmetric, and open where the curve stops deciding. Each profile point
// starts on the linear profile trace (§ 6.1.2); a profile that meets a law fitting clearly
// better sends the fit back to search from it, once; the ends are rounded outward to the
// masks' grid, on which the law is written.

#include "core/engine/AnalysisParameters.h"
#include "core/engine/BondQuantities.h"
#include "core/files/DataSetFile.h"
#include "core/files/ParameterFile.h"
#include "fit/MeasuredCurve.h"
#include "fit/ModelCurve.h"

#include <array>
#include <functional>
#include <limits>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace orvane {

// The three parameters of the law, in field order: τmax (τy), smax (sy), su.
inline constexpr int kLawParameterCount = 3;
inline constexpr std::array<NumericField, kLawParameterCount> kLawFields = {
    NumericField::TauMax, NumericField::SMax, NumericField::Su};

// Bounds of every trial. The lower ones are the smallest values the display masks write
// without rounding them to 0; the gap keeps su above smax by two steps of its mask.
inline constexpr double kMinTauMax = 0.001, kMaxTauMax = 1000;  // N/mm²
inline constexpr double kMinSMax = 0.0001, kMaxSMax = 10;       // mm
inline constexpr double kMinSlipGap = 0.0002, kMaxSlipGap = 50; // su − smax, mm

// The measured points as loads at slips.
struct FitTarget {
    std::vector<double> slip; // mm
    std::vector<double> load; // N
};

// Average bond stress is converted to load over the analysed length, P = τ·(n·Δl)·b, as the
// run forms its average bond stress.
FitTarget MeasuredLoads(const MeasuredCurve& curve, MeasuredQuantity quantity,
                        const AnalysisParameters& base);

struct FitProgress {
    int modelRuns;
    double bestRmse; // N
    std::array<double, kLawParameterCount> best;
};

struct FitSettings {
    // Geometry, stiffnesses, Δl and the slip increment (ds, as Execute stores it) of every
    // run; its law values are one of the starting points. texts are its field texts.
    AnalysisParameters base;
    FieldTexts baseTexts;
    BondModel model = BondModel::BilinearSoftening;
    // A fixed parameter keeps the number of its text, and the text is written as given.
    std::array<std::optional<std::string>, kLawParameterCount> fixedTexts;
    // Fit a seating offset too: the slip the record shows before the bond takes load, taken
    // off every measured slip; of a series, one for each specimen.
    bool fitSeatingOffset = false;
    int jobs = 0; // 0: every core
    std::stop_token stop;
    // Called when a trial improves on the best so far; calls never overlap.
    std::function<void(const FitProgress&)> progress;
};

struct ParameterEstimate {
    double value;     // the number of text, as the run of the fitted file uses it
    std::string text; // the field text written to the fitted file
    bool fixed;
    double standardError; // 0 when fixed; +∞ when the curve does not determine it
    // The 95 % profile-likelihood interval, its ends on the field mask's grid: NaN when fixed
    // or not determined; an end the profile did not reach within four standard errors is 0
    // below or +∞ above.
    double lower = std::numeric_limits<double>::quiet_NaN();
    double upper = std::numeric_limits<double>::quiet_NaN();
};

// A parameter is determined by the curve when it is fixed, or when its standard error is finite
// and at most half its value (so that its 95 % interval stays clear of 0).
inline bool Determined(const ParameterEstimate& p) {
    return p.fixed || p.standardError <= 0.5 * std::abs(p.value);
}

// A bond quantity of the fitted law and its standard error (delta method); not determined when
// it depends on a parameter the curve does not determine, and then not to be shown as a number.
struct QuantityEstimate {
    double value = std::numeric_limits<double>::quiet_NaN();
    double standardError = std::numeric_limits<double>::infinity();
    bool determined = true;
};

// R² below this is reported as a poor fit. A fitted pull-out curve with a few per cent of
// scatter reaches 0.99; below 0.95 the law's shape does not follow the record (wrong columns,
// units, a record of another kind of test).
inline constexpr double kPoorFitR2 = 0.95;

// One specimen of a series: its measured points and its own base set, whose law is replaced
// by the shared one.
struct FitSpecimen {
    std::string name; // how the report names it: the measured file's name
    FitTarget target;
    AnalysisParameters base;
    FieldTexts baseTexts;
};

// How well the shared law fits one specimen.
struct SpecimenFit {
    std::string name;
    std::size_t points = 0;
    double ssr = 0;                    // N²
    double rmse = 0;                   // N
    double r2 = 0;                     // 1 − SSR/SST of this specimen's points
    std::vector<double> modelLoad;     // the model load at each measured slip, N
    std::vector<CurvePoint> modelPath; // this specimen's run of the shared law
    RunEnd modelEnd = RunEnd::None;
    double seatingOffset = 0; // mm, taken off this specimen's measured slips (when fitted)
};

struct BondLawFit {
    // Why the fit could not be made (fixed texts, the base set, a failed search); the rest
    // is not to be used then.
    std::vector<std::string> problems;
    bool cancelled = false;
    // What the engineer must know before trusting the fit, one sentence each; empty when
    // nothing is doubtful.
    std::vector<std::string> warnings;

    BondModel model = BondModel::BilinearSoftening;
    std::array<ParameterEstimate, kLawParameterCount> parameters{};
    AnalysisParameters params; // the fitted set, as a run of the fitted file uses it
    FieldTexts texts;          // its field texts
    double ssr = 0;            // sum of squared residuals, N²
    double rmse = 0;           // N
    double r2 = 0;             // 1 − SSR/SST; of a series, SST about each specimen's mean
    BondQuantities quantities{};
    QuantityEstimate Gf, Pinf, Le;     // N/mm, N, mm
    double seatingOffset = 0;          // mm, the first specimen's (when fitted)
    std::vector<double> modelLoad;     // the model load at each measured slip, N
    std::vector<CurvePoint> modelPath; // the fitted run's load-slip path
    RunEnd modelEnd = RunEnd::None;
    int modelRuns = 0; // runs of the march the fit needed
    // Each specimen's misfit, in the order given (one for a single curve). The fitted set,
    // its texts, its quantities and modelLoad/modelPath above are the first specimen's.
    std::vector<SpecimenFit> specimens;
};

// One curve on settings.base.
BondLawFit FitBondLaw(const FitTarget& target, const FitSettings& settings);
// A series with one shared law; settings.base and baseTexts are not used, each specimen
// brings its own, and its own seating offset when one is fitted.
BondLawFit FitBondLaw(const std::vector<FitSpecimen>& specimens, const FitSettings& settings);

// The model loads at the measured slips and the sum of squared residuals for one set.
double SumOfSquares(const FitTarget& target, const LoadSlipPath& path,
                    std::vector<double>* modelLoad = nullptr);

// The fitted law and misfit as lines for a terminal or a window: the law, each parameter
// with its standard error, RMSE, R², Gf, P∞, Le, each specimen's misfit (of a series) and
// the model runs.
std::string FitSummary(const BondLawFit& fit);

// Four significant digits, as the summary and the progress line show a number; "-" when it
// is not finite.
std::string BriefText(double value);

// The fitted parameter file: the base's texts with the fitted law texts.
ParameterFileTexts FittedParameterFile(const BondLawFit& fit, std::string comment,
                                       bool detailOutput);

// The fitted data set: base with the fitted law's texts and the law itself, so that a
// perfectly bi-linear fit runs perfectly bi-linear when opened or run; everything else
// (the initial ds, the detail flag, the concrete) as in base.
DataSet FittedDataSet(const BondLawFit& fit, DataSet base, std::string comment);

// The measured points against the model as CSV (UTF-8, comma-separated, a header row, the
// shortest text that reads back as each double): slip, measured load, model load, residual.
std::string MeasuredAgainstModelCsv(const FitTarget& target, const BondLawFit& fit);
// The same for a series, with the specimen's name in a first column when there are several.
std::string MeasuredAgainstModelCsv(const std::vector<FitSpecimen>& specimens,
                                    const BondLawFit& fit);

} // namespace orvane
