#include "testsupport.h"

#include "convert/convertsettings.h"
#include "dialogs/scaledlg.h"
#include "dialogs/settingsdlg.h"
#include "dialogs/threegp2dlg.h"
#include "dialogs/threegpdlg.h"

#include <limits>
#include <memory>

using TestSupport::Fields;
using TestSupport::Find;

namespace {

void Click(QWidget *dlg, const QString &name)
{
    Find<QAbstractButton>(dlg, name)->click();
}

// The names, in order, whose widgets are enabled.
QStringList Enabled(QWidget *dlg, const QStringList &names)
{
    QStringList on;
    for (const QString &name : names) {
        if (Find(dlg, name)->isEnabled())
            on << name;
    }
    return on;
}

// Clicks OK and answers the title and text of the warning box it raised, if any.
QStringList ClickOk(QDialog &dlg)
{
    QStringList seen;
    TestSupport::ModalCloser<QMessageBox> closer([&seen](QMessageBox *box) {
        seen << box->windowTitle() << box->text();
        box->done(QMessageBox::Ok);
    });
    Click(&dlg, "okButton");
    return seen;
}

// The fields of the record that differ from a new record with `changes` applied, each with both values.
QStringList Changed(const ConvertSettings &record, const QVariantMap &changes = {})
{
    QVariantMap expected = Fields(ConvertSettings());
    expected.insert(changes);
    const QVariantMap actual = Fields(record);
    QStringList diff;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (actual.value(it.key()) != it.value())
            diff << QStringLiteral("%1: %2 != %3").arg(it.key(), actual.value(it.key()).toString(), it->toString());
    }
    return diff;
}

QVariant Option(const QString &key)
{
    return QSettings(QStringLiteral("Korvent"), QStringLiteral("Reelway")).value("Settings/" + key);
}

bool NoOptions()
{
    return QSettings(QStringLiteral("Korvent"), QStringLiteral("Reelway")).allKeys().isEmpty();
}

std::unique_ptr<QDialog> Make(const QString &kind, ConvertSettings *record)
{
    if (kind == "scale")
        return std::make_unique<ScaleDlg>(record, nullptr);
    if (kind == "3gp2")
        return std::make_unique<ThreeGP2Dlg>(record, nullptr);
    if (kind == "3gp")
        return std::make_unique<ThreeGPDlg>(record, nullptr);
    return std::make_unique<SettingsDlg>(nullptr, record);
}

QVariantList ScaleFields(const ConvertSettings &s)
{
    return { s.scale, s.scaleKA, s.scaleA, s.scaleW, s.scaleH, s.threeGPSize };
}

} // namespace

// The format dialogs (scale, 3GP2, 3GP) and the effects dialog.
class TestDialogs : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;

