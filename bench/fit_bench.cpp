// The calibration of the bond-slip law: a fit of τmax, smax and su to a 50-point curve of the
// start-up geometry, made by the program itself from the start-up law with 2 % scatter; the
// fit starts from a base law far from it. Reports the model runs a fit needs and runs per
// second, on one thread and on every core, beside the cost of one model run.

#include "core/study/Study.h"
#include "fit/BondLawFit.h"
#include "fit/ParallelTasks.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <fstream>
#include <string>

using namespace orvane;

namespace {

AnalysisParameters startupRun() {
    AnalysisParameters params = StartupParameters();
    params.ds = InitialSlipIncrement("1E-07");
    return params;
}

FitTarget fiftyPoints() {
    const LoadSlipPath path(RunModelCurve(startupRun()).steps);
    FitTarget target;
    for (int i = 1; i <= 50; ++i) {
        const double s = 0.98 * path.failureSlip() * i / 50;
        target.slip.push_back(s);
        // A fixed scatter of 2 % of the local load.
        target.load.push_back(path.loadAt(s) * (1 + 0.02 * std::sin(1.7 * i)));
    }
    return target;
}

void BM_ModelRun(benchmark::State& state) {
    const AnalysisParameters params = startupRun();
    for (auto _ : state) {
        benchmark::DoNotOptimize(RunModelCurve(params));
    }
    state.counters["runs/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ModelRun)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FitThreeParameters(benchmark::State& state) {
    const FitTarget target = fiftyPoints();
    FitSettings settings;
    settings.baseTexts = StartupFieldTexts();
    settings.baseTexts[0] = "4.000";
    settings.baseTexts[1] = "0.1000";
    settings.baseTexts[2] = "0.5000";
    settings.base = StartupParameters();
    CopyFieldTexts(settings.base, settings.baseTexts);
    settings.jobs = int(state.range(0)) == 0 ? DefaultJobs() : int(state.range(0));
    int runs = 0;
    BondLawFit fit;
    for (auto _ : state) {
        fit = FitBondLaw(target, settings);
        runs += fit.modelRuns;
    }
    state.counters["jobs"] = settings.jobs;
    state.counters["model runs"] = fit.modelRuns;
    state.counters["runs/s"] = benchmark::Counter(double(runs), benchmark::Counter::kIsRate);
    state.counters["tau"] = fit.parameters[0].value;
    state.counters["smax"] = fit.parameters[1].value;
    state.counters["su"] = fit.parameters[2].value;
    state.counters["RMSE N"] = fit.rmse;
}
BENCHMARK(BM_FitThreeParameters)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3);

} // namespace

int main(int argc, char** argv) {
    std::string load;
    std::getline(std::ifstream("/proc/loadavg"), load);
    benchmark::AddCustomContext("load average at start", load);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
