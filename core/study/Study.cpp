#include "core/study/Study.h"

#include "core/engine/RunChecks.h"
#include "core/numtext/NumberText.h"
#include "core/results/CsvRunWriter.h"
#include "core/results/RunController.h"
#include "core/study/OrderedTasks.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <charconv>
#include <cmath>
#include <limits>
#include <new>
#include <thread>

namespace orvane {

namespace {

constexpr std::string_view kLawName = "law";
constexpr std::string_view kSoftening = "softening";
constexpr std::string_view kBilinear = "bilinear";

struct Alias {
    std::string_view name;
    NumericField field;
};
constexpr std::array<Alias, 5> kAliases = {{
    {"τmax", NumericField::TauMax},
    {"τy", NumericField::TauMax},
    {"smax", NumericField::SMax},
    {"sy", NumericField::SMax},
    {"Δl", NumericField::Dl},
}};

std::string knownNames() {
    std::string names;
    for (const InputColumn& input : kInputColumns) {
        names += std::string(input.name) + ", ";
    }
    return names + std::string(kLawName);
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) {
            return parts;
        }
        text.remove_prefix(at + 1);
    }
}

std::string parseRange(std::string_view name, const std::vector<std::string_view>& parts,
                       Sweep& sweep) {
    const std::string what = std::string(name) + ": ";
    if (parts.size() > 4 || (parts.size() == 4 && parts[3] != "log" && parts[3] != "lin")) {
        return what + "a range is from:to:count or from:to:count:log";
    }
    const auto from = ParseWholeNumber(parts[0]);
    const auto to = ParseWholeNumber(parts[1]);
    if (!from || !to) {
        return what + QuotedEntry(from ? parts[1] : parts[0]) + " is not a number";
    }
    std::int64_t count = 0;
    const std::string_view countText = parts[2];
    const auto [end, error] =
        std::from_chars(countText.data(), countText.data() + countText.size(), count);
    if (countText.empty() || end != countText.data() + countText.size() ||
        (error != std::errc() && error != std::errc::result_out_of_range)) {
        return what + "the count " + QuotedEntry(countText) + " is not a whole number";
    }
    if (error == std::errc::result_out_of_range || count < 2 || count > kMaxStudyPoints) {
        return what + "the count must be from 2 to " + std::to_string(kMaxStudyPoints) + ", not " +
               std::string(countText) + " (give a single value as " + std::string(name) + "=VALUE)";
    }
    if (*from == *to) {
        return what + "the range " + std::string(parts[0]) + " to " + std::string(parts[1]) +
               " is empty";
    }
    if (*from > *to) {
        return what + "the range " + std::string(parts[0]) + " to " + std::string(parts[1]) +
               " is reversed; give the smaller value first";
    }
    const bool log = parts.size() == 4 && parts[3] == "log";
    if (log && !(*from > 0)) {
        return what + "a logarithmic range needs values greater than 0";
    }
    sweep.spacing = log ? Sweep::Spacing::Log : Sweep::Spacing::Linear;
    sweep.from = *from;
    sweep.to = *to;
    sweep.fromText = parts[0];
    sweep.toText = parts[1];
    sweep.count = count;
    return {};
}

} // namespace

std::int64_t Sweep::size() const {
    return spacing == Spacing::List ? std::int64_t(items.size()) : count;
}

std::string_view Sweep::name() const {
    return field ? kInputColumns[static_cast<int>(*field)].name : kLawName;
}

std::string Sweep::text(std::int64_t k) const {
    assert(k >= 0 && k < size());
    if (spacing == Spacing::List) {
        return items[std::size_t(k)];
    }
    // The ends are the given texts; between them a linear value is formed so that values the
    // range meets exactly (10:300:30 gives 10, 20, …) come out exactly.
    const std::int64_t last = count - 1;
    if (k == 0) {
        return fromText;
    }
    if (k == last) {
        return toText;
    }
    if (spacing == Spacing::Linear) {
        return ShortestText((from * double(last - k) + to * double(k)) / double(last));
    }
    // Powers of ten, so that a range over whole decades meets every decade exactly.
    const double decadeFrom = std::log10(from);
    return ShortestText(
        std::pow(10.0, decadeFrom + (std::log10(to) - decadeFrom) * double(k) / double(last)));
}