private slots:
    void init() { TestSupport::ClearSettings(); }

    // Each step is "clicked>enabled": the control clicked (none at first) and the watched
    // controls enabled afterwards ("*" for all of them).
    void enabling_data()
    {
        QTest::addColumn<QString>("kind"); QTest::addColumn<QString>("watched"); QTest::addColumn<QStringList>("steps");
        const QString sizes = "keepAspectCheck widthSpin heightSpin widthLabel heightLabel";
        QTest::newRow("scale") << "scale" << sizes + " aspectCombo"
                               << QStringList{ ">", "scaleCheck>" + sizes, "keepAspectCheck>*", "keepAspectCheck>" + sizes,
                                               "keepAspectCheck>*", "scaleCheck>" };
        QTest::newRow("color") << "effects" << "brightnessSlider contrastSlider saturationSlider gammaSlider brightnessLabel gammaValueLabel"
                               << QStringList{ ">", "clrEnableCheck>*", "clrEnableCheck>" };
        const QString text = "wtContentEdit wtFontNameCombo wtFontSizeCombo wtBoldButton wtColorButton wtOpacitySlider "
                             "wtNormalAlignRadio wtCustomAlignRadio wtAlignCombo";
        QTest::newRow("watermark text") << "effects" << text + " wtXOffsetSpin" << QStringList{ ">", "wtEnableCheck>" + text, "wtEnableCheck>" };
        // Only "Browse..." sets the image path.
        QTest::newRow("watermark image") << "effects" << "wiBrowseButton wiScaleSlider wiFileEdit wiXOffsetSpin"
                                         << QStringList{ ">", "wiEnableCheck>wiBrowseButton wiScaleSlider", "wiEnableCheck>" };
        QTest::newRow("transform") << "effects" << "rotateCheck hFlipCheck vFlipCheck rotateCombo"
                                   << QStringList{ ">", "transformEnableCheck>rotateCheck hFlipCheck vFlipCheck", "rotateCheck>*",
                                                   "transformEnableCheck>", "transformEnableCheck>*" };
        // Switching a page off and on again keeps to the checked radio.
        for (const QString p : { "wt", "wi" }) {
            const QString custom = QString("%1XOffsetLabel %1XOffsetSpin %1XPercentLabel %1YOffsetLabel %1YOffsetSpin %1YPercentLabel").arg(p);
            QTest::addRow("%s alignment", qPrintable(p)) << "effects" << p + "AlignCombo " + custom
                << QStringList{ ">", p + "EnableCheck>" + p + "AlignCombo", p + "CustomAlignRadio>" + custom, p + "NormalAlignRadio>" + p + "AlignCombo",
                                p + "CustomAlignRadio>" + custom, p + "EnableCheck>", p + "EnableCheck>" + custom };
        }
    }

    void enabling()
    {
        QFETCH(QString, kind); QFETCH(QString, watched); QFETCH(QStringList, steps);
        ConvertSettings record;
        const auto dlg = Make(kind, &record);
        dlg->show();
        for (const QString &step : steps) {
            const QString clicked = step.section('>', 0, 0), on = step.section('>', 1);
            if (!clicked.isEmpty())
                Click(dlg.get(), clicked);
            QStringList expected;
            for (const QString &name : watched.split(' '))
                expected << (on == "*" || on.split(' ').contains(name) ? name : QString());
            expected.removeAll(QString());
            QCOMPARE(step + ": " + Enabled(dlg.get(), watched.split(' ')).join(' '), step + ": " + expected.join(' '));
        }
    }

    void sideArithmetic_data()
    {
        QTest::addColumn<bool>("keep"); QTest::addColumn<int>("aspect"); QTest::addColumn<bool>("editWidth"); QTest::addColumn<int>("value"); QTest::addColumn<QSize>("size");
        QTest::newRow("4:3 width 770 drops the fraction") << true << 0 << true << 770 << QSize(770, 577);
        QTest::newRow("16:9 height 100 drops the fraction") << true << 1 << false << 100 << QSize(177, 100);
        QTest::newRow("4:3 width 1 clamps height to 1") << true << 0 << true << 1 << QSize(1, 1);
        QTest::newRow("16:9 height 50000 clamps width") << true << 1 << false << 50000 << QSize(50000, 50000);
        QTest::newRow("keep aspect off") << false << 0 << true << 1024 << QSize(1024, 576);
        QTest::newRow("stored Auto") << true << 2 << true << 2000 << QSize(2000, 576);
    }

    void sideArithmetic()
    {
        QFETCH(bool, keep); QFETCH(int, aspect); QFETCH(bool, editWidth); QFETCH(int, value); QFETCH(QSize, size);
        ConvertSettings record;
        record.scale = true; record.scaleKA = keep; record.scaleA = aspect;
        ScaleDlg dlg(&record, nullptr);
        auto *width = Find<QSpinBox>(&dlg, "widthSpin"), *height = Find<QSpinBox>(&dlg, "heightSpin");
        QCOMPARE(Find<QComboBox>(&dlg, "aspectCombo")->currentIndex(), aspect < 2 ? aspect : -1);
        QCOMPARE(Enabled(&dlg, { "keepAspectCheck", "aspectCombo" }).size(), keep ? 2 : 1);
        QCOMPARE(QSize(width->value(), height->value()), QSize(768, 576)); // loading does not recompute
        QSignalSpy widthSpy(width, qOverload<int>(&QSpinBox::valueChanged)), heightSpy(height, qOverload<int>(&QSpinBox::valueChanged));
        (editWidth ? width : height)->setValue(value);
        QCOMPARE(QSize(width->value(), height->value()), size);
        // The recomputed box stays silent, so it never feeds back into the edited one.
        QCOMPARE(QPoint(widthSpy.count(), heightSpy.count()), editWidth ? QPoint(1, 0) : QPoint(0, 1));
    }

    // OK refuses an odd size, keeping the dialog and the record; otherwise it writes the record.
    // Stored and saved: scale, keep aspect, aspect, width, height, 3GP size.
    void scaleOk_data()
    {
        QTest::addColumn<QVariantList>("stored"); QTest::addColumn<QStringList>("edits"); QTest::addColumn<QVariantList>("saved");
        QTest::newRow("keep aspect makes 770 by 577") << QVariantList{ true, false, 0, 770, 576, 3 } << QStringList{ "keepAspectCheck" } << QVariantList();
        QTest::newRow("16:9 makes 770 by 433") << QVariantList{ true, true, 0, 770, 578, 3 } << QStringList{ "aspectCombo=1" } << QVariantList();
        QTest::newRow("stored odd width, scaling off") << QVariantList{ false, false, 0, 767, 576, 3 } << QStringList() << QVariantList();
        QTest::newRow("even in the end") << QVariantList{ true, false, 0, 770, 576, 3 } << QStringList{ "keepAspectCheck", "aspectCombo=1", "widthSpin=1280" }
                                         << QVariantList{ true, true, 1, 1280, 720, 3 };
        QTest::newRow("stored out of range, Auto") << QVariantList{ true, true, 2, 60000, -4, 3 } << QStringList{ "heightSpin=2000" }
                                                   << QVariantList{ true, true, -1, 50000, 2000, 3 };
    }

    void scaleOk()
    {
        QFETCH(QVariantList, stored); QFETCH(QStringList, edits); QFETCH(QVariantList, saved);
        ConvertSettings record;
        record.scale = stored[0].toBool(); record.scaleKA = stored[1].toBool(); record.scaleA = stored[2].toInt();
        record.scaleW = stored[3].toInt(); record.scaleH = stored[4].toInt();
        ScaleDlg dlg(&record, nullptr);
        dlg.show();
        for (const QString &edit : edits) {
            QWidget *w = Find(&dlg, edit.section('=', 0, 0));
            if (!edit.contains('='))
                Click(&dlg, edit);
            else
                w->setProperty(qobject_cast<QComboBox *>(w) ? "currentIndex" : "value", edit.section('=', 1).toInt());
        }
        QCOMPARE(ClickOk(dlg), (saved.isEmpty() ? QStringList{ "Format Settings", "Scale width or height must be even number!" } : QStringList()));
        QCOMPARE(dlg.isVisible(), saved.isEmpty());
        QCOMPARE(ScaleFields(record), saved.isEmpty() ? stored : saved);
    }

    void threeGP_data()
    {
        QTest::addColumn<QString>("kind"); QTest::addColumn<int>("stored"); QTest::addColumn<QString>("shown"); QTest::addColumn<QString>("pick"); QTest::addColumn<int>("saved");
        QTest::newRow("3GP, fourth, pick first") << "3gp" << 3 << "704x576" << "128x96" << 0;
        QTest::newRow("3GP2, second, pick last") << "3gp2" << 1 << "176x144" << "1408x1152" << 4;
        QTest::newRow("3GP2, below the list") << "3gp2" << -1 << "" << "352x288" << 2;
        QTest::newRow("3GP, past the list") << "3gp" << 5 << "" << "176x144" << 1;
    }

    void threeGP()
    {
        QFETCH(QString, kind); QFETCH(int, stored); QFETCH(QString, shown); QFETCH(QString, pick); QFETCH(int, saved);
        ConvertSettings record;
        record.threeGPSize = stored;
        const auto dlg = Make(kind, &record);
        dlg->show();
        auto *combo = Find<QComboBox>(dlg.get(), "videoSizeCombo");
        QCOMPARE(combo->currentText(), shown);
        combo->setCurrentText(pick);
        QVERIFY(ClickOk(*dlg).isEmpty());
        QCOMPARE(dlg->result(), int(QDialog::Accepted));
        QCOMPARE(record.threeGPSize, saved);
    }

    // Edited, then left by Cancel or the close button: neither the record nor the store changes.
    void cancelChangesNothing_data()
    {
        QTest::addColumn<QString>("kind"); QTest::addColumn<bool>("viaCloseButton");
        QTest::newRow("scale, Cancel") << "scale" << false;
        QTest::newRow("scale, close button") << "scale" << true;
        QTest::newRow("3gp2, Cancel") << "3gp2" << false;
        QTest::newRow("3gp, close button") << "3gp" << true;
        QTest::newRow("effects, Cancel") << "effects" << false;
        QTest::newRow("effects, close button") << "effects" << true;
    }

    void cancelChangesNothing()
    {
        QFETCH(QString, kind); QFETCH(bool, viaCloseButton);
        ConvertSettings record;
        const auto dlg = Make(kind, &record);
        TestSupport::ModalCloser<QDialog> closer([viaCloseButton](QDialog *d) {
            if (auto *width = d->findChild<QSpinBox *>("widthSpin")) {
                Click(d, "scaleCheck");
                Click(d, "keepAspectCheck");
                width->setValue(1280);
            } else if (auto *sizes = d->findChild<QComboBox *>("videoSizeCombo")) {
                sizes->setCurrentIndex(0);
            } else {
                for (const char *name : { "noCrashReportCheck", "noConvertResultsCheck", "clrEnableCheck", "wtEnableCheck", "transformEnableCheck", "vFlipCheck" })
                    Click(d, name);
                Find<QSlider>(d, "gammaSlider")->setValue(30);
                Find<QLineEdit>(d, "wtContentEdit")->setText(QStringLiteral("mark"));
            }
            viaCloseButton ? void(d->close()) : Click(d, "cancelButton");
        });
        QCOMPARE(dlg->exec(), int(QDialog::Rejected));
        QVERIFY(closer.found());
        QCOMPARE(Changed(record), QStringList());
        QVERIFY(NoOptions());
    }

    void sliderPositionsReopen_data()
    {
        QTest::addColumn<QString>("slider"); QTest::addColumn<int>("position"); QTest::addColumn<QString>("label");
        // Positions whose value / 0.1 falls just below the integer, or below zero.
        QTest::newRow("gamma 43") << "gamma" << 43 << "4.3";
        QTest::newRow("saturation 29") << "saturation" << 29 << "2.9";
        QTest::newRow("brightness -3") << "brightness" << -3 << "-0.3";
        QTest::newRow("contrast -20") << "contrast" << -20 << "-2";
    }

    void sliderPositionsReopen()
    {
        QFETCH(QString, slider); QFETCH(int, position); QFETCH(QString, label);
        ConvertSettings record, restarted;
        {
            SettingsDlg dlg(nullptr, &record);
            dlg.show();
            Click(&dlg, "clrEnableCheck");
            Find<QSlider>(&dlg, slider + "Slider")->setValue(position);
            QCOMPARE(Find<QLabel>(&dlg, slider + "ValueLabel")->text(), label);
            QVERIFY(ClickOk(dlg).isEmpty());
        }
        QCOMPARE(Fields(record).value(QString("clr") + slider.at(0).toUpper()).toDouble(), position * 0.1);
        record.Save();
        restarted.Load();
        for (ConvertSettings *r : { &record, &restarted }) {
            SettingsDlg dlg(nullptr, r);
            QCOMPARE(Find<QSlider>(&dlg, slider + "Slider")->value(), position);
            QCOMPARE(Find<QLabel>(&dlg, slider + "ValueLabel")->text(), label);
        }
    }

    void warningsInOrderHoldBackEverything_data()
    {
        QTest::addColumn<QString>("text"); QTest::addColumn<QString>("transform");
        QTest::newRow("text, horizontal flip") << "Reelway" << "hFlip";
        QTest::newRow("one blank, vertical flip") << " " << "vFlip";
        QTest::newRow("rotate alone") << "x" << "rotate";
    }

    void warningsInOrderHoldBackEverything()
    {
        QFETCH(QString, text); QFETCH(QString, transform);
        ConvertSettings record;
        SettingsDlg dlg(nullptr, &record);
        dlg.show();
        for (const char *name : { "noConvertResultsCheck", "noCrashReportCheck", "wtEnableCheck", "wiEnableCheck", "transformEnableCheck" })
            Click(&dlg, name);
        QCOMPARE(ClickOk(dlg), (QStringList{ "Watermark Text", "Watermmark text is empty!" }));
        QTest::keyClicks(Find<QLineEdit>(&dlg, "wtContentEdit"), text);
        QCOMPARE(ClickOk(dlg), (QStringList{ "Watermark Image", "Watermmark image is empty!" }));
        Find<QLineEdit>(&dlg, "wiFileEdit")->setText(QStringLiteral("/nowhere/logo.png"));
        QCOMPARE(ClickOk(dlg), (QStringList{ "Transform", "No transform is set!" }));
        QVERIFY(dlg.isVisible() && Find<QCheckBox>(&dlg, "transformEnableCheck")->isChecked());
        QCOMPARE(Changed(record), QStringList());
        QVERIFY(NoOptions());
        Click(&dlg, transform + "Check");
        QVERIFY(ClickOk(dlg).isEmpty());
        QCOMPARE(Changed(record, { { "wtEnable", true }, { "wtContent", text }, { "wiEnable", true }, { "wiFile", "/nowhere/logo.png" },
                                   { "transform", true }, { transform, true } }), QStringList());
        QVERIFY(Option("ReportCResults") == QVariant(false) && Option("ReportCrash") == QVariant(false));
    }

    void fontSize_data()
    {
        QTest::addColumn<QString>("typed"); QTest::addColumn<double>("saved");
        QTest::newRow("13, not in the list") << "13" << 13.0;
        QTest::newRow("letters are refused, empty saves 0") << "ab" << 0.0;
        QTest::newRow("1000 is cut at 100") << "1000" << 100.0;
    }

    void fontSize()
    {
        QFETCH(QString, typed); QFETCH(double, saved);
        ConvertSettings record;
        record.wtEnable = true;
        record.wtContent = "mark";
        SettingsDlg dlg(nullptr, &record);
        dlg.show();
        QLineEdit *edit = Find<QComboBox>(&dlg, "wtFontSizeCombo")->lineEdit();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, typed);
        QVERIFY(ClickOk(dlg).isEmpty());
        QCOMPARE(record.wtFontSize, saved);
    }

    void textColor()
    {
        ConvertSettings record;
        record.wtCR = 10; record.wtCG = 20; record.wtCB = 30; record.wtEnable = true; record.wtContent = "mark";
        SettingsDlg dlg(nullptr, &record);
        dlg.show();
        const auto sheet = [&dlg] { return Find(&dlg, "wtColorButton")->styleSheet(); };
        QCOMPARE(sheet(), QString("QToolButton{ background: #0a141e; }"));
        // Picked, then cancelled: the picker opens at black whatever the current colour.
        for (const QColor &answer : { QColor(255, 128, 0), QColor() }) {
            QStringList seen;
            TestSupport::ModalCloser<QColorDialog> closer([&seen, answer](QColorDialog *picker) {
                seen << picker->windowTitle() << picker->currentColor().name();
                picker->setCurrentColor(answer);
                QMetaObject::invokeMethod(picker, answer.isValid() ? "accept" : "reject");
            });
            Click(&dlg, "wtColorButton");
            QVERIFY(closer.found());
            QCOMPARE(seen << sheet(), (QStringList{ "Select Text Color", "#000000", "QToolButton{ background: #ff8000; }" }));
        }
        QCOMPARE(record.GetWTColor(), QColor(10, 20, 30)); // not before OK
        QVERIFY(ClickOk(dlg).isEmpty());
        QCOMPARE(record.GetWTColor(), QColor(255, 128, 0));
    }

    void watermarkImageBrowse()
    {
        ConvertSettings record;
        record.wiEnable = true;
        const QString pictures = fixture.path("Pictures"), file = pictures + "/new logo.png";
        QVERIFY(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation) == pictures && TestSupport::WriteBytes(file, "x"));
        QStringList patterns;
        for (const QByteArray &format : QImageReader::supportedImageFormats())
            patterns << "*." + QString::fromLatin1(format);
        SettingsDlg dlg(nullptr, &record);
        dlg.show();
        // Picked, then cancelled: each time the picker starts in the pictures folder.
        for (bool pick : { true, false }) {
            QStringList seen;
            TestSupport::ModalCloser<QFileDialog> closer([&seen, pick, file](QFileDialog *picker) {
                seen << picker->windowTitle() << picker->directory().absolutePath() << picker->nameFilters();
                // Typed rather than selected: the picker lists its folder in the background.
                Find<QLineEdit>(picker, "fileNameEdit")->setText(file);
                static_cast<QDialog *>(picker)->done(pick ? QDialog::Accepted : QDialog::Rejected);
            });
            Click(&dlg, "wiBrowseButton");
            QVERIFY(closer.found());
            QCOMPARE(seen << Find<QLineEdit>(&dlg, "wiFileEdit")->text(),
                     (QStringList{ "Select Watermark Image", pictures, "Image Files (" + patterns.join(' ') + ')', file }));
        }
        QCOMPARE(record.wiFile, QString());
        QVERIFY(ClickOk(dlg).isEmpty());
        QCOMPARE(record.wiFile, file);
    }

    void optionPages_data()
    {
        QTest::addColumn<QVariant>("reportCrash"); QTest::addColumn<QVariant>("reportCResults");
        QTest::newRow("empty store writes true") << QVariant() << QVariant();
        QTest::newRow("results dialog's do not show again") << QVariant() << QVariant(false);
        QTest::newRow("crash notice's do not show again") << QVariant(false) << QVariant(true);
    }

    void optionPages()
    {
        QFETCH(QVariant, reportCrash); QFETCH(QVariant, reportCResults);
        for (const auto &option : { std::make_pair("ReportCrash", reportCrash), std::make_pair("ReportCResults", reportCResults) }) {
            if (option.second.isValid())
                QSettings("Korvent", "Reelway").setValue(QString("Settings/") + option.first, option.second);
        }
        ConvertSettings record;
        SettingsDlg dlg(nullptr, &record);
        dlg.show();
        QCOMPARE(Find<QCheckBox>(&dlg, "noCrashReportCheck")->isChecked(), reportCrash == QVariant(false));
        QCOMPARE(Find<QCheckBox>(&dlg, "noConvertResultsCheck")->isChecked(), reportCResults == QVariant(false));
        QVERIFY(ClickOk(dlg).isEmpty());
        QCOMPARE(Option("ReportCrash"), QVariant(reportCrash != QVariant(false)));
        QCOMPARE(Option("ReportCResults"), QVariant(reportCResults != QVariant(false)));
    }

    void okSavesEveryFieldAndReopensUnchanged()
    {
        ConvertSettings record;
        SettingsDlg dlg(nullptr, &record);
        dlg.show();
        // A real family rather than an alias such as "Serif", which the combo resolves when reopened.
        QString family;
        auto *fonts = Find<QFontComboBox>(&dlg, "wtFontNameCombo");
        for (int i = fonts->count() - 1; i >= 0 && family.isEmpty(); --i) {
            if (fonts->itemText(i) != record.wtFontName && QFontInfo(QFont(fonts->itemText(i))).family() == fonts->itemText(i))
                family = fonts->itemText(i);
        }
        QVERIFY(!family.isEmpty());
        for (const char *name : { "clrEnableCheck", "wtEnableCheck", "wtItalicButton", "wtUnderlineButton", "wtCustomAlignRadio",
                                  "wiEnableCheck", "wiCustomAlignRadio", "transformEnableCheck", "rotateCheck", "hFlipCheck" })
            Click(&dlg, name);
        const QVariantMap values{ { "brightnessSlider", -4 }, { "contrastSlider", 12 }, { "saturationSlider", 0 }, { "gammaSlider", 25 },
                                  { "wtOpacitySlider", 40 }, { "wiScaleSlider", 250 }, { "wtXOffsetSpin", 12 }, { "wtYOffsetSpin", 88 },
                                  { "wiYOffsetSpin", 7 }, { "wtFontSizeCombo", 2 }, { "wtAlignCombo", 3 }, { "wiAlignCombo", 4 }, { "rotateCombo", 2 } };
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            Find(&dlg, it.key())->setProperty(it.key().endsWith("Combo") ? "currentIndex" : "value", *it);
        QTest::keyClicks(Find<QLineEdit>(&dlg, "wtContentEdit"), "Reelway ©");
        fonts->setCurrentText(family);
        Click(&dlg, "wtEnableCheck"); // switched off again: its values are still saved
        Find<QLineEdit>(&dlg, "wiFileEdit")->setText(QStringLiteral("/pics/logo.png"));
        QCOMPARE(Find<QLabel>(&dlg, "wiScaleValueLabel")->text(), QStringLiteral("250%"));
        QVERIFY(ClickOk(dlg).isEmpty());
        const QVariantMap changes{
            { "clrEnable", true },  { "clrB", -4 * 0.1 },       { "clrC", 12 * 0.1 },     { "clrS", 0.0 },
            { "clrG", 25 * 0.1 },   { "wtContent", "Reelway ©" }, { "wtFontName", family }, { "wtFontSize", 12.0 },
            { "wtFontI", true },    { "wtFontU", true },        { "wtOpc", 40 },          { "wtCAlign", true },
            { "wtAlign", 3 },       { "wtCAlignX", 12 },        { "wtCAlignY", 88 },      { "wiEnable", true },
            { "wiFile", "/pics/logo.png" }, { "wiScale", 250 }, { "wiCAlign", true },     { "wiAlign", 4 },
            { "wiCAlignY", 7 },     { "transform", true },      { "rotate", true },       { "rotateDegree", 2 },
            { "hFlip", true },
        };
        QCOMPARE(Changed(record, changes), QStringList());
        SettingsDlg again(nullptr, &record);
        again.show();
        QCOMPARE(Enabled(&again, { "wtXOffsetSpin", "wiXOffsetSpin", "wiAlignCombo", "rotateCombo" }), (QStringList{ "wiXOffsetSpin", "rotateCombo" }));
        QVERIFY(ClickOk(again).isEmpty());
        QCOMPARE(Changed(record, changes), QStringList());
    }

    void storedValuesShownWithinRange()
    {
        ConvertSettings record;
        record.wtOpc = 0; record.wiScale = 1000; record.clrB = 1e300; record.clrG = std::numeric_limits<double>::quiet_NaN();
        record.clrC = -1e300; record.wtAlign = 9; record.rotateDegree = -1; record.wtFontSize = 12.5;
        SettingsDlg dlg(nullptr, &record);
        dlg.show();
        QStringList shown;
        for (const char *name : { "wtOpacityValueLabel", "wiScaleValueLabel", "brightnessValueLabel", "contrastValueLabel", "gammaValueLabel" })
            shown << Find<QLabel>(&dlg, name)->text();
        for (const char *name : { "wtAlignCombo", "rotateCombo", "wtFontSizeCombo" })
            shown << Find<QComboBox>(&dlg, name)->currentText();
        QCOMPARE(shown, (QStringList{ "1", "500%", "1", "-2", "0.1", "", "", "12.5" }));
        QVERIFY(ClickOk(dlg).isEmpty());
        QCOMPARE(record.wtFontSize, 12.5);
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
