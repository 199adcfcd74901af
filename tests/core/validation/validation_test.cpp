#include "core/codes/BondModels.h"
#include "core/engine/BondQuantities.h"
#include "core/numtext/NumberText.h"
#include "core/results/RunController.h"
#include "core/study/ModelFactor.h"
#include "core/validation/TestDatabase.h"
#include "core/validation/Validation.h"
#include "core/validation/ValidationWriters.h"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvane;

namespace {

constexpr std::string_view kHeader = "id,source,bc,fc,Ef,tf,bf,L,Pu\n";

// Three tests of two sources: a CFRP sheet, a thicker sheet and a plate (N-mm units).
std::string threeTests() {
    return std::string(kHeader) + "S1,alpha,150,30,230000,0.167,50,100,9000\n"
                                  "S2,alpha,150,35,230000,0.334,60,200,14000\n"
                                  "P1,beta,200,40,200000,1.2,40,300,25000\n";
}

// ---- Reading the database -------------------------------------------------------------------

struct UnitCase {
    const char* name;
    const char* header; // the column under test, with its unit
    const char* cell;
    TestInput input;
    double expected; // N, mm, MPa
};

class HeaderUnit : public testing::TestWithParam<UnitCase> {};

TEST_P(HeaderUnit, ConvertsToNmmUnits) {
    const UnitCase& c = GetParam();
    // The other columns in N-mm units, the one under test in its own.
    std::string header;
    std::string row;
    for (int i = 0; i < kTestInputCount; ++i) {
        const std::string name(kTestInputNames[std::size_t(i)]);
        const bool tested = static_cast<TestInput>(i) == c.input;
        header += (i > 0 ? "," : "") + (tested ? std::string(c.header) : name);
        row += (i > 0 ? "," : "") + (tested ? std::string(c.cell) : std::string("1"));
    }
    const TestDatabase database = ReadTestDatabase(header + "\n" + row + "\n");
    ASSERT_EQ(database.error, "");
    ASSERT_EQ(database.rows.size(), 1u);
    EXPECT_EQ(database.rows[0].problem, "");
    EXPECT_NEAR(database.rows[0].value(c.input), c.expected, 1e-12 * c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Units, HeaderUnit,
    testing::Values(UnitCase{"NoUnit", "L", "150", TestInput::L, 150},
                    UnitCase{"Millimetre", "L (mm)", "150", TestInput::L, 150},
                    UnitCase{"Metre", "L [m]", "0.15", TestInput::L, 150},
                    UnitCase{"Inch", "tf (in)", "0.05", TestInput::Tf, 1.27},
                    UnitCase{"Megapascal", "fc (MPa)", "30", TestInput::Fc, 30},
                    UnitCase{"NewtonPerSquareMm", "fc (N/mm2)", "30", TestInput::Fc, 30},
                    UnitCase{"Gigapascal", "Ef (GPa)", "230", TestInput::Ef, 230000},
                    // 1 psi = 4.4482216152605 N / 645.16 mm².
                    UnitCase{"Psi", "fc (psi)", "4000", TestInput::Fc, 27.579029172672},
                    UnitCase{"Ksi", "Ef [ksi]", "33000", TestInput::Ef, 227526.99067454},
                    UnitCase{"Newton", "Pu (N)", "9000", TestInput::Pu, 9000},
                    UnitCase{"Kilonewton", "Pu [kN]", "9.5", TestInput::Pu, 9500},
                    UnitCase{"PoundForce", "Pu (lbf)", "2000", TestInput::Pu, 8896.443230521},
                    UnitCase{"Kip", "Pu (kip)", "2", TestInput::Pu, 8896.443230521},
                    UnitCase{"AnyLetterCase", "PU (KN)", "9.5", TestInput::Pu, 9500},
                    UnitCase{"BlanksAround", "  bf  ( mm ) ", "50", TestInput::Bf, 50}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TestDatabase, ColumnsInAnyOrderWithQuotedFieldsAndComments) {
    const TestDatabase database =
        ReadTestDatabase("\xEF\xBB\xBF# collected by hand\r\n"
                         "PU,l,Bf,Tf,EF,FC,BC,Source,note,ID\r\n"
                         "9000,100,50,0.167,230000,30,150,\"Smith, 2004\",\"a \"\"note\"\"\",S1\r\n"
                         "\r\n"
                         "9500,100,50,0.167,230000,30,150,,,\r\n");
    ASSERT_EQ(database.error, "");
    EXPECT_EQ(database.ignoredColumns, std::vector<std::string>{"note"});
    ASSERT_EQ(database.rows.size(), 2u);
    EXPECT_EQ(database.rows[0].id, "S1");
    EXPECT_EQ(database.rows[0].source, "Smith, 2004");
    EXPECT_EQ(database.rows[0].value(TestInput::Bc), 150);
    EXPECT_EQ(database.rows[0].value(TestInput::Pu), 9000);
    EXPECT_EQ(database.rows[0].line, 3);
    EXPECT_EQ(database.rows[1].id, "line 5");
    EXPECT_TRUE(database.hasSource);
}

TEST(TestDatabase, RefusesAHeaderItCannotRead) {
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"", "no header row: the file holds no records"},
        {"bc,fc,Ef,tf,bf,Pu\n", "header: no column for L (the header must name bc, fc, Ef, tf, "
                                "bf, L and Pu)"},
        {"bc,fc,Ef (GPa,tf,bf,L,Pu\n",
         "header, column 3 \"Ef (GPa\": the unit's parenthesis or bracket is not closed at the "
         "end"},
        {"bc,fc,Ef (kN),tf,bf,L,Pu\n",
         "header, column 3 \"Ef (kN)\": unknown unit \"kn\" for Ef (use MPa, GPa, psi or ksi)"},
        {"bc,fc,Ef,tf,bf,L,Pu,l\n", "header, column 8 \"l\": L is named twice"},
        {"id,bc,fc,Ef,tf,bf,L,Pu,ID\n", "header, column 9 \"ID\": id is named twice"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadTestDatabase(c.text).error, c.error) << c.text;
    }
}

TEST(TestDatabase, KeepsBadRowsWithTheirReason) {
    const TestDatabase database =
        ReadTestDatabase(std::string(kHeader) + "a,s,150,30,230000,0.167,50,100,9000\n"
                                                "b,s,150,30,230000,0.167,50,100,\n"
                                                "c,s,150,thirty,230000,0.167,50,100,9000\n"
                                                "d,s,150,30,230000,-0.167,50,100,9000\n"
                                                "e,s,150,30,230000,0,50,100,9000\n"
                                                "f,s,150,30\n"
                                                "g,s,150,30,230000,0.167,50,1e999,9000\n");
    ASSERT_EQ(database.error, "");
    std::vector<std::string> problems;
    for (const TestRow& row : database.rows) {
        problems.push_back(row.problem);
    }
    EXPECT_EQ(problems, (std::vector<std::string>{
                            "",
                            "line 3: Pu is missing",
                            "line 4: fc: \"thirty\" is not a number",
                            "line 5: tf: -0.167 is not positive",
                            "line 6: tf: 0 is not positive",
                            "line 7: Ef is missing",
                            "line 8: L: \"1e999\" is not a number",
                        }));
}

// ---- Statistics -----------------------------------------------------------------------------

// A database named by mistake as a pipe, a folder or a missing file is refused at once: a
// pipe without a writer must not hold the command.
TEST(TestDatabase, FilesThatAreNoDatabaseAreRefusedWithoutWaiting) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("orvane-db-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    ASSERT_EQ(::mkfifo((dir / "pipe.csv").c_str(), 0600), 0);
    const struct {
        std::filesystem::path path;
        const char* reason;
    } cases[] = {
        {dir / "pipe.csv", "pipe, device or socket"},
        {dir, "cannot read"},
        {dir / "missing.csv", "cannot read"},
    };
    for (const auto& c : cases) {
        const std::string error = ReadTestDatabaseFile(c.path.string()).error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.path << ": " << error;
    }
    std::filesystem::remove_all(dir);
}

TEST(ValidationStatistics, WorkedByHand) {
    // θ = 10/8, 20/25, 30/30 = 1.25, 0.8, 1: mean 3.05/3; deviations 0.2333, −0.2167, −0.0167,
    // squares summed 0.1016667, /2, square root 0.2254625, over the mean: CoV 0.2217664.
    // R² = 1 − (4 + 25 + 0) / (100 + 0 + 100) = 0.855; MAPE (0.2 + 0.25 + 0) / 3 = 0.15; one of
    // three tests below its prediction.
    const std::vector<double> measured{10, 20, 30};
    const std::vector<double> predicted{8, 25, 30};
    const ModelStatistics s = ComputeStatistics("m", measured, predicted);
    EXPECT_EQ(s.n, 3);
    EXPECT_NEAR(s.mean, 3.05 / 3, 1e-15);
    EXPECT_NEAR(s.cov, 0.2217664, 1e-7);
    EXPECT_NEAR(s.r2, 0.855, 1e-15);
    EXPECT_NEAR(s.mape, 0.15, 1e-15);
    EXPECT_NEAR(s.below, 1.0 / 3, 1e-15);

    // One test has a mean but no scatter; none has nothing.
    const ModelStatistics one =
        ComputeStatistics("m", std::vector<double>{10}, std::vector<double>{8});
    EXPECT_EQ(one.mean, 1.25);
    EXPECT_TRUE(std::isnan(one.cov));
    EXPECT_TRUE(std::isnan(one.r2));
    EXPECT_TRUE(std::isnan(ComputeStatistics("m", {}, {}).mean));
}

// ---- Runs -----------------------------------------------------------------------------------

std::vector<TestResult> runAll(const TestDatabase& database, int jobs = 2) {
    std::vector<TestResult> results;
    RunValidation(ValidationSetup{}, database.rows, jobs, [&](const TestResult& result) {
        results.push_back(result);
        return true;
    });
    return results;
}

TEST(Validation, StatisticsOfKnownFactorsOnTheProgramsOwnPredictions) {
    // "Measured" loads made from the program's predictions times known factors: the statistics
    // must give the factors' own mean and CoV.
    const std::vector<TestResult> predicted = runAll(ReadTestDatabase(threeTests()));
    ASSERT_EQ(predicted.size(), 3u);
    const double factors[] = {1.2, 0.9, 1.05};
    std::string text(kHeader);
    for (std::size_t i = 0; i < 3; ++i) {
        ASSERT_EQ(predicted[i].problem, "");
        TestRow row = predicted[i].row;
        text += row.id + "," + row.source;
        row.values[static_cast<int>(TestInput::Pu)] = predicted[i].orvane * factors[i];
        for (const double value : row.values) {
            text += "," + ShortestText(value);
        }
        text += "\n";
    }
    const std::vector<TestResult> results = runAll(ReadTestDatabase(text), 1);
    const ValidationSummary summary = SummarizeValidation(results);
    const ModelStatistics& orvane = summary.groups.front().models.front();
    const double mean = (1.2 + 0.9 + 1.05) / 3;
    const double sd = std::sqrt(((1.2 - mean) * (1.2 - mean) + (0.9 - mean) * (0.9 - mean) +
                                 (1.05 - mean) * (1.05 - mean)) /
                                2);
    EXPECT_EQ(orvane.model, "orvane");
    EXPECT_EQ(orvane.n, 3);
    EXPECT_NEAR(orvane.mean, mean, 1e-12);
    EXPECT_NEAR(orvane.cov, sd / mean, 1e-12);
    EXPECT_NEAR(orvane.below, 1.0 / 3, 1e-15);
    EXPECT_NEAR(orvane.mape, (0.2 / 1.2 + 0.1 / 0.9 + 0.05 / 1.05) / 3, 1e-12);

    EXPECT_EQ(ModelFactorText(orvane, "lu2005"),
              "# Orvane model factor: test/predicted as a lognormal variable\n"
              "[model_factor]\n"
              "distribution = \"lognormal\"\n"
              "mean = " +
                  ShortestText(orvane.mean) + "\ncov = " + ShortestText(orvane.cov) +
                  "\ntests = 3\nmodel = \"lu2005\"\n");
    // A sampled study reads the factor back as the validation wrote it, bit for bit.
    const ModelFactorRead back =
        ParseModelFactorFile(ModelFactorText(orvane, "lu2005"), "factor.toml");
    ASSERT_EQ(back.error, "");
    EXPECT_EQ(back.factor.mean, orvane.mean);
    EXPECT_EQ(back.factor.cov, orvane.cov);
    EXPECT_EQ(back.factor.tests, 3);
    EXPECT_EQ(back.factor.model, "lu2005");

    // Groups: all, the two sources, the bands that hold tests.
    std::vector<std::string> groups;
    for (const ValidationGroup& group : summary.groups) {
        groups.push_back(group.kind + ":" + group.value + ":" + std::to_string(group.tests));
    }
    EXPECT_EQ(groups, (std::vector<std::string>{"all::3", "source:alpha:2", "source:beta:1",
                                                "ef-tf:<50:1", "ef-tf:50-100:1", "ef-tf:>=200:1",
                                                "bf-bc:<0.25:1", "bf-bc:0.25-0.5:2"}));
    EXPECT_EQ(summary.groups.front().models.size(), ValidationModelNames().size());
}

TEST(Validation, TheKeptLoadIsWithinTwoTenthsOfAPercentOfTheConvergedOne) {
    // The march converges to first order: P(h) ≈ P0 + c·h. From two fine meshes, h/8 and h/16,
    // Richardson's 2·P(h/16) − P(h/8) stands for the converged load P0.
    const TestDatabase database = ReadTestDatabase(threeTests());
    for (const TestResult& result : runAll(database)) {
        ASSERT_EQ(result.problem, "");
        const auto load = [&](double dl) {
            TestDataSet data = MakeTestDataSet(ValidationSetup{}, result.row, dl);
            RunController controller(data.params);
            EXPECT_EQ(controller.runToEnd(), RunEnd::BondFailure);
            return controller.run().Pbumax();
        };
        const double converged = 2 * load(result.dl / 16) - load(result.dl / 8);
        EXPECT_LT(std::abs(result.orvane - converged), 0.002 * converged)
            << result.row.id << " at dl " << result.dl;
        EXPECT_GE(result.runs, 2);
    }
}

TEST(Validation, ATestsDataSetIsTheSingleRunsWithTheLawFromItsConcrete) {
    const TestDatabase database = ReadTestDatabase(threeTests());
    const TestDataSet data = MakeTestDataSet(ValidationSetup{}, database.rows[2], 0.5);
    ASSERT_EQ(data.problem, "");
    const auto text = [&](NumericField field) { return data.texts[static_cast<int>(field)]; };
    EXPECT_EQ(text(NumericField::Lb), "300");
    EXPECT_EQ(text(NumericField::B), "40");
    EXPECT_EQ(text(NumericField::Tf), "1.2");
    EXPECT_EQ(data.params.Ef, 200000.0f);
    EXPECT_EQ(text(NumericField::Bc), "200");
    EXPECT_EQ(text(NumericField::Dl), "0.5");
    // The base's member and adhesive.
    EXPECT_EQ(text(NumericField::Tr), StartupFieldTexts()[static_cast<int>(NumericField::Tr)]);
    const DerivedBondLaw law = DeriveBondLaw(BondSlipModel::Lu2005Bilinear,
                                             {40, TensileStrengthFromFc(40), true}, data.params);
    EXPECT_EQ(text(NumericField::TauMax), LawFieldText(law.tauMax));
    EXPECT_EQ(data.params.tauMax, FieldValue(LawFieldText(law.tauMax)));
    EXPECT_EQ(data.params.bondModel, BondModel::BilinearSoftening);
}

TEST(Validation, RowsThatCannotRunAreKeptAndCounted) {
    // A laminate wider than the member has no lu2005 width factor; a bond of 0.001 mm has no
    // element the run checks accept; a row not read keeps its reading problem.
    const TestDatabase database =
        ReadTestDatabase(std::string(kHeader) + "ok,s,150,30,230000,0.167,50,100,9000\n"
                                                "wide,s,50,30,230000,0.167,100,100,9000\n"
                                                "nan,s,150,30,230000,0.167,50,100,x\n");
    const std::vector<TestResult> results = runAll(database);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0].problem, "");
    EXPECT_NE(results[1].problem.find("lu2005: "), std::string::npos) << results[1].problem;
    EXPECT_EQ(results[2].problem, "line 4: Pu: \"x\" is not a number");
    const ValidationSummary summary = SummarizeValidation(results);
    EXPECT_EQ(summary.tests, 3);
    EXPECT_EQ(summary.refused, 2);
    EXPECT_EQ(summary.groups.front().models.front().n, 1);
    const std::vector<std::string> warnings = ValidationWarnings(summary);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0], "2 of 3 tests left out of the statistics; the CSV's problem column "
                           "says why");
    // The CSV keeps every row, the left-out ones with their reason.
    const std::string csv = ValidationCsv(results, "lu2005");
    EXPECT_NE(
        csv.find("\r\n4,nan,s,,,,,,,,,,0,,,,,,,\"line 4: Pu: \"\"x\"\" is not a number\"\r\n"),
        std::string::npos)
        << csv;
}

