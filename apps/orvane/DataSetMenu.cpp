#include "apps/orvane/DataSetMenu.h"

#include "gui/forms/ConcreteStore.h"
#include "gui/forms/MessageBoxes.h"
#include "gui/parameters/ParameterWindow.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>

namespace orvane {

namespace {

const QString kDataSetFilter = QStringLiteral("Orvane data set (*.orv)");
const QString kParameterFilter = QStringLiteral("Parameter file (*.kvp)");

} // namespace

DataSetMenu::DataSetMenu(ParameterWindow& window, AnalysisParameters& params)
    : QObject(&window), m_window(window), m_params(params) {
    setObjectName(QStringLiteral("DataSetMenu"));
    connect(&ConcreteStoreOf(m_window), &ConcreteStore::changed, this,
            &DataSetMenu::concreteChanged);
}

void DataSetMenu::addEntries(QMenu* file) {
    QAction* open = file->addAction(QStringLiteral("Open &data set…"));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    connect(open, &QAction::triggered, this, &DataSetMenu::chooseAndOpen);
    QAction* save = file->addAction(QStringLiteral("Save data set &as…"));
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    connect(save, &QAction::triggered, this, &DataSetMenu::chooseAndSave);
}

const ConcreteInput& DataSetMenu::concrete() const {
    return ConcreteStoreOf(m_window).input();
}

void DataSetMenu::setConcrete(const ConcreteInput& concrete) {
    ConcreteStoreOf(m_window).setInput(concrete);
}

DataSet DataSetMenu::dataSet() const {
    DataSet data = m_window.dataSet();
    data.concrete = concrete();
    return data;
}

bool DataSetMenu::open(const QString& path) {
    // The file last picked, as the parameter file dialog keeps it for the result file's header.
    m_params.chosenFilePath = QFileInfo(path).absoluteFilePath().toStdString();
    if (!ReadsAsDataSet(path.toStdString())) {
        return m_window.loadFrom(path);
    }
    const DataSetRead read = ReadDataSetFile(path.toStdString());
    if (!read.status.ok()) {
        showMessage(&m_window, QMessageBox::Warning, QStringLiteral("Open data set"),
                    QStringLiteral("The data set was not loaded.\n\n") +
                        QString::fromStdString(read.status.message));
        return false;
    }
    m_window.showDataSet(read.dataSet);
    setConcrete(read.dataSet.concrete);
    m_params.parameterFilePath = path.toStdString();
    return true;
}

bool DataSetMenu::saveAs(const QString& path) {
    const DataSet data = dataSet();
    FileStatus status;
    if (QFileInfo(path).suffix().compare(QStringLiteral("kvp"), Qt::CaseInsensitive) == 0) {
        const std::vector<std::string> lost = NotKeptInParameterFile(data);
        if (!lost.empty() &&
            !askYesNo(&m_window, QStringLiteral("Save data set as"),
                      QStringLiteral("A parameter file does not keep ") +
                          QString::fromStdString(PhraseList(lost)) +
                          QStringLiteral(". Loading it later leaves them as the window has "
                                         "them then.\n\nSave the parameter file without them?"))) {
            return false;
        }
        status = SaveParameterFile(path.toStdString(), ParameterFileTextsOf(data));
    } else {
        status = WriteDataSetFile(path.toStdString(), data);
    }
    if (!status.ok()) {
        showMessage(&m_window, QMessageBox::Warning, QStringLiteral("Save data set as"),
                    QStringLiteral("The data set was not saved.\n\n") +
                        QString::fromStdString(status.message));
        return false;
    }
    m_params.parameterFilePath = path.toStdString();
    return true;
}

void DataSetMenu::chooseAndOpen() {
    const QString path =
        QFileDialog::getOpenFileName(&m_window, QStringLiteral("Open data set"), m_lastDirectory,
                                     kDataSetFilter + QStringLiteral(";;") + kParameterFilter +
                                         QStringLiteral(";;All files (*)"));
    if (!path.isEmpty()) {
        m_lastDirectory = QFileInfo(path).path();
        open(path);
    }
}

// The default suffix follows the chosen type, so the dialog's overwrite question is asked of
// the name that is written.
void DataSetMenu::chooseAndSave() {
    QFileDialog dialog(&m_window, QStringLiteral("Save data set as"), m_lastDirectory,
                       kDataSetFilter + QStringLiteral(";;") + kParameterFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("orv"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        dialog.setDefaultSuffix(filter == kParameterFilter ? QStringLiteral("kvp")
                                                           : QStringLiteral("orv"));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    const QString path = dialog.selectedFiles().constFirst();
    m_lastDirectory = QFileInfo(path).path();
    saveAs(path);
}

DataSetMenu* DataSetMenuOf(ParameterWindow& window) {
    return window.findChild<DataSetMenu*>(QStringLiteral("DataSetMenu"),
                                          Qt::FindDirectChildrenOnly);
}

} // namespace orvane
