#include "gui/run/FigureMenu.h"

#include "render/FigureRenderer.h"

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QWidget>
#include <algorithm>
#include <sstream>

namespace orvane {

namespace {

QString saveCaption(FigureKind kind, bool own) {
    if (own) {
        return QStringLiteral("Save figure…");
    }
    return kind == FigureKind::LoadSlip ? QStringLiteral("Save load-slip figure…")
                                        : QStringLiteral("Save distribution figure…");
}

} // namespace

QString DefaultFigureName(const RunRecord& record, FigureKind kind) {
    const QString result = QString::fromStdString(record.params.parameterFilePath);
    const QFileInfo info(result.isEmpty() ? QStringLiteral("default.t-s") : result);
    return QString::fromStdString(FigureFileName(
        info.path().toStdString() + "/" + info.completeBaseName().toStdString() + ".png", kind));
}

FigureMenu::FigureMenu(QWidget& window, std::vector<FigureKind> kinds, CsvTable table,
                       RecordSource record)
    : QObject(&window), m_window(window), m_kinds(std::move(kinds)), m_table(table),
      m_record(std::move(record)) {
    window.setContextMenuPolicy(Qt::ActionsContextMenu);
    for (std::size_t k = 0; k < m_kinds.size(); ++k) {
        const FigureKind kind = m_kinds[k];
        auto* save = new QAction(saveCaption(kind, k == 0), &window);
        connect(save, &QAction::triggered, this, [this, kind] { saveFigureChosen(kind); });
        m_actions.push_back(save);
    }
    // Beside the save entries: the window's own figure on paper, or in a PDF file where no
    // printer is set up.
    auto* print = new QAction(QStringLiteral("Print…"), &window);
    connect(print, &QAction::triggered, this, &FigureMenu::printChosen);
    m_actions.push_back(print);
    auto* copy = new QAction(QStringLiteral("Copy figure"), &window);
    connect(copy, &QAction::triggered, this, &FigureMenu::copyFigure);
    auto* data = new QAction(QStringLiteral("Copy data as CSV"), &window);
    connect(data, &QAction::triggered, this, &FigureMenu::copyData);
    m_actions.push_back(copy);
    m_actions.push_back(data);
    for (QAction* action : m_actions) {
        window.addAction(action);
    }
    setEnabled(false);
}

void FigureMenu::setEnabled(bool enabled) {
    for (QAction* action : m_actions) {
        action->setEnabled(enabled);
    }
}

QString FigureMenu::saveFigure(const QString& path, FigureKind kind) const {
    if (!m_record()) {
        return QStringLiteral("There is no run to draw yet.");
    }
    const FigureData figure = MakeFigure(*m_record(), kind);
    return SaveFigureFile(path, {&figure, 1});
}

void FigureMenu::copyFigure() const {
    if (!m_record()) {
        return;
    }
    QGuiApplication::clipboard()->setImage(FigureImage(MakeFigure(*m_record(), m_kinds.front())));
}

void FigureMenu::copyData() const {
    if (!m_record()) {
        return;
    }
    std::ostringstream csv;
    WriteRecordCsv(csv, *m_record(), m_table);
    QGuiApplication::clipboard()->setText(QString::fromStdString(csv.str()));
}

QString FigureMenu::printFigure(QPrinter& printer, FigureKind kind) const {
    if (!m_record()) {
        return QStringLiteral("There is no run to draw yet.");
    }
    QPainter painter;
    if (!painter.begin(&printer)) {
        return QStringLiteral("The printer \"%1\" could not start printing.")
            .arg(printer.printerName());
    }
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const double scale = std::min(page.width() / kFigureWidth, page.height() / kFigureHeight);
    painter.scale(scale, scale);
    DrawFigure(painter, MakeFigure(*m_record(), kind));
    return painter.end() ? QString() : QStringLiteral("The figure could not be printed.");
}

// The desktop's print dialog; without a printer the figure goes to a PDF file, written whole
// like every saved figure.
void FigureMenu::printChosen() {
    const FigureKind kind = m_kinds.front();
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        QString path = QFileDialog::getSaveFileName(
            &m_window, QStringLiteral("Print to PDF (no printer is set up)"),
            QString(DefaultFigureName(*m_record(), kind))
                .replace(QStringLiteral(".png"), QStringLiteral(".pdf")),
            QStringLiteral("PDF document (*.pdf)"));
        if (path.isEmpty()) {
            return;
        }
        if (!path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) {
            path += QStringLiteral(".pdf");
        }
        const QString error = saveFigure(path, kind);
        if (!error.isEmpty()) {
            QMessageBox::warning(&m_window, QStringLiteral("Print"), error);
        }
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, &m_window);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const QString error = printFigure(printer, kind);
    if (!error.isEmpty()) {
        QMessageBox::warning(&m_window, QStringLiteral("Print"), error);
    }
}

// The desktop's save dialog; the chosen filter gives the format when the name has none.
void FigureMenu::saveFigureChosen(FigureKind kind) {
    const QString png = QStringLiteral("PNG image (*.png)");
    const QString svg = QStringLiteral("SVG drawing (*.svg)");
    const QString pdf = QStringLiteral("PDF document (*.pdf)");
    QString filter = png;
    QString path = QFileDialog::getSaveFileName(&m_window, QStringLiteral("Save figure"),
                                                DefaultFigureName(*m_record(), kind),
                                                png + ";;" + svg + ";;" + pdf, &filter);
    if (path.isEmpty()) {
        return;
    }
    if (!FigureFormatOf(path.toStdString())) {
        path += filter == svg   ? QStringLiteral(".svg")
                : filter == pdf ? QStringLiteral(".pdf")
                                : QStringLiteral(".png");
    }
    const QString error = saveFigure(path, kind);
    if (!error.isEmpty()) {
        QMessageBox::warning(&m_window, QStringLiteral("Save figure"), error);
    }
}

} // namespace orvane