TEST(Validation, TheModelFactorFileHoldsTomlFloats) {
    // A whole number would read as a TOML integer where the reader takes a float.
    const struct {
        double mean;
        double cov;
        const char* lines;
    } cases[] = {
        {1, 0.25, "mean = 1.0\ncov = 0.25\n"},
        {1.17, 0.27, "mean = 1.17\ncov = 0.27\n"},
        {1e+22, 2, "mean = 1e+22\ncov = 2.0\n"},
    };
    for (const auto& c : cases) {
        ModelStatistics statistics;
        statistics.mean = c.mean;
        statistics.cov = c.cov;
        statistics.n = 40;
        EXPECT_NE(ModelFactorText(statistics, "lu2005").find(c.lines), std::string::npos)
            << ModelFactorText(statistics, "lu2005");
    }
}

TEST(Validation, ShardsAreDisjointConsecutiveAndWhole) {
    std::vector<TestRow> rows(10);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].line = int(i);
    }
    for (const int n : {1, 3, 4, 10, 13}) {
        std::vector<int> joined;
        for (int k = 1; k <= n; ++k) {
            for (const TestRow& row : ShardOf(rows, k, n)) {
                joined.push_back(row.line);
            }
        }
        EXPECT_EQ(joined, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9})) << n;
    }
}

TEST(Validation, TheFigureHasLogAxesAndTheLineOfEquality) {
    const std::vector<TestResult> results = runAll(ReadTestDatabase(threeTests()));
    const FigureData figure = MakeValidationFigure(results, "lu2005");
    // 9 to 25 kN measured and about 11 to 27 kN predicted: 5 … 50 kN, ticks 5, 10, 20, 50.
    EXPECT_EQ(figure.x.tickTexts, (std::vector<std::string>{"5", "10", "20", "50"}));
    EXPECT_DOUBLE_EQ(figure.x.min, std::log10(5.0));
    EXPECT_DOUBLE_EQ(figure.x.max, std::log10(50.0));
    ASSERT_EQ(figure.curves.size(), 2u);
    EXPECT_TRUE(figure.curves[0].dashed);
    EXPECT_EQ(figure.curves[0].points.front().x, figure.curves[0].points.front().y);
    ASSERT_EQ(figure.curves[1].points.size(), 3u);
    EXPECT_DOUBLE_EQ(figure.curves[1].points[0].x, std::log10(9.0));
}

} // namespace
