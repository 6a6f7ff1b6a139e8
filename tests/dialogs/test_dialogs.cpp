#include "testsupport.h"

#include "convert/convertsettings.h"
#include "dialogs/effectsnote.h"
#include "dialogs/scaledlg.h"
#include "dialogs/settingsdlg.h"
#include "dialogs/threegp2dlg.h"
#include "dialogs/threegpdlg.h"

using TestSupport::Find;

// Control names with the value each is set to, in order.
using Edits = QVector<QPair<QString, QVariant>>;
Q_DECLARE_METATYPE(Edits)

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

static QStringList Lines(const QVariantMap &map)
{
    QStringList lines;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        lines << it.key() + '=' + it->toString();
    return lines;
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
    ConvertSettings record;
    QVariantMap loaded;
    std::unique_ptr<QDialog> dlg;

    // Opens a `kind` dialog on a record loaded from `stored`, then sets each control as a user would: a check box,
    // radio or tool button by clicking it until it is checked as given, an enabled text field by typing (one that
    // is not, directly), a list by the entry's text, a slider or spin box by its value.
    void Open(const QString &kind, const QVariantMap &stored, const Edits &edits)
    {
        Load(record, stored);
        loaded = State(record);
        dlg.reset(Make(kind, &record));
        dlg->show();
        for (const auto &edit : edits) {
            QWidget *w = Find(dlg.get(), edit.first);
            auto *combo = qobject_cast<QComboBox *>(w);
            QLineEdit *line = combo ? combo->lineEdit() : qobject_cast<QLineEdit *>(w);
            if (auto *button = qobject_cast<QAbstractButton *>(w))
                button->isChecked() == edit.second.toBool() ? void() : button->click();
            else if (line)
                line->isEnabled() ? (line->clear(), QTest::keyClicks(line, edit.second.toString())) : line->setText(edit.second.toString());
            else
                w->setProperty(combo ? "currentText" : "value", edit.second);
        }
    }

    // What the named controls show, as "name=text" lines.
    QStringList Showing(const QStringList &names) const
    {
        QVariantMap shown;
        for (const QString &name : names)
            shown.insert(name, Find(dlg.get(), name)->property(qobject_cast<QComboBox *>(Find(dlg.get(), name)) ? "currentText" : "text"));
        return Lines(shown);
    }

    // Leaves by `button` ("close": the close button). Only OK saves, writing `saved` over the loaded record and
    // store (and both options, from the effects dialog); the dialog opened again saves the same.
    void Leave(const QString &kind, const QString &button, const QVariantMap &saved)
    {
        const bool ok = button == "okButton";
        QVariantMap expected = loaded;
        if (kind == "effects" && ok)
            expected.insert({ { "Settings/ReportCrash", true }, { "Settings/ReportCResults", true } });
        expected.insert(saved);
        if (ok)
            QVERIFY(ClickOk(*dlg).isEmpty());
        button == "close" ? void(dlg->close()) : ok ? void() : Click(dlg.get(), button);
        QCOMPARE(QPoint(dlg->isVisible(), dlg->result() == QDialog::Accepted), QPoint(false, ok));
        QCOMPARE(Lines(State(record)), Lines(expected));
        if (ok) {
            dlg.reset(Make(kind, &record));
            QVERIFY(ClickOk(*dlg).isEmpty());
            QCOMPARE(Lines(State(record)), Lines(expected));
        }
    }

private slots:
    void init()
    {
        TestSupport::ClearSettings();
        dlg.reset();
        record = ConvertSettings();
    }

    void enabling_data()
    {
        QTest::addColumn<QString>("kind"); QTest::addColumn<QVariantMap>("stored"); QTest::addColumn<Edits>("edits"); QTest::addColumn<QString>("enabled"); QTest::addColumn<QString>("disabled");
        const QString sizes = "keepAspectCheck widthSpin heightSpin widthLabel heightLabel";
        const QVariantMap keep{ { "Scale", true }, { "ScaleKA", true } };
        QTest::newRow("scale: off") << "scale" << QVariantMap() << Edits() << "" << sizes + " aspectCombo";
        QTest::newRow("scale: on") << "scale" << QVariantMap() << Edits{ { "scaleCheck", true } } << sizes << "aspectCombo";
        QTest::newRow("scale: keep aspect on") << "scale" << QVariantMap() << Edits{ { "scaleCheck", true }, { "keepAspectCheck", true } } << sizes + " aspectCombo" << "";
        QTest::newRow("scale: keep aspect off again") << "scale" << keep << Edits{ { "keepAspectCheck", false } } << sizes << "aspectCombo";
        QTest::newRow("scale: off, keep aspect on") << "scale" << keep << Edits{ { "scaleCheck", false } } << "" << sizes + " aspectCombo";
        QTest::newRow("scale: enabled as stored") << "scale" << keep << Edits() << sizes + " aspectCombo" << "";
        const QString colors = "brightnessSlider contrastSlider saturationSlider gammaSlider brightnessLabel gammaValueLabel";
        QTest::newRow("color: off") << "effects" << QVariantMap() << Edits() << "" << colors;
        QTest::newRow("color: on") << "effects" << QVariantMap() << Edits{ { "clrEnableCheck", true } } << colors << "";
        QTest::newRow("color: off again") << "effects" << QVariantMap{ { "ClrEnable", true } } << Edits{ { "clrEnableCheck", false } } << "" << colors;
        const QString text = "wtContentEdit wtFontNameCombo wtFontSizeCombo wtBoldButton wtColorButton wtOpacitySlider wtNormalAlignRadio wtCustomAlignRadio wtAlignCombo";
        QTest::newRow("text: off") << "effects" << QVariantMap() << Edits() << "" << text + " wtXOffsetSpin";
        QTest::newRow("text: on") << "effects" << QVariantMap() << Edits{ { "wtEnableCheck", true } } << text << "wtXOffsetSpin";
        QTest::newRow("text: off again") << "effects" << QVariantMap{ { "WTEnable", true } } << Edits{ { "wtEnableCheck", false } } << "" << text + " wtXOffsetSpin";
        // Only "Browse..." sets the image path.
        QTest::newRow("image: off") << "effects" << QVariantMap() << Edits() << "" << "wiBrowseButton wiScaleSlider wiFileEdit wiXOffsetSpin";
        QTest::newRow("image: on") << "effects" << QVariantMap() << Edits{ { "wiEnableCheck", true } } << "wiBrowseButton wiScaleSlider" << "wiFileEdit wiXOffsetSpin";
        QTest::newRow("image: off again") << "effects" << QVariantMap{ { "WIEnable", true } } << Edits{ { "wiEnableCheck", false } } << "" << "wiBrowseButton wiScaleSlider wiFileEdit";
        const QString transform = "rotateCheck hFlipCheck vFlipCheck";
        QTest::newRow("transform: off") << "effects" << QVariantMap() << Edits() << "" << transform + " rotateCombo";
        QTest::newRow("transform: on") << "effects" << QVariantMap() << Edits{ { "transformEnableCheck", true } } << transform << "rotateCombo";
        QTest::newRow("transform: rotate") << "effects" << QVariantMap() << Edits{ { "transformEnableCheck", true }, { "rotateCheck", true } } << transform + " rotateCombo" << "";
        const QVariantMap rotating{ { "Transform", true }, { "Rotate", true } };
        QTest::newRow("transform: off, rotating") << "effects" << rotating << Edits{ { "transformEnableCheck", false } } << "" << transform + " rotateCombo";
        QTest::newRow("transform: off and on, rotating") << "effects" << rotating << Edits{ { "transformEnableCheck", false }, { "transformEnableCheck", true } } << transform + " rotateCombo" << "";
        QTest::newRow("pages enabled as stored") << "effects" << QVariantMap{ { "WIEnable", true }, { "WICAlign", true }, { "Transform", true }, { "Rotate", true } } << Edits() << "wiXOffsetSpin rotateCombo" << "wtXOffsetSpin wiAlignCombo";
        // Switching a page off and on again keeps to the checked radio.
        for (const QString p : { "wt", "wi" }) {
            const QString align = p + "AlignCombo", custom = QString("%1XOffsetLabel %1XOffsetSpin %1XPercentLabel %1YOffsetLabel %1YOffsetSpin %1YPercentLabel").arg(p);
            const Edits on{ { p + "EnableCheck", true } }, toCustom = on + Edits{ { p + "CustomAlignRadio", true } };
            QTest::newRow(qPrintable(p + " alignment: page off")) << "effects" << QVariantMap() << Edits() << "" << align + ' ' + custom;
            QTest::newRow(qPrintable(p + " alignment: normal")) << "effects" << QVariantMap() << on << align << custom;
            QTest::newRow(qPrintable(p + " alignment: custom")) << "effects" << QVariantMap() << toCustom << custom << align;
            QTest::newRow(qPrintable(p + " alignment: custom, then normal")) << "effects" << QVariantMap() << toCustom + Edits{ { p + "NormalAlignRadio", true } } << align << custom;
            QTest::newRow(qPrintable(p + " alignment: custom, page off")) << "effects" << QVariantMap() << toCustom + Edits{ { p + "EnableCheck", false } } << "" << align + ' ' + custom;
            QTest::newRow(qPrintable(p + " alignment: custom, page off and on")) << "effects" << QVariantMap() << toCustom + Edits{ { p + "EnableCheck", false } } + on << custom << align;
        }
    }

    void enabling()
    {
        QFETCH(QString, kind); QFETCH(QVariantMap, stored); QFETCH(Edits, edits); QFETCH(QString, enabled); QFETCH(QString, disabled);
        Open(kind, stored, edits);
        QStringList on, off;
        for (const QString &name : (enabled + ' ' + disabled).split(' ', Qt::SkipEmptyParts))
            (Find(dlg.get(), name)->isEnabled() ? on : off) << name;
        QCOMPARE(on.join(' '), enabled);
        QCOMPARE(off.join(' '), disabled);
    }

    // The controls show `shown` after the edits; OK then warns and leaves the record and the store alone.
    void validation_data()
    {
        QTest::addColumn<QString>("kind"); QTest::addColumn<QVariantMap>("stored"); QTest::addColumn<Edits>("edits"); QTest::addColumn<QVariantMap>("shown"); QTest::addColumn<QString>("title"); QTest::addColumn<QString>("text");
        const auto odd = [](const char *name, const QVariantMap &stored, const Edits &edits, const QVariantMap &shown) {
            QTest::newRow(name) << "scale" << stored << edits << shown << "Format Settings" << "Scale width or height must be even number!";
        };
        // The recomputed box stays silent: were it to feed back, the edited box would change too.
        const QVariantMap keep{ { "Scale", true }, { "ScaleKA", true } };
        odd("4:3 width 770 drops the fraction", keep, { { "widthSpin", 770 } }, { { "aspectCombo", "4:3" }, { "widthSpin", 770 }, { "heightSpin", 577 } });
        odd("4:3 width 1 clamps the height", keep, { { "widthSpin", 1 } }, { { "heightSpin", 1 } });
        odd("16:9 height 100 drops the fraction", { { "Scale", true }, { "ScaleKA", true }, { "ScaleA", 1 } }, { { "heightSpin", 100 } }, { { "widthSpin", 177 }, { "heightSpin", 100 } });
        odd("stored Auto, out of range", { { "Scale", true }, { "ScaleKA", true }, { "ScaleA", 2 }, { "ScaleW", 60000 }, { "ScaleH", -4 } }, {}, { { "aspectCombo", "" }, { "widthSpin", 50000 }, { "heightSpin", 1 } });
        odd("keeping aspect recomputes", { { "Scale", true }, { "ScaleW", 770 } }, { { "keepAspectCheck", true } }, { { "heightSpin", 577 } });
        odd("switching aspect recomputes", { { "Scale", true }, { "ScaleKA", true }, { "ScaleW", 770 } }, { { "aspectCombo", "16:9" } }, { { "heightSpin", 433 } });
        odd("stored odd width, scaling off", { { "ScaleW", 767 } }, {}, { { "widthSpin", 767 } });
        // The warnings come in this order, and the options wait for OK too.
        const Edits all{ { "noConvertResultsCheck", true }, { "noCrashReportCheck", true }, { "clrEnableCheck", true }, { "wtEnableCheck", true }, { "wiEnableCheck", true }, { "transformEnableCheck", true } };
        const Edits text = all + Edits{ { "wtContentEdit", " " } }, image = text + Edits{ { "wiFileEdit", "/nowhere/logo.png" } };
        QTest::newRow("no text") << "effects" << QVariantMap() << all << QVariantMap() << "Watermark Text" << "Watermmark text is empty!";
        QTest::newRow("no image") << "effects" << QVariantMap() << text << QVariantMap() << "Watermark Image" << "Watermmark image is empty!";
        QTest::newRow("no transform") << "effects" << QVariantMap() << image << QVariantMap() << "Transform" << "No transform is set!";
    }

    void validation()
    {
        QFETCH(QString, kind); QFETCH(QVariantMap, stored); QFETCH(Edits, edits); QFETCH(QVariantMap, shown); QFETCH(QString, title); QFETCH(QString, text);
        Open(kind, stored, edits);
        QCOMPARE(Showing(shown.keys()), Lines(shown));
        QCOMPARE(ClickOk(*dlg), (QStringList{ title, text }));
        QVERIFY(dlg->isVisible());
        QCOMPARE(Lines(State(record)), Lines(loaded));
    }

    // The controls show `shown` after the edits; leaving by `button` then saves the `saved` fields.
    void saving_data()
    {
        QTest::addColumn<QString>("kind"); QTest::addColumn<QVariantMap>("stored"); QTest::addColumn<Edits>("edits"); QTest::addColumn<QVariantMap>("shown"); QTest::addColumn<QString>("button"); QTest::addColumn<QVariantMap>("saved");
        const QVariantMap keep169{ { "Scale", true }, { "ScaleKA", true }, { "ScaleA", 1 } };
        QTest::newRow("scale: loaded as stored") << "scale" << keep169 << Edits() << QVariantMap{ { "aspectCombo", "16:9" }, { "widthSpin", 768 }, { "heightSpin", 576 } } << "okButton" << QVariantMap();
        QTest::newRow("scale: 16:9 height 50000 clamps the width") << "scale" << keep169 << Edits{ { "heightSpin", 50000 } } << QVariantMap{ { "widthSpin", 50000 } } << "okButton" << QVariantMap{ { "scaleW", 50000 }, { "scaleH", 50000 } };
        QTest::newRow("scale: keep aspect off") << "scale" << QVariantMap{ { "Scale", true } } << Edits{ { "widthSpin", 1024 } } << QVariantMap{ { "heightSpin", 576 } } << "okButton" << QVariantMap{ { "scaleW", 1024 } };
        QTest::newRow("scale: stored Auto keeps the other size") << "scale" << QVariantMap{ { "Scale", true }, { "ScaleKA", true }, { "ScaleA", 2 }, { "ScaleW", 60000 } } << Edits{ { "heightSpin", 2000 }, { "widthSpin", 4000 } } << QVariantMap{ { "heightSpin", 2000 } } << "okButton" << QVariantMap{ { "scaleA", -1 }, { "scaleW", 4000 }, { "scaleH", 2000 } };
        QTest::newRow("scale: keep aspect and 16:9") << "scale" << QVariantMap{ { "Scale", true } } << Edits{ { "keepAspectCheck", true }, { "aspectCombo", "16:9" }, { "widthSpin", 1280 } } << QVariantMap{ { "heightSpin", 720 } } << "okButton" << QVariantMap{ { "scaleKA", true }, { "scaleA", 1 }, { "scaleW", 1280 }, { "scaleH", 720 } };
        QTest::newRow("scale: Cancel") << "scale" << QVariantMap() << Edits{ { "scaleCheck", true }, { "widthSpin", 1024 } } << QVariantMap() << "cancelButton" << QVariantMap();
        QTest::newRow("3gp: fourth, pick first") << "3gp" << QVariantMap() << Edits{ { "videoSizeCombo", "128x96" } } << QVariantMap() << "okButton" << QVariantMap{ { "threeGPSize", 0 } };
        QTest::newRow("3gp: fourth shown") << "3gp" << QVariantMap() << Edits() << QVariantMap{ { "videoSizeCombo", "704x576" } } << "close" << QVariantMap();
        QTest::newRow("3gp: past the list") << "3gp" << QVariantMap{ { "ThreeGP", 5 } } << Edits() << QVariantMap{ { "videoSizeCombo", "" } } << "close" << QVariantMap();
        QTest::newRow("3gp: past the list, pick second") << "3gp" << QVariantMap{ { "ThreeGP", 5 } } << Edits{ { "videoSizeCombo", "176x144" } } << QVariantMap() << "okButton" << QVariantMap{ { "threeGPSize", 1 } };
        QTest::newRow("3gp: close button") << "3gp" << QVariantMap() << Edits{ { "videoSizeCombo", "128x96" } } << QVariantMap() << "close" << QVariantMap();
        QTest::newRow("3gp2: second, pick last") << "3gp2" << QVariantMap{ { "ThreeGP", 1 } } << Edits{ { "videoSizeCombo", "1408x1152" } } << QVariantMap() << "okButton" << QVariantMap{ { "threeGPSize", 4 } };
        QTest::newRow("3gp2: second shown") << "3gp2" << QVariantMap{ { "ThreeGP", 1 } } << Edits() << QVariantMap{ { "videoSizeCombo", "176x144" } } << "cancelButton" << QVariantMap();
        QTest::newRow("3gp2: below the list") << "3gp2" << QVariantMap{ { "ThreeGP", -1 } } << Edits() << QVariantMap{ { "videoSizeCombo", "" } } << "cancelButton" << QVariantMap();
        QTest::newRow("3gp2: below the list, pick third") << "3gp2" << QVariantMap{ { "ThreeGP", -1 } } << Edits{ { "videoSizeCombo", "352x288" } } << QVariantMap() << "okButton" << QVariantMap{ { "threeGPSize", 2 } };
        QTest::newRow("3gp2: Cancel") << "3gp2" << QVariantMap() << Edits{ { "videoSizeCombo", "128x96" } } << QVariantMap() << "cancelButton" << QVariantMap();

        const Edits image{ { "noConvertResultsCheck", true }, { "noCrashReportCheck", true }, { "clrEnableCheck", true }, { "wtEnableCheck", true }, { "wiEnableCheck", true }, { "transformEnableCheck", true }, { "wtContentEdit", " " }, { "wiFileEdit", "/nowhere/logo.png" } };
        for (const char *check : { "hFlip", "vFlip", "rotate" }) {
            QTest::newRow(check) << "effects" << QVariantMap() << image + Edits{ { QString(check) + "Check", true } } << QVariantMap() << "okButton" << QVariantMap{ { "clrEnable", true }, { "wtEnable", true }, { "wtContent", " " }, { "wiEnable", true }, { "wiFile", "/nowhere/logo.png" }, { "transform", true }, { check, true }, { "Settings/ReportCrash", false }, { "Settings/ReportCResults", false } };
        }
        QTest::newRow("effects: Cancel") << "effects" << QVariantMap() << image + Edits{ { "gammaSlider", 30 }, { "wtContentEdit", "mark" } } << QVariantMap() << "cancelButton" << QVariantMap();
        const QVariantMap both{ { "Settings/ReportCResults", false }, { "Settings/ReportCrash", false } };
        QTest::newRow("both do not show again") << "effects" << both << Edits() << QVariantMap() << "okButton" << both;
        const QVariantMap marked{ { "WTEnable", true }, { "WTContent", "mark" } };
        QTest::newRow("font size 13, not in the list") << "effects" << marked << Edits{ { "wtFontSizeCombo", "13" } } << QVariantMap() << "okButton" << QVariantMap{ { "wtFontSize", 13.0 } };
        QTest::newRow("font size: letters are refused, empty saves 0") << "effects" << marked << Edits{ { "wtFontSizeCombo", "ab" } } << QVariantMap() << "okButton" << QVariantMap{ { "wtFontSize", 0.0 } };
        QTest::newRow("font size 1000 is cut at 100") << "effects" << marked << Edits{ { "wtFontSizeCombo", "1000" } } << QVariantMap() << "okButton" << QVariantMap{ { "wtFontSize", 100.0 } };
        QTest::newRow("stored values beyond the controls") << "effects" << QVariantMap{ { "WTOpc", 0 }, { "ClrB", 1e300 }, { "ClrC", -1e300 }, { "ClrG", qQNaN() }, { "WTAlign", 9 }, { "RotateDegree", -1 }, { "WTFontSize", 12.5 } } << Edits() << QVariantMap{ { "wtOpacityValueLabel", 1 }, { "brightnessValueLabel", 1 }, { "contrastValueLabel", -2 }, { "gammaValueLabel", 0.1 }, { "wtAlignCombo", "" }, { "rotateCombo", "" }, { "wtFontSizeCombo", 12.5 } } << "okButton" << QVariantMap{ { "wtOpc", 1 }, { "clrB", 1.0 }, { "clrC", -2.0 }, { "clrG", 0.1 }, { "wtAlign", -1 } };
        // A real family rather than an alias such as "Serif", which the combo resolves when reopened.
        QFontComboBox fonts;
        QString family;
        for (int i = fonts.count() - 1; i >= 0 && family.isEmpty(); --i)
            family = fonts.itemText(i) != QApplication::font().family() && QFontInfo(QFont(fonts.itemText(i))).family() == fonts.itemText(i) ? fonts.itemText(i) : QString();
        // The text page is switched off again at the end: its values are still saved. The sliders' positions give
        // values whose value / 0.1 falls just below the integer, or below zero.
        QTest::newRow("every field") << "effects" << QVariantMap() << Edits{ { "clrEnableCheck", true }, { "wtEnableCheck", true }, { "wtItalicButton", true }, { "wtUnderlineButton", true }, { "wtCustomAlignRadio", true }, { "wiEnableCheck", true }, { "wiCustomAlignRadio", true }, { "transformEnableCheck", true }, { "rotateCheck", true }, { "hFlipCheck", true }, { "brightnessSlider", -3 }, { "contrastSlider", -20 }, { "saturationSlider", 29 }, { "gammaSlider", 43 }, { "wtOpacitySlider", 40 }, { "wiScaleSlider", 250 }, { "wtXOffsetSpin", 12 }, { "wtYOffsetSpin", 88 }, { "wiYOffsetSpin", 7 }, { "wtFontSizeCombo", "12" }, { "wtAlignCombo", "Bottom Right" }, { "wiAlignCombo", "Center" }, { "rotateCombo", "Clockwise 270 degree" }, { "wtContentEdit", "Reelway ©" }, { "wtFontNameCombo", family }, { "wtEnableCheck", false }, { "wiFileEdit", "/pics/logo.png" } } << QVariantMap{ { "wiScaleValueLabel", "250%" }, { "brightnessValueLabel", -0.3 }, { "contrastValueLabel", -2 }, { "saturationValueLabel", 2.9 }, { "gammaValueLabel", 4.3 } } << "okButton" << QVariantMap{ { "clrEnable", true }, { "clrB", -3 * 0.1 }, { "clrC", -20 * 0.1 }, { "clrS", 29 * 0.1 }, { "clrG", 43 * 0.1 }, { "wtContent", "Reelway ©" }, { "wtFontName", family }, { "wtFontSize", 12.0 }, { "wtFontI", true }, { "wtFontU", true }, { "wtOpc", 40 }, { "wtCAlign", true }, { "wtAlign", 3 }, { "wtCAlignX", 12 }, { "wtCAlignY", 88 }, { "wiEnable", true }, { "wiFile", "/pics/logo.png" }, { "wiScale", 250 }, { "wiCAlign", true }, { "wiAlign", 4 }, { "wiCAlignY", 7 }, { "transform", true }, { "rotate", true }, { "rotateDegree", 2 }, { "hFlip", true } };
    }

    void saving()
    {
        QFETCH(QString, kind); QFETCH(QVariantMap, stored); QFETCH(Edits, edits); QFETCH(QVariantMap, shown); QFETCH(QString, button); QFETCH(QVariantMap, saved);
        Open(kind, stored, edits);
        QCOMPARE(Showing(shown.keys()), Lines(shown));
        Leave(kind, button, saved);
    }

    // The effects dialog's pickers: `button` opens one with `title` at `start` (a colour, or a folder and filter),
    // which is answered with `answer`, or cancelled; OK then saves `saved`.
    void pickers_data()
    {
        QTest::addColumn<QVariantMap>("stored"); QTest::addColumn<QString>("button"); QTest::addColumn<QString>("title"); QTest::addColumn<QString>("start"); QTest::addColumn<QString>("answer"); QTest::addColumn<bool>("accepted"); QTest::addColumn<QVariantMap>("saved");
        // The colour picker opens at black whatever the current colour.
        const QVariantMap marked{ { "WTEnable", true }, { "WTContent", "mark" }, { "WTCR", 10 }, { "WTCG", 20 }, { "WTCB", 30 } };
        QTest::newRow("text colour picked") << marked << "wtColorButton" << "Select Text Color" << "#000000" << "#ff8000" << true << QVariantMap{ { "wtCR", 255 }, { "wtCG", 128 }, { "wtCB", 0 } };
        QTest::newRow("text colour cancelled") << marked << "wtColorButton" << "Select Text Color" << "#000000" << "#0000ff" << false << QVariantMap();
        // Each time, the image picker starts in the pictures folder.
        const QString pictures = fixture.path("Pictures"), file = pictures + "/new logo.png";
        QVERIFY(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation) == pictures && TestSupport::WriteBytes(file, "x"));
        const QString start = pictures + "|Image Files (*." + QString::fromLatin1(QImageReader::supportedImageFormats().join(" *.")) + ")";
        QTest::newRow("image picked") << QVariantMap{ { "WIEnable", true } } << "wiBrowseButton" << "Select Watermark Image" << start << file << true << QVariantMap{ { "wiFile", file } };
        QTest::newRow("image cancelled") << QVariantMap{ { "WIEnable", true }, { "WIFile", "/pics/logo.png" } } << "wiBrowseButton" << "Select Watermark Image" << start << pictures + "/other.png" << false << QVariantMap();
    }

    void pickers()
    {
        QFETCH(QVariantMap, stored); QFETCH(QString, button); QFETCH(QString, answer); QFETCH(bool, accepted); QFETCH(QVariantMap, saved);
        Open("effects", stored, {});
        QString title, start;
        TestSupport::ModalCloser<QDialog> closer([&](QDialog *picker) {
            auto *colors = qobject_cast<QColorDialog *>(picker);
            auto *files = qobject_cast<QFileDialog *>(picker);
            title = picker->windowTitle();
            start = colors ? colors->currentColor().name() : files->directory().absolutePath() + '|' + files->nameFilters().join('|');
            // Typed rather than selected: the file picker lists its folder in the background.
            colors ? colors->setCurrentColor(QColor(answer)) : Find<QLineEdit>(picker, "fileNameEdit")->setText(answer);
            picker->done(accepted ? QDialog::Accepted : QDialog::Rejected);
        }, [](QDialog *d) { return qobject_cast<QColorDialog *>(d) || qobject_cast<QFileDialog *>(d); });
        Click(dlg.get(), button);
        QVERIFY(closer.found());
        QTEST(title, "title");
        QTEST(start, "start");
        Leave("effects", "okButton", saved);
    }

    // The main window's note names what a conversion to the target would do to the picture,
    // and opens the effects page of the first effect that is on (-1: only the format settings).
    void effectsNote_data()
    {
        QTest::addColumn<QVariantMap>("stored"); QTest::addColumn<int>("target"); QTest::addColumn<QString>("note"); QTest::addColumn<int>("page");
        const QVariantMap scale{ { "Scale", true }, { "ScaleW", 1280 }, { "ScaleH", 720 } };
        QTest::newRow("nothing on") << QVariantMap() << int(KRVAVCodecID_MP4) << QString() << 0;
        QTest::newRow("watermarks without text or file, transform without a part") << QVariantMap{ { "WTEnable", true }, { "WIEnable", true }, { "Transform", true }, { "HFlip", false } } << int(KRVAVCodecID_MP4) << QString() << 0;
        QTest::newRow("scaling on a scalable target") << scale << int(KRVAVCodecID_MP4) << "Effects: scale to 1280x720" << -1;
        QTest::newRow("scaling on a target that takes none") << scale << int(KRVAVCodecID_MP3) << QString() << 0;
        QTest::newRow("rotate 270 and flips after scaling") << QVariantMap{ { "Scale", true }, { "Transform", true }, { "Rotate", true }, { "RotateDegree", 2 }, { "HFlip", true }, { "VFlip", true } } << int(KRVAVCodecID_MP4) << "Effects: scale to 768x576, rotate 270\u00b0, horizontal flip, vertical flip" << 3;
        QTest::newRow("flips without transform") << QVariantMap{ { "HFlip", true }, { "VFlip", true }, { "Rotate", true } } << int(KRVAVCodecID_MP4) << QString() << 0;
        QTest::newRow("text watermark first") << QVariantMap{ { "WTEnable", true }, { "WTContent", "mark" }, { "Transform", true }, { "VFlip", true } } << int(KRVAVCodecID_MP4) << "Effects: text watermark, vertical flip" << 1;
        QTest::newRow("image watermark first") << QVariantMap{ { "WIEnable", true }, { "WIFile", "/logo.png" }, { "Transform", true }, { "Rotate", true }, { "RotateDegree", 1 } } << int(KRVAVCodecID_MP4) << "Effects: image watermark, rotate 180\u00b0" << 2;
        QTest::newRow("everything") << QVariantMap{ { "ClrEnable", true }, { "WTEnable", true }, { "WTContent", "mark" }, { "WIEnable", true }, { "WIFile", "/logo.png" }, { "Transform", true }, { "Rotate", true } } << int(KRVAVCodecID_AVI) << "Effects: color adjustment, text watermark, image watermark, rotate 90\u00b0" << 0;
    }

    void effectsNote()
    {
        QFETCH(QVariantMap, stored); QFETCH(int, target);
        Load(record, stored);
        QTEST(EffectsNote(record, KRVAVCodecID(target)), "note");
        QTEST(EffectsNotePage(record, KRVAVCodecID(target)), "page");
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
