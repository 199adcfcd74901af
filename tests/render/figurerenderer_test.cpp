// The report figures as files: every text legible in an 85 mm report column, reference marks
// under the curves, the legend inside the frame. Text sizes are read back from the files: the
// SVG's and the PDF's declared font sizes under their transforms, against the page width each
// declares; the PNG's texts as its painter places them.

#include "core/results/RunFigure.h"
#include "core/study/CapacityFigure.h"
#include "core/study/StudyPlot.h"
#include "core/validation/ValidationWriters.h"
#include "fit/FitFigure.h"
#include "render/FigureRenderer.h"

#include <QFile>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QRegularExpression>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

using namespace orvane;

namespace {

constexpr double kColumnMm = 85;
constexpr double kSmallestPoints = 6;
constexpr double kMmPerPoint = 25.4 / 72;

void startApplication() {
    static const std::unique_ptr<QGuiApplication> application = StartOffscreenApplication();
}

// A run of the start-up data set: its record is what the run figures draw.
const RunRecord& startupRecord() {
    static const RunRecord record = [] {
        AnalysisParameters p = StartupParameters();
        p.comment = "Beam B1: a comment long enough to wrap onto a second line of the caption, "
                    "as engineers write them, with the test series and the date";
        PulloutRun run(p);
        RunRecorder recorder(p, run.elementCount());
        run.addObserver(recorder);
        while (run.step() == RunEnd::None) {
        }
        recorder.setEnd(run.end());
        return recorder.record();
    }();
    return record;
}

// Each point of the study with a made-up Pbumax below its closed-form P∞: the figure needs
// loads, not runs.
FigureData studyFigure(std::initializer_list<std::string_view> sweeps) {
    static std::vector<std::unique_ptr<StudyDefinition>> studies;
    auto& study = *studies.emplace_back(std::make_unique<StudyDefinition>());
    study.base = StartupParameters();
    study.base.comment = "Start-up data set";
    for (const std::string_view sweep : sweeps) {
        study.sweeps.push_back(ParseSweep(sweep).sweep);
    }
    StudyPlot plot = MakeStudyPlot(study);
    for (std::int64_t k = 0; plot.plottable() && k < PointCount(study); ++k) {
        StudyPointResult result = DescribeStudyPoint(study, k);
        result.end = RunEnd::BondFailure;
        result.Pbumax = 0.9 * result.quantities.Pinf;
        plot.add(result);
    }
    return MakeStudyFigure(plot);
}

std::array<FigureData, 2> capacityFigures() {
    std::vector<double> capacities;
    for (int k = 0; k < 400; ++k) {
        capacities.push_back(14000 + 1500 * NormalQuantile((k + 0.5) / 400));
    }
    const DesignBasis basis{1.4, 3.8};
    return MakeCapacityFigures(capacities, SummarizeCapacities(capacities, 0, basis), basis,
                               {"Start-up data set", "tauMax=lognormal:6:0.15; lhs, seed 1"});
}

FigureData validationFigure() {
    std::vector<TestResult> results;
    for (int k = 0; k < 12; ++k) {
        TestResult result;
        result.row.id = "T" + std::to_string(k);
        result.row.values[static_cast<int>(TestInput::Pu)] = 5000.0 * (k + 2);
        result.orvane = 4000.0 * (k + 2) * (1 + 0.05 * (k % 3));
        result.codes.assign(ValidationModelNames().size() - 1,
                            std::numeric_limits<double>::quiet_NaN());
        results.push_back(result);
    }
    return MakeValidationFigure(results, "lu2005");
}

// A series of three specimens, each with its measured points and its model curve, as a fit of
// one shared law draws them.
std::array<FigureData, 2> fitSeriesFigures() {
    std::vector<FitSpecimen> specimens;
    BondLawFit fit;
    fit.params = StartupParameters();
    fit.parameters[0].text = "6.467";
    fit.parameters[1].text = "0.065";
    fit.parameters[2].text = "0.354";
    fit.rmse = 250;
    fit.r2 = 0.991;
    fit.Gf.value = 1.145;
    fit.Pinf.value = 14826.7;
    fit.Le.value = 69.9;
    for (int s = 0; s < 3; ++s) {
        FitSpecimen& specimen = specimens.emplace_back();
        specimen.name = "specimen-" + std::to_string(s + 1) + ".csv";
        SpecimenFit& model = fit.specimens.emplace_back();
        for (int k = 0; k <= 30; ++k) {
            const double slip = 0.01 * k;
            const double load = 15000 * (1 - std::exp(-slip / 0.06)) * (1 + 0.03 * s);
            specimen.target.slip.push_back(slip);
            specimen.target.load.push_back(load * (1 + 0.02 * std::sin(k)));
            model.modelPath.push_back({slip, load});
            model.modelLoad.push_back(load);
        }
    }
    return MakeFitFigures(specimens, fit);
}

struct Page {
    std::string name;
    std::vector<FigureData> panels; // one above the other on one page
};

std::vector<Page> everyFigureKind() {
    std::vector<Page> pages;
    for (const FigureKind kind : kFigureKinds) {
        pages.push_back({"run " + FigureFileName("", kind), {MakeFigure(startupRecord(), kind)}});
    }
    pages.push_back({"one-input study", {studyFigure({"lb=10:300:30"})}});
    pages.push_back({"50-series study", {studyFigure({"lb=10:300:20", "Ef=100000:250000:50"})}});
    pages.push_back({"law-only study", {studyFigure({"law=softening,bilinear"})}});
    pages.push_back({"nothing swept", {studyFigure({})}});
    const auto capacity = capacityFigures();
    pages.push_back({"capacity", {capacity.begin(), capacity.end()}});
    pages.push_back({"validation", {validationFigure()}});
    const auto fit = fitSeriesFigures();
    pages.push_back({"fit of a series", {fit.begin(), fit.end()}});
    return pages;
}

QByteArray pageBytes(const Page& page, FigureFormat format) {
    return page.panels.size() == 1 ? FigureBytes(page.panels, format)
                                   : FigurePanelBytes(page.panels, format);
}

// The scale a 2 × 2 matrix (a b c d) gives to lengths, as a text's size sees it.
double scaleOf(double a, double b, double c, double d) {
    return std::sqrt(std::abs(a * d - b * c));
}

// The smallest text of an SVG as a fraction of the page width its view box declares: each
// text's font size under the transform of its group.
double smallestSvgText(const QByteArray& svg) {
    const QString text = QString::fromUtf8(svg);
    const QRegularExpression viewBox(QStringLiteral("viewBox=\"0 0 ([0-9.]+) [0-9.]+\""));
    const double width = viewBox.match(text).captured(1).toDouble();
    EXPECT_GT(width, 0);
    const QRegularExpression element(
        QStringLiteral("transform=\"matrix\\(([-0-9.e]+),([-0-9.e]+),([-0-9.e]+),([-0-9.e]+),|"
                       "<text [^>]*font-size=\"([0-9.]+)\""));
    double scale = 1;
    double smallest = INFINITY;
    for (auto it = element.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (!m.captured(1).isEmpty()) {
            scale = scaleOf(m.captured(1).toDouble(), m.captured(2).toDouble(),
                            m.captured(3).toDouble(), m.captured(4).toDouble());
        } else {
            smallest = std::min(smallest, m.captured(5).toDouble() * scale);
        }
    }
    return smallest / width;
}

// The smallest text of a PDF's pages as a fraction of the media box's width: each shown
// text's Tf size under its text matrix and the graphics state's matrix (cm, saved by q and
// restored by Q).
double smallestPdfText(const QByteArray& pdf) {
    const QRegularExpression mediaBox(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) [0-9.]+\\]"));
    const double width = mediaBox.match(QString::fromLatin1(pdf)).captured(1).toDouble();
    EXPECT_GT(width, 0);
    double smallest = INFINITY;
    for (qsizetype at = pdf.indexOf("stream"); at >= 0; at = pdf.indexOf("stream", at + 1)) {
        if (at >= 3 && pdf.mid(at - 3, 3) == "end") {
            continue;
        }
        const qsizetype object = pdf.lastIndexOf(" obj", at);
        if (!pdf.mid(object, at - object).contains("/FlateDecode")) {
            continue; // metadata, not drawing
        }
        const qsizetype begin = at + (pdf.mid(at + 6, 2) == "\r\n" ? 8 : 7);
        const qsizetype end = pdf.indexOf("endstream", begin);
        QByteArray packed(4, '\0');
        packed[1] = char(0x10); // an expected size of 1 MiB; qUncompress grows beyond it
        packed += pdf.mid(begin, end - begin);
        const QByteArray content = qUncompress(packed);
        std::vector<std::array<double, 4>> states{{1, 0, 0, 1}};
        std::vector<double> operands;
        double size = 0;
        double textScale = 1;
        for (const QByteArray& token : content.simplified().split(' ')) {
            bool number = false;
            const double value = token.toDouble(&number);
            if (number) {
                operands.push_back(value);
                continue;
            }
            const std::size_t n = operands.size();
            if (token == "q") {
                states.push_back(states.back());
            } else if (token == "Q" && states.size() > 1) {
                states.pop_back();
            } else if (token == "cm" && n >= 6) {
                const std::array<double, 4> m{operands[n - 6], operands[n - 5], operands[n - 4],
                                              operands[n - 3]};
                const std::array<double, 4> c = states.back();
                states.back() = {m[0] * c[0] + m[1] * c[2], m[0] * c[1] + m[1] * c[3],
                                 m[2] * c[0] + m[3] * c[2], m[2] * c[1] + m[3] * c[3]};
            } else if (token == "Tf" && n >= 1) {
                size = operands[n - 1];
            } else if (token == "Tm" && n >= 6) {
                textScale =
                    scaleOf(operands[n - 6], operands[n - 5], operands[n - 4], operands[n - 3]);
            } else if (token == "Tj" || token == "TJ") {
                const auto& c = states.back();
                smallest = std::min(smallest, size * textScale * scaleOf(c[0], c[1], c[2], c[3]));
            }
            operands.clear();
        }
    }
    return smallest / width;
}

