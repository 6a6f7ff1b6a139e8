#include "testsupport.h"

#include "convert/convertsettings.h"
#include "dialogs/effectsnote.h"
#include "dialogs/scaledlg.h"
#include "dialogs/settingsdlg.h"
#include "dialogs/threegp2dlg.h"
#include "dialogs/threegpdlg.h"

using TestSupport::Find;

// Controls changed in this order: a button is clicked, a slider or spin box takes an int,
// a text is typed into a line edit or an editable combo, a list or font combo selects it.
using Edits = QVector<QPair<QString, QVariant>>;
Q_DECLARE_METATYPE(Edits)

// The store's keys without their group (the record's unless one is named); "ThreeGP" goes to
// the record only, as no store keeps it.
static void Load(ConvertSettings &record, const QVariantMap &stored)
{
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        QSettings("Korvent", "Reelway").setValue(it.key().contains('/') ? it.key() : "CSettings/" + it.key(), *it);
    record.Load();
    record.threeGPSize = stored.value("ThreeGP", 3).toInt();
}

// The record's fields and the dialogs' options in the store.
static QVariantMap State(const ConvertSettings &record)
{
    QVariantMap state = TestSupport::Fields(record);
    QSettings store("Korvent", "Reelway");
    for (const QString &key : store.allKeys().filter(QRegularExpression("^Settings/")))
        state.insert(key, store.value(key));
    return state;
}

static std::unique_ptr<QDialog> Make(const QString &kind, ConvertSettings *record)
{
    if (kind == "scale")
        return std::make_unique<ScaleDlg>(record, nullptr);
    if (kind == "3gp2")
        return std::make_unique<ThreeGP2Dlg>(record, nullptr);
    if (kind == "3gp")
        return std::make_unique<ThreeGPDlg>(record, nullptr);
    return std::make_unique<SettingsDlg>(nullptr, record);
}

static void Apply(QDialog *dlg, const Edits &edits)
{
    for (const auto &edit : edits) {
        QWidget *w = Find(dlg, edit.first);
        auto *combo = qobject_cast<QComboBox *>(w);
        QLineEdit *line = combo && !qobject_cast<QFontComboBox *>(w) ? combo->lineEdit() : qobject_cast<QLineEdit *>(w);
        if (auto *button = qobject_cast<QAbstractButton *>(w))
            button->click();
        else if (line && line->isEnabled())
            line->clear(), QTest::keyClicks(line, edit.second.toString());
        else
            w->setProperty(combo ? "currentText" : line ? "text" : "value", edit.second);
    }
}

static void CheckShown(QDialog *dlg, const QVariantMap &shown)
{
    for (auto it = shown.cbegin(); it != shown.cend(); ++it) {
        QWidget *w = Find(dlg, it.key());
        QCOMPARE(it.key() + ": " + w->property(qobject_cast<QComboBox *>(w) ? "currentText" : "text").toString(), it.key() + ": " + it->toString());
    }
}

// Clicks OK and answers the title and text of the warning box it raised, if any.
static QStringList ClickOk(QDialog &dlg)
{
    QStringList seen;
    TestSupport::ModalCloser<QMessageBox> closer([&seen](QMessageBox *box) { seen << box->windowTitle() << box->text(); box->done(QMessageBox::Ok); });
    Find<QAbstractButton>(&dlg, "okButton")->click();
    return seen;
}

// The format dialogs (scale, 3GP2, 3GP) and the effects dialog.
class TestDialogs : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;
    const QVariantMap keep{ { "Scale", true }, { "ScaleKA", true } }, keep169{ { "Scale", true }, { "ScaleKA", true }, { "ScaleA", 1 } };
    const QVariantMap marked{ { "WTEnable", true }, { "WTContent", "mark" }, { "WTCR", 10 }, { "WTCG", 20 }, { "WTCB", 30 } };
    const QStringList odd{ "Format Settings", "Scale width or height must be even number!" };

    static void AddEditColumns()
    {
        QTest::addColumn<QString>("kind"); QTest::addColumn<QVariantMap>("stored"); QTest::addColumn<Edits>("edits"); QTest::addColumn<QVariantMap>("shown");
    }

