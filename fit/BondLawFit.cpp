#include "fit/BondLawFit.h"

#include "core/engine/RunChecks.h"
#include "core/numtext/NumberText.h"
#include "core/results/CsvRunWriter.h"
#include "core/study/Study.h"
#include "fit/ParallelTasks.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <limits>
#include <mutex>
#include <nlopt.hpp>

namespace orvane {

namespace {

// The display masks of the τmax, smax and su fields.
constexpr std::array<std::string_view, kLawParameterCount> kLawMasks = {"#0.000", "0.0000",
                                                                        "0.0000"};
// One step of each mask: the finest change a written law can show.
constexpr std::array<double, kLawParameterCount> kMaskSteps = {0.001, 0.0001, 0.0001};
constexpr int kTau = 0, kSMax = 1, kSu = 2;

using Law = std::array<double, kLawParameterCount>;
using Matrix = std::vector<std::vector<double>>;

// The search for the global optimum. The misfit as the model behaves is piecewise: it jumps
// where the model's failure slip crosses a measured slip (a point goes from carrying the
// model's load to carrying none), and it is flat in su wherever su lies beyond the data.
// A local search from one or two seeds stops at the first step it meets. So the search is
// global first: a space-filling (Halton) design over a box drawn from the data, plus a
// coarse grid around the seed read off the curve and the base law, is run in parallel; then
// bounded local searches (BOBYQA) start from the best few points that lie apart from each
// other, also in parallel, and the best of them is polished by Subplex, a simplex method
// that does not assume the misfit smooth. With a model run of about a millisecond this is
// one to two thousand runs, about a second on two cores.
//
// Grid offsets around the seed, in the logarithm of each coordinate (factors of 1/2, 1, 2).
constexpr double kGridOffsets[] = {-0.7, 0.0, 0.7};
// Design points per free parameter.
constexpr int kDesignPointsPerParameter = 40;
// Local searches, started from the best design points at least kStartSpacing apart in the
// logarithms of the coordinates (a factor of 1.5).
constexpr int kSearchStarts = 8;
constexpr double kStartSpacing = 0.4;
constexpr int kMaxEvaluationsPerSearch = 200;
constexpr int kMaxEvaluationsOfPolish = 300;
// The relative step of the finite differences for the uncertainty: wide enough to see the
// trend of the misfit rather than the ripple of the slip front crossing an element.
constexpr double kJacobianStep = 1e-2;

// The optimiser's coordinates for the free parameters: ln τmax, ln smax and ln(su − smax);
// a fixed parameter takes no coordinate. Box bounds on them keep every trial inside the
// laws the run accepts.
class Coordinates {
public:
    Coordinates(const std::array<bool, kLawParameterCount>& free, const Law& fixedValues)
        : m_free(free), m_fixed(fixedValues) {
        if (m_free[kTau]) {
            add(kTau, kMinTauMax, kMaxTauMax);
        }
        if (m_free[kSMax]) {
            add(kSMax, kMinSMax,
                m_free[kSu] ? kMaxSMax : std::min(kMaxSMax, m_fixed[kSu] - kMinSlipGap));
        }
        if (m_free[kSu]) {
            add(kSu, kMinSlipGap, kMaxSlipGap);
        }
    }

    int count() const { return int(m_lower.size()); }
    const std::vector<double>& lower() const { return m_lower; }
    const std::vector<double>& upper() const { return m_upper; }
    // The parameter coordinate k moves: kTau, kSMax or kSu (whose coordinate is su − smax).
    int parameter(int k) const { return m_parameter[std::size_t(k)]; }

    Law law(const std::vector<double>& x) const {
        Law theta = m_fixed;
        int k = 0;
        if (m_free[kTau]) {
            theta[kTau] = std::exp(x[k++]);
        }
        if (m_free[kSMax]) {
            theta[kSMax] = std::exp(x[k++]);
        }
        if (m_free[kSu]) {
            theta[kSu] = theta[kSMax] + std::exp(x[k++]);
        }
        return theta;
    }

    // The coordinates of a law, moved inside the bounds.
    std::vector<double> coordinates(const Law& theta) const {
        std::vector<double> x;
        if (m_free[kTau]) {
            x.push_back(std::log(theta[kTau]));
        }
        if (m_free[kSMax]) {
            x.push_back(std::log(theta[kSMax]));
        }
        if (m_free[kSu]) {
            const double smax =
                m_free[kSMax] ? std::clamp(theta[kSMax], kMinSMax, kMaxSMax) : m_fixed[kSMax];
            x.push_back(std::log(std::max(theta[kSu] - smax, kMinSlipGap)));
        }
        for (int k = 0; k < count(); ++k) {
            x[k] = std::isfinite(x[k]) ? std::clamp(x[k], m_lower[k], m_upper[k]) : m_lower[k];
        }
        return x;
    }

private:
    void add(int parameter, double low, double high) {
        m_parameter.push_back(parameter);
        m_lower.push_back(std::log(low));
        m_upper.push_back(std::log(high));
    }

    std::array<bool, kLawParameterCount> m_free;
    Law m_fixed;
    std::vector<int> m_parameter;
    std::vector<double> m_lower;
    std::vector<double> m_upper;
};

// Where the record says the bond failed. A record that ends with rows of (nearly) no load
// after its peak failed between the last loaded row and the first of them; the model must fail
// there too. Without such rows the model must at least carry the last row.
struct FailureWindow {
    double earliest = 0; // mm
    double latest = std::numeric_limits<double>::infinity();
    std::size_t loadedPoints = 0; // the rows before the trailing unloaded ones
};

// A row is unloaded below this fraction of the peak load.
constexpr double kUnloadedFraction = 0.05;

FailureWindow failureWindowOf(const FitTarget& target) {
    FailureWindow window;
    const std::size_t m = target.slip.size();
    const auto peak =
        std::size_t(std::max_element(target.load.begin(), target.load.end()) - target.load.begin());
    std::size_t loaded = m;
    while (loaded > peak + 1 && target.load[loaded - 1] <= kUnloadedFraction * target.load[peak]) {
        --loaded;
    }
    window.loadedPoints = loaded;
    window.earliest = target.slip[loaded - 1];
    if (loaded < m) {
        window.latest = target.slip[loaded];
    }
    return window;
}

// The misfit the searches follow: it equals the sum of squares wherever the model fails inside
// the record's failure window, and is continuous everywhere. The loaded rows take the model
// curve with its last load held beyond its failure (so no jump where the failure slip crosses
// a row), the unloaded rows count as unloaded, and a failure outside the window adds a
// penalty that grows with the distance: 100 times the total sum of squares per (relative
// distance)².
double guidedMisfit(const FitTarget& target, const FailureWindow& window,
                    const LoadSlipPath& path) {
    double sum = 0, mean = 0;
    const std::size_t m = target.slip.size();
    for (std::size_t i = 0; i < m; ++i) {
        const double model = i < window.loadedPoints ? path.heldLoadAt(target.slip[i]) : 0;
        sum += (target.load[i] - model) * (target.load[i] - model);
        mean += target.load[i] / double(m);
    }
    double sst = 0;
    for (const double load : target.load) {
        sst += (load - mean) * (load - mean);
    }
    // The penalty aims a little inside the window (a quarter of its width, at most 0.5 % of
    // the slip), so that the guided optimum does not fail a hair before a loaded row.
    const double margin =
        std::min(0.25 * (window.latest - window.earliest), 0.005 * window.earliest);
    const double earliest = window.earliest + margin, latest = window.latest - margin;
    const double failure = path.failureSlip();
    double outside = 0;
    if (failure < earliest) {
        outside = (earliest - failure) / earliest;
    } else if (failure > latest) {
        outside = (failure - latest) / latest;
    }
    return sum + 100 * std::max(sst, 1e-300) * outside * outside;
}

// The measured points with every slip less offset (mm); a point that falls below 0 stays at 0.
FitTarget shifted(const FitTarget& target, double offset) {
    FitTarget result = target;
    for (double& slip : result.slip) {
        slip = std::max(slip - offset, 0.0);
    }
    return result;
}

// The seating offset, the slip the record shows before the bond takes load (slack of the grips,
// a seating displacement), may lie between −10 % and +30 % of the largest measured slip.
constexpr double kLeastOffset = -0.1, kLargestOffset = 0.3;

// The seating offset that fits a specimen's points best to a run's path. The path does not
// depend on the offset, so the offset is profiled out of the misfit at no cost of runs, as
// variable projection eliminates the parameters that are cheap to find for given others
// (Golub and Pereyra 1973): for every trial law the best offset, found by a scan of the
// allowed offsets and a golden-section search around the best of them (Kiefer 1953). The
// searches then see the misfit of the law alone, and the offset no longer trades against
// smax along a valley of their own.
double bestOffset(const FitTarget& target, const LoadSlipPath& path) {
    constexpr int kScan = 40, kGoldenSteps = 40;
    const double lastSlip = *std::max_element(target.slip.begin(), target.slip.end());
    const double low = kLeastOffset * lastSlip, high = kLargestOffset * lastSlip;
    const auto ssr = [&](double offset) {
        double sum = 0;
        for (std::size_t i = 0; i < target.slip.size(); ++i) {
            const double residual =
                target.load[i] - path.loadAt(std::max(target.slip[i] - offset, 0.0));
            sum += residual * residual;
        }
        return sum;
    };
    const double step = (high - low) / kScan;
    double best = 0, bestSsr = ssr(0);
    for (int i = 0; i <= kScan; ++i) {
        const double offset = low + step * i;
        if (const double value = ssr(offset); value < bestSsr) {
            best = offset;
            bestSsr = value;
        }
    }
    const double golden = 0.5 * (std::sqrt(5.0) - 1);
    double a = std::max(low, best - step), b = std::min(high, best + step);
    double c = b - golden * (b - a), d = a + golden * (b - a);
    double fc = ssr(c), fd = ssr(d);
    for (int i = 0; i < kGoldenSteps; ++i) {
        if (fc < fd) {
            b = d;
            d = c;
            fd = fc;
            c = b - golden * (b - a);
            fc = ssr(c);
        } else {
            a = c;
            c = d;
            fc = fd;
            d = a + golden * (b - a);
            fd = ssr(d);
        }
    }
    const double refined = fc < fd ? c : d;
    return std::min(fc, fd) < bestSsr ? refined : best;
}

// Trial runs of one fit: counts them and keeps the law of the smallest sum of squares any
// thread has found. A trial law runs once on each specimen's base set.
class Trials {
public:
    Trials(const std::vector<FitSpecimen>& specimens, const FitSettings& settings)
        : m_specimens(specimens), m_settings(settings) {
        for (const FitSpecimen& specimen : specimens) {
            m_windows.push_back(failureWindowOf(specimen.target));
            m_points += specimen.target.slip.size();
        }
    }

