#pragma once

// The pull-out solver. A laminate glued over the bond length lb is divided into n elements
// of length Δl. For a prescribed free-end slip s0 (where the laminate force is zero) one step
// marches element by element to the loaded end, carrying the slip s and the laminate force P
// with the bond-slip law, and yields the loaded-end slip sl, force Pl and the average bond
// stress totalτ = Pl / (n·Δl·b). Steps raise s0 until totalτ has fallen below a thousandth of
// its peak: the bond has failed.

#include "core/engine/AnalysisParameters.h"
#include "core/engine/BondLaw.h"

#include <cstdint>
#include <span>
#include <vector>

namespace orvane {

// Values handed out at the start of a step, before the march.
struct StepStart {
    int step;
    double s0; // free-end slip of this step, mm
    float ds;  // slip increment with which the step began, mm
};

// One element's result: x = i·Δl is its loaded-end side boundary, measured from the free
// end; s and P belong to that boundary; τ is the element's bond stress, taken at the slip of
// its free-end side.
struct ElementResult {
    int i;
    double x;   // mm
    double s;   // mm
    double P;   // N
    double tau; // N/mm²
};

struct StepResult {
    int step;
    double s0;       // free-end slip with which the step began, mm
    float ds;        // slip increment with which the step began, mm
    double sl;       // loaded-end slip, mm
    double Pl;       // loaded-end force, N
    double totalTau; // average bond stress, N/mm²
    double Pbumax;   // largest loaded-end force so far, N
    double slmax;    // loaded-end slip of the step that last set Pbumax, mm
};

// Receives what a run produces, in this order per step: stepStarted, the element results of
// i = 1 … n in consecutive blocks of increasing i (elementsComputed), stepFinished,
// curvePointAdded. Blocks keep the per-element cost to a loop in the observer rather than a
// virtual call per element; nothing else happens between two blocks of one march. The run
// hands elements only to observers that want them, so a march nobody watches costs nothing.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    virtual bool wantsElements() const { return false; }
    virtual void stepStarted(const StepStart&) {}
    virtual void elementsComputed(std::span<const ElementResult>) {}
    virtual void stepFinished(const StepResult&) {}
    virtual void curvePointAdded(int /*step*/, double /*sl*/, double /*totalTau*/) {}
};

enum class RunEnd {
    None,        // the run goes on
    BondFailure, // totalτ fell below a thousandth of its peak
    StepLimit,   // the step history is full without a failure
    Stopped,     // a stop was requested; the last step number was not computed
    NonFinite,   // the step's sl, Pl or totalτ left the finite range; it was not handed out
    // Set by the run controller, never by the solver: the result file failed.
    ResultFileFailed,
};

// Element count on micrometre integers: L = lb·1000 and D = Δl·1000 rounded half to even,
// n = ceil(L / D). Wide integers, so that the run checks can refuse what does not fit.
struct ElementGrid {
    std::int64_t L;
    std::int64_t D;
    std::int64_t n; // 0 unless L > 0 and D > 0
};
ElementGrid ElementCount(float lb, float dl);

// sl and totalτ of step k at index k; index 0 is never written.
struct StepHistory {
    std::vector<double> sl;
    std::vector<double> totalTau;
};

class PulloutRun {
public:
    static constexpr int kMaxSteps = 10000;
    static constexpr std::int64_t kMaxElements = 10'000'000;
    // Element results are handed out in blocks of at most this many: 20 KiB, so a block
    // is still in the first-level cache when the observers read it.
    static constexpr int kElementBlock = 512;

    // Forms the per-run constants. params must pass CheckRun; the run reads its slip
    // increment from params.ds and writes every grown increment back there.
    explicit PulloutRun(AnalysisParameters& params);

    void addObserver(RunObserver& observer);
    // The next step ends the run before anything of it is computed or handed out.
    void requestStop() { m_stopRequested = true; }

    // Performs one step and reports whether the run has ended. Call only while end() is None.
    RunEnd step();

    RunEnd end() const { return m_end; }
    int stepNumber() const { return m_step; }
    int elementCount() const { return m_n; }
    int rowStride() const { return (m_n + 9) / 10; }
    double Pbumax() const { return m_Pbumax; }
    double slmax() const { return m_slmax; }
    const StepHistory& history() const { return m_history; }

    // Per-run constants, single precision as the original analysis forms them.
    float Af() const { return m_Af; }
    float Ar() const { return m_Ar; }
    float Ac() const { return m_Ac; }
    float EAm() const { return m_EAm; }

private:
    struct MarchEnd {
        double sl;
        double Pl;
    };
    template <class OnElement>
    MarchEnd march(OnElement&& onElement);
    void handOutElements(int count);
    void applyStepSizeRule(double totalTau, double sl);

    AnalysisParameters& m_params;
    BondLaw m_law;
    float m_dl;
    float m_b;
    float m_Af;
    float m_Ar;
    float m_Ac;
    float m_EAm;
    float m_laminateStiffness; // Ef·Af, N
    float m_compliance;        // 1/(Ef·Af) + 1/EAm, 1/N
    int m_n;

    std::vector<RunObserver*> m_observers;
    std::vector<RunObserver*> m_elementObservers;
    std::vector<ElementResult> m_elementBlock; // room for one block of results

    int m_step = 0;
    double m_s0 = 1e-10;
    double m_totalTauPrev = 0;
    double m_totalTauPeak = 0;
    double m_Pbumax = 0;
    double m_slmax = 0;
    StepHistory m_history;
    bool m_stopRequested = false;
    RunEnd m_end = RunEnd::None;
};

} // namespace orvane
