// The fit against the program's own curves: a suite of synthetic tests over both laws, three
// extents of the record, 20 to 500 points and 0 to 3 % scatter. For each it fits the law on
// two threads and compares the misfit with that of the true law; it prints, per case and in
// total, whether the fit reached the best misfit known (or warned), and the time per fit.
// Run: build/bench/fit_suite_bench [cases, default 72]

#include "fit/BondLawFit.h"
#include "support/SyntheticCurves.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace orvane;

namespace {

const char* extentName(CurveExtent extent) {
    return extent == CurveExtent::PrePeak ? "pre-peak"
           : extent == CurveExtent::Full  ? "full"
                                          : "post-failure";
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 72;
    int reached = 0;
    int warnedOnly = 0;
    std::vector<double> seconds;
    for (const SyntheticCase& c : SyntheticSuite(count)) {
        const SyntheticCurve curve = MakeSyntheticCurve(c);
        FitSettings settings;
        settings.base = SyntheticBase(c.model);
        settings.baseTexts = StartupFieldTexts();
        settings.model = c.model;
        settings.jobs = 2;
        const auto start = std::chrono::steady_clock::now();
        const BondLawFit fit = FitBondLaw(curve.target, settings);
        seconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        const double truthSsr =
            SumOfSquares(curve.target, LoadSlipPath(RunModelCurve(curve.truth).steps));
        // The best misfit known: the true law's or the fit's; the fitted texts round the law to
        // the field masks, which costs a little on a noise-free curve.
        const double best = std::min(truthSsr, fit.ssr);
        const double m = double(curve.target.slip.size());
        const double slack = m * (1e-3 * curve.peak) * (1e-3 * curve.peak);
        const bool atBest = fit.problems.empty() && fit.ssr <= 1.01 * best + slack;
        const bool warned = !fit.warnings.empty();
        reached += atBest ? 1 : 0;
        warnedOnly += !atBest && warned ? 1 : 0;
        std::printf("%-9s %-12s %3d pts noise %.2f  true RMSE %-9.4g fit RMSE %-9.4g %s%s  %.2f s "
                    "%d runs\n",
                    c.model == BondModel::BilinearSoftening ? "softening" : "bilinear",
                    extentName(c.extent), c.points, c.noise, std::sqrt(truthSsr / m), fit.rmse,
                    atBest ? "best" : "MISSED", warned ? " (warned)" : "", seconds.back(),
                    fit.modelRuns);
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("%d of %d curves at the best misfit, %d more missed it with a warning, %d "
                "missed it silently; median %.2f s a fit, slowest %.2f s (2 threads)\n",
                reached, count, warnedOnly, count - reached - warnedOnly,
                seconds[seconds.size() / 2], seconds.back());
    return 0;
}
