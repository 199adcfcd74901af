// The study's figure model and the compact table a window keeps its points in.

#include "core/study/StudyPlot.h"
#include "core/study/StudyTable.h"
#include "core/study/StudyWriters.h"

#include <algorithm>
#include <bit>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <type_traits>

using namespace orvane;

namespace {

std::shared_ptr<StudyDefinition> studyOf(const std::vector<std::string_view>& definitions) {
    auto study = std::make_shared<StudyDefinition>();
    for (const std::string_view definition : definitions) {
        const SweepParse parse = ParseSweep(definition);
        EXPECT_EQ(parse.error, "") << definition;
        study->sweeps.push_back(parse.sweep);
    }
    return study;
}

// Every point of the study without its run: the figure model needs loads, not the march, so
// each point gets a made-up Pbumax and the closed forms that follow from its inputs.
StudyPlot plotOf(const StudyDefinition& study) {
    StudyPlot plot = MakeStudyPlot(study);
    for (std::int64_t k = 0; k < PointCount(study); ++k) {
        StudyPointResult result = DescribeStudyPoint(study, k);
        result.end = RunEnd::BondFailure;
        result.Pbumax = 0.9 * result.quantities.Pinf;
        plot.add(result);
    }
    return plot;
}

std::size_t countCurves(const FigureData& figure, bool dashed, bool vertical) {
    return std::size_t(
        std::count_if(figure.curves.begin(), figure.curves.end(), [&](const auto& c) {
            const bool isVertical = c.points.size() == 2 && c.points[0].x == c.points[1].x;
            return c.dashed == dashed && isVertical == vertical;
        }));
}

std::size_t countLabels(const FigureData& figure) {
    return std::size_t(std::count_if(figure.curves.begin(), figure.curves.end(),
                                     [](const auto& c) { return !c.label.empty(); }));
}

struct SeriesCase {
    const char* name;
    const char* other;   // the second swept input
    bool scale;          // told apart by a colour scale
    std::size_t limits;  // P∞ lines
    std::size_t lengths; // Le lines
    std::size_t labels;  // legend entries
};

class StudyFigureSeries : public testing::TestWithParam<SeriesCase> {};

// Ef changes P∞ and Le for every series; Δl changes neither, so its series share one line of
// each, named in the legend. Beyond kMaxNamedSeries the series have no legend entry each.
TEST_P(StudyFigureSeries, KeepTheLegendShortAndDrawEachLimitOnce) {
    const SeriesCase& c = GetParam();
    const auto study = studyOf({"lb=20:300:8", c.other});
    const FigureData figure = MakeStudyFigure(plotOf(*study));
    EXPECT_EQ(figure.colourScale.has_value(), c.scale);
    EXPECT_EQ(countCurves(figure, true, false), c.limits);
    EXPECT_EQ(countCurves(figure, true, true), c.lengths);
    EXPECT_EQ(countLabels(figure), c.labels);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StudyFigureSeries,
    testing::Values(SeriesCase{"FiftyModuli", "Ef=50000:300000:50", true, 50, 50, 2},
                    SeriesCase{"ThreeModuli", "Ef=100000,200000,300000", false, 3, 3, 3},
                    SeriesCase{"FiftyElementLengths", "dl=0.1:1:50", true, 1, 1, 2},
                    SeriesCase{"TwoElementLengths", "dl=0.5,1", false, 1, 1, 4}),
    [](const testing::TestParamInfo<SeriesCase>& info) { return info.param.name; });

TEST(StudyFigure, TheColourScaleRunsFromTheFirstValueToTheLast) {
    const auto study = studyOf({"lb=20:300:8", "Ef=50000:300000:50"});
    const FigureData figure = MakeStudyFigure(plotOf(*study));
    ASSERT_TRUE(figure.colourScale);
    EXPECT_EQ(figure.colourScale->title, "laminate modulus Ef (N/mm²)");
    EXPECT_EQ(figure.colourScale->first, "50000");
    EXPECT_EQ(figure.colourScale->last, "300000");
    EXPECT_EQ(figure.curves.front().shade, 0);
    EXPECT_EQ(figure.curves[49].shade, 1);
}

// P∞ and Le are marks the loads are read against: drawn under the loads, so that a law-only
// study's P∞ dash does not cross out its marker.
TEST(StudyFigure, PinfAndLeAreReferenceMarksAndTheLoadsAreNot) {
    for (const auto& sweeps : std::vector<std::vector<std::string_view>>{
             {"lb=10:300:30"}, {"law=softening,bilinear"}, {"lb=10:300:20", "Ef=1e5:2.5e5:50"}}) {
        SCOPED_TRACE(sweeps.front());
        const auto study = std::make_shared<StudyDefinition>();
        for (const std::string_view definition : sweeps) {
            study->sweeps.push_back(ParseSweep(definition).sweep);
        }
        const FigureData figure = MakeStudyFigure(plotOf(*study));
        for (const FigureCurve& curve : figure.curves) {
            EXPECT_EQ(curve.reference, curve.dashed) << curve.label;
        }
    }
}

TEST(StudyFigure, ALogarithmicSweepIsDrawnOnALogarithmicAxis) {
    const FigureData log = MakeStudyFigure(plotOf(*studyOf({"lb=10:1000:9:log"})));
    EXPECT_TRUE(log.x.logarithmic);
    EXPECT_EQ(log.x.min, 10);
    EXPECT_EQ(log.x.max, 1000);
    EXPECT_EQ(log.x.tickTexts,
              (std::vector<std::string>{"10", "20", "50", "100", "200", "500", "1000"}));
    const FigureData wide = MakeStudyFigure(plotOf(*studyOf({"Ef=100:1e7:6:log"})));
    EXPECT_EQ(wide.x.tickTexts,
              (std::vector<std::string>{"100", "1000", "10000", "100000", "1000000", "10000000"}));
    EXPECT_FALSE(MakeStudyFigure(plotOf(*studyOf({"lb=10:1000:9"}))).x.logarithmic);
}

TEST(StudyFigure, ALawOnlyStudyHasAPlaceForEachLaw) {
    const FigureData figure = MakeStudyFigure(plotOf(*studyOf({"law=softening,bilinear"})));
    EXPECT_EQ(figure.title, "Ultimate load for each bond-slip law");
    EXPECT_EQ(figure.x.tickTexts, (std::vector<std::string>{"softening", "bilinear"}));
    EXPECT_TRUE(figure.message.empty());
    ASSERT_FALSE(figure.curves.empty());
    EXPECT_TRUE(figure.curves.front().markers);
    EXPECT_EQ(figure.curves.front().points.size(), 2u);
    EXPECT_EQ(figure.curves.front().points[1].x, 2);
}

// A long sweep draws a few thousand points, with its highest and lowest loads, and its
// constant P∞ as two ends.
TEST(StudyFigure, ALongSweepIsThinnedToWhatTheFigureShows) {
    const auto study = studyOf({"lb=1:1000:1000000"});
    StudyPlot plot = MakeStudyPlot(*study);
    for (int k = 0; k < 1000000; ++k) {
        const float load = k == 777777 ? 9000.0f : k == 123456 ? 10.0f : float(5000 + k % 7);
        plot.series[0].points.push_back({float(1 + k * 0.001), load, 6000, 70});
    }
    const FigureData figure = MakeStudyFigure(plot);
    const FigureCurve& load = figure.curves[0];
    EXPECT_LE(load.points.size(), 4000u);
    const auto has = [&](double y) {
        return std::any_of(load.points.begin(), load.points.end(),
                           [&](FigurePoint p) { return p.y == y; });
    };
    EXPECT_TRUE(has(9000));
    EXPECT_TRUE(has(10));
    EXPECT_EQ(load.points.front().x, 1);
    EXPECT_EQ(load.points.back().x, double(plot.series[0].points.back().x));
    EXPECT_TRUE(std::is_sorted(load.points.begin(), load.points.end(),
                               [](FigurePoint a, FigurePoint b) { return a.x < b.x; }));
    EXPECT_EQ(figure.curves[1].points.size(), 2u); // P∞
}

// A long study's plot is merged as its points come: it holds a few thousand points a series,
// not one for each run, and its figure keeps the loads' extremes, the ends and P∞.
TEST(StudyFigure, ALongStudyKeepsItsPlotSmall) {
    struct Case {
        std::vector<std::string_view> sweeps;
        std::size_t series;
    };
    for (const Case& c :
         {Case{{"lb=1:1000:300000"}, 1}, Case{{"lb=1:1000:100000", "b=50,80"}, 2}}) {
        const auto study = studyOf(c.sweeps);
        StudyPlot plot = MakeStudyPlot(*study);
        const std::int64_t count = PointCount(*study);
        const std::int64_t high = count * 7 / 9, low = count / 8;
        for (std::int64_t k = 0; k < count; ++k) {
            StudyPointResult result;
            result.index = k;
            result.sweptTexts.assign(c.sweeps.size(), "1");
            result.sweptValues.assign(1, 1 + double(k / std::int64_t(c.series)) * 0.01);
            result.end = RunEnd::BondFailure;
            result.Pbumax = k == high ? 9000.0 : k == low ? 10.0 : double(5000 + k % 7);
            result.quantities.Pinf = 6000;
            result.quantities.Le = 70;
            plot.add(result);
        }
        ASSERT_EQ(plot.series.size(), c.series);
        const FigureData figure = MakeStudyFigure(plot);
        for (std::size_t s = 0; s < c.series; ++s) {
            EXPECT_LE(plot.series[s].points.size(), 8000u);
            const std::vector<FigurePoint>& load = figure.curves[s].points;
            const auto [least, most] = std::minmax_element(
                load.begin(), load.end(), [](FigurePoint a, FigurePoint b) { return a.y < b.y; });
            EXPECT_EQ(most->y, s == std::size_t(high) % c.series ? 9000 : 5006) << s;
            EXPECT_EQ(least->y, s == std::size_t(low) % c.series ? 10 : 5000) << s;
            EXPECT_EQ(load.front().x, 1) << s;
            EXPECT_EQ(load.back().x,
                      float(1 + double((count - 1) / std::int64_t(c.series)) * 0.01));
        }
        EXPECT_EQ(figure.curves[c.series].points.size(), 2u); // P∞, one line for the series
    }
}

TEST(StudyFigure, NothingSweptSaysSo) {
    StudyDefinition none;
    const FigureData figure = MakeStudyFigure(MakeStudyPlot(none));
    EXPECT_NE(figure.message, "");
    EXPECT_TRUE(figure.curves.empty());
}

TEST(StudyBase, NamesTheLawAndEveryInputNotSwept) {
    const auto study = studyOf({"lb=20,40"});
    study->baseTexts[static_cast<int>(NumericField::Dl)] = "0.001";
    const std::string line = DescribeStudyBase(*study);
    EXPECT_EQ(line.rfind("bi-linear softening; τmax ", 0), 0u) << line;
    EXPECT_NE(line.find(", Δl 0.001 mm,"), std::string::npos) << line;
    EXPECT_EQ(line.find("lb "), std::string::npos) << line;
    study->base.bondModel = BondModel::PerfectlyBilinear;
    EXPECT_EQ(DescribeStudyBase(*study).rfind("perfectly bi-linear; τy ", 0), 0u);
}

// The table gives back each point as the run handed it out, refused points and their reasons
// included, so its CSV is the streamed CSV byte for byte.
TEST(StudyTable, GivesBackThePointsAsTheRunsGaveThem) {
    const auto study = studyOf({"lb=20:120:3", "dl=0.5,0"});
    StudyTable table(study);
    std::ostringstream streamed;
    StudyCsvWriter writer(streamed, *study);
    writer.begin();
    std::vector<StudyPointResult> results;
    RunStudy(*study, 2, [&](const StudyPointResult& result) {
        table.add(result);
        writer.row(result);
        results.push_back(result);
        return true;
    });
    writer.finish(PointCount(*study));
    ASSERT_EQ(table.size(), 6);
    for (std::int64_t k = 0; k < table.size(); ++k) {
        const StudyPointResult& run = results[std::size_t(k)];
        const StudyPointResult kept = table.point(k);
        EXPECT_EQ(kept.problem, run.problem) << k;
        EXPECT_EQ(kept.end, run.end) << k;
        EXPECT_EQ(kept.steps, run.steps) << k;
        EXPECT_EQ(std::bit_cast<std::uint64_t>(kept.Pbumax),
                  std::bit_cast<std::uint64_t>(run.Pbumax));
        EXPECT_EQ(kept.sweptTexts, run.sweptTexts) << k;
    }
    EXPECT_TRUE(results[1].refused());
    std::ostringstream saved;
    EXPECT_TRUE(WriteStudyCsv(saved, table));
    EXPECT_EQ(saved.str(), streamed.str());
}

// A reason the run checks do not give (no memory for the elements) is kept with its point.
TEST(StudyTable, KeepsAReasonOnlyTheRunGave) {
    const auto study = studyOf({"lb=20,40"});
    StudyTable table(study);
    StudyPointResult first = DescribeStudyPoint(*study, 0);
    first.problem = "not enough memory for 40 elements";
    table.add(first);
    table.add(DescribeStudyPoint(*study, 1));
    EXPECT_EQ(table.point(0).problem, first.problem);
    EXPECT_EQ(table.point(1).problem, "");
}

// A save writes a snapshot of the rows so far while the study goes on: it shares the
// table's columns instead of copying them, and rows added after it stay out of it.
TEST(StudyTable, ASnapshotHoldsTheRowsSoFar) {
    static_assert(!std::is_copy_constructible_v<StudyTable>, "rows are shared, not copied");
    const auto study = studyOf({"lb=20:80:4"});
    StudyTable table(study);
    StudyTable firstTwo(study);
    for (std::int64_t k = 0; k < 2; ++k) {
        StudyPointResult result = DescribeStudyPoint(*study, k);
        result.end = RunEnd::BondFailure;
        result.Pbumax = 1000.0 + double(k);
        table.add(result);
        firstTwo.add(result);
    }
    const StudyTable rows = table.snapshot();
    for (std::int64_t k = 2; k < 4; ++k) {
        table.add(DescribeStudyPoint(*study, k));
    }
    EXPECT_EQ(rows.size(), 2);
    EXPECT_EQ(table.size(), 4);
    std::ostringstream fromSnapshot, fromTable;
    EXPECT_TRUE(WriteStudyCsv(fromSnapshot, rows));
    EXPECT_TRUE(WriteStudyCsv(fromTable, firstTwo));
    EXPECT_EQ(fromSnapshot.str(), fromTable.str());
}

TEST(StudyTable, AStoppedSaveSaysSo) {
    const auto study = studyOf({"lb=20,40"});
    StudyTable table(study);
    table.add(DescribeStudyPoint(*study, 0));
    std::stop_source stop;
    stop.request_stop();
    std::ostringstream out;
    EXPECT_FALSE(WriteStudyCsv(out, table, stop.get_token()));
}

struct NumberCase {
    const char* name;
    double value;
    bool single; // the value is a field's single
    const char* text;
};

class TableNumber : public testing::TestWithParam<NumberCase> {};

TEST_P(TableNumber, IsPlainAndWhole) {
    const NumberCase& c = GetParam();
    EXPECT_EQ(c.single ? TableNumberText(float(c.value)) : TableNumberText(c.value), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TableNumber,
    testing::Values(NumberCase{"TypedModulus", 300000, true, "300000"},
                    NumberCase{"ModulusAsExponent", 1.5e5, true, "150000"},
                    NumberCase{"SingleSlip", 0.065, true, "0.065"},
                    NumberCase{"SingleSeventhDigit", 0.1234567, true, "0.1234567"},
                    NumberCase{"LoadAllDigits", 20345.678901234565, false, "20345.678901234565"},
                    NumberCase{"Zero", 0, false, "0"},
                    NumberCase{"SmallestPlain", 1e-5, false, "0.00001"},
                    NumberCase{"TinyInitialDs", 1e-7, true, "1e-07"},
                    NumberCase{"Huge", 2.5e16, false, "2.5e+16"},
                    NumberCase{"Negative", -0.5, false, "-0.5"}),
    [](const testing::TestParamInfo<NumberCase>& info) { return info.param.name; });

} // namespace
