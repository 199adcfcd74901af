#pragma once

// The model's load-slip curve: what a slip-controlled pull-out test of a parameter set would
// record at the loaded end.

#include "core/engine/AnalysisParameters.h"
#include "core/engine/PulloutRun.h"

#include <span>
#include <vector>

namespace orvane {

struct CurvePoint {
    double sl; // loaded-end slip, mm
    double Pl; // loaded-end force, N
};

struct ModelCurve {
    std::vector<CurvePoint> steps; // every step's (sl, Pl), in step order
    RunEnd end = RunEnd::None;
};

// Runs the parameter set to its end without a result file and collects (sl, Pl) of every
// step. params must pass CheckRun; ds is its slip increment (Execute's initial ds / 100).
ModelCurve RunModelCurve(const AnalysisParameters& params);

// The load against loaded-end slip path of a slip-controlled test, as a function of slip.
//
// A run prescribes the free-end slip s0; the loaded-end slip sl grows with it up to the peak
// and along the softening branch, but once the debonded zone reaches the free end the
// remaining bond unloads elastically and sl falls back (snap-back) while the load drops. A
// test that controls the loaded-end slip cannot follow that part: at the largest slip the
// bond fails and the load drops to zero. The path therefore keeps the steps in step order
// whose slip exceeds every earlier slip, starts at (0, 0), is linear between its points,
// and carries no load beyond its last slip.
class LoadSlipPath {
public:
    explicit LoadSlipPath(std::span<const CurvePoint> steps);

    // The load at slip s (mm): linear between the path's points, 0 beyond the last one.
    double loadAt(double s) const;
    // The same, but holding the last load beyond the last slip: the curve without the jump of
    // the failure, for derivatives with respect to the law at points before the failure.
    double heldLoadAt(double s) const;
    // The slip at which the bond fails: the last point of the path.
    double failureSlip() const { return m_points.back().sl; }
    const std::vector<CurvePoint>& points() const { return m_points; }

private:
    std::vector<CurvePoint> m_points;
};

} // namespace orvane
