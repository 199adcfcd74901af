#include "core/engine/BondQuantities.h"
#include "core/engine/PulloutRun.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace orvane;

namespace {

AnalysisParameters startup(BondModel model) {
    AnalysisParameters p = StartupParameters();
    p.bondModel = model;
    p.ds = InitialSlipIncrement("1E-07");
    return p;
}

double marchPbumax(AnalysisParameters p, float lb) {
    p.lb = lb;
    PulloutRun run(p);
    while (run.step() == RunEnd::None) {
    }
    return run.Pbumax();
}

// Numbers worked out by hand from the start-up texts (single-precision inputs).
TEST(BondQuantities, StartupSet) {
    const struct {
        BondModel model;
        double Gf, Pinf, Le;
    } cases[] = {
        // τmax·su/2; b·√(2·Gf·Ef·tf); the closed form at 97 %
        {BondModel::BilinearSoftening, 1.14466, 14826.72, 69.92},
        // τy·(su − sy/2)
        {BondModel::PerfectlyBilinear, 2.07914, 19982.47, 62.33},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.model));
        const BondQuantities q = ComputeBondQuantities(startup(c.model));
        EXPECT_NEAR(q.Gf, c.Gf, 5e-6);
        EXPECT_NEAR(q.Pinf, c.Pinf, 0.01);
        EXPECT_NEAR(q.Le, c.Le, 0.005);
        EXPECT_EQ(q.n, 1000);
        EXPECT_DOUBLE_EQ(q.analysedLength, 1000 * double(0.12f));
        EXPECT_DOUBLE_EQ(q.lb, 120);
    }
    const BondQuantities q = ComputeBondQuantities(startup(BondModel::BilinearSoftening));
    EXPECT_NEAR(LoadRatio(14835.224786, q), 1.000573, 1e-6);
    EXPECT_FALSE(ShorterThanEffectiveLength(q));
}

TEST(BondQuantities, AnalysedLengthWithAnOverhangingElement) {
    AnalysisParameters p = startup(BondModel::BilinearSoftening);
    p.lb = 100;
    p.dl = 30;
    BondQuantities q = ComputeBondQuantities(p);
    EXPECT_EQ(q.n, 4);
    EXPECT_DOUBLE_EQ(q.analysedLength, 120);
    p.lb = 50;
    p.dl = 0.12f;
    q = ComputeBondQuantities(p);
    EXPECT_TRUE(ShorterThanEffectiveLength(q));
}

TEST(BondQuantities, NoValueWithoutALaw) {
    for (const auto field : {NumericField::TauMax, NumericField::Su, NumericField::B,
                             NumericField::Tf, NumericField::Ef}) {
        AnalysisParameters p = startup(BondModel::BilinearSoftening);
        p.value(field) = 0;
        const BondQuantities q = ComputeBondQuantities(p);
        EXPECT_TRUE(std::isnan(q.Gf) && std::isnan(q.Pinf) && std::isnan(q.Le));
        EXPECT_TRUE(std::isnan(ClosedFormUltimateLoad(p, 100)));
    }
}

struct LawShape {
    const char* name;
    BondModel model;
    float sMax, su;
};

void PrintTo(const LawShape& c, std::ostream* os) {
    *os << c.name;
}

class ClosedForm : public testing::TestWithParam<LawShape> {};

// The effective length comes from its own closed form; the ultimate load of a given length
// from the maximum over the zone lengths. The two must meet at 97 % of P∞, and a long bond
// must carry P∞ itself, the energy balance b·√(2·Gf·Ef·tf).
TEST_P(ClosedForm, EffectiveLengthCarriesTheFractionOfTheLongBondLoad) {
    AnalysisParameters p = startup(GetParam().model);
    p.sMax = GetParam().sMax;
    p.su = GetParam().su;
    const BondQuantities q = ComputeBondQuantities(p);
    ASSERT_GT(q.Le, 0);
    EXPECT_NEAR(ClosedFormUltimateLoad(p, q.Le) / q.Pinf, kEffectiveLengthFraction, 1e-9);
    EXPECT_NEAR(ClosedFormUltimateLoad(p, 20 * q.Le) / q.Pinf, 1, 1e-9);
    EXPECT_LT(ClosedFormUltimateLoad(p, q.Le / 2), ClosedFormUltimateLoad(p, q.Le));
}

INSTANTIATE_TEST_SUITE_P(
    Laws, ClosedForm,
    testing::Values(LawShape{"Softening", BondModel::BilinearSoftening, 0.065f, 0.354f},
                    LawShape{"SofteningOnly", BondModel::BilinearSoftening, 0, 0.354f},
                    LawShape{"SofteningBrittle", BondModel::BilinearSoftening, 0.065f, 0.065f},
                    LawShape{"SuBelowSmax", BondModel::BilinearSoftening, 0.2f, 0.1f},
                    LawShape{"ElasticPlastic", BondModel::PerfectlyBilinear, 0.065f, 0.354f},
                    LawShape{"RigidPlastic", BondModel::PerfectlyBilinear, 0, 0.354f},
                    // sy so small against su that 97 % comes with the whole bond plastic
                    LawShape{"WholePlastic", BondModel::PerfectlyBilinear, 0.03f, 0.354f},
                    LawShape{"PlasticBrittle", BondModel::PerfectlyBilinear, 0.065f, 0.065f}),
    [](const testing::TestParamInfo<LawShape>& info) { return info.param.name; });

struct SweepCase {
    const char* name;
    BondModel model;
    float lb;
};

void PrintTo(const SweepCase& c, std::ostream* os) {
    *os << c.name;
}

class MarchAgainstClosedForm : public testing::TestWithParam<SweepCase> {};

// The march, with its 0.12 mm elements, its deformable member and its growing slip steps,
// stays within 1 % of the rigid-substrate closed form for short and long bonds.
TEST_P(MarchAgainstClosedForm, PbumaxWithinOnePercent) {
    const AnalysisParameters p = startup(GetParam().model);
    const double closed = ClosedFormUltimateLoad(p, GetParam().lb);
    EXPECT_NEAR(marchPbumax(p, GetParam().lb) / closed, 1, 0.01);
}

INSTANTIATE_TEST_SUITE_P(
    Sweep, MarchAgainstClosedForm,
    testing::Values(SweepCase{"Softening15", BondModel::BilinearSoftening, 15},
                    SweepCase{"Softening40", BondModel::BilinearSoftening, 40},
                    SweepCase{"Softening70", BondModel::BilinearSoftening, 70},
                    SweepCase{"Softening200", BondModel::BilinearSoftening, 200},
                    SweepCase{"Plastic15", BondModel::PerfectlyBilinear, 15},
                    SweepCase{"Plastic60", BondModel::PerfectlyBilinear, 60},
                    SweepCase{"Plastic200", BondModel::PerfectlyBilinear, 200}),
    [](const testing::TestParamInfo<SweepCase>& info) { return info.param.name; });

// The march's own plateau: at the closed-form Le it carries 97 % of what a long bond carries.
TEST(MarchAgainstClosedForm, PlateauFractionAtTheEffectiveLength) {
    const AnalysisParameters p = startup(BondModel::BilinearSoftening);
    const double Le = ComputeBondQuantities(p).Le;
    const double plateau = marchPbumax(p, 300);
    EXPECT_NEAR(marchPbumax(p, float(Le)) / plateau, kEffectiveLengthFraction, 0.002);
    EXPECT_LT(marchPbumax(p, float(Le) - 10) / plateau, 0.95);
}

} // namespace
