#include "gui/parameters/ParameterFileDialog.h"

#include "gui/forms/Controls.h"
#include "gui/forms/FormLook.h"
#include "gui/forms/Placement.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTreeWidget>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace orvane {

namespace {

constexpr int kClientWidth = 5760; // twips
constexpr int kClientHeight = 3975;
constexpr double kPoints = 11.25;
constexpr double kPathPoints = 9;
constexpr int kPathRole = Qt::UserRole;
// Set on a file-list or directory-list entry whose name is not valid UTF-8: shown with
// replacement characters, it cannot be handed on as a path.
constexpr int kUnusableRole = Qt::UserRole + 1;

constexpr const char* kNetworkTypes[] = {"nfs",   "nfs4",  "cifs",      "smb3",
                                         "smbfs", "sshfs", "fuse.sshfs"};
constexpr const char* kRemovableRoots[] = {"/media/", "/mnt/", "/run/media/"};

// /proc/self/mounts writes a blank, tab, newline or backslash in a path as \ooo.
QByteArray unescapeMountField(const QByteArray& field) {
    auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
    QByteArray plain;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) &&
            isOctal(field[i + 2]) && isOctal(field[i + 3])) {
            plain +=
                char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + field[i + 3] - '0');
            i += 3;
        } else {
            plain += field[i];
        }
    }
    return plain;
}

// errno of the failure to list or enter the directory; 0 when it is now the current one.
int enterDirectory(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    DIR* listing = ::opendir(native.constData());
    if (!listing) {
        return errno;
    }
    ::closedir(listing);
    return ::chdir(native.constData()) == 0 ? 0 : errno;
}

// The directory list of a classic form: each level indented under the one above, without
// expand and collapse marks. A double-click or Enter opens the highlighted entry; Enter does
// not reach the dialog's default button.
class DirectoryTree : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;

    void setOpenAction(std::function<void(QTreeWidgetItem*)> open) {
        m_open = std::move(open);
        connect(this, &QTreeWidget::itemDoubleClicked, this,
                [this](QTreeWidgetItem* item) { m_open(item); });
    }

protected:
    void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}
    void keyPressEvent(QKeyEvent* event) override {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && currentItem() && m_open) {
            m_open(currentItem());
            return;
        }
        QTreeWidget::keyPressEvent(event);
    }

private:
    std::function<void(QTreeWidgetItem*)> m_open;
};

// A name listed from a directory: as shown, with U+FFFD for each byte that is not valid
// UTF-8, and whether it is the system's name, which the paths handed on need.
struct ListedName {
    QString shown;
    bool usable;
};

// The names of the not hidden subdirectories (or regular files) of directory, sorted without
// letter case. Read from the system rather than through QDir, which leaves out a name that is
// not valid UTF-8.
std::vector<ListedName> listNames(const QString& directory, bool subdirectories) {
    std::vector<ListedName> names;
    DIR* listing = ::opendir(QFile::encodeName(directory).constData());
    if (!listing) {
        return names;
    }
    while (const dirent* entry = ::readdir(listing)) {
        struct stat info {};
        if (entry->d_name[0] == '.' || ::fstatat(::dirfd(listing), entry->d_name, &info, 0) != 0 ||
            (subdirectories ? !S_ISDIR(info.st_mode) : !S_ISREG(info.st_mode))) {
            continue;
        }
        const QByteArray name(entry->d_name);
        names.push_back({QString::fromUtf8(name), QUtf8StringView(name).isValidUtf8()});
    }
    ::closedir(listing);
    std::sort(names.begin(), names.end(), [](const ListedName& a, const ListedName& b) {
        const int order = a.shown.compare(b.shown, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a.shown < b.shown;
    });
    return names;
}

QString unusableNameNote(const char* what) {
    return QStringLiteral("This name is not valid UTF-8: rename the %1 to use it.")
        .arg(QLatin1String(what));
}

// Top-aligned as the form was drawn: the box below overlaps the label's lower edge.
QLabel* makeTopLabel(QWidget* parent, const char* name, const char* text, int left, int top,
                     int width) {
    return makeLabel(parent, name, QString::fromLatin1(text), {left, top, width, 315},
                     parent->font(), Qt::AlignLeft | Qt::AlignTop);
}

} // namespace

QString joinPath(const QString& directory, const QString& name) {
    return directory.endsWith(u'/') ? directory + name : directory + u'/' + name;
}

