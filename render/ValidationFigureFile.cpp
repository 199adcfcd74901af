#include "render/ValidationFigureFile.h"

#include "render/FigureRenderer.h"

#include <QPainter>

namespace orvane {

std::string SaveValidationFigure(const FigureData& figure, const std::string& path) {
    const std::optional<FigureFormat> format = FigureFormatOf(path);
    if (!format) {
        return "Cannot write \"" + path + "\": the name must end in .png, .svg or .pdf";
    }
    const std::unique_ptr<QGuiApplication> application = StartOffscreenApplication();
    const QByteArray bytes =
        PageBytes(*format, QSize(kFigureWidth, kFigureHeight), 1,
                  QString::fromStdString(figure.title), [&](QPainter& painter, std::size_t) {
                      painter.fillRect(QRect(0, 0, kFigureWidth, kFigureHeight), Qt::white);
                      DrawFigure(painter, figure);
                  });
    return SaveWholeFile(QString::fromStdString(path), bytes).toStdString();
}

} // namespace orvane
