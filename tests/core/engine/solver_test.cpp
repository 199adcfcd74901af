#include "core/engine/PulloutRun.h"
#include "core/engine/RunChecks.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

using namespace orvane;

namespace {

// Records what a run hands out, to check the order and the values.
class Recorder : public RunObserver {
public:
    explicit Recorder(bool elements = false) : m_elements(elements) {}
    bool wantsElements() const override { return m_elements; }
    void stepStarted(const StepStart& start) override {
        starts.push_back(start);
        events += 'S';
    }
    void elementsComputed(std::span<const ElementResult> block) override {
        for (const ElementResult& element : block) {
            elements.push_back(element);
            events += 'e';
        }
    }
    void stepFinished(const StepResult& result) override {
        results.push_back(result);
        events += 'R';
    }
    void curvePointAdded(int, double, double) override { events += 'C'; }

    std::vector<StepStart> starts;
    std::vector<ElementResult> elements;
    std::vector<StepResult> results;
    std::string events;

private:
    bool m_elements;
};

AnalysisParameters executed(BondModel model = BondModel::BilinearSoftening) {
    AnalysisParameters p = StartupParameters();
    p.bondModel = model;
    p.ds = InitialSlipIncrement("1E-07");
    return p;
}

RunEnd runToEnd(PulloutRun& run) {
    RunEnd end = RunEnd::None;
    while (end == RunEnd::None) {
        end = run.step();
    }
    return end;
}

TEST(ElementCount, MicrometreIntegers) {
    const struct {
        float lb, dl;
        std::int64_t D, n;
    } cases[] = {
        {120.0f, 0.12f, 120, 1000},  // the start-up mesh
        {100.0f, 30.0f, 30000, 4},   // 30 mm does not divide 100 mm: the last element overhangs
        {100.0f, 25.0f, 25000, 4},   // divides exactly
        {120.0f, 0.0125f, 13, 9231}, // 0.0125 as a single lies just above 0.0125: D = 13
        {1.0f, 0.0625f, 62, 17},     // exactly 62.5 µm: half to even
        {1.0f, 0.1875f, 188, 6},     // exactly 187.5 µm: half to even
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lb << " / " << c.dl);
        const ElementGrid grid = ElementCount(c.lb, c.dl);
        EXPECT_EQ(grid.D, c.D);
        EXPECT_EQ(grid.n, c.n);
    }
    EXPECT_EQ(ElementCount(0.0004f, 0.12f).n, 0);
}

TEST(PulloutRun, StartupConstants) {
    AnalysisParameters p = executed();
    PulloutRun run(p);
    EXPECT_EQ(run.elementCount(), 1000);
    EXPECT_EQ(run.rowStride(), 100);
    EXPECT_EQ(run.Af(), 0.167f * 50.0f);
    EXPECT_EQ(run.Ac(), 50.0f * 100.0f - 193.5f);
}

TEST(PulloutRun, HandsOutStepsInOrder) {
    AnalysisParameters p = executed();
    p.lb = 0.36f; // three elements
    Recorder recorder(true);
    PulloutRun run(p);
    run.addObserver(recorder);
    run.step();
    run.step();
    EXPECT_EQ(recorder.events, "SeeeRCSeeeRC");
    ASSERT_EQ(recorder.elements.size(), 6u);
    EXPECT_EQ(recorder.elements[2].i, 3);
    EXPECT_EQ(recorder.elements[2].x, 3 * double(0.12f));
    EXPECT_EQ(recorder.results[0].sl, recorder.elements[2].s);
    EXPECT_EQ(recorder.results[0].Pl, recorder.elements[2].P);
    // The first march starts from 1e-10 mm, the second from 1e-10 mm plus the increment
    // already grown by 10 % (the first response is flat and low).
    EXPECT_EQ(recorder.starts[0].s0, 1e-10);
    EXPECT_EQ(recorder.starts[0].ds, 9.9999997e-10f);
    EXPECT_EQ(recorder.starts[1].ds, float(double(9.9999997e-10f) * 1.1));
    EXPECT_EQ(recorder.starts[1].s0, 1e-10 + double(recorder.starts[1].ds));
}

