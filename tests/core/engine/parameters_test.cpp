#include "core/engine/AnalysisParameters.h"

#include <gtest/gtest.h>

using namespace orvane;

namespace {

TEST(AnalysisParameters, StartupValuesAreSingleRoundingsOfTheirTexts) {
    const AnalysisParameters p = StartupParameters();
    const struct {
        float actual;
        float expected;
    } fields[] = {
        {p.tauMax, 6.467f}, {p.sMax, 0.065f}, {p.su, 0.354f},    {p.dl, 0.12f},
        {p.lb, 120.0f},     {p.b, 50.0f},     {p.tf, 0.167f},    {p.Ef, 230000.0f},
        {p.tr, 0.3f},       {p.Er, 2450.0f},  {p.bc, 50.0f},     {p.dc, 100.0f},
        {p.Ec, 24000.0f},   {p.Ab, 193.5f},   {p.Eb, 206000.0f}, {p.ds, 1e-7f},
    };
    for (const auto& field : fields) {
        EXPECT_EQ(field.actual, field.expected);
    }
    EXPECT_EQ(p.comment, "Please input the comment.");
    EXPECT_EQ(p.detailOutput, 0);
    EXPECT_EQ(p.bondModel, BondModel::BilinearSoftening);
    EXPECT_TRUE(p.chosenFilePath.empty());
    EXPECT_TRUE(p.parameterFilePath.empty());
}

TEST(AnalysisParameters, ExecuteCopyDividesInitialDsInDouble) {
    AnalysisParameters p = StartupParameters();
    FieldTexts texts = StartupFieldTexts();
    CopyFieldTexts(p, texts);
    EXPECT_EQ(p.ds, float(1e-7 / 100));
    EXPECT_EQ(p.ds, 9.9999997e-10f);
    EXPECT_EQ(p.tauMax, 6.467f);

    // The grown increment of a run does not carry into the next Execute.
    p.ds = 1.0f;
    CopyFieldTexts(p, texts);
    EXPECT_EQ(p.ds, 9.9999997e-10f);

    texts[static_cast<int>(NumericField::InitialDs)] = "2";
    EXPECT_EQ(FieldValue("2"), 2.0f);
    CopyFieldTexts(p, texts);
    EXPECT_EQ(p.ds, 0.02f);
}

TEST(AnalysisParameters, FieldValueOfTextsOutsideTheSingleRange) {
    const struct {
        const char* text;
        float value;
        bool outOfRange;
    } cases[] = {
        {"abc", 0, false},           {"", 0, false},
        {"1E+39", 0, true},          {"-1E+39", 0, true},
        {"3.4E+38", 3.4e38f, false}, {"1E-50", 0, false},
        {"0.5mm", 0.5f, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(FieldValue(c.text), c.value);
        EXPECT_EQ(FieldTextOutOfRange(NumericField::Ef, c.text), c.outOfRange);
    }
}

TEST(AnalysisParameters, LabelsFollowTheBondModel) {
    EXPECT_EQ(FieldLabel(NumericField::TauMax, BondModel::BilinearSoftening),
              "τmax : max bond stress");
    EXPECT_EQ(FieldLabel(NumericField::TauMax, BondModel::PerfectlyBilinear),
              "τy : yield bond stress");
    EXPECT_EQ(FieldLabel(NumericField::SMax, BondModel::PerfectlyBilinear), "sy : slip at  τy");
    EXPECT_EQ(FieldLabel(NumericField::Dl, BondModel::PerfectlyBilinear), "Δl : element length");
}

} // namespace
