#include "core/numtext/NumberText.h"
#include "core/results/RunController.h"
#include "core/study/CapacityStatistics.h"
#include "core/study/ModelFactor.h"
#include "core/study/Sampling.h"
#include "core/study/SamplingWriters.h"
#include "core/study/Shard.h"
#include "core/study/StudyWriters.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

using namespace orvane;

namespace {

SampledInput inputOf(std::string_view definition) {
    const SampledInputParse parse = ParseSampledInput(definition);
    EXPECT_EQ(parse.error, "") << definition;
    return parse.input;
}

// A coarse mesh (120 elements of 1 mm) keeps each run short.
SampledStudy studyOf(std::initializer_list<std::string_view> definitions, std::int64_t count,
                     std::uint64_t seed = 7) {
    SampledStudy study;
    study.base.baseTexts[static_cast<int>(NumericField::Dl)] = "1.0";
    CopyFieldTexts(study.base.base, study.base.baseTexts);
    for (const std::string_view definition : definitions) {
        study.inputs.push_back(inputOf(definition));
    }
    study.count = count;
    study.seed = seed;
    return study;
}

std::string csvOf(const SampledStudy& study, const SampleTable& table, PointRange range, int jobs) {
    std::ostringstream out;
    SampleCsvWriter writer(out, study, table);
    writer.begin();
    const std::int64_t done = RunPoints(
        range, jobs,
        [&](std::int64_t k, std::stop_token stop) { return RunSample(study, table, k, stop); },
        [&](const StudyPointResult& result) {
            writer.row(result);
            return true;
        });
    out << StudyClosingLines(done, range.size());
    return out.str();
}

} // namespace

TEST(NormalDistribution, QuantileAgreesWithPublishedValuesAndItsInverse) {
    const struct {
        double p;
        double x;
    } cases[] = {
        {0.5, 0.0},
        {0.975, 1.959963984540054},
        {0.05, -1.6448536269514722},
        {0.8413447460685429, 1.0},
        {1e-10, -6.361340902404056},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(NormalQuantile(c.p), c.x, 1e-13) << c.p;
    }
    for (double p = 1e-12; p < 1; p = p < 0.01 ? p * 10 : p + 0.01) {
        EXPECT_NEAR(NormalCdf(NormalQuantile(p)) / p, 1.0, 1e-13) << p;
    }
}

TEST(EmpiricalFractile, OrderStatisticsAndBinomialBoundsWorkedByHand) {
    // Bin(100, 0.05): F(0) = 0.0059 ≤ 0.025 < F(1) = 0.037, so l = 1; F(9) = 0.9718 < 0.975 ≤
    // F(10) = 0.9885, so u = 11.
    EXPECT_NEAR(BinomialCdf(100, 0.05, 0), 0.0059205292203339975, 1e-15);
    EXPECT_NEAR(BinomialCdf(100, 0.05, 9), 0.9718117058365799, 1e-13);
    EXPECT_NEAR(BinomialCdf(5, 0.5, 2), 0.5, 1e-15);
    std::vector<double> sorted(100);
    for (std::size_t k = 0; k < sorted.size(); ++k) {
        sorted[k] = double(k + 1) * 10;
    }
    FractileEstimate estimate = EmpiricalFractile(sorted, 0.05, 0.95);
    EXPECT_EQ(estimate.rank, 5);
    EXPECT_EQ(estimate.value, 50);
    EXPECT_EQ(estimate.lowerRank, 1);
    EXPECT_EQ(estimate.lower, 10);
    EXPECT_EQ(estimate.upperRank, 11);
    EXPECT_EQ(estimate.upper, 110);

    // 0.95^71 > 0.025 ≥ 0.95^72: 72 samples are the fewest with a lower bound.
    sorted.resize(71);
    EXPECT_FALSE(EmpiricalFractile(sorted, 0.05, 0.95).lower);
    sorted.push_back(720);
    EXPECT_EQ(EmpiricalFractile(sorted, 0.05, 0.95).lowerRank, 1);
}

TEST(CapacitySummary, MomentsAndDesignValuesWorkedByHand) {
    const CapacitySummary summary = SummarizeCapacities({4, 1, 3, 2}, 1, {1.5, 3.8});
    EXPECT_EQ(summary.n, 4);
    EXPECT_DOUBLE_EQ(summary.mean, 2.5);
    EXPECT_NEAR(summary.cov, 0.5163977794943222, 1e-15);
    EXPECT_EQ(summary.fractile.value, 1); // rank ⌈4·0.05⌉ = 1
    EXPECT_NEAR(*summary.designByPartialFactor, 1 / 1.5, 1e-15);
    // exp(mY − 0.8·3.8·sY) with mY = 0.794513, sY = 0.601168.
    EXPECT_NEAR(*summary.designByReliability, 0.3559247015579254, 1e-14);
    // Too few samples for a lower bound (an upper one, X(2), there is: F(1) = 0.986 ≥ 0.975),
    // one sample left out, a scatter too wide for the lognormal design value.
    EXPECT_EQ(summary.fractile.upperRank, 2);
    EXPECT_EQ(summary.warnings.size(), 3u);
}

