// The sampled study, shards and their merge in the batch program, run as a user runs them.

#include "support/BatchCommand.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// orvane-batch in a temporary working directory that holds a copy of the start-up data set.
class SamplingCommand : public BatchCommand {
protected:
    void SetUp() override {
        BatchCommand::SetUp();
        fs::copy_file(fs::path(ORVANE_EXAMPLES_DIR) / "startup.orv", m_dir / "startup.orv");
    }
    std::string file(const std::string& name) const { return readFile(m_dir / name); }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(m_dir / name, std::ios::binary) << text;
    }
};

// The text after "key": up to the next comma or brace.
std::string member(const std::string& json, const std::string& key) {
    const std::size_t at = json.find("\"" + key + "\":");
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t from = at + key.size() + 3;
    return json.substr(from, json.find_first_of(",}", from) - from);
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// --model-f: a unique prefix, as getopt takes it (--mod stays --model).
const std::string kSampled = "study --sample 12 --vary lb=uniform:40:150 --vary "
                             "tf=normal:0.167:0.02 --model-f 1.1:0.2 --seed 3 startup.orv";

} // namespace

TEST_F(SamplingCommand, EverySampleIsTheSingleRunOfItsTexts) {
    const BatchRun sampled = run("study --sample 3 --vary fc=normal:30:4 --vary "
                                 "lb=uniform:60:150 --law-from lu2005 --jsonl s.jsonl startup.orv");
    ASSERT_EQ(sampled.exitCode, 5) << sampled.err; // three samples cannot bound the fractile
    const std::string orv = file("startup.orv");
    for (const std::string& line : linesOf(file("s.jsonl"))) {
        const std::string lb = member(line, "lb");
        std::string single = orv;
        single.replace(single.find("lb_mm = \"120.0\""), 15, "lb_mm = \"" + lb + "\"");
        write("single.orv", single);
        const BatchRun r =
            run("--law-from lu2005 --fc " + member(line, "fc") + " --json -o single.ts single.orv");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(member(r.out, "Pbumax"), member(line, "Pbumax")) << line;
        EXPECT_EQ(member(r.out, "steps"), member(line, "steps")) << line;
    }
}

