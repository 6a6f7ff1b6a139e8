// Adding and removing a whole media library in the source list: the window's
// bookkeeping against the literal per-row search, on the same 10,000 files.
//
//   build/bin/bench_sourcelist [files] [window]   ("window" skips the literal baseline)

#include "app/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QDirIterator>
#include <QHeaderView>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTreeView>

#include <cstdio>

namespace {

// The list as the algorithm reads literally: a containment test on the path
// list, a model search for the row of a position, one selection call per row.
class LiteralList
{
public:
    LiteralList() : model(0, 6)
    {
        view.setModel(&model);
        view.setSelectionMode(QAbstractItemView::ExtendedSelection);
        view.setSelectionBehavior(QAbstractItemView::SelectRows);
        view.setSortingEnabled(true);
        QObject::connect(view.selectionModel(), &QItemSelectionModel::selectionChanged, &view,
                         [this]() { rebuild(); });
    }

    int rowOf(int position)
    {
        const QModelIndexList hits = model.match(model.index(0, 5), Qt::UserRole, position, 1, Qt::MatchExactly);
        return hits.isEmpty() ? -1 : hits.first().row();
    }

    void add(const QStringList &paths)
    {
        adding = true;
        view.selectionModel()->clearSelection();
        const int old = files.size();
        for (const QString &path : paths) {
            if (!QFileInfo::exists(path))
                continue;
            if (files.contains(path)) {
                view.selectionModel()->select(model.index(rowOf(files.indexOf(path)), 0),
                                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
                continue;
            }
            files << path;
            const QFileInfo info(path);
            QList<QStandardItem *> row;
            row << new QStandardItem(info.baseName()) << new QStandardItem(info.suffix().toUpper())
                << new QStandardItem(QString::number(info.size())) << new QStandardItem(info.absolutePath())
                << new QStandardItem();
            auto *index = new QStandardItem;
            index->setData(files.size() - 1, Qt::UserRole);
            row << index;
            model.appendRow(row);
            view.selectionModel()->select(model.index(files.size() - 1, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        if (files.size() != old)
            model.sort(view.header()->sortIndicatorSection(), view.header()->sortIndicatorOrder());
        adding = false;
        rebuild();
    }

    void removeSelected()
    {
        const int n = files.size();
        int count = 0;
        for (int i = 0; i < n; ++i) {
            const int row = rowOf(i);
            QStandardItem *item = model.item(row, 5);
            if (view.selectionModel()->isRowSelected(row, QModelIndex())) {
                selected.removeOne(files.at(i - count));
                files.removeAt(i - count);
                item->setData(-1, Qt::UserRole);
                ++count;
            } else if (count > 0) {
                item->setData(i - count, Qt::UserRole);
            }
        }
        QList<int> rows;
        for (const QModelIndex &index : view.selectionModel()->selectedRows(0))
            rows << index.row();
        std::sort(rows.begin(), rows.end());
        for (int i = rows.size() - 1; i >= 0; --i)
            model.removeRow(rows.at(i));
    }

    void rebuild()
    {
        if (adding)
            return;
        selected.clear();
        for (const QModelIndex &index : view.selectionModel()->selectedRows(0)) {
            const int position = model.item(index.row(), 5)->data(Qt::UserRole).toInt();
            if (position >= 0)
                selected << files.at(position);
        }
    }

    QStandardItemModel model;
    QTreeView view;
    QStringList files;
    QStringList selected;
    bool adding = false;
};

double Seconds(QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e9;
}

QStringList Walk(const QString &root)
{
    QStringList files;
    QDirIterator it(root, { "*.*" }, QDir::Files | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    return files;
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    // Offscreen unless a display is asked for (xvfb-run -a env QT_QPA_PLATFORM=xcb ...).
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path());

    const int total = argc > 1 ? QString(argv[1]).toInt() : 10000;
    QTemporaryDir library;
    for (int i = 0; i < total; ++i) {
        const QString folder = library.filePath(QString("shelf%1/box%2").arg(i / 1000).arg((i / 100) % 10));
        QDir().mkpath(folder);
        QFile f(folder + QString("/clip %1.mkv").arg(i, 5, 10, QChar('0')));
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray(i % 4096, 'x'));
    }
    std::printf("files: %d\n", total);

    double addNew, removeAll, addDup;
    {
        MainWindow w;
        w.show();
        QElapsedTimer t;
        t.start();
        w.AddSrcFolderTree(library.path());
        addNew = Seconds(t);
        std::printf("window  add folder:          %.3f s  (%s)\n", addNew, qPrintable(w.statusBar()->currentMessage()));

        t.restart();
        w.AddSrcFolderTree(library.path());
        addDup = Seconds(t);
        std::printf("window  add again (dups):    %.3f s  (%s)\n", addDup, qPrintable(w.statusBar()->currentMessage()));

        t.restart();
        w.SelectAllSrc();
        w.RemoveSrc();
        removeAll = Seconds(t);
        std::printf("window  select all + remove: %.3f s  (%s)\n", removeAll, qPrintable(w.statusBar()->currentMessage()));

        // A header click re-sorts the rows in place; removal then pays for it.
        w.AddSrcFolderTree(library.path());
        t.restart();
        w.srcView->sortByColumn(0, Qt::DescendingOrder);
        std::printf("window  header sort (descending): %.3f s\n", Seconds(t));
        t.restart();
        w.SelectAllSrc();
        w.RemoveSrc();
        std::printf("window  remove after a header sort: %.3f s  (%s)\n", Seconds(t), qPrintable(w.statusBar()->currentMessage()));
    }

    if (argc > 2 && QString(argv[2]) == "window")
        return 0;
    {
        LiteralList literal;
        QElapsedTimer t;
        t.start();
        literal.add(Walk(library.path()));
        std::printf("literal add folder:          %.3f s  (%lld selected)\n", Seconds(t), qlonglong(literal.selected.size()));
        t.restart();
        literal.add(Walk(library.path()));
        std::printf("literal add again (dups):    %.3f s  (%lld selected)\n", Seconds(t), qlonglong(literal.selected.size()));
        t.restart();
        literal.view.selectAll();
        literal.removeSelected();
        std::printf("literal select all + remove: %.3f s  (%lld left)\n", Seconds(t), qlonglong(literal.files.size()));
    }
    return 0;
}
