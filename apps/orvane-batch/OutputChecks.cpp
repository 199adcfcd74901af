#include "apps/orvane-batch/OutputChecks.h"

#include "core/results/RunFigure.h"

namespace orvane {

namespace {

// A run's figures: NAME.pdf is one file, NAME.svg and NAME.png stand for three.
std::vector<std::string> runFigureFiles(const std::string& path) {
    if (FigureFormatOf(path) == FigureFormat::Pdf) {
        return {path};
    }
    std::vector<std::string> files;
    for (const FigureKind kind : kFigureKinds) {
        files.push_back(FigureFileName(path, kind));
    }
    return files;
}

} // namespace

std::string CheckRunOutputs(const RunOutputNames& names, bool force) {
    std::vector<PolicyInput> inputs;
    if (names.parameterFile) {
        inputs.push_back({*names.parameterFile, "the parameter file"});
    }
    std::vector<PolicyOutput> outputs;
    if (names.resultFile) {
        outputs.push_back({*names.resultFile, "-o", false});
    } else {
        outputs.push_back({names.derivedResultFile, "the result file", true});
    }
    if (names.csv) {
        outputs.push_back({*names.csv, "--csv", false});
    }
    if (names.csvDistribution) {
        outputs.push_back({*names.csvDistribution, "--csv-distribution", false});
    }
    if (names.figure) {
        for (const std::string& file : runFigureFiles(*names.figure)) {
            outputs.push_back({file, "--figure", false});
        }
    }
    if (names.xlsx) {
        outputs.push_back({*names.xlsx, "--xlsx", false});
    }
    std::string refusal = CheckOutputs(inputs, outputs, force);
    // An installed example lies in a folder its user cannot write: say how to run it anyway.
    if (!names.resultFile && refusal.starts_with("the result file ") &&
        refusal.find("cannot be written") != std::string::npos) {
        refusal += "; -o PATH writes the result file elsewhere";
    }
    return refusal;
}

std::string CheckStudyOutputs(const std::optional<std::string>& baseFile,
                              const std::optional<std::string>& csv,
                              const std::optional<std::string>& jsonl,
                              const std::optional<std::string>& figure,
                              const std::optional<std::string>& xlsx) {
    std::vector<PolicyInput> inputs;
    if (baseFile) {
        inputs.push_back({*baseFile, "the base file"});
    }
    std::vector<PolicyOutput> outputs;
    for (const auto& [path, role] : {std::pair{&csv, "--csv"}, std::pair{&jsonl, "--jsonl"},
                                     std::pair{&figure, "--figure"}, std::pair{&xlsx, "--xlsx"}}) {
        if (*path) {
            outputs.push_back({**path, role, false});
        }
    }
    return CheckOutputs(inputs, outputs, false);
}

std::string CheckSampledStudyOutputs(const SampledStudyOutputNames& names) {
    std::vector<PolicyInput> inputs;
    for (const auto& [path, role] : {std::pair{&names.baseFile, "the base file"},
                                     std::pair{&names.modelFactorFile, "the model factor file"}}) {
        if (*path) {
            inputs.push_back({**path, role});
        }
    }
    std::vector<PolicyOutput> outputs;
    for (const auto& [path, role] :
         {std::pair{&names.csv, "--csv"}, std::pair{&names.jsonl, "--jsonl"},
          std::pair{&names.summary, "--summary"}, std::pair{&names.figure, "--figure"}}) {
        if (*path) {
            outputs.push_back({**path, role, false});
        }
    }
    return CheckOutputs(inputs, outputs, false);
}

std::string CheckFitOutputs(const FitOutputNames& names, bool force) {
    std::vector<PolicyInput> inputs = {{names.measuredFile, "the measured file"}};
    if (names.parameterFile) {
        inputs.push_back({*names.parameterFile, "the base file"});
    }
    for (const std::string& input : names.seriesInputs) {
        inputs.push_back({input, "an input of the series"});
    }
    const std::string role = names.derived ? "the fitted file" : "--output";
    std::vector<PolicyOutput> outputs;
    for (const std::string& stem : names.stems) {
        outputs.push_back({stem + ".kvp", role, names.derived});
        outputs.push_back({stem + ".csv", role, names.derived});
        outputs.push_back({stem + ".orv", role, names.derived});
    }
    for (const std::string& figure : names.figures) {
        outputs.push_back({figure, "--figure", false});
    }
    if (names.xlsx) {
        outputs.push_back({*names.xlsx, "--xlsx", false});
    }
    return CheckOutputs(inputs, outputs, force);
}

std::string CheckValidateOutputs(const std::string& tests,
                                 const std::optional<std::string>& baseFile,
                                 const std::optional<std::string>& csv,
                                 const std::optional<std::string>& figure,
                                 const std::optional<std::string>& modelFactor,
                                 const std::optional<std::string>& xlsx) {
    std::vector<PolicyInput> inputs{{tests, "the test database"}};
    if (baseFile) {
        inputs.push_back({*baseFile, "the base file"});
    }
    std::vector<PolicyOutput> outputs;
    for (const auto& [path, role] :
         {std::pair{&csv, "--csv"}, std::pair{&figure, "--figure"},
          std::pair{&modelFactor, "--model-factor"}, std::pair{&xlsx, "--xlsx"}}) {
        if (*path) {
            outputs.push_back({**path, role, false});
        }
    }
    return CheckOutputs(inputs, outputs, false);
}

std::string CheckSingleOutput(const std::optional<std::string>& input, const std::string& inputRole,
                              const std::string& output, const std::string& outputRole) {
    std::vector<PolicyInput> inputs;
    if (input) {
        inputs.push_back({*input, inputRole});
    }
    return CheckOutputs(inputs, {{output, outputRole, false}}, false);
}

} // namespace orvane