// A paint device that keeps the size of each text drawn on it, in device pixels.
class TextSizes : public QPaintDevice {
public:
    explicit TextSizes(QSize size) : m_size(size) {}
    QPaintEngine* paintEngine() const override { return &m_engine; }
    double smallest() const { return m_engine.smallest; }

protected:
    int metric(PaintDeviceMetric metric) const override {
        switch (metric) {
        case PdmWidth:
            return m_size.width();
        case PdmHeight:
            return m_size.height();
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return 1;
        }
    }

private:
    struct Engine : QPaintEngine {
        // Every feature, so that the painter hands texts over as texts, not as outlines.
        Engine() : QPaintEngine(QPaintEngine::AllFeatures) {}
        double smallest = INFINITY;
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawPath(const QPainterPath&) override {}
        void drawTextItem(const QPointF&, const QTextItem& item) override {
            const QTransform& t = painter()->transform();
            smallest = std::min(smallest, item.font().pixelSize() *
                                              scaleOf(t.m11(), t.m12(), t.m21(), t.m22()));
        }
        Type type() const override { return User; }
    };
    QSize m_size;
    mutable Engine m_engine;
};

// The smallest text of a PNG as a fraction of its width: the image is the page drawn at its
// declared resolution, so each text stands at its drawn size times the image's scale.
double smallestPngText(const Page& page, const QByteArray& png) {
    const QImage image = QImage::fromData(png, "PNG");
    EXPECT_FALSE(image.isNull());
    // The page's width in millimetres, as the image declares it: the figure's design width.
    EXPECT_NEAR(image.width() / (image.dotsPerMeterX() / 1000.0), kFigureWidth * 25.4 / 96, 0.5);
    TextSizes sizes(QSize(kFigureWidth, kFigureHeight * int(page.panels.size())));
    QPainter painter(&sizes);
    for (const FigureData& panel : page.panels) {
        DrawFigure(painter, panel);
        painter.translate(0, kFigureHeight);
    }
    painter.end();
    return sizes.smallest() * (double(image.width()) / kFigureWidth) / image.width();
}

