#pragma once

// "Design codes": the design codes' single-joint checks for the parameter window's data set and
// the concrete's fc′ and ft, each row with its clause, beside the closed form of the data set's
// own law; a row whose code excludes the case says why. The factors are set on a second page.
// The checks are closed forms, evaluated as the inputs change.

#include "core/codes/DesignCodeTable.h"
#include "core/engine/AnalysisParameters.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QTableWidget;

namespace orvane {

class ConcreteStore;

class DesignCodesWindow : public QWidget {
    Q_OBJECT

public:
    DesignCodesWindow(QWidget& parameterWindow, const AnalysisParameters& params,
                      QWidget* parent = nullptr);

    const DesignCodeTable& table() const { return m_table; }

protected:
    bool event(QEvent* event) override;

private slots:
    void inputEdited();
    void factorEdited(int row, int column);
    void recompute();

private:
    void showStore();
    void fillFactors();

    QWidget& m_parameterWindow;
    const AnalysisParameters& m_params;
    ConcreteStore& m_store;
    DesignFactors m_factors;
    DesignCodeTable m_table;
    QLineEdit* m_fc;
    QLineEdit* m_ft;
    QLabel* m_concrete;
    QTableWidget* m_codes;
    QTableWidget* m_factorTable;
    QLabel* m_notes;
};

void OpenDesignCodesWindow(QWidget& parameterWindow, const AnalysisParameters& params);

} // namespace orvane