TEST(PulloutRun, AverageBondStressDividesByTheMeshLength) {
    AnalysisParameters p = executed();
    p.lb = 100.0f;
    p.dl = 30.0f;
    Recorder recorder;
    PulloutRun run(p);
    run.addObserver(recorder);
    run.step();
    const StepResult& r = recorder.results.at(0);
    EXPECT_EQ(r.totalTau, r.Pl / ((4 * double(30.0f)) * double(50.0f)));
}

TEST(PulloutRun, ElementObserversDoNotChangeTheResult) {
    AnalysisParameters watchedSet = executed();
    AnalysisParameters bareSet = executed();
    Recorder watched(true);
    Recorder bare(false);
    PulloutRun watchedRun(watchedSet);
    PulloutRun bareRun(bareSet);
    watchedRun.addObserver(watched);
    bareRun.addObserver(bare);
    for (int k = 0; k < 30; ++k) {
        watchedRun.step();
        bareRun.step();
    }
    ASSERT_EQ(watched.results.size(), bare.results.size());
    for (std::size_t k = 0; k < bare.results.size(); ++k) {
        EXPECT_EQ(watched.results[k].Pl, bare.results[k].Pl);
        EXPECT_EQ(watched.results[k].sl, bare.results[k].sl);
    }
    EXPECT_TRUE(bare.elements.empty());
}

// Properties that hold at every step of a whole run, for both laws.
class WholeRun : public testing::TestWithParam<BondModel> {};

TEST_P(WholeRun, StepRulesHoldThroughout) {
    AnalysisParameters p = executed(GetParam());
    Recorder recorder;
    PulloutRun run(p);
    run.addObserver(recorder);
    ASSERT_EQ(runToEnd(run), RunEnd::BondFailure);
    const auto& results = recorder.results;
    ASSERT_EQ(int(results.size()), run.stepNumber());

    double peak = 0;
    double Pbumax = 0;
    for (std::size_t k = 0; k < results.size(); ++k) {
        const StepResult& r = results[k];
        SCOPED_TRACE(testing::Message() << "step " << r.step);
        const float nextDs = k + 1 < results.size() ? results[k + 1].ds : p.ds;
        // The increment never shrinks, grows by at most one factor 1.1, and grows at every
        // step once the loaded end has passed smax.
        EXPECT_TRUE(nextDs == r.ds || nextDs == float(double(r.ds) * 1.1));
        if (r.sl > double(p.sMax)) {
            EXPECT_EQ(nextDs, float(double(r.ds) * 1.1));
        }
        if (r.Pl >= Pbumax) {
            Pbumax = r.Pl;
            EXPECT_EQ(r.slmax, r.sl);
        }
        EXPECT_EQ(r.Pbumax, Pbumax);
        peak = std::max(peak, r.totalTau);
        // The run ends at the first step below a thousandth of the peak, and only there.
        EXPECT_EQ(r.totalTau < peak / 1000, k + 1 == results.size());
        EXPECT_EQ(run.history().sl[r.step], r.sl);
        EXPECT_EQ(run.history().totalTau[r.step], r.totalTau);
    }
}

INSTANTIATE_TEST_SUITE_P(BothLaws, WholeRun,
                         testing::Values(BondModel::BilinearSoftening,
                                         BondModel::PerfectlyBilinear));

TEST(PulloutRun, StartupRunRegression) {
    AnalysisParameters p = executed();
    PulloutRun run(p);
    ASSERT_EQ(runToEnd(run), RunEnd::BondFailure);
    // Pinned from a run checked against the analysis rules; any change in a rounding moves them.
    EXPECT_EQ(run.stepNumber(), 188);
    EXPECT_EQ(run.Pbumax(), 14835.224786086339);
    EXPECT_EQ(run.slmax(), 0.3613773291440532);
    EXPECT_EQ(p.ds, 0.037571758f);
}

