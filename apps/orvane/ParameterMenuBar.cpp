#include "apps/orvane/ParameterMenuBar.h"

#include "apps/orvane/DataSetMenu.h"
#include "core/Version.h"
#include "core/results/CsvRunWriter.h"
#include "gui/codes/DesignCodesWindow.h"
#include "gui/concrete/ConcreteLawWindow.h"
#include "gui/forms/ConcreteStore.h"
#include "gui/help/TheoryWindow.h"
#include "gui/parameters/ParameterWindow.h"
#include "gui/run/RunReport.h"
#include "gui/sampling/CapacityUncertaintyWindow.h"
#include "gui/study/ParametricStudyWindow.h"
#include "gui/validate/ValidationWindow.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>

namespace orvane {

const char* const kAboutText =
    "<p><b>Orvane %1</b><br>Pull-out analysis of an FRP laminate bonded to concrete.</p>"
    "<p>The bond quantities, from the closed-form theory of a bonded joint on a rigid "
    "substrate:</p>"
    "<p><b>Gf</b>, the fracture energy: the area under the bond-slip law, τmax·su/2 for "
    "bi-linear softening, τy·(su − sy/2) for perfectly bi-linear (N/mm).<br>"
    "<b>P∞</b> = b·√(2·Gf·Ef·tf): the ultimate load of an infinitely long bond (N).<br>"
    "<b>Le</b>, the effective bond length: the bond length whose closed-form ultimate load is "
    "97 % of P∞ (mm). For bi-linear softening, with λ1² = τmax/(smax·Ef·tf) and "
    "λ2² = τmax/((su − smax)·Ef·tf): sin λ2a = 0.97·√((su − smax)/su) and "
    "Le = a + atanh((λ2/λ1)·tan λ2a)/λ1, a being the softening zone at the ultimate load. "
    "For perfectly bi-linear, the elastic-plastic counterpart: an elastic zone and a plastic "
    "zone whose loaded end reaches su.<br>"
    "<b>n·Δl</b>: the analysed length, longer than lb when Δl does not divide lb.<br>"
    "<b>Pbumax/P∞</b>: the run's largest load against the closed form. The analysis works in "
    "elements of length Δl, with an error of the first order in Δl, so the two differ by a "
    "few tenths of a percent for a long bond. Its member term (EAm) enters only through each "
    "element's own force increment and vanishes as Δl → 0: it does not make the analysis one "
    "of a deformable member. Help ▸ Theory and references explains the march, the closed "
    "forms, the effective bond lengths in use and the bond-slip and design-code models.</p>";

namespace {

QAction* addEntry(QMenu* menu, const QString& caption, const QKeySequence& shortcut,
                  QWidget& window, const char* button) {
    QAction* action = menu->addAction(caption);
    action->setShortcut(shortcut);
    if (button) {
        QObject::connect(action, &QAction::triggered, &window, [&window, button] {
            window.findChild<QAbstractButton*>(QString::fromLatin1(button))->click();
        });
    }
    return action;
}

void exportLastRun(QWidget& window, const RunReport& report) {
    const QFileInfo result(QString::fromStdString(report.lastRun()->params.parameterFilePath));
    QString path = QFileDialog::getSaveFileName(
        &window, QStringLiteral("Export last run as CSV"),
        result.path() + QStringLiteral("/") + result.completeBaseName() + QStringLiteral(".csv"),
        QStringLiteral("CSV table (*.csv)"));
    if (path.isEmpty()) {
        return;
    }
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QStringLiteral(".csv");
    }
    const QString error = report.exportLastRun(path);
    if (!error.isEmpty()) {
        QMessageBox::warning(&window, QStringLiteral("Export last run as CSV"), error);
    }
}

// The concrete's menu: the bond law derived from fc′, and the design codes' joint checks.
void addConcreteMenu(QMenuBar* bar, ParameterWindow& window, const AnalysisParameters& params) {
    QMenu* concrete = bar->addMenu(QStringLiteral("&Concrete"));
    QAction* law =
        addEntry(concrete, QStringLiteral("&Bond law from concrete…"), {}, window, nullptr);
    law->setObjectName(QStringLiteral("BondLawFromConcrete"));
    QObject::connect(law, &QAction::triggered, &window,
                     [&window, &params] { OpenConcreteLawWindow(window, params); });
    QAction* codes = addEntry(concrete, QStringLiteral("&Design codes…"), {}, window, nullptr);
    codes->setObjectName(QStringLiteral("DesignCodes"));
    QObject::connect(codes, &QAction::triggered, &window,
                     [&window, &params] { OpenDesignCodesWindow(window, params); });
}

void addTheoryEntry(QMenu* help, ParameterWindow& window) {
    QAction* theory =
        addEntry(help, QStringLiteral("&Theory and references…"), {}, window, nullptr);
    theory->setObjectName(QStringLiteral("Theory"));
    QObject::connect(theory, &QAction::triggered, &window, [&window] { OpenTheoryWindow(window); });
}

} // namespace

