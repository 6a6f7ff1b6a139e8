#pragma once

#include <QHash>
#include <QItemSelection>
#include <QStandardItemModel>
#include <QStringList>
#include <QVector>

class QFileInfo;
class QItemSelectionModel;

// The source list: its rows and the paths they stand for. paths holds every path in the
// order of adding, and a row's hidden index column holds its path's position there.
// Sorting moves the rows' contents, not their items: a moved QStandardItem is found again
// only by a search around its old place, which every later removal pays per item, so
// removing thousands of rows after a header click took seconds.
class SourceListModel final : public QStandardItemModel
{
    Q_OBJECT
    Q_DISABLE_COPY(SourceListModel)

public:
    static constexpr int StatusColumn = 4;
    static constexpr int IndexColumn = 5;

    using QStandardItemModel::QStandardItemModel;

    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Appends path as a row unless it is listed already; either way its row joins the
    // rows that TakeMarkedRows hands out.
    void Add(const QString &path);
    // The marked rows as contiguous ranges, found after whatever sort came between.
    QItemSelection TakeMarkedRows();
    // Removes the given rows; every other row's index follows its path.
    void Remove(const QModelIndexList &rows);
    // The paths and row numbers of the selected rows, in the order selection reports them.
    void Mirror(const QItemSelectionModel &selection, QStringList &files, QList<int> &rows) const;
    // The path at the row's hidden index, or empty for a row that has none.
    QString PathAt(int row) const;

    // The text a file's row shows in column: the sort and the folder walk's order both use it.
    static QString DisplayText(const QFileInfo &info, int column);
    // The columns both lists share: base name, suffix, size and folder.
    static QList<QStandardItem *> FileRow(const QFileInfo &info);
    static QStandardItem *IndexItem(int position);
    // The hidden index of a row of model kept in column, or -1.
    static int RowIndex(const QStandardItemModel &model, int row, int column);

    QStringList paths;

private:
    // fromRow[r]: the row whose contents move into row r.
    void MoveContents(const QVector<int> &fromRow);
    void FollowPersistentIndexes(const QVector<int> &fromRow);

    QHash<QString, int> positions;
    QVector<int> marked;
};
