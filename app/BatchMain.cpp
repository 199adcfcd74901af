// orvane-batch: the pull-out analysis without windows, for scripted and repeated runs.

#include "app/BatchOptions.h"
#include "app/BatchReport.h"
#include "app/StudyCommand.h"
#include "engine/PulloutRun.h"
#include "engine/RunChecks.h"
#include "files/ParameterFile.h"
#include "numtext/NumberText.h"
#include "output/ResultFileRun.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <unistd.h>

using namespace orvane;

namespace {

constexpr int kExitDone = 0;
constexpr int kExitWriteFailed = 1;
constexpr int kExitRefused = 2;

// Shows the step on a terminal now and then, so a long run is seen to be alive.
class ProgressLine : public RunObserver {
public:
    void stepFinished(const StepResult& result) override {
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastShown < std::chrono::milliseconds(250)) {
            return;
        }
        m_lastShown = now;
        std::cerr << "\rstep " << result.step << "  sl " << FormatMask(result.sl, "0.000e+00")
                  << " mm  Pl " << FormatMask(result.Pl, "0.000e+00") << " N   " << std::flush;
        m_shown = true;
    }
    void clear() const {
        if (m_shown) {
            std::cerr << "\r\033[K" << std::flush;
        }
    }

private:
    std::chrono::steady_clock::time_point m_lastShown = std::chrono::steady_clock::now();
    bool m_shown = false;
};

// The shortest text that reads back as the same double or single.
template <class Number>
std::string jsonNumber(Number value) {
    if (!std::isfinite(value)) {
        return "null";
    }
    char text[64];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

std::string jsonString(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

// The data set as the parameter window would hold it after loading FILE (or at start-up):
// the field texts, then the values Execute copies from them.
struct DataSet {
    AnalysisParameters params = StartupParameters();
    FieldTexts texts;
};

bool loadDataSet(const BatchOptions& options, DataSet& data) {
    data.texts = StartupFieldTexts();
    if (options.parameterFile) {
        ParameterFileTexts file;
        const FileStatus status = LoadParameterFile(*options.parameterFile, file);
        if (!status.ok()) {
            std::cerr << "orvane-batch: " << status.message << "\n";
            return false;
        }
        data.params.comment = file.comment;
        data.params.detailOutput = file.detailOutput ? 1 : 0;
        for (int f = 0; f < kStoredFieldCount; ++f) {
            data.texts[f] = file.fields[f];
        }
        const std::string fullPath =
            std::filesystem::absolute(*options.parameterFile).lexically_normal().string();
        data.params.chosenFilePath = fullPath;
        data.params.parameterFilePath = fullPath;
    }
    if (options.detailOutput) {
        data.params.detailOutput = *options.detailOutput ? 1 : 0;
    }
    data.params.bondModel = options.model;
    data.texts[static_cast<int>(NumericField::InitialDs)] = options.initialDsText;
    CopyFieldTexts(data.params, data.texts);
    return true;
}

const char* endName(RunEnd end) {
    return end == RunEnd::StepLimit ? "step-limit" : "failure";
}

void printSummary(const BatchOptions& options, const RunSummary& run, std::ostream& out,
                  const BondQuantities& bond) {
    if (options.json) {
        out << "{\"steps\":" << run.steps << ",\"n\":" << run.n
            << ",\"Pbumax\":" << jsonNumber(run.Pbumax) << ",\"slmax\":" << jsonNumber(run.slmax)
            << ",\"ds\":" << jsonNumber(run.ds) << BondSummaryJson(bond, run.Pbumax)
            << ",\"end\":\"" << endName(run.end) << "\",\"file\":" << jsonString(run.file) << "}\n";
        return;
    }
    out << "steps       " << run.steps << "\n"
        << "elements    " << run.n << "\n"
        << "Pbumax      " << FormatMask(run.Pbumax, "0.000e+00") << " N\n"
        << "slmax       " << FormatMask(run.slmax, "0.000e+00") << " mm\n"
        << "final ds    " << SingleToText(run.ds) << " mm\n"
        << "end         "
        << (run.end == RunEnd::StepLimit ? "step limit: no bond failure within " +
                                               std::to_string(PulloutRun::kMaxSteps) + " steps"
                                         : std::string("bond failure"))
        << "\n"
        << "result file " << run.file << "\n"
        << BondSummaryText(bond, run.Pbumax);
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string_view(argv[1]) == "study")
        return RunStudyCommand(argc - 1, argv + 1);
    const BatchOptionsParse parse =
        ParseBatchOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parse.error.empty()) {
        std::cerr << "orvane-batch: " << parse.error << "\n\n" << kBatchUsage;
        return kExitRefused;
    }
    const BatchOptions& options = parse.options;
    if (options.help) {
        std::cout << kBatchUsage;
        return kExitDone;
    }

    DataSet data;
    if (!loadDataSet(options, data)) {
        return kExitRefused;
    }
    const std::vector<std::string> problems = CheckRun(data.params, data.texts);
    if (!problems.empty()) {
        std::cerr << "orvane-batch: the data set cannot be run:\n";
        for (const std::string& problem : problems) {
            std::cerr << "  " << problem << "\n";
        }
        return kExitRefused;
    }

    BatchReport report(options);
    if (!report.begin(data.params)) {
        std::cerr << "orvane-batch: " << report.error() << "\n";
        return kExitWriteFailed;
    }
    const BondQuantities bond = ComputeBondQuantities(data.params);
    ProgressLine progress;
    const RunSummary run =
        RunToResultFile(data.params, options.outputPath.value_or(""),
                        report.observer(isatty(STDERR_FILENO) ? &progress : nullptr));
    progress.clear();
    if (!run.status.ok()) {
        std::cerr << "orvane-batch: " << run.status.message;
        if (run.steps > 0) {
            std::cerr << " The run stopped at step " << run.steps << ".";
        }
        std::cerr << "\n";
        return kExitWriteFailed;
    }
    if (!report.finish(run)) {
        std::cerr << "orvane-batch: " << report.error() << "\n";
        return kExitWriteFailed;
    }
    printSummary(options, run, report.summaryStream(), bond);
    return kExitDone;
}