    const std::vector<FitSpecimen>& specimens() const { return m_specimens; }

    // Specimen k's points as a run of a trial law meets them: the measured ones, or, when a
    // seating offset is fitted, those less the specimen's offset that suits the run's path
    // best (each specimen of a series sits in its grips with a seating of its own).
    FitTarget pointsFor(std::size_t k, const LoadSlipPath& path, double& offset) const {
        offset = 0;
        if (!m_settings.fitSeatingOffset) {
            return m_specimens[k].target;
        }
        offset = bestOffset(m_specimens[k].target, path);
        return shifted(m_specimens[k].target, offset);
    }
    std::size_t points() const { return m_points; }
    // The seating offsets fitted beside the law: each takes a degree of freedom.
    std::size_t offsets() const { return m_settings.fitSeatingOffset ? m_specimens.size() : 0; }

    // The misfit a search follows, summed over the specimens: the sum of squares, or with
    // guided the guided misfit.
    double misfit(const Law& theta, bool guided) {
        if (m_settings.stop.stop_requested()) {
            throw nlopt::forced_stop();
        }
        double value = 0, guidedValue = 0;
        for (std::size_t k = 0; k < m_specimens.size(); ++k) {
            const ModelCurve curve = RunModelCurve(withLaw(theta, k));
            ++m_runs;
            const LoadSlipPath path(curve.steps);
            double offset = 0;
            const FitTarget points = pointsFor(k, path, offset);
            value += SumOfSquares(points, path);
            if (guided) {
                guidedValue += guidedMisfit(
                    points, m_settings.fitSeatingOffset ? failureWindowOf(points) : m_windows[k],
                    path);
            }
        }
        const std::lock_guard lock(m_mutex);
        if (value < m_bestSsr) {
            m_bestSsr = value;
            m_best = theta;
            if (m_settings.progress) {
                m_settings.progress({m_runs.load(), std::sqrt(value / double(m_points)), theta});
            }
        }
        return guided ? guidedValue : value;
    }

    // A specimen's base set with the law theta.
    AnalysisParameters withLaw(const Law& theta, std::size_t specimen) const {
        AnalysisParameters params = m_specimens[specimen].base;
        params.bondModel = m_settings.model;
        for (int j = 0; j < kLawParameterCount; ++j) {
            params.value(kLawFields[j]) = float(theta[j]);
        }
        return params;
    }

    // The law of the smallest sum of squares so far, and that sum.
    std::pair<Law, double> best() {
        const std::lock_guard lock(m_mutex);
        return {m_best, m_bestSsr};
    }

