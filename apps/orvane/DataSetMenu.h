#pragma once

#include "core/engine/ConcreteInput.h"
#include "core/files/DataSetFile.h"

#include <QObject>
#include <QString>
#include <QStringList>

class QMenu;

namespace orvane {

class ParameterWindow;
struct AnalysisParameters;

// File > Open data set… and Save data set as… on the parameter window. The one part of a data
// set the window has no control for, the concrete inputs, lives in the window's ConcreteStore,
// which the concrete and code windows edit; a data-set save keeps it and an open restores it.
// Owned by the parameter window; DataSetMenuOf finds it.
class DataSetMenu : public QObject {
    Q_OBJECT

public:
    DataSetMenu(ParameterWindow& window, AnalysisParameters& params);

    // Adds the two entries and the Recent data sets menu to the File menu.
    void addEntries(QMenu* file);

    // The window's concrete inputs, as its ConcreteStore holds them.
    const ConcreteInput& concrete() const;
    void setConcrete(const ConcreteInput& concrete);

    // The data set on screen, with the concrete inputs.
    DataSet dataSet() const;

    // Loads a data-set file, or a parameter file (by its extension, else its contents) the way
    // the Open button does. A failure is shown in a message box and changes nothing.
    bool open(const QString& path);
    // Saves a data-set file, or a parameter file for a .kvp name; the latter first asks
    // whether to go on when it cannot keep the law, the initial ds or the concrete inputs.
    bool saveAs(const QString& path);
    // Saves the data set to the file it came from, or asks for a name when it has none; the
    // Save of the question asked before unsaved changes are lost.
    bool saveCurrent();
    // Opens a file chosen from Recent data sets or dropped on the window, after asking about
    // unsaved changes.
    bool openReplacing(const QString& path);

    // The recent data sets, newest first, as the settings keep them.
    static QStringList recentFiles();

signals:
    void concreteChanged(); // the store's inputs changed

private:
    void chooseAndOpen();
    bool chooseAndSave();
    void remember(const QString& path);
    void fillRecentMenu();

    ParameterWindow& m_window;
    AnalysisParameters& m_params;
    QString m_lastDirectory;
    QMenu* m_recent = nullptr;
};

// The recent list after path was opened or saved: path first, no name twice, at most ten.
QStringList WithRecentFile(QStringList recent, const QString& path);

// The parameter window's DataSetMenu, or nullptr before InstallParameterMenuBar.
DataSetMenu* DataSetMenuOf(ParameterWindow& window);

} // namespace orvane
