#pragma once

#include "testsupport.h"

#include <QAbstractButton>
#include <QMessageBox>

#include <memory>

namespace DialogTest {

template <typename T = QWidget>
T *Find(QWidget &dlg, const QString &name)
{
    T *w = dlg.findChild<T *>(name);
    if (!w)
        qFatal("no child %s", qPrintable(name));
    return w;
}

inline void Click(QWidget &dlg, const QString &name)
{
    Find<QAbstractButton>(dlg, name)->click();
}

// The names, in order, whose widgets are enabled.
inline QStringList Enabled(QWidget &dlg, const QStringList &names)
{
    QStringList on;
    for (const QString &name : names) {
        if (Find(dlg, name)->isEnabled())
            on << name;
    }
    return on;
}

// Clicks OK and answers the title and text of the warning box it raised, if any.
inline QStringList ClickOk(QDialog &dlg)
{
    auto seen = std::make_shared<QStringList>();
    TestSupport::ModalCloser<QMessageBox> closer(
        [seen](QMessageBox *box) {
            *seen << box->windowTitle() << box->text();
            box->done(QMessageBox::Ok);
        },
        60);
    Click(dlg, QStringLiteral("okButton"));
    if (!closer.found())
        QTest::qWait(120); // let the closer run out, so it cannot catch a later test's box
    return *seen;
}

} // namespace DialogTest