double pointsAtColumnWidth(double fractionOfWidth) {
    return fractionOfWidth * kColumnMm / kMmPerPoint;
}

TEST(FigureText, EveryTextIsAtLeastSixPointsInAnEightyFiveMillimetreColumn) {
    startApplication();
    for (const Page& page : everyFigureKind()) {
        for (const FigureFormat format :
             {FigureFormat::Png, FigureFormat::Svg, FigureFormat::Pdf}) {
            SCOPED_TRACE(page.name + (format == FigureFormat::Png   ? " PNG"
                                      : format == FigureFormat::Svg ? " SVG"
                                                                    : " PDF"));
            const QByteArray bytes = pageBytes(page, format);
            const double fraction = format == FigureFormat::Png   ? smallestPngText(page, bytes)
                                    : format == FigureFormat::Svg ? smallestSvgText(bytes)
                                                                  : smallestPdfText(bytes);
            EXPECT_GE(pointsAtColumnWidth(fraction), kSmallestPoints);
            // Not so large that the figure no longer reads at its own size.
            EXPECT_LE(pointsAtColumnWidth(fraction), 2 * kSmallestPoints);
        }
    }
}

// The order of first appearance of two stroke colours in an SVG: reference marks are drawn
// before the curves and markers, which then lie over them.
TEST(FigureOrder, ReferenceMarksAreDrawnUnderTheCurves) {
    startApplication();
    struct Case {
        const char* name;
        FigureData figure;
        const char* reference; // stroke of the mark
        const char* curve;     // stroke of the curve or markers drawn over it
    };
    const Case cases[] = {
        {"load-slip with P∞", MakeFigure(startupRecord(), FigureKind::LoadSlip), "#c83c28",
         "#1446aa"},
        {"law-only study", studyFigure({"law=softening,bilinear"}), "#c83c28", "#282828"},
        {"one-input study", studyFigure({"lb=10:300:30"}), "#c83c28", "#1446aa"},
        {"validation", validationFigure(), "#c83c28", "#282828"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray svg = FigureBytes({&c.figure, 1}, FigureFormat::Svg);
        const qsizetype mark = svg.indexOf(QByteArray("stroke=\"") + c.reference + "\"");
        const qsizetype curve = svg.indexOf(QByteArray("stroke=\"") + c.curve + "\"");
        ASSERT_GE(mark, 0);
        ASSERT_GE(curve, 0);
        EXPECT_LT(mark, curve);
    }
}

struct SvgRect {
    double x, y, width, height;
    bool contains(const SvgRect& r) const {
        return r.x >= x && r.y >= y && r.x + r.width <= x + width && r.y + r.height <= y + height;
    }
};

// The first rectangle drawn with a stroke of the group's attributes.
std::optional<SvgRect> rectDrawnWith(const QString& svg, const QString& attributes) {
    const QRegularExpression rect(QRegularExpression::escape(attributes) +
                                  QStringLiteral("[^>]*>\\s*<rect x=\"([-0-9.]+)\" "
                                                 "y=\"([-0-9.]+)\" width=\"([0-9.]+)\" "
                                                 "height=\"([0-9.]+)\""));
    const QRegularExpressionMatch m = rect.match(svg);
    if (!m.hasMatch()) {
        return std::nullopt;
    }
    return SvgRect{m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(),
                   m.captured(4).toDouble()};
}

// The hard cases for the legend: the 50-series study's colour scale and marks, a series of
// fitted specimens, and more names than the frame can hold.
TEST(FigureLegend, StaysInsideTheFrame) {
    startApplication();
    FigureData crowded = studyFigure({"lb=10:300:30"});
    for (int k = 0; k < 40; ++k) {
        crowded.curves.push_back({"curve " + std::to_string(k), false, false, k + 1, {{10, 0}}});
    }
    const struct {
        const char* name;
        FigureData figure;
        const char* counted; // the line that counts the names left out, if any
    } cases[] = {
        {"50-series study", studyFigure({"lb=10:300:20", "Ef=100000:250000:50"}), nullptr},
        {"fit of a series", fitSeriesFigures()[0], nullptr},
        {"crowded", crowded, "more</text>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString svg = QString::fromUtf8(FigureBytes({&c.figure, 1}, FigureFormat::Svg));
        const auto frame = rectDrawnWith(
            svg, QStringLiteral("stroke=\"#000000\" stroke-opacity=\"1\" stroke-width=\"1.2\""));
        const auto legend = rectDrawnWith(svg, QStringLiteral("stroke=\"#787878\""));
        ASSERT_TRUE(frame && legend);
        EXPECT_TRUE(frame->contains(*legend));
        // Every text drawn after the legend's box and before the caption starts inside it.
        const qsizetype boxAt = svg.indexOf(QStringLiteral("stroke=\"#787878\""));
        const qsizetype captionAt = svg.indexOf(QStringLiteral("fill=\"#3c3c3c\""), boxAt);
        const QRegularExpression text(
            QStringLiteral("<text [^>]*x=\"([-0-9.]+)\" y=\"([-0-9.]+)\""));
        int texts = 0;
        for (auto it = text.globalMatch(svg.mid(boxAt, captionAt - boxAt)); it.hasNext(); ++texts) {
            const QRegularExpressionMatch m = it.next();
            EXPECT_TRUE(
                legend->contains({m.captured(1).toDouble(), m.captured(2).toDouble(), 0, 0}))
                << m.captured(0).toStdString();
        }
        EXPECT_GT(texts, 1);
        if (c.counted) {
            EXPECT_TRUE(svg.contains(QString::fromLatin1(c.counted)));
        }
    }
}

// ORVANE_GRAB_DIR=dir writes every figure kind as a PNG at its own size and as placed in an
// 85 mm column at 300 dots per inch (1004 pixels wide), to look at.
TEST(FigurePictures, EveryKindAtFullSizeAndInAColumn) {
    const QString dir = QString::fromLocal8Bit(qgetenv("ORVANE_GRAB_DIR"));
    if (dir.isEmpty()) {
        GTEST_SKIP() << "set ORVANE_GRAB_DIR to write the figures";
    }
    startApplication();
    for (const Page& page : everyFigureKind()) {
        QString name = QString::fromStdString(page.name);
        name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")), QStringLiteral("-"));
        const QString stem = dir + QStringLiteral("/figure-") + name;
        QFile full(stem + QStringLiteral(".png"));
        ASSERT_TRUE(full.open(QIODevice::WriteOnly));
        full.write(pageBytes(page, FigureFormat::Png));
        const double scale = std::round(kColumnMm / 25.4 * 300) / kFigureWidth;
        QImage column(QSize(int(std::lround(kFigureWidth * scale)),
                            int(std::lround(kFigureHeight * scale * double(page.panels.size())))),
                      QImage::Format_RGB32);
        column.fill(Qt::white);
        column.setDotsPerMeterX(int(std::lround(300 / 0.0254)));
        column.setDotsPerMeterY(int(std::lround(300 / 0.0254)));
        QPainter painter(&column);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.scale(scale, scale);
        for (const FigureData& panel : page.panels) {
            DrawFigure(painter, panel);
            painter.translate(0, kFigureHeight);
        }
        painter.end();
        ASSERT_TRUE(column.save(stem + QStringLiteral("-85mm.png")));
    }
}

} // namespace
