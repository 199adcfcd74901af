#include "apps/orvane/DataSetMenu.h"

#include "gui/forms/ConcreteStore.h"
#include "gui/forms/MessageBoxes.h"
#include "gui/parameters/ParameterWindow.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>

namespace orvane {

namespace {

const QString kDataSetFilter = QStringLiteral("Orvane data set (*.orv)");
const QString kParameterFilter = QStringLiteral("Parameter file (*.kvp)");
const QString kRecentKey = QStringLiteral("recentDataSets");
constexpr qsizetype kRecentCount = 10;

} // namespace

QStringList WithRecentFile(QStringList recent, const QString& path) {
    const QString full = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    recent.removeAll(full);
    recent.prepend(full);
    return recent.mid(0, kRecentCount);
}

QStringList DataSetMenu::recentFiles() {
    return QSettings().value(kRecentKey).toStringList();
}

DataSetMenu::DataSetMenu(ParameterWindow& window, AnalysisParameters& params)
    : QObject(&window), m_window(window), m_params(params) {
    setObjectName(QStringLiteral("DataSetMenu"));
    connect(&ConcreteStoreOf(m_window), &ConcreteStore::changed, this,
            &DataSetMenu::concreteChanged);
    m_window.setSaveHandler([this] { return saveCurrent(); });
    connect(&m_window, &ParameterWindow::fileDropped, this, &DataSetMenu::openReplacing);
    // Whatever loads or saves a file, the Open and Save buttons included, adds it to the list.
    connect(&m_window, &ParameterWindow::dataSetFileChanged, this, &DataSetMenu::remember);
}

void DataSetMenu::addEntries(QMenu* file) {
    QAction* open = file->addAction(QStringLiteral("Open &data set…"));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    connect(open, &QAction::triggered, this, &DataSetMenu::chooseAndOpen);
    QAction* save = file->addAction(QStringLiteral("Save data set &as…"));
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    connect(save, &QAction::triggered, this, &DataSetMenu::chooseAndSave);
    m_recent = file->addMenu(QStringLiteral("&Recent data sets"));
    m_recent->setObjectName(QStringLiteral("RecentDataSets"));
    connect(m_recent, &QMenu::aboutToShow, this, &DataSetMenu::fillRecentMenu);
    fillRecentMenu();
}

// Rebuilt as the menu opens, so that it shows what another running copy of the program has
// added too.
void DataSetMenu::fillRecentMenu() {
    m_recent->clear();
    const QStringList recent = recentFiles();
    for (qsizetype k = 0; k < recent.size(); ++k) {
        const QString path = recent[k];
        QAction* entry = m_recent->addAction(QStringLiteral("&%1 %2").arg(
            QString::number((k + 1) % 10), QDir::toNativeSeparators(path)));
        connect(entry, &QAction::triggered, this, [this, path] { openReplacing(path); });
    }
    m_recent->setEnabled(!recent.isEmpty());
}

void DataSetMenu::remember(const QString& path) {
    QSettings settings;
    settings.setValue(kRecentKey, WithRecentFile(recentFiles(), path));
}

bool DataSetMenu::openReplacing(const QString& path) {
    return m_window.mayReplaceChanges() && open(path);
}

bool DataSetMenu::saveCurrent() {
    const QString path = m_window.dataSetFile();
    return path.isEmpty() ? chooseAndSave() : saveAs(path);
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
    m_window.markSaved(path);
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
    m_window.markSaved(path);
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
bool DataSetMenu::chooseAndSave() {
    QFileDialog dialog(&m_window, QStringLiteral("Save data set as"), m_lastDirectory,
                       kDataSetFilter + QStringLiteral(";;") + kParameterFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("orv"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        dialog.setDefaultSuffix(filter == kParameterFilter ? QStringLiteral("kvp")
                                                           : QStringLiteral("orv"));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return false;
    }
    const QString path = dialog.selectedFiles().constFirst();
    m_lastDirectory = QFileInfo(path).path();
    return saveAs(path);
}

DataSetMenu* DataSetMenuOf(ParameterWindow& window) {
    return window.findChild<DataSetMenu*>(QStringLiteral("DataSetMenu"),
                                          Qt::FindDirectChildrenOnly);
}

} // namespace orvane
