#include "core/validation/ValidationWriters.h"

#include "core/Version.h"
#include "core/numtext/NumberText.h"
#include "core/results/CsvRunWriter.h"
#include "core/results/JsonText.h"
#include "core/study/ModelFactor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace orvane {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
// Fewer tests than this give a CoV too uncertain to design with.
constexpr std::int64_t kFewTests = 30;

std::string percent(double fraction) {
    if (!std::isfinite(fraction)) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", fraction * 100);
    return text;
}

std::string fixed(double value, int decimals) {
    if (!std::isfinite(value)) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string padded(std::string text, std::size_t width) {
    text.resize(std::max(width, text.size() + 1), ' ');
    return text;
}

std::string groupTitle(const ValidationGroup& group) {
    if (group.kind == "all") {
        return "all tests";
    }
    if (group.kind == "source") {
        return "source " + group.value;
    }
    if (group.kind == "ef-tf") {
        return "Ef*tf " + group.value + " kN/mm";
    }
    return "bf/bc " + group.value;
}

std::string modelsJson(const std::vector<ModelStatistics>& models) {
    std::string json = "[";
    for (const ModelStatistics& m : models) {
        json += std::string(json.size() > 1 ? "," : "") + "{\"model\":" + JsonString(m.model) +
                ",\"n\":" + std::to_string(m.n) + ",\"mean\":" + JsonNumber(m.mean) +
                ",\"cov\":" + JsonNumber(m.cov) + ",\"r2\":" + JsonNumber(m.r2) +
                ",\"mape\":" + JsonNumber(m.mape) + ",\"below\":" + JsonNumber(m.below) + "}";
    }
    return json + "]";
}

// A logarithmic axis drawn on a linear one: positions are log10 of kN, ticks at 1, 2 and 5
// times the powers of ten, labelled with the loads themselves; the ends are the ticks next
// below and above the data.
FigureAxis logAxis(std::string title, double low, double high) {
    if (!(low > 0) || !(high >= low)) {
        low = 1;
        high = 100;
    }
    std::vector<double> values;
    for (double decade = std::floor(std::log10(low)); decade <= std::ceil(std::log10(high));
         ++decade) {
        for (const double mantissa : {1.0, 2.0, 5.0}) {
            values.push_back(mantissa * std::pow(10.0, decade));
        }
    }
    const auto first = std::upper_bound(values.begin(), values.end(), low) - 1;
    const auto last = std::lower_bound(values.begin(), values.end(), high);
    FigureAxis axis;
    axis.title = std::move(title);
    axis.step = 1;
    for (auto value = first; value <= last && value != values.end(); ++value) {
        axis.ticks.push_back(std::log10(*value));
        axis.tickTexts.push_back(ShortestText(*value));
    }
    axis.min = axis.ticks.front();
    axis.max = axis.ticks.size() > 1 ? axis.ticks.back() : axis.min + 1;
    return axis;
}

} // namespace

std::string ValidationCsv(std::span<const TestResult> results, std::string_view law) {
    std::string text;
    const auto metadata = [&](std::string_view name, std::string_view value) {
        text += "# " + CsvField(name) + "," + CsvField(value) + std::string(kLineEnd);
    };
    std::int64_t refused = 0;
    for (const TestResult& result : results) {
        refused += result.refused() ? 1 : 0;
    }
    metadata("program", "Orvane " + std::string(kVersion));
    metadata("lawFrom", law);
    metadata("tests", std::to_string(results.size()));
    metadata("refused", std::to_string(refused));
    text += "line,id,source,bc,fc,Ef,tf,bf,L,Pu,orvane,dl,runs";
    const std::vector<std::string>& names = ValidationModelNames();
    for (std::size_t m = 1; m < names.size(); ++m) {
        text += "," + CsvField(names[m]);
    }
    text += ",problem" + std::string(kLineEnd);
    for (const TestResult& result : results) {
        const TestRow& row = result.row;
        text += std::to_string(row.line) + "," + CsvField(row.id) + "," + CsvField(row.source);
        for (const double value : row.values) {
            text += "," + (row.problem.empty() ? ShortestText(value) : std::string());
        }
        const bool run = result.runs > 0 && !result.refused();
        text += "," + (run ? ShortestText(result.orvane) : std::string()) + "," +
                (run ? ShortestText(result.dl) : std::string()) + "," + std::to_string(result.runs);
        for (const double P : result.codes) {
            text += "," + (std::isfinite(P) ? ShortestText(P) : std::string());
        }
        text += "," + CsvField(result.problem) + std::string(kLineEnd);
    }
    return text;
}

