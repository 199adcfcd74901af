#include "engine/RunChecks.h"

#include "engine/PulloutRun.h"
#include "numtext/NumberText.h"

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
    return problems.take();
}

} // namespace orvane
