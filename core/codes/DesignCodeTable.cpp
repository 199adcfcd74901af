#include "core/codes/DesignCodeTable.h"

#include "core/numtext/NumberText.h"
#include "core/results/JsonText.h"

#include <cmath>

namespace orvane {

namespace {

std::string padded(std::string text, std::size_t width) {
    // Widths count characters, not bytes: the texts here are ASCII.
    if (text.size() < width) {
        text.append(width - text.size(), ' ');
    }
    return text;
}

std::string rightAligned(std::string text, std::size_t width) {
    if (text.size() < width) {
        text.insert(0, width - text.size(), ' ');
    }
    return text;
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

std::string factorsText(const CodeCheck& row, const char* separator) {
    std::string text;
    for (const NamedFactor& f : row.factors) {
        text += (text.empty() ? "" : separator) + f.name + "=" + ShortestText(f.value);
    }
    return text;
}

} // namespace

DesignCodeTable MakeDesignCodeTable(const AnalysisParameters& params,
                                    const ConcreteStrength& concrete, FcSource fcSource,
                                    const DesignFactors& factors) {
    DesignCodeTable table;
    table.params = params;
    table.concrete = concrete;
    table.fcSource = fcSource;
    table.factors = factors;
    table.rows = CheckDesignCodes(params, concrete, factors);
    table.bond = ComputeBondQuantities(params);
    table.closedFormLoad = ClosedFormUltimateLoad(params, params.lb);
    return table;
}

bool AnyOutOfScope(const DesignCodeTable& table) {
    for (const CodeCheck& row : table.rows) {
        if (!row.inScope) {
            return true;
        }
    }
    return false;
}

std::string ConcreteLine(const DesignCodeTable& t) {
    return "fc' " + FormatMask(t.concrete.fc, "0.0") + " MPa (" +
           (t.fcSource == FcSource::Given
                ? std::string("given")
                : "estimated from Ec = " + ShortestText(t.params.Ec) + " by Ec = 4700*sqrt(fc')") +
           "), ft " + FormatMask(t.concrete.ft, "0.000") + " MPa (" +
           (t.concrete.ftDerived ? "0.30*fc'^(2/3), EN 1992-1-1 Table 3.1" : "given") + ")";
}

std::string CodeValueText(double value) {
    return std::isfinite(value) ? FormatMask(value, "0.0") : std::string("-");
}

std::string DesignCodeText(const DesignCodeTable& t) {
    const AnalysisParameters& p = t.params;
    std::string text = "concrete  " + ConcreteLine(t) + "\n";
    text += "joint     b " + ShortestText(p.b) + " mm, bc " + ShortestText(p.bc) + " mm, tf " +
            ShortestText(p.tf) + " mm, Ef " + ShortestText(p.Ef) + " N/mm2, lb " +
            ShortestText(p.lb) + " mm\n\n";
    text += padded("code", 16) + padded("value", 16) + rightAligned("P (N)", 10) +
            rightAligned("Pd (N)", 10) + rightAligned("Le (mm)", 9) + "  clause\n";
    for (const CodeCheck& row : t.rows) {
        text += padded(row.name, 16) + padded(row.inScope ? row.valueKind : "out of scope", 16) +
                rightAligned(CodeValueText(row.P), 10) + rightAligned(CodeValueText(row.Pd), 10) +
                rightAligned(CodeValueText(row.Le), 9) + "  " + row.clause + "\n";
    }
    text += padded("orvane", 16) + padded("closed form", 16) +
            rightAligned(CodeValueText(t.closedFormLoad), 10) + rightAligned("-", 10) +
            rightAligned(CodeValueText(t.bond.Le), 9) +
            "  the data set's law on a rigid substrate at lb; Le at 97 % of Pinf = " +
            CodeValueText(t.bond.Pinf) + " N\n";
    std::string notes;
    for (const CodeCheck& row : t.rows) {
        if (!row.inScope) {
            notes += "  " + padded(row.name, 16) + row.scopeNote + "\n";
        }
        if (!row.note.empty()) {
            notes += "  " + padded(row.name, 16) + row.note + "\n";
        }
    }
    if (!notes.empty()) {
        text += "\nnotes\n" + notes;
    }
    text += "\nfactors\n";
    for (const CodeCheck& row : t.rows) {
        text += "  " + padded(row.name, 16) + factorsText(row, ", ") + "\n";
    }
    return text;
}

std::string DesignCodeJson(const DesignCodeTable& t) {
    std::string json = "{" + JsonProgramKeys() + ",\"fc\":" + JsonNumber(t.concrete.fc) +
                       ",\"fcFrom\":" + JsonString(t.fcSource == FcSource::Given ? "given" : "Ec") +
                       ",\"ft\":" + JsonNumber(t.concrete.ft) +
                       ",\"ftFrom\":" + JsonString(t.concrete.ftDerived ? "fc" : "given") +
                       ",\"codes\":[";
    bool first = true;
    for (const CodeCheck& row : t.rows) {
        json += std::string(first ? "" : ",") + "{\"code\":" + JsonString(row.name) +
                ",\"title\":" + JsonString(row.title) + ",\"clause\":" + JsonString(row.clause) +
                ",\"value\":" + JsonString(row.valueKind) + ",\"P\":" + JsonNumber(row.P) +
                ",\"Pd\":" + JsonNumber(row.Pd) + ",\"Le\":" + JsonNumber(row.Le) +
                ",\"inScope\":" + (row.inScope ? "true" : "false") +
                ",\"scope\":" + (row.inScope ? std::string("null") : JsonString(row.scopeNote)) +
                ",\"note\":" + (row.note.empty() ? std::string("null") : JsonString(row.note)) +
                ",\"factors\":{";
        for (std::size_t i = 0; i < row.factors.size(); ++i) {
            json += (i ? "," : "") + JsonString(row.factors[i].name) + ":" +
                    JsonNumber(row.factors[i].value);
        }
        json += "}}";
        first = false;
    }
    json += "],\"orvane\":{\"P\":" + JsonNumber(t.closedFormLoad) +
            ",\"Pinf\":" + JsonNumber(t.bond.Pinf) + ",\"Le\":" + JsonNumber(t.bond.Le) +
            "},\"outOfScope\":" + (AnyOutOfScope(t) ? "true" : "false") + ",\"warnings\":" +
            JsonStringList(AnyOutOfScope(t) ? std::vector<std::string>{kOutOfScopeWarning}
                                            : std::vector<std::string>{}) +
            "}\n";
    return json;
}

std::string DesignCodeCsv(const DesignCodeTable& t) {
    std::string csv = "# fc," + ShortestText(t.concrete.fc) + ",MPa\r\n# ft," +
                      ShortestText(t.concrete.ft) + ",MPa\r\n" +
                      "code,value,P,Pd,Le,inScope,scope,clause,factors\r\n";
    const auto number = [](double v) { return std::isfinite(v) ? ShortestText(v) : ""; };
    for (const CodeCheck& row : t.rows) {
        csv += csvField(row.name) + "," + csvField(row.valueKind) + "," + number(row.P) + "," +
               number(row.Pd) + "," + number(row.Le) + "," + (row.inScope ? "1" : "0") + "," +
               csvField(row.scopeNote) + "," + csvField(row.clause) + "," +
               csvField(factorsText(row, ";")) + "\r\n";
    }
    csv += "orvane,closed form," + number(t.closedFormLoad) + ",," + number(t.bond.Le) +
           ",1,,rigid-substrate closed form of the data set's law,\r\n";
    return csv;
}

} // namespace orvane
