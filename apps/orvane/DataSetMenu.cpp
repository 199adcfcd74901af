#include "apps/orvane/DataSetMenu.h"

#include "gui/forms/MessageBoxes.h"
#include "gui/parameters/ParameterWindow.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>

namespace orvane {

namespace {

const QString kDataSetFilter = QStringLiteral("Orvane data set (*.orv)");
const QString kParameterFilter = QStringLiteral("Parameter file (*.kvp)");

QString joined(const std::vector<std::string>& phrases) {
    QString text;
    for (std::size_t k = 0; k < phrases.size(); ++k) {
        if (k > 0) {
            text += k + 1 == phrases.size() ? QStringLiteral(" and ") : QStringLiteral(", ");
        }
        text += QString::fromStdString(phrases[k]);
    }
    return text;
}

} // namespace

DataSetMenu::DataSetMenu(ParameterWindow& window, AnalysisParameters& params)
    : QObject(&window), m_window(window), m_params(params) {
    setObjectName(QStringLiteral("DataSetMenu"));
}

void DataSetMenu::addEntries(QMenu* file) {
    QAction* open = file->addAction(QStringLiteral("Open &data set…"));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    connect(open, &QAction::triggered, this, &DataSetMenu::chooseAndOpen);
    QAction* save = file->addAction(QStringLiteral("Save data set &as…"));
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    connect(save, &QAction::triggered, this, &DataSetMenu::chooseAndSave);
}

void DataSetMenu::setConcrete(const ConcreteInput& concrete) {
    if (concrete != m_concrete) {
        m_concrete = concrete;
        emit concreteChanged();
    }
}

DataSet DataSetMenu::dataSet() const {
    DataSet data = m_window.dataSet();
    data.concrete = m_concrete;
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
                      QStringLiteral("A parameter file does not keep ") + joined(lost) +
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
