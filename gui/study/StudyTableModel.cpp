#include "gui/study/StudyTableModel.h"

#include "core/study/StudyPlot.h"
#include "core/study/StudyWriters.h"

#include <cmath>

namespace orvane {

namespace {

QString text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

QString number(double value) {
    return text(TableNumberText(value));
}

} // namespace

StudyTableModel::StudyTableModel(QObject* parent) : QAbstractTableModel(parent) {
}

void StudyTableModel::setTable(const StudyTable* table) {
    beginResetModel();
    m_table = table;
    m_rows = 0;
    m_cachedRow = -1;
    m_columns = {tr("point")};
    if (table && table->study()) {
        for (const Sweep& sweep : table->study()->sweeps) {
            m_columns << text(SweptColumnTitle(sweep));
        }
    }
    m_columns << tr("steps") << tr("Pbumax (N)") << tr("slmax (mm)") << tr("end") << tr("Gf (N/mm)")
              << tr("P∞ (N)") << tr("Le (mm)") << tr("Pbumax/P∞") << tr("problem");
    endResetModel();
}

void StudyTableModel::showNewRows() {
    // A QAbstractItemModel counts rows in int; a study has at most a million points.
    const int rows = m_table ? int(m_table->size()) : 0;
    if (rows > m_rows) {
        beginInsertRows({}, m_rows, rows - 1);
        m_rows = rows;
        endInsertRows();
    }
}

int StudyTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int StudyTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_columns.size());
}

QStringList StudyTableModel::rowTexts(int row) const {
    if (row == m_cachedRow) {
        return m_cachedTexts;
    }
    const StudyPointResult result = m_table->point(row);
    QStringList cells = {QString::number(result.index)};
    for (std::size_t s = 0; s < result.sweptValues.size(); ++s) {
        const double value = result.sweptValues[s];
        // A swept field holds a single; the law has no number.
        cells << (!std::isnan(value) ? text(TableNumberText(float(value)))
                                     : text(result.sweptTexts[s]));
    }
    const BondQuantities& q = result.quantities;
    const bool run = !result.refused();
    cells << (run ? QString::number(result.steps) : QString())
          << (run ? number(result.Pbumax) : QString()) << (run ? number(result.slmax) : QString())
          << text(PointEndText(result)) << number(q.Gf) << number(q.Pinf) << number(q.Le)
          << (run ? number(LoadRatio(result.Pbumax, q)) : QString()) << text(result.problem);
    m_cachedRow = row;
    m_cachedTexts = cells;
    return cells;
}

QVariant StudyTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows) {
        return {};
    }
    const bool problem = index.column() == int(m_columns.size()) - 1;
    const bool end = index.column() == int(m_columns.size()) - 7;
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(problem || end ? Qt::AlignLeft | Qt::AlignVCenter
                                                  : Qt::AlignRight | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) {
        return {};
    }
    return rowTexts(index.row()).value(index.column());
}

QVariant StudyTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    return m_columns.value(section);
}

} // namespace orvane