private slots:
    void init() { TestSupport::ClearSettings(); }

    // Which of the watched controls are enabled after the stored settings load and the buttons are clicked.
    void enabling_data()
    {
        QTest::addColumn<QString>("kind"); QTest::addColumn<QVariantMap>("stored"); QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QStringList>("watched"); QTest::addColumn<QStringList>("enabled");
        const QStringList sizes{ "keepAspectCheck", "widthLabel", "widthSpin", "heightLabel", "heightSpin" }, scale = sizes + QStringList{ "aspectCombo" };
        QTest::newRow("scale: first run, only Scale") << "scale" << QVariantMap() << QStringList() << scale << QStringList();
        QTest::newRow("scale: Scale turns on the sizes") << "scale" << QVariantMap() << QStringList{ "scaleCheck" } << scale << sizes;
        QTest::newRow("scale: Keep Aspect turns on the ratio") << "scale" << QVariantMap() << QStringList{ "scaleCheck", "keepAspectCheck" } << scale << scale;
        QTest::newRow("scale: Keep Aspect off again") << "scale" << keep << QStringList{ "keepAspectCheck" } << scale << sizes;
        QTest::newRow("scale: Scale off turns off all") << "scale" << keep << QStringList{ "scaleCheck" } << scale << QStringList();
        QTest::newRow("scale: enabled as stored") << "scale" << keep << QStringList() << scale << scale;
        const QStringList color{ "brightnessSlider", "contrastSlider", "saturationSlider", "gammaSlider", "brightnessLabel", "gammaValueLabel" };
        QTest::newRow("color off") << "effects" << QVariantMap() << QStringList() << color << QStringList();
        QTest::newRow("color on") << "effects" << QVariantMap() << QStringList{ "clrEnableCheck" } << color << color;
        QTest::newRow("color off again") << "effects" << QVariantMap{ { "ClrEnable", true } } << QStringList{ "clrEnableCheck" } << color << QStringList();
        const QStringList text{ "wtContentEdit", "wtFontNameCombo", "wtFontSizeCombo", "wtBoldButton", "wtColorButton", "wtOpacitySlider", "wtNormalAlignRadio", "wtCustomAlignRadio", "wtAlignCombo" };
        QTest::newRow("text on, offsets stay off") << "effects" << QVariantMap() << QStringList{ "wtEnableCheck" } << text + QStringList{ "wtXOffsetSpin" } << text;
        QTest::newRow("text off again") << "effects" << marked << QStringList{ "wtEnableCheck" } << text << QStringList();
        // Only "Browse..." sets the image path.
        const QStringList image{ "wiBrowseButton", "wiScaleSlider", "wiFileEdit", "wiXOffsetSpin" };
        QTest::newRow("image on, its path stays read-only") << "effects" << QVariantMap() << QStringList{ "wiEnableCheck" } << image << QStringList{ "wiBrowseButton", "wiScaleSlider" };
        QTest::newRow("image off again") << "effects" << QVariantMap{ { "WIEnable", true } } << QStringList{ "wiEnableCheck" } << image << QStringList();
        const QStringList transform{ "rotateCheck", "hFlipCheck", "vFlipCheck", "rotateCombo" };
        QTest::newRow("transform on, degrees wait for Rotate") << "effects" << QVariantMap() << QStringList{ "transformEnableCheck" } << transform << QStringList(transform.mid(0, 3));
        QTest::newRow("transform and Rotate on") << "effects" << QVariantMap() << QStringList{ "transformEnableCheck", "rotateCheck" } << transform << transform;
        QTest::newRow("transform off and on keeps Rotate") << "effects" << QVariantMap() << QStringList{ "transformEnableCheck", "rotateCheck", "transformEnableCheck", "transformEnableCheck" } << transform << transform;
        QTest::newRow("transform off") << "effects" << QVariantMap{ { "Transform", true }, { "Rotate", true } } << QStringList{ "transformEnableCheck" } << transform << QStringList();
        QTest::newRow("pages enabled as stored") << "effects" << QVariantMap{ { "WIEnable", true }, { "WICAlign", true }, { "Transform", true }, { "Rotate", true } } << QStringList()
                                                 << QStringList{ "wtXOffsetSpin", "wiAlignCombo", "wiXOffsetSpin", "rotateCombo" } << QStringList{ "wiXOffsetSpin", "rotateCombo" };
        for (const QString p : { "wt", "wi" }) {
            const QStringList align{ p + "AlignCombo" }, custom{ p + "XOffsetLabel", p + "XOffsetSpin", p + "XPercentLabel", p + "YOffsetLabel", p + "YOffsetSpin", p + "YPercentLabel" };
            const QString on = p + "EnableCheck";
            QTest::newRow(qPrintable(p + ": normal alignment")) << "effects" << QVariantMap() << QStringList{ on } << align + custom << align;
            QTest::newRow(qPrintable(p + ": custom alignment")) << "effects" << QVariantMap() << QStringList{ on, p + "CustomAlignRadio" } << align + custom << custom;
            QTest::newRow(qPrintable(p + ": normal alignment again")) << "effects" << QVariantMap() << QStringList{ on, p + "CustomAlignRadio", p + "NormalAlignRadio" } << align + custom << align;
            QTest::newRow(qPrintable(p + ": off turns off the offsets")) << "effects" << QVariantMap() << QStringList{ on, p + "CustomAlignRadio", on } << align + custom << QStringList();
            // Switching a page off and on again keeps to the checked radio.
            QTest::newRow(qPrintable(p + ": on again, custom still")) << "effects" << QVariantMap() << QStringList{ on, p + "CustomAlignRadio", on, on } << align + custom << custom;
        }
    }

    void enabling()
    {
        QFETCH(QString, kind); QFETCH(QVariantMap, stored); QFETCH(QStringList, clicks); QFETCH(QStringList, watched); QFETCH(QStringList, enabled);
        ConvertSettings record;
        Load(record, stored);
        const auto dlg = Make(kind, &record);
        dlg->show();
        for (const QString &name : clicks)
            Find<QAbstractButton>(dlg.get(), name)->click();
        QStringList on;
        for (const QString &name : watched)
            if (Find(dlg.get(), name)->isEnabled())
                on << name;
        QCOMPARE(on, enabled);
    }

    // OK warns and keeps the dialog open, or Cancel or the close button leave it: the record and the store stay as they were.
    void validation_data()
    {
        AddEditColumns(); QTest::addColumn<QString>("leave"); QTest::addColumn<QStringList>("warning");
        // The recomputed box stays silent: were it to feed back, the edited box would change too.
        QTest::newRow("scale: 4:3 width 770 drops the fraction to an odd height") << "scale" << keep << Edits{ { "widthSpin", 770 } } << QVariantMap{ { "heightSpin", 577 }, { "widthSpin", 770 } } << "ok" << odd;
        QTest::newRow("scale: width 1 clamps the height at 1") << "scale" << keep << Edits{ { "widthSpin", 1 } } << QVariantMap{ { "heightSpin", 1 } } << "ok" << odd;
        QTest::newRow("scale: 16:9 height 100 drops the fraction to an odd width") << "scale" << keep169 << Edits{ { "heightSpin", 100 } } << QVariantMap{ { "widthSpin", 177 }, { "heightSpin", 100 } } << "ok" << odd;
        QTest::newRow("scale: Keep Aspect on recomputes the height of width 770") << "scale" << QVariantMap{ { "Scale", true }, { "ScaleW", 770 } } << Edits{ { "keepAspectCheck", {} } } << QVariantMap{ { "heightSpin", 577 } } << "ok" << odd;
        QTest::newRow("scale: a stored odd width blocks OK, scaling off") << "scale" << QVariantMap{ { "ScaleW", 767 } } << Edits() << QVariantMap() << "ok" << odd;
        QTest::newRow("scale: Cancel") << "scale" << QVariantMap() << Edits{ { "scaleCheck", {} }, { "widthSpin", 1000 } } << QVariantMap() << "cancelButton" << QStringList();
        QTest::newRow("3gp: close button") << "3gp" << QVariantMap() << Edits{ { "videoSizeCombo", "128x96" } } << QVariantMap() << "close" << QStringList();
        QTest::newRow("3gp2: Cancel") << "3gp2" << QVariantMap() << Edits{ { "videoSizeCombo", "128x96" } } << QVariantMap() << "cancelButton" << QStringList();
        // The warnings come in this order, and the options wait for OK too.
        const Edits all{ { "noConvertResultsCheck", {} }, { "noCrashReportCheck", {} }, { "clrEnableCheck", {} }, { "wtEnableCheck", {} }, { "wiEnableCheck", {} }, { "transformEnableCheck", {} } };
        const Edits text = all + Edits{ { "wtContentEdit", " " } }, image = text + Edits{ { "wiFileEdit", "/nowhere/logo.png" } };
        QTest::newRow("effects: no text") << "effects" << QVariantMap() << all << QVariantMap() << "ok" << QStringList{ "Watermark Text", "Watermmark text is empty!" };
        QTest::newRow("effects: no image") << "effects" << QVariantMap() << text << QVariantMap() << "ok" << QStringList{ "Watermark Image", "Watermmark image is empty!" };
        QTest::newRow("effects: no transform") << "effects" << QVariantMap() << image << QVariantMap() << "ok" << QStringList{ "Transform", "No transform is set!" };
        QTest::newRow("effects: Cancel") << "effects" << QVariantMap() << image + Edits{ { "hFlipCheck", {} }, { "gammaSlider", 30 }, { "wtContentEdit", "mark" } } << QVariantMap() << "cancelButton" << QStringList();
    }

    void validation()
    {
        QFETCH(QString, kind); QFETCH(QVariantMap, stored); QFETCH(Edits, edits); QFETCH(QVariantMap, shown); QFETCH(QString, leave); QFETCH(QStringList, warning);
        ConvertSettings record;
        Load(record, stored);
        const QVariantMap before = State(record);
        const auto dlg = Make(kind, &record);
        dlg->show();
        Apply(dlg.get(), edits);
        CheckShown(dlg.get(), shown);
        if (leave == "ok")
            QCOMPARE(ClickOk(*dlg), warning);
        else
            leave == "close" ? void(dlg->close()) : Find<QAbstractButton>(dlg.get(), leave)->click();
        QCOMPARE(dlg->isVisible(), leave == "ok");
        QCOMPARE(dlg->result(), int(QDialog::Rejected));
        QCOMPARE(State(record), before);
    }

    // OK writes exactly the `saved` fields (and the effects dialog both options); opened again, it saves the same.
    void saving_data()
    {
        AddEditColumns(); QTest::addColumn<QVariantMap>("saved");
        QTest::newRow("scale: 16:9 loaded as stored, the height not recomputed") << "scale" << QVariantMap{ { "Scale", true }, { "ScaleKA", true }, { "ScaleA", 1 }, { "ScaleW", 1000 } } << Edits() << QVariantMap{ { "aspectCombo", "16:9" }, { "heightSpin", 576 } } << QVariantMap();
        QTest::newRow("scale: 16:9 height 50000 clamps the width") << "scale" << keep169 << Edits{ { "heightSpin", 50000 } } << QVariantMap{ { "widthSpin", 50000 } } << QVariantMap{ { "scaleW", 50000 }, { "scaleH", 50000 } };
        QTest::newRow("scale: Keep Aspect off, the width alone") << "scale" << QVariantMap{ { "Scale", true } } << Edits{ { "widthSpin", 1024 } } << QVariantMap{ { "heightSpin", 576 } } << QVariantMap{ { "scaleW", 1024 } };
        QTest::newRow("scale: stored Auto and out of range, nothing recomputed")
            << "scale" << QVariantMap{ { "Scale", true }, { "ScaleKA", true }, { "ScaleA", 2 }, { "ScaleW", 60000 }, { "ScaleH", -4 } } << Edits{ { "heightSpin", 2000 }, { "widthSpin", 4000 } }
            << QVariantMap{ { "aspectCombo", "" }, { "widthSpin", 4000 }, { "heightSpin", 2000 } } << QVariantMap{ { "scaleA", -1 }, { "scaleW", 4000 }, { "scaleH", 2000 } };
        QTest::newRow("scale: Keep Aspect, 16:9, width 1280") << "scale" << QVariantMap{ { "Scale", true }, { "ScaleW", 770 } } << Edits{ { "keepAspectCheck", {} }, { "aspectCombo", "16:9" }, { "widthSpin", 1280 } }
                                                              << QVariantMap{ { "heightSpin", 720 } } << QVariantMap{ { "scaleKA", true }, { "scaleA", 1 }, { "scaleW", 1280 }, { "scaleH", 720 } };
        QTest::newRow("scale: 16:9 height 720 sets width 1280") << "scale" << keep169 << Edits{ { "heightSpin", 720 } } << QVariantMap{ { "widthSpin", 1280 } } << QVariantMap{ { "scaleW", 1280 }, { "scaleH", 720 } };
        QTest::newRow("3gp: opens at the fourth, first picked") << "3gp" << QVariantMap() << Edits{ { "videoSizeCombo", "128x96" } } << QVariantMap() << QVariantMap{ { "threeGPSize", 0 } };
        QTest::newRow("3gp: past the list shows none") << "3gp" << QVariantMap{ { "ThreeGP", 5 } } << Edits() << QVariantMap{ { "videoSizeCombo", "" } } << QVariantMap{ { "threeGPSize", 0 } };
        QTest::newRow("3gp2: the second shown, last picked") << "3gp2" << QVariantMap{ { "ThreeGP", 1 } } << Edits{ { "videoSizeCombo", "1408x1152" } } << QVariantMap() << QVariantMap{ { "threeGPSize", 4 } };
        QTest::newRow("3gp2: below the list, one picked") << "3gp2" << QVariantMap{ { "ThreeGP", -1 } } << Edits{ { "videoSizeCombo", "352x288" } } << QVariantMap() << QVariantMap{ { "threeGPSize", 2 } };
        const Edits image{ { "noConvertResultsCheck", {} }, { "noCrashReportCheck", {} }, { "clrEnableCheck", {} }, { "wtEnableCheck", {} }, { "wtContentEdit", " " },
                           { "wiEnableCheck", {} }, { "wiFileEdit", "/nowhere/logo.png" }, { "transformEnableCheck", {} } };
        for (const char *check : { "hFlip", "vFlip", "rotate" })
            QTest::newRow(qPrintable(QString("effects: every page on, ") + check)) << "effects" << QVariantMap() << image + Edits{ { QString(check) + "Check", {} } } << QVariantMap()
                << QVariantMap{ { "clrEnable", true }, { "wtEnable", true }, { "wtContent", " " }, { "wiEnable", true }, { "wiFile", "/nowhere/logo.png" }, { "transform", true }, { check, true },
                                { "Settings/ReportCrash", false }, { "Settings/ReportCResults", false } };
        const QVariantMap off{ { "Settings/ReportCResults", false }, { "Settings/ReportCrash", false } };
        QTest::newRow("effects: both options shown checked") << "effects" << off << Edits() << QVariantMap() << off;
        QTest::newRow("effects: font size 13, not in the list") << "effects" << marked << Edits{ { "wtFontSizeCombo", "13" } } << QVariantMap() << QVariantMap{ { "wtFontSize", 13.0 } };
        QTest::newRow("effects: font size letters refused, empty saves 0") << "effects" << marked << Edits{ { "wtFontSizeCombo", "ab" } } << QVariantMap{ { "wtFontSizeCombo", "" } } << QVariantMap{ { "wtFontSize", 0.0 } };
        QTest::newRow("effects: font size 1000 cut at 100") << "effects" << marked << Edits{ { "wtFontSizeCombo", "1000" } } << QVariantMap() << QVariantMap{ { "wtFontSize", 100.0 } };
        QTest::newRow("effects: stored values beyond the controls")
            << "effects" << QVariantMap{ { "WTOpc", 0 }, { "ClrB", 1e300 }, { "ClrC", -1e300 }, { "ClrG", qQNaN() }, { "WTAlign", 9 }, { "RotateDegree", -1 }, { "WTFontSize", 12.5 } } << Edits()
            << QVariantMap{ { "wtOpacityValueLabel", 1 }, { "brightnessValueLabel", 1 }, { "contrastValueLabel", -2 }, { "gammaValueLabel", 0.1 }, { "wtAlignCombo", "" }, { "rotateCombo", "" }, { "wtFontSizeCombo", 12.5 } }
            << QVariantMap{ { "wtOpc", 1 }, { "clrB", 1.0 }, { "clrC", -2.0 }, { "clrG", 0.1 }, { "wtAlign", -1 } };
        // A real family rather than an alias such as "Serif", which the combo resolves when reopened.
        QFontComboBox fonts;
        QString family;
        for (int i = fonts.count() - 1; i >= 0 && family.isEmpty(); --i)
            family = fonts.itemText(i) != QApplication::font().family() && QFontInfo(QFont(fonts.itemText(i))).family() == fonts.itemText(i) ? fonts.itemText(i) : QString();
        // The text page is switched off again at the end: its values are still saved. The sliders' positions give
        // values whose value / 0.1 falls just below the integer, or below zero.
        QTest::newRow("effects: every field")
            << "effects" << QVariantMap()
            << Edits{ { "clrEnableCheck", {} }, { "wtEnableCheck", {} }, { "wtItalicButton", {} }, { "wtUnderlineButton", {} }, { "wtCustomAlignRadio", {} }, { "wiEnableCheck", {} },
                      { "wiCustomAlignRadio", {} }, { "transformEnableCheck", {} }, { "rotateCheck", {} }, { "hFlipCheck", {} }, { "brightnessSlider", -3 }, { "contrastSlider", -20 },
                      { "saturationSlider", 29 }, { "gammaSlider", 43 }, { "wtOpacitySlider", 40 }, { "wiScaleSlider", 250 }, { "wtXOffsetSpin", 12 }, { "wtYOffsetSpin", 88 },
                      { "wiYOffsetSpin", 7 }, { "wtFontSizeCombo", "12" }, { "wtAlignCombo", "Bottom Right" }, { "wiAlignCombo", "Center" }, { "rotateCombo", "Clockwise 270 degree" },
                      { "wtContentEdit", "Reelway ©" }, { "wtFontNameCombo", family }, { "wtEnableCheck", {} }, { "wiFileEdit", "/pics/logo.png" } }
            << QVariantMap{ { "wiScaleValueLabel", "250%" }, { "brightnessValueLabel", -0.3 }, { "contrastValueLabel", -2 }, { "saturationValueLabel", 2.9 }, { "gammaValueLabel", 4.3 } }
            << QVariantMap{ { "clrEnable", true }, { "clrB", -3 * 0.1 }, { "clrC", -20 * 0.1 }, { "clrS", 29 * 0.1 }, { "clrG", 43 * 0.1 }, { "wtContent", "Reelway ©" }, { "wtFontName", family },
                            { "wtFontSize", 12.0 }, { "wtFontI", true }, { "wtFontU", true }, { "wtOpc", 40 }, { "wtCAlign", true }, { "wtAlign", 3 }, { "wtCAlignX", 12 },
                            { "wtCAlignY", 88 }, { "wiEnable", true }, { "wiFile", "/pics/logo.png" }, { "wiScale", 250 }, { "wiCAlign", true }, { "wiAlign", 4 }, { "wiCAlignY", 7 },
                            { "transform", true }, { "rotate", true }, { "rotateDegree", 2 }, { "hFlip", true } };
    }

    void saving()
    {
        QFETCH(QString, kind); QFETCH(QVariantMap, stored); QFETCH(Edits, edits); QFETCH(QVariantMap, shown); QFETCH(QVariantMap, saved);
        ConvertSettings record;
        Load(record, stored);
        QVariantMap expected = State(record);
        if (kind == "effects")
            expected.insert({ { "Settings/ReportCrash", true }, { "Settings/ReportCResults", true } });
        expected.insert(saved);
        for (int opening = 0; opening < 2; ++opening) {
            const auto dlg = Make(kind, &record);
            dlg->show();
            Apply(dlg.get(), opening ? Edits() : edits);
            if (!opening)
                CheckShown(dlg.get(), shown);
            QCOMPARE(ClickOk(*dlg), QStringList());
            QCOMPARE(dlg->result(), int(QDialog::Accepted));
            QCOMPARE(State(record), expected);
        }
    }

    // A picker opens with its title and start, and only its confirmed answer is saved.
    void pickers_data()
    {
        QTest::addColumn<QVariantMap>("stored"); QTest::addColumn<QString>("button"); QTest::addColumn<QString>("opened");
        QTest::addColumn<QString>("answer"); QTest::addColumn<bool>("confirm"); QTest::addColumn<QVariantMap>("saved");
        // The colour picker opens at black whatever the current colour.
        QTest::newRow("text colour picked") << marked << "wtColorButton" << "Select Text Color|#000000" << "#ff8000" << true << QVariantMap{ { "wtCR", 255 }, { "wtCG", 128 }, { "wtCB", 0 } };
        QTest::newRow("text colour cancelled") << marked << "wtColorButton" << "Select Text Color|#000000" << "#0000ff" << false << QVariantMap();
        // Each time, the image picker starts in the pictures folder.
        const QString pictures = fixture.path("Pictures"), file = pictures + "/new logo.png";
        QVERIFY(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation) == pictures && TestSupport::WriteBytes(file, "x"));
        const QString browse = "Select Watermark Image|" + pictures + "|Image Files (*." + QString::fromLatin1(QImageReader::supportedImageFormats().join(" *.")) + ")";
        const QVariantMap image{ { "WIEnable", true }, { "WIFile", "/old.png" } };
        QTest::newRow("image picked") << image << "wiBrowseButton" << browse << file << true << QVariantMap{ { "wiFile", file } };
        QTest::newRow("image cancelled") << image << "wiBrowseButton" << browse << pictures + "/other.png" << false << QVariantMap();
    }

    void pickers()
    {
        QFETCH(QVariantMap, stored); QFETCH(QString, button); QFETCH(QString, opened); QFETCH(QString, answer); QFETCH(bool, confirm); QFETCH(QVariantMap, saved);
        ConvertSettings record;
        Load(record, stored);
        QVariantMap expected = State(record);
        expected.insert({ { "Settings/ReportCrash", true }, { "Settings/ReportCResults", true } });
        expected.insert(saved);
        SettingsDlg dlg(nullptr, &record);
        dlg.show();
        QString seen;
        {
            TestSupport::DialogCloser<QDialog> closer([&](QDialog *picker) {
                auto *colors = qobject_cast<QColorDialog *>(picker);
                auto *files = qobject_cast<QFileDialog *>(picker);
                seen = picker->windowTitle() + '|' + (colors ? colors->currentColor().name() : files->directory().absolutePath() + '|' + files->nameFilters().join('|'));
                // Typed rather than selected: the file picker lists its folder in the background.
                colors ? colors->setCurrentColor(QColor(answer)) : Find<QLineEdit>(picker, "fileNameEdit")->setText(answer);
                picker->done(confirm ? QDialog::Accepted : QDialog::Rejected);
            }, [](QDialog *d) { return qobject_cast<QColorDialog *>(d) || qobject_cast<QFileDialog *>(d); });
            Find<QAbstractButton>(&dlg, button)->click();
        }
        QCOMPARE(seen, opened);
        QCOMPARE(ClickOk(dlg), QStringList());
        QCOMPARE(State(record), expected);
    }

    // At a large font (as at 144 DPI) every dialog grows so that no control is cut short of its text.
    void fitsLargeFont_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char *kind : { "scale", "3gp", "3gp2", "effects" })
            QTest::newRow(kind) << kind;
    }

    void fitsLargeFont()
    {
        QFETCH(QString, kind);
        const QFont normal = QApplication::font();
        QFont large = normal;
        large.setPointSizeF(normal.pointSizeF() * 1.5);
        QApplication::setFont(large);
        const auto restore = qScopeGuard([normal] { QApplication::setFont(normal); });
        ConvertSettings record;
        const auto dlg = Make(kind, &record);
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        for (QWidget *w : dlg->findChildren<QWidget *>()) {
            const bool texts = qobject_cast<QLabel *>(w) || qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w) || qobject_cast<QAbstractSpinBox *>(w);
            if (texts && w->isVisible())
                QVERIFY2(w->width() >= w->sizeHint().width() && w->height() >= w->sizeHint().height(), qPrintable(w->objectName() + ' ' + w->property("text").toString()));
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