    // A run made outside misfit (the final set, the finite differences).
    void countRun() { ++m_runs; }
    bool stopRequested() const { return m_settings.stop.stop_requested(); }
    int runs() const { return m_runs; }

private:
    std::vector<FitSpecimen> m_specimens;
    const FitSettings& m_settings;
    std::vector<FailureWindow> m_windows;
    std::size_t m_points = 0;
    std::atomic<int> m_runs = 0;
    std::mutex m_mutex;
    double m_bestSsr = std::numeric_limits<double>::infinity();
    Law m_best{};
};

struct SearchResult {
    std::vector<double> x;
    double ssr = std::numeric_limits<double>::infinity();
};

// One bounded search from x0 with initial steps of about initialStep in each coordinate; the
// best point it evaluated. BOBYQA for a local search in two or three coordinates, Subplex
// for one coordinate and for the polish.
SearchResult search(Trials& trials, const Coordinates& coordinates, std::vector<double> x0,
                    bool guided, nlopt::algorithm algorithm, int maxEvaluations,
                    double initialStep) {
    const int n = coordinates.count();
    nlopt::opt optimiser(n >= 2 ? algorithm : nlopt::LN_SBPLX, unsigned(n));
    optimiser.set_lower_bounds(coordinates.lower());
    optimiser.set_upper_bounds(coordinates.upper());
    optimiser.set_xtol_abs(1e-6); // a relative change of 1e-6 in each parameter
    optimiser.set_ftol_rel(1e-12);
    optimiser.set_maxeval(maxEvaluations);
    std::vector<double> step(std::size_t(n), initialStep);
    for (int k = 0; k < n; ++k) {
        // The initial trust region must fit inside the bounds.
        step[k] = std::min(initialStep, 0.5 * (coordinates.upper()[k] - coordinates.lower()[k]));
    }
    optimiser.set_initial_step(step);

    struct Search {
        Trials& trials;
        const Coordinates& coordinates;
        bool guided;
        SearchResult best;
    } state{trials, coordinates, guided, {x0, std::numeric_limits<double>::infinity()}};
    optimiser.set_min_objective(
        [](const std::vector<double>& x, std::vector<double>&, void* data) {
            Search& s = *static_cast<Search*>(data);
            const double value = s.trials.misfit(s.coordinates.law(x), s.guided);
            if (value < s.best.ssr) {
                s.best = {x, value};
            }
            return value;
        },
        &state);
    double value = 0;
    try {
        optimiser.optimize(x0, value);
    } catch (const nlopt::roundoff_limited&) {
        // The best point evaluated so far stands.
    }
    return state.best;
}

// A seed read off the measured curve with the closed forms of a long bond: the peak load gives
// the fracture energy, P = b·√(2·Gf·Ef·tf); the loaded end reaches su about when the peak comes;
// the secant stiffness up to a quarter of the peak, b·√(τmax·Ef·tf/smax), gives smax.
Law seedFromCurve(const FitTarget& target, const AnalysisParameters& base, BondModel model) {
    const auto peak = std::max_element(target.load.begin(), target.load.end());
    const double Pmax = std::max(*peak, 1e-9);
    const double b = base.b;
    const double stiffness = double(base.Ef) * double(base.tf);
    const double Gf = Pmax * Pmax / (2 * b * b * stiffness);
    const double su =
        std::clamp(target.slip[std::size_t(peak - target.load.begin())], 10 * kMinSMax, kMaxSMax);
    const double tau = std::clamp(model == BondModel::BilinearSoftening ? 2 * Gf / su : Gf / su,
                                  kMinTauMax, kMaxTauMax);
    double smax = 0.3 * su;
    for (std::size_t i = 0; i < target.slip.size(); ++i) {
        if (target.load[i] >= 0.25 * Pmax && target.slip[i] > 0) {
            const double k = target.load[i] / target.slip[i];
            smax = tau * stiffness * b * b / (k * k);
            break;
        }
    }
    return {tau, std::clamp(smax, kMinSMax, 0.8 * su), su};
}

// The inverse of a small symmetric positive definite matrix (Gauss-Jordan elimination);
// nothing when the matrix is singular to working precision.
std::optional<Matrix> inverse(Matrix a) {
    const std::size_t n = a.size();
    Matrix result(n, std::vector<double>(n, 0.0));
    double largest = 0;
    for (std::size_t i = 0; i < n; ++i) {
        result[i][i] = 1;
        largest = std::max(largest, a[i][i]);
    }
    for (std::size_t c = 0; c < n; ++c) {
        std::size_t pivot = c;
        for (std::size_t r = c + 1; r < n; ++r) {
            if (std::abs(a[r][c]) > std::abs(a[pivot][c])) {
                pivot = r;
            }
        }
        if (!(std::abs(a[pivot][c]) > 1e-13 * largest)) {
            return std::nullopt;
        }
        std::swap(a[c], a[pivot]);
        std::swap(result[c], result[pivot]);
        const double scale = a[c][c];
        for (std::size_t k = 0; k < n; ++k) {
            a[c][k] /= scale;
            result[c][k] /= scale;
        }
        for (std::size_t r = 0; r < n; ++r) {
            if (r != c && a[r][c] != 0) {
                const double factor = a[r][c];
                for (std::size_t k = 0; k < n; ++k) {
                    a[r][k] -= factor * a[c][k];
                    result[r][k] -= factor * result[c][k];
                }
            }
        }
    }
    return result;
}

// The model loads of a law at every measured point of the series, the specimens' rows one
// after the other. A point at or before the failure slip of the reference law (failureSlips,
// one per specimen) takes the curve with its last load held, one beyond it 0: a law a hair
// away does not jump at a point the reference carries. Without failureSlips, the law's own.
std::vector<double> seriesLoads(Trials& trials, const Law& law, std::vector<double>* failureSlips,
                                const std::vector<double>* reference) {
    std::vector<double> loads;
    const std::vector<FitSpecimen>& specimens = trials.specimens();
    for (std::size_t k = 0; k < specimens.size(); ++k) {
        if (trials.stopRequested()) {
            throw nlopt::forced_stop();
        }
        const LoadSlipPath path(RunModelCurve(trials.withLaw(law, k)).steps);
        trials.countRun();
        const double failure = reference ? (*reference)[k] : path.failureSlip();
        if (failureSlips) {
            failureSlips->push_back(failure);
        }
        double offset = 0;
        for (const double slip : trials.pointsFor(k, path, offset).slip) {
            loads.push_back(slip <= failure ? path.heldLoadAt(slip) : 0);
        }
    }
    return loads;
}

// Standard errors of the free parameters at theta (the fitted values) by the Gauss-Newton
// approximation of the misfit's curvature; returns their covariance, indexed by parameter
// (0 for fixed ones and for those the curve does not determine, whose standard error is +∞).
Matrix estimateUncertainty(Trials& trials, const Law& theta, double ssr,
                           const std::vector<double>& failureSlips, int jobs,
                           std::array<ParameterEstimate, kLawParameterCount>& estimates) {
    std::vector<int> freeParameters;
    for (int j = 0; j < kLawParameterCount; ++j) {
        if (!estimates[j].fixed) {
            freeParameters.push_back(j);
        }
    }
    const std::size_t p = freeParameters.size();
    const std::size_t m = trials.points();

    // Two runs per free parameter and specimen, a little below and above its value; the runs
    // use singles, so the difference is taken over the single values. A point the fitted
    // model carries keeps the curve's load under the small change (not the jump to 0 of a
    // failure that moves past it); a point beyond the fitted failure stays at 0. The rows of
    // the specimens follow each other.
    std::vector<std::vector<double>> loads(2 * p);
    std::vector<double> spans(p);
    RunTasks(int(2 * p), jobs, [&](int task) {
        const int j = freeParameters[std::size_t(task / 2)];
        Law shifted = theta;
        shifted[j] =
            double(float(theta[j] * (task % 2 == 0 ? 1 - kJacobianStep : 1 + kJacobianStep)));
        loads[std::size_t(task)] = seriesLoads(trials, shifted, nullptr, &failureSlips);
    });
    for (std::size_t k = 0; k < p; ++k) {
        const int j = freeParameters[k];
        spans[k] = double(float(theta[j] * (1 + kJacobianStep))) -
                   double(float(theta[j] * (1 - kJacobianStep)));
    }

    // JᵀJ over the parameters that move the model at all; one that does not is not
    // determined by the curve.
    std::vector<std::size_t> moving;
    for (std::size_t k = 0; k < p; ++k) {
        if (loads[2 * k] != loads[2 * k + 1]) {
            moving.push_back(k);
        } else {
            estimates[std::size_t(freeParameters[k])].standardError =
                std::numeric_limits<double>::infinity();
        }
    }
    Matrix normal(moving.size(), std::vector<double>(moving.size()));
    for (std::size_t a = 0; a < moving.size(); ++a) {
        for (std::size_t c = 0; c < moving.size(); ++c) {
            const std::size_t ka = moving[a], kc = moving[c];
            double sum = 0;
            for (std::size_t i = 0; i < m; ++i) {
                sum += (loads[2 * ka + 1][i] - loads[2 * ka][i]) / spans[ka] *
                       ((loads[2 * kc + 1][i] - loads[2 * kc][i]) / spans[kc]);
            }
            normal[a][c] = sum;
        }
    }
    const std::size_t fitted = p + trials.offsets();
    const double variance =
        m > fitted ? ssr / double(m - fitted) : std::numeric_limits<double>::infinity();
    const std::optional<Matrix> inverted = inverse(normal);
    Matrix covariance(kLawParameterCount, std::vector<double>(kLawParameterCount, 0.0));
    for (std::size_t a = 0; a < moving.size(); ++a) {
        const auto ja = std::size_t(freeParameters[moving[a]]);
        estimates[ja].standardError = inverted
                                          ? std::sqrt(variance * std::max((*inverted)[a][a], 0.0))
                                          : std::numeric_limits<double>::infinity();
        for (std::size_t c = 0; inverted && c < moving.size(); ++c) {
            covariance[ja][std::size_t(freeParameters[moving[c]])] = variance * (*inverted)[a][c];
        }
    }
    return covariance;
}

// Stage 6b: Gf, P∞ and Le with their standard errors by the delta method, from the
// closed-form gradient with respect to each free parameter (central differences of
// 1e-4). A quantity that moves with a parameter the curve does not determine is not
// determined either.
void estimateQuantities(BondLawFit& fit, const Matrix& covariance) {
    const auto values = [](const AnalysisParameters& params) {
        const BondQuantities q = ComputeBondQuantities(params);
        return std::array<double, 3>{q.Gf, q.Pinf, q.Le};
    };
    const std::array<double, 3> center = values(fit.params);
    std::array<std::array<double, kLawParameterCount>, 3> gradient{};
    for (int j = 0; j < kLawParameterCount; ++j) {
        const ParameterEstimate& p = fit.parameters[std::size_t(j)];
        if (p.fixed) {
            continue;
        }
        constexpr double kStep = 1e-4;
        AnalysisParameters low = fit.params, high = fit.params;
        low.value(kLawFields[j]) = float(p.value * (1 - kStep));
        high.value(kLawFields[j]) = float(p.value * (1 + kStep));
        const double span = double(high.value(kLawFields[j])) - double(low.value(kLawFields[j]));
        const std::array<double, 3> below = values(low), above = values(high);
        for (std::size_t q = 0; q < 3; ++q) {
            gradient[q][std::size_t(j)] = (above[q] - below[q]) / span;
        }
    }
    QuantityEstimate* estimates[] = {&fit.Gf, &fit.Pinf, &fit.Le};
    for (std::size_t q = 0; q < 3; ++q) {
        QuantityEstimate& e = *estimates[q];
        e.value = center[q];
        double variance = 0;
        for (std::size_t a = 0; a < kLawParameterCount; ++a) {
            const ParameterEstimate& p = fit.parameters[a];
            // A gradient that changes the quantity by less than 1e-6 of itself over the whole
            // parameter does not count.
            const bool moves = std::abs(gradient[q][a] * p.value) > 1e-6 * std::abs(center[q]);
            if (moves && !Determined(p)) {
                e.determined = false;
            }
            for (std::size_t c = 0; c < kLawParameterCount; ++c) {
                variance += gradient[q][a] * covariance[a][c] * gradient[q][c];
            }
        }
        e.standardError = e.determined && std::isfinite(center[q])
                              ? std::sqrt(std::max(variance, 0.0))
                              : std::numeric_limits<double>::infinity();
    }
}

} // namespace

FitTarget MeasuredLoads(const MeasuredCurve& curve, MeasuredQuantity quantity,
                        const AnalysisParameters& base) {
    // The run's average bond stress is Pl / ((n·Δl)·b).
    const double area = double(ElementCount(base.lb, base.dl).n) * double(base.dl) * double(base.b);
    FitTarget target;
    for (const MeasuredPoint& point : curve.points) {
        target.slip.push_back(point.slip);
        target.load.push_back(quantity == MeasuredQuantity::Load ? point.value
                                                                 : point.value * area);
    }
    return target;
}

double SumOfSquares(const FitTarget& target, const LoadSlipPath& path,
                    std::vector<double>* modelLoad) {
    if (modelLoad) {
        modelLoad->resize(target.slip.size());
    }
    double sum = 0;
    for (std::size_t i = 0; i < target.slip.size(); ++i) {
        const double model = path.loadAt(target.slip[i]);
        if (modelLoad) {
            (*modelLoad)[i] = model;
        }
        const double residual = target.load[i] - model;
        sum += residual * residual;
    }
    return sum;
}

namespace {

// Which parameters the fit moves, and the values of those it keeps.
struct FreeParameters {
    std::array<bool, kLawParameterCount> free{};
    Law fixedValues{};
    int count() const { return int(std::count(free.begin(), free.end(), true)); }
};

// Stage 1: the fixed texts must be usable values of their fields, something must be free
// and the curve must hold more points than there are free parameters.
std::vector<std::string> checkFixedParameters(const std::vector<FitSpecimen>& specimens,
                                              const FitSettings& settings,
                                              FreeParameters& parameters) {
    std::vector<std::string> problems;
    for (int j = 0; j < kLawParameterCount; ++j) {
        const NumericField field = kLawFields[j];
        const std::string label(FieldLabel(field, settings.model));
        parameters.free[j] = !settings.fixedTexts[j];
        if (parameters.free[j]) {
            continue;
        }
        const std::string& text = *settings.fixedTexts[j];
        const double value = FieldValue(text);
        parameters.fixedValues[j] = value;
        if (FieldTextOutOfRange(field, text) || !std::isfinite(value)) {
            problems.push_back(label + " — the fixed value \"" + text + "\" is out of range.");
        } else if (j == kSMax ? value < 0 : !(value > 0)) {
            problems.push_back(label + " — the fixed value \"" + text + "\" must be " +
                               (j == kSMax ? "0 or more." : "greater than 0."));
        }
    }
    if (parameters.count() == 0) {
        problems.push_back("Every parameter of the law is fixed: there is nothing to fit.");
    }
    if (problems.empty() && parameters.free[kSMax] && !parameters.free[kSu] &&
        parameters.fixedValues[kSu] < double(float(2 * kMinSMax + kMinSlipGap))) {
        problems.push_back(std::string(FieldLabel(NumericField::Su, settings.model)) +
                           " — the fixed value is too small for a slip at the peak below "
                           "it (at least 0.0004 mm).");
    }
    std::size_t points = 0;
    for (const FitSpecimen& specimen : specimens) {
        points += specimen.target.slip.size();
        if (specimen.target.slip.empty()) {
            problems.push_back(specimen.name + " has no measured points.");
        }
    }
    if (specimens.empty()) {
        problems.push_back("There is no measured curve to fit.");
    } else if (points <= std::size_t(parameters.count()) +
                             (settings.fitSeatingOffset ? specimens.size() : 0)) {
        problems.push_back("The curve has no more points than free parameters.");
    }
    return problems;
}

// Stage 2: each specimen's base set with a usable law (the seed's) must pass the run checks.
std::vector<std::string> checkBaseSet(const Trials& trials, const Coordinates& coordinates,
                                      const Law& seed) {
    const Law start = coordinates.law(coordinates.coordinates(seed));
    const std::vector<FitSpecimen>& specimens = trials.specimens();
    std::vector<std::string> problems;
    for (std::size_t k = 0; k < specimens.size(); ++k) {
        FieldTexts texts = specimens[k].baseTexts;
        for (int j = 0; j < kLawParameterCount; ++j) {
            texts[std::size_t(kLawFields[j])] = FormatMask(start[j], kLawMasks[j]);
        }
        for (const std::string& problem : CheckRun(trials.withLaw(start, k), texts)) {
            problems.push_back(specimens.size() > 1 ? specimens[k].name + ": " + problem : problem);
        }
    }
    return problems;
}

// The largest measured slip of any specimen, mm.
double largestSlip(const std::vector<FitSpecimen>& specimens) {
    double largest = 0;
    for (const FitSpecimen& specimen : specimens) {
        largest = std::max(
            largest, *std::max_element(specimen.target.slip.begin(), specimen.target.slip.end()));
    }
    return largest;
}

// The box of the global design, in the coordinates, drawn from the data: τmax within a factor
// of 30 of the seed's; smax from 1/2000 of the largest measured slip to twice it; su − smax
// up to ten times it (su beyond the data leaves the curve nearly unchanged, so a larger box
// only spends runs on a flat misfit). Each side is cut to the bounds.
std::pair<std::vector<double>, std::vector<double>>
designBox(const Coordinates& coordinates, double largestMeasuredSlip, const Law& seed) {
    const double lastSlip = std::max(largestMeasuredSlip, 10 * kMinSMax);
    std::vector<double> low(std::size_t(coordinates.count())), high(low.size());
    for (int k = 0; k < coordinates.count(); ++k) {
        double a = 0, b = 0;
        switch (coordinates.parameter(k)) {
        case kTau:
            a = seed[kTau] / 30;
            b = seed[kTau] * 30;
            break;
        case kSMax:
            a = lastSlip / 2000;
            b = 2 * lastSlip;
            break;
        default:
            a = kMinSlipGap;
            b = 10 * lastSlip;
            break;
        }
        const std::size_t i = std::size_t(k);
        low[i] = std::clamp(std::log(a), coordinates.lower()[i], coordinates.upper()[i]);
        high[i] = std::clamp(std::log(b), low[i], coordinates.upper()[i]);
    }
    return {low, high};
}

// The i-th point (from 1) of the Halton sequence in base b: a low-discrepancy sequence that
// fills the box evenly for any number of points, the same on every machine.
double halton(int i, int b) {
    double value = 0, scale = 1;
    for (; i > 0; i /= b) {
        scale /= b;
        value += scale * (i % b);
    }
    return value;
}

// Stage 3: where the searches may start: the space-filling design over the data's box, a
// coarse grid around the seed and the base set's own law.
std::vector<std::vector<double>> startCandidates(const Coordinates& coordinates,
                                                 const FreeParameters& parameters,
                                                 const AnalysisParameters& base,
                                                 double largestMeasuredSlip, const Law& seed) {
    std::vector<std::vector<double>> candidates;
    const int n = coordinates.count();
    const auto [low, high] = designBox(coordinates, largestMeasuredSlip, seed);
    constexpr int kBases[] = {2, 3, 5};
    for (int i = 1; i <= kDesignPointsPerParameter * n; ++i) {
        std::vector<double> x(static_cast<std::size_t>(n));
        for (std::size_t k = 0; k < x.size(); ++k) {
            x[k] = low[k] + (high[k] - low[k]) * halton(i, kBases[k]);
        }
        candidates.push_back(std::move(x));
    }
    const std::vector<double> center = coordinates.coordinates(seed);
    int gridSize = 1;
    for (int k = 0; k < n; ++k) {
        gridSize *= int(std::size(kGridOffsets));
    }
    for (int g = 0; g < gridSize; ++g) {
        std::vector<double> x = center;
        for (int k = 0, rest = g; k < n; ++k, rest /= int(std::size(kGridOffsets))) {
            x[k] = std::clamp(x[k] + kGridOffsets[rest % int(std::size(kGridOffsets))],
                              coordinates.lower()[k], coordinates.upper()[k]);
        }
        candidates.push_back(std::move(x));
    }
    Law baseLaw;
    for (int j = 0; j < kLawParameterCount; ++j) {
        baseLaw[j] =
            parameters.free[j] ? double(base.value(kLawFields[j])) : parameters.fixedValues[j];
    }
    if (baseLaw[kTau] > 0 && baseLaw[kSMax] > 0 && baseLaw[kSu] > baseLaw[kSMax]) {
        candidates.push_back(coordinates.coordinates(baseLaw));
    }
    return candidates;
}

double distance(const std::vector<double>& a, const std::vector<double>& b) {
    double largest = 0;
    for (std::size_t k = 0; k < a.size(); ++k) {
        largest = std::max(largest, std::abs(a[k] - b[k]));
    }
    return largest;
}

// Stage 4d: the valley. On a clean curve the optimum lies at the end of a long, narrow valley
// along which the law keeps its fracture energy (τmax and the slips trade against each
// other), and the misfit ripples across it as the slip front crosses the elements: a simplex
// stops in a ripple short of its end. Levenberg-Marquardt steps (Marquardt 1963) on the
// logarithms of the free parameters, with a Jacobian of central differences of 1 % (wide
// enough to see the valley's trend, not its ripple), walk along it: each step tries a few
// dampings in parallel and keeps the law of the least sum of squares, until no step gains.
void walkTheValley(Trials& trials, const Coordinates& coordinates, int jobs) {
    constexpr int kSteps = 12;
    constexpr double kDampings[] = {0, 1e-3, 1e-2, 1e-1, 1};
    constexpr double kLargestStep = 0.3; // in the logarithm: a factor of 1.35
    std::vector<int> free;
    for (int k = 0; k < coordinates.count(); ++k) {
        free.push_back(coordinates.parameter(k));
    }
    const std::size_t p = free.size();
    std::vector<double> measured;
    for (const FitSpecimen& specimen : trials.specimens()) {
        measured.insert(measured.end(), specimen.target.load.begin(), specimen.target.load.end());
    }
    const std::size_t m = measured.size();
    for (int step = 0; step < kSteps; ++step) {
        const auto [theta, ssr] = trials.best();
        std::vector<double> failureSlips;
        const std::vector<double> centre = seriesLoads(trials, theta, &failureSlips, nullptr);
        std::vector<std::vector<double>> shifted(2 * p);
        RunTasks(int(2 * p), jobs, [&](int task) {
            Law law = theta;
            law[free[std::size_t(task / 2)]] *=
                std::exp(task % 2 == 0 ? -kJacobianStep : kJacobianStep);
            shifted[std::size_t(task)] = seriesLoads(trials, law, nullptr, &failureSlips);
        });
        Matrix normal(p, std::vector<double>(p, 0.0));
        std::vector<double> gradient(p, 0.0);
        for (std::size_t i = 0; i < m; ++i) {
            std::vector<double> row(p);
            for (std::size_t a = 0; a < p; ++a) {
                row[a] = (shifted[2 * a + 1][i] - shifted[2 * a][i]) / (2 * kJacobianStep);
            }
            for (std::size_t a = 0; a < p; ++a) {
                gradient[a] += row[a] * (measured[i] - centre[i]);
                for (std::size_t c = 0; c < p; ++c) {
                    normal[a][c] += row[a] * row[c];
                }
            }
        }
        std::vector<Law> trialsOfStep;
        for (const double damping : kDampings) {
            Matrix damped = normal;
            for (std::size_t a = 0; a < p; ++a) {
                damped[a][a] *= 1 + damping;
            }
            const std::optional<Matrix> inverted = inverse(damped);
            if (!inverted) {
                continue;
            }
            std::vector<double> delta(p, 0.0);
            double largest = 0;
            for (std::size_t a = 0; a < p; ++a) {
                for (std::size_t c = 0; c < p; ++c) {
                    delta[a] += (*inverted)[a][c] * gradient[c];
                }
                largest = std::max(largest, std::abs(delta[a]));
            }
            Law law = theta;
            for (std::size_t a = 0; a < p; ++a) {
                law[free[a]] *= std::exp(delta[a] * std::min(1.0, kLargestStep / largest));
            }
            trialsOfStep.push_back(coordinates.law(coordinates.coordinates(law)));
        }
        RunTasks(int(trialsOfStep.size()), jobs,
                 [&](int t) { trials.misfit(trialsOfStep[std::size_t(t)], false); });
        if (!(trials.best().second < ssr)) {
            break;
        }
    }
}

// Stage 4: the candidates are evaluated in parallel; local searches start from the best of
// them that lie apart, also in parallel, following the guided misfit; then the law of the
// smallest sum of squares met is polished on the sum of squares itself. Returns the local
// searches' results (on the guided misfit), best first; the fit is trials.best().
std::vector<SearchResult> searchFromCandidates(Trials& trials, const Coordinates& coordinates,
                                               const std::vector<std::vector<double>>& candidates,
                                               int jobs) {
    std::vector<double> candidateSsr(candidates.size());
    RunTasks(int(candidates.size()), jobs, [&](int c) {
        candidateSsr[std::size_t(c)] =
            trials.misfit(coordinates.law(candidates[std::size_t(c)]), true);
    });
    std::vector<std::size_t> order(candidates.size());
    for (std::size_t c = 0; c < order.size(); ++c) {
        order[c] = c;
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return candidateSsr[a] < candidateSsr[b];
    });
    std::vector<std::vector<double>> starts;
    for (const std::size_t c : order) {
        if (int(starts.size()) == kSearchStarts) {
            break;
        }
        if (std::all_of(starts.begin(), starts.end(), [&](const std::vector<double>& x) {
                return distance(x, candidates[c]) >= kStartSpacing;
            })) {
            starts.push_back(candidates[c]);
        }
    }
    std::vector<SearchResult> results(starts.size());
    RunTasks(int(starts.size()), jobs, [&](int s) {
        results[std::size_t(s)] = search(trials, coordinates, starts[std::size_t(s)], true,
                                         nlopt::LN_BOBYQA, kMaxEvaluationsPerSearch, 0.2);
    });
    std::stable_sort(results.begin(), results.end(),
                     [](const SearchResult& a, const SearchResult& b) { return a.ssr < b.ssr; });
    // The polish follows the sum of squares itself, from the best law any trial has met.
    search(trials, coordinates, coordinates.coordinates(trials.best().first), false,
           nlopt::LN_SBPLX, kMaxEvaluationsOfPolish, 0.05);
    walkTheValley(trials, coordinates, jobs);
    return results;
}

// Stage 4b: the written texts round the law to the field masks (0.001 N/mm², 0.0001 mm); on
// a clean curve one step of 0.0001 mm in smax is a visible misfit. A pattern search on the
// masks' grid from the rounded best law: all neighbours one step away are run in parallel,
// the best becomes the centre, until the centre is the best.
Law patternSearch(Trials& trials, const FreeParameters& parameters, Law center, double stride,
                  int maxMoves, int jobs);

void snapToTheMasks(Trials& trials, const FreeParameters& parameters, int jobs) {
    constexpr int kMaxMoves = 10;
    Law center = trials.best().first;
    for (int j = 0; j < kLawParameterCount; ++j) {
        if (parameters.free[j]) {
            center[j] = std::round(center[j] / kMaskSteps[j]) * kMaskSteps[j];
        }
    }
    // Strides of 4, 2 and 1 steps: the misfit ripples a little as the slip front crosses
    // the elements, and a stride of one step alone can stop in a ripple.
    for (const double stride : {4.0, 2.0, 1.0}) {
        center = patternSearch(trials, parameters, center, stride, kMaxMoves, jobs);
    }
}

Law patternSearch(Trials& trials, const FreeParameters& parameters, Law center, double stride,
                  int maxMoves, int jobs) {
    for (int move = 0; move < maxMoves; ++move) {
        std::vector<Law> neighbours = {center};
        for (int j = 0; j < kLawParameterCount; ++j) {
            if (!parameters.free[j]) {
                continue;
            }
            const std::size_t count = neighbours.size();
            for (std::size_t i = 0; i < count; ++i) {
                for (const double shift : {-stride * kMaskSteps[j], stride * kMaskSteps[j]}) {
                    Law law = neighbours[i];
                    law[j] += shift;
                    neighbours.push_back(law);
                }
            }
        }
        std::erase_if(neighbours, [](const Law& law) {
            return law[kTau] < kMinTauMax || law[kSMax] < kMinSMax ||
                   law[kSu] - law[kSMax] < kMinSlipGap - 1e-12;
        });
        std::vector<double> ssr(neighbours.size());
        RunTasks(int(neighbours.size()), jobs, [&](int i) {
            ssr[std::size_t(i)] = trials.misfit(neighbours[std::size_t(i)], false);
        });
        const std::size_t best =
            std::size_t(std::min_element(ssr.begin(), ssr.end()) - ssr.begin());
        if (best == 0) {
            break;
        }
        center = neighbours[best];
    }
    return center;
}

// Stage 5: the fitted set is what the written texts give; its runs on each specimen, their
// misfits and the bond quantities of the first specimen's set. Returns the fitted law and the
// failure slip of each specimen's path.
std::pair<Law, std::vector<double>> evaluateFittedSet(Trials& trials, const FitSettings& settings,
                                                      const FreeParameters& parameters,
                                                      const Law& theta, BondLawFit& fit) {
    const std::vector<FitSpecimen>& specimens = trials.specimens();
    fit.texts = specimens.front().baseTexts;
    fit.params = specimens.front().base;
    fit.params.bondModel = settings.model;
    Law fitted;
    for (int j = 0; j < kLawParameterCount; ++j) {
        ParameterEstimate& estimate = fit.parameters[std::size_t(j)];
        estimate.fixed = !parameters.free[j];
        estimate.text =
            parameters.free[j] ? FormatMask(theta[j], kLawMasks[j]) : *settings.fixedTexts[j];
        const float value = FieldValue(estimate.text);
        estimate.value = value;
        estimate.standardError = 0;
        estimate.lower = estimate.upper = std::numeric_limits<double>::quiet_NaN();
        fit.texts[std::size_t(kLawFields[j])] = estimate.text;
        fit.params.value(kLawFields[j]) = value;
        fitted[j] = value;
    }
    std::vector<double> failureSlips;
    double sst = 0, squares = 0;
    fit.ssr = 0;
    fit.specimens.clear();
    for (std::size_t k = 0; k < specimens.size(); ++k) {
        const ModelCurve curve = RunModelCurve(trials.withLaw(fitted, k));
        trials.countRun();
        const LoadSlipPath path(curve.steps);
        SpecimenFit specimen;
        const FitTarget target = trials.pointsFor(k, path, specimen.seatingOffset);
        specimen.name = specimens[k].name;
        specimen.points = target.slip.size();
        specimen.ssr = SumOfSquares(target, path, &specimen.modelLoad);
        const double m = double(specimen.points);
        specimen.rmse = std::sqrt(specimen.ssr / m);
        double mean = 0, specimenSquares = 0;
        for (const double load : target.load) {
            mean += load / m;
            specimenSquares += load * load;
        }
        double specimenSst = 0;
        for (const double load : target.load) {
            specimenSst += (load - mean) * (load - mean);
        }
        // Loads that are all equal leave only the rounding of their mean in SST: R² is
        // undefined.
        specimen.r2 = specimenSst > 1e-20 * specimenSquares
                          ? 1 - specimen.ssr / specimenSst
                          : std::numeric_limits<double>::quiet_NaN();
        specimen.modelPath = path.points();
        specimen.modelEnd = curve.end;
        failureSlips.push_back(path.failureSlip());
        fit.ssr += specimen.ssr;
        sst += specimenSst;
        squares += specimenSquares;
        fit.specimens.push_back(std::move(specimen));
    }
    fit.rmse = std::sqrt(fit.ssr / double(trials.points()));
    fit.r2 = sst > 1e-20 * squares ? 1 - fit.ssr / sst : std::numeric_limits<double>::quiet_NaN();
    fit.seatingOffset = fit.specimens.front().seatingOffset;
    fit.modelLoad = fit.specimens.front().modelLoad;
    fit.modelPath = fit.specimens.front().modelPath;
    fit.modelEnd = fit.specimens.front().modelEnd;
    fit.quantities = ComputeBondQuantities(fit.params);
    return {fitted, failureSlips};
}

// The 97.5 % quantile of Student's t with ν degrees of freedom: the Cornish-Fisher expansion
// about the normal quantile (Abramowitz and Stegun, Handbook of Mathematical Functions,
// 26.7.5), within 0.1 % for ν ≥ 3; ν = 1 and 2 exactly.
double studentT975(double nu) {
    if (nu < 1.5) {
        return 12.706204736;
    }
    if (nu < 2.5) {
        return 4.302652730;
    }
    const double z = 1.959963985;
    const double z3 = z * z * z, z5 = z3 * z * z, z7 = z5 * z * z;
    return z + (z3 + z) / (4 * nu) + (5 * z5 + 16 * z3 + 3 * z) / (96 * nu * nu) +
           (3 * z7 + 19 * z5 + 17 * z3 - 15 * z) / (384 * nu * nu * nu);
}

// The profile's step in the logarithm: a standard error, but at least 1e-4 of the value, so
// that the single-precision runs see the change.
double profileStep(const ParameterEstimate& p) {
    return std::max(p.standardError / p.value, 1e-4);
}

// Where the profile trace of parameter j passes at value: the other free parameters moved by
// their regression on θj, Σkj/Σjj·(value − θj), the trace the linear approximation predicts
// (Bates and Watts 1988, § 6.1.2). The parameters trade along a narrow valley (τmax against
// smax and su, at about constant fracture energy), so a profile point that starts from the
// fitted values with θj alone moved starts high on the valley's wall, and a short search from
// there stops above the profile: the interval comes out too narrow.
Law traceStart(const Law& fitted, const Matrix& covariance,
               const std::array<ParameterEstimate, kLawParameterCount>& estimates, int j,
               double value) {
    Law start = fitted;
    start[j] = value;
    const double varianceJ = covariance[std::size_t(j)][std::size_t(j)];
    for (int k = 0; varianceJ > 0 && k < kLawParameterCount; ++k) {
        const ParameterEstimate& other = estimates[std::size_t(k)];
        const double moved = fitted[k] + covariance[std::size_t(k)][std::size_t(j)] / varianceJ *
                                             (value - fitted[j]);
        // A parameter the curve does not determine has no trace to follow.
        if (k != j && !other.fixed && Determined(other) && moved > 0) {
            start[k] = moved;
        }
    }
    return start;
}

// Stage 6c: the 95 % profile-likelihood interval of each determined free parameter. The
// profile is taken at 2 and 4 standard errors on each side (in the logarithm, so that it
// stays positive), each point a short local search over the other free parameters from the
// linear profile trace, with first steps of their standard errors, all in parallel;
// √(profile SSR − SSR) is close to linear in the distance, and each end is interpolated in
// it. Returns whether the profile met a law that fits clearly better than the fitted one:
// by more than half the allowed rise, so that the fitted law would lie half-way to the edge
// of that law's region. The search then stopped short of the optimum.
bool profileIntervals(Trials& trials, const FreeParameters& parameters, const Law& fitted,
                      const Matrix& covariance, std::size_t points, int jobs, BondLawFit& fit) {
    constexpr double kMultiples[] = {2, 4};
    constexpr int kProfileEvaluations = 40;
    const double nu = double(points) - double(parameters.count()) - double(trials.offsets());
    const double t = studentT975(nu);
    struct Task {
        int j;
        int side;
        double multiple;
        double value;
        double ssr = 0;
    };
    std::vector<Task> tasks;
    for (int j = 0; j < kLawParameterCount; ++j) {
        const ParameterEstimate& p = fit.parameters[std::size_t(j)];
        if (p.fixed || !Determined(p) || !(fit.ssr > 0)) {
            continue;
        }
        for (const int side : {-1, 1}) {
            for (const double multiple : kMultiples) {
                tasks.push_back({j, side, multiple,
                                 p.value * std::exp(side * multiple * p.standardError / p.value)});
            }
        }
    }
    RunTasks(int(tasks.size()), jobs, [&](int k) {
        Task& task = tasks[std::size_t(k)];
        std::array<bool, kLawParameterCount> free = parameters.free;
        Law fixedValues = parameters.fixedValues;
        free[task.j] = false;
        fixedValues[task.j] = task.value;
        const Law start = traceStart(fitted, covariance, fit.parameters, task.j, task.value);
        // The first steps: the largest relative standard error of the others, so that the
        // search neither overshoots a narrow valley nor crawls along a wide one.
        double step = 1e-3;
        for (int k = 0; k < kLawParameterCount; ++k) {
            const ParameterEstimate& other = fit.parameters[std::size_t(k)];
            if (free[k] && Determined(other)) {
                step = std::max(step, other.standardError / other.value);
            }
        }
        const Coordinates profile(free, fixedValues);
        task.ssr = profile.count() == 0
                       ? trials.misfit(start, false)
                       : search(trials, profile, profile.coordinates(start), false,
                                nlopt::LN_BOBYQA, kProfileEvaluations, std::min(step, 0.05))
                             .ssr;
    });
    // The fitted texts are rounded to the field masks, so a profile point may fit a little
    // better than they do: the smallest sum of squares met is the reference.
    double least = fit.ssr;
    for (const Task& task : tasks) {
        least = std::min(least, task.ssr);
    }
    const double rise = std::sqrt(least * t * t / nu); // √ of the allowed rise of SSR
    for (int j = 0; j < kLawParameterCount; ++j) {
        ParameterEstimate& p = fit.parameters[std::size_t(j)];
        if (p.fixed || !Determined(p) || !(fit.ssr > 0)) {
            continue;
        }
        for (const int side : {-1, 1}) {
            // Distances in the logarithm, and √ of the rise of SSR there, from the optimum out.
            double lastDistance = 0, lastRise = 0,
                   end = side * std::numeric_limits<double>::infinity();
            for (const Task& task : tasks) {
                if (task.j != j || task.side != side) {
                    continue;
                }
                const double distance = task.multiple * profileStep(p);
                const double r = std::sqrt(std::max(task.ssr - least, 0.0));
                if (r >= rise) {
                    const double at = lastDistance + (distance - lastDistance) * (rise - lastRise) /
                                                         (r - lastRise);
                    end = p.value * std::exp(side * at);
                    break;
                }
                lastDistance = distance;
                lastRise = r;
            }
            // The law is written on the masks' grid and the fitted value is rounded to it by
            // up to half a step, so each end is rounded outward to the grid: the interval
            // holds every written value the profile does not reject.
            const double step = kMaskSteps[std::size_t(j)];
            if (side < 0) {
                p.lower = std::isinf(end) ? 0 : std::floor(end / step) * step;
            } else {
                p.upper = std::isinf(end) ? end : std::ceil(end / step) * step;
            }
        }
    }
    return fit.ssr - least > 0.5 * rise * rise;
}

// Two optima are told apart when a determined free parameter differs by more than 10 % and by
// more than two of its standard errors; one within 1 % of the fit's sum of squares fits as
// well, given that the scatter itself moves the sum of squares by more than that.
constexpr double kSecondOptimumMargin = 0.01;
constexpr double kDistinctParameter = 0.1;

// Stage 7: another law that fits as well: the end points of the local searches, run again on
// the sum of squares itself.
std::optional<Law> secondOptimum(Trials& trials, const std::vector<SearchResult>& results,
                                 const Coordinates& coordinates, const BondLawFit& fit, int jobs) {
    std::vector<double> ssr(results.size());
    RunTasks(int(results.size()), jobs, [&](int r) {
        ssr[std::size_t(r)] = trials.misfit(coordinates.law(results[std::size_t(r)].x), false);
    });
    for (std::size_t r = 0; r < results.size(); ++r) {
        if (!(ssr[r] <= fit.ssr * (1 + kSecondOptimumMargin))) {
            continue;
        }
        const Law law = coordinates.law(results[r].x);
        for (int j = 0; j < kLawParameterCount; ++j) {
            const ParameterEstimate& p = fit.parameters[std::size_t(j)];
            const double difference = std::abs(law[j] - p.value);
            if (!p.fixed && Determined(p) && difference > kDistinctParameter * p.value &&
                difference > 2 * p.standardError) {
                return law;
            }
        }
    }
    return std::nullopt;
}

std::string parameterName(int j, BondModel model) {
    const bool yieldLaw = model == BondModel::PerfectlyBilinear;
    return j == kTau ? (yieldLaw ? "τy" : "τmax") : j == kSMax ? (yieldLaw ? "sy" : "smax") : "su";
}

// Stage 8: what the engineer must know before trusting the fit.
// The loads or slips of one specimen whose size suggests other units. name prefixes the
// warning (a specimen of a series), or is empty.
void warnOfUnits(const FitTarget& target, const AnalysisParameters& base, const std::string& name,
                 std::vector<std::string>& warnings) {
    // Scale: a laminate of this width and stiffness holds about b·√(2·Gf·Ef·tf) with Gf of
    // the order of 1 N/mm; the loaded-end slip at failure is of the order of 0.1 to 2 mm.
    const double typicalLoad = double(base.b) * std::sqrt(2 * double(base.Ef) * double(base.tf));
    const double peak = *std::max_element(target.load.begin(), target.load.end());
    const double lastSlip = *std::max_element(target.slip.begin(), target.slip.end());
    const std::string who = name.empty() ? "" : name + ": ";
    if (peak > 0 && peak < typicalLoad / 100 && peak * 1000 > typicalLoad / 10) {
        warnings.push_back(who + "The loads look like kN: the largest is " + BriefText(peak) +
                           ", where this laminate would hold about " + BriefText(typicalLoad) +
                           " N. Loads are in N.");
    }
    if (lastSlip > 20 && lastSlip / 1000 < 20) {
        warnings.push_back(who + "The slips look like µm: the largest is " + BriefText(lastSlip) +
                           ", where a bond fails at a slip of about 0.1 to 2 mm. Slips are in mm.");
    } else if (lastSlip > 0 && lastSlip < 0.002) {
        warnings.push_back(who + "The slips look like m: the largest is " + BriefText(lastSlip) +
                           ", where a bond fails at a slip of about 0.1 to 2 mm. Slips are in mm.");
    }
}

std::vector<std::string> warningsOf(const BondLawFit& fit,
                                    const std::vector<FitSpecimen>& specimens,
                                    const FreeParameters& parameters,
                                    const std::optional<Law>& second) {
    std::vector<std::string> warnings;
    const std::string units[] = {" N/mm²", " mm", " mm"};
    if (!std::isfinite(fit.ssr) || !std::isfinite(fit.r2)) {
        warnings.push_back("The misfit is not a finite number (the loads are all equal, or too "
                           "large to square): the fit says nothing about the law.");
    } else if (fit.r2 < kPoorFitR2) {
        warnings.push_back("R² is " + BriefText(fit.r2) + ", below " + BriefText(kPoorFitR2) +
                           ": the model does not follow the curve. Check the columns, their "
                           "units and the fit range.");
    }

    // Of a series, a specimen the shared law does not follow: another kind of failure, a
    // record in other units or of another specimen's geometry.
    const bool series = specimens.size() > 1;
    for (std::size_t k = 0; series && k < fit.specimens.size(); ++k) {
        const SpecimenFit& specimen = fit.specimens[k];
        if (std::isfinite(fit.r2) && !(specimen.r2 >= kPoorFitR2)) {
            warnings.push_back(specimen.name + ": R² is " + BriefText(specimen.r2) + ", below " +
                               BriefText(kPoorFitR2) +
                               ": the shared law does not follow this specimen. Check its "
                               "record and its base data set.");
        }
    }
    for (const FitSpecimen& specimen : specimens) {
        warnOfUnits(specimen.target, specimen.base, series ? specimen.name : "", warnings);
    }

    // A seating offset at an end of its allowed range (within 1 % of the range): the record
    // is not a pull-out curve seated by a little slack, or its slips are not the loaded end's.
    for (std::size_t k = 0; k < fit.specimens.size() && k < specimens.size(); ++k) {
        const double offset = fit.specimens[k].seatingOffset;
        const FitTarget& target = specimens[k].target;
        const double lastSlip = *std::max_element(target.slip.begin(), target.slip.end());
        const double low = kLeastOffset * lastSlip, high = kLargestOffset * lastSlip;
        const double near = 0.01 * (high - low);
        if (offset != 0 && (offset <= low + near || offset >= high - near)) {
            warnings.push_back((series ? specimens[k].name + ": " : std::string()) +
                               "The seating offset is at the end of its range (" +
                               BriefText(offset) + " mm, from " + BriefText(low) + " to " +
                               BriefText(high) +
                               " mm allowed): check that the slips are those of the loaded end.");
        }
    }

    // A parameter within 5 % of a bound of the search: the best law may lie beyond it.
    constexpr double kNearBound = 1.05;
    const std::array<std::pair<double, double>, kLawParameterCount> bounds = {
        std::pair{kMinTauMax, kMaxTauMax}, std::pair{kMinSMax, kMaxSMax},
        std::pair{kMinSlipGap, kMaxSlipGap}};
    for (int j = 0; j < kLawParameterCount; ++j) {
        if (!parameters.free[j]) {
            continue;
        }
        const ParameterEstimate& p = fit.parameters[std::size_t(j)];
        const double value = j == kSu ? p.value - fit.parameters[kSMax].value : p.value;
        const auto [low, high] = bounds[std::size_t(j)];
        const std::string what =
            j == kSu ? "su − " + parameterName(kSMax, fit.model) : parameterName(j, fit.model);
        if (value <= low * kNearBound || value >= high / kNearBound) {
            warnings.push_back(what + " is at " +
                               (value <= low * kNearBound ? "its lower" : "its upper") +
                               " bound (" + BriefText(value <= low * kNearBound ? low : high) +
                               units[j] + "): the best law may lie beyond it; do not use the fit.");
        }
    }
    for (int j = 0; j < kLawParameterCount; ++j) {
        const ParameterEstimate& p = fit.parameters[std::size_t(j)];
        if (!Determined(p)) {
            warnings.push_back(
                parameterName(j, fit.model) + " is not determined by the curve (" +
                (std::isfinite(p.standardError)
                     ? "its standard error is " + BriefText(p.standardError) + units[j]
                     : std::string("the model does not change with it")) +
                "); the quantities that depend on it are not given.");
        }
    }
    if (second) {
        const Law& law = *second;
        warnings.push_back("Another law fits as well (a sum of squares within 1 %): " +
                           parameterName(kTau, fit.model) + " " + BriefText(law[kTau]) + ", " +
                           parameterName(kSMax, fit.model) + " " + BriefText(law[kSMax]) + ", su " +
                           BriefText(law[kSu]) + ". The curve cannot tell them apart.");
    }
    return warnings;
}

} // namespace