std::string Sweep::definition() const {
    std::string text = std::string(name()) + "=";
    if (spacing == Spacing::List) {
        for (std::size_t k = 0; k < items.size(); ++k) {
            text += (k ? "," : "") + items[k];
        }
        return text;
    }
    return text + fromText + ":" + toText + ":" + std::to_string(count) +
           (spacing == Spacing::Log ? ":log" : "");
}

std::optional<NumericField> StudyFieldNamed(std::string_view name) {
    for (int f = 0; f < kNumericFieldCount; ++f) {
        if (name == kInputColumns[f].name) {
            return NumericField(f);
        }
    }
    for (const Alias& alias : kAliases) {
        if (name == alias.name) {
            return alias.field;
        }
    }
    return std::nullopt;
}

SweepParse ParseSweep(std::string_view definition) {
    SweepParse parse;
    const std::size_t equals = definition.find('=');
    if (equals == std::string_view::npos) {
        parse.error = QuotedEntry(definition) + " is not NAME=VALUES";
        return parse;
    }
    const std::string_view name = definition.substr(0, equals);
    const std::string_view values = definition.substr(equals + 1);
    Sweep& sweep = parse.sweep;
    sweep.field = StudyFieldNamed(name);
    if (!sweep.field && name != kLawName) {
        parse.error = "unknown input " + QuotedEntry(name) + "; the inputs that can be swept are " +
                      knownNames();
        return parse;
    }
    const std::string what = std::string(sweep.name()) + ": ";
    if (values.empty()) {
        parse.error = what + "no values given";
        return parse;
    }
    if (values.find(':') != std::string_view::npos) {
        if (!sweep.field) {
            parse.error = what + "give the laws as a list, softening,bilinear";
            return parse;
        }
        const std::vector<std::string_view> parts = split(values, ':');
        if (parts.size() < 3) {
            parse.error = what + "a range is from:to:count or from:to:count:log";
            return parse;
        }
        parse.error = parseRange(sweep.name(), parts, sweep);
        return parse;
    }
    const std::vector<std::string_view> items = split(values, ',');
    if (std::int64_t(items.size()) > kMaxStudyPoints) {
        parse.error = what + "at most " + std::to_string(kMaxStudyPoints) + " values";
        return parse;
    }
    for (const std::string_view item : items) {
        const bool valid = sweep.field ? ParseWholeNumber(item).has_value()
                                       : item == kSoftening || item == kBilinear;
        if (!valid) {
            parse.error = what + QuotedEntry(item) +
                          (sweep.field ? " is not a number" : " is not softening or bilinear");
            return parse;
        }
        sweep.items.emplace_back(item);
    }
    return parse;
}

std::int64_t PointCount(const StudyDefinition& study) {
    std::int64_t count = study.sweeps.empty() ? 0 : 1;
    for (const Sweep& sweep : study.sweeps) {
        count *= sweep.size();
    }
    return count;
}

std::string CheckStudy(const StudyDefinition& study) {
    if (study.sweeps.empty() || study.sweeps.size() > 2) {
        return "a study sweeps one or two inputs";
    }
    if (study.sweeps.size() == 2 && study.sweeps[0].field == study.sweeps[1].field) {
        return std::string(study.sweeps[0].name()) + " is swept twice";
    }
    for (const Sweep& sweep : study.sweeps) {
        if (sweep.size() < 1) {
            return std::string(sweep.name()) + ": no values given";
        }
    }
    // Each size is at most kMaxStudyPoints, so the product of two fits.
    const std::int64_t count = PointCount(study);
    if (count > kMaxStudyPoints) {
        return "the study has " + std::to_string(count) + " points; at most " +
               std::to_string(kMaxStudyPoints) + " can be run";
    }
    return {};
}

