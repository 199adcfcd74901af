#include "core/Version.h"
#include "core/results/BondSummary.h"
#include "core/results/CsvRunWriter.h"
#include "core/results/JsonText.h"
#include "core/results/RunFigure.h"
#include "core/results/RunRecord.h"

#include <charconv>
#include <gtest/gtest.h>
#include <limits>
#include <sstream>

using namespace orvane;

namespace {

// A run of three elements: lb = 0.36 mm, Δl = 0.12 mm.
AnalysisParameters smallRun(const std::string& comment) {
    AnalysisParameters p = StartupParameters();
    p.comment = comment;
    p.lb = FieldValue("0.36");
    p.ds = InitialSlipIncrement("1E-07");
    return p;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "the text ends without CR LF";
    return lines;
}

std::vector<std::string> splitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, ',');) {
        fields.push_back(field);
    }
    return fields;
}

// The number must take the whole field and read back as the value, bit for bit.
template <class Number>
void expectReadsBack(const std::string& field, Number value) {
    Number parsed{};
    const auto result = std::from_chars(field.data(), field.data() + field.size(), parsed);
    EXPECT_TRUE(result.ec == std::errc() && result.ptr == field.data() + field.size()) << field;
    EXPECT_EQ(parsed, value) << field;
}

struct Written {
    std::string steps;
    std::string distribution;
    RunRecord record;
};

Written writeRun(const std::string& comment) {
    AnalysisParameters p = smallRun(comment);
    std::ostringstream steps;
    std::ostringstream distribution;
    CsvRunWriter stepWriter(steps, CsvTable::Steps);
    CsvRunWriter distributionWriter(distribution, CsvTable::Distribution);
    stepWriter.begin(p);
    distributionWriter.begin(p);
    PulloutRun run(p);
    RunRecorder recorder(p, run.elementCount());
    run.addObserver(stepWriter);
    run.addObserver(distributionWriter);
    run.addObserver(recorder);
    while (run.step() == RunEnd::None) {
    }
    stepWriter.finish(run.end());
    distributionWriter.finish(run.end());
    recorder.setEnd(run.end());
    return {steps.str(), distribution.str(), recorder.record()};
}

// JSON has no NaN or infinity, and a string may hold no raw quote or line break.
TEST(JsonText, NumbersWithoutAValueAreNullAndStringsAreEscaped) {
    EXPECT_EQ(JsonNumber(std::numeric_limits<double>::quiet_NaN()), "null");
    EXPECT_EQ(JsonNumber(std::numeric_limits<double>::infinity()), "null");
    EXPECT_EQ(JsonNumber(std::numeric_limits<float>::quiet_NaN()), "null");
    EXPECT_EQ(JsonNumber(0.1), "0.1");
    EXPECT_EQ(JsonString("say \"no\"\r\nnow\\\t"),
              "\"say \\\"no\\\"\\u000d\\u000anow\\\\\\u0009\"");
    EXPECT_EQ(JsonString("τmax"), "\"τmax\"");
}

TEST(CsvField, QuotesOnlyWhatNeedsIt) {
    const struct {
        const char* text;
        const char* field;
    } cases[] = {
        {"", ""},
        {"plain text", "plain text"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\r\nlines", "\"two\r\nlines\""},
        {"\n", "\"\n\""},
        {"試験体 No.1", "試験体 No.1"}, // UTF-8 passes as it is
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CsvField(c.text), c.field) << c.text;
    }
}

