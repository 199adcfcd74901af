#include "fit/ModelCurve.h"

#include "core/results/RunController.h"

#include <algorithm>

namespace orvane {

namespace {

class CurveCollector : public RunObserver {
public:
    explicit CurveCollector(std::vector<CurvePoint>& steps) : m_steps(steps) {}
    void stepFinished(const StepResult& result) override {
        m_steps.push_back({result.sl, result.Pl});
    }

private:
    std::vector<CurvePoint>& m_steps;
};

} // namespace

ModelCurve RunModelCurve(const AnalysisParameters& params) {
    AnalysisParameters trial = params; // the run grows ds in place
    ModelCurve curve;
    CurveCollector collector(curve.steps);
    RunController run(trial);
    run.addObserver(collector);
    curve.end = run.runToEnd();
    return curve;
}

LoadSlipPath::LoadSlipPath(std::span<const CurvePoint> steps) {
    m_points.push_back({0, 0});
    for (const CurvePoint& point : steps) {
        if (point.sl > m_points.back().sl) {
            m_points.push_back(point);
        }
    }
}

double LoadSlipPath::loadAt(double s) const {
    return s > m_points.back().sl ? 0 : heldLoadAt(s);
}

double LoadSlipPath::heldLoadAt(double s) const {
    if (s >= m_points.back().sl) {
        return m_points.back().Pl;
    }
    if (s <= 0) {
        return 0;
    }
    const auto after = std::lower_bound(m_points.begin(), m_points.end(), s,
                                        [](const CurvePoint& p, double x) { return p.sl < x; });
    const CurvePoint& b = *after;
    const CurvePoint& a = *(after - 1);
    return a.Pl + (b.Pl - a.Pl) * ((s - a.sl) / (b.sl - a.sl));
}

} // namespace orvane
