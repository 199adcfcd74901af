#include "gui/parameters/ParameterFileDialog.h"
#include "gui/parameters/ParameterWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QtTest>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvane;

namespace {

// A parameter file of seventeen lines with the given comment.
QByteArray parameterFile(const QByteArray& comment) {
    return comment + "\r\n" + QByteArray("1\r\n").repeated(5) + "N\r\n" +
           QByteArray("2\r\n").repeated(10);
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

template <class Widget>
Widget* control(QWidget* dialog, const char* name) {
    return dialog->findChild<Widget*>(QString::fromLatin1(name));
}

QStringList fileItems(QWidget* dialog) {
    QStringList names;
    auto* files = control<QListWidget>(dialog, "filOpenSave");
    for (int row = 0; row < files->count(); ++row) {
        names << files->item(row)->text();
    }
    return names;
}

QTreeWidgetItem* directoryItem(QWidget* dialog, const QString& path) {
    for (QTreeWidgetItemIterator it(control<QTreeWidget>(dialog, "dirOpenSave")); *it; ++it) {
        if ((*it)->data(0, Qt::UserRole).toString() == path) {
            return *it;
        }
    }
    return nullptr;
}

void doubleClick(QAbstractItemView* view, const QRect& itemRect) {
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, itemRect.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, itemRect.center());
}

// The tree lists every folder from the root down to the current one, so in a deep temporary
// folder the one wanted may lie below the tree's visible part: it is scrolled into view first.
void doubleClickDirectory(QWidget* dialog, const QString& path) {
    auto* tree = control<QTreeWidget>(dialog, "dirOpenSave");
    QTreeWidgetItem* item = directoryItem(dialog, path);
    QVERIFY2(item, qPrintable(path));
    tree->scrollToItem(item);
    doubleClick(tree, tree->visualItemRect(item));
}

void doubleClickFile(QWidget* dialog, const QString& name) {
    auto* files = control<QListWidget>(dialog, "filOpenSave");
    const QList<QListWidgetItem*> found = files->findItems(name, Qt::MatchExactly);
    QVERIFY2(found.size() == 1, qPrintable(name));
    doubleClick(files, files->visualItemRect(found.first()));
}

// Tabs from the file list, where the focus starts, to the name box and types there.
void tabToNameAndType(QWidget* dialog, const QString& text) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), control<QWidget>(dialog, "txtOpenSave"));
    QTest::keyClicks(QApplication::focusWidget(), text);
}

void typeName(QWidget* dialog, const QString& text) {
    auto* name = control<QLineEdit>(dialog, "txtOpenSave");
    name->selectAll();
    name->insert(text); // as pasted, so that any character gets in
}

bool sameParameters(const AnalysisParameters& a, const AnalysisParameters& b) {
    for (int f = 0; f < kNumericFieldCount; ++f) {
        if (a.value(NumericField(f)) != b.value(NumericField(f))) {
            return false;
        }
    }
    return a.comment == b.comment && a.detailOutput == b.detailOutput &&
           a.bondModel == b.bondModel && a.chosenFilePath == b.chosenFilePath &&
           a.parameterFilePath == b.parameterFilePath;
}

} // namespace

class ParameterFileDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        m_startDir = QDir::currentPath();
        m_home = qgetenv("HOME");
        m_poll.setInterval(10);
        connect(&m_poll, &QTimer::timeout, this, &ParameterFileDialogTest::answerModalWindows);
    }

    // root/ a.kvp b.KVP c.txt .hidden.kvp fifo.kvp dir.kvp/ home/ sub/{d.kvp e.txt}
    void init() {
        m_tree = std::make_unique<QTemporaryDir>();
        QVERIFY(m_tree->isValid());
        m_root = QFileInfo(m_tree->path()).canonicalFilePath();
        for (const char* name :
             {"a.kvp", "b.KVP", "c.txt", ".hidden.kvp", "sub/d.kvp", "sub/e.txt"}) {
            QDir(m_root).mkpath(QFileInfo(name).path());
            writeFile(m_root + "/" + name, parameterFile(QByteArray("from ") + name));
        }
        QVERIFY(QDir(m_root).mkdir("dir.kvp") && QDir(m_root).mkdir("home"));
        QCOMPARE(::mkfifo(QFile::encodeName(m_root + "/fifo.kvp").constData(), 0600), 0);
        QVERIFY(QDir::setCurrent(m_root));
        qputenv("HOME", QFile::encodeName(m_root + "/home"));
        m_params = AnalysisParameters();
        m_params.chosenFilePath = "earlier";
        m_calls.clear();
        m_boxes.clear();
        m_answer = QMessageBox::Ok;
        m_onDialog = nullptr;
        m_poll.start();
    }

    void cleanup() {
        m_poll.stop();
        m_dialog.reset();
        QDir::setCurrent(m_startDir);
        qputenv("HOME", m_home);
        m_tree.reset();
    }

    void joinPath_data() {
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("joined");
        QTest::newRow("root") << "/"
                              << "/etc";
        QTest::newRow("directory") << "/home/user"
                                   << "/home/user/etc";
        QTest::newRow("trailing slash") << "/home/user/"
                                        << "/home/user/etc";
    }
    void joinPath() {
        QFETCH(QString, directory);
        QFETCH(QString, joined);
        QCOMPARE(orvane::joinPath(directory, "etc"), joined);
    }

    void volumeMountPoints_data() {
        QTest::addColumn<QByteArray>("mounts");
        QTest::addColumn<QStringList>("points");
        QTest::newRow("stick under /media")
            << QByteArray("/dev/sdb1 /media/user/STICK vfat rw 0 0\n")
            << QStringList{"/media/user/STICK"};
        QTest::newRow("escaped blank")
            << QByteArray("/dev/sdc1 /run/media/user/My\\040Disk exfat rw 0 0\n")
            << QStringList{"/run/media/user/My Disk"};
        QTest::newRow("network anywhere")
            << QByteArray("srv:/export /srv/data nfs4 rw 0 0\n//srv/share /mnt/share cifs rw 0 0\n"
                          "u@srv:/ /home/u/remote fuse.sshfs rw 0 0\n")
            << QStringList{"/srv/data", "/mnt/share", "/home/u/remote"};
        QTest::newRow("system mounts left out")
            << QByteArray("proc /proc proc rw 0 0\n/dev/vda / ext4 rw 0 0\n"
                          "tmpfs /mnt/tmp tmpfs rw 0 0\n/dev/vdb /srv ext4 rw 0 0\n")
            << QStringList{};
        QTest::newRow("listed once") << QByteArray("srv:/a /net/a nfs rw 0 0\n"
                                                   "srv:/a /net/a nfs rw 0 0")
                                     << QStringList{"/net/a"};
    }
    void volumeMountPoints() {
        QFETCH(QByteArray, mounts);
        QFETCH(QStringList, points);
        QCOMPARE(orvane::volumeMountPoints(mounts), points);
    }

    void openingState_data() {
        QTest::addColumn<QString>("caption");
        QTest::newRow("open") << "KVP Open";
        QTest::newRow("save") << "KVP Save";
    }
    void openingState() {
        QFETCH(QString, caption);
        QWidget* dialog = openDialog(caption);
        QCOMPARE(dialog->windowTitle(), caption);
        auto* name = control<QLineEdit>(dialog, "txtOpenSave");
        QCOMPARE(name->text(), QStringLiteral("*.kvp"));
        QVERIFY(!control<QPushButton>(dialog, "cmdOpenSave_0")->isEnabled());
        QCOMPARE(QApplication::focusWidget(), control<QWidget>(dialog, "filOpenSave"));
        // Only ordinary files matching the pattern: no hidden file, directory or pipe.
        QCOMPARE(fileItems(dialog), QStringList({"a.kvp", "b.KVP"}));
        QCOMPARE(control<QLabel>(dialog, "lblOpenSave_2")->text(), m_root);
        QTreeWidgetItem* current = control<QTreeWidget>(dialog, "dirOpenSave")->currentItem();
        QCOMPARE(current->data(0, Qt::UserRole).toString(), m_root);
        QCOMPARE(current->childCount(), 3); // dir.kvp, home, sub
        auto* drives = control<QComboBox>(dialog, "drvOpenSave");
        QCOMPARE(drives->currentText(), QStringLiteral("/"));
        QVERIFY(drives->findText(m_root + "/home") >= 0);

        typeName(dialog, "x");
        typeName(dialog, "*.kvp"); // the start pattern again: OK stays enabled
        QVERIFY(control<QPushButton>(dialog, "cmdOpenSave_0")->isEnabled());
    }

    void navigationLastsBeyondCancel() {
        QWidget* dialog = openDialog("KVP Open");
        control<QListWidget>(dialog, "filOpenSave")->setCurrentRow(0);
        QCOMPARE(control<QLineEdit>(dialog, "txtOpenSave")->text(), QStringLiteral("a.kvp"));
        doubleClickDirectory(dialog, m_root + "/sub");
        QCOMPARE(QDir::currentPath(), m_root + "/sub");
        QCOMPARE(fileItems(dialog), QStringList{"d.kvp"});
        QCOMPARE(control<QLineEdit>(dialog, "txtOpenSave")->text(), QStringLiteral("*.kvp"));
        QTest::mouseClick(control<QPushButton>(dialog, "cmdOpenSave_1"), Qt::LeftButton);
        QVERIFY(!dialog->isVisible());

        dialog = openDialog("KVP Save");
        QCOMPARE(control<QLabel>(dialog, "lblOpenSave_2")->text(), m_root + "/sub");
        QCOMPARE(fileItems(dialog), QStringList{"d.kvp"});
        doubleClickDirectory(dialog, m_root);
        QCOMPARE(QDir::currentPath(), m_root);
        QCOMPARE(fileItems(dialog), QStringList({"a.kvp", "b.KVP"}));
        QVERIFY(m_boxes.isEmpty());
    }

    // What OK does with a typed name. '@' stands for the tree's root; "calls" lists the loads
    // and saves the dialog asked for, "chosen" is chosenFilePath when it changed, "dir" the
    // current directory afterwards. Without a choice the dialog stays open, with the name box
    // as typed unless "nameBox" says otherwise.
    void typedNames_data() {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("calls");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("nameBox");
        QTest::addColumn<QString>("files");
        const char* const missing = "This file does not exist";
        const struct {
            const char* name;
            const char* caption;
            std::string_view typed;
            const char *calls, *chosen, *message, *dir;
            const char* nameBox = ""; // a choice closes the dialog: nothing left to check
            const char* files = "";
        } rows[] = {
            {"pattern", "KVP Open", "*.txt", "", "", "", "@", "*.txt", "c.txt"},
            {"two patterns", "KVP Save", "*.txt; *.kvp", "", "", "", "@", "*.txt; *.kvp",
             "a.kvp|b.KVP|c.txt"},
            {"pattern with directory", "KVP Open", "sub/*.txt", "", "", "", "@/sub", "*.txt",
             "e.txt"},
            {"directory", "KVP Save", "sub", "", "", "", "@/sub", "*.kvp", "d.kvp"},
            {"absolute directory", "KVP Open", "@/sub/", "", "", "", "@/sub", "*.kvp", "d.kvp"},
            {"open missing name", "KVP Open", "missing.kvp", "", "", missing, "@", "",
             "a.kvp|b.KVP"},
            {"save new name", "KVP Save", "new", "save new", "", "", "@"},
            {"open existing name", "KVP Open", "a.kvp", "load @/a.kvp", "@/a.kvp", "", "@"},
            {"save existing name", "KVP Save", "a.kvp", "save @/a.kvp", "@/a.kvp", "", "@"},
            {"file in a subdirectory", "KVP Open", "sub/d.kvp", "load @/sub/d.kvp", "@/sub/d.kvp",
             "", "@/sub"},
            {"file of another extension", "KVP Open", "c.txt", "load @/c.txt", "@/c.txt", "", "@"},
            // Not listed, but it exists: saving onto it must ask before replacing it.
            {"hidden existing file", "KVP Save", ".hidden.kvp", "save @/.hidden.kvp",
             "@/.hidden.kvp", "", "@"},
            {"existence test fails", "KVP Save", "a.kvp/x", "", "", "Not a directory", "@", "",
             "a.kvp|b.KVP"},
            {"pipe", "KVP Save", "fifo.kvp", "", "", "Not a regular file", "@", "", "a.kvp|b.KVP"},
            {"NUL in the name", "KVP Save", std::string_view("new\0.kvp", 8), "", "",
             "Invalid argument", "@", "", "a.kvp|b.KVP"},
            {"other caption, existing", "KVP open", "a.kvp", "", "@/a.kvp", "", "@"},
            {"other caption, missing", "kvp save", "new", "", "", missing, "@", "", "a.kvp|b.KVP"},
        };
        for (const auto& row : rows) {
            QTest::newRow(row.name)
                << row.caption << QString::fromUtf8(row.typed.data(), qsizetype(row.typed.size()))
                << row.calls << row.chosen << row.message << row.dir << row.nameBox << row.files;
        }
    }
    void typedNames() {
        QFETCH(QString, caption);
        QFETCH(QString, typed);
        QFETCH(QString, calls);
        QFETCH(QString, chosen);
        QFETCH(QString, message);
        QFETCH(QString, dir);
        QFETCH(QString, nameBox);
        QFETCH(QString, files);
        auto rooted = [this](QString text) { return text.replace('@', m_root); };
        QWidget* dialog = openDialog(caption);
        typeName(dialog, rooted(typed));
        QTest::mouseClick(control<QPushButton>(dialog, "cmdOpenSave_0"), Qt::LeftButton);

        QCOMPARE(m_calls, calls.isEmpty() ? QStringList() : QStringList{rooted(calls)});
        QCOMPARE(QString::fromStdString(m_params.chosenFilePath),
                 chosen.isEmpty() ? QStringLiteral("earlier") : rooted(chosen));
        QCOMPARE(m_boxes, message.isEmpty() ? QStringList() : QStringList{"Orvane2|" + message});
        const bool choiceMade = !calls.isEmpty() || !chosen.isEmpty();
        QCOMPARE(dialog->isVisible(), !choiceMade);
        QCOMPARE(QDir::currentPath(), rooted(dir));
        if (!choiceMade) {
            QCOMPARE(control<QLineEdit>(dialog, "txtOpenSave")->text(),
                     nameBox.isEmpty() ? rooted(typed) : nameBox);
            QCOMPARE(fileItems(dialog).join('|'), files);
        }
    }

    void driveChoice_data() {
        QTest::addColumn<QString>("home");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("dir");
        QTest::newRow("readable volume") << "@/home" << QString() << "@/home";
        QTest::newRow("volume that cannot be read") << "@/gone"
                                                    << "Orvane2|No such file or directory"
                                                    << "@";
    }
    void driveChoice() {
        QFETCH(QString, home);
        QFETCH(QString, message);
        QFETCH(QString, dir);
        auto rooted = [this](QString text) { return text.replace('@', m_root); };
        qputenv("HOME", QFile::encodeName(rooted(home)));
        QWidget* dialog = openDialog("KVP Open");
        auto* drives = control<QComboBox>(dialog, "drvOpenSave");
        drives->setCurrentIndex(drives->findText(rooted(home)));
        QCOMPARE(m_boxes, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(QDir::currentPath(), rooted(dir));
        QCOMPARE(control<QLabel>(dialog, "lblOpenSave_2")->text(), rooted(dir));
        QCOMPARE(drives->currentText(), message.isEmpty() ? rooted(home) : QStringLiteral("/"));
    }

    // Through the parameter window: the caller's part of the opening, and closing without a
    // choice.
    void openingFromTheWindow_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("close");
        QTest::newRow("Open, Cancel") << "Command2"
                                      << "KVP Open"
                                      << "cancel";
        QTest::newRow("Save, Esc") << "Command3"
                                   << "KVP Save"
                                   << "escape";
        QTest::newRow("Open, close box") << "Command2"
                                         << "KVP Open"
                                         << "close box";
    }
    void openingFromTheWindow() {
        QFETCH(QString, button);
        QFETCH(QString, caption);
        QFETCH(QString, close);
        ParameterWindow window(m_params);
        window.show();
        const AnalysisParameters before = m_params;
        QString seen;
        m_onDialog = [&](ParameterFileDialog* dialog) {
            tabToNameAndType(dialog, "typed.kvp");
            seen = dialog->objectName() + "|" + dialog->windowTitle() + "|" +
                   control<QLineEdit>(dialog, "txtOpenSave")->text();
            if (close == "cancel") {
                control<QPushButton>(dialog, "cmdOpenSave_1")->click();
            } else if (close == "escape") {
                QTest::keyClick(dialog, Qt::Key_Escape);
            } else {
                dialog->close();
            }
        };
        control<QPushButton>(&window, qPrintable(button))->click();
        QCOMPARE(seen, "frmOpenSave|" + caption + "|typed.kvp"); // typing replaced the pattern
        QVERIFY(!window.findChild<ParameterFileDialog*>());      // destroyed on closing
        QVERIFY(sameParameters(m_params, before));
        QVERIFY(!QFile::exists(m_root + "/typed.kvp"));
        QVERIFY(m_boxes.isEmpty());
    }

    void savingANewTypedName() {
        ParameterWindow window(m_params);
        window.show();
        m_onDialog = [](ParameterFileDialog* dialog) {
            tabToNameAndType(dialog, "newdata");
            control<QPushButton>(dialog, "cmdOpenSave_0")->click();
        };
        control<QPushButton>(&window, "Command3")->click();
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(m_boxes.isEmpty());
        QCOMPARE(readFile(m_root + "/newdata").count("\r\n"), 17);
        QVERIFY(!QFile::exists(m_root + "/newdata.kvp"));
        QCOMPARE(m_params.parameterFilePath, std::string("newdata"));
        QCOMPARE(m_params.chosenFilePath, std::string("earlier"));
    }

    void overwriting_data() {
        QTest::addColumn<bool>("typed");
        QTest::addColumn<bool>("yes");
        for (const bool typed : {true, false}) {
            for (const bool yes : {false, true}) {
                const QByteArray name =
                    QByteArray(typed ? "typed" : "double-click") + (yes ? ", Yes" : ", No");
                QTest::newRow(name.constData()) << typed << yes;
            }
        }
    }
    void overwriting() {
        QFETCH(bool, typed);
        QFETCH(bool, yes);
        const QString path = m_root + "/a.kvp";
        const QByteArray old = readFile(path);
        ParameterWindow window(m_params);
        window.show();
        m_answer = yes ? QMessageBox::Yes : QMessageBox::No;
        m_onDialog = [&](ParameterFileDialog* dialog) {
            if (typed) {
                typeName(dialog, "a.kvp");
                control<QPushButton>(dialog, "cmdOpenSave_0")->click();
            } else {
                doubleClickFile(dialog, "a.kvp");
            }
        };
        control<QPushButton>(&window, "Command3")->click();
        QVERIFY(!QApplication::activeModalWidget()); // closed, whatever the answer
        QCOMPARE(m_boxes, QStringList{QStringLiteral("Menu|Do you overwrite？")});
        QCOMPARE(m_params.chosenFilePath, path.toStdString());
        if (yes) {
            QVERIFY(readFile(path).startsWith("Please input the comment.\r\n"));
            QCOMPARE(m_params.parameterFilePath, path.toStdString());
        } else {
            QCOMPARE(readFile(path), old);
            QCOMPARE(m_params.parameterFilePath, std::string());
        }
    }

    void doubleClickLoads() {
        ParameterWindow window(m_params);
        window.show();
        m_onDialog = [](ParameterFileDialog* dialog) { doubleClickFile(dialog, "a.kvp"); };
        control<QPushButton>(&window, "Command2")->click();
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(control<QLineEdit>(&window, "Text1")->text(), QStringLiteral("from a.kvp"));
        QCOMPARE(m_params.comment, std::string("from a.kvp"));
        QCOMPARE(m_params.chosenFilePath, (m_root + "/a.kvp").toStdString());
        QCOMPARE(m_params.parameterFilePath, (m_root + "/a.kvp").toStdString());
    }

    // A file the window cannot take changes nothing in it, and the message carries the
    // application's title.
    void loadFailures_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("sixteen lines")
            << parameterFile("c").left(parameterFile("c").lastIndexOf("2\r\n"))
            << "\"@/x.kvp\" has only 16 lines; a parameter file has 17.";
        // Every field would show "5" and hold 0.
        QTest::newRow("NUL bytes") << QByteArray("\0\0\0"
                                                 "5\r\n",
                                                 6)
                                          .repeated(17)
                                   << "Line 1 of \"@/x.kvp\" contains the control character 0x00; "
                                      "a parameter file holds text only.";
    }
    void loadFailures() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        writeFile(m_root + "/x.kvp", bytes);
        ParameterWindow window(m_params);
        window.show();
        const QString comment = control<QLineEdit>(&window, "Text1")->text();
        const QString tauMax = control<QLineEdit>(&window, "Text2")->text();
        m_onDialog = [](ParameterFileDialog* dialog) {
            typeName(dialog, "x.kvp");
            control<QPushButton>(dialog, "cmdOpenSave_0")->click();
        };
        control<QPushButton>(&window, "Command2")->click();
        QCOMPARE(m_boxes, QStringList{"Orvane2|The parameter file was not loaded.\n\n" +
                                      reason.replace('@', m_root)});
        QCOMPARE(control<QLineEdit>(&window, "Text1")->text(), comment);
        QCOMPARE(control<QLineEdit>(&window, "Text2")->text(), tauMax);
        QCOMPARE(m_params.parameterFilePath, std::string());
    }

    // A comment longer than a text box holds by default loads whole and saves whole.
    void longCommentIsKeptWhole() {
        const QByteArray comment = QByteArray("long ").repeated(8000); // 40000 characters
        writeFile(m_root + "/long.kvp", parameterFile(comment));
        ParameterWindow window(m_params);
        window.show();
        m_onDialog = [](ParameterFileDialog* dialog) { doubleClickFile(dialog, "long.kvp"); };
        control<QPushButton>(&window, "Command2")->click();
        QCOMPARE(control<QLineEdit>(&window, "Text1")->text().size(), comment.size());
        m_onDialog = [](ParameterFileDialog* dialog) {
            typeName(dialog, "saved.kvp");
            control<QPushButton>(dialog, "cmdOpenSave_0")->click();
        };
        control<QPushButton>(&window, "Command3")->click();
        QVERIFY(m_boxes.isEmpty());
        QVERIFY(readFile(m_root + "/saved.kvp").startsWith(comment + "\r\n"));
    }

    // A comment character Shift-JIS cannot hold gives a numbered error; the look-alikes that
    // Japanese input methods type are stored as the code page's characters.
    void commentCharacters_data() {
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("firstLine");
        QTest::newRow("Latin letter") << "café"
                                      << "Text editor|Error! Try again.84" << QByteArray();
        QTest::newRow("emoji") << "ok 😀"
                               << "Text editor|Error! Try again.84" << QByteArray();
        QTest::newRow("wave dash") << "10〜20" << QString()
                                   << QByteArray("10\x81\x60"
                                                 "20");
        QTest::newRow("minus sign") << "−5" << QString()
                                    << QByteArray("\x81\x7C"
                                                  "5");
    }
    void commentCharacters() {
        QFETCH(QString, comment);
        QFETCH(QString, message);
        QFETCH(QByteArray, firstLine);
        ParameterWindow window(m_params);
        window.show();
        control<QLineEdit>(&window, "Text1")->setText(comment);
        m_onDialog = [](ParameterFileDialog* dialog) {
            typeName(dialog, "c.kvp");
            control<QPushButton>(dialog, "cmdOpenSave_0")->click();
        };
        control<QPushButton>(&window, "Command3")->click();
        QCOMPARE(m_boxes, message.isEmpty() ? QStringList() : QStringList{message});
        const QByteArray saved = readFile(m_root + "/c.kvp");
        if (firstLine.isEmpty()) {
            QCOMPARE(saved, QByteArray("(missing)")); // a refused save writes nothing
        } else {
            QVERIFY(saved.startsWith(firstLine + "\r\n"));
        }
    }

    // Enter on the directory list opens the highlighted directory; the name box, which holds
    // a file name, is not taken.
    void enterOpensTheHighlightedDirectory() {
        QWidget* dialog = openDialog("KVP Open");
        control<QListWidget>(dialog, "filOpenSave")->setCurrentRow(0); // a.kvp in the name box
        auto* tree = control<QTreeWidget>(dialog, "dirOpenSave");
        tree->setFocus();
        tree->setCurrentItem(directoryItem(dialog, m_root + "/sub"));
        QTest::keyClick(tree, Qt::Key_Return);
        QVERIFY(dialog->isVisible());
        QCOMPARE(m_calls, QStringList());
        QCOMPARE(QDir::currentPath(), m_root + "/sub");
        QCOMPARE(fileItems(dialog), QStringList{"d.kvp"});
        QCOMPARE(QApplication::focusWidget(), tree);
        tree->setCurrentItem(directoryItem(dialog, m_root));
        QTest::keyClick(tree, Qt::Key_Enter);
        QCOMPARE(QDir::currentPath(), m_root);
        QVERIFY(dialog->isVisible());
    }

    // After a typed move the pattern is selected again, so that the next typed name replaces
    // it, as at opening.
    void typedMoveSelectsThePattern_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("directory") << "sub"
                                   << "*.kvp";
        QTest::newRow("pattern with directory") << "sub/*.txt"
                                                << "*.txt";
    }
    void typedMoveSelectsThePattern() {
        QFETCH(QString, typed);
        QFETCH(QString, pattern);
        QWidget* dialog = openDialog("KVP Open");
        tabToNameAndType(dialog, typed);
        auto* name = control<QLineEdit>(dialog, "txtOpenSave");
        QTest::keyClick(name, Qt::Key_Return);
        QCOMPARE(QDir::currentPath(), m_root + "/sub");
        QCOMPARE(name->text(), pattern);
        QCOMPARE(name->selectedText(), pattern);
        QTest::keyClicks(name, "d.kvp");
        QCOMPARE(name->text(), QStringLiteral("d.kvp"));
        QTest::keyClick(name, Qt::Key_Return);
        QCOMPARE(m_calls, QStringList{"load " + m_root + "/sub/d.kvp"});
    }

    // Names that are not valid UTF-8 are listed with a replacement character; choosing one
    // says why it cannot be used instead of loading, saving or opening another one.
    void invalidUtf8NamesAreShownAndExplained() {
        const QByteArray root = QFile::encodeName(m_root);
        const int fd = ::open(root + "/bad\xFF.kvp", O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        QCOMPARE(::mkdir(root + "/dir\xFE", 0755), 0);
        // QTemporaryDir cannot remove such names either.
        const auto removal = qScopeGuard([&] {
            ::unlink(root + "/bad\xFF.kvp");
            ::rmdir(root + "/dir\xFE");
        });
        QWidget* dialog = openDialog("KVP Save");
        const QString file = QStringLiteral("bad\uFFFD.kvp");
        QCOMPARE(fileItems(dialog), QStringList({"a.kvp", "b.KVP", file}));
        const QString refusal =
            "Orvane2|This file name is not valid UTF-8; rename the file to use it";
        doubleClickFile(dialog, file);
        QCOMPARE(control<QLineEdit>(dialog, "txtOpenSave")->text(), file);
        QTest::mouseClick(control<QPushButton>(dialog, "cmdOpenSave_0"), Qt::LeftButton);
        QCOMPARE(m_boxes, QStringList({refusal, refusal}));
        QCOMPARE(m_calls, QStringList());
        QVERIFY(!QFile::exists(m_root + "/" + file)); // nothing saved under the shown name

        doubleClickDirectory(dialog, m_root + "/dir\uFFFD");
        QCOMPARE(m_boxes.last(), QStringLiteral("Orvane2|This directory name is not valid UTF-8; "
                                                "rename the directory to open it"));
        QCOMPARE(QDir::currentPath(), m_root);
        QVERIFY(dialog->isVisible());
    }

    // ORVANE_GRAB_DIR=dir writes a picture of the dialog in each mode, and after a typed move
    // to a subdirectory, to look at.
    void picture_data() {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("typed");
        QTest::newRow("open") << "KVP Open" << QString();
        QTest::newRow("save") << "KVP Save" << QString();
        QTest::newRow("moved") << "KVP Open"
                               << "sub";
    }
    void picture() {
        QFETCH(QString, caption);
        QFETCH(QString, typed);
        const QByteArray dir = qgetenv("ORVANE_GRAB_DIR");
        if (dir.isEmpty()) {
            QSKIP("set ORVANE_GRAB_DIR to write window pictures");
        }
        QWidget* dialog = openDialog(caption);
        if (!typed.isEmpty()) {
            tabToNameAndType(dialog, typed);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        }
        const QString name = QStringLiteral("frmOpenSave-%1-%2x.png")
                                 .arg(QString::fromLatin1(QTest::currentDataTag()))
                                 .arg(dialog->devicePixelRatioF());
        QVERIFY(dialog->grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(name)));
    }