QStringList volumeMountPoints(const QByteArray& mounts) {
    QStringList points;
    for (const QByteArray& line : mounts.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 3) {
            continue;
        }
        const QByteArray point = unescapeMountField(fields[1]);
        const bool network = std::find(std::begin(kNetworkTypes), std::end(kNetworkTypes),
                                       fields[2]) != std::end(kNetworkTypes);
        const bool removable =
            fields[0].startsWith("/dev/") &&
            std::any_of(std::begin(kRemovableRoots), std::end(kRemovableRoots),
                        [&](const char* root) { return point.startsWith(root); });
        const QString path = QFile::decodeName(point);
        if ((network || removable) && !points.contains(path)) {
            points << path;
        }
    }
    return points;
}

ParameterFileDialog::ParameterFileDialog(AnalysisParameters& params, FileAction load,
                                         FileAction save, QWidget* parent)
    : QDialog(parent), m_params(params), m_load(std::move(load)), m_save(std::move(save)) {
    setObjectName(QStringLiteral("frmOpenSave"));
    setWindowTitle(QStringLiteral("K-Varo File")); // the caller sets the mode
    setFixedSize(twipsToPixels(kClientWidth), twipsToPixels(kClientHeight));
    QPalette grey = palette();
    grey.setColor(QPalette::Window, QColor(192, 192, 192));
    setPalette(grey);
    setAutoFillBackground(true);
    fixTextOn(this, grey.color(QPalette::Window));
    setFont(formFont(kPoints));

    centreByFrame(this);

    buildControls();
    fillDrives();
    startInCurrentDirectory();
    connect(m_drives, &QComboBox::currentIndexChanged, this, &ParameterFileDialog::driveChosen);
    m_files->setFocus();
}

void ParameterFileDialog::presetName(const QString& text) {
    m_name->setText(text);
    m_name->setSelection(0, int(text.size()));
}

// Created in tab order, which Qt follows for the focus; labels take none, so the file list
// comes first.
void ParameterFileDialog::buildControls() {
    makeTopLabel(this, "lblOpenSave_0", "File Name:", 120, 120, 1455);
    makeTopLabel(this, "lblOpenSave_1", "Directory:", 2280, 120, 1455);
    m_pathLabel = makeTopLabel(this, "lblOpenSave_2", "", 2280, 480, 3375);
    m_pathLabel->setFont(formFont(kPathPoints));
    // The directory list covers the label entirely; hidden, so that no glyph shows through
    // the list's frame. It still carries the path.
    m_pathLabel->hide();

    m_files = makeControl<QListWidget>(this, "filOpenSave", {120, 840, 2055, 2340});
    m_files->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(m_files, &QListWidget::itemSelectionChanged, this, &ParameterFileDialog::fileSelected);
    connect(m_files, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        if (!refusedAsUnusable(item->text())) {
            chooseFile(item->text());
        }
    });

    auto* directories = makeControl<DirectoryTree>(this, "dirOpenSave", {2280, 360, 3375, 2070});
    directories->setOpenAction([this](QTreeWidgetItem* item) {
        if (item->data(0, kUnusableRole).toBool()) {
            warn(QStringLiteral("This directory name is not valid UTF-8; rename the directory to "
                                "open it"),
                 item->text(0));
        } else {
            showDirectory(item->data(0, kPathRole).toString());
        }
    });
    m_directories = directories;
    m_directories->setHeaderHidden(true);
    m_directories->setRootIsDecorated(false);
    m_directories->setItemsExpandable(false);
    m_directories->setExpandsOnDoubleClick(false);
    m_directories->setIndentation(twipsToPixels(150));

    m_name = makeControl<QLineEdit>(this, "txtOpenSave", {120, 360, 2055, 405});
    m_name->setText(kStartPattern.toString());
    connect(m_name, &QLineEdit::textChanged, this, &ParameterFileDialog::nameEdited);

    m_drives = makeControl<QComboBox>(this, "drvOpenSave", {2280, 3000, 3375, 345});
    makeTopLabel(this, "lblOpenSave_3", "Drive:", 2280, 2640, 1455);

    const char* const captions[] = {"OK", "Cancel"};
    const int lefts[] = {2640, 4200};
    for (int index = 0; index < 2; ++index) {
        const QByteArray name = "cmdOpenSave_" + QByteArray::number(index);
        auto* button =
            makeControl<QPushButton>(this, name.constData(), {lefts[index], 3480, 1095, 375});
        button->setText(QString::fromLatin1(captions[index]));
        connect(button, &QPushButton::clicked, this, [this, index] { buttonClicked(index); });
        if (index == 0) {
            m_ok = button;
        }
    }
    m_ok->setDefault(true);
    m_ok->setEnabled(false);
}

