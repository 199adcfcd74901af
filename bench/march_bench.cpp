// The cost of the element march on a long bond (lb 1000 mm, Δl 0.001 mm: one million
// elements), in nanoseconds per element, next to the floor: the same recurrence in plain
// double with no observer and no single-precision typing; and what an element observer adds.

#include "core/engine/PulloutRun.h"

#include <benchmark/benchmark.h>
#include <vector>

using namespace orvane;

namespace {

AnalysisParameters longBond() {
    AnalysisParameters p = StartupParameters();
    p.lb = 1000.0f;
    p.dl = 0.001f;
    p.ds = InitialSlipIncrement("1E-07");
    return p;
}

class StartCollector : public RunObserver {
public:
    void stepStarted(const StepStart& start) override { s0.push_back(start.s0); }
    std::vector<double> s0;
};

// The free-end slips of a whole run, so that both benchmarks march the same steps.
const std::vector<double>& runSlips() {
    static const std::vector<double> slips = [] {
        AnalysisParameters p = longBond();
        PulloutRun run(p);
        StartCollector collector;
        run.addObserver(collector);
        while (run.step() == RunEnd::None) {
        }
        return collector.s0;
    }();
    return slips;
}

void reportPerElement(benchmark::State& state, std::int64_t elementsPerIteration) {
    state.counters["ns_per_element"] = benchmark::Counter(
        double(state.iterations() * elementsPerIteration),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}

void BM_PlainDoubleFloor(benchmark::State& state) {
    const AnalysisParameters p = longBond();
    const int n = 1'000'000;
    const double tauMax = p.tauMax, sMax = p.sMax, su = p.su, b = p.b, dl = p.dl;
    const double k1 = tauMax / sMax, k2 = -tauMax / (su - sMax);
    const double stiffness = double(p.Ef) * p.tf * p.b;
    const double EAm = double(p.Er) * p.tr * p.b + double(p.Ec) * (double(p.bc) * p.dc - p.Ab) +
                       double(p.Eb) * p.Ab;
    const double compliance = 1 / stiffness + 1 / EAm;
    const std::vector<double>& slips = runSlips();
    for (auto _ : state) {
        for (const double s0 : slips) {
            double s = s0;
            double P = 0;
            for (int i = 1; i <= n; ++i) {
                const double tau = s <= sMax ? k1 * s : s <= su ? k2 * (s - su) : 0.0;
                const double dP = tau * b * dl;
                const double sn = s + P * dl / stiffness + dP * dl / 2 * compliance;
                P += dP;
                s = sn;
            }
            benchmark::DoNotOptimize(s);
            benchmark::DoNotOptimize(P);
        }
    }
    reportPerElement(state, std::int64_t(slips.size()) * n);
}

// Wants the elements and reads each block's last one, as cheaply as an observer can.
class BlockReader : public RunObserver {
public:
    bool wantsElements() const override { return true; }
    void elementsComputed(std::span<const ElementResult> elements) override {
        benchmark::DoNotOptimize(elements.back().tau);
    }
};

void runWith(benchmark::State& state, RunObserver& observer) {
    std::int64_t elements = 0;
    for (auto _ : state) {
        AnalysisParameters p = longBond();
        PulloutRun run(p);
        run.addObserver(observer);
        while (run.step() == RunEnd::None) {
        }
        elements = std::int64_t(run.stepNumber()) * run.elementCount();
        benchmark::DoNotOptimize(run.Pbumax());
    }
    reportPerElement(state, elements);
}

void BM_PulloutRunWithoutElementObservers(benchmark::State& state) {
    RunObserver stepOnly; // takes the steps, wants no elements
    runWith(state, stepOnly);
}

// What handing out the element blocks adds to the march.
void BM_PulloutRunWithAnElementObserver(benchmark::State& state) {
    BlockReader reader;
    runWith(state, reader);
}

} // namespace

BENCHMARK(BM_PlainDoubleFloor)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PulloutRunWithoutElementObservers)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PulloutRunWithAnElementObserver)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
