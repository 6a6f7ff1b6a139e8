#include "mainwindow.h"

#include "convert/preferences.h"
#include "convert/targetrules.h"
#include "dialogs/effectsnote.h"
#include "dialogs/scaledlg.h"
#include "dialogs/settingsdlg.h"
#include "dialogs/threegp2dlg.h"
#include "dialogs/threegpdlg.h"
#include "krv/av/writabletargets.h"

#include <QAction>
#include <QComboBox>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>

// The target folder, format and save mode controls under the two lists.

namespace {

QString SameAsSource()
{
    return QString::fromLatin1(SameAsSourceFile);
}

QString MoviesFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
}

// A format item's data: the catalogue identifier in the low 16 bits, the
// position of the extension in the entry's list above them.
struct FmtItem
{
    KRVAVCodecID id = KRVAVCodecID_None;
    int extension = 0;
};

QVariant PackFmtItem(KRVAVCodecID id, int extension)
{
    return QVariant(qint32((extension << 16) | id));
}

FmtItem UnpackFmtItem(const QVariant &data)
{
    if (!data.isValid())
        return {};
    const int packed = data.toInt();
    return { KRVAVCodecID(packed & 0xffff), packed >> 16 };
}

FmtItem CurrentFmtItem(const QComboBox *box)
{
    return UnpackFmtItem(box->currentData(Qt::UserRole));
}
} // namespace

