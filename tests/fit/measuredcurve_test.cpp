#include "fit/MeasuredCurve.h"
#include "fit/ModelCurve.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {
namespace {

std::vector<double> slips(const MeasuredCurve& curve) {
    std::vector<double> result;
    for (const MeasuredPoint& point : curve.points) {
        result.push_back(point.slip);
    }
    return result;
}

struct GoodFile {
    const char* name;
    std::string bytes;
};

class MeasuredCurveLayouts : public testing::TestWithParam<GoodFile> {};

// Each file holds the slips 0 … 0.4 with the loads 0, 1000, 2000, 3000, 4000.
TEST_P(MeasuredCurveLayouts, ReadsTheFivePoints) {
    const MeasuredCurveRead read = ParseMeasuredCurve(GetParam().bytes);
    ASSERT_EQ(read.error, "");
    EXPECT_TRUE(read.curve.skippedRows.empty()) << read.curve.skippedRows.front();
    ASSERT_EQ(read.curve.points.size(), 5u);
    EXPECT_EQ(slips(read.curve), (std::vector<double>{0, 0.1, 0.2, 0.3, 0.4}));
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(read.curve.points[i].value, 1000.0 * double(i));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, MeasuredCurveLayouts,
    testing::Values(
        GoodFile{"Comma", "0,0\n0.1,1000\n0.2,2000\n0.3,3000\n0.4,4000\n"},
        GoodFile{"CommaBlanksCrLfHeader",
                 "slip (mm), load (N)\r\n0, 0\r\n0.1, 1000\r\n0.2 ,2000\r\n0.3,3000\r\n"
                 "0.4,4e3\r\n"},
        GoodFile{"SemicolonNoFinalLineEnd", "s;P\n0;0\n.1;1000\n0.2;2000\n0.3;3000\n0.4;+4000"},
        GoodFile{"Tabs", "0\t0\n0.1\t\t1000\n0.2\t2000\n0.3\t3000\n0.4\t4000\n"},
        GoodFile{"BlanksCommentsEmptyLinesCr",
                 "# test 7\r\r   0   0\r0.1 1000\r\r0.2 2000\r0.3 3000\r0.4 4000\r"},
        GoodFile{"Utf8BomJapaneseHeader",
                 "\xEF\xBB\xBF"
                 "すべり (mm),荷重 (N)\n0,0\n0.1,1000\n0.2,2000\n0.3,3000\n0.4,4000\n"},
        // Without a header the mark must not make the first slip unreadable.
        GoodFile{"Utf8BomNoHeader", "\xEF\xBB\xBF"
                                    "0,0\n0.1,1000\n0.2,2000\n0.3,3000\n0.4,4000\n"},
        // "すべり,荷重" in Shift-JIS
        GoodFile{"ShiftJisHeader", "\x82\xB7\x82\xD7\x82\xE8,\x89\xD7\x8F\x64\n0,0\n0.1,1000\n"
                                   "0.2,2000\n0.3,3000\n0.4,4000\n"}),
    [](const testing::TestParamInfo<GoodFile>& info) { return info.param.name; });

struct BadRowsFile {
    const char* name;
    std::string bytes;
    std::vector<std::string> skipped;
};

class MeasuredCurveBadRows : public testing::TestWithParam<BadRowsFile> {};

TEST_P(MeasuredCurveBadRows, AreLeftOutWithTheirLineNumbers) {
    const MeasuredCurveRead read = ParseMeasuredCurve(GetParam().bytes);
    ASSERT_EQ(read.error, "");
    EXPECT_EQ(read.curve.skippedRows, GetParam().skipped);
    EXPECT_EQ(read.curve.points.size(), 5u);
}

INSTANTIATE_TEST_SUITE_P(
    Files, MeasuredCurveBadRows,
    testing::Values(
        BadRowsFile{"TextInLoad",
                    "slip,load\n0,0\n0.1,1000\n0.15,n/a\n0.2,2000\n0.3,3000\n0.4,4000\n",
                    {"line 4: \"n/a\" in column 2 is not a number. Left out."}},
        BadRowsFile{"TrailingCharacters",
                    "0,0\n0.1,1000\n0.2,2000\n0.25mm,2500\n0.3,3000\n0.4,4000\n",
                    {"line 4: \"0.25mm\" in column 1 is not a number. Left out."}},
        BadRowsFile{"ColumnCounts",
                    "0,0\n0.1,1000,7\n0.1,1000\n0.15\n0.2,2000\n0.3,,3000\n0.3,3000\n0.4,4000\n",
                    {"line 2: 3 entries; a row holds two numbers, slip and load. Left out.",
                     "line 4: 1 entry; a row holds two numbers, slip and load. Left out.",
                     "line 6: 3 entries; a row holds two numbers, slip and load. Left out."}},
        BadRowsFile{"NegativeSlip",
                    "-0.01,5\n0,0\n0.1,1000\n0.2,2000\n0.3,3000\n0.4,4000\n",
                    {"line 1: the slip \"-0.01\" is negative. Left out."}},
        // An unloading loop: the slip falls back further than the scatter of a transducer.
        BadRowsFile{"SlipFallsBack",
                    "s,P\n0,0\n0.1,1\n0.3,3\n0.2,2\n0.4,4\n0.5,5\n",
                    {"line 5: the slip \"0.2\" falls back below \"0.3\" on line 4 (unloading, or "
                     "rows out of the order of the test). Left out."}},
        // A quoted number whose thousands are not grouped by three is not a number.
        BadRowsFile{"BadGrouping",
                    "0,0\n0.1,1000\n0.2,\"20,00\"\n0.25,2500\n0.3,3000\n0.4,4000\n",
                    {"line 3: \"\"20,00\"\" in column 2 is not a number. Left out."}}),
    [](const testing::TestParamInfo<BadRowsFile>& info) { return info.param.name; });

struct BadFile {
    const char* name;
    std::string bytes;
    std::string error;
};

class MeasuredCurveErrors : public testing::TestWithParam<BadFile> {};

TEST_P(MeasuredCurveErrors, AreClear) {
    EXPECT_EQ(ParseMeasuredCurve(GetParam().bytes).error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Files, MeasuredCurveErrors,
    testing::Values(BadFile{"Empty", "", "The file holds 0 usable points; a fit needs at least 5."},
                    BadFile{"FourPoints", "s,P\n0,0\n0.1,1\n0.2,2\n0.3,3\n",
                            "The file holds 4 usable points; a fit needs at least 5."},
                    BadFile{"FourUsableOfSix", "0,0\n0.1,1\nx,2\n0.2,2\n0.3,y\n0.3,3\n",
                            "The file holds 4 usable points; a fit needs at least 5."},
                    BadFile{"TextLoads", "s,P\n0,a\n0.1,b\n0.2,c\n0.3,d\n0.4,e\n0.5,f\n",
                            "Column 2 (load) holds no number on any row."},
                    BadFile{"TextSlips", "a,0\nb,1\nc,2\nd,3\ne,4\nf,5\n",
                            "Column 1 (slip) holds no number on any row."},
                    BadFile{"NotText", std::string("0,0\n0.1,\xFF\xFE\n", 11),
                            "The file is neither UTF-8 nor Shift-JIS text."}),
    [](const testing::TestParamInfo<BadFile>& info) { return info.param.name; });

// A file of many bad rows tells the first twenty and counts the rest, so that its report
// grows no faster than the file.
TEST(MeasuredCurve, ManyBadRowsAreCountedNotAllTold) {
    std::string bytes = "0,0\n0.1,1000\n0.2,2000\n0.3,3000\n0.4,4000\n";
    for (int k = 0; k < 100'000; ++k) {
        bytes += "7\n";
    }
    const MeasuredCurveRead read = ParseMeasuredCurve(bytes);
    EXPECT_EQ(read.error, "");
    EXPECT_EQ(read.curve.points.size(), 5u);
    ASSERT_EQ(read.curve.skippedRows.size(), kToldSkippedRows);
    EXPECT_EQ(read.curve.skippedRows.front(),
              "line 6: 1 entry; a row holds two numbers, slip and load. Left out.");
    EXPECT_EQ(read.curve.skippedCount, 100'000u);
    EXPECT_EQ(MoreSkippedRows(read.curve), "99980 more rows were left out.");
    EXPECT_EQ(MoreSkippedRows(ParseMeasuredCurve("0,0\n1,1\n2,2\n3,3\n4,4\nx,1\n").curve), "");
}

// A named pipe is refused at once, without waiting for a writer that never comes.
TEST(MeasuredCurveDeathTest, APipeIsRefusedWithoutWaiting) {
    const std::string pipe =
        testing::TempDir() + "orvane-measured-pipe-" + std::to_string(::getpid());
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EXIT(
        {
            alarm(5);
            const MeasuredCurveRead read = ReadMeasuredCurve(pipe);
            std::exit(read.error.find("is not a regular file") != std::string::npos ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    ::unlink(pipe.c_str());
}

// Files as laboratories write them, read with a layout: each gives the slips 0 … 0.4 mm
// and the loads 0 … 4000 N.
struct LabFile {
    const char* name;
    std::string bytes;
    MeasuredFileLayout layout;
    std::string slipUnit = "mm", valueUnit = "N";
};

class MeasuredCurveLabFiles : public testing::TestWithParam<LabFile> {};

TEST_P(MeasuredCurveLabFiles, ReadTheFivePointsInMillimetresAndNewtons) {
    const MeasuredCurveRead read = ParseMeasuredCurve(GetParam().bytes, GetParam().layout);
    ASSERT_EQ(read.error, "");
    EXPECT_TRUE(read.curve.skippedRows.empty()) << read.curve.skippedRows.front();
    ASSERT_EQ(read.curve.points.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_NEAR(read.curve.points[i].slip, 0.1 * double(i), 1e-12) << i;
        EXPECT_NEAR(read.curve.points[i].value, 1000.0 * double(i), 1e-9) << i;
    }
    EXPECT_EQ(read.curve.slipUnit, GetParam().slipUnit);
    EXPECT_EQ(read.curve.valueUnit, GetParam().valueUnit);
}

MeasuredFileLayout columns(std::string slip, std::string value) {
    MeasuredFileLayout layout;
    layout.slipColumn = std::move(slip);
    layout.valueColumn = std::move(value);
    return layout;
}

MeasuredFileLayout units(std::string slip, std::string value) {
    MeasuredFileLayout layout;
    layout.slipUnit = std::move(slip);
    layout.valueUnit = std::move(value);
    return layout;
}

MeasuredFileLayout decimalComma() {
    MeasuredFileLayout layout;
    layout.decimal = DecimalMark::Comma;
    return layout;
}

INSTANTIATE_TEST_SUITE_P(
    Files, MeasuredCurveLabFiles,
    testing::Values(
        LabFile{"DecimalCommaSemicolonsKilonewtons",
                "Schlupf (mm);Kraft (kN)\n0,000;0,000\n0,100;1,000\n0,200;2,0\n0,300;3\n"
                "0,400;4,000\n",
                {},
                "mm (from the header)",
                "kN (from the header)"},
        LabFile{
            "EuropeanThousands", "s;P\n0;0\n0,1;1.000\n0,2;2.000,0\n0,3;3.000\n0,4;4.000\n", {}},
        LabFile{"QuotedThousands",
                "\"slip\",\"load\"\n\"0\",\"0\"\n\"0.1\",\"1,000\"\n0.2,\"2,000.0\"\n"
                "0.3,3000\n0.4,\"4,000\"\n",
                {}},
        LabFile{"TrailingSeparators", "0,0,\n0.1,1000,\n0.2,2000,\n0.3,3000,,\n0.4,4000;\n", {}},
        LabFile{"DecimalCommaTabs", "0\t0\n0,1\t1000\n0,2\t2000\n0,3\t3000\n0,4\t4000\n",
                decimalComma()},
        LabFile{"LoggerColumnsByNumber",
                "0,5,0,0.1,0\n1,6,0.1,0.2,1000\n2,7,0.2,0.3,2000\n3,8,0.3,0.4,3000\n"
                "4,9,0.4,0.5,4000\n",
                columns("3", "5")},
        LabFile{"LoggerColumnsByNameAndHeaderUnits",
                "time (s),stroke (mm),LVDT1 [µm],LVDT2 [µm],Load (kN)\n"
                "0,0.5,0,1,0\n1,0.6,100,101,1\n2,0.7,200,202,2\n3,0.8,300,303,3\n"
                "4,0.9,400,404,4\n",
                columns("lvdt1", "Load (kN)"), "µm (from the header)", "kN (from the header)"},
        LabFile{"UnitsGiven", "0 0\n100 1\n200 2\n300 3\n400 4\n", units("um", "kN"), "um", "kN"},
        LabFile{"HeaderUnitAsLastWord",
                "slip mm,load N\n0,0\n0.1,1000\n0.2,2000\n0.3,3000\n"
                "0.4,4000\n",
                {},
                "mm (from the header)",
                "N (from the header)"}),
    [](const testing::TestParamInfo<LabFile>& info) { return info.param.name; });

TEST(MeasuredCurve, SlipScatterWithinTheToleranceIsKept) {
    const std::string bytes = "0,0\n0.1,1000\n0.2,2000\n0.1995,2050\n0.3,3000\n0.4,4000\n";
    const MeasuredCurveRead read = ParseMeasuredCurve(bytes);
    ASSERT_EQ(read.error, "");
    EXPECT_EQ(read.curve.points.size(), 6u);
    MeasuredFileLayout strict;
    strict.slipFallBack = 0;
    EXPECT_EQ(ParseMeasuredCurve(bytes, strict).curve.points.size(), 5u);
}

TEST(MeasuredCurve, RefusesColumnsAndUnitsItCannotFind) {
    const std::string bytes = "a,b\n0,0\n1,1\n2,2\n3,3\n4,4\n";
    EXPECT_EQ(ParseMeasuredCurve(bytes, columns("slip", "b")).error,
              "No column is named \"slip\" in the header row.");
    EXPECT_EQ(ParseMeasuredCurve("0,0\n1,1\n2,2\n3,3\n4,4\n", columns("slip", "2")).error,
              "No column is named \"slip\": the file has no header row.");
    EXPECT_EQ(ParseMeasuredCurve(bytes, units("inch", "")).error,
              "The slip unit \"inch\" is not one the reader knows.");
    EXPECT_EQ(ParseMeasuredCurve(bytes, columns("1", "3")).curve.skippedRows.front(),
              "line 2: 2 entries; the chosen columns need 3. Left out.");
}

TEST(MeasuredCurve, TellsTheFirstTwentyBadRowsAndCountsTheRest) {
    std::string bytes = "0,0\n0.1,1\n0.2,2\n0.3,3\n0.4,4\n";
    for (int i = 0; i < 35; ++i) {
        bytes += "x,1\n";
    }
    const MeasuredCurveRead read = ParseMeasuredCurve(bytes);
    EXPECT_EQ(read.curve.skippedRows.size(), 20u);
    EXPECT_EQ(read.curve.skippedCount, 35u);
    EXPECT_EQ(MoreSkippedRows(read.curve), "15 more rows were left out.");
}

// A record with its peak at 0.3 mm, the failure between 0.5 and 0.5 mm (the usual last row:
// the same slip, the load after failure) and a row of no load after it.
TEST(MeasuredCurve, FitRangesCutTheRecord) {
    const MeasuredCurveRead read = ParseMeasuredCurve(
        "0,0\n0.1,1000\n0.2,2000\n0.3,3000\n0.4,2900\n0.5,2800\n0.5,300\n0.6,0\n");
    ASSERT_EQ(read.error, "");
    const struct {
        FitRange range;
        std::size_t points;
        std::string error;
    } cases[] = {
        {{FitRange::Kind::All}, 8, ""},
        {{FitRange::Kind::UpToFailure}, 6, ""},
        {{FitRange::Kind::UpToPeak}, 4, "The fit range holds 4 points; a fit needs at least 5."},
        {{FitRange::Kind::Slips, 0.1, 0.5}, 6, ""},
    };
    for (const auto& c : cases) {
        const MeasuredCurveRead within = WithinRange(read.curve, c.range);
        EXPECT_EQ(within.curve.points.size(), c.points) << int(c.range.kind);
        EXPECT_EQ(within.error, c.error) << int(c.range.kind);
    }
}

// The batch's --range and the window's typed range read through this one parser.
TEST(MeasuredCurve, FitRangeTexts) {
    const struct {
        const char* text;
        FitRange::Kind kind;
        double from, to;
        std::string error;
    } cases[] = {
        {"0.01:1.5", FitRange::Kind::Slips, 0.01, 1.5, ""},
        {"-0.5:2e-1", FitRange::Kind::Slips, -0.5, 0.2, ""},
        {"peak", FitRange::Kind::UpToPeak, 0, 0, ""},
        {"failure", FitRange::Kind::UpToFailure, 0, 0, ""},
        {"2:1", FitRange::Kind::All, 0, 0, "needs FROM below TO, not \"2:1\""},
        {"1:1", FitRange::Kind::All, 0, 0, "needs FROM below TO, not \"1:1\""},
        {"0,1:2", FitRange::Kind::All, 0, 0, "needs a number, not \"0,1\""},
        {":2", FitRange::Kind::All, 0, 0, "needs a number, not \"\""},
        {"0:inf", FitRange::Kind::All, 0, 0, "needs a number, not \"inf\""},
        {"0.1 - 0.5", FitRange::Kind::All, 0, 0,
         "takes FROM:TO (mm), peak or failure, not \"0.1 - 0.5\""},
    };
    for (const auto& c : cases) {
        FitRange range; // left as it was when the text is refused
        EXPECT_EQ(ParseFitRange(c.text, range), c.error) << c.text;
        EXPECT_EQ(range.kind, c.kind) << c.text;
        EXPECT_EQ(range.from, c.from) << c.text;
        EXPECT_EQ(range.to, c.to) << c.text;
    }
}

TEST(MeasuredCurve, ReadingAMissingFileNamesIt) {
    const MeasuredCurveRead read = ReadMeasuredCurve("/nonexistent/test.csv");
    EXPECT_EQ(read.error, "\"/nonexistent/test.csv\" cannot be opened: No such file or directory.");
}

TEST(LoadSlipPath, FollowsTheGrowingSlipAndFailsBeyondIt) {
    // Rising, a flat stretch, then a snap-back: the slip turns back while the load drops.
    const std::vector<CurvePoint> steps = {{0.1, 100},  {0.2, 200}, {0.2, 190}, {0.4, 180},
                                           {0.35, 150}, {0.3, 50},  {0.32, 0}};
    const LoadSlipPath path(steps);
    ASSERT_EQ(path.points().size(), 4u);
    EXPECT_DOUBLE_EQ(path.failureSlip(), 0.4);
    const struct {
        double s, load;
    } cases[] = {{0, 0},     {0.05, 50}, {0.1, 100},     {0.15, 150},
                 {0.3, 190}, {0.4, 180}, {0.4000001, 0}, {1, 0}};
    for (const auto& c : cases) {
        EXPECT_NEAR(path.loadAt(c.s), c.load, 1e-9) << c.s;
    }
}

} // namespace
} // namespace orvane
