#include "testsupport.h"

#include "convert/convertsettings.h"
#include "dialogs/effectsnote.h"
#include "dialogs/scaledlg.h"
#include "dialogs/settingsdlg.h"
#include "dialogs/threegp2dlg.h"
#include "dialogs/threegpdlg.h"

using TestSupport::Find;

static void Click(QWidget *dlg, const QString &name) { Find<QAbstractButton>(dlg, name)->click(); }

// Clicks OK and answers the title and text of the warning box it raised, if any.
static QStringList ClickOk(QDialog &dlg)
{
    QStringList seen;
    TestSupport::ModalCloser<QMessageBox> closer([&seen](QMessageBox *box) { seen << box->windowTitle() << box->text(); box->done(QMessageBox::Ok); });
    Click(&dlg, "okButton");
    return seen;
}

// Keys of the record's group are given without it; "ThreeGP" goes to the record only, as no store keeps it.
static void Load(ConvertSettings &record, const QVariantMap &stored)
{
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        QSettings("Korvent", "Reelway").setValue(it.key().contains('/') ? it.key() : "CSettings/" + it.key(), *it);
    record.Load();
    record.threeGPSize = stored.value("ThreeGP", 3).toInt();
}

// The record's fields and the dialogs' options in the store, with `changes` applied, as "name=value" lines.
static QStringList State(const ConvertSettings &record, const QVariantMap &changes = {})
{
    QVariantMap state = TestSupport::Fields(record);
    QSettings store("Korvent", "Reelway");
    for (const QString &key : store.allKeys().filter(QRegularExpression("^Settings/")))
        state.insert(key, store.value(key));
    state.insert(changes);
    QStringList lines;
    for (auto it = state.cbegin(); it != state.cend(); ++it)
        lines << it.key() + '=' + it->toString();
    return lines;
}

static QDialog *Make(const QString &kind, ConvertSettings *record)
{
    return kind == "scale" ? static_cast<QDialog *>(new ScaleDlg(record, nullptr)) : kind == "3gp2" ? static_cast<QDialog *>(new ThreeGP2Dlg(record, nullptr))
         : kind == "3gp" ? static_cast<QDialog *>(new ThreeGPDlg(record, nullptr)) : new SettingsDlg(nullptr, record);
}

// The format dialogs (scale, 3GP2, 3GP) and the effects dialog.
class TestDialogs : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;

