#include "core/engine/AnalysisParameters.h"
#include "core/engine/PulloutRun.h"
#include "gui/run/DistributionPlotWindow.h"
#include "gui/run/PlotCanvas.h"
#include "gui/run/TauSlipPlotWindow.h"
#include "support/BoxChecks.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <cmath>

using namespace orvane;

namespace {

struct CurvePoint {
    int step;
    double sl;       // mm
    double totalTau; // N/mm²
};
using Curve = QList<CurvePoint>;

// The plot alone, in device pixels: the controls hidden, a grab shows the backing image.
QImage plotPicture(QWidget& window) {
    for (QWidget* child : window.findChildren<QWidget*>()) {
        child->hide();
    }
    return window.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QColor ink() {
    return QGuiApplication::palette().color(QPalette::WindowText);
}

// The rows of pixel column x that carry the foreground colour.
QList<int> inkRows(const QImage& image, int x) {
    QList<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        if (image.pixel(x, y) == ink().rgb()) {
            rows.append(y);
        }
    }
    return rows;
}

// Whether a line passes within a pixel of p, given in device-independent pixels.
bool inkNear(const QImage& image, QPointF p) {
    p *= image.devicePixelRatio();
    const QList<int> rows = inkRows(image, int(p.x()));
    return std::any_of(rows.begin(), rows.end(), [&](int y) { return std::abs(y - p.y()) < 2; });
}

// Pseudo-random stresses in [0, τmax) N/mm², new for every step: the worst case for the
// column reduction.
std::vector<double> noise(int n, int step, double tauMax) {
    std::vector<double> tau(n);
    for (int i = 0; i < n; ++i) {
        std::uint32_t h = std::uint32_t(i + 7919 * step) * 2654435761u;
        tau[i] = tauMax * double((h ^ (h >> 15)) % 10007) / 10007;
    }
    return tau;
}

// Hands one element result to a plot, as a block of one.
void feed(DistributionPlotWindow& window, const ElementResult& element) {
    window.elementsComputed(std::span<const ElementResult>(&element, 1));
}

// Keeps the bond stresses of the latest step.
struct StepStresses : RunObserver {
    std::vector<double> tau;
    bool wantsElements() const override { return true; }
    void stepStarted(const StepStart&) override { tau.clear(); }
    void elementsComputed(std::span<const ElementResult> elements) override {
        for (const ElementResult& element : elements) {
            tau.push_back(element.tau);
        }
    }
};

} // namespace

Q_DECLARE_METATYPE(Curve)

class PlotWindowsTest : public QObject {
    Q_OBJECT

private slots:
    // The run set-up gives axes of 1.5 × 1000·ds mm and 1.5 × τmax/100 N/mm², both products
    // in single precision (1000 × 0.001f rounds to 1). The rescale rows start from 0.001 mm
    // and 4 MPa: limits and axes 1.5 mm and 0.06 N/mm².
    void axes_data() {
        QTest::addColumn<float>("ds");
        QTest::addColumn<float>("tauMax");
        QTest::addColumn<Curve>("curve");
        QTest::addColumn<double>("slipAxisMax");
        QTest::addColumn<double>("tauAxisMax");
        QTest::addColumn<QString>("texts"); // Text1|Text2
        const double firstTau = 1.5 * double(0.04f);
        QTest::newRow("set-up, 0.001 mm, 4 MPa")
            << 0.001f << 4.0f << Curve{} << 1.5 << firstTau << "0.1|1.5E+00";
        QTest::newRow("set-up, start-up set")
            << InitialSlipIncrement("1E-07") << 6.467f << Curve{} << 1.5 * double(1000 * 1e-9f)
            << 1.5 * double(6.467f / 100) << "0.1|1.5E-06";
        QTest::newRow("step 1 beyond both never rescales")
            << 0.001f << 4.0f << Curve{{1, 10.0, 1.0}} << 1.5 << firstTau << "0.1|1.5E+00";
        QTest::newRow("slip beyond: axis 1.5 x the point")
            << 0.001f << 4.0f << Curve{{1, 0.5, 0.01}, {2, 2.0, 0.02}} << 3.0 << firstTau
            << "0.1|3.0E+00";
        QTest::newRow("stress beyond: axis 1.5 x the point")
            << 0.001f << 4.0f << Curve{{2, 0.1, 80.0}} << 1.5 << 120.0 << "120.0|1.5E+00";
        QTest::newRow("equal to the limit does not rescale")
            << 0.001f << 4.0f << Curve{{2, 1.5, 0.0}} << 1.5 << firstTau << "0.1|1.5E+00";
        QTest::newRow("axes never shrink")
            << 0.001f << 4.0f << Curve{{2, 2.0, 0.05}, {3, 0.5, 0.08}} << 3.0 << 1.5 * 0.08
            << "0.1|3.0E+00";
        // The slip rescale moves the stress limit down to 0.015 N/mm², so a small rise of the
        // stress redraws in an unchanged stress axis.
        QTest::newRow("lowered limit redraws in the same axes")
            << 0.001f << 4.0f << Curve{{2, 2.0, 0.01}, {3, 2.1, 0.02}} << 1.5 * 2.1 << firstTau
            << "0.1|3.2E+00";
    }
    void axes() {
        QFETCH(float, ds);
        QFETCH(float, tauMax);
        QFETCH(Curve, curve);
        QFETCH(double, slipAxisMax);
        QFETCH(double, tauAxisMax);
        QFETCH(QString, texts);
        StepHistory history{std::vector<double>(10, 0.0), std::vector<double>(10, 0.0)};
        TauSlipPlotWindow window;
        window.startRun(history, ds, tauMax);
        for (const CurvePoint& point : curve) {
            history.sl[point.step] = point.sl;
            history.totalTau[point.step] = point.totalTau;
            window.curvePointAdded(point.step, point.sl, point.totalTau);
        }
        QCOMPARE(window.slipAxisMax(), slipAxisMax);
        QCOMPARE(window.tauAxisMax(), tauAxisMax);
        QCOMPARE(window.findChild<QLineEdit*>("Text1")->text() + "|" +
                     window.findChild<QLineEdit*>("Text2")->text(),
                 texts);
    }

