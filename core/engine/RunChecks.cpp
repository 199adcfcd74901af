#include "core/engine/RunChecks.h"

#include "core/engine/PulloutRun.h"
#include "core/numtext/NumberText.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvane {

namespace {

class ProblemList {
public:
    explicit ProblemList(BondModel model) : m_model(model) {}

    void add(NumericField field, const std::string& what) {
        m_problems.push_back(std::string(FieldLabel(field, m_model)) + " — " + what);
    }
    void addGeneral(const std::string& what) { m_problems.push_back(what); }
    bool empty() const { return m_problems.empty(); }
    std::vector<std::string> take() { return std::move(m_problems); }

private:
    BondModel m_model;
    std::vector<std::string> m_problems;
};

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string number(double value) {
    return FormatMask(value, "0.000e+00");
}

// The march works in single precision, which ends at about 3.4E+38; every single value it
// forms must stay below that. The bounds are taken over the whole run:
//   |τ| ≤ τmax on every branch, so ΔP ≤ τmax·b·Δl and every force P ≤ n·τmax·b·Δl;
//   the free-end slip stays at most su until the bond has failed, and the increment grows
//   by at most 10 % per step from below su, so it never exceeds 1.21·su.
// A recursive single-precision sum of n terms can exceed its exact value by the factor
// (1 + 2⁻²⁴)ⁿ < 1.9 for n ≤ 10⁷; the force bound carries a margin of 4.
void checkFiniteRange(const AnalysisParameters& params, std::int64_t n, ProblemList& problems) {
    constexpr double kLargest = std::numeric_limits<float>::max();
    constexpr double kForceMargin = 4;
    const bool yieldLaw = params.bondModel == BondModel::PerfectlyBilinear;
    const std::string tauName = yieldLaw ? "τy" : "τmax";
    const std::string sName = yieldLaw ? "sy" : "smax";

    // The slopes of the law, formed as the law forms them.
    if (params.sMax != 0) {
        const float ascending = params.tauMax / params.sMax;
        if (!std::isfinite(ascending)) {
            problems.add(NumericField::SMax, "is too small for " + tauName + ": the slope " +
                                                 tauName + " / " + sName +
                                                 " is beyond ±3.4E+38, the largest number the "
                                                 "analysis can hold.");
        }
    }
    if (params.su != params.sMax) {
        const float softening = (-1 * params.tauMax) / (params.su - params.sMax);
        if (!std::isfinite(softening)) {
            problems.add(NumericField::Su,
                         "is too close to " + sName + " for " + tauName + ": the slope " + tauName +
                             " / (su − " + sName +
                             ") is beyond ±3.4E+38, the largest number the analysis can hold.");
        }
    }

    const float dP = params.tauMax * params.b * params.dl;
    const double forceBound = kForceMargin * double(n) * params.tauMax * params.b * params.dl;
    if (!std::isfinite(dP) || forceBound * std::max(1.0, double(params.dl)) > kLargest) {
        problems.add(NumericField::TauMax,
                     "gives laminate forces up to n·" + tauName +
                         "·b·Δl = " + number(forceBound / kForceMargin) +
                         " N, too large for the analysis (at most 3.4E+38 with a margin); "
                         "check " +
                         tauName + ", b, lb and Δl.");
        return;
    }

    // The slip terms of one element: P·Δl/(Ef·Af) and (ΔP·Δl/2)·compliance, single.
    const float Af = params.tf * params.b;
    const float stiffness = params.Ef * Af;
    const float Ar = params.tr * params.b;
    const float Ac = params.bc * params.dc - params.Ab;
    const float EAm = params.Er * Ar + params.Ec * Ac + params.Eb * params.Ab;
    const float compliance = 1 / stiffness + 1 / EAm;
    const double stretch = forceBound * params.dl / stiffness;
    const double halfStep = double(dP) * params.dl / 2 * compliance;
    if (!std::isfinite(compliance) || !(stretch <= kLargest) || !(halfStep <= kLargest)) {
        problems.addGeneral("The slip of one element, up to " + number(stretch + halfStep) +
                            " mm, is too large for the analysis (at most 3.4E+38 with a "
                            "margin); check the stiffnesses and the forces (" +
                            tauName + ", b, Δl).");
    }
    if (2 * double(params.su) > kLargest) {
        problems.add(NumericField::Su, "is too large: the slip increment grows to about su "
                                       "over the run and must stay below 1.7E+38 mm.");
    }
}

} // namespace