TEST_F(SamplingCommand, SamplesAreTheSameOnAnyNumberOfThreadsAndShardsMergeToThem) {
    ASSERT_EQ(run(kSampled + " --jobs 1 --csv whole.csv --jsonl whole.jsonl").exitCode, 5);
    ASSERT_EQ(run(kSampled + " --jobs 3 --csv three.csv").exitCode, 5);
    EXPECT_EQ(file("three.csv"), file("whole.csv"));
    for (const std::string k : {"1", "2", "3"}) {
        const BatchRun r = run(kSampled + " --jobs 2 --shard " + k + "/3 --csv s" + k +
                               ".csv --jsonl s" + k + ".jsonl");
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    ASSERT_EQ(run("study merge s3.csv s1.csv s2.csv -o merged.csv").exitCode, 0);
    EXPECT_EQ(file("merged.csv"), file("whole.csv"));
    // The merge summarizes the samples as the study on one machine does.
    ASSERT_EQ(run(kSampled + " --partial-factor 1.5 --csv - --summary whole.json").exitCode, 5);
    const BatchRun summarized =
        run("study merge s1.csv s2.csv s3.csv -o again.csv --partial-factor 1.5 --summary -");
    ASSERT_EQ(summarized.exitCode, 5) << summarized.err;
    EXPECT_EQ(summarized.out, file("whole.json"));
    EXPECT_NE(summarized.err.find("5% fractile"), std::string::npos);
    ASSERT_EQ(run("study merge s2.jsonl s3.jsonl s1.jsonl -o merged.jsonl").exitCode, 0);
    EXPECT_EQ(file("merged.jsonl"), file("whole.jsonl"));

    // A grid study splits and merges the same way.
    const std::string grid = "study --vary lb=20:200:7 --vary law=softening,bilinear startup.orv";
    ASSERT_EQ(run(grid + " --csv grid.csv").exitCode, 0);
    for (const std::string k : {"1", "2", "3", "4"}) {
        ASSERT_EQ(run(grid + " --shard " + k + "/4 --csv g" + k + ".csv").exitCode, 0);
    }
    ASSERT_EQ(run("study merge g1.csv g2.csv g3.csv g4.csv -o grid-merged.csv").exitCode, 0);
    EXPECT_EQ(file("grid-merged.csv"), file("grid.csv"));

    // What cannot make one whole study is refused, and nothing is written.
    const struct {
        std::string arguments;
        std::string message;
    } refused[] = {
        {"study merge s1.csv s2.csv -o out.csv", "shards missing of 3: 3"},
        {"study merge s1.csv s2.csv s2.csv -o out.csv", "given twice"},
        {"study merge s1.csv s2.csv s3.jsonl -o out.csv", "all be CSV or all JSON lines"},
        {"study merge s1.csv g2.csv g3.csv -o out.csv", "of 4 parts"},
        {"study merge whole.csv -o out.csv", "not a shard's CSV"},
        {"study merge s1.csv s2.csv s3.csv -o s1.csv", "never replaces an input"},
        {"study merge s1.csv s2.csv s3.csv", "needs the shard files and -o OUT"},
        {"study merge s1.jsonl s2.jsonl s3.jsonl -o out.csv --summary -",
         "need the CSV of a sampled study"},
    };
    for (const auto& c : refused) {
        const BatchRun r = run(c.arguments);
        EXPECT_EQ(r.exitCode, 2) << c.arguments;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.arguments << ": " << r.err;
        EXPECT_FALSE(fs::exists(m_dir / "out.csv")) << c.arguments;
    }
}

TEST_F(SamplingCommand, SummaryIsTheStatisticsOfTheCapacityColumn) {
    write("theta.toml", "[model_factor]\ndistribution = \"lognormal\"\nmean = 1.17\n"
                        "cov = 0.27\ntests = 812\nmodel = \"lu2005\"\n");
    const BatchRun r = run("study --sample 100 --vary Ef=lognormal:230000:0.1 --vary "
                           "lb=uniform:30:120 --model-factor theta.toml --partial-factor 1.5 "
                           "--sampling mc --csv s.csv --summary s.json startup.orv");
    ASSERT_TRUE(r.exitCode == 0 || r.exitCode == 5) << r.err;
    const std::string csv = file("s.csv");
    EXPECT_NE(csv.find("# modelFactor,lognormal:1.17:0.27,theta.toml\r\n"), std::string::npos);
    EXPECT_NE(csv.find("# sampling,mc\r\n"), std::string::npos);
    // The capacities from the table, by hand: theta·Pbumax, sorted, the 5th of 100.
    std::vector<double> capacities;
    for (const std::string& line : linesOf(csv)) {
        if (line.empty() || line[0] == '#' || line.starts_with("sample")) {
            continue;
        }
        std::vector<std::string> cells;
        std::istringstream in(line);
        for (std::string cell; std::getline(in, cell, ',');) {
            cells.push_back(cell);
        }
        const double theta = std::stod(cells[3]);
        const double Pbumax = std::stod(cells[5]);
        EXPECT_DOUBLE_EQ(std::stod(cells[6]), theta * Pbumax) << line;
        capacities.push_back(std::stod(cells[6]));
    }
    ASSERT_EQ(capacities.size(), 100u);
    std::sort(capacities.begin(), capacities.end());
    double sum = 0;
    for (const double capacity : capacities) {
        sum += capacity;
    }
    const std::string whole = file("s.json");
    EXPECT_EQ(member(whole, "program"), "\"orvane-batch\"");
    EXPECT_EQ(member(whole, "cov"), "0.27"); // the model factor's, first
    const std::string json = whole.substr(whole.find("\"n\":"));
    EXPECT_NEAR(std::stod(member(json, "mean")), sum / 100, 1e-9 * sum);
    EXPECT_EQ(std::stod(member(json, "value")), capacities[4]);
    EXPECT_EQ(std::stod(member(json, "lower")), capacities[0]);  // rank 1
    EXPECT_EQ(std::stod(member(json, "upper")), capacities[10]); // rank 11
    EXPECT_EQ(std::stod(member(json, "designByPartialFactor")), capacities[4] / 1.5);
    EXPECT_NE(json.find("\"warnings\":["), std::string::npos);
    EXPECT_EQ(r.exitCode == 5, json.find("\"warnings\":[]") == std::string::npos);
    EXPECT_NE(r.err.find("5% fractile"), std::string::npos) << r.err;
}

TEST_F(SamplingCommand, RefusesWhatCannotBeSampledAndSaysWhy) {
    write("bad.toml", "[model_factor]\ndistribution = \"normal\"\nmean = 1\ncov = 0.1\n");
    write("good.toml", "[model_factor]\ndistribution = \"lognormal\"\nmean = 1\ncov = 0.1\n");
    const struct {
        std::string arguments;
        std::string message;
    } cases[] = {
        {"study --sample 10", "at least one --vary NAME=DISTRIBUTION"},
        {"study --vary fc=normal:30:4", "needs --sample N"},
        {"study --sample 10 --vary lb=10:100:3", "is a sweep"},
        {"study --sample 10 --vary fc=normal:30:4", "needs --law-from MODEL"},
        {"study --sample 10 --vary fc=normal:30:4 --law-from lu2005 --fc 30", "--fc cannot go"},
        {"study --sample 1 --vary lb=uniform:1:2", "--sample takes a whole number from 2"},
        {"study --sample 10 --vary lb=uniform:2:1", "0 ≤ LO < HI"},
        {"study --sample 10 --vary lb=uniform:1:2 --sampling sobol", "lhs or mc"},
        {"study --sample 10 --vary lb=uniform:1:2 --seed -1", "--seed takes a whole number"},
        {"study --sample 10 --vary lb=uniform:1:2 --shard 3/2", "K/N with 1 ≤ K ≤ N"},
        {"study --sample 10 --vary lb=uniform:1:2 --shard 1/2 --summary s.json",
         "from the merged file"},
        {"study --sample 10 --vary lb=uniform:1:2 --partial-factor 0", "positive number"},
        {"study --sample 10 --vary lb=uniform:1:2 --model-factor none.toml", "not there"},
        {"study --sample 10 --vary lb=uniform:1:2 --model-factor bad.toml", "\"lognormal\""},
        {"study --sample 10 --vary lb=uniform:1:2 --model-factor 1:9", "from 0 to 2"},
        {"study --sample 10 --vary lb=uniform:1:2 --model-factor good.toml --csv good.toml",
         "never replaces an input"},
        {"study --vary lb=1,2 --partial-factor 1.5", "belong to a sampled study"},
    };
    for (const auto& c : cases) {
        const BatchRun r = run(c.arguments);
        EXPECT_EQ(r.exitCode, 2) << c.arguments << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.arguments << ": " << r.err;
        EXPECT_EQ(r.out, "") << c.arguments;
    }
    EXPECT_EQ(file("good.toml").substr(0, 14), "[model_factor]");
}

#ifdef ORVANE_BATCH_FIGURES
TEST_F(SamplingCommand, FigureShowsTheHistogramAndTheDistribution) {
    const BatchRun r = run(kSampled + " --partial-factor 1.4 --csv s.csv --figure capacity.svg");
    ASSERT_EQ(r.exitCode, 5) << r.err;
    const std::string svg = file("capacity.svg");
    EXPECT_NE(svg.find("histogram of 12 samples"), std::string::npos);
    EXPECT_NE(svg.find("empirical distribution"), std::string::npos);
    // A shard holds part of the points: its figure would mislead.
    const BatchRun shard = run("study --vary lb=1,2 --shard 1/2 --figure f.svg");
    EXPECT_EQ(shard.exitCode, 2);
    EXPECT_NE(shard.err.find("a shard cannot"), std::string::npos) << shard.err;
}
#endif
