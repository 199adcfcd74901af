#include "core/engine/PulloutRun.h"
#include "core/files/DataSetFile.h"
#include "support/FileBytes.h"

#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace orvane {
namespace {

class DataSetFileTest : public testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("orvane-dataset-" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path file(const std::string& name, const std::string& bytes) const {
        const fs::path path = m_dir / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    fs::path m_dir;
};

std::vector<fs::path> ExampleParameterFiles() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(ORVANE_EXAMPLES_DIR)) {
        if (entry.path().extension() == ".kvp") {
            files.push_back(entry.path());
        }
    }
    return files;
}

// Parameter files as the parameter window writes them, from the examples and from texts a
// user may leave in the fields.
std::vector<std::string> ParameterFileBytes() {
    std::vector<std::string> files;
    for (const fs::path& example : ExampleParameterFiles()) {
        files.push_back(readFile(example));
    }
    ParameterFileTexts odd;
    odd.comment = "  \"Quoted\", back\\slash, tab\there, trailing blank ";
    odd.detailOutput = true;
    odd.fields = {"",      "abc", "1,5", "  2", "1e400", "-0", "0x10", "12mm",
                  "1E-07", "#",   "=",   "[x]", "'",     "\"", "\\"};
    ParameterFileTexts japanese = odd;
    japanese.comment = "付着試験　供試体No.2（τ = 5 MPa）";
    for (const ParameterFileTexts& texts : {odd, japanese}) {
        std::string bytes;
        EXPECT_TRUE(FormatParameterFile(texts, bytes).ok());
        files.push_back(bytes);
    }
    return files;
}

TEST_F(DataSetFileTest, ParameterFileRoundTripIsByteIdentical) {
    for (const std::string& kvp : ParameterFileBytes()) {
        SCOPED_TRACE(kvp.substr(0, kvp.find('\r')));
        ParameterFileTexts texts;
        ASSERT_TRUE(ParseParameterFile(kvp, "in.kvp", texts).ok());
        const fs::path orv = m_dir / "set.orv";
        ASSERT_TRUE(WriteDataSetFile(orv, DataSetFromParameterFile(texts)).ok());
        const DataSetRead read = ReadDataSetFile(orv);
        ASSERT_TRUE(read.status.ok()) << read.status.message;
        std::string back;
        ASSERT_TRUE(FormatParameterFile(ParameterFileTextsOf(read.dataSet), back).ok());
        EXPECT_EQ(back, kvp);
    }
}

TEST_F(DataSetFileTest, DataSetRoundTrip) {
    DataSet base;
    std::vector<DataSet> sets(8, base);
    sets[1].comment = "Haftverbund: Prüfkörper Nr. 3, Klebefläche größer als üblich";
    sets[2].comment = "Essai d'adhérence : éprouvette n° 4, béton à 28 jours « C30/37 »";
    sets[3].comment = "付着試験　供試体No.1（標準配合、τmax = 6.467 MPa）";
    sets[4].comment = "";
    sets[4].law = BondModel::PerfectlyBilinear;
    sets[4].detailOutput = true;
    sets[4].text(NumericField::InitialDs) = "2.5E-07";
    sets[5].concrete = {"30", "2.9", "lu2005"};
    sets[5].comment = "\"quotes\" \\ back\tslash # not a TOML comment";
    sets[6].concrete = {"", "", "lu2005"};
    sets[6].texts = {"",      "abc", "1,5", "  2", "1e400", "-0", "0x10", "12mm",
                     "1E-07", "#",   "=",   "[x]", "'",     "\"", "\\",   "\"\"\""};
    sets[7].comment = "😀 outside the basic plane";
    for (const DataSet& data : sets) {
        SCOPED_TRACE(data.comment);
        const fs::path path = m_dir / "set.orv";
        ASSERT_TRUE(WriteDataSetFile(path, data).ok());
        const DataSetRead read = ReadDataSetFile(path);
        ASSERT_TRUE(read.status.ok()) << read.status.message;
        EXPECT_EQ(read.dataSet, data);
        EXPECT_TRUE(LooksLikeDataSetFile(readFile(path)));
    }
}

