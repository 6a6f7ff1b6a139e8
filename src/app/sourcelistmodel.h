#pragma once

#include <QStandardItemModel>

// The source list's model. Sorting moves the rows' contents, not their items:
// a moved QStandardItem is found again only by a search around its old place,
// which every later removal pays per item, so removing thousands of rows after
// a header click took seconds.
class SourceListModel final : public QStandardItemModel
{
    Q_OBJECT
    Q_DISABLE_COPY(SourceListModel)

public:
    using QStandardItemModel::QStandardItemModel;

    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
};
