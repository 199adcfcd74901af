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
#include <limits>

namespace orvane {

namespace {

// Text sizes in logical pixels, the one place for the rule. Placed in an 85 mm report column a
// figure is scaled by 85/160: its smallest text, 16 px (12 pt) at full size, is then 6.4 pt,
// above the 6 pt that artwork guidance sets as the least legible at final size (the
// Geological Society of London's, see docs/theory.md section 9). The titles stand apart by a
// few pixels and weight.
constexpr int kTextSize = 16; // ticks, legend, notes, colour scale, caption
constexpr int kAxisTitleSize = 17;
constexpr int kMessageSize = 18;
constexpr int kTitleSize = 20; // bold

constexpr qreal kMargin = 8; // between the page's edge and its texts
constexpr qreal kTickLength = 5;
// A longer caption is cut, so that the plot keeps its room.
constexpr int kMaxCaptionLines = 6;

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

// Results 1.6 px wide; reference marks thinner, so that they read as a background.
QPen curvePen(const FigureCurve& curve) {
    static const QColor palette[] = {
        QColor(31, 119, 180), QColor(214, 39, 40), QColor(44, 160, 44),   QColor(148, 103, 189),
        QColor(255, 127, 14), QColor(140, 86, 75), QColor(227, 119, 194), QColor(23, 190, 207)};
    const QColor colour = curve.shade >= 0 ? scaleColour(curve.shade)
                          : curve.colour > 0
                              ? palette[std::size_t(curve.colour - 1) % std::size(palette)]
                          : curve.dashed ? QColor(200, 60, 40)
                                         : QColor(20, 70, 170);
    QPen pen(colour, curve.reference ? 1.0 : 1.6);
    pen.setStyle(curve.dashed ? Qt::DashLine : Qt::SolidLine);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

// Measured points: dark grey, or in a palette colour of their own when several families of
// points share a figure (the specimens of a series).
QPen markerPen(const FigureCurve& curve) {
    return QPen(curve.colour > 0 ? curvePen(curve).color() : QColor(40, 40, 40), 1.2);
}

QFont figureFont(int pixelSize, bool bold = false) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

// A caption line is a list ("τmax = 6.467 N/mm², smax = 0.065 mm, …"): it wraps after its
// commas and semicolons, not between a value and its unit. An item too long for half a line
// keeps its spaces as places to wrap.
QString captionLine(const std::string& line, const QFontMetricsF& metrics, qreal width) {
    const QString all = text(line);
    QString wrapped;
    qsizetype begin = 0;
    while (begin < all.size()) {
        qsizetype end = begin;
        while (end + 1 < all.size() &&
               !((all[end] == u',' || all[end] == u';') && all[end + 1] == u' ')) {
            ++end;
        }
        end = std::min(all.size(), end + 2); // the item with its separator
        QString item = all.mid(begin, end - begin);
        if (metrics.horizontalAdvance(item) < width / 2) {
            const bool separated = item.endsWith(u' ');
            item = item.left(item.size() - (separated ? 1 : 0)).replace(u' ', QChar(0x00A0)) +
                   (separated ? QStringLiteral(" ") : QString());
        }
        wrapped += item;
        begin = end;
    }
    return wrapped;
}

qreal wrappedHeight(const QString& caption, const QFontMetricsF& metrics, qreal width) {
    return metrics
        .boundingRect(QRectF(0, 0, width, 10 * kFigureHeight), Qt::AlignLeft | Qt::TextWordWrap,
                      caption)
        .height();
}

// The caption's lines, wrapped at width; one longer than kMaxCaptionLines loses its last
// words, and ends in an ellipsis to say so.
QString captionText(const FigureData& figure, const QFontMetricsF& metrics, qreal width) {
    QString caption;
    for (const std::string& line : figure.caption) {
        caption += (caption.isEmpty() ? QString() : QStringLiteral("\n")) +
                   captionLine(line, metrics, width);
    }
    const qreal room = kMaxCaptionLines * metrics.lineSpacing() + 1;
    if (wrappedHeight(caption, metrics, width) <= room) {
        return caption;
    }
    const QString ellipsis(QChar(0x2026));
    while (!caption.isEmpty() && wrappedHeight(caption + ellipsis, metrics, width) > room) {
        qsizetype cut = caption.size() - 1;
        while (cut > 0 && !caption[cut].isSpace()) {
            --cut;
        }
        caption.truncate(cut);
    }
    return caption + ellipsis;
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

// Where the parts of a figure go: the texts take the room their fonts need, the plot frame
// the rest.
struct Layout {
    QRectF title;
    QRectF frame;
    QRectF caption;
    QString captionText;
    bool yTitleWraps = false; // on two lines beside the frame
};

Layout layOut(const FigureData& figure) {
    const qreal width = kFigureWidth - 2 * kMargin;
    Layout layout;
    const QFontMetricsF titleMetrics(figureFont(kTitleSize, true));
    layout.title =
        titleMetrics.boundingRect(QRectF(kMargin, kMargin, width, kFigureHeight),
                                  Qt::AlignHCenter | Qt::TextWordWrap, text(figure.title));
    layout.title.moveTop(kMargin);

    const QFontMetricsF metrics(figureFont(kTextSize));
    layout.captionText = captionText(figure, metrics, width);
    const qreal captionHeight =
        layout.captionText.isEmpty()
            ? 0
            : metrics
                  .boundingRect(QRectF(0, 0, width, 10 * kFigureHeight),
                                Qt::AlignLeft | Qt::TextWordWrap, layout.captionText)
                  .height();
    layout.caption = QRectF(kMargin, kFigureHeight - kMargin - captionHeight, width, captionHeight);

    const QFontMetricsF axisMetrics(figureFont(kAxisTitleSize));
    const qreal top = layout.title.bottom() + 10;
    const qreal bottom = layout.caption.top() - (layout.captionText.isEmpty() ? 0 : 8) -
                         axisMetrics.height() - 4 - metrics.height() - kTickLength;
    layout.yTitleWraps = axisMetrics.horizontalAdvance(text(figure.y.title)) > bottom - top;

    qreal widestY = 0;
    for (const std::string& tick : figure.y.tickTexts) {
        widestY = std::max(widestY, metrics.horizontalAdvance(text(tick)));
    }
    const qreal left = kMargin + axisMetrics.height() * (layout.yTitleWraps ? 2 : 1) + 6 + widestY +
                       4 + kTickLength;
    // The last x label stands centred on the frame's right edge.
    const qreal lastX =
        figure.x.tickTexts.empty() ? 0 : metrics.horizontalAdvance(text(figure.x.tickTexts.back()));
    const qreal right = kFigureWidth - std::max(kMargin + 6, kMargin + lastX / 2);
    layout.frame = QRectF(QPointF(left, top), QPointF(right, bottom));
    return layout;
}

// The ticks an axis labels: all of them when their labels keep a gap between them, else
// every stride-th, the smallest stride that does, of the decades on a logarithmic axis or of
// all ticks on another: a crowded axis shows fewer numbers, never overlapping ones. centres
// are the labels' places along the axis, extents their lengths along it.
std::vector<bool> labelledTicks(const FigureAxis& axis, const std::vector<qreal>& centres,
                                const std::vector<qreal>& extents, qreal gap) {
    std::vector<std::size_t> candidates;
    for (std::size_t k = 0; k < centres.size(); ++k) {
        candidates.push_back(k);
    }
    const auto apart = [&](std::size_t stride) {
        for (std::size_t c = 0; c + stride < candidates.size(); c += stride) {
            const std::size_t a = candidates[c];
            const std::size_t b = candidates[c + stride];
            if (std::abs(centres[b] - centres[a]) < (extents[a] + extents[b]) / 2 + gap) {
                return false;
            }
        }
        return true;
    };
    if (!apart(1) && axis.logarithmic) {
        std::erase_if(candidates, [&](std::size_t k) {
            const double decade = std::log10(axis.ticks[k]);
            return std::abs(decade - std::round(decade)) > 1e-9;
        });
    }
    std::size_t stride = 1;
    while (!apart(stride)) {
        ++stride;
    }
    std::vector<bool> labelled(centres.size(), false);
    for (std::size_t c = 0; c < candidates.size(); c += stride) {
        labelled[candidates[c]] = true;
    }
    return labelled;
}

void drawAxes(QPainter& painter, const FigureData& figure, const Layout& layout,
              const Mapping& map) {
    const QRectF& frame = layout.frame;
    const QFont tickFont = figureFont(kTextSize);
    const QFontMetricsF metrics(tickFont);
    painter.setFont(tickFont);
    const QPen grid(QColor(225, 225, 225), 1);
    const QPen ink(Qt::black, 1);

    std::vector<qreal> centres, extents;
    for (std::size_t k = 0; k < figure.x.ticks.size(); ++k) {
        centres.push_back(map(figure.x.ticks[k], figure.y.min).x());
        extents.push_back(metrics.horizontalAdvance(text(figure.x.tickTexts[k])));
    }
    std::vector<bool> labelled =
        labelledTicks(figure.x, centres, extents, metrics.averageCharWidth());
    for (std::size_t k = 0; k < centres.size(); ++k) {
        const qreal x = centres[k];
        painter.setPen(grid);
        painter.drawLine(QPointF(x, frame.top()), QPointF(x, frame.bottom()));
        painter.setPen(ink);
        painter.drawLine(QPointF(x, frame.bottom()), QPointF(x, frame.bottom() + kTickLength));
        if (labelled[k]) {
            painter.drawText(
                QPointF(x - extents[k] / 2, frame.bottom() + kTickLength + 2 + metrics.ascent()),
                text(figure.x.tickTexts[k]));
        }
    }
    centres.clear();
    extents.clear();
    for (std::size_t k = 0; k < figure.y.ticks.size(); ++k) {
        centres.push_back(map(figure.x.min, figure.y.ticks[k]).y());
        extents.push_back(metrics.ascent());
    }
    labelled = labelledTicks(figure.y, centres, extents, metrics.ascent() / 2);
    for (std::size_t k = 0; k < centres.size(); ++k) {
        const qreal y = centres[k];
        painter.setPen(grid);
        painter.drawLine(QPointF(frame.left(), y), QPointF(frame.right(), y));
        painter.setPen(ink);
        painter.drawLine(QPointF(frame.left() - kTickLength, y), QPointF(frame.left(), y));
        if (labelled[k]) {
            const QString label = text(figure.y.tickTexts[k]);
            painter.drawText(
                QPointF(frame.left() - kTickLength - 4 - metrics.horizontalAdvance(label),
                        y + metrics.capHeight() / 2),
                label);
        }
    }
    painter.setPen(QPen(Qt::black, 1.2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(frame);

    const QFont titleFont = figureFont(kAxisTitleSize);
    const QFontMetricsF titleMetrics(titleFont);
    painter.setFont(titleFont);
    const QString xTitle = text(figure.x.title);
    painter.drawText(
        QPointF(frame.center().x() - titleMetrics.horizontalAdvance(xTitle) / 2,
                frame.bottom() + kTickLength + metrics.height() + 4 + titleMetrics.ascent()),
        xTitle);
    // Turned a quarter to the left, centred on the frame's height.
    painter.save();
    painter.translate(kMargin, frame.bottom());
    painter.rotate(-90);
    painter.drawText(QRectF(0, 0, frame.height(), titleMetrics.height() * 2),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, text(figure.y.title));
    painter.restore();
}

// The colour scale of a family of curves: its title, then a bar from the first value's colour
// to the last's with the values at its ends.
struct ColourScaleBox {
    qreal bar; // the bar's width
    qreal width;
    qreal height;
};

ColourScaleBox colourScaleBox(const FigureColourScale& scale, const QFontMetricsF& metrics) {
    const qreal bar = std::max<qreal>(120, metrics.horizontalAdvance(text(scale.first)) +
                                               metrics.horizontalAdvance(text(scale.last)) + 16);
    return {bar, std::max(bar, metrics.horizontalAdvance(text(scale.title))),
            2 * metrics.height() + 14};
}

void drawColourScale(QPainter& painter, const FigureColourScale& scale, QPointF topRight,
                     const QFontMetricsF& metrics) {
    const QString title = text(scale.title);
    const QString first = text(scale.first);
    const QString last = text(scale.last);
    const ColourScaleBox box = colourScaleBox(scale, metrics);
    const qreal barWidth = box.bar;
    const qreal left = topRight.x() - box.width;
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

void drawCurve(QPainter& painter, const FigureCurve& curve, const Mapping& map) {
    if (curve.points.empty()) {
        return;
    }
    if (curve.markers) {
        painter.setPen(markerPen(curve));
        painter.setBrush(Qt::NoBrush);
        for (const FigurePoint& point : curve.points) {
            painter.drawEllipse(map(point.x, point.y), 3.0, 3.0);
        }
        return;
    }
    QPainterPath path(map(curve.points.front().x, curve.points.front().y));
    for (const FigurePoint& point : curve.points) {
        path.lineTo(map(point.x, point.y));
    }
    painter.setPen(curvePen(curve));
    painter.drawPath(path);
}

// Where the note of a horizontal reference line goes: just above its left end, or below it
// when the line runs along the frame's top. Empty for a curve without a note.
QRectF noteRect(const FigureCurve& curve, const QRectF& frame, const Mapping& map) {
    if (curve.note.empty() || curve.points.empty()) {
        return {};
    }
    const QFontMetricsF metrics(figureFont(kTextSize));
    const qreal y = map(curve.points.front().x, curve.points.front().y).y();
    const qreal top = y - metrics.height() - 2 < frame.top() ? y + 2 : y - metrics.height() - 2;
    return {frame.left() + 6, top, metrics.horizontalAdvance(text(curve.note)), metrics.height()};
}

void drawNote(QPainter& painter, const FigureCurve& curve, const QRectF& frame,
              const Mapping& map) {
    const QRectF place = noteRect(curve, frame, map);
    if (place.isEmpty()) {
        return;
    }
    painter.setFont(figureFont(kTextSize));
    painter.setPen(curvePen(curve).color());
    painter.drawText(place, Qt::AlignLeft | Qt::AlignTop, text(curve.note));
}

// How much of the curves a box would hide: the places along their lines, every few pixels,
// and their markers that fall inside it; a note counts as the whole of a curve.
int coveredPlaces(const FigureData& figure, const QRectF& frame, const Mapping& map,
                  const QRectF& box) {
    int covered = 0;
    for (const FigureCurve& curve : figure.curves) {
        if (box.intersects(noteRect(curve, frame, map))) {
            covered += kFigureWidth;
        }
        for (std::size_t k = 0; k < curve.points.size(); ++k) {
            const QPointF to = map(curve.points[k].x, curve.points[k].y);
            if (k == 0 || curve.markers) {
                covered += box.contains(to) ? 1 : 0;
                continue;
            }
            const QPointF from = map(curve.points[k - 1].x, curve.points[k - 1].y);
            const int steps =
                std::clamp(int(std::ceil(QLineF(from, to).length() / 4)), 1, kFigureWidth);
            for (int i = 1; i <= steps; ++i) {
                covered += box.contains(from + (to - from) * (double(i) / steps)) ? 1 : 0;
            }
        }
    }
    return covered;
}

// The legend's place: the corner of the frame where it hides the least of the curves, top
// right when several hide as little.
QRectF legendBox(const FigureData& figure, const QRectF& frame, const Mapping& map, QSizeF size) {
    const QRectF inner = frame.adjusted(8, 8, -8, -8);
    const QPointF corners[] = {inner.topRight() - QPointF(size.width(), 0), inner.topLeft(),
                               inner.bottomRight() - QPointF(size.width(), size.height()),
                               inner.bottomLeft() - QPointF(0, size.height())};
    QRectF best;
    int least = std::numeric_limits<int>::max();
    for (const QPointF& corner : corners) {
        const QRectF box(corner, size);
        const int covered = coveredPlaces(figure, frame, map, box);
        if (covered < least) {
            least = covered;
            best = box;
        }
    }
    return best;
}

// The legend, inside the frame, when the curves have names: framed and filled, so
// that the curves and grid lines it covers do not run through its text. What the frame cannot
// hold is counted in a last line, "and N more"; a name too long for the frame is shortened.
void drawLegend(QPainter& painter, const FigureData& figure, const QRectF& frame,
                const Mapping& map) {
    const QFont font = figureFont(kTextSize);
    const QFontMetricsF metrics(font);
    painter.setFont(font);
    std::vector<const FigureCurve*> named;
    for (const FigureCurve& curve : figure.curves) {
        if (!curve.label.empty()) {
            named.push_back(&curve);
        }
    }
    if (named.empty() && !figure.colourScale) {
        return;
    }
    constexpr qreal kPadding = 6;
    constexpr qreal kSample = 28; // the line or marker before a name
    const qreal line = metrics.height() + 3;
    const ColourScaleBox scale =
        figure.colourScale ? colourScaleBox(*figure.colourScale, metrics) : ColourScaleBox{0, 0, 0};
    const qreal room = frame.height() - 16 - 2 * kPadding - scale.height;
    const auto fits = std::size_t(std::max(0.0, std::floor(room / line)));
    const std::size_t shown = named.size() <= fits ? named.size() : fits > 0 ? fits - 1 : 0;
    const QString more = QStringLiteral("and %1 more").arg(named.size() - shown);
    const qreal widest = frame.width() - 16 - 2 * kPadding - kSample - 6;
    qreal width = scale.width;
    for (std::size_t k = 0; k < shown; ++k) {
        width =
            std::max(width, kSample + 6 +
                                std::min(widest, metrics.horizontalAdvance(text(named[k]->label))));
    }
    if (shown < named.size()) {
        width = std::max(width, metrics.horizontalAdvance(more));
    }
    const std::size_t lines = shown + (shown < named.size() ? 1 : 0);
    const QSizeF size(width + 2 * kPadding,
                      double(lines) * line - (lines > 0 ? 3 : 0) + scale.height + 2 * kPadding);
    const QRectF box = legendBox(figure, frame, map, size);
    painter.setPen(QPen(QColor(120, 120, 120), 1));
    painter.setBrush(Qt::white);
    painter.drawRect(box);
    painter.setBrush(Qt::NoBrush);

    const qreal right = box.right() - kPadding;
    qreal y = box.top() + kPadding;
    for (std::size_t k = 0; k < shown; ++k) {
        const FigureCurve& curve = *named[k];
        const QString label = metrics.elidedText(text(curve.label), Qt::ElideRight, widest);
        const qreal textLeft = right - metrics.horizontalAdvance(label);
        const qreal middle = y + metrics.height() / 2;
        if (curve.markers) {
            painter.setPen(markerPen(curve));
            painter.drawEllipse(QPointF(textLeft - 6 - kSample / 2, middle), 3.0, 3.0);
        } else {
            painter.setPen(curvePen(curve));
            painter.drawLine(QPointF(textLeft - 6 - kSample, middle),
                             QPointF(textLeft - 6, middle));
        }
        painter.setPen(Qt::black);
        painter.drawText(QPointF(textLeft, y + metrics.ascent()), label);
        y += line;
    }
    if (shown < named.size()) {
        painter.setPen(Qt::black);
        painter.drawText(QPointF(right - metrics.horizontalAdvance(more), y + metrics.ascent()),
                         more);
        y += line;
    }
    if (figure.colourScale) {
        drawColourScale(painter, *figure.colourScale, QPointF(right, y), metrics);
    }
}

// Reference marks first, then the results over them, then the notes and the legend over all.
void drawCurves(QPainter& painter, const FigureData& figure, const QRectF& frame,
                const Mapping& map) {
    painter.save();
    painter.setClipRect(frame.adjusted(-1, -1, 1, 1));
    painter.setRenderHint(QPainter::Antialiasing);
    for (const bool reference : {true, false}) {
        for (const FigureCurve& curve : figure.curves) {
            if (curve.reference == reference) {
                drawCurve(painter, curve, map);
            }
        }
    }
    for (const FigureCurve& curve : figure.curves) {
        drawNote(painter, curve, frame, map);
    }
    painter.restore();
    drawLegend(painter, figure, frame, map);
}

} // namespace

void DrawFigure(QPainter& painter, const FigureData& figure) {
    const Layout layout = layOut(figure);
    const Mapping map(figure, layout.frame);
    painter.setPen(Qt::black);
    painter.setFont(figureFont(kTitleSize, true));
    painter.drawText(layout.title, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                     text(figure.title));
    drawAxes(painter, figure, layout, map);
    drawCurves(painter, figure, layout.frame, map);
    if (!figure.message.empty()) {
        painter.setPen(Qt::black);
        painter.setFont(figureFont(kMessageSize));
        painter.drawText(layout.frame.adjusted(20, 20, -20, -20),
                         Qt::AlignCenter | Qt::TextWordWrap, text(figure.message));
    }

    painter.setPen(QColor(60, 60, 60));
    painter.setFont(figureFont(kTextSize));
    painter.drawText(layout.caption, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     layout.captionText);
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

QByteArray FigurePanelBytes(std::span<const FigureData> panels, FigureFormat format) {
    const QSize size(kFigureWidth, kFigureHeight * int(panels.size()));
    const QString title = panels.empty() ? QString() : text(panels.front().title);
    return PageBytes(format, size, panels.empty() ? 0 : 1, title,
                     [&](QPainter& painter, std::size_t) {
                         painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
                         for (const FigureData& panel : panels) {
                             DrawFigure(painter, panel);
                             painter.translate(0, kFigureHeight);
                         }
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
