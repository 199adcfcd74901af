// Every text of every window stays legible in a light and in dark palettes: where a layout fixes
// a background its text is fixed with it, elsewhere the text follows the palette.

#include "core/results/BondSummary.h"
#include "gui/codes/DesignCodesWindow.h"
#include "gui/concrete/ConcreteLawWindow.h"
#include "gui/fit/FitWindow.h"
#include "gui/forms/FormLook.h"
#include "gui/help/TheoryWindow.h"
#include "gui/parameters/ParameterFileDialog.h"
#include "gui/parameters/ParameterWindow.h"
#include "gui/run/BondSummaryWindow.h"
#include "gui/run/CalculationWindow.h"
#include "gui/run/DistributionPlotWindow.h"
#include "gui/run/TauSlipPlotWindow.h"
#include "gui/sampling/CapacityUncertaintyWindow.h"
#include "gui/study/ParametricStudyWindow.h"
#include "gui/validate/ValidationWindow.h"
#include "support/DarkPalette.h"
#include "support/RunSteps.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>
#include <numeric>

using namespace orvane;

namespace {

constexpr int kStudyTimeout = 60000; // ms

QPalette paletteOf(const QColor& window, const QColor& base, const QColor& text,
                   const QColor& button) {
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::white);
    return p;
}

// The dark scheme of the Fusion style, and a darker one such as qt6ct's "darker".
QPalette fusionDark() {
    return paletteOf({53, 53, 53}, {42, 42, 42}, Qt::white, {53, 53, 53});
}
QPalette darker() {
    return paletteOf({33, 33, 33}, {20, 20, 20}, {210, 210, 210}, {45, 45, 45});
}

// What lies under a text: its own fill; a line edit's base; else the last filled sibling drawn
// under it that holds its centre (the forms' panels); else its parent's background.
QColor backgroundUnder(const QWidget* widget) {
    if (widget->autoFillBackground()) {
        return widget->palette().color(widget->backgroundRole());
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget); edit && edit->hasFrame()) {
        return edit->palette().color(QPalette::Base);
    }
    const QWidget* parent = widget->parentWidget();
    if (!parent) {
        return widget->palette().color(QPalette::Window);
    }
    const QPoint centre = widget->geometry().center();
    QColor under = parent->palette().color(parent->backgroundRole());
    for (const QObject* child : parent->children()) {
        if (child == widget) {
            break;
        }
        const auto* sibling = qobject_cast<const QWidget*>(child);
        if (sibling && sibling->autoFillBackground() && !sibling->isWindow() &&
            sibling->geometry().contains(centre)) {
            under = sibling->palette().color(sibling->backgroundRole());
        }
    }
    return under;
}

bool hasText(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return !label->text().isEmpty();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) {
        return !edit->text().isEmpty();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return !button->text().isEmpty();
    }
    return false;
}

// "name: ratio" of each visible text whose contrast with what lies under it is below 3.
QStringList illegibleTexts(const QWidget& window) {
    QStringList found;
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        // Push buttons draw their own face in the button colours; a style sheet fixes both. A
        // disabled control is greyed out on purpose, so that it does not look usable.
        if (!widget->isVisibleTo(&window) || !hasText(widget) || !widget->styleSheet().isEmpty() ||
            widget->inherits("QPushButton") || !widget->isEnabled()) {
            continue;
        }
        const QColor text = widget->palette().color(widget->foregroundRole());
        const double ratio = contrastRatio(text, backgroundUnder(widget));
        if (ratio < 3.0) {
            found << QStringLiteral("%1/%2: %3")
                         .arg(window.objectName(), widget->objectName())
                         .arg(ratio, 0, 'f', 2);
        }
    }
    return found;
}

