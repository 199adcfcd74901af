#include "core/validation/Validation.h"

#include "core/engine/BondQuantities.h"
#include "core/engine/RunChecks.h"
#include "core/numtext/NumberText.h"
#include "core/results/CsvRunWriter.h"
#include "core/results/RunController.h"
#include "core/study/OrderedTasks.h"

#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <new>

namespace orvane {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Band {
    double upper; // the band holds values below it
    std::string_view label;
};
// Ef·tf in kN/mm: sheets (about 20–60), thin plates, thick plates.
constexpr std::array<Band, 4> kStiffnessBands = {{
    {50, "<50"},
    {100, "50-100"},
    {200, "100-200"},
    {std::numeric_limits<double>::infinity(), ">=200"},
}};
// bf/bc: the width factor of the models rises steeply as the laminate covers the member.
constexpr std::array<Band, 4> kWidthBands = {{
    {0.25, "<0.25"},
    {0.5, "0.25-0.5"},
    {0.75, "0.5-0.75"},
    {std::numeric_limits<double>::infinity(), ">=0.75"},
}};

template <std::size_t N>
std::string_view bandOf(const std::array<Band, N>& bands, double value) {
    for (const Band& band : bands) {
        if (value < band.upper) {
            return band.label;
        }
    }
    return bands.back().label;
}

ConcreteStrength concreteOf(const TestRow& row) {
    ConcreteStrength concrete;
    ConcreteInput input;
    input.fcText = ShortestText(row.value(TestInput::Fc));
    if (const std::optional<std::string> problem = ReadConcrete(input, concrete)) {
        concrete.fc = kNaN;
    }
    return concrete;
}

struct MarchResult {
    std::string problem;
    RunEnd end = RunEnd::None;
    double Pbumax = 0;
};

MarchResult march(TestDataSet& data, std::stop_token stop) {
    MarchResult result;
    const std::vector<std::string> problems = CheckRun(data.params, data.texts);
    for (const std::string& problem : problems) {
        result.problem += (result.problem.empty() ? "" : "; ") + problem;
    }
    if (!result.problem.empty()) {
        return result;
    }
    try {
        RunController controller(data.params);
        while (!stop.stop_requested() && controller.step() == RunEnd::None) {
        }
        controller.stop();
        result.end = controller.end();
        result.Pbumax = controller.run().Pbumax();
    } catch (const std::bad_alloc&) {
        result.problem = "not enough memory for the elements";
        return result;
    }
    if (result.end == RunEnd::Stopped) {
        result.problem = "stopped";
    } else if (result.end != RunEnd::BondFailure) {
        result.problem = "the run ended: " + std::string(RunEndText(result.end));
    }
    return result;
}

} // namespace

double StartingElementLength(double lb, double Le) {
    const double shorter = std::isfinite(Le) ? std::min(lb, Le) : lb;
    return std::exp2(std::floor(std::log2(shorter / 16)));
}

TestDataSet MakeTestDataSet(const ValidationSetup& setup, const TestRow& row, double dl) {
    TestDataSet data{setup.base, setup.baseTexts, {}};
    const auto set = [&](NumericField field, double value) {
        data.texts[static_cast<int>(field)] = ShortestText(value);
    };
    set(NumericField::Lb, row.value(TestInput::L));
    set(NumericField::B, row.value(TestInput::Bf));
    set(NumericField::Tf, row.value(TestInput::Tf));
    set(NumericField::Ef, row.value(TestInput::Ef));
    set(NumericField::Bc, row.value(TestInput::Bc));
    set(NumericField::Dl, dl);
    data.params.bondModel = BondModel::BilinearSoftening;
    CopyFieldTexts(data.params, data.texts);

    const ConcreteStrength concrete = concreteOf(row);
    const DerivedBondLaw law = DeriveBondLaw(setup.law, concrete, data.params);
    if (!law.ok) {
        data.problem = std::string(ModelInfo(setup.law).name) + ": " + law.problem;
        return data;
    }
    // As --law-from puts the law into the fields: four significant digits.
    data.texts[static_cast<int>(NumericField::TauMax)] = LawFieldText(law.tauMax);
    data.texts[static_cast<int>(NumericField::SMax)] = LawFieldText(law.sMax);
    data.texts[static_cast<int>(NumericField::Su)] = LawFieldText(law.su);
    CopyFieldTexts(data.params, data.texts);
    return data;
}

const std::vector<std::string>& ValidationModelNames() {
    // The codes' rows come in a fixed order with fixed names, whatever the data set.
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list{"orvane"};
        const ConcreteStrength concrete{30, TensileStrengthFromFc(30), true};
        for (const CodeCheck& check : CheckDesignCodes(StartupParameters(), concrete)) {
            list.push_back(check.name);
        }
        return list;
    }();
    return names;
}

TestResult RunValidationTest(const ValidationSetup& setup, const TestRow& row,
                             std::stop_token stop) {
    TestResult result;
    result.row = row;
    result.codes.assign(ValidationModelNames().size() - 1, kNaN);
    if (!row.problem.empty()) {
        result.problem = row.problem;
        return result;
    }
    TestDataSet data = MakeTestDataSet(setup, row, 1);
    if (!data.problem.empty()) {
        result.problem = data.problem;
        return result;
    }
    const std::vector<CodeCheck> checks =
        CheckDesignCodes(data.params, concreteOf(row), setup.factors);
    for (std::size_t c = 0; c < checks.size() && c < result.codes.size(); ++c) {
        if (checks[c].inScope) {
            result.codes[c] = checks[c].P;
        }
    }

    const BondQuantities quantities = ComputeBondQuantities(data.params);
    double dl = StartingElementLength(row.value(TestInput::L), quantities.Le);
    double previous = kNaN;
    for (int halving = 0; halving <= kMaxHalvings; ++halving, dl /= 2) {
        TestDataSet mesh = MakeTestDataSet(setup, row, dl);
        const MarchResult run = march(mesh, stop);
        ++result.runs;
        if (!run.problem.empty()) {
            result.problem = run.problem;
            return result;
        }
        result.orvane = run.Pbumax;
        result.dl = dl;
        result.end = run.end;
        if (std::abs(run.Pbumax - previous) < kMeshTolerance * run.Pbumax) {
            return result;
        }
        previous = run.Pbumax;
    }
    result.problem = "the load still changed by more than " + ShortestText(kMeshTolerance * 100) +
                     " % at dl " + ShortestText(result.dl) + " mm";
    return result;
}

