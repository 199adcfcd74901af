#include "render/FigureRenderer.h"

#include "core/Version.h"
#include "core/results/OutputFile.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>

namespace orvane {

namespace {

// Margins around the plot frame, logical pixels.
constexpr qreal kLeft = 84;
constexpr qreal kRight = 24;
constexpr qreal kTop = 44;
constexpr qreal kBottom = 112;
constexpr qreal kTickLength = 5;

// A sequential scale from dark violet through teal to olive: every shade reads on white and
// the order of the values stays visible.
QColor scaleColour(double shade) {
    static const QColor stops[] = {QColor(68, 1, 84), QColor(49, 104, 142), QColor(33, 145, 140),
                                   QColor(53, 183, 121), QColor(150, 190, 40)};
    const double place = std::clamp(shade, 0.0, 1.0) * double(std::size(stops) - 1);
    const auto low = std::min(std::size_t(place), std::size(stops) - 2);
    const double t = place - double(low);
    const auto mix = [t](int a, int b) { return int(std::lround(a + (b - a) * t)); };
    const QColor& a = stops[low];
    const QColor& b = stops[low + 1];
    return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()));
}

QPen curvePen(const FigureCurve& curve) {
    static const QColor palette[] = {
        QColor(31, 119, 180), QColor(214, 39, 40), QColor(44, 160, 44),   QColor(148, 103, 189),
        QColor(255, 127, 14), QColor(140, 86, 75), QColor(227, 119, 194), QColor(23, 190, 207)};
    const QColor colour = curve.shade >= 0 ? scaleColour(curve.shade)
                          : curve.colour > 0
                              ? palette[std::size_t(curve.colour - 1) % std::size(palette)]
                          : curve.dashed ? QColor(200, 60, 40)
                                         : QColor(20, 70, 170);
    QPen pen(colour, 1.6);
    pen.setStyle(curve.dashed ? Qt::DashLine : Qt::SolidLine);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

// Measured points: dark grey, or in a palette colour of their own when several families of
// points share a figure (the specimens of a series).
QPen markerPen(const FigureCurve& curve) {
    return QPen(curve.colour > 0 ? curvePen(curve).color() : QColor(40, 40, 40), 1.2);
}

QFont figureFont(qreal pixelSize, bool bold = false) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(int(pixelSize));
    font.setBold(bold);
    return font;
}

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

class Mapping {
public:
    Mapping(const FigureData& figure, const QRectF& frame) : m_figure(figure), m_frame(frame) {}
    QPointF operator()(double x, double y) const {
        return {m_frame.left() + place(m_figure.x, x) * m_frame.width(),
                m_frame.bottom() - place(m_figure.y, y) * m_frame.height()};
    }

private:
    // Where value stands between the axis's ends, from 0 to 1.
    static double place(const FigureAxis& axis, double value) {
        if (axis.logarithmic) {
            const double low = std::log10(axis.min);
            return (std::log10(value) - low) / (std::log10(axis.max) - low);
        }
        return (value - axis.min) / (axis.max - axis.min);
    }

    const FigureData& m_figure;
    QRectF m_frame;
};

