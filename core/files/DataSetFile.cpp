#include "core/files/DataSetFile.h"

#include "core/files/InputFile.h"
#include "core/results/OutputFile.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <toml++/toml.h>
#include <unistd.h>

namespace orvane {
namespace {

constexpr size_t kMaxBytes = kMaxDataSetFileBytes;

// Where each numeric field lives in the file: the tables follow the parameter window's groups,
// and each key carries the field's unit.
struct FieldKey {
    std::string_view table;
    std::string_view key;
    NumericField field;
};

constexpr std::array<FieldKey, kNumericFieldCount> kFieldKeys = {{
    {"analysis", "tau_max_MPa", NumericField::TauMax},
    {"analysis", "s_max_mm", NumericField::SMax},
    {"analysis", "s_u_mm", NumericField::Su},
    {"analysis", "dl_mm", NumericField::Dl},
    {"analysis", "lb_mm", NumericField::Lb},
    {"analysis", "initial_ds", NumericField::InitialDs},
    {"laminate", "b_mm", NumericField::B},
    {"laminate", "tf_mm", NumericField::Tf},
    {"laminate", "Ef_MPa", NumericField::Ef},
    {"resin", "tr_mm", NumericField::Tr},
    {"resin", "Er_MPa", NumericField::Er},
    {"concrete", "bc_mm", NumericField::Bc},
    {"concrete", "dc_mm", NumericField::Dc},
    {"concrete", "Ec_MPa", NumericField::Ec},
    {"rebar", "Ab_mm2", NumericField::Ab},
    {"rebar", "Eb_MPa", NumericField::Eb},
}};

constexpr std::array<std::string_view, 5> kTables = {"analysis", "laminate", "resin", "concrete",
                                                     "rebar"};

// Keys that may be left out, beside the fields' keys.
constexpr std::string_view kLawKey = "law";
constexpr std::string_view kDetailKey = "detail_output";
constexpr std::string_view kFcKey = "fc_MPa";
constexpr std::string_view kFtKey = "ft_MPa";
constexpr std::string_view kLawModelKey = "law_model";

bool isControl(char c) {
    return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F;
}

// The length of the UTF-8 sequence at text[pos], or 0 when it is not one (overlong forms,
// surrogates and code points past U+10FFFF included).
size_t utf8Length(std::string_view text, size_t pos) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[pos + k]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (pos + length > text.size() || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (size_t k = 2; k < length; ++k) {
        if (byte(k) < 0x80 || byte(k) > 0xBF) {
            return 0;
        }
    }
    return length;
}

// The offset of the first byte that is not part of valid UTF-8, or npos.
size_t firstNonUtf8(std::string_view text) {
    for (size_t pos = 0; pos < text.size();) {
        const size_t length = utf8Length(text, pos);
        if (length == 0) {
            return pos;
        }
        pos += length;
    }
    return std::string_view::npos;
}

int lineAt(std::string_view text, size_t offset) {
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + long(offset), '\n'));
}

bool isBareKeyCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
}

