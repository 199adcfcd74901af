// How the 5 % fractile of a sampled study settles as the number of samples grows: for each N,
// the fractile, its 95 % interval (order statistics) and its width, for Latin hypercube and
// plain Monte Carlo sampling from the same seed, with the time each study took. The joint is
// the start-up set with its law derived from fc′ ~ normal(30, 4) MPa by Lu et al. (2005),
// Ef ~ lognormal(230000, 5 %), tf ~ normal(0.167, 5 %) and θ ~ lognormal(1.17, 27 %).
//
//     build/bench/fractile_bench [largest N] [element length dl, mm]
//
// Times are for comparison within one run only: the machine is shared.

#include "core/study/CapacityStatistics.h"
#include "core/study/Sampling.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace orvane;

int main(int argc, char** argv) {
    const std::int64_t largest = argc > 1 ? std::atoll(argv[1]) : 10'000;
    const std::string dl = argc > 2 ? argv[2] : "1.0";
    SampledStudy study;
    study.base.baseTexts[static_cast<int>(NumericField::Dl)] = dl;
    CopyFieldTexts(study.base.base, study.base.baseTexts);
    for (const char* definition :
         {"fc=normal:30:4", "Ef=lognormal:230000:0.05", "tf=normal:0.167:0.00835"}) {
        study.inputs.push_back(ParseSampledInput(definition).input);
    }
    study.lawModel = BondSlipModel::Lu2005Bilinear;
    study.modelFactor = ModelFactor{1.17, 0.27, {}, {}, {}};
    std::printf("dl = %s mm, %d threads\n", dl.c_str(), DefaultJobs());
    std::printf("%8s %4s %12s %12s %12s %8s %9s\n", "N", "", "R5% (N)", "lower (N)", "upper (N)",
                "width", "time (s)");
    for (std::int64_t n = 50; n <= largest; n *= 2) {
        for (const SamplingMethod method :
             {SamplingMethod::LatinHypercube, SamplingMethod::MonteCarlo}) {
            study.count = n;
            study.method = method;
            const auto start = std::chrono::steady_clock::now();
            const SampleTable table = DrawSamples(study);
            std::vector<double> capacities;
            RunPoints(
                {0, n}, DefaultJobs(),
                [&](std::int64_t k, std::stop_token stop) {
                    return RunSample(study, table, k, stop);
                },
                [&](const StudyPointResult& result) {
                    if (const auto capacity =
                            SampleCapacity(result, table.theta[std::size_t(result.index)])) {
                        capacities.push_back(*capacity);
                    }
                    return true;
                });
            const CapacitySummary summary =
                SummarizeCapacities(capacities, n - std::int64_t(capacities.size()), {});
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const FractileEstimate& f = summary.fractile;
            std::printf("%8lld %4s %12.1f %12s %12s %7s%% %9.2f\n", static_cast<long long>(n),
                        std::string(SamplingMethodName(method)).c_str(), f.value,
                        f.lower ? std::to_string(long(*f.lower)).c_str() : "-",
                        f.upper ? std::to_string(long(*f.upper)).c_str() : "-",
                        f.lower && f.upper
                            ? std::to_string(int(100 * (*f.upper - *f.lower) / f.value)).c_str()
                            : "-",
                        seconds);
        }
    }
    return 0;
}