TEST(ModelFactor, LognormalParametersWorkedByHand) {
    const ModelFactor factor{1.17, 0.27, {}, {}, {}};
    EXPECT_NEAR(factor.logDeviation(), 0.26526451451440586, 1e-15);
    EXPECT_NEAR(factor.logMean(), 0.12182111747938298, 1e-15);
}

TEST(ModelFactor, ReadsTheValidationFileAndRefusesDamagedOnes) {
    const std::string good = "# Orvane model factor: test/predicted as a lognormal variable\n"
                             "[model_factor]\ndistribution = \"lognormal\"\nmean = 1.1700\n"
                             "cov = 0.2700\ntests = 812\nmodel = \"lu2005\"\n";
    const ModelFactorRead read = ParseModelFactorFile(good, "theta.toml");
    ASSERT_EQ(read.error, "");
    EXPECT_EQ(read.factor.mean, 1.17);
    EXPECT_EQ(read.factor.cov, 0.27);
    EXPECT_EQ(read.factor.tests, 812);
    EXPECT_EQ(read.factor.model, "lu2005");

    const struct {
        std::string text;
        std::string error;
    } bad[] = {
        {"mean = 1", "no [model_factor] table"},
        {"[model_factor]\ndistribution = \"normal\"\nmean = 1\ncov = 0.1\n", "\"lognormal\""},
        {"[model_factor]\ndistribution = \"lognormal\"\nmean = 1\n", "mean and cov"},
        {"[model_factor]\ndistribution = \"lognormal\"\nmean = -1\ncov = 0.1\n", "positive"},
        {"[model_factor]\ndistribution = \"lognormal\"\nmean = 1\ncov = 0.1\nsd = 2\n",
         "line 5: unknown key sd"},
        {"[model_factor\n", "theta.toml\", line 1"},
    };
    for (const auto& c : bad) {
        EXPECT_NE(ParseModelFactorFile(c.text, "theta.toml").error.find(c.error), std::string::npos)
            << c.text << " gave " << ParseModelFactorFile(c.text, "theta.toml").error;
    }
    EXPECT_EQ(ParseModelFactorValues("1.1:0.2").error, "");
    EXPECT_NE(ParseModelFactorValues("1.1").error, "");
    EXPECT_NE(ParseModelFactorValues("1.1:5").error, "");
}

TEST(SampledInput, ParsesDistributionsAndNamesTheFault) {
    const struct {
        std::string_view definition;
        std::string error; // a part of the message; empty: valid
    } cases[] = {
        {"fc=normal:30:4", ""},
        {"Ef=lognormal:230000:0.05", ""},
        {"lb=uniform:100:200", ""},
        {"τmax=normal:6:1", ""},
        {"fc=normal:30", "normal:MEAN:SD"},
        {"fc=gauss:30:4", "normal:MEAN:SD"},
        {"fc=normal:30:4:5", "normal:MEAN:SD"},
        {"fc=normal:thirty:4", "\"thirty\" is not a number"},
        {"fc=normal:30:-4", "positive mean and standard deviation"},
        {"lb=uniform:200:100", "0 ≤ LO < HI"},
        {"lb=uniform:-1:100", "0 ≤ LO < HI"},
        {"Ef=lognormal:230000:3", "from 0 to 2"},
        {"law=normal:1:1", "unknown input"},
        {"fc", "NAME=DISTRIBUTION"},
    };
    for (const auto& c : cases) {
        const std::string error = ParseSampledInput(c.definition).error;
        if (c.error.empty()) {
            EXPECT_EQ(error, "") << c.definition;
        } else {
            EXPECT_NE(error.find(c.error), std::string::npos) << c.definition << ": " << error;
        }
    }
    EXPECT_TRUE(NamesDistribution("fc=lognormal:30:0.1"));
    EXPECT_FALSE(NamesDistribution("lb=10:300:30"));
}

TEST(Distribution, QuantilesWorkedByHand) {
    EXPECT_DOUBLE_EQ(inputOf("lb=uniform:10:20").distribution.quantile(0.25), 12.5);
    // The lognormal's median is mean/√(1 + V²).
    EXPECT_NEAR(inputOf("Ef=lognormal:100:0.2").distribution.quantile(0.5), 98.058067569092, 1e-9);
    // A normal far from zero is hardly truncated; one near zero keeps every value positive
    // and its median moves up to where half of the part above zero lies.
    EXPECT_NEAR(inputOf("fc=normal:30:4").distribution.quantile(0.5), 30, 1e-12);
    const Distribution near = inputOf("fc=normal:1:2").distribution;
    EXPECT_GT(near.quantile(1e-12), 0);
    EXPECT_NEAR(near.quantile(0.5), 1 + 2 * NormalQuantile(NormalCdf(-0.5) + 0.5 * NormalCdf(0.5)),
                1e-12);
}