void drawAxes(QPainter& painter, const FigureData& figure, const QRectF& frame,
              const Mapping& map) {
    const QFont tickFont = figureFont(12);
    const QFontMetricsF metrics(tickFont);
    painter.setFont(tickFont);
    const QPen grid(QColor(225, 225, 225), 1);
    const QPen ink(Qt::black, 1);
    for (std::size_t k = 0; k < figure.x.ticks.size(); ++k) {
        const qreal x = map(figure.x.ticks[k], figure.y.min).x();
        painter.setPen(grid);
        painter.drawLine(QPointF(x, frame.top()), QPointF(x, frame.bottom()));
        painter.setPen(ink);
        painter.drawLine(QPointF(x, frame.bottom()), QPointF(x, frame.bottom() + kTickLength));
        const QString label = text(figure.x.tickTexts[k]);
        const qreal width = metrics.horizontalAdvance(label);
        painter.drawText(
            QPointF(x - width / 2, frame.bottom() + kTickLength + metrics.ascent() + 2), label);
    }
    for (std::size_t k = 0; k < figure.y.ticks.size(); ++k) {
        const qreal y = map(figure.x.min, figure.y.ticks[k]).y();
        painter.setPen(grid);
        painter.drawLine(QPointF(frame.left(), y), QPointF(frame.right(), y));
        painter.setPen(ink);
        painter.drawLine(QPointF(frame.left() - kTickLength, y), QPointF(frame.left(), y));
        const QString label = text(figure.y.tickTexts[k]);
        const qreal width = metrics.horizontalAdvance(label);
        painter.drawText(
            QPointF(frame.left() - kTickLength - 3 - width, y + metrics.ascent() / 2 - 1), label);
    }
    painter.setPen(QPen(Qt::black, 1.2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(frame);

    const QFont titleFont = figureFont(13);
    const QFontMetricsF titleMetrics(titleFont);
    painter.setFont(titleFont);
    const QString xTitle = text(figure.x.title);
    painter.drawText(
        QPointF(frame.center().x() - titleMetrics.horizontalAdvance(xTitle) / 2,
                frame.bottom() + kTickLength + metrics.height() + 4 + titleMetrics.ascent()),
        xTitle);
    const QString yTitle = text(figure.y.title);
    painter.save();
    painter.translate(18, frame.center().y() + titleMetrics.horizontalAdvance(yTitle) / 2);
    painter.rotate(-90);
    painter.drawText(QPointF(0, titleMetrics.ascent() - 4), yTitle);
    painter.restore();
}

// The colour scale of a family of curves, right-aligned at topRight: its title, then a bar
// from the first value's colour to the last's with the values at its ends.
void drawColourScale(QPainter& painter, const FigureColourScale& scale, QPointF topRight,
                     const QFontMetricsF& metrics) {
    const QString title = text(scale.title);
    const QString first = text(scale.first);
    const QString last = text(scale.last);
    const qreal barWidth = std::max<qreal>(120, metrics.horizontalAdvance(first) +
                                                    metrics.horizontalAdvance(last) + 16);
    const qreal left = topRight.x() - std::max(barWidth, metrics.horizontalAdvance(title));
    painter.setPen(Qt::black);
    painter.drawText(QPointF(left, topRight.y() + metrics.ascent()), title);
    const QRectF bar(topRight.x() - barWidth, topRight.y() + metrics.height() + 2, barWidth, 10);
    QLinearGradient gradient(bar.topLeft(), bar.topRight());
    for (int k = 0; k <= 8; ++k) {
        gradient.setColorAt(k / 8.0, scaleColour(k / 8.0));
    }
    painter.fillRect(bar, gradient);
    painter.setPen(QPen(Qt::black, 0.8));
    painter.drawRect(bar);
    const qreal baseline = bar.bottom() + 2 + metrics.ascent();
    painter.drawText(QPointF(bar.left(), baseline), first);
    painter.drawText(QPointF(bar.right() - metrics.horizontalAdvance(last), baseline), last);
}

void drawCurves(QPainter& painter, const FigureData& figure, const QRectF& frame,
                const Mapping& map) {
    painter.save();
    painter.setClipRect(frame.adjusted(-1, -1, 1, 1));
    painter.setRenderHint(QPainter::Antialiasing);
    for (const FigureCurve& curve : figure.curves) {
        if (curve.points.empty()) {
            continue;
        }
        if (curve.markers) {
            painter.setPen(markerPen(curve));
            painter.setBrush(Qt::NoBrush);
            for (const FigurePoint& point : curve.points) {
                painter.drawEllipse(map(point.x, point.y), 3.0, 3.0);
            }
            continue;
        }
        QPainterPath path(map(curve.points.front().x, curve.points.front().y));
        for (const FigurePoint& point : curve.points) {
            path.lineTo(map(point.x, point.y));
        }
        painter.setPen(curvePen(curve));
        painter.drawPath(path);
    }
    painter.restore();

    // The legend, top right inside the frame, when the curves have names: framed and filled,
    // so that the curves and grid lines it covers do not run through its text.
    const QFont font = figureFont(12);
    const QFontMetricsF metrics(font);
    painter.setFont(font);
    qreal widest = 0;
    int entries = 0;
    for (const FigureCurve& curve : figure.curves) {
        if (!curve.label.empty()) {
            widest = std::max(widest, metrics.horizontalAdvance(text(curve.label)));
            ++entries;
        }
    }
    if (entries > 0) {
        const qreal height = entries * (metrics.height() + 4) - 4;
        const QRectF box(frame.right() - 10 - widest - 34 - 6, frame.top() + 8 - 5,
                         widest + 34 + 6 + 6, height + 10);
        painter.setPen(QPen(QColor(120, 120, 120), 1));
        painter.setBrush(Qt::white);
        painter.drawRect(box);
        painter.setBrush(Qt::NoBrush);
    }
    qreal y = frame.top() + 8;
    const qreal line = metrics.height() + 4;
    const qreal scaleHeight = figure.colourScale ? 2 * line + 14 : 0;
    for (const FigureCurve& curve : figure.curves) {
        if (curve.label.empty()) {
            continue;
        }
        // The figure models keep their legends short; a longer one is cut at the frame.
        if (y + line + scaleHeight > frame.bottom()) {
            break;
        }
        const QString label = text(curve.label);
        const qreal right = frame.right() - 10;
        const qreal textLeft = right - metrics.horizontalAdvance(label);
        painter.setPen(curvePen(curve));
        const qreal middle = y + metrics.height() / 2;
        if (curve.markers) {
            painter.setPen(markerPen(curve));
            painter.drawEllipse(QPointF(textLeft - 20, middle), 3.0, 3.0);
        } else {
            painter.drawLine(QPointF(textLeft - 34, middle), QPointF(textLeft - 6, middle));
        }
        painter.setPen(Qt::black);
        painter.drawText(QPointF(textLeft, y + metrics.ascent()), label);
        y += line;
    }
    if (figure.colourScale) {
        drawColourScale(painter, *figure.colourScale, QPointF(frame.right() - 10, y), metrics);
    }
}

} // namespace

void DrawFigure(QPainter& painter, const FigureData& figure) {
    const QRectF frame(kLeft, kTop, kFigureWidth - kLeft - kRight, kFigureHeight - kTop - kBottom);
    const Mapping map(figure, frame);
    painter.setPen(Qt::black);
    painter.setFont(figureFont(16, true));
    painter.drawText(QRectF(0, 8, kFigureWidth, 28), Qt::AlignHCenter | Qt::AlignTop,
                     text(figure.title));
    drawAxes(painter, figure, frame, map);
    drawCurves(painter, figure, frame, map);
    if (!figure.message.empty()) {
        painter.setPen(Qt::black);
        painter.setFont(figureFont(14));
        painter.drawText(frame.adjusted(20, 20, -20, -20), Qt::AlignCenter | Qt::TextWordWrap,
                         text(figure.message));
    }

    painter.setPen(QColor(60, 60, 60));
    painter.setFont(figureFont(11));
    QString caption;
    for (const std::string& line : figure.caption) {
        caption += (caption.isEmpty() ? QString() : QStringLiteral("\n")) + text(line);
    }
    painter.drawText(QRectF(12, kFigureHeight - 50, kFigureWidth - 24, 46),
                     Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap, caption);
}

namespace {

QImage pageImage(QSize size, int scale, const std::function<void(QPainter&)>& draw) {
    QImage image(size * scale, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setDotsPerMeterX(int(96 * scale / 0.0254));
    image.setDotsPerMeterY(int(96 * scale / 0.0254));
    QPainter painter(&image);
    painter.scale(scale, scale);
    painter.setRenderHint(QPainter::TextAntialiasing);
    draw(painter);
    return image;
}

} // namespace

QImage FigureImage(const FigureData& figure, int scale) {
    return pageImage(QSize(kFigureWidth, kFigureHeight), scale,
                     [&](QPainter& painter) { DrawFigure(painter, figure); });
}

QByteArray PageBytes(FigureFormat format, QSize size, std::size_t pages, const QString& title,
                     const DrawPage& drawPage) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (pages == 0) {
        return bytes;
    }
    const QString creator = QStringLiteral("Orvane %1").arg(QString::fromLatin1(kVersion));
    switch (format) {
    case FigureFormat::Png:
        pageImage(size, 2, [&](QPainter& painter) { drawPage(painter, 0); }).save(&buffer, "PNG");
        break;
    case FigureFormat::Svg: {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setResolution(96);
        svg.setTitle(title);
        svg.setDescription(creator);
        QPainter painter(&svg);
        drawPage(painter, 0);
        break;
    }
    case FigureFormat::Pdf: {
        QPdfWriter pdf(&buffer);
        pdf.setCreator(creator);
        pdf.setTitle(title);
        pdf.setResolution(96);
        pdf.setPageSize(QPageSize(QSizeF(size) * 72.0 / 96.0, QPageSize::Point, QString(),
                                  QPageSize::ExactMatch));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter(&pdf);
        for (std::size_t k = 0; k < pages; ++k) {
            if (k > 0) {
                pdf.newPage();
            }
            drawPage(painter, k);
        }
        break;
    }
    }
    return bytes;
}

QByteArray FigureBytes(std::span<const FigureData> figures, FigureFormat format) {
    const QString title = figures.empty() ? QString() : text(figures.front().title);
    return PageBytes(format, QSize(kFigureWidth, kFigureHeight), figures.size(), title,
                     [&](QPainter& painter, std::size_t k) {
                         // An SVG has no background of its own; an image and a PDF page are
                         // white already.
                         if (format == FigureFormat::Svg) {
                             painter.fillRect(QRect(0, 0, kFigureWidth, kFigureHeight), Qt::white);
                         }
                         DrawFigure(painter, figures[k]);
                     });
}

QString SaveWholeFile(const QString& path, const QByteArray& bytes) {
    const FileStatus status = WriteWholeFile(
        path.toStdString(), std::string_view(bytes.constData(), std::size_t(bytes.size())));
    return QString::fromStdString(status.message);
}

QString SaveFigureFile(const QString& path, std::span<const FigureData> figures) {
    const std::optional<FigureFormat> format = FigureFormatOf(path.toStdString());
    if (!format) {
        return QStringLiteral("Cannot write \"%1\": the name must end in .png, .svg or .pdf")
            .arg(path);
    }
    return SaveWholeFile(path, FigureBytes(figures, *format));
}

namespace {

QtMessageHandler g_nextHandler = nullptr;

// Without a desktop session (cron, ssh, CI) Qt warns that XDG_RUNTIME_DIR is not set and
// takes a folder in /tmp. Nothing of a figure lives there, so that line is only noise on
// standard error; every other message goes on.
void dropRuntimeDirWarning(QtMsgType type, const QMessageLogContext& context,
                           const QString& message) {
    if (type == QtWarningMsg &&
        message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR"))) {
        return;
    }
    if (g_nextHandler) {
        g_nextHandler(type, context, message);
    } else {
        qt_message_output(type, context, message);
    }
}

} // namespace

std::unique_ptr<QGuiApplication> StartOffscreenApplication() {
    if (QCoreApplication::instance()) {
        return nullptr;
    }
    if (!g_nextHandler) {
        g_nextHandler = qInstallMessageHandler(dropRuntimeDirWarning);
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "orvane";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}

} // namespace orvane
