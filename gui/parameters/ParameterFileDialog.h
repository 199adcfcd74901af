#pragma once

#include "core/engine/AnalysisParameters.h"

#include <QDialog>
#include <QStringList>
#include <QStringView>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;

namespace orvane {

// directory and name joined by one '/'; the root's own slash is not doubled ("/" + "etc").
QString joinPath(const QString& directory, const QString& name);

// The volumes the drive list offers besides the root and the home directory, from the text
// of /proc/self/mounts: block devices mounted under /media, /mnt or /run/media, and network
// file systems wherever they are mounted. In the order listed, each once.
QStringList volumeMountPoints(const QByteArray& mounts);

// frmOpenSave, the modal dialog through which Open and Save pick a parameter file. Its
// caption is its mode. Moving between directories makes the one shown the process's current
// directory, so relative names resolve there and the next dialog starts there.
class ParameterFileDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr QStringView kOpenCaption = u"KVP Open";
    static constexpr QStringView kSaveCaption = u"KVP Save";
    static constexpr QStringView kStartPattern = u"*.kvp";
    // The application's title, which the dialog's messages carry, and with them every message
    // about parameter files that the layout gives no title of its own (a failed load).
    static constexpr QStringView kMessageTitle = u"Orvane2";

    // Called with the chosen path on a confirmed choice; each reports its own failures.
    using FileAction = std::function<void(const QString& path)>;

    explicit ParameterFileDialog(AnalysisParameters& params, FileAction load, FileAction save,
                                 QWidget* parent = nullptr);

    // Fills the file-name box and selects the whole text, so that typing replaces it.
    void presetName(const QString& text);

private:
    void buildControls();
    void fillDrives();
    void startInCurrentDirectory();
    bool showDirectory(const QString& path);
    void fillDirectoryList();
    void fillFileList();
    bool refusedAsUnusable(const QString& name);
    void selectDrive(const QString& drive);
    QString driveOf(const QString& path) const;

    void driveChosen(int index);
    void fileSelected();
    void nameEdited(const QString& text);
    void buttonClicked(int index);
    void okAction();
    bool takeAsFileName(const QString& text);
    void chooseFile(const QString& name);
    void warn(const QString& text, const QString& subject);

    AnalysisParameters& m_params;
    FileAction m_load;
    FileAction m_save;
    QString m_path; // the file list's directory, kept equal to the current directory
    QString m_pattern = kStartPattern.toString();

    QLabel* m_pathLabel = nullptr;
    QListWidget* m_files = nullptr;
    QTreeWidget* m_directories = nullptr;
    QLineEdit* m_name = nullptr;
    QComboBox* m_drives = nullptr;
    QPushButton* m_ok = nullptr;
};

} // namespace orvane