    // The axis texts show every digit: the font shrinks to the text, and a text too long even
    // for the smallest font shows from its start, with all of it as the tooltip.
    void axisTextsShowEveryDigit_data() {
        QTest::addColumn<float>("tauMax");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("whole");
        QTest::newRow("start-up set") << 6.467f << "0.1" << true;
        QTest::newRow("seven digits") << 4e8f << "6000000.0" << true;
        QTest::newRow("ten digits") << 4e11f << "6000000000.0" << true;
        QTest::newRow("beyond the smallest font") << 4e30f << "" << false;
    }
    void axisTextsShowEveryDigit() {
        QFETCH(float, tauMax);
        QFETCH(QString, shown);
        QFETCH(bool, whole);
        StepHistory history{std::vector<double>(2, 0.0), std::vector<double>(2, 0.0)};
        TauSlipPlotWindow window;
        window.startRun(history, 0.001f, tauMax);
        auto* text = window.findChild<QLineEdit*>("Text1");
        if (!shown.isEmpty()) {
            QCOMPARE(text->text(), shown);
        }
        QCOMPARE(showsWholeText(text), whole);
        QCOMPARE(text->toolTip(), whole ? QString() : text->text());
        if (!whole) {
            QCOMPARE(text->cursorPosition(), 0);
        }
        QVERIFY(showsWholeText(window.findChild<QLineEdit*>("Text2")));
    }

    // The curve starts at zero slip and stress (bottom-left) and is redrawn from the history
    // in the new axes after a rescale.
    void tauSlipCurvePixels() {
        StepHistory history{{0, 0.75, 3.0}, {0, 0.03, 0.0}};
        TauSlipPlotWindow window;
        window.startRun(history, 0.001f, 4.0f); // 1.5 mm × 0.06 N/mm²
        const double W = window.width();
        const double H = window.height();
        window.curvePointAdded(1, 0.75, 0.03);
        QImage image = plotPicture(window);
        QVERIFY(inkNear(image, {W / 4, H * 3 / 4})); // middle of the line from the origin
        QVERIFY(!inkNear(image, {W * 3 / 4, H / 4}));

        window.curvePointAdded(2, 3.0, 0.0); // axes 4.5 mm × 0.06 N/mm²
        image = plotPicture(window);
        QVERIFY(inkNear(image, {W * 0.375 / 4.5, H * 3 / 4}));
        QVERIFY(inkNear(image, {W * 1.875 / 4.5, H * 3 / 4}));
        QVERIFY(!inkNear(image, {W / 4, H * 3 / 4})); // the old drawing is gone
    }