void MainWindow::InitTgtFoldersCmB()
{
    qDebug() << "MainWindow::InitTgtFoldersCmB";
    tgtFolderCmB->addItem(SameAsSource());
    for (const QString &folder : Preferences::TargetFolders()) {
        if (!folder.isEmpty())
            tgtFolderCmB->addItem(folder);
    }
    tgtFolderCmB->setCurrentIndex(tgtFolderCmB->findText(convertSettings.tgtFolder, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

void MainWindow::SaveTgtFolders()
{
    qDebug() << "MainWindow::SaveTgtFolders";
    QStringList folders;
    for (int i = 0; i < tgtFolderCmB->count(); ++i) {
        if (tgtFolderCmB->itemText(i) != SameAsSource())
            folders.append(tgtFolderCmB->itemText(i));
    }
    Preferences::SetTargetFolders(folders);
}

void MainWindow::InitTgtFmtCmB()
{
    qDebug() << "MainWindow::InitTgtFmtCmB";
    int chosen = 0;
    bool separated = false;
    for (const TargetFormat &format : WritableTargets()) {
        // The device profiles form the first block.
        if (format.id > KRVAVCodecID_Xbox360 && !separated) {
            tgtFmtCmB->insertSeparator(tgtFmtCmB->count());
            separated = true;
        }
        if (format.id == convertSettings.tgtID && format.extension.compare(convertSettings.tgtFormat, Qt::CaseInsensitive) == 0)
            chosen = tgtFmtCmB->count();
        tgtFmtCmB->addItem(TargetFormatText(format), PackFmtItem(format.id, format.extensionIndex));
    }
    tgtFmtCmB->setCurrentIndex(chosen);
}

void MainWindow::InitSaveTgtCmB()
{
    for (int i = 0; i < SaveModesCount; ++i)
        saveTgtCmB->addItem(QIcon(), QString::fromLatin1(SaveModes[i]), i);
    const int exists = convertSettings.exists;
    int current = -1;
    if (exists >= 0 && exists < SaveModesCount)
        current = saveTgtCmB->findText(QString::fromLatin1(SaveModes[exists]), Qt::MatchExactly | Qt::MatchCaseSensitive);
    // A hand-edited index that names no save mode falls back to the first one,
    // so every conversion still gets a target name.
    saveTgtCmB->setCurrentIndex(current >= 0 ? current : 0);
}

void MainWindow::UpdateConvertSettings()
{
    convertSettings.SetTgtFolder(tgtFolderCmB->currentText());
    const FmtItem item = CurrentFmtItem(tgtFmtCmB);
    convertSettings.tgtID = item.id;
    convertSettings.tgtFormat = KRVAVCodec(item.id).GetExtension(item.extension);
    convertSettings.exists = saveTgtCmB->currentIndex();
}

void MainWindow::UpdateOpenTgtBtn()
{
    UpdateOpenTgtBtn(tgtFolderCmB->currentText());
}

void MainWindow::UpdateOpenTgtBtn(const QString &sTgtFolder)
{
    actOpenTarget->setEnabled(ActionEnabled(ActOpenTarget, ListState(sTgtFolder)));
}

void MainWindow::OpenTarget()
{
    qDebug() << "MainWindow::OpenTarget";
    QString folder = tgtFolderCmB->currentText();
    if (folder == SameAsSource() && selSrcFiles.size() == 1)
        folder = QFileInfo(selSrcFiles.first()).absolutePath();
    if (!folder.isEmpty() && QDir(folder).exists()) {
        const QString path = QDir(folder).absolutePath();
        if (!openFolderUrl(QUrl::fromLocalFile(path))) {
            QMessageBox::warning(this, tr("Reelway Video Converter"),
                                 tr("The target folder \"%1\" could not be opened.")
                                     .arg(QDir::toNativeSeparators(path)),
                                 QMessageBox::Ok);
        }
        return;
    }
    QMessageBox::warning(this, tr("Reelway Video Converter"), tr("Invalid target folder: \"%1\".").arg(folder),
                         QMessageBox::Ok);
}

void MainWindow::BrowseTgtFolder()
{
    qDebug() << "MainWindow::BrowseTgtFolder";
    QString start = tgtFolderCmB->currentText();
    if (start == SameAsSource())
        start = selSrcFiles.size() == 1 ? QFileInfo(selSrcFiles.first()).absolutePath() : MoviesFolder();
    if (!QDir(start).exists())
        start = MoviesFolder();
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Set Target Folder"), start, QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return;
    int index = tgtFolderCmB->findText(folder, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0) {
        tgtFolderCmB->addItem(folder);
        index = tgtFolderCmB->count() - 1;
    }
    tgtFolderCmB->setCurrentIndex(index);
}

void MainWindow::TgtFmtChanged(int iFmtCBIndex)
{
    const FmtItem item = UnpackFmtItem(tgtFmtCmB->itemData(iFmtCBIndex, Qt::UserRole));
    fmtSettingsBtn->setEnabled(KRVAVCodec::HasSettings(item.id));
    UpdateEffectsNote();
}

void MainWindow::TgtFmtSettingsClicked()
{
    const KRVAVCodecID id = CurrentFmtItem(tgtFmtCmB).id;
    if (id == KRVAVCodecID_3GP2) {
        ThreeGP2Dlg dlg(&convertSettings, this);
        dlg.exec();
    } else if (id == KRVAVCodecID_3GP) {
        ThreeGPDlg dlg(&convertSettings, this);
        dlg.exec();
    } else if (IsScalableFormat(id)) {
        ScaleDlg dlg(&convertSettings, this);
        dlg.exec();
    }
    UpdateEffectsNote();
}

void MainWindow::UpdateEffectsNote()
{
    const FmtItem item = CurrentFmtItem(tgtFmtCmB);
    // Effects change the picture; a target that keeps only the sound gets none of them.
    const QString note = IsAudioOnlyTarget(item.id, KRVAVCodec(item.id).GetExtension(item.extension))
                             ? QString()
                             : EffectsNote(convertSettings, item.id);
    effectsNote->setText(QStringLiteral("<a href=\"effects\">%1</a>").arg(note.toHtmlEscaped()));
    effectsNote->setVisible(!note.isEmpty());
}

void MainWindow::OpenEffectsNote()
{
    const int page = EffectsNotePage(convertSettings, CurrentFmtItem(tgtFmtCmB).id);
    if (page < 0) {
        TgtFmtSettingsClicked();
        return;
    }
    SettingsDlg dlg(this, &convertSettings);
    dlg.ShowPage(page);
    dlg.exec();
    UpdateEffectsNote();
}