std::span<const TestRow> ShardOf(std::span<const TestRow> rows, int k, int n) {
    const std::size_t first = rows.size() * std::size_t(k - 1) / std::size_t(n);
    const std::size_t last = rows.size() * std::size_t(k) / std::size_t(n);
    return rows.subspan(first, last - first);
}

std::int64_t RunValidation(const ValidationSetup& setup, std::span<const TestRow> rows, int jobs,
                           const std::function<bool(const TestResult&)>& sink,
                           std::stop_token stop) {
    return RunInOrder<TestResult>(
        std::int64_t(rows.size()), jobs,
        [&](std::int64_t k, std::stop_token token) {
            return RunValidationTest(setup, rows[std::size_t(k)], token);
        },
        sink, std::move(stop));
}

ModelStatistics ComputeStatistics(std::string model, std::span<const double> measured,
                                  std::span<const double> predicted) {
    ModelStatistics statistics;
    statistics.model = std::move(model);
    const std::size_t n = measured.size();
    statistics.n = std::int64_t(n);
    double sumTheta = 0;
    double sumMeasured = 0;
    double sumAbsolute = 0;
    double squaredError = 0;
    std::int64_t below = 0;
    for (std::size_t i = 0; i < n; ++i) {
        sumTheta += measured[i] / predicted[i];
        sumMeasured += measured[i];
        sumAbsolute += std::abs(measured[i] - predicted[i]) / measured[i];
        squaredError += (measured[i] - predicted[i]) * (measured[i] - predicted[i]);
        below += measured[i] < predicted[i] ? 1 : 0;
    }
    const double count = double(n);
    statistics.mean = n > 0 ? sumTheta / count : kNaN;
    statistics.mape = n > 0 ? sumAbsolute / count : kNaN;
    statistics.below = n > 0 ? double(below) / count : kNaN;
    statistics.cov = kNaN;
    statistics.r2 = kNaN;
    if (n < 2) {
        return statistics;
    }
    const double meanMeasured = sumMeasured / count;
    double thetaSquares = 0;
    double measuredSquares = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double theta = measured[i] / predicted[i] - statistics.mean;
        thetaSquares += theta * theta;
        measuredSquares += (measured[i] - meanMeasured) * (measured[i] - meanMeasured);
    }
    statistics.cov = std::sqrt(thetaSquares / (count - 1)) / statistics.mean;
    if (measuredSquares > 0) {
        statistics.r2 = 1 - squaredError / measuredSquares;
    }
    return statistics;
}

ValidationSummary SummarizeValidation(std::span<const TestResult> results) {
    ValidationSummary summary;
    summary.tests = std::int64_t(results.size());
    // Group keys in the order they are listed: all, the sources by name, then the bands.
    std::vector<std::pair<std::string, std::string>> keys{{"all", ""}};
    std::map<std::string, bool> sources;
    for (const TestResult& result : results) {
        summary.refused += result.refused() ? 1 : 0;
        if (!result.refused() && !result.row.source.empty()) {
            sources[result.row.source] = true;
        }
    }
    for (const auto& [source, present] : sources) {
        keys.emplace_back("source", source);
    }
    for (const Band& band : kStiffnessBands) {
        keys.emplace_back("ef-tf", band.label);
    }
    for (const Band& band : kWidthBands) {
        keys.emplace_back("bf-bc", band.label);
    }
    const auto inGroup = [](const TestRow& row, const std::pair<std::string, std::string>& key) {
        if (key.first == "source") {
            return row.source == key.second;
        }
        if (key.first == "ef-tf") {
            return bandOf(kStiffnessBands,
                          row.value(TestInput::Ef) * row.value(TestInput::Tf) / 1000) == key.second;
        }
        if (key.first == "bf-bc") {
            return bandOf(kWidthBands, row.value(TestInput::Bf) / row.value(TestInput::Bc)) ==
                   key.second;
        }
        return true;
    };
    const std::vector<std::string>& names = ValidationModelNames();
    for (const auto& key : keys) {
        ValidationGroup group{key.first, key.second, 0, {}};
        for (std::size_t m = 0; m < names.size(); ++m) {
            std::vector<double> measured;
            std::vector<double> predicted;
            for (const TestResult& result : results) {
                if (result.refused() || !inGroup(result.row, key)) {
                    continue;
                }
                group.tests += m == 0 ? 1 : 0;
                const double P = m == 0 ? result.orvane : result.codes[m - 1];
                if (std::isfinite(P) && P > 0) {
                    measured.push_back(result.row.value(TestInput::Pu));
                    predicted.push_back(P);
                }
            }
            group.models.push_back(ComputeStatistics(names[m], measured, predicted));
        }
        // A band without tests says nothing; a source always has some.
        if (group.tests > 0 || key.first == "all") {
            summary.groups.push_back(std::move(group));
        }
    }
    return summary;
}

} // namespace orvane