private:
    // A dialog whose loads and saves are only recorded, shown without blocking.
    QWidget* openDialog(const QString& caption) {
        m_dialog = std::make_unique<ParameterFileDialog>(
            m_params, [this](const QString& path) { m_calls << "load " + path; },
            [this](const QString& path) { m_calls << "save " + path; });
        m_dialog->setWindowTitle(caption);
        m_dialog->presetName("*.kvp");
        m_dialog->show();
        m_dialog->activateWindow();
        if (!QTest::qWaitForWindowActive(m_dialog.get())) {
            qWarning("the dialog did not become active");
        }
        return m_dialog.get();
    }

    // Answers every message box and records it; hands a modal file dialog to m_onDialog once.
    void answerModalWindows() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            m_boxes << box->windowTitle() + "|" + box->text();
            QAbstractButton* button = box->button(m_answer);
            (button ? button : box->buttons().first())->click();
        } else if (auto* dialog = qobject_cast<ParameterFileDialog*>(modal); dialog && m_onDialog) {
            // Run from a fresh timer, so that this one can answer the act's message boxes.
            QTimer::singleShot(0, dialog, [this, dialog, act = std::exchange(m_onDialog, nullptr)] {
                act(dialog);
                if (dialog->isVisible()) { // a test that would otherwise hang
                    m_boxes << QStringLiteral("(dialog left open)");
                    dialog->reject();
                }
            });
        }
    }

    QString m_startDir;
    QByteArray m_home;
    std::unique_ptr<QTemporaryDir> m_tree;
    QString m_root;
    AnalysisParameters m_params;
    std::unique_ptr<ParameterFileDialog> m_dialog;
    QStringList m_calls;
    QTimer m_poll;
    QStringList m_boxes;
    QMessageBox::StandardButton m_answer = QMessageBox::Ok;
    std::function<void(ParameterFileDialog*)> m_onDialog;
};

QTEST_MAIN(ParameterFileDialogTest)
#include "parameterfiledialog_test.moc"
