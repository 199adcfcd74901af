#include "gui/forms/ConcreteStore.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QWidget>

namespace orvane {

namespace {

// Form1's numeric fields: Text2 … Text17 in window order, the initial ds in Text20.
QString fieldName(int field) {
    return field == int(NumericField::InitialDs) ? QStringLiteral("Text20")
                                                 : QStringLiteral("Text%1").arg(field + 2);
}

} // namespace

ConcreteStore& ConcreteStoreOf(QWidget& parameterWindow) {
    if (auto* store = parameterWindow.findChild<ConcreteStore*>()) {
        return *store;
    }
    auto* store = new ConcreteStore(&parameterWindow);
    store->setObjectName(QStringLiteral("ConcreteStore"));
    for (int j = 0; j < 3; ++j) {
        if (auto* field = parameterWindow.findChild<QLineEdit*>(fieldName(j))) {
            QObject::connect(field, &QLineEdit::textChanged, store,
                             [store] { store->lawFieldEdited(); });
        }
    }
    return *store;
}

AnalysisParameters ParametersFromFields(const QWidget& parameterWindow,
                                        const AnalysisParameters& base) {
    AnalysisParameters params = base;
    FieldTexts texts;
    for (int f = 0; f < kNumericFieldCount; ++f) {
        const auto* field = parameterWindow.findChild<QLineEdit*>(fieldName(f));
        texts[std::size_t(f)] = field ? field->text().toStdString() : std::string();
    }
    CopyFieldTexts(params, texts);
    if (const auto* bilinear =
            parameterWindow.findChild<QRadioButton*>(QStringLiteral("Option1"))) {
        params.bondModel =
            bilinear->isChecked() ? BondModel::PerfectlyBilinear : BondModel::BilinearSoftening;
    }
    return params;
}

void ConcreteStore::applyLaw(QWidget& parameterWindow, const std::string& modelName,
                             const QString& tauMax, const QString& sMax, const QString& su) {
    m_applying = true;
    if (auto* softening = parameterWindow.findChild<QRadioButton*>(QStringLiteral("Option2"))) {
        softening->click();
    }
    const QString texts[] = {tauMax, sMax, su};
    for (int j = 0; j < 3; ++j) {
        if (auto* field = parameterWindow.findChild<QLineEdit*>(fieldName(j))) {
            field->setText(texts[j]);
        }
    }
    m_applying = false;
    ConcreteInput input = m_input;
    input.lawModel = modelName;
    setInput(input);
}

void ConcreteStore::lawFieldEdited() {
    if (!m_applying && !m_input.lawModel.empty()) {
        ConcreteInput input = m_input;
        input.lawModel.clear();
        setInput(input);
    }
}

} // namespace orvane
