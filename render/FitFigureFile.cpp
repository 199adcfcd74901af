#include "render/FitFigureFile.h"

#include "render/FigureRenderer.h"

#include <QPainter>

namespace orvane {

std::string SaveFitFigure(const std::array<FigureData, 2>& panels, const std::string& path) {
    const std::optional<FigureFormat> format = FigureFormatOf(path);
    if (!format) {
        return "Cannot write \"" + path + "\": the name must end in .png, .svg or .pdf";
    }
    const std::unique_ptr<QGuiApplication> application = StartOffscreenApplication();
    constexpr int width = 2 * kFigureWidth;
    const QByteArray bytes =
        PageBytes(*format, QSize(width, kFigureHeight), 1, QString::fromStdString(panels[0].title),
                  [&](QPainter& painter, std::size_t) {
                      painter.fillRect(QRect(0, 0, width, kFigureHeight), Qt::white);
                      DrawFigure(painter, panels[0]);
                      painter.translate(kFigureWidth, 0);
                      DrawFigure(painter, panels[1]);
                  });
    return SaveWholeFile(QString::fromStdString(path), bytes).toStdString();
}

} // namespace orvane