RunReport& InstallParameterMenuBar(ParameterWindow& window, AnalysisParameters& params) {
    auto* report = new RunReport(params, &window);
    auto* bar = new QMenuBar(&window);
    bar->setObjectName(QStringLiteral("MenuBar"));

    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    addEntry(file, QStringLiteral("&Open…"), QKeySequence(Qt::CTRL | Qt::Key_O), window,
             "Command2");
    addEntry(file, QStringLiteral("&Save…"), QKeySequence(Qt::CTRL | Qt::Key_S), window,
             "Command3");
    file->addSeparator();
    (new DataSetMenu(window, params))->addEntries(file);
    file->addSeparator();
    QAction* exportRun =
        addEntry(file, QStringLiteral("&Export last run as CSV…"), {}, window, nullptr);
    exportRun->setEnabled(false);
    QObject::connect(exportRun, &QAction::triggered, &window,
                     [&window, report] { exportLastRun(window, *report); });
    QObject::connect(report, &RunReport::lastRunChanged, exportRun,
                     [exportRun] { exportRun->setEnabled(true); });
    file->addSeparator();
    addEntry(file, QStringLiteral("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_Q), window, "Command4");

    QMenu* run = bar->addMenu(QStringLiteral("&Run"));
    addEntry(run, QStringLiteral("&Execute"), QKeySequence(Qt::Key_F5), window, "Command1");
    QAction* summary = addEntry(run, QStringLiteral("&Bond summary of the last run"),
                                QKeySequence(Qt::CTRL | Qt::Key_B), window, nullptr);
    summary->setObjectName(QStringLiteral("BondSummaryOfLastRun"));
    summary->setEnabled(false);
    QObject::connect(summary, &QAction::triggered, report, &RunReport::showBondSummary);
    QObject::connect(report, &RunReport::lastRunChanged, summary,
                     [summary] { summary->setEnabled(true); });

    QMenu* study = bar->addMenu(QStringLiteral("&Study"));
    QAction* parametric =
        addEntry(study, QStringLiteral("&Parametric study…"), {}, window, nullptr);
    QObject::connect(parametric, &QAction::triggered, &window, [&window, &params] {
        openParametricStudy(
            [&window, &params] {
                return StudyBase{params, window.fieldTexts(), window.windowFilePath()};
            },
            &window);
    });
    QAction* validate =
        addEntry(study, QStringLiteral("&Validate against tests…"), {}, window, nullptr);
    validate->setObjectName(QStringLiteral("ValidateAgainstTests"));
    QObject::connect(validate, &QAction::triggered, &window,
                     [&window, &params] { openValidation(params, window.fieldTexts(), &window); });
    QAction* uncertainty =
        addEntry(study, QStringLiteral("Capacity with &uncertainty…"), {}, window, nullptr);
    uncertainty->setObjectName(QStringLiteral("CapacityWithUncertainty"));
    QObject::connect(uncertainty, &QAction::triggered, &window, [&window, &params] {
        openCapacityUncertainty(params, window.fieldTexts(), ConcreteStoreOf(window).input().fcText,
                                &window);
    });

    addConcreteMenu(bar, window, params);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    addTheoryEntry(help, window);
    QAction* about = addEntry(help, QStringLiteral("&About Orvane"), {}, window, nullptr);
    QObject::connect(about, &QAction::triggered, &window, [&window] {
        QMessageBox::about(&window, QStringLiteral("About Orvane"),
                           QString::fromUtf8(kAboutText).arg(QString::fromLatin1(kVersion)));
    });

    // The client area moves down by the bar's height, unchanged.
    const int height = bar->sizeHint().height();
    for (QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child != bar) {
            child->move(child->x(), child->y() + height);
        }
    }
    window.setFixedSize(window.width(), window.height() + height);
    bar->setGeometry(0, 0, window.width(), height);
    return *report;
}

} // namespace orvane
