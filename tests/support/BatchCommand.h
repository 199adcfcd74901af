#pragma once

// orvane-batch run as a user runs it, each test in a temporary working directory of its own.

#include "core/files/ParameterFile.h"
#include "support/FileBytes.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

struct BatchRun {
    int exitCode;
    std::string out;
    std::string err;
};

// Runs orvane-batch in its own temporary working directory.
class BatchCommand : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orvane-batch-XXXXXX").string();
        m_dir = mkdtemp(pattern.data());
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    BatchRun run(const std::string& arguments) const {
        return runProgram(ORVANE_BATCH_COMMAND, arguments);
    }
    BatchRun runProgram(const std::string& program, const std::string& arguments) const {
        const std::string command =
            "cd '" + m_dir.string() + "' && '" + program + "' " + arguments + " >out.txt 2>err.txt";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(m_dir / "out.txt"),
                readFile(m_dir / "err.txt")};
    }

    void saveParameterFile(const std::string& name, int field, const std::string& text) const {
        orvane::ParameterFileTexts texts;
        texts.comment = "beam";
        for (int f = 0; f < orvane::kStoredFieldCount; ++f) {
            texts.fields[f] = orvane::StartupFieldTexts()[f];
        }
        texts.fields[field] = text;
        ASSERT_TRUE(orvane::SaveParameterFile((m_dir / name).string(), texts).ok());
    }

    std::filesystem::path m_dir;
};