    // Element i at abscissa i (1 at the left edge, n at the right), the stress τ at
    // 1.08·τmax − τ in a scale from −0.12·τmax (top) to 1.2·τmax, from the set-up on.
    void distributionPixels_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<double>("fraction"); // τ / τmax, the same for every element
        QTest::newRow("half of τmax") << 1000 << 0.5;
        QTest::newRow("τmax") << 1000 << 1.0;
        QTest::newRow("zero stress") << 1000 << 0.0;
        QTest::newRow("fewer elements than pixels") << 7 << 0.5;
        QTest::newRow("ten million elements") << 10'000'000 << 0.25;
    }
    void distributionPixels() {
        QFETCH(int, n);
        QFETCH(double, fraction);
        DistributionPlotWindow window;
        window.startRun(n, 4.0f);
        for (int i = 1; i <= n; ++i) {
            feed(window, {i, 0, 0, 0, fraction * 4});
        }
        const QImage image = plotPicture(window);
        const double y = (1.2 - fraction) / 1.32 * image.height();
        for (int x : {0, image.width() / 2, image.width() - 1}) {
            const QList<int> rows = inkRows(image, x);
            QVERIFY(!rows.isEmpty());
            QVERIFY(std::abs(rows.first() - y) < 2 && std::abs(rows.last() - y) < 2);
        }
    }

    // The column reduction gives exactly the pixels of drawing every element: for the
    // distributions of a whole run on a fine mesh, compared after every step with the redraw
    // every fifth step, and for noise, also with fewer elements than pixel columns.
    void reducedEqualsFullPolyline_data() {
        QTest::addColumn<int>("n");     // elements of noise; 0 for the run
        QTest::addColumn<int>("block"); // elements handed over per call
        QTest::newRow("run, n = 20000") << 0 << 1;
        QTest::newRow("run, n = 20000, blocks") << 0 << PulloutRun::kElementBlock;
        QTest::newRow("noise, n = 20000") << 20000 << 1;
        QTest::newRow("noise, n = 20000, blocks") << 20000 << 777;
        QTest::newRow("noise, n = 150") << 150 << 1;
        QTest::newRow("noise, n = 150, blocks") << 150 << 64;
    }
    void reducedEqualsFullPolyline() {
        QFETCH(int, n);
        QFETCH(int, block);
        AnalysisParameters params = StartupParameters();
        params.ds = InitialSlipIncrement("1E-07");
        params.dl = 0.006f; // mm, 20000 elements
        PulloutRun run(params);
        StepStresses stresses;
        run.addObserver(stresses);
        const int elements = n > 0 ? n : run.elementCount();
        const double tauMax = params.tauMax;
        const double baseline = 1.2 * tauMax + (-0.12 * tauMax);
        DistributionPlotWindow window;
        window.startRun(elements, params.tauMax);
        PlotCanvas full(window.size(), window.devicePixelRatioF(), ink(),
                        window.palette().color(QPalette::Window));
        full.setScale(1, -0.12 * tauMax, elements, 1.2 * tauMax);
        for (int step = 1; n > 0 ? step <= 3 : run.end() == RunEnd::None; ++step) {
            if (n > 0) {
                stresses.tau = noise(n, step, tauMax);
            } else {
                run.step();
            }
            full.setPoint(1, baseline - stresses.tau[0]);
            std::vector<ElementResult> results;
            for (int i = 1; i <= elements; ++i) {
                results.push_back({i, 0, 0, 0, stresses.tau[i - 1]});
                full.lineTo(i, baseline - stresses.tau[i - 1]);
            }
            for (std::size_t first = 0; first < results.size(); first += std::size_t(block)) {
                window.elementsComputed(std::span(results).subspan(
                    first, std::min(std::size_t(block), results.size() - first)));
            }
            QVERIFY2(plotPicture(window) == full.image(), qPrintable(QString::number(step)));
            if (step % 5 == 0) {
                window.redraw();
                full.clear();
                full.setPenWidth(2);
                full.line(1, baseline, elements, baseline);
                full.setPenWidth(1);
            }
        }
    }

    // After a redraw only the zero-stress axis is left, twice as wide as the curves; a step
    // of zero stress lies on it.
    // Shift+F10 opens a graph window's context menu, as the Menu key does.
    void shiftF10OpensTheContextMenu_data() {
        QTest::addColumn<bool>("distribution");
        QTest::newRow("τ-s") << false;
        QTest::newRow("distribution") << true;
    }
    void shiftF10OpensTheContextMenu() {
        QFETCH(bool, distribution);
        TauSlipPlotWindow tauSlip;
        DistributionPlotWindow distributionPlot;
        QWidget& window = distribution ? static_cast<QWidget&>(distributionPlot) : tauSlip;
        window.setContextMenuPolicy(Qt::ActionsContextMenu);
        window.addAction(new QAction(QStringLiteral("Save figure…"), &window));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QStringList opened;
        // The menu runs its own loop: it is looked at and closed from inside it.
        QTimer::singleShot(0, &window, [&opened] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (const QAction* action : menu->actions()) {
                    opened << action->text();
                }
                menu->close();
            }
        });
        QTest::keyClick(&window, Qt::Key_F10, Qt::ShiftModifier);
        QCOMPARE(opened, QStringList{QStringLiteral("Save figure…")});
    }

    void redrawLeavesOnlyTheAxis() {
        const int n = 1000;
        DistributionPlotWindow window;
        window.startRun(n, 4.0f);
        for (int i = 1; i <= n; ++i) {
            feed(window, {i, 0, 0, 0, 2.0});
        }
        window.redraw();
        const QImage image = plotPicture(window);
        const double axisY = 1.2 / 1.32 * image.height();
        const int axisWidth = int(std::lround(2 * image.devicePixelRatio()));
        for (int x = 1; x < image.width() - 1; x += 7) {
            const QList<int> rows = inkRows(image, x);
            QCOMPARE(rows.size(), axisWidth);
            QVERIFY(rows.first() <= axisY && axisY < rows.last() + 1);
        }
        for (int i = 1; i <= n; ++i) {
            feed(window, {i, 0, 0, 0, 0.0});
        }
        QCOMPARE(plotPicture(window), image);
    }

    // Scales of zero extent draw in the middle; a point far outside is cut off. Neither may
    // crash or leave a coordinate that is not a number.
    void degenerateScales_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<float>("tauMax");
        QTest::addColumn<float>("ds");
        QTest::addColumn<double>("sl"); // the τ-s plot's step-1 point, mm
        QTest::newRow("one element") << 1 << 4.0f << 0.001f << 0.5;
        QTest::newRow("zero τmax") << 1000 << 0.0f << 0.001f << 0.5;
        QTest::newRow("zero ds") << 1000 << 4.0f << 0.0f << 0.5;
        QTest::newRow("step 1 far outside") << 1000 << 4.0f << 0.001f << 1e300;
    }
    void degenerateScales() {
        QFETCH(int, n);
        QFETCH(float, tauMax);
        QFETCH(float, ds);
        QFETCH(double, sl);
        DistributionPlotWindow distribution;
        distribution.startRun(n, tauMax);
        for (int i = 1; i <= n; ++i) {
            feed(distribution, {i, 0, 0, 0, 0.0});
        }
        distribution.redraw();
        const QImage image = plotPicture(distribution);
        QVERIFY(!inkRows(image, image.width() / 2).isEmpty());

        StepHistory history{{0, sl, 2 * sl}, {0, 0.0, 0.0}};
        TauSlipPlotWindow tauSlip;
        tauSlip.startRun(history, ds, tauMax);
        tauSlip.curvePointAdded(1, sl, 0.0);
        tauSlip.curvePointAdded(2, 2 * sl, 0.0);
        QVERIFY(std::isfinite(tauSlip.slipAxisMax()) && std::isfinite(tauSlip.tauAxisMax()));
        plotPicture(tauSlip);
    }

    // A whole run with the start-up parameter set, driven as the run control drives it.
    // ORVANE_GRAB_DIR=dir writes pictures to look at: both windows at the end, and the
    // distributions as they stood at the largest load.
    void picture() {
        const bool grab = !qEnvironmentVariableIsEmpty("ORVANE_GRAB_DIR");
        AnalysisParameters params = StartupParameters();
        params.ds = InitialSlipIncrement("1E-07");
        PulloutRun run(params);
        TauSlipPlotWindow tauSlip;
        DistributionPlotWindow distribution;
        tauSlip.startRun(run.history(), params.ds, params.tauMax);
        distribution.startRun(run.elementCount(), params.tauMax);
        run.addObserver(tauSlip);
        run.addObserver(distribution);
        QPixmap atLargestLoad;
        while (run.step() == RunEnd::None) {
            if (grab && run.slmax() == run.history().sl[run.stepNumber()]) {
                atLargestLoad = distribution.grab();
            }
            if (run.stepNumber() % 5 == 0) {
                distribution.redraw();
            }
        }
        QCOMPARE(run.end(), RunEnd::BondFailure);
        // The curve has fallen to the bottom edge, inside the slip axis.
        QVERIFY(run.history().sl[run.stepNumber()] <= tauSlip.slipAxisMax());
        QVERIFY(run.history().totalTau[run.stepNumber()] < tauSlip.tauAxisMax() / 100);
        if (!grab) {
            QSKIP("set ORVANE_GRAB_DIR to write window pictures");
        }
        const QDir dir(qEnvironmentVariable("ORVANE_GRAB_DIR"));
        const QString scale = QString::number(tauSlip.devicePixelRatioF()) + "x.png";
        QVERIFY(tauSlip.grab().save(dir.filePath("Form3-" + scale)));
        QVERIFY(distribution.grab().save(dir.filePath("Form4-" + scale)));
        QVERIFY(atLargestLoad.save(dir.filePath("Form4-largest-load-" + scale)));
    }
};

QTEST_MAIN(PlotWindowsTest)
#include "plotwindows_test.moc"