// The root, the home directory and the mounted removable and network volumes.
void ParameterFileDialog::fillDrives() {
    QStringList drives{QStringLiteral("/"), QDir::cleanPath(QDir::homePath())};
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    if (mounts.open(QIODevice::ReadOnly)) {
        drives << volumeMountPoints(mounts.readAll());
    }
    drives.removeDuplicates();
    m_drives->addItems(drives);
}

// The current directory may have been removed or closed to us since it was entered.
void ParameterFileDialog::startInCurrentDirectory() {
    for (const QString& start : {QDir::currentPath(), QDir::homePath()}) {
        if (!start.isEmpty() && enterDirectory(start) == 0) {
            showDirectory(start);
            return;
        }
    }
    showDirectory(QStringLiteral("/"));
}

// The directory-change chain: the lists, the path label, the name box back to the pattern,
// the drive, and the process's current directory. An unreadable directory is reported and the
// dialog stays where it was.
bool ParameterFileDialog::showDirectory(const QString& path) {
    const QString directory = QDir::cleanPath(path);
    if (const int error = enterDirectory(directory)) {
        warn(qt_error_string(error), directory);
        return false;
    }
    m_path = directory;
    fillDirectoryList();
    fillFileList();
    m_pathLabel->setText(m_path);
    presetName(m_pattern); // selected as at opening, so that a typed name replaces it
    selectDrive(driveOf(m_path));
    return true;
}

// The path from the root down, each level indented under the last, then the subdirectories.
void ParameterFileDialog::fillDirectoryList() {
    m_directories->clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    auto addItem = [&](QTreeWidgetItem* item, const QString& path, const QIcon& icon) {
        item->setData(0, kPathRole, path);
        item->setIcon(0, icon);
        return item;
    };
    QTreeWidgetItem* current = addItem(new QTreeWidgetItem(m_directories, {QStringLiteral("/")}),
                                       QStringLiteral("/"), open);
    QString walked = QStringLiteral("/");
    for (const QString& part : m_path.split(u'/', Qt::SkipEmptyParts)) {
        walked = joinPath(walked, part);
        current = addItem(new QTreeWidgetItem(current, {part}), walked, open);
    }
    for (const ListedName& name : listNames(m_path, true)) {
        QTreeWidgetItem* item = addItem(new QTreeWidgetItem(current, {name.shown}),
                                        joinPath(m_path, name.shown), closed);
        if (!name.usable) {
            item->setData(0, kUnusableRole, true);
            item->setToolTip(0, unusableNameNote("directory"));
        }
    }
    m_directories->expandAll();
    m_directories->setCurrentItem(current);
    m_directories->scrollToItem(current);
}

// Files the pattern matches, without letter case as on the system the files come from;
// hidden files, directories, devices and pipes are left out. "*.kvp;*.txt" takes both.
void ParameterFileDialog::fillFileList() {
    QStringList filters = m_pattern.split(u';', Qt::SkipEmptyParts);
    for (QString& filter : filters) {
        filter = filter.trimmed();
    }
    m_files->clear();
    for (const ListedName& name : listNames(m_path, false)) {
        if (!QDir::match(filters, name.shown)) {
            continue;
        }
        auto* item = new QListWidgetItem(name.shown, m_files);
        if (!name.usable) {
            item->setData(kUnusableRole, true);
            item->setToolTip(unusableNameNote("file"));
        }
    }
}

// A listed name that is not valid UTF-8 cannot be handed on as a path: say so instead.
bool ParameterFileDialog::refusedAsUnusable(const QString& name) {
    const QList<QListWidgetItem*> found = m_files->findItems(name, Qt::MatchExactly);
    const bool unusable = std::any_of(found.begin(), found.end(), [](QListWidgetItem* item) {
        return item->data(kUnusableRole).toBool();
    });
    if (unusable) {
        warn(QStringLiteral("This file name is not valid UTF-8; rename the file to use it"), name);
    }
    return unusable;
}

void ParameterFileDialog::selectDrive(const QString& drive) {
    const QSignalBlocker quiet(m_drives);
    m_drives->setCurrentIndex(m_drives->findText(drive));
}