StudyPoint MakeStudyPoint(const StudyDefinition& study, std::int64_t k) {
    StudyPoint point{study.base, study.baseTexts};
    std::int64_t stride = PointCount(study);
    for (const Sweep& sweep : study.sweeps) {
        stride /= sweep.size();
        const std::string text = sweep.text(k / stride % sweep.size());
        if (sweep.field) {
            point.texts[static_cast<int>(*sweep.field)] = text;
        } else {
            point.params.bondModel =
                text == kBilinear ? BondModel::PerfectlyBilinear : BondModel::BilinearSoftening;
        }
    }
    CopyFieldTexts(point.params, point.texts);
    return point;
}

namespace {

// The swept values of point k as the point's fields hold them.
StudyPointResult sweptInputs(const StudyDefinition& study, const StudyPoint& point,
                             std::int64_t k) {
    StudyPointResult result;
    result.index = k;
    for (const Sweep& sweep : study.sweeps) {
        if (sweep.field) {
            // The value the field stores; for ds the field's own number, not the run's / 100.
            const float value = FieldValue(point.texts[static_cast<int>(*sweep.field)]);
            result.sweptTexts.push_back(ShortestText(value));
            result.sweptValues.push_back(double(value));
        } else {
            result.sweptTexts.emplace_back(
                point.params.bondModel == BondModel::PerfectlyBilinear ? kBilinear : kSoftening);
            result.sweptValues.push_back(std::numeric_limits<double>::quiet_NaN());
        }
    }
    return result;
}

// What follows from a point's inputs without a run: the closed forms and the run checks'
// refusal.
void checkPoint(const StudyPoint& point, StudyPointResult& result) {
    result.quantities = ComputeBondQuantities(point.params);
    const std::vector<std::string> problems = CheckRun(point.params, point.texts);
    for (const std::string& problem : problems) {
        result.problem += (result.problem.empty() ? "" : "; ") + problem;
    }
}

// The run of a checked point to its end, unless the checks refused it.
void runCheckedPoint(StudyPoint& point, StudyPointResult& result, std::stop_token stop) {
    if (result.refused()) {
        return;
    }
    try {
        RunController controller(point.params);
        while (!stop.stop_requested() && controller.step() == RunEnd::None) {
        }
        controller.stop(); // ends a run that a stop request left under way
        const PulloutRun& run = controller.run();
        result.end = controller.end();
        result.steps = run.stepNumber();
        result.Pbumax = run.Pbumax();
        result.slmax = run.slmax();
    } catch (const std::bad_alloc&) {
        result.problem =
            "not enough memory for " + std::to_string(result.quantities.n) + " elements";
    }
}

} // namespace

StudyPointResult DescribeStudyPoint(const StudyDefinition& study, std::int64_t k) {
    const StudyPoint point = MakeStudyPoint(study, k);
    StudyPointResult result = sweptInputs(study, point, k);
    checkPoint(point, result);
    return result;
}

StudyPointResult RunStudyPoint(const StudyDefinition& study, std::int64_t k, std::stop_token stop) {
    StudyPoint point = MakeStudyPoint(study, k);
    StudyPointResult result = sweptInputs(study, point, k);
    RunPointAnalysis(point, result, std::move(stop));
    return result;
}

void RunPointAnalysis(StudyPoint& point, StudyPointResult& result, std::stop_token stop) {
    checkPoint(point, result);
    runCheckedPoint(point, result, std::move(stop));
}

int DefaultJobs() {
    return std::max(1, int(std::thread::hardware_concurrency()));
}

std::int64_t RunStudy(const StudyDefinition& study, int jobs, const StudySink& sink,
                      std::stop_token stop) {
    return RunPoints(
        {0, PointCount(study)}, jobs,
        [&study](std::int64_t k, std::stop_token token) { return RunStudyPoint(study, k, token); },
        sink, std::move(stop));
}

std::int64_t RunPoints(PointRange range, int jobs, const PointRunner& runPoint,
                       const StudySink& sink, std::stop_token stop) {
    if (range.size() <= 0) {
        return 0;
    }
    return RunInOrder<StudyPointResult>(
        range.size(), jobs,
        [&range, &runPoint](std::int64_t k, std::stop_token token) {
            return runPoint(range.first + k, std::move(token));
        },
        sink, std::move(stop));
}

} // namespace orvane
