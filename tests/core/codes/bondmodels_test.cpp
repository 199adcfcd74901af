// The laws derived from the concrete against values worked by hand from the published formulas
// (three data sets: the start-up set, a wide plate on a wider block, a narrow sheet).

#include "core/codes/BondModels.h"
#include "core/engine/BondQuantities.h"

#include <cmath>
#include <gtest/gtest.h>

namespace orvane {
namespace {

struct Joint {
    const char* name;
    float b, bc, tf, Ef, tr, Er, Ec;
    double fc;
    const char* ftText; // empty: from fc′
};

// A: the start-up set; B: a 1.2 mm plate half as wide as its block; C: a narrow sheet.
const Joint kJoints[] = {
    {"A", 50, 50, 0.167f, 230000, 0.3f, 2450, 24000, 30, ""},
    {"B", 100, 200, 1.2f, 165000, 1.0f, 3000, 30000, 40, "3.2"},
    {"C", 25, 150, 0.111f, 240000, 0.5f, 2000, 28000, 20, ""},
};

AnalysisParameters paramsOf(const Joint& j) {
    AnalysisParameters p = StartupParameters();
    p.b = j.b;
    p.bc = j.bc;
    p.tf = j.tf;
    p.Ef = j.Ef;
    p.tr = j.tr;
    p.Er = j.Er;
    p.Ec = j.Ec;
    return p;
}

ConcreteStrength strengthOf(const Joint& j) {
    ConcreteStrength s;
    const ConcreteInput input{std::to_string(j.fc), j.ftText, ""};
    EXPECT_FALSE(ReadConcrete(input, s).has_value());
    return s;
}

struct Expected {
    BondSlipModel model;
    int joint;
    double tauMax, sMax, su, Gf;
};

// Worked from the formulas in double precision, ft = 0.30·fc′^(2/3) where not given.
const Expected kExpected[] = {
    {BondSlipModel::Lu2005Bilinear, 0, 3.2383498432989404, 0.04209854796288622, 0.1798534701387951,
     0.29121422842036887},
    {BondSlipModel::Lu2005Bilinear, 1, 4.800000000000001, 0.062400000000000004, 0.22956964568997837,
     0.5509671496559482},
    {BondSlipModel::Lu2005Bilinear, 2, 4.020789969793281, 0.052270269607312646, 0.33496366842343656,
     0.673409279121058},
    {BondSlipModel::Lu2005Simplified, 0, 3.2383498432989404, 0.04209854796288622,
     0.1798534701387951, 0.29121422842036887},
    {BondSlipModel::Lu2005Simplified, 2, 4.020789969793281, 0.052270269607312646,
     0.33496366842343656, 0.673409279121058},
    {BondSlipModel::Lu2005Precise, 0, 3.2383498432989404, 0.04747817411418787, 0.1798534701387951,
     0.29121422842036887},
    {BondSlipModel::Lu2005Precise, 1, 4.800000000000001, 0.07488, 0.22956964568997837,
     0.5509671496559482},
    {BondSlipModel::Lu2005Precise, 2, 4.020789969793281, 0.06114472746921353, 0.33496366842343656,
     0.673409279121058},
    {BondSlipModel::NeubauerRostasy, 0, 5.213642676870401, 0.202, 0.202, 0.5265779103639106},
    {BondSlipModel::NeubauerRostasy, 1, 6.688349694207085, 0.23455670802601233, 0.23455670802601233,
     0.7843986432000002},
    {BondSlipModel::NeubauerRostasy, 2, 5.539992841515234, 0.28126356863827434, 0.28126356863827434,
     0.7790990784175345},
    {BondSlipModel::Monti2003, 0, 3.0100980029496465, 0.01659905237430974, 0.1905255888325765,
     0.286750347227872},
    {BondSlipModel::Monti2003, 1, 4.072935059634514, 0.020364675298172572, 0.23334523779156072,
     0.4752000000000001},
    {BondSlipModel::Monti2003, 2, 4.109239480647677, 0.02091309378543907, 0.34082253446625266,
     0.7002607072615645},
};

TEST(BondModels, DerivedLawsAgreeWithTheFormulasWorkedByHand) {
    for (const Expected& e : kExpected) {
        const Joint& joint = kJoints[e.joint];
        SCOPED_TRACE(std::string(ModelInfo(e.model).name) + " on set " + joint.name);
        const DerivedBondLaw law = DeriveBondLaw(e.model, strengthOf(joint), paramsOf(joint));
        ASSERT_TRUE(law.ok) << law.problem;
        EXPECT_NEAR(law.tauMax, e.tauMax, 1e-12 * e.tauMax);
        EXPECT_NEAR(law.sMax, e.sMax, 1e-12 * e.sMax);
        EXPECT_NEAR(law.su, e.su, 1e-12 * e.su);
        EXPECT_NEAR(law.Gf, e.Gf, 1e-12 * e.Gf);
        // Orvane's own Gf of the law in the fields is the model's.
        const BondQuantities q = ComputeBondQuantities(WithDerivedLaw(paramsOf(joint), law));
        EXPECT_NEAR(q.Gf, e.Gf, 1e-6 * e.Gf);
    }
}

TEST(BondModels, TheStartupLawFarExceedsTheDefaultModel) {
    // The start-up law (Gf = 1.145 N/mm, P∞ = 14.8 kN) against Lu et al. on the concrete its
    // Ec = 24000 suggests (fc′ = (Ec/4700)², ft = 0.30·fc′^(2/3)): Gf ≈ 0.28, P∞ ≈ 7.3 kN.
    const double fc = (24000.0 / 4700) * (24000.0 / 4700);
    const ConcreteStrength s{fc, TensileStrengthFromFc(fc), true};
    const AnalysisParameters startup = StartupParameters();
    const DerivedBondLaw law = DeriveBondLaw(BondSlipModel::Lu2005Bilinear, s, startup);
    const BondQuantities q = ComputeBondQuantities(WithDerivedLaw(startup, law));
    EXPECT_NEAR(q.Gf, 0.278, 0.001);
    EXPECT_NEAR(q.Pinf, 7300, 20);
}

TEST(BondModels, OutsideTheirRangeTheModelsRefuse) {
    AnalysisParameters wide = paramsOf(kJoints[0]);
    wide.b = 60; // wider than bc = 50
    AnalysisParameters noAdhesive = paramsOf(kJoints[0]);
    noAdhesive.tr = 0;
    const ConcreteStrength s = strengthOf(kJoints[0]);
    for (const BondSlipModelInfo& info : BondSlipModels()) {
        SCOPED_TRACE(std::string(info.name));
        const DerivedBondLaw law = DeriveBondLaw(info.model, s, wide);
        EXPECT_FALSE(law.ok);
        EXPECT_NE(law.problem.find("b/bc"), std::string::npos) << law.problem;
        EXPECT_FALSE(DeriveBondLaw(info.model, ConcreteStrength{}, paramsOf(kJoints[0])).ok);
    }
    EXPECT_FALSE(DeriveBondLaw(BondSlipModel::Monti2003, s, noAdhesive).ok);
    EXPECT_FALSE(DeriveBondLaw(BondSlipModel::Lu2005Precise, s, noAdhesive).ok);
    EXPECT_TRUE(DeriveBondLaw(BondSlipModel::Lu2005Bilinear, s, noAdhesive).ok);
}

TEST(BondModels, ConcreteTextsAreReadStrictly) {
    struct Case {
        const char* fc;
        const char* ft;
        bool ok;
        double ft_;
    };
    const Case cases[] = {
        {"30", "", true, 0.30 * std::cbrt(900.0)},
        {" 30 ", "  ", true, 0.30 * std::cbrt(900.0)},
        {"30", "2.5", true, 2.5},
        {"", "", false, 0},
        {"30x", "", false, 0},
        {"-30", "", false, 0},
        {"0", "", false, 0},
        {"inf", "", false, 0},
        {"nan", "", false, 0},
        {"30", "abc", false, 0},
        {"30", "0", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fc) + " / " + c.ft);
        ConcreteStrength s;
        const auto problem = ReadConcrete(ConcreteInput{c.fc, c.ft, ""}, s);
        EXPECT_EQ(!problem.has_value(), c.ok);
        if (c.ok) {
            EXPECT_NEAR(s.ft, c.ft_, 1e-12);
        }
    }
}

TEST(BondModels, FieldTextsKeepFourDigits) {
    EXPECT_EQ(LawFieldText(3.2383498432989404), "3.238");
    EXPECT_EQ(LawFieldText(0.04209854796288622), "0.0421");
    EXPECT_EQ(LawFieldText(0.1798534701387951), "0.1799");
    EXPECT_EQ(LawFieldText(0.202), "0.202");
    EXPECT_EQ(LawFieldText(12.5), "12.5");
}

TEST(BondModels, NamesFindTheirModels) {
    for (const BondSlipModelInfo& info : BondSlipModels()) {
        EXPECT_EQ(FindBondSlipModel(info.name), info.model);
        EXPECT_EQ(&ModelInfo(info.model), &info);
    }
    EXPECT_FALSE(FindBondSlipModel("lu").has_value());
    EXPECT_EQ(BondSlipModels().front().model, BondSlipModel::Lu2005Bilinear);
}

TEST(BondModels, ALawFarFromTheModelIsFlagged) {
    // Lu et al. on the start-up set at fc′ = 30: τmax = 3.238, Gf = 0.2912.
    const ConcreteStrength s = strengthOf(kJoints[0]);
    struct Case {
        float tauMax, sMax, su;
        bool differs;
    };
    const Case cases[] = {
        {3.238f, 0.0421f, 0.1799f, false}, // the model itself
        {6.4f, 0.0421f, 0.0910f, false},   // τmax 1.98×, Gf the same
        {6.6f, 0.0421f, 0.0882f, true},    // τmax 2.04×
        {3.238f, 0.0421f, 0.37f, true},    // Gf 2.06×
        {3.238f, 0.0421f, 0.088f, true},   // Gf 0.49×
        {6.467f, 0.065f, 0.354f, true},    // the start-up law: Gf 3.9×
    };
    for (const Case& c : cases) {
        AnalysisParameters p = paramsOf(kJoints[0]);
        p.tauMax = c.tauMax;
        p.sMax = c.sMax;
        p.su = c.su;
        const LawPlausibility check = CheckLawPlausibility(p, s);
        EXPECT_TRUE(check.compared);
        EXPECT_EQ(check.differs, c.differs) << c.tauMax << " " << c.su;
        EXPECT_EQ(PlausibilityWarning(check).empty(), !c.differs);
    }
    AnalysisParameters wide = paramsOf(kJoints[0]);
    wide.b = 80;
    const LawPlausibility none = CheckLawPlausibility(wide, s);
    EXPECT_FALSE(none.compared);
    EXPECT_FALSE(none.modelProblem.empty());
    EXPECT_EQ(PlausibilityWarning(none), "");
}

} // namespace
} // namespace orvane
