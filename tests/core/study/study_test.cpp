#include "core/Version.h"
#include "core/numtext/NumberText.h"
#include "core/results/ResultFileRun.h"
#include "core/study/Study.h"
#include "core/study/StudyWriters.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <system_error>
#include <unistd.h>

using namespace orvane;
namespace fs = std::filesystem;

namespace {

Sweep sweepOf(std::string_view definition) {
    const SweepParse parse = ParseSweep(definition);
    EXPECT_EQ(parse.error, "") << definition;
    return parse.sweep;
}

std::vector<std::string> textsOf(const Sweep& sweep) {
    std::vector<std::string> texts;
    for (std::int64_t k = 0; k < sweep.size(); ++k) {
        texts.push_back(sweep.text(k));
    }
    return texts;
}

StudyDefinition studyOf(std::initializer_list<std::string_view> definitions) {
    StudyDefinition study;
    for (const std::string_view definition : definitions) {
        study.sweeps.push_back(sweepOf(definition));
    }
    EXPECT_EQ(CheckStudy(study), "");
    return study;
}

std::vector<StudyPointResult> runAll(const StudyDefinition& study, int jobs) {
    std::vector<StudyPointResult> results;
    RunStudy(study, jobs, [&](const StudyPointResult& result) {
        results.push_back(result);
        return true;
    });
    return results;
}

std::string csvOf(const StudyDefinition& study, int jobs, std::int64_t stopAfter = -1) {
    std::ostringstream out;
    StudyCsvWriter writer(out, study);
    writer.begin();
    std::stop_source stop;
    std::int64_t rows = 0;
    const std::int64_t done = RunStudy(
        study, jobs,
        [&](const StudyPointResult& result) {
            writer.row(result);
            if (++rows == stopAfter) {
                stop.request_stop();
            }
            return true;
        },
        stop.get_token());
    writer.finish(done);
    return out.str();
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t begin = 0;
    for (std::size_t end; (end = text.find("\r\n", begin)) != std::string::npos; begin = end + 2) {
        lines.push_back(text.substr(begin, end - begin));
    }
    EXPECT_EQ(begin, text.size()) << "the text ends inside a line";
    return lines;
}

struct ExpansionCase {
    const char* name;
    const char* definition;
    std::vector<std::string> texts;
};

class SweepExpansion : public testing::TestWithParam<ExpansionCase> {};

TEST_P(SweepExpansion, GivesTheFieldTexts) {
    EXPECT_EQ(textsOf(sweepOf(GetParam().definition)), GetParam().texts);
}

INSTANTIATE_TEST_SUITE_P(
    Study, SweepExpansion,
    testing::Values(
        ExpansionCase{"LinearHitsRoundValuesExactly", "lb=10:50:5", {"10", "20", "30", "40", "50"}},
        ExpansionCase{"LinearFractions", "sMax=0:0.1:3", {"0", "0.05", "0.1"}},
        ExpansionCase{"LinearNegativeFrom", "tf=-1:1:3", {"-1", "0", "1"}},
        ExpansionCase{"EndsAsTyped", "lb=+10.0:3E2:3", {"+10.0", "155", "3E2"}},
        ExpansionCase{"LinearExplicit", "b=1:2:2:lin", {"1", "2"}},
        ExpansionCase{"LogDecades", "Ef=1e3:1e6:4:log", {"1e3", "10000", "1e+05", "1e6"}},
        ExpansionCase{"LogEndsAsGiven", "ds=1e-07:3e-07:2:log", {"1e-07", "3e-07"}},
        ExpansionCase{"ListAsTyped", "Ef=150000,2.0e5,+230000", {"150000", "2.0e5", "+230000"}},
        ExpansionCase{"ListOfOne", "lb=120", {"120"}},
        ExpansionCase{"Laws", "law=bilinear,softening", {"bilinear", "softening"}},
        ExpansionCase{"AliasName", "τmax=5,6", {"5", "6"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Every symbol the parameter window shows names its own field.
TEST(Study, EachAliasNamesItsField) {
    const struct {
        const char* definition;
        NumericField field;
    } cases[] = {{"τmax=5,6", NumericField::TauMax},   {"τy=5,6", NumericField::TauMax},
                 {"smax=0.1,0.2", NumericField::SMax}, {"sy=0.1,0.2", NumericField::SMax},
                 {"Δl=0.1,0.2", NumericField::Dl},     {"dl=0.1,0.2", NumericField::Dl},
                 {"su=0.3,0.4", NumericField::Su}};
    for (const auto& c : cases) {
        const Sweep sweep = sweepOf(c.definition);
        ASSERT_TRUE(sweep.field) << c.definition;
        EXPECT_EQ(*sweep.field, c.field) << c.definition;
    }
}

// A stop ends the runs under way between two steps, not only the points not yet begun.
TEST(Study, AStopEndsTheRunsUnderWay) {
    const StudyDefinition study = studyOf({"lb=100,120"});
    const StudyPointResult whole = RunStudyPoint(study, 1);
    std::stop_source stop;
    stop.request_stop();
    const StudyPointResult stopped = RunStudyPoint(study, 1, stop.get_token());
    EXPECT_EQ(whole.end, RunEnd::BondFailure);
    EXPECT_EQ(stopped.end, RunEnd::Stopped);
    EXPECT_LT(stopped.steps, whole.steps);
}

TEST(Study, LogRangeIsGeometric) {
    const Sweep sweep = sweepOf("lb=10:300:30:log");
    ASSERT_EQ(sweep.size(), 30);
    const double ratio = std::pow(30.0, 1.0 / 29);
    for (std::int64_t k = 1; k < sweep.size(); ++k) {
        const double step = std::stod(sweep.text(k)) / std::stod(sweep.text(k - 1));
        EXPECT_NEAR(step, ratio, 1e-14) << k;
    }
}

TEST(Study, LongRangeIsNotExpanded) {
    const Sweep sweep = sweepOf("lb=1:1000000:1000000");
    EXPECT_TRUE(sweep.items.empty());
    EXPECT_EQ(sweep.text(499999), "5e+05");
    EXPECT_EQ(sweep.text(500000), "500001");
    EXPECT_EQ(sweep.definition(), "lb=1:1000000:1000000");
}

struct BadSweepCase {
    const char* name;
    const char* definition;
    const char* message; // a part of the error
};

class BadSweep : public testing::TestWithParam<BadSweepCase> {};

TEST_P(BadSweep, IsRefusedWithItsReason) {
    const SweepParse parse = ParseSweep(GetParam().definition);
    EXPECT_NE(parse.error.find(GetParam().message), std::string::npos) << parse.error;
}

INSTANTIATE_TEST_SUITE_P(
    Study, BadSweep,
    testing::Values(
        BadSweepCase{"UnknownName", "Lb=10:20:3", "unknown input \"Lb\"; the inputs that can be"},
        BadSweepCase{"NoEquals", "lb", "is not NAME=VALUES"},
        BadSweepCase{"NoValues", "lb=", "lb: no values given"},
        BadSweepCase{"EmptyRange", "lb=50:50:3", "the range 50 to 50 is empty"},
        BadSweepCase{"ReversedRange", "lb=300:10:30", "is reversed"},
        BadSweepCase{"CountZero", "lb=10:300:0", "the count must be from 2 to 1000000, not 0"},
        BadSweepCase{"CountOne", "lb=10:300:1", "not 1"},
        BadSweepCase{"CountTooLarge", "lb=10:300:1000001", "not 1000001"},
        BadSweepCase{"CountHuge", "lb=10:300:99999999999999999999", "from 2 to 1000000"},
        BadSweepCase{"CountNotWhole", "lb=10:300:2.5", "is not a whole number"},
        BadSweepCase{"FromNotANumber", "lb=ten:300:3", "\"ten\" is not a number"},
        BadSweepCase{"InfiniteNumber", "lb=10:inf:3", "\"inf\" is not a number"},
        BadSweepCase{"TooManyParts", "lb=10:300:3:log:x", "from:to:count or from:to:count:log"},
        BadSweepCase{"BadSpacing", "lb=10:300:3:exp", "from:to:count or from:to:count:log"},
        BadSweepCase{"TwoParts", "lb=10:300", "from:to:count or from:to:count:log"},
        BadSweepCase{"LogFromZero", "lb=0:300:3:log", "greater than 0"},
        BadSweepCase{"ListItemNotANumber", "Ef=150000,,230000", "Ef: \"\" is not a number"},
        BadSweepCase{"LawRange", "law=1:2:2", "give the laws as a list"},
        BadSweepCase{"UnknownLaw", "law=softening,linear", "\"linear\" is not softening"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Study, DefinitionsThatCannotStart) {
    StudyDefinition study;
    EXPECT_EQ(CheckStudy(study), "a study sweeps one or two inputs");
    study.sweeps = {sweepOf("lb=10,20"), sweepOf("smax=0.1,0.2"), sweepOf("su=1,2")};
    EXPECT_EQ(CheckStudy(study), "a study sweeps one or two inputs");
    study.sweeps = {sweepOf("lb=10,20"), sweepOf("lb=10:20:3")};
    EXPECT_EQ(CheckStudy(study), "lb is swept twice");
    study.sweeps = {sweepOf("lb=1:1000:1000"), sweepOf("Ef=1:1001:1001")};
    EXPECT_EQ(CheckStudy(study), "the study has 1001000 points; at most 1000000 can be run");
    study.sweeps = {sweepOf("lb=1:1000:1000"), sweepOf("Ef=1:1000:1000")};
    EXPECT_EQ(CheckStudy(study), "");
}

TEST(Study, PointsAreRowMajor) {
    const StudyDefinition study = studyOf({"lb=10:30:3", "law=bilinear,softening"});
    ASSERT_EQ(PointCount(study), 6);
    const StudyPoint point = MakeStudyPoint(study, 3);
    EXPECT_EQ(point.texts[static_cast<int>(NumericField::Lb)], "20");
    EXPECT_EQ(point.params.lb, 20.0f);
    EXPECT_EQ(point.params.bondModel, BondModel::BilinearSoftening);
    EXPECT_EQ(MakeStudyPoint(study, 4).params.bondModel, BondModel::PerfectlyBilinear);
}

// Each point against a single run of the same field texts, as orvane-batch makes it: with
// its result file written, from a set copied out of the texts.
TEST(Study, FivePointsEqualFiveSingleRunsBitForBit) {
    const StudyDefinition study = studyOf({"lb=20:120:5"});
    const std::vector<StudyPointResult> results = runAll(study, 2);
    ASSERT_EQ(results.size(), 5u);
    const fs::path dir = fs::temp_directory_path() / ("orvane-study-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const char* const lengths[] = {"20", "45", "70", "95", "120"};
    for (int k = 0; k < 5; ++k) {
        FieldTexts texts = StartupFieldTexts();
        texts[static_cast<int>(NumericField::Lb)] = lengths[k];
        AnalysisParameters params = StartupParameters();
        CopyFieldTexts(params, texts);
        const RunSummary single = RunToResultFile(params, (dir / "single.t-s").string());
        ASSERT_TRUE(single.status.ok());
        const StudyPointResult& point = results[std::size_t(k)];
        EXPECT_EQ(point.index, k);
        EXPECT_EQ(point.sweptTexts, std::vector<std::string>{lengths[k]});
        EXPECT_EQ(point.end, single.end);
        EXPECT_EQ(point.steps, single.steps);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(point.Pbumax),
                  std::bit_cast<std::uint64_t>(single.Pbumax))
            << k;
        EXPECT_EQ(std::bit_cast<std::uint64_t>(point.slmax),
                  std::bit_cast<std::uint64_t>(single.slmax))
            << k;
        EXPECT_EQ(point.quantities.Pinf, ComputeBondQuantities(params).Pinf);
    }
    fs::remove_all(dir);
}

TEST(Study, ParallelAndSerialGiveTheSameCsvBytes) {
    const StudyDefinition study = studyOf({"lb=10:80:8", "law=softening,bilinear"});
    const std::string serial = csvOf(study, 1);
    EXPECT_EQ(csvOf(study, 2), serial);
    EXPECT_EQ(csvOf(study, 5), serial);
    const std::vector<std::string> lines = linesOf(serial);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.rfind("# ", 0) != 0; }),
              1 + 16);
}

TEST(Study, FailingPointsAreReportedAndTheRestGoOn) {
    const StudyDefinition study = studyOf({"lb=60,0,1e39,-5,80"});
    const std::vector<StudyPointResult> results = runAll(study, 2);
    ASSERT_EQ(results.size(), 5u);
    for (int k : {0, 4}) {
        EXPECT_FALSE(results[std::size_t(k)].refused()) << results[std::size_t(k)].problem;
        EXPECT_EQ(results[std::size_t(k)].end, RunEnd::BondFailure);
    }
    EXPECT_EQ(results[1].problem, "lb : bond length — must be at least 0.001 mm.");
    EXPECT_NE(results[2].problem.find("lb : bond length — \"1e39\" is out of range"),
              std::string::npos);
    EXPECT_EQ(results[3].problem, "lb : bond length — must be at least 0.001 mm.");

    std::ostringstream out;
    StudyCsvWriter writer(out, study);
    writer.row(results[1]);
    const BondQuantities& q = results[1].quantities;
    EXPECT_EQ(out.str(), "1,0,,,,refused," + ShortestText(q.Gf) + "," + ShortestText(q.Pinf) + "," +
                             ShortestText(q.Le) +
                             ",,lb : bond length — must be at least 0.001 mm.\r\n");
}

TEST(Study, StopLeavesAGaplessPrefixOfWholeRows) {
    const StudyDefinition study = studyOf({"lb=10:300:30"});
    for (const int jobs : {1, 2, 4}) {
        const std::string csv = csvOf(study, jobs, 7);
        const std::vector<std::string> lines = linesOf(csv);
        std::vector<std::string> rows;
        for (const std::string& line : lines) {
            if (line.rfind("# ", 0) != 0) {
                rows.push_back(line);
            }
        }
        ASSERT_EQ(rows.size(), 8u) << jobs; // the header and seven points
        for (std::size_t k = 1; k < rows.size(); ++k) {
            EXPECT_EQ(rows[k].rfind(std::to_string(k - 1) + ",", 0), 0u) << rows[k];
            EXPECT_EQ(std::count(rows[k].begin(), rows[k].end(), ','),
                      std::count(rows[0].begin(), rows[0].end(), ','));
        }
        EXPECT_EQ(lines.back(), "# study,stopped");
        EXPECT_EQ(lines[lines.size() - 2], "# points done,7");
    }
}

TEST(Study, AFailingSinkEndsTheStudy) {
    const StudyDefinition study = studyOf({"lb=10:300:30"});
    std::int64_t calls = 0;
    EXPECT_EQ(RunStudy(study, 2, [&](const StudyPointResult&) { return ++calls < 3; }), 3);
    EXPECT_EQ(calls, 3);
}

TEST(Study, AThrowingSinkEndsTheStudyToo) {
    const StudyDefinition study = studyOf({"lb=10:300:30"});
    EXPECT_THROW(RunStudy(study, 2,
                          [](const StudyPointResult& result) -> bool {
                              if (result.index == 2) {
                                  throw std::runtime_error("disk full");
                              }
                              return true;
                          }),
                 std::runtime_error);
}

#if !defined(__SANITIZE_ADDRESS__) // the address sanitizer needs more address space than this
// A worker thread that cannot be created (the system's limit) ends the study with the
// exception, after the workers already started have been ended; none is left waiting.
TEST(StudyDeathTest, AThreadThatCannotStartEndsTheStudyCleanly) {
    // More points than may be in flight, so that the workers started would wait for the
    // points to be taken.
    const StudyDefinition study = studyOf({"lb=10:300:1000"});
    EXPECT_EXIT(
        {
            alarm(30); // a study left hanging ends the child with SIGALRM
            // Stacks of 256 MiB in 600 MiB of free address space: two threads start, the
            // third cannot.
            pthread_attr_t attributes;
            pthread_attr_init(&attributes);
            pthread_attr_setstacksize(&attributes, std::size_t{256} << 20);
            pthread_setattr_default_np(&attributes);
            long pages = 0;
            std::ifstream("/proc/self/statm") >> pages;
            const rlim_t room = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t{600} << 20);
            rlimit limit{};
            limit.rlim_cur = room;
            limit.rlim_max = room;
            setrlimit(RLIMIT_AS, &limit);
            try {
                RunStudy(study, 8, [](const StudyPointResult&) { return true; });
            } catch (const std::system_error&) {
                std::_Exit(0);
            }
            std::_Exit(1);
        },
        testing::ExitedWithCode(0), "");
}
#endif

TEST(Study, JsonLinesNameEveryColumn) {
    const StudyDefinition study = studyOf({"law=bilinear", "ds=1e-07"});
    std::ostringstream out;
    StudyJsonLinesWriter writer(out, study);
    writer.row(RunStudyPoint(study, 0));
    const std::string line = out.str();
    const std::string program =
        "{\"program\":\"orvane-batch\",\"version\":\"" + std::string(kVersion) + "\",";
    EXPECT_EQ(line.rfind(program + "\"point\":0,\"law\":\"bilinear\",\"ds\":1e-07,\"steps\":", 0),
              0u)
        << line;
    EXPECT_NE(line.find(",\"end\":\"bond-failure\",\"Gf\":"), std::string::npos) << line;
    EXPECT_NE(line.find(",\"PbumaxOverPinf\":"), std::string::npos) << line;
    const std::string end = ",\"problem\":\"\",\"warnings\":[]}\n";
    EXPECT_EQ(line.substr(line.size() - end.size()), end);
}

} // namespace
