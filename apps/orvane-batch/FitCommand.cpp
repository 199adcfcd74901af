#include "apps/orvane-batch/FitCommand.h"

#include "apps/orvane-batch/DataSet.h"
#include "apps/orvane-batch/FigureModule.h"
#include "apps/orvane-batch/OutputChecks.h"
#include "apps/orvane-batch/ProgressLine.h"
#include "apps/orvane-batch/StopOnSignal.h"
#include "apps/orvane-batch/Workbooks.h"
#include "core/engine/RunChecks.h"
#include "core/files/Cp932.h"
#include "core/files/ParameterFile.h"
#include "core/numtext/NumberText.h"
#include "core/results/ExitStatus.h"
#include "core/results/JsonText.h"
#include "core/results/OutputFile.h"
#include "fit/BondLawFit.h"
#include "fit/FitFigure.h"

#include <cmath>
#include <filesystem>
#include <iostream>

namespace orvane {

namespace {

std::string lawName(BondModel model) {
    return model == BondModel::BilinearSoftening ? "softening" : "bilinear";
}

std::string lawTitle(BondModel model) {
    return model == BondModel::BilinearSoftening ? "bi-linear softening" : "perfectly bi-linear";
}

// The data set of a base file as the parameter window would hold it, with Execute's copy.
bool loadBase(const FitOptions& options, const std::optional<std::string>& file,
              LoadedDataSet& base) {
    const FileStatus status = LoadDataSet(file, {{}, options.initialDsText, {}}, base);
    if (!status.ok()) {
        std::cerr << "orvane-batch fit: " << status.message << "\n";
        return false;
    }
    if (const LawFromConcrete law = ApplyLawFrom(options.lawFrom, base); !law.error.empty()) {
        std::cerr << "orvane-batch fit: " << law.error << "\n";
        return false;
    }
    return true;
}

// The comment of the fitted file: what it was fitted to, then the base comment; shortened
// to what Shift-JIS can hold.
std::string fittedComment(const std::vector<FitSpecimenFiles>& files, BondModel model,
                          const std::string& baseComment) {
    const std::string& first = files.front().measuredFile;
    std::string name = first == kStandardInput ? std::string(kStandardInputName)
                                               : std::filesystem::path(first).filename().string();
    if (files.size() > 1) {
        name += " and " + std::to_string(files.size() - 1) + " more";
    }
    for (const std::string& comment :
         {"Fitted (" + lawTitle(model) + ") to " + name + ": " + baseComment,
          "Fitted (" + lawTitle(model) + ") to " + name,
          "Fitted (" + lawTitle(model) + "): " + baseComment, "Fitted (" + lawTitle(model) + ")"}) {
        if (EncodeCp932(comment).ok() && comment.find('\n') == std::string::npos) {
            return comment;
        }
    }
    return {};
}

// The files of one law: PREFIX.kvp and PREFIX.csv, or PREFIX-softening.* and so on when
// several laws are fitted; the figure likewise.
std::string stemOf(const std::string& prefix, std::size_t laws, BondModel model) {
    return laws > 1 ? prefix + "-" + lawName(model) : prefix;
}

std::string figureOf(std::string figure, std::size_t laws, BondModel model) {
    if (laws > 1) {
        figure.insert(figure.rfind('.'), "-" + lawName(model));
    }
    return figure;
}

struct Written {
    std::string dataSet; // the fitted data set, with its law
    std::string kvp;     // empty when the law does not fit a parameter file
    std::string csv;
    std::string figure; // empty without one
};

void printFit(const BondLawFit& fit, const Written& written) {
    std::cout << FitSummary(fit) << "data set    " << written.dataSet << "\n";
    if (!written.kvp.empty()) {
        std::cout << "fitted file " << written.kvp << "\n";
    }
    std::cout << "CSV         " << written.csv << "\n";
    if (!written.figure.empty()) {
        std::cout << "figure      " << written.figure << "\n";
    }
}

// Each specimen's misfit under the shared law.
std::string specimensJson(const BondLawFit& fit) {
    std::string json;
    for (const SpecimenFit& specimen : fit.specimens) {
        json += std::string(json.empty() ? "" : ",") +
                "{\"measured\":" + JsonString(specimen.name) +
                ",\"points\":" + std::to_string(specimen.points) +
                ",\"rmse\":" + JsonNumber(specimen.rmse) + ",\"r2\":" + JsonNumber(specimen.r2) +
                ",\"seatingOffset\":" + JsonNumber(specimen.seatingOffset) + "}";
    }
    return "[" + json + "]";
}

std::string fitJson(const BondLawFit& fit, const Written& written) {
    std::string json = "{\"law\":\"" + lawName(fit.model) + "\"";
    const char* keys[] = {"tauMax", "sMax", "su"};
    for (int j = 0; j < kLawParameterCount; ++j) {
        const ParameterEstimate& p = fit.parameters[std::size_t(j)];
        json +=
            ",\"" + std::string(keys[j]) + "\":{\"text\":" + JsonString(p.text) +
            ",\"value\":" + JsonNumber(p.value) + ",\"fixed\":" + (p.fixed ? "true" : "false") +
            ",\"standardError\":" + (p.fixed ? "0" : JsonNumber(p.standardError)) +
            ",\"interval\":" +
            (std::isnan(p.lower) ? std::string("null")
                                 : "[" + JsonNumber(p.lower) + "," + JsonNumber(p.upper) + "]") +
            "}";
    }
    // A bond quantity the curve does not determine is null, not a number.
    const auto quantity = [](const QuantityEstimate& e) {
        return e.determined ? JsonNumber(e.value) : std::string("null");
    };
    const auto error = [](const QuantityEstimate& e) {
        return e.determined ? JsonNumber(e.standardError) : std::string("null");
    };
    json += ",\"seatingOffset\":" + JsonNumber(fit.seatingOffset) +
            ",\"rmse\":" + JsonNumber(fit.rmse) + ",\"r2\":" + JsonNumber(fit.r2) +
            ",\"specimens\":" + specimensJson(fit) + ",\"Gf\":" + quantity(fit.Gf) +
            ",\"GfStandardError\":" + error(fit.Gf) + ",\"Pinf\":" + quantity(fit.Pinf) +
            ",\"PinfStandardError\":" + error(fit.Pinf) + ",\"Le\":" + quantity(fit.Le) +
            ",\"warnings\":" + JsonStringList(fit.warnings) +
            ",\"modelRuns\":" + std::to_string(fit.modelRuns) +
            ",\"dataSet\":" + JsonString(written.dataSet) +
            ",\"kvp\":" + (written.kvp.empty() ? std::string("null") : JsonString(written.kvp)) +
            ",\"csv\":" + JsonString(written.csv) +
            (written.figure.empty() ? "" : ",\"figure\":" + JsonString(written.figure)) + "}";
    return json;
}

// The curves to fit: the --specimen list, or the one --measured FILE on BASE.
std::vector<FitSpecimenFiles> specimenFiles(const FitOptions& options) {
    if (options.specimens.empty()) {
        return {{options.measuredFile, options.parameterFile}};
    }
    std::vector<FitSpecimenFiles> files = options.specimens;
    for (FitSpecimenFiles& file : files) {
        if (!file.baseFile) {
            file.baseFile = options.parameterFile;
        }
    }
    return files;
}

// The unit of the value column as told: the reader defaults to N, which for an average bond
// stress read without a unit is N/mm².
std::string valueUnitOf(const MeasuredCurve& curve, MeasuredQuantity quantity) {
    return quantity == MeasuredQuantity::AverageStress && curve.valueUnit == "N" ? "N/mm2"
                                                                                 : curve.valueUnit;
}

// One specimen read: its base set and its measured points within the range; false (with the
// reason on standard error) when either cannot be used.
struct ReadSpecimen {
    LoadedDataSet base;
    MeasuredCurve curve;
    FitSpecimen specimen;
};

bool readSpecimen(const FitOptions& options, const FitSpecimenFiles& files, ReadSpecimen& read) {
    if (!loadBase(options, files.baseFile, read.base)) {
        return false;
    }
    MeasuredCurveRead file;
    if (files.measuredFile == kStandardInput) {
        std::string bytes;
        if (const FileStatus status = ReadStandardInput(bytes, kMaxMeasuredFileBytes);
            !status.ok()) {
            std::cerr << "orvane-batch fit: " << status.message << "\n";
            return false;
        }
        file = ParseMeasuredCurve(bytes, options.layout);
        if (!file.error.empty()) {
            file.error = std::string(kStandardInputName) + ": " + file.error;
        }
    } else {
        file = ReadMeasuredCurve(files.measuredFile, options.layout);
    }
    for (const std::string& skipped : file.curve.skippedRows) {
        std::cerr << "orvane-batch fit: " << files.measuredFile << ": " << skipped << "\n";
    }
    if (const std::string more = MoreSkippedRows(file.curve); !more.empty()) {
        std::cerr << "orvane-batch fit: " << files.measuredFile << ": " << more << "\n";
    }
    const MeasuredCurveRead ranged =
        file.error.empty() ? WithinRange(file.curve, options.range) : file;
    if (!ranged.error.empty()) {
        std::cerr << "orvane-batch fit: " << ranged.error << "\n";
        return false;
    }
    read.curve = ranged.curve;
    read.specimen = {files.measuredFile,
                     MeasuredLoads(ranged.curve, options.quantity, read.base.params),
                     read.base.params, read.base.data.texts};
    return true;
}

} // namespace

int RunFitCommand(const FitOptions& options) {
    const std::vector<FitSpecimenFiles> files = specimenFiles(options);
    const std::string prefix = options.outputPrefix.value_or(
        (std::filesystem::path(files.front().measuredFile).replace_extension()).string() + "-fit");
    FitOutputNames outputs{files.front().baseFile,
                           files.front().measuredFile,
                           {},
                           {},
                           {},
                           !options.outputPrefix,
                           options.xlsx};
    for (std::size_t k = 1; k < files.size(); ++k) {
        outputs.seriesInputs.push_back(files[k].measuredFile);
        if (files[k].baseFile) {
            outputs.seriesInputs.push_back(*files[k].baseFile);
        }
    }
    for (const BondModel model : options.laws) {
        outputs.stems.push_back(stemOf(prefix, options.laws.size(), model));
        if (options.figureFile) {
            outputs.figures.push_back(figureOf(*options.figureFile, options.laws.size(), model));
        }
    }
    if (const std::string refusal = CheckFitOutputs(outputs, options.force); !refusal.empty()) {
        std::cerr << "orvane-batch fit: " << refusal << "\n";
        return kExitRefused;
    }

    std::vector<ReadSpecimen> read(files.size());
    if (!loadBase(options, files.front().baseFile, read.front().base)) {
        return kExitRefused;
    }
    const LoadedDataSet& base = read.front().base;
    // The fixed parameters' texts: as given, or the (first) base file's.
    std::array<std::optional<std::string>, kLawParameterCount> fixed;
    for (int j = 0; j < kLawParameterCount; ++j) {
        if (const auto& text = options.fixed[std::size_t(j)]) {
            fixed[std::size_t(j)] =
                text->empty() ? base.data.texts[std::size_t(kLawFields[std::size_t(j)])] : *text;
        }
    }
    // The law rises to its peak at smax and ends at su: fixed both, smax must stay below su.
    if (fixed[1] && fixed[2] && !(FieldValue(*fixed[1]) < FieldValue(*fixed[2]))) {
        std::cerr << "orvane-batch fit: --fix: smax " << *fixed[1] << " is not below su "
                  << *fixed[2] << "; smax must stay below su\n";
        return kExitRefused;
    }
    std::vector<FitSpecimen> specimens;
    for (std::size_t k = 0; k < files.size(); ++k) {
        if (!readSpecimen(options, files[k], read[k])) {
            return kExitRefused;
        }
        specimens.push_back(read[k].specimen);
    }

    const StopOnSignal stopOnSignal;
    ProgressLine progress(options.quiet);
    const std::string valueName =
        options.quantity == MeasuredQuantity::Load ? "load" : "average bond stress";
    const bool text = !options.json && !options.quiet;
    std::size_t points = 0;
    std::string specimensJson;
    for (std::size_t k = 0; k < files.size(); ++k) {
        const MeasuredCurve& curve = read[k].curve;
        points += specimens[k].target.slip.size();
        specimensJson +=
            std::string(k == 0 ? "" : ",") + "{\"measured\":" + JsonString(files[k].measuredFile) +
            ",\"base\":" + (files[k].baseFile ? JsonString(*files[k].baseFile) : "null") +
            ",\"points\":" + std::to_string(specimens[k].target.slip.size()) +
            ",\"units\":{\"slip\":" + JsonString(curve.slipUnit) +
            ",\"value\":" + JsonString(valueUnitOf(curve, options.quantity)) + "}}";
        if (text) {
            std::cout << (files.size() > 1 ? "specimen    " + files[k].measuredFile + ": "
                                           : std::string("measured    "))
                      << specimens[k].target.slip.size() << " points, slip in " << curve.slipUnit
                      << ", " << valueName << " in " << valueUnitOf(curve, options.quantity)
                      << (files.size() > 1 && files[k].baseFile ? ", base " + *files[k].baseFile
                                                                : std::string())
                      << "\n";
        }
    }
    if (text) {
        std::cout << "\n";
    }
    std::string json =
        "{" + JsonProgramKeys() + ",\"measured\":" + JsonString(files.front().measuredFile) +
        ",\"points\":" + std::to_string(points) +
        ",\"units\":{\"slip\":" + JsonString(read.front().curve.slipUnit) +
        ",\"value\":" + JsonString(valueUnitOf(read.front().curve, options.quantity)) +
        "},\"specimens\":[" + specimensJson + "],\"fits\":[";
    const BondLawFit* better = nullptr;
    std::vector<std::string> warnings; // of every law, each saying which
    std::vector<BondLawFit> fits;
    fits.reserve(options.laws.size());
    for (const BondModel model : options.laws) {
        FitSettings settings;
        settings.base = base.params;
        settings.baseTexts = base.data.texts;
        settings.model = model;
        settings.jobs = options.jobs;
        settings.fitSeatingOffset = options.fitSeatingOffset;
        settings.fixedTexts = fixed;
        settings.progress = [&, model](const FitProgress& p) {
            progress.show([&] {
                return "fit " + lawName(model) + ": " + std::to_string(p.modelRuns) +
                       " runs, RMSE " + BriefText(p.bestRmse) + " N  (" + BriefText(p.best[0]) +
                       ", " + BriefText(p.best[1]) + ", " + BriefText(p.best[2]) + ")";
            });
        };
        settings.stop = stopOnSignal.token();
        fits.push_back(FitBondLaw(specimens, settings));
        progress.clear();
        const BondLawFit& fit = fits.back();
        if (fit.cancelled || stopOnSignal.stopped()) {
            std::cerr << "orvane-batch fit: stopped by a signal; the " << lawTitle(model)
                      << " fit was not finished and nothing more is written\n";
            return kExitStopped;
        }
        if (!fit.problems.empty()) {
            std::cerr << "orvane-batch fit: the " << lawTitle(model) << " law cannot be fitted:\n";
            for (const std::string& problem : fit.problems) {
                std::cerr << "  " << problem << "\n";
            }
            return kExitRefused;
        }

        Written written;
        const std::string stem = stemOf(prefix, options.laws.size(), model);
        written.dataSet = stem + std::string(kDataSetExtension);
        written.csv = stem + ".csv";
        // The data set keeps the law; the parameter file beside it only where the law and the
        // rest read back from it the same (a bi-linear softening law and the default ds). Of
        // a series, the set is the first specimen's with the shared law.
        const std::string comment = fittedComment(files, model, base.params.comment);
        const DataSet fitted = FittedDataSet(fit, base.data, comment);
        FileStatus status = WriteDataSetFile(written.dataSet, fitted);
        if (status.ok() && NotKeptInParameterFile(fitted).empty()) {
            written.kvp = stem + ".kvp";
            status = SaveParameterFile(
                written.kvp, FittedParameterFile(fit, comment, base.params.detailOutput != 0));
        }
        if (status.ok()) {
            status = WriteWholeFile(written.csv, MeasuredAgainstModelCsv(specimens, fit));
        }
        if (!status.ok()) {
            std::cerr << "orvane-batch fit: " << status.message << "\n";
            return kExitFailed;
        }
        if (options.figureFile) {
            const std::string figure = figureOf(*options.figureFile, options.laws.size(), model);
            std::string error;
            const FigureFunctions* const figures = LoadFigureModule(error);
            if (figures) {
                std::vector<FitSpecimen> named = specimens;
                for (FitSpecimen& specimen : named) {
                    specimen.name = std::filesystem::path(specimen.name).filename().string();
                }
                error = figures->saveFitFigure(MakeFitFigures(named, fit), figure);
            }
            if (!error.empty()) {
                std::cerr << "orvane-batch fit: " << error << "\n";
                return kExitFailed;
            }
            written.figure = figure;
        }
        if (options.json) {
            json += (fits.size() > 1 ? "," : "") + fitJson(fit, written);
        } else if (text) {
            if (fits.size() > 1) {
                std::cout << "\n";
            }
            printFit(fit, written);
        }
        if (!better || fit.ssr < better->ssr) {
            better = &fit;
        }
        for (const std::string& warning : fit.warnings) {
            warnings.push_back(lawName(model) + ": " + warning);
        }
    }
    if (options.xlsx) {
        // Of a series, the first specimen's inputs and every specimen's points.
        const Workbook book = FitWorkbook(base.params, base.data.texts, specimens, fits);
        if (const FileStatus status = WriteWorkbook(*options.xlsx, book); !status.ok()) {
            std::cerr << "orvane-batch fit: " << status.message << "\n";
            return kExitFailed;
        }
    }
    if (options.json) {
        std::cout << json << "],\"better\":\"" << lawName(better->model)
                  << "\",\"warnings\":" << JsonStringList(warnings) << "}\n";
    } else if (text && fits.size() > 1) {
        std::cout << "\nthe " << lawTitle(better->model) << " law fits better\n";
    }
    return warnings.empty() ? kExitDone : kExitFitWarnings;
}

} // namespace orvane