TEST(DrawSamples, LatinHypercubeFillsEveryStratumOnceAndTheSeedFixesTheList) {
    SampledStudy study = studyOf({"lb=uniform:0:1", "b=uniform:0:1"}, 500);
    study.modelFactor = ModelFactor{1.17, 0.27, {}, {}, {}};
    const SampleTable table = DrawSamples(study);
    for (std::size_t j = 0; j < 2; ++j) {
        std::set<std::int64_t> strata;
        for (std::int64_t k = 0; k < study.count; ++k) {
            strata.insert(std::int64_t(table.value(k, j) * double(study.count)));
        }
        EXPECT_EQ(std::int64_t(strata.size()), study.count) << j;
    }
    // The inputs are paired at random, not in step.
    EXPECT_NE(table.value(0, 0), table.value(0, 1));
    double thetaSum = 0;
    for (const double theta : table.theta) {
        thetaSum += theta;
    }
    EXPECT_NEAR(thetaSum / double(study.count), 1.17, 0.005);

    EXPECT_EQ(DrawSamples(study).values, table.values);
    study.seed = 8;
    EXPECT_NE(DrawSamples(study).values, table.values);
    study.method = SamplingMethod::MonteCarlo;
    EXPECT_NE(DrawSamples(study).values, table.values);
}

TEST(CheckSampledStudy, RefusesWhatCannotBeRun) {
    EXPECT_EQ(CheckSampledStudy(studyOf({"lb=uniform:100:200"}, 10)), "");
    EXPECT_NE(CheckSampledStudy(studyOf({"lb=uniform:100:200"}, 1)), "");
    EXPECT_NE(CheckSampledStudy(studyOf({"lb=uniform:100:200", "lb=normal:100:2"}, 10)), "");
    EXPECT_NE(CheckSampledStudy(studyOf({"fc=normal:30:4"}, 10)).find("--law-from"),
              std::string::npos);
    SampledStudy both = studyOf({"fc=normal:30:4", "tauMax=normal:6:1"}, 10);
    both.lawModel = BondSlipModel::Lu2005Bilinear;
    EXPECT_NE(CheckSampledStudy(both).find("cannot be sampled as well"), std::string::npos);
}

TEST(RunSample, EqualsASingleRunOfTheBaseWithTheSampledTexts) {
    // The thickness enters the march as a number, not only through a count of elements.
    SampledStudy study = studyOf({"lb=uniform:60:200", "tf=normal:0.167:0.02"}, 4);
    const SampleTable table = DrawSamples(study);
    for (std::int64_t k = 0; k < study.count; ++k) {
        AnalysisParameters single = StartupParameters();
        FieldTexts texts = study.base.baseTexts;
        texts[static_cast<int>(NumericField::Lb)] = ShortestText(table.value(k, 0));
        texts[static_cast<int>(NumericField::Tf)] = ShortestText(table.value(k, 1));
        CopyFieldTexts(single, texts);
        RunController controller(single);
        while (controller.step() == RunEnd::None) {
        }
        const StudyPointResult sample = RunSample(study, table, k);
        EXPECT_EQ(sample.end, RunEnd::BondFailure);
        EXPECT_EQ(sample.steps, controller.run().stepNumber()) << k;
        EXPECT_EQ(std::bit_cast<std::uint64_t>(sample.Pbumax),
                  std::bit_cast<std::uint64_t>(controller.run().Pbumax()))
            << k;
    }
}

TEST(RunSample, ASampledConcreteStrengthDerivesTheSamplesLaw) {
    SampledStudy study = studyOf({"fc=normal:30:4"}, 3);
    study.lawModel = BondSlipModel::Lu2005Bilinear;
    const SampleTable table = DrawSamples(study);
    for (std::int64_t k = 0; k < study.count; ++k) {
        const SamplePoint sample = MakeSamplePoint(study, table, k);
        ASSERT_EQ(sample.problem, "");
        ConcreteStrength concrete;
        ASSERT_FALSE(ReadConcrete({SampleText(table, k, 0), "", {}}, concrete));
        const DerivedBondLaw law =
            DeriveBondLaw(BondSlipModel::Lu2005Bilinear, concrete, study.base.base);
        EXPECT_EQ(sample.point.texts[static_cast<int>(NumericField::TauMax)],
                  LawFieldText(law.tauMax));
        EXPECT_EQ(sample.point.params.su, FieldValue(LawFieldText(law.su)));
    }
}