std::vector<std::string> CheckRun(const AnalysisParameters& params, const FieldTexts& texts) {
    ProblemList problems(params.bondModel);

    // A field whose text is out of range stores 0; report the text, not the 0.
    std::array<bool, kNumericFieldCount> usable{};
    for (int f = 0; f < kNumericFieldCount; ++f) {
        const auto field = NumericField(f);
        if (FieldTextOutOfRange(field, texts[f])) {
            problems.add(field, quoted(texts[f]) +
                                    " is out of range (beyond ±3.4E+38, the largest number "
                                    "the analysis can hold).");
        } else if (!std::isfinite(params.value(field))) {
            problems.add(field, "is not a finite number.");
        } else {
            usable[f] = true;
        }
    }
    const auto positive = [&](NumericField field) {
        const int f = static_cast<int>(field);
        if (usable[f] && !(params.value(field) > 0)) {
            problems.add(field, "must be greater than 0.");
            usable[f] = false;
        }
    };

    // Without a positive bond stress the average bond stress never peaks, and without a
    // positive ultimate slip it never rises: either way the failure criterion never fires.
    positive(NumericField::TauMax);
    if (usable[static_cast<int>(NumericField::SMax)] && params.sMax < 0) {
        problems.add(NumericField::SMax, "must not be negative.");
    }
    positive(NumericField::Su);

    // Lengths are counted in whole micrometres.
    const ElementGrid grid = ElementCount(params.lb, params.dl);
    const bool lengthsUsable =
        usable[static_cast<int>(NumericField::Lb)] && usable[static_cast<int>(NumericField::Dl)];
    constexpr std::int64_t kLongestLength = std::numeric_limits<std::int32_t>::max();
    if (usable[static_cast<int>(NumericField::Lb)] && grid.L <= 0) {
        problems.add(NumericField::Lb, "must be at least 0.001 mm.");
    } else if (grid.L > kLongestLength) {
        problems.add(NumericField::Lb, "must be at most 2147483.647 mm.");
    }
    if (usable[static_cast<int>(NumericField::Dl)] && grid.D <= 0) {
        problems.add(NumericField::Dl, "must be at least 0.001 mm.");
    } else if (grid.D > kLongestLength) {
        problems.add(NumericField::Dl, "must be at most 2147483.647 mm.");
    }
    if (lengthsUsable && grid.L > 0 && grid.D > 0 && grid.L <= kLongestLength &&
        grid.n > PulloutRun::kMaxElements) {
        problems.add(NumericField::Dl,
                     "gives " + std::to_string(grid.n) +
                         " elements over the bond length; at most " +
                         std::to_string(PulloutRun::kMaxElements) +
                         " can be analysed (each step would take seconds). Use longer "
                         "elements or a shorter bond.");
    }

    positive(NumericField::B);
    positive(NumericField::Tf);
    positive(NumericField::Ef);
    positive(NumericField::InitialDs);
    if (usable[static_cast<int>(NumericField::InitialDs)] &&
        usable[static_cast<int>(NumericField::Su)] && params.ds >= params.su) {
        // Increments that reach su step over the whole law in one step or two.
        problems.add(NumericField::InitialDs,
                     "the first slip increment (initial ds / 100 = " + number(params.ds) +
                         " mm) is not below su (" + number(params.su) +
                         " mm); the run could not follow the bond-slip law.");
    }

    const auto allUsable = [&](std::initializer_list<NumericField> fields) {
        for (NumericField field : fields) {
            if (!usable[static_cast<int>(field)]) {
                return false;
            }
        }
        return true;
    };
    if (allUsable({NumericField::B, NumericField::Tf, NumericField::Ef})) {
        const float Af = params.tf * params.b;
        const float stiffness = params.Ef * Af;
        if (!(Af > 0) || !(stiffness > 0) || !std::isfinite(stiffness) ||
            !std::isfinite(1 / stiffness)) {
            problems.addGeneral("The laminate stiffness Ef·tf·b (" + number(double(stiffness)) +
                                " N) is out of the range the analysis can hold; check b, tf "
                                "and Ef.");
        }
    }
    if (allUsable({NumericField::B, NumericField::Tr, NumericField::Er, NumericField::Bc,
                   NumericField::Dc, NumericField::Ec, NumericField::Ab, NumericField::Eb})) {
        // Formed as the run forms it, each operation in single precision.
        const float Ar = params.tr * params.b;
        const float Ac = params.bc * params.dc - params.Ab;
        const float EAm = params.Er * Ar + params.Ec * Ac + params.Eb * params.Ab;
        if (!(EAm > 0) || !std::isfinite(EAm) || !std::isfinite(1 / EAm)) {
            problems.addGeneral("The member stiffness Er·tr·b + Ec·(bc·dc − Ab) + Eb·Ab (" +
                                number(double(EAm)) +
                                " N) must be greater than 0 and finite; check tr, Er, bc, dc, "
                                "Ec, Ab and Eb.");
        }
    }
    // Only a set that passes everything above has a mesh and stiffnesses to bound.
    if (problems.empty()) {
        checkFiniteRange(params, grid.n, problems);
    }
    return problems.take();
}

std::vector<std::string> FieldsReadByTheirLeadingNumber(const FieldTexts& texts, BondModel model) {
    std::vector<std::string> read;
    for (int f = 0; f < kNumericFieldCount; ++f) {
        const std::string& text = texts[std::size_t(f)];
        if (text.find_first_not_of(" \t\n") == std::string::npos || HoldsOnlyANumber(text)) {
            continue;
        }
        const std::string_view label = FieldLabel(static_cast<NumericField>(f), model);
        const std::string_view symbol = label.substr(0, label.find(" :"));
        read.push_back(std::string(symbol) + ": \"" + text + "\" is read as " +
                       SingleToText(FieldValue(text)));
    }
    return read;
}

} // namespace orvane
