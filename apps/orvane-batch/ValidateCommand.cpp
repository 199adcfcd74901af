#include "apps/orvane-batch/ValidateCommand.h"

#include "apps/orvane-batch/DataSet.h"
#include "apps/orvane-batch/FigureModule.h"
#include "apps/orvane-batch/OutputChecks.h"
#include "apps/orvane-batch/ProgressLine.h"
#include "apps/orvane-batch/StopOnSignal.h"
#include "apps/orvane-batch/Workbooks.h"
#include "core/results/ExitStatus.h"
#include "core/results/OutputFile.h"
#include "core/study/Study.h"
#include "core/validation/Validation.h"
#include "core/validation/ValidationWriters.h"

#include <iostream>
#include <system_error>

namespace orvane {

namespace {

constexpr const char* kName = "orvane-batch validate: ";

} // namespace

int RunValidateCommand(const ValidateOptions& options) {
    LoadedDataSet base;
    if (const FileStatus status = LoadDataSet(options.baseFile, {}, base); !status.ok()) {
        std::cerr << kName << status.message << "\n";
        return kExitRefused;
    }
    ValidationSetup setup;
    setup.base = base.params;
    setup.baseTexts = base.data.texts;
    setup.law = *FindBondSlipModel(options.lawFrom);
    if (const std::string refusal =
            CheckValidateOutputs(options.tests, options.baseFile, options.csv, options.figure,
                                 options.modelFactor, options.xlsx);
        !refusal.empty()) {
        std::cerr << kName << refusal << "\n";
        return kExitRefused;
    }
    const TestDatabase database = ReadTestDatabaseFile(options.tests);
    if (!database.error.empty()) {
        std::cerr << kName << database.error << "\n";
        return kExitRefused;
    }
    if (database.rows.empty()) {
        std::cerr << kName << options.tests << ": the header is followed by no tests\n";
        return kExitRefused;
    }
    for (const std::string& column : database.ignoredColumns) {
        std::cerr << kName << "column \"" << column << "\" is not one of ours; passed over\n";
    }
    const std::span<const TestRow> rows = ShardOf(database.rows, options.shard, options.shards);

    const StopOnSignal stopOnSignal;
    ProgressLine progress(options.quiet);
    std::vector<TestResult> results;
    results.reserve(rows.size());
    try {
        RunValidation(
            setup, rows, options.jobs > 0 ? options.jobs : DefaultJobs(),
            [&](const TestResult& result) {
                results.push_back(result);
                progress.show(
                    [&] {
                        return "tests " + std::to_string(results.size()) + "/" +
                               std::to_string(rows.size());
                    },
                    results.size() == rows.size());
                return true;
            },
            stopOnSignal.token());
    } catch (const std::system_error& error) {
        progress.clear();
        std::cerr << kName << "cannot start the threads for the runs: " << error.code().message()
                  << "\n";
        return kExitFailed;
    }
    progress.clear();
    if (results.size() < rows.size()) {
        std::cerr << kName << "stopped after " << results.size() << " of " << rows.size()
                  << " tests; nothing written\n";
        return kExitStopped;
    }

    const ValidationSummary summary = SummarizeValidation(results);
    const std::vector<std::string> warnings = ValidationWarnings(summary);
    const ModelStatistics& orvane = summary.groups.front().models.front();
    bool failed = false;
    const auto write = [&](const std::optional<std::string>& path, const std::string& text) {
        if (!path) {
            return;
        }
        if (*path == "-") {
            std::cout << text;
        } else if (const FileStatus written = WriteWholeFile(*path, text); !written.ok()) {
            std::cerr << kName << written.message << "\n";
            failed = true;
        }
    };
    write(options.csv, ValidationCsv(results, options.lawFrom));
    if (options.modelFactor) {
        if (orvane.n < 2) {
            std::cerr << kName
                      << "--model-factor: fewer than two tests were run; no file written\n";
            failed = true;
        } else {
            write(options.modelFactor, ModelFactorText(orvane, options.lawFrom));
        }
    }
    if (options.figure) {
        std::string problem;
        if (const FigureFunctions* figures = LoadFigureModule(problem)) {
            problem = figures->saveValidationFigure(MakeValidationFigure(results, options.lawFrom),
                                                    *options.figure);
        }
        if (!problem.empty()) {
            std::cerr << kName << problem << "\n";
            failed = true;
        }
    }
    if (options.xlsx) {
        const Workbook book =
            ValidationWorkbook(setup.base, setup.baseTexts, options.lawFrom, results);
        if (const FileStatus status = WriteWorkbook(*options.xlsx, book); !status.ok()) {
            std::cerr << kName << status.message << "\n";
            failed = true;
        }
    }
    const std::string report = options.json ? ValidationJson(summary, options.lawFrom, warnings)
                                            : ValidationText(summary, options.lawFrom);
    if (options.json || !options.quiet) {
        (options.csv == "-" ? std::cerr : std::cout) << report;
    }
    for (const std::string& warning : warnings) {
        std::cerr << kName << "warning: " << warning << "\n";
    }
    if (failed) {
        return kExitFailed;
    }
    if (orvane.n == 0) {
        std::cerr << kName << "no test could be run; the CSV's problem column says why\n";
        return kExitRefused;
    }
    return warnings.empty() ? kExitDone : kExitValidateWarnings;
}

} // namespace orvane