TEST(SampledStudy, RowsAreTheSameOnAnyNumberOfThreadsAndShardsMergeToThem) {
    SampledStudy study = studyOf({"lb=uniform:60:200", "tf=normal:0.167:0.02"}, 12);
    study.modelFactor = ModelFactor{1.1, 0.2, {}, {}, {}};
    const SampleTable table = DrawSamples(study);
    const std::string whole = csvOf(study, table, {0, study.count}, 1);
    EXPECT_EQ(csvOf(study, table, {0, study.count}, 3), whole);
    EXPECT_NE(whole.find("\r\n# seed,7\r\n"), std::string::npos);
    EXPECT_NE(whole.find("\r\n# study,complete\r\n"), std::string::npos);

    std::vector<std::string> shards;
    std::vector<std::string> names;
    for (int k = 3; k >= 1; --k) { // any order
        const Shard shard{k, 3};
        std::string text = csvOf(study, table, ShardRange(study.count, shard), 2);
        text += ShardCsvLine(shard);
        shards.push_back(text);
        names.push_back("shard" + std::to_string(k) + ".csv");
    }
    const MergedShards merged = MergeShards(shards, names);
    ASSERT_EQ(merged.error, "");
    EXPECT_EQ(merged.text, whole);

    // Every fault is named: a shard missing, given twice, of another study, cut short.
    const struct {
        std::vector<std::size_t> files;
        std::string error;
    } faults[] = {
        {{0, 1}, "shards missing of 3: 1"},
        {{0, 1, 1}, "given twice"},
    };
    for (const auto& fault : faults) {
        std::vector<std::string> texts;
        std::vector<std::string> fileNames;
        for (const std::size_t f : fault.files) {
            texts.push_back(shards[f]);
            fileNames.push_back(names[f]);
        }
        const std::string error = MergeShards(texts, fileNames).error;
        EXPECT_NE(error.find(fault.error), std::string::npos) << error;
    }
    std::vector<std::string> other = shards;
    other[1].replace(other[1].find("# seed,7"), 8, "# seed,9");
    EXPECT_NE(MergeShards(other, names).error.find("another study"), std::string::npos);
    other = shards;
    other[2].resize(other[2].size() - 3);
    EXPECT_NE(MergeShards(other, names).error.find("cut short"), std::string::npos);
}

TEST(Shard, RangesPartitionTheListAndTheTextIsChecked) {
    for (const std::int64_t total : {1, 7, 100, 1'000'000}) {
        for (const int count : {1, 3, 8, 100}) {
            std::int64_t next = 0;
            for (int k = 1; k <= count; ++k) {
                const PointRange range = ShardRange(total, {k, count});
                EXPECT_EQ(range.first, next);
                next = range.end;
            }
            EXPECT_EQ(next, total);
        }
    }
    EXPECT_EQ(ParseShard("2/5").shard, (Shard{2, 5}));
    for (const std::string_view bad : {"0/5", "6/5", "5", "1/0", "a/b", "1/5x", "-1/5"}) {
        EXPECT_NE(ParseShard(bad).error, "") << bad;
    }
}

TEST(Shard, JsonLinesMergeInShardOrder) {
    // Of three samples, shard 1 of 2 holds ⌊1.5⌋ = 1, shard 2 the other two.
    const std::vector<std::string> shards = {
        "{\"sample\":1}\n{\"sample\":2}\n" + ShardJsonLine({2, 2}, StudyFingerprint("a"), 2, true),
        "{\"sample\":0}\n" + ShardJsonLine({1, 2}, StudyFingerprint("a"), 1, true),
    };
    const MergedShards merged = MergeShards(shards, {"b", "a"});
    ASSERT_EQ(merged.error, "");
    EXPECT_EQ(merged.text, "{\"sample\":0}\n{\"sample\":1}\n{\"sample\":2}\n");
    const std::vector<std::string> stopped = {
        shards[1], "{\"sample\":1}\n{\"sample\":2}\n" +
                       ShardJsonLine({2, 2}, StudyFingerprint("a"), 2, false)};
    EXPECT_NE(MergeShards(stopped, {"a", "b"}).error.find("stopped"), std::string::npos);
    const std::vector<std::string> other = {
        shards[1],
        "{\"sample\":1}\n{\"sample\":2}\n" + ShardJsonLine({2, 2}, StudyFingerprint("b"), 2, true)};
    EXPECT_NE(MergeShards(other, {"a", "b"}).error.find("another study"), std::string::npos);
    EXPECT_EQ(StudyFingerprint(""), "cbf29ce484222325"); // FNV-1a's offset basis
}
