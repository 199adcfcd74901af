#include "core/engine/BondLaw.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace orvane;

namespace {

constexpr float kTauMax = 6.467f;
constexpr float kSMax = 0.065f;
constexpr float kSu = 0.354f;

double above(float value) {
    return std::nextafter(double(value), std::numeric_limits<double>::infinity());
}

struct LawCase {
    const char* name;
    BondModel model;
    double s;
    double expected;
    double tolerance; // 0: exact
    bool single;
};

void PrintTo(const LawCase& c, std::ostream* os) {
    *os << c.name;
}

class BondLawCases : public testing::TestWithParam<LawCase> {};

TEST_P(BondLawCases, StressAtSlip) {
    const LawCase& c = GetParam();
    const BondStressValue tau = BondLaw(c.model, kTauMax, kSMax, kSu)(c.s);
    if (c.tolerance == 0) {
        EXPECT_EQ(tau.tau, c.expected);
    } else {
        EXPECT_NEAR(tau.tau, c.expected, c.tolerance);
    }
    EXPECT_EQ(tau.single, c.single);
}

constexpr BondModel kSoft = BondModel::BilinearSoftening;
constexpr BondModel kFlat = BondModel::PerfectlyBilinear;

INSTANTIATE_TEST_SUITE_P(
    Laws, BondLawCases,
    testing::Values(
        // Softening law: rises to τmax at smax, falls to 0 at su.
        LawCase{"SofteningAtSmax", kSoft, kSMax, 6.467, 1e-5, false},
        LawCase{"SofteningHalfway", kSoft, 0.2095, 6.467 / 2, 1e-5, false},
        LawCase{"SofteningJustPastSmax", kSoft, above(kSMax), 6.467, 1e-5, false},
        LawCase{"SofteningAtSuIsZero", kSoft, kSu, 0, 0, false},
        LawCase{"SofteningPastSu", kSoft, above(kSu), 0, 0, true},
        LawCase{"SofteningAtZeroSlip", kSoft, 0, 0, 0, false},
        LawCase{"SofteningNegativeSlip", kSoft, -0.065, -6.467, 1e-5, false},
        // Perfectly bi-linear law: the plateau is the single τy itself, up to and with su.
        LawCase{"PlateauMiddle", kFlat, 0.2, double(kTauMax), 0, true},
        LawCase{"PlateauAtSu", kFlat, 0.354, double(kTauMax), 0, true},
        LawCase{"PlateauAtSuExactly", kFlat, kSu, double(kTauMax), 0, true},
        LawCase{"PlateauPastSu", kFlat, 0.3541, 0, 0, true},
        LawCase{"PlateauAscendingAtSy", kFlat, kSMax, 6.467, 1e-5, false},
        LawCase{"PlateauJustPastSy", kFlat, above(kSMax), double(kTauMax), 0, true}),
    [](const testing::TestParamInfo<LawCase>& info) { return std::string(info.param.name); });

TEST(BondLaw, AscendingSlopeIsSinglePrecision) {
    // k1 = τmax/smax is rounded to single before it multiplies the double slip.
    const float k1 = kTauMax / kSMax;
    const double s = 0.01;
    EXPECT_EQ(BondStress(s, BondLaw(kSoft, kTauMax, kSMax, kSu)), double(k1) * s);
    const float k2 = (-1 * kTauMax) / (kSu - kSMax);
    EXPECT_EQ(BondStress(0.3, BondLaw(kSoft, kTauMax, kSMax, kSu)),
              double(k2) * (0.3 - double(kSu)));
}

TEST(BondLaw, DegenerateShapes) {
    // su below smax: no softening branch; the stress drops from the ascending line to 0.
    const BondLaw noSoftening(kSoft, 5.0f, 0.2f, 0.1f);
    EXPECT_NEAR(BondStress(0.15, noSoftening), 3.75, 1e-6);
    EXPECT_EQ(BondStress(0.25, noSoftening), 0);
    // smax = 0 is rigid-softening: any positive slip is on the falling branch.
    const BondLaw rigidSoftening(kSoft, 4.0f, 0.0f, 1.0f);
    EXPECT_NEAR(BondStress(1e-10, rigidSoftening), 4.0, 1e-6);
    EXPECT_NEAR(BondStress(0.5, rigidSoftening), 2.0, 1e-6);
    // sy = 0 is rigid-plastic.
    const BondLaw rigidPlastic(kFlat, 4.0f, 0.0f, 1.0f);
    EXPECT_EQ(BondStress(1e-10, rigidPlastic), 4.0);
}

} // namespace