std::string ValidationText(const ValidationSummary& summary, std::string_view law) {
    std::string text = "law from    " + std::string(law) + "\ntests       " +
                       std::to_string(summary.tests) + ", " + std::to_string(summary.refused) +
                       " left out (see the problem column)\n";
    for (const ValidationGroup& group : summary.groups) {
        text += "\n" + groupTitle(group) + " (" + std::to_string(group.tests) + " tests)\n";
        text += padded("model", 16) + padded("n", 7) + padded("mean", 8) + padded("CoV", 8) +
                padded("R2", 8) + padded("MAPE %", 9) + "below %\n";
        for (const ModelStatistics& m : group.models) {
            text += padded(m.model, 16) + padded(std::to_string(m.n), 7) +
                    padded(fixed(m.mean, 3), 8) + padded(fixed(m.cov, 3), 8) +
                    padded(fixed(m.r2, 3), 8) + padded(percent(m.mape), 9) + percent(m.below) +
                    "\n";
        }
    }
    return text;
}

std::string ValidationJson(const ValidationSummary& summary, std::string_view law,
                           std::span<const std::string> warnings) {
    std::string json = "{" + JsonProgramKeys() +
                       ",\"command\":\"validate\",\"lawFrom\":" + JsonString(law) +
                       ",\"tests\":" + std::to_string(summary.tests) +
                       ",\"refused\":" + std::to_string(summary.refused) +
                       ",\"warnings\":" + JsonStringList(warnings);
    json += ",\"models\":" + modelsJson(summary.groups.front().models) + ",\"groups\":[";
    for (std::size_t g = 1; g < summary.groups.size(); ++g) {
        const ValidationGroup& group = summary.groups[g];
        json += std::string(g > 1 ? "," : "") + "{\"kind\":" + JsonString(group.kind) +
                ",\"value\":" + JsonString(group.value) +
                ",\"tests\":" + std::to_string(group.tests) +
                ",\"models\":" + modelsJson(group.models) + "}";
    }
    return json + "]}\n";
}

std::string ModelFactorText(const ModelStatistics& orvane, std::string_view law) {
    return FormatModelFactorFile(
        ModelFactor{orvane.mean, orvane.cov, orvane.n, std::string(law), {}});
}

FigureData MakeValidationFigure(std::span<const TestResult> results, std::string_view law) {
    FigureData figure;
    figure.title = "Predicted against measured ultimate load";
    FigureCurve points{"Orvane, law " + std::string(law), false, true, 0, {}};
    double low = std::numeric_limits<double>::infinity();
    double high = 0;
    for (const TestResult& result : results) {
        if (result.refused()) {
            continue;
        }
        const double measured = result.row.value(TestInput::Pu) / 1000;
        const double predicted = result.orvane / 1000;
        points.points.push_back({std::log10(measured), std::log10(predicted)});
        low = std::min({low, measured, predicted});
        high = std::max({high, measured, predicted});
    }
    figure.x = logAxis("measured Pu (kN)", low, high);
    figure.y = logAxis("predicted Pbumax (kN)", low, high);
    figure.curves.push_back(
        FigureCurve{"test = predicted",
                    true,
                    false,
                    0,
                    {{figure.x.min, figure.x.min}, {figure.x.max, figure.x.max}}});
    figure.curves.back().reference = true;
    figure.curves.push_back(std::move(points));
    const ModelStatistics orvane = SummarizeValidation(results).groups.front().models.front();
    figure.caption.push_back(std::to_string(orvane.n) + " tests: mean test/predicted " +
                             fixed(orvane.mean, 3) + ", CoV " + fixed(orvane.cov, 3) + ", R² " +
                             fixed(orvane.r2, 3));
    return figure;
}

std::vector<std::string> ValidationWarnings(const ValidationSummary& summary) {
    std::vector<std::string> warnings;
    if (summary.refused > 0) {
        warnings.push_back(std::to_string(summary.refused) + " of " +
                           std::to_string(summary.tests) +
                           " tests left out of the statistics; the CSV's problem column says why");
    }
    const std::int64_t used = summary.groups.front().models.front().n;
    if (used < kFewTests) {
        warnings.push_back("only " + std::to_string(used) +
                           " tests behind Orvane's statistics: "
                           "a CoV from fewer than " +
                           std::to_string(kFewTests) + " is too uncertain to design with");
    }
    return warnings;
}

} // namespace orvane