// The toolkit tells where it asked a window to be, the screen shows where it is: the window
// stands where it is when the screen there shows what the window draws, but for a blinking
// text cursor or a live figure's few changed pixels.
bool shownWhereItIs(QWidget& window) {
    const QRect client = window.geometry();
    const QImage shown =
        QGuiApplication::primaryScreen()
            ->grabWindow(0, client.x(), client.y(), client.width(), client.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    const QImage drawn = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (shown.size() != drawn.size()) {
        return false;
    }
    qint64 same = 0;
    for (int y = 0; y < shown.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(shown.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(drawn.constScanLine(y));
        same += std::inner_product(a, a + shown.width(), b, qint64(0), std::plus<>(),
                                   std::equal_to<>());
    }
    return same >= qint64(shown.width()) * shown.height() * 98 / 100;
}

} // namespace

class PaletteTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        m_light = QApplication::palette();
        QVERIFY(m_dir.isValid());
        m_previousDirectory = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
    }
    void cleanupTestCase() {
        QApplication::setPalette(m_light);
        QDir::setCurrent(m_previousDirectory);
    }

    // The forms' own colours keep their light look; only on a dark background are they mixed
    // toward the palette's text colour, until they read well.
    void legibleColours_data() {
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<QColor>("background");
        QTest::addColumn<bool>("kept");
        const QColor lightWindow(239, 239, 239);
        QTest::newRow("blue on white") << QColor(Qt::blue) << QColor(Qt::white) << true;
        QTest::newRow("red on a light window") << QColor(Qt::red) << lightWindow << true;
        QTest::newRow("green on a light window") << QColor(0, 128, 0) << lightWindow << true;
        QTest::newRow("blue on light grey") << QColor(Qt::blue) << kLightGrey << true;
        QTest::newRow("blue on dark") << QColor(Qt::blue) << QColor(42, 42, 42) << false;
        QTest::newRow("red on darker") << QColor(Qt::red) << QColor(20, 20, 20) << true;
        QTest::newRow("dark red on darker") << QColor(128, 0, 0) << QColor(20, 20, 20) << false;
        QTest::newRow("black on dark") << QColor(Qt::black) << QColor(53, 53, 53) << false;
    }
    void legibleColours() {
        QFETCH(QColor, colour);
        QFETCH(QColor, background);
        QFETCH(bool, kept);
        const QColor shown = legibleOn(colour, background, Qt::white);
        QCOMPARE(shown == colour, kept);
        QVERIFY2(contrastRatio(shown, background) >= 3.0, qPrintable(shown.name()));
    }

    void contrastOfKnownPairs() {
        QCOMPARE(qRound(contrastRatio(Qt::black, Qt::white) * 100), 2100);
        QCOMPARE(qRound(contrastRatio(Qt::white, Qt::white) * 100), 100);
        QCOMPARE(qRound(contrastRatio(Qt::blue, Qt::white) * 100), 859); // WCAG: 8.59
    }

    void everyWindowIsLegible_data() {
        QTest::addColumn<QPalette>("palette");
        QTest::newRow("light") << QApplication::palette();
        QTest::newRow("Fusion dark") << fusionDark();
        QTest::newRow("darker") << darker();
        QTest::newRow("dark") << DarkTestPalette();
    }
    void everyWindowIsLegible() {
        QFETCH(QPalette, palette);
        QApplication::setPalette(palette);
        QStringList illegible;
        const QList<QWidget*> windows = windowsAfterARun();
        QTRY_VERIFY_WITH_TIMEOUT(!m_study->running(), kStudyTimeout);
        for (QWidget* window : windows) {
            illegible << illegibleTexts(*window);
        }
        QVERIFY2(illegible.isEmpty(), qPrintable(illegible.join(QStringLiteral(", "))));
        closeWindows();
        QApplication::setPalette(m_light);
    }

    // ORVANE_GRAB_DIR=dir: every window of this test after a run, in each palette. Under a
    // window manager (tools/wm-test.sh) each window is shown alone and taken from the screen
    // with its frame and title bar, as the user sees it.
    void pictures_data() { everyWindowIsLegible_data(); }
    void pictures() {
        const QString dir = QString::fromLocal8Bit(qgetenv("ORVANE_GRAB_DIR"));
        if (dir.isEmpty()) {
            QSKIP("set ORVANE_GRAB_DIR to take the pictures");
        }
        QFETCH(QPalette, palette);
        QApplication::setPalette(palette);
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-');
        const bool framed = QGuiApplication::platformName() == "xcb";
        const QList<QWidget*> windows = windowsAfterARun();
        QTRY_VERIFY_WITH_TIMEOUT(!m_study->running(), kStudyTimeout);
        if (framed) {
            for (QWidget* window : windows) {
                window->hide();
            }
        }
        for (QWidget* window : windows) {
            const QString path =
                QStringLiteral("%1/palette-%2-%3.png").arg(dir, tag, window->objectName());
            if (!framed) {
                QVERIFY(window->grab().save(path));
                continue;
            }
            // Placed before it maps, where the window manager takes the place asked for.
            window->move(0, 0);
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            // A window manager may place a mapping window by its own rules and leave the
            // toolkit unaware: a move of the mapped window puts it where the toolkit thinks.
            const auto settled = [window] {
                return window->frameGeometry() != window->geometry() && shownWhereItIs(*window);
            };
            for (int nudge = 1; nudge <= 3 && !QTest::qWaitFor(settled, 3000); ++nudge) {
                window->move(nudge, 0);
            }
            QVERIFY2(settled(), qPrintable(window->objectName()));
            const QRect frame = window->frameGeometry();
            QVERIFY(QGuiApplication::primaryScreen()
                        ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                        .save(path));
            window->hide();
        }
        closeWindows();
        QApplication::setPalette(m_light);
    }