BondLawFit FitBondLaw(const FitTarget& target, const FitSettings& settings) {
    return FitBondLaw(std::vector<FitSpecimen>{{"", target, settings.base, settings.baseTexts}},
                      settings);
}

BondLawFit FitBondLaw(const std::vector<FitSpecimen>& specimens, const FitSettings& settings) {
    BondLawFit fit;
    fit.model = settings.model;
    FreeParameters parameters;
    fit.problems = checkFixedParameters(specimens, settings, parameters);
    if (!fit.problems.empty()) {
        return fit;
    }
    // The seed is read off the first specimen's curve: for the global stage it needs only
    // the order of the law's values, which the specimens of a series share.
    const FitSpecimen& first = specimens.front();
    Law seed = seedFromCurve(first.target, first.base, settings.model);
    for (int j = 0; j < kLawParameterCount; ++j) {
        if (!parameters.free[j]) {
            seed[j] = parameters.fixedValues[j];
        }
    }
    const Coordinates coordinates(parameters.free, parameters.fixedValues);
    Trials trials(specimens, settings);
    fit.problems = checkBaseSet(trials, coordinates, seed);
    if (!fit.problems.empty()) {
        return fit;
    }

    const int jobs = settings.jobs > 0 ? settings.jobs : DefaultJobs();
    try {
        const std::vector<SearchResult> results = searchFromCandidates(
            trials, coordinates,
            startCandidates(coordinates, parameters, first.base, largestSlip(specimens), seed),
            jobs);
        // The profile searches the misfit too: when it meets a law that fits clearly better,
        // the search had stopped short of the optimum, and the law, its errors and intervals
        // are made again from there, once.
        for (int pass = 0; pass < 2; ++pass) {
            if (pass > 0) {
                search(trials, coordinates, coordinates.coordinates(trials.best().first), false,
                       nlopt::LN_SBPLX, kMaxEvaluationsOfPolish, 0.05);
                walkTheValley(trials, coordinates, jobs);
            }
            snapToTheMasks(trials, parameters, jobs);
            const auto [fitted, failureSlips] =
                evaluateFittedSet(trials, settings, parameters, trials.best().first, fit);
            const Matrix covariance =
                estimateUncertainty(trials, fitted, fit.ssr, failureSlips, jobs, fit.parameters);
            estimateQuantities(fit, covariance);
            if (!profileIntervals(trials, parameters, fitted, covariance, trials.points(), jobs,
                                  fit)) {
                break;
            }
        }
        fit.warnings = warningsOf(fit, trials.specimens(), parameters,
                                  secondOptimum(trials, results, coordinates, fit, jobs));
    } catch (const nlopt::forced_stop&) {
        fit.cancelled = true;
    } catch (const std::exception& failure) {
        // NLopt refuses what it cannot search (a bad argument, no memory).
        fit.problems.push_back(std::string("The search failed: ") + failure.what() + ".");
    }
    fit.modelRuns = trials.runs();
    return fit;
}

