#pragma once

#include "core/results/RunFigure.h"

#include <QObject>
#include <functional>
#include <vector>

class QAction;
class QPrinter;
class QWidget;

namespace orvane {

// The right-button menu of a graph window: "Save figure…" (one entry per figure the window
// offers), "Copy figure" and "Copy data as CSV". The entries stay disabled until a record is
// there; the figures are drawn from the record, not copied from the screen.
class FigureMenu : public QObject {
    Q_OBJECT

public:
    using RecordSource = std::function<const RunRecord*()>;

    // kinds: the figures of the window, the first being the window's own.
    FigureMenu(QWidget& window, std::vector<FigureKind> kinds, CsvTable table, RecordSource record);

    void setEnabled(bool enabled);

    // What the entries do, without the dialog. saveFigure returns an empty text or the
    // message naming the file and the reason.
    QString saveFigure(const QString& path, FigureKind kind) const;
    void copyFigure() const;
    void copyData() const;
    // Draws the figure on the printer's page, as large as the page allows at its proportions;
    // an empty text, or what went wrong.
    QString printFigure(QPrinter& printer, FigureKind kind) const;

private:
    void saveFigureChosen(FigureKind kind);
    void printChosen();

    QWidget& m_window;
    std::vector<FigureKind> m_kinds;
    CsvTable m_table;
    RecordSource m_record;
    std::vector<QAction*> m_actions;
};

// A file name for a figure beside the run's result file: beam.t-s → beam-tau-slip.png.
QString DefaultFigureName(const RunRecord& record, FigureKind kind);

} // namespace orvane
