#include "apps/orvane-batch/Workbooks.h"

#include "core/numtext/NumberText.h"
#include "core/results/CsvRunWriter.h"
#include "core/results/JsonText.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <span>

namespace orvane {

namespace {

std::string lawName(BondModel model) {
    return model == BondModel::PerfectlyBilinear ? "bilinear" : "softening";
}

// A single-precision input as the number its shortest text names (6.467, not the 6.4670000076
// that widening the single gives), as the parameter window shows it.
double singleAsShown(float value) {
    const std::string text = ShortestText(value);
    double number = 0;
    std::from_chars(text.data(), text.data() + text.size(), number);
    return number;
}

// A sheet of name, value, unit rows, as the CSV tables' metadata lines hold them.
struct NameValueRows {
    SheetColumn names{"name", "", {}};
    SheetColumn values{"value", "", {}};
    SheetColumn units{"unit", "", {}};

    void add(const std::string& name, SheetCell value, const std::string& unit = {}) {
        names.cells.emplace_back(name);
        values.cells.push_back(std::move(value));
        units.cells.emplace_back(unit);
    }
    Sheet sheet(const std::string& name) const { return {name, {names, values, units}}; }
};

NameValueRows inputRows(const AnalysisParameters& params, const FieldTexts& texts) {
    NameValueRows rows;
    rows.add("comment", params.comment);
    rows.add("law", lawName(params.bondModel));
    for (const InputColumn& input : std::span(kInputColumns).first<kStoredFieldCount>()) {
        rows.add(std::string(input.name), singleAsShown(params.value(input.field)),
                 std::string(input.unit));
    }
    const InputColumn& ds = kInputColumns[static_cast<int>(NumericField::InitialDs)];
    rows.add(std::string(ds.name),
             singleAsShown(FieldValue(texts[static_cast<int>(NumericField::InitialDs)])),
             std::string(ds.unit));
    return rows;
}

void addBondQuantities(NameValueRows& rows, const BondQuantities& q) {
    rows.add("Gf", q.Gf, "N/mm");
    rows.add("Pinf", q.Pinf, "N");
    rows.add("Le", q.Le, "mm");
}

SheetColumn numbers(const std::string& name, const std::string& unit) {
    return {name, unit, {}};
}

} // namespace

Sheet InputsSheet(const AnalysisParameters& params, const FieldTexts& texts) {
    return inputRows(params, texts).sheet("Inputs");
}

Workbook RunWorkbook(const AnalysisParameters& params, const FieldTexts& texts,
                     const std::vector<StepResult>& steps, const BondQuantities& bond, RunEnd end) {
    NameValueRows inputs = inputRows(params, texts);
    addBondQuantities(inputs, bond);
    const double Pbumax = steps.empty() ? 0.0 : steps.back().Pbumax;
    inputs.add("end", std::string(RunEndJsonName(end)));
    inputs.add("steps", double(steps.size()));
    inputs.add("Pbumax", Pbumax, "N");
    inputs.add("slmax", steps.empty() ? 0.0 : steps.back().slmax, "mm");
    inputs.add("PbumaxOverPinf", LoadRatio(Pbumax, bond));

    std::vector<SheetColumn> columns = {
        numbers("step", ""),    numbers("s0", "mm"),    numbers("ds0", "mm"),
        numbers("sl", "mm"),    numbers("Pl", "N"),     numbers("totalTau", "N/mm²"),
        numbers("Pbumax", "N"), numbers("slmax", "mm"),
    };
    for (const StepResult& s : steps) {
        const double row[] = {double(s.step), s.s0,   singleAsShown(s.ds), s.sl, s.Pl, s.totalTau,
                              s.Pbumax,       s.slmax};
        for (std::size_t c = 0; c < columns.size(); ++c) {
            columns[c].cells.emplace_back(row[c]);
        }
    }
    Workbook book{{inputs.sheet("Inputs"), {"Steps", std::move(columns)}}, {}};
    if (!steps.empty()) {
        book.charts.push_back({"Load-slip",
                               "Load against loaded-end slip",
                               "loaded-end slip sl (mm)",
                               "load Pl (N)",
                               {{"Pl", 1, 3, 4, 0, steps.size() - 1, false}}});
    }
    return book;
}

Workbook StudyWorkbook(const StudyDefinition& study, const std::vector<StudyPointResult>& points) {
    std::vector<SheetColumn> columns = {numbers("point", "")};
    for (const Sweep& sweep : study.sweeps) {
        const std::string unit =
            sweep.field && *sweep.field != NumericField::InitialDs
                ? std::string(kInputColumns[static_cast<int>(*sweep.field)].unit)
                : std::string();
        columns.push_back(numbers(std::string(sweep.name()), unit));
    }
    const std::size_t first = columns.size();
    for (const auto& [name, unit] :
         std::initializer_list<std::pair<const char*, const char*>>{{"steps", ""},
                                                                    {"Pbumax", "N"},
                                                                    {"slmax", "mm"},
                                                                    {"end", ""},
                                                                    {"Gf", "N/mm"},
                                                                    {"Pinf", "N"},
                                                                    {"Le", "mm"},
                                                                    {"PbumaxOverPinf", ""},
                                                                    {"problem", ""}}) {
        columns.push_back(numbers(name, unit));
    }
    constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
    for (const StudyPointResult& p : points) {
        columns[0].cells.emplace_back(double(p.index));
        for (std::size_t s = 0; s < study.sweeps.size(); ++s) {
            if (study.sweeps[s].field) {
                columns[1 + s].cells.emplace_back(p.sweptValues[s]);
            } else {
                columns[1 + s].cells.emplace_back(p.sweptTexts[s]);
            }
        }
        const bool run = !p.refused();
        const BondQuantities& q = p.quantities;
        columns[first + 0].cells.emplace_back(run ? double(p.steps) : kNone);
        columns[first + 1].cells.emplace_back(run ? p.Pbumax : kNone);
        columns[first + 2].cells.emplace_back(run ? p.slmax : kNone);
        columns[first + 3].cells.emplace_back(
            std::string(run ? RunEndJsonName(p.end) : std::string_view("refused")));
        columns[first + 4].cells.emplace_back(q.Gf);
        columns[first + 5].cells.emplace_back(q.Pinf);
        columns[first + 6].cells.emplace_back(q.Le);
        columns[first + 7].cells.emplace_back(run ? LoadRatio(p.Pbumax, q) : kNone);
        columns[first + 8].cells.emplace_back(p.problem);
    }
    Workbook book{{InputsSheet(study.base, study.baseTexts), {"Points", std::move(columns)}}, {}};

    // Pbumax against a numeric swept input. A chart's line takes consecutive rows, so the
    // inner loop is the axis where it is a number, one line per value of the outer; with only
    // the outer loop a number, its points stand unjoined.
    const std::size_t sweeps = study.sweeps.size();
    std::size_t x = sweeps;
    for (std::size_t s = sweeps; s-- > 0 && x == sweeps;) {
        if (study.sweeps[s].field) {
            x = s;
        }
    }
    if (x == sweeps || points.empty()) {
        return book;
    }
    const bool linePerOuterValue = sweeps == 2 && x == 1;
    SheetChart chart{"Chart",
                     "Pbumax against " + std::string(study.sweeps[x].name()),
                     std::string(study.sweeps[x].name()) +
                         (book.sheets[1].columns[1 + x].unit.empty()
                              ? ""
                              : " (" + book.sheets[1].columns[1 + x].unit + ")"),
                     "Pbumax (N)",
                     {}};
    const std::size_t runLength =
        linePerOuterValue ? std::size_t(study.sweeps[1].size()) : points.size();
    for (std::size_t start = 0; start < points.size(); start += runLength) {
        const std::size_t last = std::min(points.size(), start + runLength) - 1;
        const std::string name = linePerOuterValue ? std::string(study.sweeps[0].name()) + " = " +
                                                         points[start].sweptTexts[0]
                                                   : std::string("Pbumax");
        chart.series.push_back({name, 1, 1 + x, first + 1, start, last, sweeps == 2 && x == 0});
    }
    book.charts.push_back(std::move(chart));
    return book;
}

Workbook FitWorkbook(const AnalysisParameters& base, const FieldTexts& baseTexts,
                     const std::vector<FitSpecimen>& specimens,
                     const std::vector<BondLawFit>& fits) {
    const bool series = specimens.size() > 1;
    NameValueRows inputs = inputRows(base, baseTexts);
    const char* names[] = {"tauMax", "sMax", "su"};
    const char* units[] = {"N/mm²", "mm", "mm"};
    for (const BondLawFit& fit : fits) {
        const std::string law = lawName(fit.model);
        for (int j = 0; j < kLawParameterCount; ++j) {
            const ParameterEstimate& p = fit.parameters[std::size_t(j)];
            inputs.add(law + " " + names[j], p.value, units[j]);
            inputs.add(law + " " + names[j] + " standard error", p.fixed ? 0.0 : p.standardError,
                       units[j]);
        }
        inputs.add(law + " rmse", fit.rmse, "N");
        inputs.add(law + " r2", fit.r2);
        for (const SpecimenFit& specimen : fit.specimens) {
            const std::string who = law + (series ? " " + specimen.name : std::string());
            if (series) {
                inputs.add(who + " rmse", specimen.rmse, "N");
                inputs.add(who + " r2", specimen.r2);
            }
            if (specimen.seatingOffset != 0) {
                inputs.add(who + " seating offset", specimen.seatingOffset, "mm");
            }
        }
        for (const std::string& warning : fit.warnings) {
            inputs.add(law + " warning", warning);
        }
    }
    // Every specimen's points one after the other, named in a first column as the CSV names
    // them; a single curve has no such column.
    std::vector<SheetColumn> columns;
    if (series) {
        columns.push_back({"specimen", "", {}});
    }
    const std::size_t slip = columns.size();
    columns.push_back(numbers("slip", "mm"));
    columns.push_back(numbers("measured load", "N"));
    for (const BondLawFit& fit : fits) {
        columns.push_back(numbers("model load " + lawName(fit.model), "N"));
    }
    // Each specimen's rows, first to last, for the chart.
    std::vector<std::pair<std::size_t, std::size_t>> rows;
    for (std::size_t k = 0; k < specimens.size(); ++k) {
        const FitTarget& target = specimens[k].target;
        rows.push_back(
            {columns[slip].cells.size(), columns[slip].cells.size() + target.slip.size()});
        for (std::size_t i = 0; i < target.slip.size(); ++i) {
            if (series) {
                columns[0].cells.emplace_back(specimens[k].name);
            }
            columns[slip].cells.emplace_back(target.slip[i]);
            columns[slip + 1].cells.emplace_back(target.load[i]);
            for (std::size_t f = 0; f < fits.size(); ++f) {
                const std::vector<double>& model = k < fits[f].specimens.size()
                                                       ? fits[f].specimens[k].modelLoad
                                                       : fits[f].modelLoad;
                // A model load that is not finite (or missing) is an empty cell.
                const double load =
                    i < model.size() ? model[i] : std::numeric_limits<double>::quiet_NaN();
                columns[slip + 2 + f].cells.emplace_back(load);
            }
        }
    }
    Workbook book{{inputs.sheet("Inputs"), {"Points", std::move(columns)}}, {}};
    SheetChart chart{
        "Chart", "Measured and fitted load-slip curves", "loaded-end slip (mm)", "load (N)", {}};
    for (std::size_t k = 0; k < specimens.size(); ++k) {
        const auto [first, end] = rows[k];
        if (first == end) {
            continue;
        }
        const std::string who = series ? specimens[k].name + " " : std::string();
        chart.series.push_back({who + "measured", 1, slip, slip + 1, first, end - 1, true});
        for (std::size_t f = 0; f < fits.size(); ++f) {
            chart.series.push_back({who + "model " + lawName(fits[f].model), 1, slip, slip + 2 + f,
                                    first, end - 1, false});
        }
    }
    if (!chart.series.empty()) {
        book.charts.push_back(std::move(chart));
    }
    return book;
}

Workbook ValidationWorkbook(const AnalysisParameters& base, const FieldTexts& baseTexts,
                            const std::string& lawFrom, const std::vector<TestResult>& results) {
    NameValueRows inputs = inputRows(base, baseTexts);
    inputs.add("law from", lawFrom);
    const char* units[kTestInputCount] = {"mm", "MPa", "MPa", "mm", "mm", "mm", "N"};
    std::vector<SheetColumn> columns = {{"id", "", {}}, {"source", "", {}}};
    for (int i = 0; i < kTestInputCount; ++i) {
        columns.push_back(numbers(std::string(kTestInputNames[std::size_t(i)]), units[i]));
    }
    const std::vector<std::string>& models = ValidationModelNames();
    for (const std::string& model : models) {
        columns.push_back(numbers(model, "N"));
    }
    columns.push_back({"problem", "", {}});
    for (const TestResult& result : results) {
        columns[0].cells.emplace_back(result.row.id);
        columns[1].cells.emplace_back(result.row.source);
        for (std::size_t i = 0; i < std::size_t(kTestInputCount); ++i) {
            columns[2 + i].cells.emplace_back(result.row.values[i]);
        }
        // A test left out has no predictions: empty cells, and its reason.
        const std::size_t first = 2 + std::size_t(kTestInputCount);
        for (std::size_t m = 0; m < models.size(); ++m) {
            std::vector<SheetCell>& cells = columns[first + m].cells;
            if (result.refused() || (m > 0 && m - 1 >= result.codes.size())) {
                cells.emplace_back();
            } else {
                cells.emplace_back(m == 0 ? result.orvane : result.codes[m - 1]);
            }
        }
        columns.back().cells.emplace_back(result.problem);
    }
    Workbook book{{inputs.sheet("Inputs"), {"Tests", std::move(columns)}}, {}};
    if (!results.empty()) {
        const std::size_t measured = 2 + std::size_t(TestInput::Pu);
        const std::size_t orvane = 2 + std::size_t(kTestInputCount);
        book.charts.push_back(
            {"Chart",
             "Predicted against measured ultimate load",
             "measured Pu (N)",
             "predicted (N)",
             {{"Orvane, law " + lawFrom, 1, measured, orvane, 0, results.size() - 1, true}}});
    }
    return book;
}

} // namespace orvane
