#pragma once

#include "core/engine/AnalysisParameters.h"
#include "core/files/DataSetFile.h"

#include <QWidget>
#include <array>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace orvane {

class ConcreteStore;

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

    // The data set on screen is the one in the file at path, just loaded or saved: the title
    // names the file and shows no unsaved changes.
    void markSaved(const QString& path);
    // The file the data set was last loaded from or saved to; empty for the start-up set.
    const QString& dataSetFile() const { return m_dataSetFile; }
    // The data set on screen, concrete inputs included, differs from the one last loaded or
    // saved (the start-up set at first).
    bool hasUnsavedChanges() const;
    // What Save does when leaving asks about unsaved changes: true when the data set was
    // saved. The original Save dialog until the program sets its own.
    void setSaveHandler(std::function<bool()> save);
    // Asks before the program ends: whether to stop work that runs in other windows, and
    // whether to save unsaved changes; then stops the work. False when the user cancelled.
    bool mayLeave();
    // Asks Save / Discard / Cancel before unsaved changes are replaced by another data set;
    // false when the user cancelled or the save failed.
    bool mayReplaceChanges();

    static const QString kCaption; // the form's own caption, "K-Varo Parameter"

signals:
    // Execute copied the fields and the data set passed the run checks.
    void runRequested();
    // The data set on screen was loaded from or saved to path.
    void dataSetFileChanged(const QString& path);
    // A parameter or data-set file was dropped on the window.
    void fileDropped(const QString& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

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
    void updateTitle();
    bool keepOrDropChanges(const QString& before);

    AnalysisParameters& m_params;
    QLineEdit* m_comment = nullptr;
    std::array<QLineEdit*, kNumericFieldCount> m_fields{};
    QCheckBox* m_detailOutput = nullptr;
    QRadioButton* m_perfectlyBilinear = nullptr;
    QRadioButton* m_bilinearSoftening = nullptr;
    QLabel* m_tauMaxLabel = nullptr;
    QLabel* m_sMaxLabel = nullptr;
    QLabel* m_suLabel = nullptr;
    ConcreteStore* m_concrete = nullptr; // the concrete inputs, part of the data set
    QString m_dataSetFile;
    DataSet m_savedDataSet;
    std::function<bool()> m_save;
};

} // namespace orvane
