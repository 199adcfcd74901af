#pragma once

// The program's concrete input (fc′, ft, the model a law was derived from), shared by the
// windows that use it. The parameter window owns one store; windows find it through
// ConcreteStoreOf and follow its changes. Kept behind this small interface so that the data-set
// file can hold it without the windows knowing.

#include "core/engine/AnalysisParameters.h"
#include "core/engine/ConcreteInput.h"

#include <QObject>

class QWidget;

namespace orvane {

class ConcreteStore : public QObject {
    Q_OBJECT

public:
    explicit ConcreteStore(QObject* parent = nullptr) : QObject(parent) {}

    const ConcreteInput& input() const { return m_input; }
    void setInput(const ConcreteInput& input) {
        if (input != m_input) {
            m_input = input;
            emit changed();
        }
    }

    // Puts a bi-linear softening law derived by modelName into the parameter window through
    // its law button and its τmax, smax and su fields (Option2, Text2 … Text4), so that the
    // window's change handling updates the data set as if the user had typed the texts, and
    // records the model. A later edit of those fields by hand clears the model again.
    void applyLaw(QWidget& parameterWindow, const std::string& modelName, const QString& tauMax,
                  const QString& sMax, const QString& su);

signals:
    void changed();

private:
    friend ConcreteStore& ConcreteStoreOf(QWidget& parameterWindow);
    void lawFieldEdited();

    ConcreteInput m_input;
    bool m_applying = false;
};

// The store of the parameter window, made on first use.
ConcreteStore& ConcreteStoreOf(QWidget& parameterWindow);

// The parameter window's data set as its fields and law buttons hold it now: every numeric
// field copied from its text as Execute copies it, on top of base.
AnalysisParameters ParametersFromFields(const QWidget& parameterWindow,
                                        const AnalysisParameters& base);

} // namespace orvane