TEST(PulloutRun, EqualForceMovesSlmaxToTheLaterStep) {
    // On the plateau of a one-element bond the force is the constant τy·b·Δl.
    AnalysisParameters p = executed(BondModel::PerfectlyBilinear);
    p.tauMax = 1.0f;
    p.sMax = 1e-6f;
    p.su = 10.0f;
    p.lb = 1.0f;
    p.dl = 1.0f;
    Recorder recorder;
    PulloutRun run(p);
    run.addObserver(recorder);
    runToEnd(run);
    int ties = 0;
    for (std::size_t k = 1; k < recorder.results.size(); ++k) {
        const StepResult& r = recorder.results[k];
        if (r.Pl == recorder.results[k - 1].Pl && r.Pl == r.Pbumax) {
            EXPECT_EQ(r.slmax, r.sl);
            ++ties;
        }
    }
    EXPECT_GT(ties, 0);
}

TEST(PulloutRun, StopEndsBeforeTheStepIsComputed) {
    AnalysisParameters p = executed();
    Recorder recorder;
    PulloutRun run(p);
    run.addObserver(recorder);
    run.step();
    const float ds = p.ds;
    run.requestStop();
    EXPECT_EQ(run.step(), RunEnd::Stopped);
    EXPECT_EQ(recorder.events, "SRC");
    EXPECT_EQ(p.ds, ds);
}

TEST(PulloutRun, EndsAtTheStepLimitWhenTheSlipCannotAdvance) {
    // The smallest single increment does not move s0 = 1e-10 mm, and 1.1 times it rounds
    // back to itself: without the step limit this run would never end.
    AnalysisParameters p = executed();
    p.lb = 1.0f;
    p.dl = 1.0f;
    p.ds = std::numeric_limits<float>::denorm_min();
    PulloutRun run(p);
    EXPECT_EQ(runToEnd(run), RunEnd::StepLimit);
    EXPECT_EQ(run.stepNumber(), PulloutRun::kMaxSteps);
    EXPECT_EQ(run.history().sl.size(), std::size_t(PulloutRun::kMaxSteps + 1));
}

TEST(PulloutRun, NonFiniteStepEndsTheRunUnreported) {
    // τmax / smax overflows in single precision: the first march gives infinite forces.
    AnalysisParameters p = executed();
    p.tauMax = 3e38f;
    Recorder recorder;
    PulloutRun run(p);
    run.addObserver(recorder);
    EXPECT_EQ(run.step(), RunEnd::NonFinite);
    EXPECT_EQ(run.end(), RunEnd::NonFinite);
    EXPECT_EQ(recorder.events, "S");
    EXPECT_EQ(run.Pbumax(), 0);
}

// Sets near the bounds of the run checks: whatever the checks let through runs to its end
// with finite values.
class AcceptedExtremes
    : public testing::TestWithParam<std::vector<std::pair<NumericField, const char*>>> {};

TEST_P(AcceptedExtremes, StayFinite) {
    AnalysisParameters p = StartupParameters();
    FieldTexts texts = StartupFieldTexts();
    for (const auto& [field, text] : GetParam()) {
        texts[static_cast<int>(field)] = text;
    }
    CopyFieldTexts(p, texts);
    ASSERT_EQ(CheckRun(p, texts), std::vector<std::string>{});
    PulloutRun run(p);
    const RunEnd end = runToEnd(run);
    EXPECT_TRUE(end == RunEnd::BondFailure || end == RunEnd::StepLimit);
    EXPECT_TRUE(std::isfinite(run.Pbumax()) && std::isfinite(run.slmax()));
    EXPECT_TRUE(std::isfinite(p.ds));
}

using F = NumericField;
INSTANTIATE_TEST_SUITE_P(
    Checks, AcceptedExtremes,
    testing::Values(
        std::vector<std::pair<F, const char*>>{{F::TauMax, "1E+34"}},
        std::vector<std::pair<F, const char*>>{{F::Ef, "1E-30"}},
        std::vector<std::pair<F, const char*>>{{F::Su, "1.7E+38"}, {F::InitialDs, "1E+38"}},
        std::vector<std::pair<F, const char*>>{{F::TauMax, "1E+20"}, {F::SMax, "1E-15"}},
        std::vector<std::pair<F, const char*>>{{F::InitialDs, "35"}}));

} // namespace