// A data set run gives the run of its parameter file with the same law and initial ds, bit
// for bit, because both reach the run through the same texts.
TEST_F(DataSetFileTest, RunsAsTheParameterFileWithTheSameLawAndDs) {
    for (const fs::path& example : ExampleParameterFiles()) {
        for (const BondModel law : {BondModel::BilinearSoftening, BondModel::PerfectlyBilinear}) {
            SCOPED_TRACE(example.filename().string() + " " + std::string(BondLawName(law)));
            ParameterFileTexts texts;
            ASSERT_TRUE(LoadParameterFile(example, texts).ok());
            // What the parameter window does: load, choose the law, type the ds, Execute.
            AnalysisParameters fromKvp = StartupParameters();
            FieldTexts fields = StartupFieldTexts();
            std::copy(texts.fields.begin(), texts.fields.end(), fields.begin());
            fields[size_t(NumericField::InitialDs)] = "3E-07";
            fromKvp.comment = texts.comment;
            fromKvp.detailOutput = texts.detailOutput ? 1 : 0;
            fromKvp.bondModel = law;
            CopyFieldTexts(fromKvp, fields);

            const fs::path orv = m_dir / "set.orv";
            ASSERT_TRUE(WriteDataSetFile(orv, DataSetFromParameterFile(texts, law, "3E-07")).ok());
            const DataSetRead read = ReadDataSetFile(orv);
            ASSERT_TRUE(read.status.ok());
            const AnalysisParameters fromOrv = AnalysisParametersOf(read.dataSet);
            for (int f = 0; f < kNumericFieldCount; ++f) {
                EXPECT_EQ(std::bit_cast<std::uint32_t>(fromOrv.value(NumericField(f))),
                          std::bit_cast<std::uint32_t>(fromKvp.value(NumericField(f))))
                    << "field " << f;
            }
            EXPECT_EQ(fromOrv.bondModel, fromKvp.bondModel);
            EXPECT_EQ(fromOrv.detailOutput, fromKvp.detailOutput);
            EXPECT_EQ(fromOrv.comment, fromKvp.comment);
        }
    }
}

TEST_F(DataSetFileTest, PerfectlyBilinearExampleKeepsItsLaw) {
    const DataSetRead read =
        ReadDataSetFile(fs::path(ORVANE_EXAMPLES_DIR) / "perfectly-bilinear.orv");
    ASSERT_TRUE(read.status.ok()) << read.status.message;
    EXPECT_EQ(read.dataSet.law, BondModel::PerfectlyBilinear);
    AnalysisParameters params = AnalysisParametersOf(read.dataSet);
    PulloutRun run(params);
    while (run.step() == RunEnd::None) {
    }
    EXPECT_EQ(run.end(), RunEnd::BondFailure);
    EXPECT_NEAR(run.Pbumax(), 17092.5, 0.1);
}

TEST(DataSetFile, BareNumbersReadAsTheirShortestText) {
    const std::string text = "format = 1\n[analysis]\nlaw = \"bilinear-softening\"\n"
                             "tau_max_MPa = 6.467\ns_max_mm = 0.065\ns_u_mm = 3.54e-1\n"
                             "dl_mm = 0.12\nlb_mm = 120\ninitial_ds = 1e-7\n"
                             "[laminate]\nb_mm = 50\ntf_mm = 0.167\nEf_MPa = 230_000\n"
                             "[resin]\ntr_mm = 0.3\nEr_MPa = 2450\n"
                             "[concrete]\nbc_mm = 50.0\ndc_mm = 100\nEc_MPa = 24e3\nfc_MPa = 30\n"
                             "[rebar]\nAb_mm2 = 193.5\nEb_MPa = 206000\n";
    DataSet data;
    const FileStatus status = ParseDataSetFile(text, "bare.orv", data);
    ASSERT_TRUE(status.ok()) << status.message;
    EXPECT_EQ(data.text(NumericField::Lb), "120");
    EXPECT_EQ(data.text(NumericField::Su), "0.354");
    EXPECT_EQ(data.text(NumericField::Ef), "230000");
    EXPECT_EQ(data.concrete.fcText, "30");
    EXPECT_EQ(data.comment, "");
    EXPECT_FALSE(data.detailOutput);
    // The same single-precision numbers as the start-up texts.
    const AnalysisParameters params = AnalysisParametersOf(data);
    const AnalysisParameters startup = AnalysisParametersOf(DataSet{});
    for (int f = 0; f < kNumericFieldCount; ++f) {
        EXPECT_EQ(params.value(NumericField(f)), startup.value(NumericField(f))) << "field " << f;
    }
}

