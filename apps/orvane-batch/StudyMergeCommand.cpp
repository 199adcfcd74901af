// orvane-batch study merge: the shards' outputs joined into the whole study's file.

#include "apps/orvane-batch/StudyCommand.h"
#include "core/files/InputFile.h"
#include "core/results/ExitStatus.h"
#include "core/results/OutputFile.h"
#include "core/results/OutputPolicy.h"
#include "core/study/SamplingWriters.h"
#include "core/study/Shard.h"

#include <cerrno>
#include <iostream>
#include <limits>

namespace orvane {

namespace {

// A shard's file read whole, however large: the merge holds the whole study.
bool readShard(const std::string& path, std::string& text) {
    InputFile file = ReadInputFile(path, std::numeric_limits<std::size_t>::max() - 1);
    const bool missing = file.problem == InputFileProblem::CannotRead &&
                         (file.errorNumber == ENOENT || file.errorNumber == EISDIR);
    if (file.problem == InputFileProblem::NotRegularFile || missing) {
        std::cerr << "orvane-batch study merge: \"" << path << "\" is not a regular file\n";
        return false;
    }
    if (file.problem != InputFileProblem::None) {
        std::cerr << "orvane-batch study merge: cannot read \"" << path << "\"\n";
        return false;
    }
    text = std::move(file.bytes);
    return true;
}

} // namespace

int RunStudyMergeCommand(const StudyMergeOptions& options) {
    std::vector<PolicyInput> inputs;
    for (const std::string& shard : options.shards) {
        inputs.push_back({shard, "one of the shards"});
    }
    std::vector<PolicyOutput> outputs = {{*options.output, "-o", false}};
    for (const auto& [path, role] :
         {std::pair{&options.summary, "--summary"}, std::pair{&options.figure, "--figure"}}) {
        if (*path) {
            outputs.push_back({**path, role, false});
        }
    }
    if (const std::string refusal = CheckOutputs(inputs, outputs, false); !refusal.empty()) {
        std::cerr << "orvane-batch study merge: " << refusal << "\n";
        return kExitRefused;
    }
    std::vector<std::string> texts(options.shards.size());
    for (std::size_t k = 0; k < texts.size(); ++k) {
        if (!readShard(options.shards[k], texts[k])) {
            return kExitRefused;
        }
    }
    const MergedShards merged = MergeShards(texts, options.shards);
    if (!merged.error.empty()) {
        std::cerr << "orvane-batch study merge: " << merged.error << "\n";
        return kExitRefused;
    }
    const bool summarize =
        options.summary || options.figure || options.partialFactor || options.targetBeta;
    std::optional<SampledCsv> sampled;
    if (summarize) {
        sampled = ReadSampledCsv(merged.text);
        if (!sampled->error.empty()) {
            std::cerr << "orvane-batch study merge: --summary, --figure and the design factors "
                         "need the CSV of a sampled study: "
                      << sampled->error << "\n";
            return kExitRefused;
        }
    }
    if (*options.output == "-") {
        std::cout << merged.text << std::flush;
    } else if (const FileStatus status = WriteWholeFile(*options.output, merged.text);
               !status.ok()) {
        std::cerr << "orvane-batch study merge: " << status.message << "\n";
        return kExitFailed;
    }
    if (!sampled) {
        return kExitDone;
    }
    return ReportCapacities(*sampled, {options.partialFactor, options.targetBeta}, options.summary,
                            options.figure, "orvane-batch study merge", options.quiet);
}

} // namespace orvane
