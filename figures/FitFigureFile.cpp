#include "figures/FitFigureFile.h"

#include "figures/FigureRenderer.h"
#include "output/CsvRunWriter.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <memory>

namespace orvane {

namespace {

constexpr int kWidth = 2 * kFigureWidth;

void drawPanels(QPainter& painter, const std::array<FigureData, 2>& panels) {
    painter.fillRect(QRect(0, 0, kWidth, kFigureHeight), Qt::white);
    DrawFigure(painter, panels[0]);
    painter.translate(kFigureWidth, 0);
    DrawFigure(painter, panels[1]);
}

} // namespace

std::string SaveFitFigure(const std::array<FigureData, 2>& panels, const std::string& path) {
    const std::optional<FigureFormat> format = FigureFormatOf(path);
    if (!format) {
        return "Cannot write \"" + path + "\": the name must end in .png, .svg or .pdf";
    }
    // Text needs fonts, and fonts need a GUI application.
    std::unique_ptr<QGuiApplication> application;
    if (!QCoreApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "orvane";
        static char* argv[] = {name, nullptr};
        application = std::make_unique<QGuiApplication>(argc, argv);
    }

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const QString title = QString::fromStdString(panels[0].title);
    const QString creator =
        QStringLiteral("Orvane %1").arg(QString::fromStdString(std::string(ProgramVersion())));
    switch (*format) {
    case FigureFormat::Png: {
        constexpr int scale = 2;
        QImage image(kWidth * scale, kFigureHeight * scale, QImage::Format_RGB32);
        image.setDotsPerMeterX(int(96 * scale / 0.0254));
        image.setDotsPerMeterY(int(96 * scale / 0.0254));
        {
            QPainter painter(&image);
            painter.scale(scale, scale);
            painter.setRenderHint(QPainter::TextAntialiasing);
            drawPanels(painter, panels);
        }
        image.save(&buffer, "PNG");
        break;
    }
    case FigureFormat::Svg: {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(QSize(kWidth, kFigureHeight));
        svg.setViewBox(QRect(0, 0, kWidth, kFigureHeight));
        svg.setResolution(96);
        svg.setTitle(title);
        svg.setDescription(creator);
        QPainter painter(&svg);
        drawPanels(painter, panels);
        break;
    }
    case FigureFormat::Pdf: {
        QPdfWriter pdf(&buffer);
        pdf.setCreator(creator);
        pdf.setTitle(title);
        pdf.setResolution(96);
        pdf.setPageSize(QPageSize(QSizeF(kWidth, kFigureHeight) * 72.0 / 96.0, QPageSize::Point,
                                  QString(), QPageSize::ExactMatch));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter(&pdf);
        drawPanels(painter, panels);
        break;
    }
    }
    buffer.close();

    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        return "Cannot write \"" + path + "\": " + file.errorString().toStdString();
    }
    return {};
}

} // namespace orvane
