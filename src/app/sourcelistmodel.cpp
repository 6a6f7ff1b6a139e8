#include "app/sourcelistmodel.h"
#include "convert/filepath.h"

#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLocale>
#include <QSignalBlocker>
#include <QVector>

#include <algorithm>
#include <numeric>

#include <sys/stat.h>

namespace {

// Through the name's own bytes: QFileInfo would look up a lossy copy of a name that is not UTF-8.
qint64 FileSize(const QFileInfo &info)
{
    struct stat status;
    return ::stat(EncodePath(info.absoluteFilePath()).constData(), &status) == 0 ? qint64(status.st_size) : 0;
}

// Selectable and enabled, nothing else: the lists are read-only.
QStandardItem *Cell(const QString &text, bool centred)
{
    auto *cell = new QStandardItem(text);
    cell->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    if (centred)
        cell->setTextAlignment(Qt::AlignCenter);
    return cell;
}

// fromRow[r]: the row whose contents end up in row r; the comparison is the
// one QStandardItemModel::sort uses, and rows without an item go last.
QVector<int> SortedOrder(const QStandardItemModel &model, int column, Qt::SortOrder order)
{
    QVector<int> fromRow(model.rowCount());
    std::iota(fromRow.begin(), fromRow.end(), 0);
    std::stable_sort(fromRow.begin(), fromRow.end(), [&model, column, order](int a, int b) {
        const QStandardItem *x = model.item(a, column);
        const QStandardItem *y = model.item(b, column);
        if (!x || !y)
            return x && !y;
        return order == Qt::AscendingOrder ? *x < *y : *y < *x;
    });
    return fromRow;
}

} // namespace

void SourceListModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= columnCount() || rowCount() < 2)
        return;
    const QVector<int> fromRow = SortedOrder(*this, column, order);
    if (std::is_sorted(fromRow.cbegin(), fromRow.cend()))
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    MoveContents(fromRow);
    FollowPersistentIndexes(fromRow);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void SourceListModel::MoveContents(const QVector<int> &fromRow)
{
    const int rows = rowCount();
    const int columns = columnCount();
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
    // The layout signals around the move tell the views; a change signal per cell would only cost.
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

void SourceListModel::FollowPersistentIndexes(const QVector<int> &fromRow)
{
    QVector<int> toRow(fromRow.size());
    for (int r = 0; r < fromRow.size(); ++r)
        toRow[fromRow.at(r)] = r;
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &old : before)
        after.append(old.parent().isValid() ? old : index(toRow.at(old.row()), old.column()));
    changePersistentIndexList(before, after);
}

void SourceListModel::Add(const QString &path)
{
    const auto known = positions.constFind(path);
    if (known != positions.constEnd()) {
        marked.append(known.value());
        return;
    }
    const int position = paths.size();
    paths.append(path);
    positions.insert(path, position);
    QList<QStandardItem *> row = FileRow(QFileInfo(path));
    row << Cell(QString(), true) << IndexItem(position);
    appendRow(row);
    marked.append(position);
}

QItemSelection SourceListModel::TakeMarkedRows()
{
    QVector<int> rowOfPosition(paths.size(), -1);
    for (int row = 0; row < rowCount(); ++row) {
        const int position = RowIndex(*this, row, IndexColumn);
        if (position >= 0 && position < rowOfPosition.size())
            rowOfPosition[position] = row;
    }
    QVector<int> rows;
    rows.reserve(marked.size());
    for (int position : qAsConst(marked)) {
        if (rowOfPosition.value(position, -1) >= 0)
            rows.append(rowOfPosition.at(position));
    }
    marked.clear();
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QItemSelection selection;
    for (int i = 0; i < rows.size();) {
        int last = i;
        while (last + 1 < rows.size() && rows.at(last + 1) == rows.at(last) + 1)
            ++last;
        selection.select(index(rows.at(i), 0), index(rows.at(last), IndexColumn));
        i = last + 1;
    }
    return selection;
}

void SourceListModel::Remove(const QModelIndexList &rows)
{
    const int n = paths.size();
    QVector<bool> removed(n, false);
    QVector<int> rowNumbers;
    rowNumbers.reserve(rows.size());
    for (const QModelIndex &row : rows) {
        const int position = RowIndex(*this, row.row(), IndexColumn);
        if (position >= 0 && position < n)
            removed[position] = true;
        rowNumbers.append(row.row());
    }
    // Every kept row's index moves down by the number of removed entries before it.
    QStringList kept;
    kept.reserve(n);
    QVector<int> newPosition(n, -1);
    for (int i = 0; i < n; ++i) {
        if (!removed.at(i)) {
            newPosition[i] = kept.size();
            kept.append(paths.at(i));
        }
    }
    {
        // The hidden column is bookkeeping no view shows: a change signal per row would
        // cost more than the removal itself, for nothing to repaint.
        const QSignalBlocker blocker(this);
        for (int row = 0; row < rowCount(); ++row) {
            QStandardItem *indexItem = item(row, IndexColumn);
            const int position = indexItem ? indexItem->data(Qt::UserRole).toInt() : -1;
            if (position >= 0 && position < n && newPosition.at(position) != position)
                indexItem->setData(newPosition.at(position), Qt::UserRole);
        }
    }
    paths = kept;
    positions.clear();
    positions.reserve(paths.size());
    for (int i = 0; i < paths.size(); ++i)
        positions.insert(paths.at(i), i);

    // Contiguous runs go in one call each, from the bottom up, so the rows above a run
    // keep their numbers.
    std::sort(rowNumbers.begin(), rowNumbers.end());
    for (int last = rowNumbers.size() - 1; last >= 0;) {
        int first = last;
        while (first > 0 && rowNumbers.at(first - 1) == rowNumbers.at(first) - 1)
            --first;
        removeRows(rowNumbers.at(first), last - first + 1);
        last = first - 1;
    }
}

void SourceListModel::Mirror(const QItemSelectionModel &selection, QStringList &files, QList<int> &rows) const
{
    files.clear();
    rows.clear();
    if (!selection.hasSelection())
        return;
    for (const QModelIndex &index : selection.selectedRows(0)) {
        const int position = RowIndex(*this, index.row(), IndexColumn);
        if (position >= 0 && position < paths.size()) {
            files.append(paths.at(position));
            rows.append(index.row());
        }
    }
}

QString SourceListModel::PathAt(int row) const
{
    return paths.value(RowIndex(*this, row, IndexColumn));
}

QString SourceListModel::DisplayText(const QFileInfo &info, int column)
{
    switch (column) {
    case 0:
        return info.baseName();
    case 1:
        return info.suffix().toUpper();
    case 2:
        return tr("%1 MB").arg(QLocale().toString(std::max(FileSize(info) * (1.0 / (1 << 20)), 0.1), 'f', 1));
    case 3:
        return info.absolutePath();
    default:
        return QString();
    }
}

QList<QStandardItem *> SourceListModel::FileRow(const QFileInfo &info)
{
    QList<QStandardItem *> row;
    for (int column = 0; column < 4; ++column)
        row.append(Cell(DisplayText(info, column), column == 1 || column == 2));
    return row;
}

QStandardItem *SourceListModel::IndexItem(int position)
{
    QStandardItem *cell = Cell(QString(), false);
    cell->setData(position, Qt::UserRole);
    return cell;
}

int SourceListModel::RowIndex(const QStandardItemModel &model, int row, int column)
{
    const QStandardItem *cell = model.item(row, column);
    return cell ? cell->data(Qt::UserRole).toInt() : -1;
}