// The drive is the deepest entry of the drive list that contains the path.
QString ParameterFileDialog::driveOf(const QString& path) const {
    QString best = QStringLiteral("/");
    for (int i = 0; i < m_drives->count(); ++i) {
        const QString drive = m_drives->itemText(i);
        const bool within = path == drive || path.startsWith(joinPath(drive, QString()));
        if (within && drive.size() > best.size()) {
            best = drive;
        }
    }
    return best;
}

// A drive change moves to the volume's top directory.
void ParameterFileDialog::driveChosen(int index) {
    if (!showDirectory(m_drives->itemText(index))) {
        selectDrive(driveOf(m_path));
    }
}

void ParameterFileDialog::fileSelected() {
    const QList<QListWidgetItem*> selected = m_files->selectedItems();
    if (!selected.isEmpty()) {
        m_name->setText(selected.first()->text());
    }
}

// Once the name differs from the start pattern OK stays enabled for the dialog's life.
void ParameterFileDialog::nameEdited(const QString& text) {
    if (text != kStartPattern) {
        m_ok->setEnabled(true);
    }
}

void ParameterFileDialog::buttonClicked(int index) {
    if (index == 0) {
        okAction();
    } else {
        reject();
    }
}

void ParameterFileDialog::okAction() {
    const QString typed = m_name->text();
    if (refusedAsUnusable(typed) || takeAsFileName(typed)) {
        return;
    }
    // Neither a pattern, a directory nor a file: test the name itself, relative to the current
    // directory. Only a missing name may be saved as typed.
    struct stat info {};
    int error = 0;
    if (typed.contains(QChar(0))) {
        error = EINVAL; // the system would read the name only up to the NUL: another file
    } else if (::stat(QFile::encodeName(typed).constData(), &info) != 0) {
        error = errno;
    }
    if (error == 0) {
        if (!S_ISREG(info.st_mode)) {
            // A pipe would block the save until someone reads it; a device would take the
            // parameter file's bytes.
            warn(QStringLiteral("Not a regular file"), typed);
        }
        return;
    }
    if (error != ENOENT) {
        warn(qt_error_string(error), typed);
    } else if (windowTitle() == kSaveCaption) {
        m_save(typed); // exactly as typed: relative, no extension added
        accept();
    } else {
        warn(QStringLiteral("This file does not exist"), typed);
    }
}

// How the file list takes a typed name: a text with a wildcard is a pattern, with an optional
// directory part; a directory is moved to; an existing file, of any extension, is chosen as
// by a double-click. Anything else is refused.
bool ParameterFileDialog::takeAsFileName(const QString& text) {
    if (text.isEmpty() || text.contains(QChar(0))) {
        return false;
    }
    if (text.contains(u'*') || text.contains(u'?')) {
        const qsizetype slash = text.lastIndexOf(u'/');
        if (slash < 0) {
            m_pattern = text;
            fillFileList();
            return true;
        }
        const QString directory =
            QDir(m_path).absoluteFilePath(slash == 0 ? QStringLiteral("/") : text.left(slash));
        if (!QFileInfo(directory).isDir()) {
            return false;
        }
        const QString previous = std::exchange(m_pattern, text.mid(slash + 1));
        if (!showDirectory(directory)) {
            m_pattern = previous;
        }
        return true;
    }
    const QFileInfo info(QDir::cleanPath(QDir(m_path).absoluteFilePath(text)));
    if (info.isDir()) {
        showDirectory(info.filePath());
        return true;
    }
    if (!info.isFile()) {
        return false;
    }
    if (info.path() == m_path || showDirectory(info.path())) {
        chooseFile(info.fileName());
    }
    return true;
}

// The double-click action: the full path, then load or save by the caption, then close, also
// when the save was refused or failed.
void ParameterFileDialog::chooseFile(const QString& name) {
    const QString path = joinPath(m_path, name);
    m_params.chosenFilePath = path.toStdString();
    if (windowTitle() == kOpenCaption) {
        m_load(path);
    } else if (windowTitle() == kSaveCaption) {
        m_save(path);
    }
    accept();
}

void ParameterFileDialog::warn(const QString& text, const QString& subject) {
    QMessageBox box(QMessageBox::Warning, kMessageTitle.toString(), text, QMessageBox::Ok, this);
    box.setInformativeText(subject);
    box.exec();
}

} // namespace orvane
