#pragma once

#include "core/engine/AnalysisParameters.h"
#include "core/files/DataSetFile.h"

#include <QWidget>
#include <array>

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace orvane {

// Form1, the start-up window where the data of one pull-out analysis are entered. It owns no
// data: every change of a field is parsed into the shared AnalysisParameters at once.
class ParameterWindow : public QWidget {
    Q_OBJECT

public:
    explicit ParameterWindow(AnalysisParameters& params, QWidget* parent = nullptr);

    // The parameter-file binding: saving writes the controls' texts as they stand; loading
    // assigns them through the controls, so the change capture updates the parameter set.
    // Both report a failure in a message box and change nothing then.
    bool saveTo(const QString& path);
    bool loadFrom(const QString& path);

    // The texts of the numeric fields as they stand, the initial ds last.
    FieldTexts fieldTexts() const;

    // The data set the controls show: comment, field texts, law and detail flag. The window
    // knows no concrete inputs; those stay empty.
    DataSet dataSet() const;
    // Shows a data set as if the user had entered it: each text, the check box and the law's
    // option button go through their own change handling, so the parameter set follows.
    void showDataSet(const DataSet& data);

    // Centres the window on its screen by its outer frame: now, and again once the window
    // manager has made the frame known.
    void centreOnScreen();

signals:
    // Execute copied the fields and the data set passed the run checks.
    void runRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void executeClicked();
    void openClicked();
    void saveClicked();
    void exitClicked();
    void modelChosen();

private:
    void buildPanelsAndHeadings();
    void buildFields();
    void buildButtons();
    void orderTabs();
    void fillStartupTexts();
    void showFileDialog(const QString& caption);

    AnalysisParameters& m_params;
    QLineEdit* m_comment = nullptr;
    std::array<QLineEdit*, kNumericFieldCount> m_fields{};
    QCheckBox* m_detailOutput = nullptr;
    QRadioButton* m_perfectlyBilinear = nullptr;
    QRadioButton* m_bilinearSoftening = nullptr;
    QLabel* m_tauMaxLabel = nullptr;
    QLabel* m_sMaxLabel = nullptr;
    QLabel* m_suLabel = nullptr;
};

} // namespace orvane
