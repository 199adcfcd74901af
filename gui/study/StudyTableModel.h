#pragma once

#include "core/study/StudyTable.h"

#include <QAbstractTableModel>
#include <QStringList>

namespace orvane {

// The study window's table over the points kept in a StudyTable: a row is formed when the view
// asks for it, so the table costs what the points cost, not a widget item a cell. The numbers
// are the CSV's numbers in plain decimals; the header gives the units.
class StudyTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit StudyTableModel(QObject* parent = nullptr);

    // table must outlive the model or be replaced by another setTable first.
    void setTable(const StudyTable* table);
    // Shows the rows added to the table since the last call.
    void showNewRows();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The texts of row's cells, as shown.
    QStringList rowTexts(int row) const;

private:
    const StudyTable* m_table = nullptr;
    int m_rows = 0;
    QStringList m_columns;
    // The view asks for a row's cells one by one: the row last formed is kept.
    mutable int m_cachedRow = -1;
    mutable QStringList m_cachedTexts;
};

} // namespace orvane