private slots:
    void init() { TestSupport::ClearSettings(); }

    // A dialog opened on `stored` takes the `edits`: "name" clicks, "name=v" sets a slider, spin box or list,
    // "name:text" types (or, where typing is blocked, sets) a text, "name?text" checks the text shown,
    // "name>seen>answer" clicks and expects a colour or file picker showing `seen` (title|start), then answers
    // it ("!answer": answered, then cancelled), "close" leaves by the close button, "@names" watches controls
    // and "~names" checks which of the watched are enabled ("~*": all of them).
    // OK then warns, or writes the `saved` changes. A warning, Cancel or the close button leaves the record
    // and the store alone; an accepted dialog opened again saves the same.
    void ok_data()
    {
        QTest::addColumn<QString>("kind"); QTest::addColumn<QVariantMap>("stored"); QTest::addColumn<QStringList>("edits");
        QTest::addColumn<QStringList>("warning"); QTest::addColumn<QVariantMap>("saved");
        QString kind;
        const auto row = [&kind](const char *name, const QVariantMap &stored, const QStringList &edits, const QStringList &warning, const QVariantMap &saved) {
            QTest::newRow(qPrintable(kind + ", " + name)) << kind << stored << edits << warning << saved;
        };
        kind = "scale";
        const QString sizes = "~keepAspectCheck widthSpin heightSpin widthLabel heightLabel", scale = '@' + sizes.mid(1) + " aspectCombo";
        row("enabling", {}, { scale, "~", "scaleCheck", sizes, "keepAspectCheck", "~*", "keepAspectCheck", sizes, "keepAspectCheck", "~*", "scaleCheck", "~", "cancelButton" }, {}, {});
        // The recomputed box stays silent: were it to feed back, the edited box would change too.
        const QStringList odd = { "Format Settings", "Scale width or height must be even number!" };
        const QVariantMap on{ { "Scale", true } }, keep{ { "Scale", true }, { "ScaleKA", true } }, keep169{ { "Scale", true }, { "ScaleKA", true }, { "ScaleA", 1 } };
        row("enabled as stored", keep, { scale, "~*", "cancelButton" }, {}, {});
        row("loaded as stored, 4:3 width 770 drops the fraction, width 1 clamps height", keep,
            { "aspectCombo?4:3", "heightSpin?576", "widthSpin=770", "widthSpin?770", "heightSpin?577", "widthSpin=1", "heightSpin?1" }, odd, {});
        row("16:9 height 100 drops the fraction, 50000 clamps width", keep169,
            { "aspectCombo?16:9", "heightSpin?576", "heightSpin=100", "widthSpin?177", "heightSpin?100", "heightSpin=50000", "widthSpin?50000" }, {}, { { "scaleW", 50000 }, { "scaleH", 50000 } });
        row("keep aspect off", on, { "widthSpin=1024", "heightSpin?576" }, {}, { { "scaleW", 1024 } });
        row("stored Auto, out of range", { { "Scale", true }, { "ScaleKA", true }, { "ScaleA", 2 }, { "ScaleW", 60000 }, { "ScaleH", -4 } },
            { "aspectCombo?", "widthSpin?50000", "heightSpin?1", "heightSpin=2000", "widthSpin?50000", "widthSpin=4000", "heightSpin?2000" }, {},
            { { "scaleA", -1 }, { "scaleW", 4000 }, { "scaleH", 2000 } });
        row("keeping aspect and switching it recompute", { { "Scale", true }, { "ScaleW", 770 } },
            { "keepAspectCheck", "heightSpin?577", "aspectCombo=16:9", "heightSpin?433", "widthSpin=1280" }, {},
            { { "scaleKA", true }, { "scaleA", 1 }, { "scaleW", 1280 }, { "scaleH", 720 } });
        row("stored odd width, scaling off", { { "ScaleW", 767 } }, {}, odd, {});
        kind = "3gp";
        row("fourth, pick first", {}, { "videoSizeCombo?704x576", "videoSizeCombo=128x96" }, {}, { { "threeGPSize", 0 } });
        row("past the list", { { "ThreeGP", 5 } }, { "videoSizeCombo?", "videoSizeCombo=176x144" }, {}, { { "threeGPSize", 1 } });
        row("close button", {}, { "videoSizeCombo=128x96", "close" }, {}, {});
        kind = "3gp2";
        row("second, pick last", { { "ThreeGP", 1 } }, { "videoSizeCombo?176x144", "videoSizeCombo=1408x1152" }, {}, { { "threeGPSize", 4 } });
        row("below the list", { { "ThreeGP", -1 } }, { "videoSizeCombo?", "videoSizeCombo=352x288" }, {}, { { "threeGPSize", 2 } });
        row("Cancel", {}, { "videoSizeCombo=128x96", "cancelButton" }, {}, {});

        kind = "effects";
        row("color enabling", {}, { "@brightnessSlider contrastSlider saturationSlider gammaSlider brightnessLabel gammaValueLabel", "~", "clrEnableCheck", "~*", "clrEnableCheck", "~", "cancelButton" }, {}, {});
        const QString textPage = "wtContentEdit wtFontNameCombo wtFontSizeCombo wtBoldButton wtColorButton wtOpacitySlider wtNormalAlignRadio wtCustomAlignRadio wtAlignCombo";
        row("text enabling", {}, { "@" + textPage + " wtXOffsetSpin", "~", "wtEnableCheck", "~" + textPage, "wtEnableCheck", "~", "cancelButton" }, {}, {});
        // Only "Browse..." sets the image path.
        row("image enabling", {}, { "@wiBrowseButton wiScaleSlider wiFileEdit wiXOffsetSpin", "~", "wiEnableCheck", "~wiBrowseButton wiScaleSlider", "wiEnableCheck", "~", "cancelButton" }, {}, {});
        row("transform enabling", {}, { "@rotateCheck hFlipCheck vFlipCheck rotateCombo", "~", "transformEnableCheck", "~rotateCheck hFlipCheck vFlipCheck", "rotateCheck", "~*",
                                        "transformEnableCheck", "~", "transformEnableCheck", "~*", "cancelButton" }, {}, {});
        row("pages enabled as stored", { { "WIEnable", true }, { "WICAlign", true }, { "Transform", true }, { "Rotate", true } },
            { "@wtXOffsetSpin wiAlignCombo wiXOffsetSpin rotateCombo", "~wiXOffsetSpin rotateCombo", "cancelButton" }, {}, {});
        // Switching a page off and on again keeps to the checked radio.
        for (const QString p : { "wt", "wi" }) {
            const QString align = "~" + p + "AlignCombo", custom = QString("~%1XOffsetLabel %1XOffsetSpin %1XPercentLabel %1YOffsetLabel %1YOffsetSpin %1YPercentLabel").arg(p);
            row(qPrintable(p + " alignment enabling"), {}, { '@' + align.mid(1) + ' ' + custom.mid(1), "~", p + "EnableCheck", align, p + "CustomAlignRadio", custom, p + "NormalAlignRadio",
                align, p + "CustomAlignRadio", custom, p + "EnableCheck", "~", p + "EnableCheck", custom, "cancelButton" }, {}, {});
        }
        const QStringList all = { "noConvertResultsCheck", "noCrashReportCheck", "clrEnableCheck", "wtEnableCheck", "wiEnableCheck", "transformEnableCheck" };
        // The warnings come in this order, and the options wait for OK too.
        const QStringList text = all + QStringList{ "wtContentEdit: " }, image = text + QStringList{ "wiFileEdit:/nowhere/logo.png" };
        row("no text", {}, all, { "Watermark Text", "Watermmark text is empty!" }, {});
        row("no image", {}, text, { "Watermark Image", "Watermmark image is empty!" }, {});
        row("no transform", {}, image, { "Transform", "No transform is set!" }, {});
        for (const char *check : { "hFlip", "vFlip", "rotate" }) {
            row(check, {}, image + QStringList{ QString(check) + "Check" }, {},
                { { "clrEnable", true }, { "wtEnable", true }, { "wtContent", " " }, { "wiEnable", true }, { "wiFile", "/nowhere/logo.png" },
                  { "transform", true }, { check, true }, { "Settings/ReportCrash", false }, { "Settings/ReportCResults", false } });
        }
        row("both do not show again", { { "Settings/ReportCResults", false }, { "Settings/ReportCrash", false } }, {}, {}, { { "Settings/ReportCResults", false }, { "Settings/ReportCrash", false } });
        const QVariantMap marked{ { "WTEnable", true }, { "WTContent", "mark" }, { "WTCR", 10 }, { "WTCG", 20 }, { "WTCB", 30 } };
        row("font size 13, not in the list", marked, { "wtFontSizeCombo:13" }, {}, { { "wtFontSize", 13.0 } });
        row("font size: letters are refused, empty saves 0", marked, { "wtFontSizeCombo:ab" }, {}, { { "wtFontSize", 0.0 } });
        row("font size 1000 is cut at 100", marked, { "wtFontSizeCombo:1000" }, {}, { { "wtFontSize", 100.0 } });
        // The picker opens at black whatever the current colour.
        const QString picker = "wtColorButton>Select Text Color|#000000>";
        row("text colour picked, then cancelled", marked, { picker + "#ff8000", picker + "!#0000ff" }, {}, { { "wtCR", 255 }, { "wtCG", 128 }, { "wtCB", 0 } });
        row("Cancel", {}, all + QStringList{ "gammaSlider=30", "wtContentEdit:mark", picker + "#ff8000", "cancelButton" }, {}, {});
        // Each time, the image picker starts in the pictures folder.
        const QString pictures = fixture.path("Pictures"), file = pictures + "/new logo.png";
        QVERIFY(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation) == pictures && TestSupport::WriteBytes(file, "x"));
        const QString browse = "wiBrowseButton>Select Watermark Image|" + pictures + "|Image Files (*." + QString::fromLatin1(QImageReader::supportedImageFormats().join(" *.")) + ")>";
        row("image picked, then cancelled", { { "WIEnable", true } }, { browse + file, "wiFileEdit?" + file, browse + "!" + pictures + "/other.png", "wiFileEdit?" + file },
            {}, { { "wiFile", file } });
        row("stored values beyond the controls", { { "WTOpc", 0 }, { "ClrB", 1e300 }, { "ClrC", -1e300 }, { "ClrG", qQNaN() }, { "WTAlign", 9 }, { "RotateDegree", -1 }, { "WTFontSize", 12.5 } },
            { "wtOpacityValueLabel?1", "brightnessValueLabel?1", "contrastValueLabel?-2", "gammaValueLabel?0.1", "wtAlignCombo?", "rotateCombo?", "wtFontSizeCombo?12.5" },
            {}, { { "wtOpc", 1 }, { "clrB", 1.0 }, { "clrC", -2.0 }, { "clrG", 0.1 }, { "wtAlign", -1 } });
        // A real family rather than an alias such as "Serif", which the combo resolves when reopened.
        QFontComboBox fonts;
        QString family;
        for (int i = fonts.count() - 1; i >= 0 && family.isEmpty(); --i)
            family = fonts.itemText(i) != QApplication::font().family() && QFontInfo(QFont(fonts.itemText(i))).family() == fonts.itemText(i) ? fonts.itemText(i) : QString();
        // The text page is switched off again at the end: its values are still saved. The sliders' positions give
        // values whose value / 0.1 falls just below the integer, or below zero.
        row("every field", {},
            { "clrEnableCheck", "wtEnableCheck", "wtItalicButton", "wtUnderlineButton", "wtCustomAlignRadio", "wiEnableCheck", "wiCustomAlignRadio", "transformEnableCheck",
              "rotateCheck", "hFlipCheck", "brightnessSlider=-3", "contrastSlider=-20", "saturationSlider=29", "gammaSlider=43", "wtOpacitySlider=40", "wiScaleSlider=250",
              "wiScaleValueLabel?250%", "brightnessValueLabel?-0.3", "contrastValueLabel?-2", "saturationValueLabel?2.9", "gammaValueLabel?4.3", "wtXOffsetSpin=12", "wtYOffsetSpin=88", "wiYOffsetSpin=7", "wtFontSizeCombo=12", "wtAlignCombo=Bottom Right", "wiAlignCombo=Center",
              "rotateCombo=Clockwise 270 degree", "wtContentEdit:Reelway ©", "wtFontNameCombo=" + family, "wtEnableCheck", "wiFileEdit:/pics/logo.png" },
            {}, { { "clrEnable", true }, { "clrB", -3 * 0.1 }, { "clrC", -20 * 0.1 }, { "clrS", 29 * 0.1 }, { "clrG", 43 * 0.1 }, { "wtContent", "Reelway ©" }, { "wtFontName", family },
                  { "wtFontSize", 12.0 }, { "wtFontI", true }, { "wtFontU", true }, { "wtOpc", 40 }, { "wtCAlign", true }, { "wtAlign", 3 }, { "wtCAlignX", 12 },
                  { "wtCAlignY", 88 }, { "wiEnable", true }, { "wiFile", "/pics/logo.png" }, { "wiScale", 250 }, { "wiCAlign", true }, { "wiAlign", 4 }, { "wiCAlignY", 7 },
                  { "transform", true }, { "rotate", true }, { "rotateDegree", 2 }, { "hFlip", true } });
    }

    void ok()
    {
        QFETCH(QString, kind); QFETCH(QVariantMap, stored); QFETCH(QStringList, edits); QFETCH(QStringList, warning); QFETCH(QVariantMap, saved);
        ConvertSettings record;
        Load(record, stored);
        // An OK on the effects dialog writes both options.
        QVariantMap changes = kind == "effects" && !saved.isEmpty() ? QVariantMap{ { "Settings/ReportCrash", true }, { "Settings/ReportCResults", true } } : QVariantMap();
        changes.insert(saved);
        const QStringList expected = State(record, changes);
        const std::unique_ptr<QDialog> dlg(Make(kind, &record));
        dlg->show();
        QStringList watched;
        int step = 0;
        for (const QString &edit : edits) {
            if (edit.startsWith('@'))
                watched = edit.mid(1).split(' ');
            if (edit.startsWith('~')) {
                QStringList on{ QString::number(++step) + ':' };
                for (const QString &name : watched)
                    on << (Find(dlg.get(), name)->isEnabled() ? name : QString());
                QCOMPARE(on.join(' ').simplified(), (on.first() + ' ' + (edit == "~*" ? watched.join(' ') : edit.mid(1))).trimmed());
            }
            if (edit.startsWith('@') || edit.startsWith('~'))
                continue;
            const int at = edit.indexOf(QRegularExpression("[=:?>]"));
            const QString name = edit.left(at), arg = edit.mid(at + 1);
            QWidget *w = name == "close" ? dlg.get() : Find(dlg.get(), name);
            auto *combo = qobject_cast<QComboBox *>(w);
            QLineEdit *line = combo ? combo->lineEdit() : qobject_cast<QLineEdit *>(w);
            if (at < 0) {
                name == "close" ? void(dlg->close()) : Click(dlg.get(), name);
            } else if (edit.at(at) == '?') {
                QCOMPARE(name + '?' + w->property(combo ? "currentText" : "text").toString(), edit);
            } else if (edit.at(at) == '=') {
                w->setProperty(combo ? "currentText" : "value", arg);
            } else if (edit.at(at) == ':') {
                line->isEnabled() ? (line->clear(), QTest::keyClicks(line, arg)) : line->setText(arg);
            } else {
                QString seen, answer = arg.section('>', 1);
                TestSupport::ModalCloser<QDialog> closer([&](QDialog *picker) {
                    auto *colors = qobject_cast<QColorDialog *>(picker);
                    auto *files = qobject_cast<QFileDialog *>(picker);
                    seen = picker->windowTitle() + '|' + (colors ? colors->currentColor().name() : files->directory().absolutePath() + '|' + files->nameFilters().join('|'));
                    // Typed rather than selected: the file picker lists its folder in the background.
                    colors ? colors->setCurrentColor(QColor(answer.mid(answer.startsWith('!')))) : Find<QLineEdit>(picker, "fileNameEdit")->setText(answer.mid(answer.startsWith('!')));
                    picker->done(answer.startsWith('!') ? QDialog::Rejected : QDialog::Accepted);
                }, [](QDialog *d) { return qobject_cast<QColorDialog *>(d) || qobject_cast<QFileDialog *>(d); });
                Click(dlg.get(), name);
                QVERIFY(closer.found());
                QCOMPARE(seen, arg.section('>', 0, 0));
            }
        }
        if (dlg->isVisible())
            QCOMPARE(ClickOk(*dlg), warning);
        QCOMPARE(QPoint(dlg->isVisible(), dlg->result() == QDialog::Accepted), QPoint(!warning.isEmpty(), !saved.isEmpty()));
        QCOMPARE(State(record), expected);
        if (dlg->result() == QDialog::Accepted) {
            const std::unique_ptr<QDialog> again(Make(kind, &record));
            QVERIFY(ClickOk(*again).isEmpty());
            QCOMPARE(State(record), expected);
        }
    }

    // The main window's note names what a conversion to the target would do to the picture,
    // and opens the effects page of the first effect that is on (-1: only the format settings).
    void effectsNote_data()
    {
        QTest::addColumn<QVariantMap>("stored"); QTest::addColumn<int>("target"); QTest::addColumn<QString>("note"); QTest::addColumn<int>("page");
        const QVariantMap scale{ { "Scale", true }, { "ScaleW", 1280 }, { "ScaleH", 720 } };
        QTest::newRow("nothing on") << QVariantMap() << int(KRVAVCodecID_MP4) << QString() << 0;
        QTest::newRow("watermarks without text or file, transform without a part")
            << QVariantMap{ { "WTEnable", true }, { "WIEnable", true }, { "Transform", true }, { "HFlip", false } } << int(KRVAVCodecID_MP4) << QString() << 0;
        QTest::newRow("scaling on a scalable target") << scale << int(KRVAVCodecID_MP4) << "Effects: scale to 1280x720" << -1;
        QTest::newRow("scaling on a target that takes none") << scale << int(KRVAVCodecID_MP3) << QString() << 0;
        QTest::newRow("rotate 270 and flips after scaling") << QVariantMap{ { "Scale", true }, { "Transform", true }, { "Rotate", true }, { "RotateDegree", 2 }, { "HFlip", true }, { "VFlip", true } }
                                                         << int(KRVAVCodecID_MP4) << "Effects: scale to 768x576, rotate 270\u00b0, horizontal flip, vertical flip" << 3;
        QTest::newRow("flips without transform") << QVariantMap{ { "HFlip", true }, { "VFlip", true }, { "Rotate", true } } << int(KRVAVCodecID_MP4) << QString() << 0;
        QTest::newRow("text watermark first") << QVariantMap{ { "WTEnable", true }, { "WTContent", "mark" }, { "Transform", true }, { "VFlip", true } } << int(KRVAVCodecID_MP4)
                                             << "Effects: text watermark, vertical flip" << 1;
        QTest::newRow("image watermark first") << QVariantMap{ { "WIEnable", true }, { "WIFile", "/logo.png" }, { "Transform", true }, { "Rotate", true }, { "RotateDegree", 1 } }
                                              << int(KRVAVCodecID_MP4) << "Effects: image watermark, rotate 180\u00b0" << 2;
        QTest::newRow("everything") << QVariantMap{ { "ClrEnable", true }, { "WTEnable", true }, { "WTContent", "mark" }, { "WIEnable", true }, { "WIFile", "/logo.png" }, { "Transform", true }, { "Rotate", true } }
                                    << int(KRVAVCodecID_AVI) << "Effects: color adjustment, text watermark, image watermark, rotate 90\u00b0" << 0;
    }

    void effectsNote()
    {
        QFETCH(QVariantMap, stored); QFETCH(int, target);
        ConvertSettings record;
        Load(record, stored);
        QTEST(EffectsNote(record, KRVAVCodecID(target)), "note");
        QTEST(EffectsNotePage(record, KRVAVCodecID(target)), "page");
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
