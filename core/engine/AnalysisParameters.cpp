#include "core/engine/AnalysisParameters.h"

#include "core/numtext/NumberText.h"

#include <cassert>
#include <cmath>
#include <limits>

namespace orvane {

namespace {

// The field of each NumericField, in window order.
constexpr float AnalysisParameters::*kFieldMembers[kNumericFieldCount] = {
    &AnalysisParameters::tauMax, &AnalysisParameters::sMax, &AnalysisParameters::su,
    &AnalysisParameters::dl,     &AnalysisParameters::lb,   &AnalysisParameters::b,
    &AnalysisParameters::tf,     &AnalysisParameters::Ef,   &AnalysisParameters::tr,
    &AnalysisParameters::Er,     &AnalysisParameters::bc,   &AnalysisParameters::dc,
    &AnalysisParameters::Ec,     &AnalysisParameters::Ab,   &AnalysisParameters::Eb,
    &AnalysisParameters::ds,
};

bool fitsSingle(double value) {
    return std::abs(value) <= double(std::numeric_limits<float>::max());
}

} // namespace

float& AnalysisParameters::value(NumericField field) {
    return this->*kFieldMembers[static_cast<int>(field)];
}

float AnalysisParameters::value(NumericField field) const {
    return this->*kFieldMembers[static_cast<int>(field)];
}

const FieldTexts& StartupFieldTexts() {
    static const FieldTexts texts = {
        "6.467", "0.0650", "0.3540", "0.120", "120.0", "50.00", "0.167",  "230000",
        "0.300", "2450",   "50.0",   "100.0", "24000", "193.5", "206000", "1E-07",
    };
    return texts;
}

AnalysisParameters StartupParameters() {
    AnalysisParameters params;
    params.comment = std::string(kStartupComment);
    for (int f = 0; f < kNumericFieldCount; ++f) {
        params.value(NumericField(f)) = FieldValue(StartupFieldTexts()[f]);
    }
    params.detailOutput = 0;
    params.bondModel = BondModel::BilinearSoftening;
    return params;
}

float FieldValue(std::string_view text) {
    const double number = ParseNumberPrefix(text);
    return fitsSingle(number) ? float(number) : 0.0f;
}

bool FieldTextOutOfRange(NumericField field, std::string_view text) {
    const double number = ParseNumberPrefix(text);
    return !fitsSingle(field == NumericField::InitialDs ? number / 100 : number);
}

float InitialSlipIncrement(std::string_view initialDsText) {
    const double number = ParseNumberPrefix(initialDsText) / 100;
    return fitsSingle(number) ? float(number) : 0.0f;
}

void CopyFieldTexts(AnalysisParameters& params, const FieldTexts& texts) {
    for (int f = 0; f < kNumericFieldCount; ++f) {
        params.value(NumericField(f)) = FieldValue(texts[f]);
    }
    params.ds = InitialSlipIncrement(texts[static_cast<int>(NumericField::InitialDs)]);
}

std::string_view FieldLabel(NumericField field, BondModel model) {
    const bool yieldLaw = model == BondModel::PerfectlyBilinear;
    switch (field) {
    case NumericField::TauMax:
        return yieldLaw ? "τy : yield bond stress" : "τmax : max bond stress";
    case NumericField::SMax:
        return yieldLaw ? "sy : slip at  τy" : "smax : slip at  τmax";
    case NumericField::Su:
        return "su : slip at ultimate";
    case NumericField::Dl:
        return "Δl : element length";
    case NumericField::Lb:
        return "lb : bond length";
    case NumericField::B:
        return "b : laminate width (sum)";
    case NumericField::Tf:
        return "tf : laminate thickness";
    case NumericField::Ef:
        return "Ef : elastic modulus";
    case NumericField::Tr:
        return "tr : resin thickness";
    case NumericField::Er:
        return "Er : elastic modulus";
    case NumericField::Bc:
        return "bc : effect width";
    case NumericField::Dc:
        return "dc : depth";
    case NumericField::Ec:
        return "Ec : elastic modulus";
    case NumericField::Ab:
        return "Ab : section area";
    case NumericField::Eb:
        return "Eb : elastic modulus";
    case NumericField::InitialDs:
        return "initial ds";
    }
    assert(false && "unknown field");
    return {};
}

} // namespace orvane
