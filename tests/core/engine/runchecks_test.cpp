#include "core/engine/RunChecks.h"

#include <gtest/gtest.h>
#include <utility>

using namespace orvane;

namespace {

struct CheckCase {
    const char* name;
    std::vector<std::pair<NumericField, const char*>> edits;
    BondModel model;
    std::vector<std::string> expected; // the problems, in order
};

void PrintTo(const CheckCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<std::string> check(const CheckCase& c) {
    AnalysisParameters p = StartupParameters();
    p.bondModel = c.model;
    FieldTexts texts = StartupFieldTexts();
    for (const auto& [field, text] : c.edits) {
        texts[static_cast<int>(field)] = text;
    }
    CopyFieldTexts(p, texts);
    return CheckRun(p, texts);
}

class RunCheckCases : public testing::TestWithParam<CheckCase> {};

TEST_P(RunCheckCases, ReportsEveryProblem) {
    EXPECT_EQ(check(GetParam()), GetParam().expected);
}

using F = NumericField;
constexpr BondModel kSoft = BondModel::BilinearSoftening;
constexpr BondModel kFlat = BondModel::PerfectlyBilinear;

INSTANTIATE_TEST_SUITE_P(
    Checks, RunCheckCases,
    testing::Values(
        CheckCase{"StartupSetRuns", {}, kSoft, {}},
        CheckCase{"ZeroSmaxIsRigidSoftening", {{F::SMax, "0"}}, kSoft, {}},
        CheckCase{"ZeroBondStress",
                  {{F::TauMax, "0"}},
                  kSoft,
                  {"τmax : max bond stress — must be greater than 0."}},
        CheckCase{"ZeroYieldStressNamedByTheLaw",
                  {{F::TauMax, "abc"}},
                  kFlat,
                  {"τy : yield bond stress — must be greater than 0."}},
        CheckCase{"NegativeSlipAtPeak",
                  {{F::SMax, "-0.1"}},
                  kSoft,
                  {"smax : slip at  τmax — must not be negative."}},
        CheckCase{"ZeroUltimateSlip",
                  {{F::Su, ""}},
                  kSoft,
                  {"su : slip at ultimate — must be greater than 0."}},
        CheckCase{"BondLengthBelowAMicrometre",
                  {{F::Lb, "0.0004"}},
                  kSoft,
                  {"lb : bond length — must be at least 0.001 mm."}},
        CheckCase{"ElementLengthZero",
                  {{F::Dl, "0"}},
                  kSoft,
                  {"Δl : element length — must be at least 0.001 mm."}},
        CheckCase{"BondLengthBeyondTheIntegerRange",
                  {{F::Lb, "3E+06"}},
                  kSoft,
                  {"lb : bond length — must be at most 2147483.647 mm."}},
        CheckCase{"TooManyElements",
                  {{F::Lb, "20000"}, {F::Dl, "0.001"}},
                  kSoft,
                  {"Δl : element length — gives 20000000 elements over the bond length; at "
                   "most 10000000 can be analysed (each step would take seconds). Use longer "
                   "elements or a shorter bond."}},
        CheckCase{"LaminateFields",
                  {{F::B, "0"}, {F::Tf, "-0.167"}, {F::Ef, "x"}},
                  kSoft,
                  {"b : laminate width (sum) — must be greater than 0.",
                   "tf : laminate thickness — must be greater than 0.",
                   "Ef : elastic modulus — must be greater than 0."}},
        CheckCase{"InitialDsZero",
                  {{F::InitialDs, "0"}},
                  kSoft,
                  {"initial ds — must be greater than 0."}},
        CheckCase{"NumberBeyondTheSingleRange",
                  {{F::Ef, "1E+39"}},
                  kSoft,
                  {"Ef : elastic modulus — \"1E+39\" is out of range (beyond ±3.4E+38, the "
                   "largest number the analysis can hold)."}},
        CheckCase{"MemberStiffnessNotPositive",
                  {{F::Ec, "-24000"}},
                  kSoft,
                  {"The member stiffness Er·tr·b + Ec·(bc·dc − Ab) + Eb·Ab (-7.546e+07 N) "
                   "must be greater than 0 and finite; check tr, Er, bc, dc, Ec, Ab and Eb."}},
        CheckCase{"LaminateStiffnessOverflows",
                  {{F::Ef, "3E+38"}},
                  kSoft,
                  {"The laminate stiffness Ef·tf·b (inf N) is out of the range the analysis "
                   "can hold; check b, tf and Ef."}},
        CheckCase{"FirstIncrementReachesSu",
                  {{F::InitialDs, "35.4"}},
                  kSoft,
                  {"initial ds — the first slip increment (initial ds / 100 = 3.540e-01 mm) "
                   "is not below su (3.540e-01 mm); the run could not follow the bond-slip "
                   "law."}},
        CheckCase{"FirstIncrementJustBelowSuRuns", {{F::InitialDs, "35"}}, kSoft, {}},
        CheckCase{"HugeInitialDsWithinTheSingleRange",
                  {{F::InitialDs, "3E+40"}},
                  kSoft,
                  {"initial ds — the first slip increment (initial ds / 100 = 3.000e+38 mm) "
                   "is not below su (3.540e-01 mm); the run could not follow the bond-slip "
                   "law."}},
        CheckCase{"SlopesAndForcesOverflow",
                  {{F::TauMax, "3E+38"}},
                  kSoft,
                  {"smax : slip at  τmax — is too small for τmax: the slope τmax / smax is "
                   "beyond ±3.4E+38, the largest number the analysis can hold.",
                   "su : slip at ultimate — is too close to smax for τmax: the slope τmax / "
                   "(su − smax) is beyond ±3.4E+38, the largest number the analysis can hold.",
                   "τmax : max bond stress — gives laminate forces up to n·τmax·b·Δl = "
                   "1.800e+42 N, too large for the analysis (at most 3.4E+38 with a margin); "
                   "check τmax, b, lb and Δl."}},
        CheckCase{"AscendingSlopeOverflowsNamedByTheLaw",
                  {{F::TauMax, "3E+37"}},
                  kFlat,
                  {"sy : slip at  τy — is too small for τy: the slope τy / sy is beyond "
                   "±3.4E+38, the largest number the analysis can hold.",
                   "τy : yield bond stress — gives laminate forces up to n·τy·b·Δl = "
                   "1.800e+41 N, too large for the analysis (at most 3.4E+38 with a margin); "
                   "check τy, b, lb and Δl."}},
        CheckCase{"ForceSumOverflowsOverManyElements",
                  {{F::TauMax, "2E+33"},
                   {F::SMax, "1E+10"},
                   {F::Su, "1E+11"},
                   {F::Lb, "1000"},
                   {F::Dl, "0.001"}},
                  kSoft,
                  {"τmax : max bond stress — gives laminate forces up to n·τmax·b·Δl = "
                   "1.000e+38 N, too large for the analysis (at most 3.4E+38 with a margin); "
                   "check τmax, b, lb and Δl."}},
        CheckCase{"SlipOfAnElementOverflows",
                  {{F::Ef, "1E-36"}},
                  kSoft,
                  {"The slip of one element, up to 2.231e+39 mm, is too large for the analysis "
                   "(at most 3.4E+38 with a margin); check the stiffnesses and the forces "
                   "(τmax, b, Δl)."}},
        CheckCase{"UltimateSlipTooLarge",
                  {{F::Su, "2E+38"}},
                  kSoft,
                  {"su : slip at ultimate — is too large: the slip increment grows to about su "
                   "over the run and must stay below 1.7E+38 mm."}},
        CheckCase{"FineMeshOfAStrongBondRuns",
                  {{F::TauMax, "30"}, {F::Lb, "1000"}, {F::Dl, "0.001"}, {F::B, "500"}},
                  kSoft,
                  {}}),
    [](const testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.name); });

} // namespace

namespace {

// Each field that holds more than a number is told with the number the run uses, named by
// the law's own symbol; blanks around a number and an empty field are not.
TEST(FieldsReadByTheirLeadingNumber, TellsTheNumberUsed) {
    FieldTexts texts = StartupFieldTexts();
    texts[static_cast<int>(NumericField::Ef)] = "230 GPa";
    texts[static_cast<int>(NumericField::Lb)] = "120,5";
    texts[static_cast<int>(NumericField::TauMax)] = "6,467";
    texts[static_cast<int>(NumericField::B)] = " 50  ";
    texts[static_cast<int>(NumericField::Tr)] = "";
    EXPECT_EQ(
        FieldsReadByTheirLeadingNumber(texts, BondModel::PerfectlyBilinear),
        (std::vector<std::string>{"τy: \"6,467\" is read as 6", "lb: \"120,5\" is read as 120",
                                  "Ef: \"230 GPa\" is read as 230"}));
    EXPECT_TRUE(
        FieldsReadByTheirLeadingNumber(StartupFieldTexts(), BondModel::BilinearSoftening).empty());
}

} // namespace