TEST(CsvRunWriter, OpeningBlockAndHeader) {
    const Written w = writeRun("Beam \"A\", 2 layers, 試験体");
    const std::string expected = "# program,Orvane " + std::string(kVersion) +
                                 "\r\n"
                                 "# comment,\"Beam \"\"A\"\", 2 layers, 試験体\"\r\n"
                                 "# law,bi-linear softening\r\n"
                                 "# tauMax,6.467,N/mm²\r\n"
                                 "# sMax,0.065,mm\r\n"
                                 "# su,0.354,mm\r\n"
                                 "# dl,0.12,mm\r\n"
                                 "# lb,0.36,mm\r\n"
                                 "# b,50,mm\r\n"
                                 "# tf,0.167,mm\r\n"
                                 "# Ef,230000,N/mm²\r\n"
                                 "# tr,0.3,mm\r\n"
                                 "# Er,2450,N/mm²\r\n"
                                 "# bc,50,mm\r\n"
                                 "# dc,100,mm\r\n"
                                 "# Ec,24000,N/mm²\r\n"
                                 "# Ab,193.5,mm²\r\n"
                                 "# Eb,206000,N/mm²\r\n"
                                 "# ds,1e-09,mm\r\n"
                                 "# Gf,1.1446590082887411,N/mm\r\n"
                                 "# Pinf,14826.724415482255,N\r\n";
    ASSERT_GE(w.steps.size(), expected.size());
    EXPECT_EQ(w.steps.substr(0, expected.size()), expected);
    const std::vector<std::string> lines = splitLines(w.steps);
    EXPECT_EQ(lines[21].substr(0, 9), "# Le,69.9");
    EXPECT_EQ(lines[22], "# n,3");
    EXPECT_EQ(lines[24], "step,s0,ds0,sl,Pl,totalTau,Pbumax,slmax");
    EXPECT_EQ(splitLines(w.distribution)[24], "step,i,x,s,P,tau");
}

TEST(CsvRunWriter, EveryNumberReadsBackExactly) {
    const Written w = writeRun("plain");
    const std::vector<std::string> lines = splitLines(w.steps);
    const std::vector<StepResult>& steps = w.record.steps;
    ASSERT_EQ(lines.size(), 25 + steps.size() + 5);
    for (std::size_t k = 0; k < steps.size(); ++k) {
        SCOPED_TRACE(k);
        const std::vector<std::string> f = splitFields(lines[25 + k]);
        ASSERT_EQ(f.size(), 8u);
        const StepResult& r = steps[k];
        expectReadsBack(f[0], r.step);
        expectReadsBack(f[1], r.s0);
        expectReadsBack(f[2], r.ds); // held in single precision
        expectReadsBack(f[3], r.sl);
        expectReadsBack(f[4], r.Pl);
        expectReadsBack(f[5], r.totalTau);
        expectReadsBack(f[6], r.Pbumax);
        expectReadsBack(f[7], r.slmax);
    }
    const std::size_t closing = 25 + steps.size();
    EXPECT_EQ(lines[closing], "# end,bond failure");
    EXPECT_EQ(lines[closing + 1], "# steps," + std::to_string(steps.size()));
    expectReadsBack(splitFields(lines[closing + 2].substr(2))[1], steps.back().Pbumax);

    // Three rows per step, the elements in order; the last step's rows match the record.
    const std::vector<std::string> rows = splitLines(w.distribution);
    ASSERT_EQ(rows.size(), 25 + 3 * steps.size() + 5);
    const std::vector<ElementResult>& last = w.record.last.elements;
    ASSERT_EQ(last.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const std::vector<std::string> f = splitFields(rows[25 + 3 * (steps.size() - 1) + i]);
        ASSERT_EQ(f.size(), 6u);
        expectReadsBack(f[0], int(steps.size()));
        expectReadsBack(f[1], last[i].i);
        expectReadsBack(f[2], last[i].x);
        expectReadsBack(f[3], last[i].s);
        expectReadsBack(f[4], last[i].P);
        expectReadsBack(f[5], last[i].tau);
    }
}

// The windows export a run from its record: the same bytes as written during the run.
TEST(CsvRunWriter, RecordWritesTheSameTable) {
    const Written w = writeRun("replayed");
    std::ostringstream replayed;
    WriteRecordCsv(replayed, w.record, CsvTable::Steps);
    EXPECT_EQ(replayed.str(), w.steps);

    std::ostringstream distribution;
    WriteRecordCsv(distribution, w.record, CsvTable::Distribution);
    const std::vector<std::string> lines = splitLines(distribution.str());
    const int peak = w.record.peak.step;
    ASSERT_GT(peak, 0);
    ASSERT_LT(peak, int(w.record.steps.size()));
    ASSERT_EQ(lines.size(), 25 + 2 * 3 + 5u); // the peak step's and the last step's rows
    EXPECT_EQ(lines[25].substr(0, lines[25].find(',')), std::to_string(peak));
    EXPECT_EQ(lines[28].substr(0, lines[28].find(',')), std::to_string(w.record.steps.size()));
}

TEST(CsvRunWriter, LineBreakInTheCommentStaysOnItsMetadataLine) {
    const Written w = writeRun("first\nsecond");
    EXPECT_EQ(splitLines(w.steps)[1], "# comment,\"first second\"");
}