// Whether a line that holds a character beyond ASCII has it only where the TOML reader may
// meet one safely: in a comment, or in the "…" text of a plain key = "text" line (a comment may
// follow). toml++ 3.3 tests a character outside texts against a table of whitespace that has no
// answer for most code points (undefined behaviour, fixed upstream), and does so inside """
// texts and while it reads a malformed value; such lines are refused before it reads them.
bool nonAsciiOnlyInTextsAndComments(std::string_view line) {
    size_t pos = line.find_first_not_of(" \t");
    if (pos == std::string_view::npos || line[pos] == '#') {
        return true;
    }
    // The comment after a value or table header that is ASCII, such as [resin] or lb_mm = 120.
    const size_t quote = line.find_first_of("\"'", pos);
    const size_t hash = line.find('#', pos);
    const auto ascii = [](std::string_view part) {
        return std::all_of(part.begin(), part.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    };
    if (hash < quote) {
        return ascii(line.substr(0, hash));
    }
    // key = "text"
    const size_t keyEnd =
        std::find_if_not(line.begin() + long(pos), line.end(), isBareKeyCharacter) - line.begin();
    pos = line.find_first_not_of(" \t", keyEnd);
    if (keyEnd == line.find_first_not_of(" \t") || pos == std::string_view::npos ||
        line[pos] != '=') {
        return false;
    }
    pos = line.find_first_not_of(" \t", pos + 1);
    if (pos == std::string_view::npos || line[pos] != '"' || line.substr(pos, 3) == "\"\"\"") {
        return false;
    }
    for (++pos; pos < line.size() && line[pos] != '"'; ++pos) {
        pos += line[pos] == '\\' ? 1 : 0;
    }
    if (pos >= line.size()) {
        return false;
    }
    pos = line.find_first_not_of(" \t\r", pos + 1);
    return pos == std::string_view::npos || line[pos] == '#';
}

// The line number of the first line that nonAsciiOnlyInTextsAndComments refuses, or 0.
int lineWithNonAsciiOutsideTexts(std::string_view text) {
    int number = 1;
    for (size_t pos = 0; pos < text.size(); ++number) {
        const size_t end = std::min(text.find('\n', pos), text.size());
        const std::string_view line = text.substr(pos, end - pos);
        const bool plain = std::all_of(line.begin(), line.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        if (!plain && !nonAsciiOnlyInTextsAndComments(line)) {
            return number;
        }
        pos = end + 1;
    }
    return 0;
}

// A TOML basic string; the caller has made sure text holds no control character but tab.
std::string quotedToml(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (c == '\t') {
            quoted += "\\t";
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

FileStatus unwritable(std::string_view key, const std::string& what) {
    return {FileFailure::Unencodable, EILSEQ,
            "The " + std::string(key) + " text contains " + what +
                ", which a data-set file cannot store."};
}

// Refuses a text the reader would not give back unchanged.
FileStatus checkWritable(std::string_view key, std::string_view text) {
    if (firstNonUtf8(text) != std::string_view::npos) {
        return unwritable(key, "bytes that are not UTF-8");
    }
    const auto control = std::find_if(text.begin(), text.end(), isControl);
    if (control != text.end()) {
        return unwritable(key, *control == '\n' || *control == '\r' ? std::string("a line break")
                                                                    : "a control character");
    }
    return {};
}

// Reading: the first fault found, as a message that names the file, the line and the key.
class Reader {
public:
    explicit Reader(const std::string& path) : m_path(path) {}

    FileStatus failure(const toml::source_region& where, const std::string& what) const {
        std::string message = "\"" + m_path + "\"";
        if (where.begin.line > 0) {
            message += ", line " + std::to_string(where.begin.line);
        }
        return {FileFailure::NotDataSet, 0, message + ": " + what};
    }

    // A field's text: a string as it stands, or a number written bare, as its shortest text.
    FileStatus fieldText(const toml::node& node, const std::string& name, std::string& text) const {
        if (const auto* string = node.as_string()) {
            return plainText(node, name, string->get(), text);
        }
        if (const auto* integer = node.as_integer()) {
            text = std::to_string(integer->get());
            return {};
        }
        if (const auto* real = node.as_floating_point()) {
            const double value = real->get();
            if (!std::isfinite(value)) {
                return failure(node.source(), name + " must be a finite number.");
            }
            char digits[32];
            const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
            text.assign(digits, end);
            return {};
        }
        return failure(node.source(), name + " must be a number, or its text in quotes, not " +
                                          typeName(node) + ".");
    }

    FileStatus stringValue(const toml::node& node, const std::string& name,
                           std::string& text) const {
        if (const auto* string = node.as_string()) {
            return plainText(node, name, string->get(), text);
        }
        return failure(node.source(),
                       name + " must be a text in quotes, not " + typeName(node) + ".");
    }

    static std::string typeName(const toml::node& node) {
        switch (node.type()) {
        case toml::node_type::table:
            return "a table";
        case toml::node_type::array:
            return "a list";
        case toml::node_type::string:
            return "a text";
        case toml::node_type::integer:
        case toml::node_type::floating_point:
            return "a number";
        case toml::node_type::boolean:
            return "true or false";
        case toml::node_type::date:
        case toml::node_type::time:
        case toml::node_type::date_time:
            return "a date or time";
        case toml::node_type::none:
            break;
        }
        return "nothing";
    }

private:
    // The parameter window's boxes hold one line: a text with a line break or another control
    // character would not come back as it was written.
    FileStatus plainText(const toml::node& node, const std::string& name, std::string_view value,
                         std::string& text) const {
        if (std::any_of(value.begin(), value.end(), isControl)) {
            return failure(node.source(),
                           name + " contains a line break or another control character.");
        }
        text = value;
        return {};
    }

    const std::string& m_path;
};

// What a key's name cannot say, written beside it.
std::string_view fieldNote(NumericField field) {
    switch (field) {
    case NumericField::TauMax:
        return " # τmax; τy under the perfectly bi-linear law";
    case NumericField::SMax:
        return " # smax; sy under the perfectly bi-linear law";
    case NumericField::InitialDs:
        return " # the first step's slip increment is this number / 100, in mm";
    default:
        return "";
    }
}

std::string keyName(std::string_view table, std::string_view key) {
    return table.empty() ? std::string(key) : "[" + std::string(table) + "] " + std::string(key);
}

bool knownKey(std::string_view table, std::string_view key) {
    if (table == "analysis" && (key == kLawKey || key == kDetailKey)) {
        return true;
    }
    if (table == "concrete" && (key == kFcKey || key == kFtKey || key == kLawModelKey)) {
        return true;
    }
    return std::any_of(kFieldKeys.begin(), kFieldKeys.end(), [&](const FieldKey& field) {
        return field.table == table && field.key == key;
    });
}

FileStatus readFormat(const Reader& reader, const toml::table& root) {
    const toml::node* format = root.get("format");
    if (format == nullptr) {
        return reader.failure({}, "the key format is missing; a data-set file starts with "
                                  "format = " +
                                      std::to_string(kDataSetFormat) + ".");
    }
    const auto* version = format->as_integer();
    if (version == nullptr || version->get() < 1) {
        return reader.failure(format->source(), "format must be a whole number from 1, not " +
                                                    Reader::typeName(*format) + ".");
    }
    if (version->get() > kDataSetFormat) {
        return reader.failure(format->source(),
                              "format " + std::to_string(version->get()) +
                                  " is from a later Orvane; this one reads format " +
                                  std::to_string(kDataSetFormat) + ".");
    }
    return {};
}

FileStatus readTables(const Reader& reader, const toml::table& root,
                      std::array<const toml::table*, kTables.size()>& tables) {
    for (const auto& [key, node] : root) {
        const std::string_view name = key.str();
        if (name == "format" || name == "comment") {
            continue;
        }
        const auto table = std::find(kTables.begin(), kTables.end(), name);
        if (table == kTables.end()) {
            return reader.failure(key.source(),
                                  "unknown key " + std::string(name) +
                                      "; see the data-set file reference for the keys.");
        }
        if (!node.is_table()) {
            return reader.failure(node.source(), std::string(name) + " must be a table ([" +
                                                     std::string(name) + "]), not " +
                                                     Reader::typeName(node) + ".");
        }
        tables[size_t(table - kTables.begin())] = node.as_table();
    }
    for (size_t t = 0; t < kTables.size(); ++t) {
        if (tables[t] == nullptr) {
            return reader.failure({}, "the table [" + std::string(kTables[t]) + "] is missing.");
        }
        for (const auto& [key, node] : *tables[t]) {
            if (!knownKey(kTables[t], key.str())) {
                return reader.failure(key.source(),
                                      "unknown key " + keyName(kTables[t], key.str()) +
                                          "; see the data-set file reference for the keys.");
            }
        }
    }
    return {};
}

const toml::table& tableOf(const std::array<const toml::table*, kTables.size()>& tables,
                           std::string_view name) {
    return *tables[size_t(std::find(kTables.begin(), kTables.end(), name) - kTables.begin())];
}

FileStatus readContents(const Reader& reader, const toml::table& root, DataSet& data) {
    if (FileStatus status = readFormat(reader, root); !status.ok()) {
        return status;
    }
    std::array<const toml::table*, kTables.size()> tables{};
    if (FileStatus status = readTables(reader, root, tables); !status.ok()) {
        return status;
    }
    data.comment.clear();
    if (const toml::node* comment = root.get("comment")) {
        if (FileStatus status = reader.stringValue(*comment, "comment", data.comment);
            !status.ok()) {
            return status;
        }
    }

    const toml::table& analysis = tableOf(tables, "analysis");
    const toml::node* law = analysis.get(kLawKey);
    if (law == nullptr) {
        return reader.failure(analysis.source(),
                              "the key [analysis] law is missing; it is \"bilinear-softening\" "
                              "or \"perfectly-bilinear\".");
    }
    std::string lawName;
    if (FileStatus status = reader.stringValue(*law, "[analysis] law", lawName); !status.ok()) {
        return status;
    }
    const std::optional<BondModel> model = BondLawFromName(lawName);
    if (!model) {
        return reader.failure(law->source(), "[analysis] law \"" + lawName +
                                                 "\" is unknown; it is \"bilinear-softening\" "
                                                 "or \"perfectly-bilinear\".");
    }
    data.law = *model;
    if (const toml::node* detail = analysis.get(kDetailKey)) {
        const auto* flag = detail->as_boolean();
        if (flag == nullptr) {
            return reader.failure(detail->source(), "[analysis] detail_output must be true or "
                                                    "false, not " +
                                                        Reader::typeName(*detail) + ".");
        }
        data.detailOutput = flag->get();
    }

    for (const FieldKey& field : kFieldKeys) {
        const toml::table& table = tableOf(tables, field.table);
        const toml::node* node = table.get(field.key);
        std::string& text = data.text(field.field);
        if (node == nullptr && field.field == NumericField::InitialDs) {
            text = kParameterFileInitialDs;
            continue;
        }
        const std::string name = keyName(field.table, field.key);
        if (node == nullptr) {
            return reader.failure(table.source(), "the key " + name + " is missing.");
        }
        if (FileStatus status = reader.fieldText(*node, name, text); !status.ok()) {
            return status;
        }
    }

    const toml::table& concrete = tableOf(tables, "concrete");
    for (const auto& [key, member] :
         {std::pair{kFcKey, &ConcreteInput::fcText}, std::pair{kFtKey, &ConcreteInput::ftText}}) {
        if (const toml::node* node = concrete.get(key)) {
            if (FileStatus status =
                    reader.fieldText(*node, keyName("concrete", key), data.concrete.*member);
                !status.ok()) {
                return status;
            }
        }
    }
    if (const toml::node* node = concrete.get(kLawModelKey)) {
        return reader.stringValue(*node, keyName("concrete", kLawModelKey), data.concrete.lawModel);
    }
    return {};
}

} // namespace

std::string_view BondLawName(BondModel law) {
    return law == BondModel::PerfectlyBilinear ? "perfectly-bilinear" : "bilinear-softening";
}

std::optional<BondModel> BondLawFromName(std::string_view name) {
    for (const BondModel law : {BondModel::BilinearSoftening, BondModel::PerfectlyBilinear}) {
        if (name == BondLawName(law)) {
            return law;
        }
    }
    return std::nullopt;
}

DataSet DataSetFromParameterFile(const ParameterFileTexts& texts, BondModel law,
                                 std::string_view initialDsText) {
    DataSet data;
    data.comment = texts.comment;
    for (int f = 0; f < kStoredFieldCount; ++f) {
        data.texts[size_t(f)] = texts.fields[size_t(f)];
    }
    data.text(NumericField::InitialDs) = initialDsText;
    data.law = law;
    data.detailOutput = texts.detailOutput;
    return data;
}

ParameterFileTexts ParameterFileTextsOf(const DataSet& data) {
    ParameterFileTexts texts;
    texts.comment = data.comment;
    texts.detailOutput = data.detailOutput;
    for (int f = 0; f < kStoredFieldCount; ++f) {
        texts.fields[size_t(f)] = data.texts[size_t(f)];
    }
    return texts;
}

std::vector<std::string> NotKeptInParameterFile(const DataSet& data) {
    std::vector<std::string> lost;
    if (data.law != kParameterFileLaw) {
        lost.push_back("the bond law (" + std::string(BondLawName(data.law)) + ")");
    }
    if (data.text(NumericField::InitialDs) != kParameterFileInitialDs) {
        lost.push_back("the initial ds (" + data.text(NumericField::InitialDs) + ")");
    }
    if (data.concrete != ConcreteInput{}) {
        lost.push_back("the concrete strength and bond-law model");
    }
    return lost;
}

std::string PhraseList(const std::vector<std::string>& phrases) {
    std::string text;
    for (std::size_t k = 0; k < phrases.size(); ++k) {
        text += (k == 0 ? "" : k + 1 == phrases.size() ? " and " : ", ") + phrases[k];
    }
    return text;
}

AnalysisParameters AnalysisParametersOf(const DataSet& data) {
    AnalysisParameters params = StartupParameters();
    params.comment = data.comment;
    params.detailOutput = data.detailOutput ? 1 : 0;
    params.bondModel = data.law;
    CopyFieldTexts(params, data.texts);
    return params;
}

FileStatus FormatDataSetFile(const DataSet& data, std::string& text) {
    if (FileStatus status = checkWritable("comment", data.comment); !status.ok()) {
        return status;
    }
    for (const FieldKey& field : kFieldKeys) {
        if (FileStatus status =
                checkWritable(keyName(field.table, field.key), data.text(field.field));
            !status.ok()) {
            return status;
        }
    }
    for (const auto& [key, value] :
         {std::pair{kFcKey, &data.concrete.fcText}, std::pair{kFtKey, &data.concrete.ftText},
          std::pair{kLawModelKey, &data.concrete.lawModel}}) {
        if (FileStatus status = checkWritable(keyName("concrete", key), *value); !status.ok()) {
            return status;
        }
    }

    std::string file =
        "# Orvane data set: one pull-out analysis of an FRP laminate bonded to concrete.\n"
        "# Units N and mm (stresses and moduli in MPa = N/mm²). Each input is kept as the text\n"
        "# typed on the parameter window, so that it reloads to the same number.\n"
        "format = " +
        std::to_string(kDataSetFormat) + "\ncomment = " + quotedToml(data.comment) + "\n";
    for (const std::string_view table : kTables) {
        file += "\n[" + std::string(table) + "]\n";
        if (table == "analysis") {
            file += "law = " + quotedToml(BondLawName(data.law)) + " # or \"" +
                    std::string(BondLawName(data.law == BondModel::BilinearSoftening
                                                ? BondModel::PerfectlyBilinear
                                                : BondModel::BilinearSoftening)) +
                    "\"\n";
        }
        for (const FieldKey& field : kFieldKeys) {
            if (field.table != table) {
                continue;
            }
            file += std::string(field.key) + " = " + quotedToml(data.text(field.field));
            file += std::string(fieldNote(field.field)) + "\n";
        }
        if (table == "analysis") {
            file += "detail_output = " + std::string(data.detailOutput ? "true" : "false") + "\n";
        }
        if (table == "concrete") {
            for (const auto& [key, value] : {std::pair{kFcKey, &data.concrete.fcText},
                                             std::pair{kFtKey, &data.concrete.ftText},
                                             std::pair{kLawModelKey, &data.concrete.lawModel}}) {
                if (!value->empty()) {
                    file += std::string(key) + " = " + quotedToml(*value) + "\n";
                }
            }
        }
    }
    if (file.size() > kMaxBytes) {
        return {FileFailure::Unencodable, EFBIG,
                "The texts make a file of " + std::to_string(file.size()) +
                    " bytes; a data-set file holds at most 1 MiB."};
    }
    text = std::move(file);
    return {};
}

FileStatus ParseDataSetFile(std::string_view text, const std::string& path, DataSet& data) {
    const Reader reader(path);
    // TOML's own messages for these would point at some later token.
    if (const size_t nul = text.find('\0'); nul != std::string_view::npos) {
        toml::source_region where;
        where.begin.line = toml::source_index(lineAt(text, nul));
        return reader.failure(where, "a NUL byte: this is binary data, not a data-set file.");
    }
    if (const size_t bad = firstNonUtf8(text); bad != std::string_view::npos) {
        toml::source_region where;
        where.begin.line = toml::source_index(lineAt(text, bad));
        return reader.failure(where, "bytes that are not UTF-8; a data-set file is UTF-8 text.");
    }
    if (const int line = lineWithNonAsciiOutsideTexts(text); line > 0) {
        toml::source_region where;
        where.begin.line = toml::source_index(line);
        return reader.failure(where, "a character that is not ASCII outside a text in quotes; "
                                     "keys are ASCII, and other characters belong in the \"…\" "
                                     "text of a key = \"…\" line or in a # comment.");
    }
    toml::table root;
    try {
        root = toml::parse(text, path);
    } catch (const toml::parse_error& error) {
        return reader.failure(error.source(), std::string(error.description()) + ".");
    }
    DataSet result;
    if (FileStatus status = readContents(reader, root, result); !status.ok()) {
        return status;
    }
    data = std::move(result);
    return {};
}

DataSetRead ReadDataSetFile(const std::string& path) {
    DataSetRead read;
    InputFile file = ReadInputFile(path, kMaxBytes);
    switch (file.problem) {
    case InputFileProblem::CannotRead:
        read.status = SystemFailure(FileFailure::CannotOpen, path, file.errorNumber);
        break;
    case InputFileProblem::NotRegularFile:
        read.status = {FileFailure::NotRegularFile, 0,
                       "\"" + path + "\" is a pipe, device or socket, not a data-set file."};
        break;
    case InputFileProblem::TooLarge:
        read.status = {FileFailure::NotDataSet, 0,
                       "\"" + path + "\" is larger than 1 MiB, which no data-set file is."};
        break;
    case InputFileProblem::None:
        read.status = ParseDataSetFile(file.bytes, path, read.dataSet);
        break;
    }
    return read;
}

FileStatus WriteDataSetFile(const std::string& path, const DataSet& data) {
    std::string text;
    if (FileStatus status = FormatDataSetFile(data, text); !status.ok()) {
        return status;
    }
    return WriteWholeFile(path, text);
}

bool LooksLikeDataSetFile(std::string_view bytes) {
    size_t pos = 0;
    while (pos < bytes.size()) {
        const size_t end = std::min(bytes.find('\n', pos), bytes.size());
        std::string_view line = bytes.substr(pos, end - pos);
        const size_t start = line.find_first_not_of(" \t\r");
        if (start != std::string_view::npos && line[start] != '#') {
            line.remove_prefix(start);
            const std::string_view rest = line.substr(std::min(line.size(), size_t(6)));
            return line.substr(0, 6) == "format" &&
                   rest.find_first_not_of(" \t") != std::string_view::npos &&
                   rest[rest.find_first_not_of(" \t")] == '=';
        }
        pos = end + 1;
    }
    return false;
}

bool IsDataSetPath(std::string_view path) {
    if (path.size() < kDataSetExtension.size()) {
        return false;
    }
    const std::string_view tail = path.substr(path.size() - kDataSetExtension.size());
    return std::equal(tail.begin(), tail.end(), kDataSetExtension.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

bool ReadsAsDataSet(const std::string& path) {
    if (IsDataSetPath(path)) {
        return true;
    }
    const size_t dot = path.rfind('.');
    if (dot != std::string::npos && path.find('/', dot) == std::string::npos) {
        std::string extension = path.substr(dot);
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        if (extension == ".kvp") {
            return false;
        }
    }
    // Opened without waiting, like the readers; a pipe is left to them to refuse.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    char head[4096];
    ssize_t got = 0;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        got = ::read(fd, head, sizeof head);
    }
    ::close(fd);
    return got > 0 && LooksLikeDataSetFile(std::string_view(head, size_t(got)));
}

} // namespace orvane
