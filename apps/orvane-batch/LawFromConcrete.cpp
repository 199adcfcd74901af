#include "apps/orvane-batch/LawFromConcrete.h"

#include "core/numtext/NumberText.h"
#include "core/results/BondSummary.h"
#include "core/results/JsonText.h"

namespace orvane {

ConcreteInput ConcreteFromCommandLine(const ConcreteInput& file,
                                      const std::optional<std::string>& fc,
                                      const std::optional<std::string>& ft) {
    ConcreteInput input = file;
    if (fc) {
        input.fcText = *fc;
        input.ftText = ft.value_or("");
    } else if (ft) {
        input.ftText = *ft;
    }
    return input;
}

LawFromConcrete ApplyLawFrom(const LawFromOptions& options, LoadedDataSet& loaded) {
    LawFromConcrete result;
    const ConcreteInput input =
        ConcreteFromCommandLine(loaded.data.concrete, options.fc, options.ft);
    if (input.fcText.find_first_not_of(' ') == std::string::npos) {
        if (options.model || options.ft) {
            result.error = std::string(options.model ? "--law-from" : "--ft") +
                           " needs --fc (or fc in the data-set file)";
        }
        return result;
    }
    ConcreteStrength concrete;
    if (const std::optional<std::string> problem = ReadConcrete(input, concrete)) {
        result.error = *problem;
        return result;
    }
    result.concrete = concrete;
    if (!options.model) {
        return result;
    }
    const std::optional<BondSlipModel> model = FindBondSlipModel(*options.model);
    if (!model) {
        result.error = "--law-from: unknown model \"" + *options.model + "\"";
        return result;
    }
    const DerivedBondLaw law = DeriveBondLaw(*model, concrete, loaded.params);
    if (!law.ok) {
        result.error = "--law-from " + *options.model + ": " + law.problem;
        return result;
    }
    DataSet& data = loaded.data;
    data.text(NumericField::TauMax) = LawFieldText(law.tauMax);
    data.text(NumericField::SMax) = LawFieldText(law.sMax);
    data.text(NumericField::Su) = LawFieldText(law.su);
    data.law = BondModel::BilinearSoftening;
    data.concrete = input;
    data.concrete.lawModel = *options.model;
    const AnalysisParameters before = loaded.params;
    loaded.params = AnalysisParametersOf(data);
    loaded.params.chosenFilePath = before.chosenFilePath;
    loaded.params.parameterFilePath = before.parameterFilePath;
    loaded.lawAssumed = false;
    result.model = model;
    return result;
}

std::string LawFromText(const LawFromConcrete& law, const AnalysisParameters& params) {
    std::string text;
    if (law.model) {
        text += "lawFrom     " + std::string(ModelInfo(*law.model).name) + "\n" + "tauMax      " +
                SingleToText(params.tauMax) + " N/mm2\n" + "sMax        " +
                SingleToText(params.sMax) + " mm\n" + "su          " + SingleToText(params.su) +
                " mm\n";
    }
    if (law.concrete) {
        const LawPlausibility check = CheckLawPlausibility(params, *law.concrete);
        text += "fc          " + ShortestText(law.concrete->fc) + " MPa, ft " +
                FormatMask(law.concrete->ft, "0.000") + " MPa" +
                (law.concrete->ftDerived ? " (from fc')" : "") + "\n";
        if (!check.compared) {
            text += "lu2005      no comparison: " + check.modelProblem + "\n";
        }
        for (const BondSummaryLine& line : PlausibilityLines(check)) {
            text += line.name + std::string(12 - std::min<std::size_t>(line.name.size(), 11), ' ') +
                    line.value + (line.unit.empty() ? "" : " " + line.unit) + "\n";
        }
        if (const std::string warning = PlausibilityWarning(check); !warning.empty()) {
            text += "warning     " + warning + "\n";
        }
    }
    return text;
}

std::string LawFromJson(const LawFromConcrete& law, const AnalysisParameters& params) {
    std::string json;
    if (law.model) {
        json += ",\"lawFrom\":" + JsonString(ModelInfo(*law.model).name) +
                ",\"tauMax\":" + JsonNumber(params.tauMax) +
                ",\"sMax\":" + JsonNumber(params.sMax) + ",\"su\":" + JsonNumber(params.su);
    }
    if (law.concrete) {
        const LawPlausibility check = CheckLawPlausibility(params, *law.concrete);
        json += ",\"fc\":" + JsonNumber(law.concrete->fc) +
                ",\"ft\":" + JsonNumber(law.concrete->ft) +
                ",\"plausibility\":{\"model\":\"lu2005\"";
        if (check.compared) {
            json += ",\"tauMax\":" + JsonNumber(check.tauMaxEntered) +
                    ",\"Gf\":" + JsonNumber(check.GfEntered) +
                    ",\"modelTauMax\":" + JsonNumber(check.tauMaxModel) +
                    ",\"modelGf\":" + JsonNumber(check.GfModel) +
                    ",\"factor\":" + JsonNumber(kPlausibilityFactor) +
                    ",\"differs\":" + (check.differs ? "true" : "false");
        } else {
            json += ",\"problem\":" + JsonString(check.modelProblem);
        }
        json += "}";
    }
    return json;
}

} // namespace orvane