// A valid file with one line replaced; each bad file names the key and the line.
TEST(DataSetFile, BadFilesAreRefusedNamingKeyAndLine) {
    std::string good;
    ASSERT_TRUE(FormatDataSetFile(DataSet{}, good).ok());
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };
    const auto lineOf = [&](const std::string& key) {
        return "line " + std::to_string(1 + std::count(good.begin(),
                                                       good.begin() + long(good.find(key)), '\n'));
    };
    const struct {
        const char* what;
        std::string text;
        std::vector<std::string> expected; // each is in the message
    } cases[] = {
        {"law unknown",
         replaced("\"bilinear-softening\"", "\"trilinear\""),
         {lineOf("law ="), "[analysis] law", "\"trilinear\" is unknown"}},
        {"law a number",
         replaced("law = \"bilinear-softening\"", "law = 2"),
         {lineOf("law ="), "[analysis] law", "not a number"}},
        {"field a list",
         replaced("lb_mm = \"120.0\"", "lb_mm = [120]"),
         {lineOf("lb_mm"), "[analysis] lb_mm", "not a list"}},
        {"field true",
         replaced("Ef_MPa = \"230000\"", "Ef_MPa = true"),
         {lineOf("Ef_MPa"), "[laminate] Ef_MPa", "not true or false"}},
        {"field infinite",
         replaced("tr_mm = \"0.300\"", "tr_mm = inf"),
         {lineOf("tr_mm"), "[resin] tr_mm", "finite"}},
        {"field with line break",
         replaced("dc_mm = \"100.0\"", "dc_mm = \"100\\n0\""),
         {lineOf("dc_mm"), "[concrete] dc_mm", "line break"}},
        {"detail a text",
         replaced("detail_output = false", "detail_output = \"no\""),
         {lineOf("detail_output"), "[analysis] detail_output", "true or false"}},
        {"comment a number",
         replaced("comment = \"Please input the comment.\"", "comment = 1"),
         {lineOf("comment ="), "comment must be a text"}},
        {"key missing",
         replaced("Eb_MPa = \"206000\"\n", ""),
         {lineOf("[rebar]"), "[rebar] Eb_MPa is missing"}},
        {"law missing",
         replaced("law = \"bilinear-softening\"", ""),
         {lineOf("[analysis]"), "[analysis] law is missing"}},
        {"table missing", replaced("[resin]", "[resin_]"), {"unknown key resin_"}},
        {"table missing",
         replaced("[resin]\ntr_mm = \"0.300\"\nEr_MPa = \"2450\"\n", ""),
         {"[resin] is missing"}},
        {"unknown key",
         replaced("bc_mm =", "bc_m = \"1\"\nbc_mm ="),
         {lineOf("bc_mm ="), "unknown key [concrete] bc_m"}},
        {"duplicate key",
         replaced("tf_mm = \"0.167\"", "tf_mm = \"0.167\"\ntf_mm = \"0.2\""),
         {"line " + std::to_string(std::stoi(lineOf("tf_mm").substr(5)) + 1), "tf_mm"}},
        {"format missing", replaced("format = 1\n", ""), {"format is missing"}},
        {"format later",
         replaced("format = 1", "format = 2"),
         {lineOf("format ="), "later Orvane"}},
        {"format a text",
         replaced("format = 1", "format = \"1\""),
         {lineOf("format ="), "whole number"}},
        {"not TOML", replaced("[rebar]", "[rebar"), {lineOf("[rebar]")}},
        {"binary", replaced("Eb_MPa", std::string("Eb\0MPa", 6)), {lineOf("Eb_MPa"), "binary"}},
        {"not UTF-8", replaced("comment.", "comment\xE9"), {lineOf("comment ="), "not UTF-8"}},
        {"a parameter file", "Please input the comment.\r\n6.467\r\n", {"line 1"}},
        {"empty", "", {"format is missing"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DataSet data;
        data.comment = "untouched";
        const FileStatus status = ParseDataSetFile(c.text, "bad.orv", data);
        EXPECT_EQ(status.failure, FileFailure::NotDataSet);
        EXPECT_NE(status.message.find("\"bad.orv\""), std::string::npos) << status.message;
        for (const std::string& expected : c.expected) {
            EXPECT_NE(status.message.find(expected), std::string::npos)
                << "\"" << expected << "\" not in: " << status.message;
        }
        EXPECT_EQ(data.comment, "untouched");
    }
}

TEST_F(DataSetFileTest, FilesThatAreNoDataSetAreRefused) {
    const DataSetRead huge = ReadDataSetFile(file("huge.orv", std::string(2 << 20, '#')));
    EXPECT_EQ(huge.status.failure, FileFailure::NotDataSet);
    EXPECT_NE(huge.status.message.find("larger than 1 MiB"), std::string::npos);
    EXPECT_EQ(ReadDataSetFile(m_dir / "missing.orv").status.failure, FileFailure::CannotOpen);
    EXPECT_EQ(ReadDataSetFile(m_dir).status.failure, FileFailure::CannotOpen);
    const fs::path fifo = m_dir / "pipe.orv";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ReadDataSetFile(fifo).status.failure, FileFailure::NotRegularFile);
}