ParameterFileTexts FittedParameterFile(const BondLawFit& fit, std::string comment,
                                       bool detailOutput) {
    ParameterFileTexts file;
    file.comment = std::move(comment);
    file.detailOutput = detailOutput;
    for (int f = 0; f < kStoredFieldCount; ++f) {
        file.fields[std::size_t(f)] = fit.texts[std::size_t(f)];
    }
    return file;
}

DataSet FittedDataSet(const BondLawFit& fit, DataSet base, std::string comment) {
    base.comment = std::move(comment);
    base.law = fit.model;
    for (const NumericField field : kLawFields) {
        base.text(field) = fit.texts[std::size_t(field)];
    }
    return base;
}

std::string BriefText(double value) {
    if (!std::isfinite(value)) {
        return "-";
    }
    char text[32];
    return std::string(
        text, std::to_chars(text, text + sizeof text, value, std::chars_format::general, 4).ptr);
}

std::string FitSummary(const BondLawFit& fit) {
    const bool yieldLaw = fit.model == BondModel::PerfectlyBilinear;
    const char* labels[] = {yieldLaw ? "τy          " : "τmax        ",
                            yieldLaw ? "sy          " : "smax        ", "su          "};
    const char* units[] = {"N/mm²", "mm", "mm"};
    std::string text = std::string("law         ") +
                       (yieldLaw ? "perfectly bi-linear" : "bi-linear softening") + "\n";
    for (int j = 0; j < kLawParameterCount; ++j) {
        const ParameterEstimate& p = fit.parameters[std::size_t(j)];
        text += labels[j] + p.text + " " + units[j];
        if (p.fixed) {
            text += "  fixed\n";
        } else if (std::isfinite(p.standardError)) {
            text += "  ± " + BriefText(p.standardError) + " " + units[j] + " (standard error)\n";
            if (!std::isnan(p.lower)) {
                text += "            95 % interval " + BriefText(p.lower) + " to " +
                        (std::isfinite(p.upper) ? BriefText(p.upper) + " " + units[j]
                                                : std::string("∞")) +
                        "\n";
            }
        } else {
            text += "  not determined by the curve\n";
        }
    }
    if (fit.seatingOffset != 0 && fit.specimens.size() <= 1) {
        text += "offset      " + BriefText(fit.seatingOffset) +
                " mm (seating, taken off the measured slips)\n";
    }
    text +=
        "RMSE        " + BriefText(fit.rmse) + " N\n" + "R²          " + BriefText(fit.r2) + "\n";
    const std::pair<const char*, const QuantityEstimate*> quantities[] = {
        {"Gf          ", &fit.Gf}, {"P∞          ", &fit.Pinf}, {"Le          ", &fit.Le}};
    const char* quantityUnits[] = {"N/mm", "N", "mm"};
    for (std::size_t q = 0; q < std::size(quantities); ++q) {
        const QuantityEstimate& e = *quantities[q].second;
        text += quantities[q].first;
        if (!e.determined || !std::isfinite(e.value)) {
            text += "not determined\n";
            continue;
        }
        text += BriefText(e.value) + " " + quantityUnits[q];
        // Le comes from the closed forms alone; its standard error is given only for Gf, P∞.
        if (q < 2 && std::isfinite(e.standardError)) {
            text +=
                "  ± " + BriefText(e.standardError) + " " + quantityUnits[q] + " (standard error)";
        }
        text += "\n";
    }
    if (fit.specimens.size() > 1) {
        text += "specimens   " + std::to_string(fit.specimens.size()) +
                ", one law; Gf, P∞ and Le for the first one's set\n";
        for (const SpecimenFit& specimen : fit.specimens) {
            text += "  " + specimen.name + ": " + std::to_string(specimen.points) +
                    " points, RMSE " + BriefText(specimen.rmse) + " N, R² " +
                    BriefText(specimen.r2) +
                    (specimen.seatingOffset != 0
                         ? ", offset " + BriefText(specimen.seatingOffset) + " mm"
                         : std::string()) +
                    "\n";
        }
    }
    text += "model runs  " + std::to_string(fit.modelRuns) + "\n";
    for (const std::string& warning : fit.warnings) {
        text += "warning     " + warning + "\n";
    }
    return text;
}

std::string MeasuredAgainstModelCsv(const FitTarget& target, const BondLawFit& fit) {
    return MeasuredAgainstModelCsv(std::vector<FitSpecimen>{{"", target, {}, {}}}, fit);
}

std::string MeasuredAgainstModelCsv(const std::vector<FitSpecimen>& specimens,
                                    const BondLawFit& fit) {
    const bool series = specimens.size() > 1;
    std::string csv = std::string(series ? "specimen," : "") +
                      "slip (mm),measured load (N),model load (N),residual (N)\r\n";
    for (std::size_t k = 0; k < specimens.size() && k < fit.specimens.size(); ++k) {
        const FitTarget& target = specimens[k].target;
        const std::vector<double>& model = fit.specimens[k].modelLoad;
        for (std::size_t i = 0; i < target.slip.size() && i < model.size(); ++i) {
            csv += (series ? CsvField(specimens[k].name) + "," : "") +
                   ShortestText(target.slip[i]) + "," + ShortestText(target.load[i]) + "," +
                   ShortestText(model[i]) + "," + ShortestText(target.load[i] - model[i]) + "\r\n";
        }
    }
    return csv;
}

} // namespace orvane