private:
    // Form1, the file dialog, the run's three windows after a run, the Bond summary, the
    // concrete, codes and theory windows, the study window after a small study, and the fit,
    // validation and capacity windows as they open, all built in the palette in force.
    QList<QWidget*> windowsAfterARun() {
        m_params = std::make_unique<AnalysisParameters>(StartupParameters());
        m_params->ds = InitialSlipIncrement("1E-07");
        m_params->parameterFilePath = "beam.kvp";
        m_form1 = std::make_unique<ParameterWindow>(*m_params);
        m_dialog = std::make_unique<ParameterFileDialog>(
            *m_params, [](const QString&) {}, [](const QString&) {});
        m_dialog->setObjectName(QStringLiteral("frmOpenSave"));
        m_calculation = std::make_unique<CalculationWindow>(*m_params);
        m_calculation->showRunWindows();
        runUntilStep(*m_calculation, 1 << 20);
        m_summary = std::make_unique<BondSummaryWindow>(ComputeBondQuantities(*m_params), 7000.0);
        m_law = std::make_unique<ConcreteLawWindow>(*m_form1, *m_params);
        m_codes = std::make_unique<DesignCodesWindow>(*m_form1, *m_params);
        m_theory = std::make_unique<TheoryWindow>();
        m_study = std::make_unique<ParametricStudyWindow>([this] {
            return StudyBase{*m_params, StartupFieldTexts(), QStringLiteral("beam.kvp")};
        });
        m_study->findChild<QLineEdit*>("input1Values")->setText(QStringLiteral("20:200:10"));
        m_study->findChild<QPushButton*>("start")->click();
        m_fit = std::make_unique<FitWindow>(*m_form1, *m_params);
        m_validation = std::make_unique<ValidationWindow>(*m_params, StartupFieldTexts());
        m_capacity =
            std::make_unique<CapacityUncertaintyWindow>(*m_params, StartupFieldTexts(), "30");
        const QList<QWidget*> windows = {m_form1.get(),
                                         m_dialog.get(),
                                         m_calculation.get(),
                                         m_calculation->tauSlipPlot(),
                                         m_calculation->distributionPlot(),
                                         m_summary.get(),
                                         m_law.get(),
                                         m_codes.get(),
                                         m_theory.get(),
                                         m_study.get(),
                                         m_fit.get(),
                                         m_validation.get(),
                                         m_capacity.get()};
        for (QWidget* window : windows) {
            window->show();
        }
        return windows;
    }
    void closeWindows() {
        m_capacity.reset();
        m_validation.reset();
        m_fit.reset();
        m_study.reset();
        m_theory.reset();
        m_codes.reset();
        m_law.reset();
        m_summary.reset();
        m_calculation.reset();
        m_dialog.reset();
        m_form1.reset();
    }

    QPalette m_light;
    QTemporaryDir m_dir;
    QString m_previousDirectory;
    std::unique_ptr<AnalysisParameters> m_params;
    std::unique_ptr<ParameterWindow> m_form1;
    std::unique_ptr<ParameterFileDialog> m_dialog;
    std::unique_ptr<CalculationWindow> m_calculation;
    std::unique_ptr<BondSummaryWindow> m_summary;
    std::unique_ptr<ConcreteLawWindow> m_law;
    std::unique_ptr<DesignCodesWindow> m_codes;
    std::unique_ptr<TheoryWindow> m_theory;
    std::unique_ptr<ParametricStudyWindow> m_study;
    std::unique_ptr<FitWindow> m_fit;
    std::unique_ptr<ValidationWindow> m_validation;
    std::unique_ptr<CapacityUncertaintyWindow> m_capacity;
};

QTEST_MAIN(PaletteTest)
#include "palette_test.moc"
