#include "app/sourcelistmodel.h"

#include <QSignalBlocker>
#include <QVector>

#include <algorithm>
#include <numeric>

void SourceListModel::sort(int column, Qt::SortOrder order)
{
    const int rows = rowCount();
    const int columns = columnCount();
    if (column < 0 || column >= columns || rows < 2)
        return;

    // fromRow[r]: the row whose contents end up in row r; the comparison is the
    // one QStandardItemModel::sort uses, and rows without an item go last.
    QVector<int> fromRow(rows);
    std::iota(fromRow.begin(), fromRow.end(), 0);
    std::stable_sort(fromRow.begin(), fromRow.end(), [this, column, order](int a, int b) {
        const QStandardItem *x = item(a, column);
        const QStandardItem *y = item(b, column);
        if (!x || !y)
            return x && !y;
        return order == Qt::AscendingOrder ? *x < *y : *y < *x;
    });
    bool moves = false;
    for (int r = 0; r < rows && !moves; ++r)
        moves = fromRow.at(r) != r;
    if (!moves)
        return;

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);

    QVector<QMap<int, QVariant>> contents(rows * columns);
    QVector<Qt::ItemFlags> flags(rows * columns);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            if (const QStandardItem *cell = item(r, c)) {
                contents[r * columns + c] = itemData(index(r, c));
                flags[r * columns + c] = cell->flags();
            }
        }
    }
    {
        // The layout signals below tell the views; a change signal per cell would only cost.
        const QSignalBlocker blocker(this);
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < columns; ++c) {
                QStandardItem *cell = item(r, c);
                if (!cell)
                    continue;
                const int from = fromRow.at(r) * columns + c;
                cell->clearData();
                setItemData(index(r, c), contents.at(from));
                cell->setFlags(flags.at(from));
            }
        }
    }

    QVector<int> toRow(rows);
    for (int r = 0; r < rows; ++r)
        toRow[fromRow.at(r)] = r;
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &old : before)
        after.append(old.parent().isValid() ? old : index(toRow.at(old.row()), old.column()));
    changePersistentIndexList(before, after);

    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
