#pragma once

// "Bond law from concrete": the engineer enters fc′ (and ft), picks a bond-slip model, sees the
// law it derives for the parameter window's laminate drawn beside the law in the fields, with
// its Gf, P∞ and Le, and applies it to the parameter window's τmax, smax and su. The models are
// closed forms: they are evaluated as the inputs change, without a worker.

#include "core/codes/BondModels.h"
#include "core/engine/AnalysisParameters.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orvane {

class ConcreteStore;
class LawPlot;

class ConcreteLawWindow : public QWidget {
    Q_OBJECT

public:
    // `parameterWindow` is Form1: its fields give the laminate and receive the law.
    ConcreteLawWindow(QWidget& parameterWindow, const AnalysisParameters& params,
                      QWidget* parent = nullptr);

    const DerivedBondLaw& law() const { return m_law; }

protected:
    bool event(QEvent* event) override;

private slots:
    void inputEdited();
    void recompute();
    void apply();

private:
    void showStore();

    QWidget& m_parameterWindow;
    const AnalysisParameters& m_params;
    ConcreteStore& m_store;
    QLineEdit* m_fc;
    QLineEdit* m_ft;
    QComboBox* m_model;
    LawPlot* m_plot;
    QLabel* m_values[6];
    QLabel* m_entered;
    QLabel* m_note;
    QPushButton* m_apply;
    DerivedBondLaw m_law;
};

// Opens the window, or raises it where it is open already.
void OpenConcreteLawWindow(QWidget& parameterWindow, const AnalysisParameters& params);

} // namespace orvane