TEST(FigureAxis, TicksAtRoundNumbers) {
    const struct {
        double low, high;
        double min, max, step;
        std::vector<std::string> texts;
    } cases[] = {
        {0,
         0.3614,
         0,
         0.4,
         0.05,
         {"0.00", "0.05", "0.10", "0.15", "0.20", "0.25", "0.30", "0.35", "0.40"}},
        {0, 0.7402, 0, 0.8, 0.1, {"0.0", "0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.7", "0.8"}},
        {0,
         14835.2,
         0,
         16000,
         2000,
         {"0", "2000", "4000", "6000", "8000", "10000", "12000", "14000", "16000"}},
        {0, 120, 0, 120, 20, {"0", "20", "40", "60", "80", "100", "120"}},
        {-0.7, 7.2, -2, 8, 2, {"-2", "0", "2", "4", "6", "8"}},
        {0,
         2e-8,
         0,
         2e-8,
         5e-9,
         {"0.000000000", "0.000000005", "0.000000010", "0.000000015", "0.000000020"}},
        {1, -1, 0, 1, 0.2, {"0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}}, // no data
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.low << " … " << c.high);
        const FigureAxis axis = MakeFigureAxis("t", c.low, c.high);
        EXPECT_DOUBLE_EQ(axis.min, c.min);
        EXPECT_DOUBLE_EQ(axis.max, c.max);
        EXPECT_DOUBLE_EQ(axis.step, c.step);
        EXPECT_EQ(axis.tickTexts, c.texts);
    }
}

// The load-slip figure carries P∞ as the Bond summary shows it, as a reference line across
// the frame that the axis reaches; the other run figures carry no reference mark.
TEST(RunFigure, TheLoadSlipFigureMarksTheRecordsPinfUnderTheCurve) {
    const RunRecord record = writeRun("P∞").record;
    const BondQuantities quantities = ComputeBondQuantities(record.params);
    std::string summaryPinf;
    for (const BondSummaryLine& line : BondSummaryLines(quantities, 0)) {
        summaryPinf = line.name == "Pinf" ? line.value : summaryPinf;
    }
    for (const FigureKind kind : kFigureKinds) {
        SCOPED_TRACE(FigureFileName("figure", kind));
        const FigureData figure = MakeFigure(record, kind);
        const auto references =
            std::count_if(figure.curves.begin(), figure.curves.end(),
                          [](const FigureCurve& curve) { return curve.reference; });
        if (kind != FigureKind::LoadSlip) {
            EXPECT_EQ(references, 0);
            continue;
        }
        ASSERT_EQ(references, 1);
        const FigureCurve& line = figure.curves.front();
        ASSERT_TRUE(line.reference);
        ASSERT_EQ(line.points.size(), 2u);
        EXPECT_EQ(line.points[0].y, quantities.Pinf);
        EXPECT_EQ(line.points[1].y, quantities.Pinf);
        EXPECT_EQ(line.points[0].x, figure.x.min);
        EXPECT_EQ(line.points[1].x, figure.x.max);
        EXPECT_EQ(line.note, "P∞ = " + summaryPinf + " N");
        EXPECT_TRUE(line.dashed);
        // This three-element bond carries far less than a long one: the axis still shows P∞.
        EXPECT_LT(record.steps.back().Pbumax, 0.5 * quantities.Pinf);
        EXPECT_GE(figure.y.max, quantities.Pinf);
    }
}

TEST(FigureFiles, FormatAndNames) {
    EXPECT_EQ(FigureFormatOf("a/run.SVG"), FigureFormat::Svg);
    EXPECT_EQ(FigureFormatOf("run.pdf"), FigureFormat::Pdf);
    EXPECT_EQ(FigureFormatOf("run.png"), FigureFormat::Png);
    EXPECT_EQ(FigureFormatOf("run.jpg"), std::nullopt);
    EXPECT_EQ(FigureFormatOf("svg"), std::nullopt);
    EXPECT_EQ(FigureFileName("out/run.svg", FigureKind::LoadSlip), "out/run-load-slip.svg");
    EXPECT_EQ(FigureFileName("a.b/run", FigureKind::TauSlip), "a.b/run-tau-slip");
}

} // namespace
