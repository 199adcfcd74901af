#include "core/study/ModelFactor.h"

#include "core/files/InputFile.h"
#include "core/numtext/NumberText.h"
#include "core/results/JsonText.h"

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <toml++/toml.h>

namespace orvane {

namespace {

constexpr std::size_t kMaxBytes = 64 * 1024; // a model factor file is a few lines

// Both numbers in the range the factor can have: a mean ratio of test to prediction far from
// 1 or a scatter beyond 200 % means the numbers were not what they were meant to be.
std::string checkValues(double mean, double cov) {
    if (!std::isfinite(mean) || !(mean > 0) || mean > 100) {
        return "the mean must be a positive number up to 100, not " + ShortestText(mean);
    }
    if (!std::isfinite(cov) || cov < 0 || cov > 2) {
        return "the coefficient of variation must be from 0 to 2, not " + ShortestText(cov);
    }
    return {};
}

// A TOML float: the shortest round-trip text, with ".0" where it would read as an integer.
std::string tomlFloat(double value) {
    std::string text = ShortestText(value);
    if (text.find_first_of(".en") == std::string::npos) {
        text += ".0";
    }
    return text;
}

} // namespace

double ModelFactor::logDeviation() const {
    return std::sqrt(std::log1p(cov * cov));
}

double ModelFactor::logMean() const {
    const double s = logDeviation();
    return std::log(mean) - s * s / 2;
}

std::string ModelFactor::definition() const {
    return "lognormal:" + ShortestText(mean) + ":" + ShortestText(cov);
}

std::string FormatModelFactorFile(const ModelFactor& factor) {
    // A TOML basic string takes the same escapes as a JSON string.
    std::string text = "# Orvane model factor: test/predicted as a lognormal variable\n"
                       "[model_factor]\n"
                       "distribution = \"lognormal\"\n"
                       "mean = " +
                       tomlFloat(factor.mean) + "\ncov = " + tomlFloat(factor.cov) + "\n";
    if (factor.tests) {
        text += "tests = " + std::to_string(*factor.tests) + "\n";
    }
    if (!factor.model.empty()) {
        text += "model = " + JsonString(factor.model) + "\n";
    }
    return text;
}

ModelFactorRead ParseModelFactorValues(std::string_view text) {
    ModelFactorRead read;
    const std::size_t colon = text.find(':');
    const std::optional<double> mean =
        colon == std::string_view::npos ? std::nullopt : ParseWholeNumber(text.substr(0, colon));
    const std::optional<double> cov =
        colon == std::string_view::npos ? std::nullopt : ParseWholeNumber(text.substr(colon + 1));
    if (!mean || !cov) {
        read.error = QuotedEntry(text) + " is neither MEAN:COV nor a file";
        return read;
    }
    read.error = checkValues(*mean, *cov);
    read.factor.mean = *mean;
    read.factor.cov = *cov;
    return read;
}

ModelFactorRead ParseModelFactorFile(std::string_view text, const std::string& name) {
    ModelFactorRead read;
    const std::string where = "\"" + name + "\"";
    toml::table root;
    try {
        root = toml::parse(text, name);
    } catch (const toml::parse_error& error) {
        read.error = where + ", line " + std::to_string(error.source().begin.line) + ": " +
                     std::string(error.description());
        return read;
    }
    const toml::table* table = root["model_factor"].as_table();
    if (!table) {
        read.error = where + ": no [model_factor] table";
        return read;
    }
    const auto number = [&](std::string_view key) -> std::optional<double> {
        const toml::node* node = table->get(key);
        if (!node) {
            return std::nullopt;
        }
        if (const auto* real = node->as_floating_point()) {
            return real->get();
        }
        if (const auto* integer = node->as_integer()) {
            return double(integer->get());
        }
        return std::nullopt;
    };
    for (const auto& [key, node] : *table) {
        if (key != "distribution" && key != "mean" && key != "cov" && key != "tests" &&
            key != "model") {
            read.error = where + ", line " + std::to_string(node.source().begin.line) +
                         ": unknown key " + std::string(key.str());
            return read;
        }
    }
    if (table->get_as<std::string>("distribution") == nullptr ||
        table->get_as<std::string>("distribution")->get() != "lognormal") {
        read.error = where + ": distribution must be \"lognormal\"";
        return read;
    }
    const std::optional<double> mean = number("mean");
    const std::optional<double> cov = number("cov");
    if (!mean || !cov) {
        read.error = where + ": mean and cov must be numbers";
        return read;
    }
    if (const std::string problem = checkValues(*mean, *cov); !problem.empty()) {
        read.error = where + ": " + problem;
        return read;
    }
    read.factor.mean = *mean;
    read.factor.cov = *cov;
    if (const auto* tests = table->get_as<std::int64_t>("tests")) {
        read.factor.tests = tests->get();
    } else if (table->get("tests")) {
        read.error = where + ": tests must be a whole number";
        return read;
    }
    if (const auto* model = table->get_as<std::string>("model")) {
        read.factor.model = model->get();
    } else if (table->get("model")) {
        read.error = where + ": model must be a text in quotes";
        return read;
    }
    read.factor.source = name;
    return read;
}

ModelFactorRead ReadModelFactorFile(const std::string& path) {
    ModelFactorRead read;
    const InputFile file = ReadInputFile(path, kMaxBytes);
    switch (file.problem) {
    case InputFileProblem::None:
        return ParseModelFactorFile(file.bytes, path);
    case InputFileProblem::NotRegularFile:
        read.error = "\"" + path + "\" is not a regular file";
        break;
    case InputFileProblem::TooLarge:
        read.error = "\"" + path + "\" is larger than a model factor file can be";
        break;
    case InputFileProblem::CannotRead:
        read.error = file.errorNumber == ENOENT   ? "\"" + path + "\" is not there"
                     : file.errorNumber == EISDIR ? "\"" + path + "\" is not a regular file"
                                                  : "cannot open \"" + path + "\"";
        break;
    }
    return read;
}

ModelFactorRead ReadModelFactor(const std::string& given) {
    std::error_code error;
    if (std::filesystem::exists(given, error) || given.find(':') == std::string::npos) {
        return ReadModelFactorFile(given);
    }
    return ParseModelFactorValues(given);
}

} // namespace orvane