TEST_F(DataSetFileTest, TextsTheFileCannotHoldAreNotWritten) {
    const fs::path path = file("kept.orv", "old");
    for (const auto& [comment, what] :
         {std::pair{"two\nlines", "line break"}, std::pair{"bell\a", "control character"},
          std::pair{"\xFF\xFE", "not UTF-8"}}) {
        DataSet data;
        data.comment = comment;
        const FileStatus status = WriteDataSetFile(path, data);
        EXPECT_EQ(status.failure, FileFailure::Unencodable);
        EXPECT_NE(status.message.find(what), std::string::npos) << status.message;
        EXPECT_NE(status.message.find("comment"), std::string::npos) << status.message;
    }
    EXPECT_EQ(readFile(path), "old");
}

TEST(DataSetFile, WhatAParameterFileDoesNotKeep) {
    DataSet data;
    EXPECT_TRUE(NotKeptInParameterFile(data).empty());
    data.law = BondModel::PerfectlyBilinear;
    data.text(NumericField::InitialDs) = "1E-06";
    data.concrete.fcText = "30";
    const std::vector<std::string> lost = NotKeptInParameterFile(data);
    ASSERT_EQ(lost.size(), 3u);
    EXPECT_EQ(lost[0], "the bond law (perfectly-bilinear)");
    EXPECT_EQ(lost[1], "the initial ds (1E-06)");
}

TEST(DataSetFile, KindByNameAndContents) {
    EXPECT_TRUE(IsDataSetPath("a/b.orv"));
    EXPECT_TRUE(IsDataSetPath("B.ORV"));
    EXPECT_FALSE(IsDataSetPath("b.kvp"));
    EXPECT_FALSE(IsDataSetPath("orv"));
    EXPECT_TRUE(LooksLikeDataSetFile("# c\n\n  format = 1\n"));
    EXPECT_FALSE(LooksLikeDataSetFile("formatted comment\r\n6.467\r\n"));
    EXPECT_FALSE(LooksLikeDataSetFile("Please input the comment.\r\n"));
}

} // namespace
} // namespace orvane
