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

// What each named label or combo box shows.
QStringList Shown(QWidget *dlg, const QStringList &names)
{
    QStringList texts;
    for (const QString &name : names) {
        auto *combo = dlg->findChild<QComboBox *>(name);
        texts << (combo ? combo->currentText() : Find<QLabel>(dlg, name)->text());
    }
    return texts;
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

QVariantList ScaleFields(const ConvertSettings &s)
{
    return { s.scale, s.scaleKA, s.scaleA, s.scaleW, s.scaleH, s.threeGPSize };
}

// The fields of the record that differ from `expected`, each with both values.
QString Diff(const ConvertSettings &record, const QVariantMap &expected)
{
    const QVariantMap actual = Fields(record);
    QStringList diff;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (actual.value(it.key()) != it.value())
            diff << QStringLiteral("%1: %2 != %3").arg(it.key(), actual.value(it.key()).toString(), it->toString());
    }
    return diff.join("; ");
}

QStringList OptionKeys()
{
    QSettings store(QStringLiteral("Korvent"), QStringLiteral("Reelway"));
    store.beginGroup(QStringLiteral("Settings"));
    return store.childKeys();
}

QVariant Option(const QString &key)
{
    return QSettings(QStringLiteral("Korvent"), QStringLiteral("Reelway")).value("Settings/" + key);
}

QString ColorSheet(const QString &name)
{
    return QStringLiteral("QToolButton{ background: %1; }").arg(name);
}

const QStringList OddSizeWarning = { "Format Settings", "Scale width or height must be even number!" };

} // namespace

// The format dialogs (scale, 3GP2, 3GP) and the effects dialog.
class TestDialogs : public QObject
{
    Q_OBJECT
    TestSupport::Fixture fixture;

private slots:
    void init() { TestSupport::ClearSettings(); }

    void scaleEnablingRules()
    {
        ConvertSettings record;
        ScaleDlg dlg(&record, nullptr);
        dlg.show();
        const QStringList sizes = { "keepAspectCheck", "widthSpin", "heightSpin", "widthLabel", "heightLabel" };
        const QStringList all = sizes + QStringList{ "aspectCombo" };
        QCOMPARE(Enabled(&dlg, all), QStringList());
        Click(&dlg, "scaleCheck");
        QCOMPARE(Enabled(&dlg, all), sizes);
        Click(&dlg, "keepAspectCheck");
        QCOMPARE(Enabled(&dlg, all), all);
        Click(&dlg, "keepAspectCheck");
        QCOMPARE(Enabled(&dlg, all), sizes);
        Click(&dlg, "keepAspectCheck");
        Click(&dlg, "scaleCheck");
        QCOMPARE(Enabled(&dlg, all), QStringList());
        QCOMPARE(record.scale || record.scaleKA, false); // nothing reaches the record before OK
    }

    void sideArithmetic_data()
    {
        QTest::addColumn<bool>("keep"); QTest::addColumn<int>("aspect"); QTest::addColumn<bool>("editWidth"); QTest::addColumn<int>("value"); QTest::addColumn<int>("expectedWidth"); QTest::addColumn<int>("expectedHeight");
        QTest::newRow("4:3 width 770 drops the fraction") << true << 0 << true << 770 << 770 << 577;
        QTest::newRow("16:9 height 100 drops the fraction") << true << 1 << false << 100 << 177 << 100;
        QTest::newRow("4:3 width 1 clamps height to 1") << true << 0 << true << 1 << 1 << 1;
        QTest::newRow("16:9 height 50000 clamps width") << true << 1 << false << 50000 << 50000 << 50000;
        QTest::newRow("keep aspect off") << false << 0 << true << 1024 << 1024 << 576;
        QTest::newRow("stored Auto") << true << 2 << true << 2000 << 2000 << 576;
    }

    void sideArithmetic()
    {
        QFETCH(bool, keep); QFETCH(int, aspect); QFETCH(bool, editWidth); QFETCH(int, value); QFETCH(int, expectedWidth); QFETCH(int, expectedHeight);
        ConvertSettings record;
        record.scale = true;
        record.scaleKA = keep;
        record.scaleA = aspect;
        ScaleDlg dlg(&record, nullptr);
        auto *width = Find<QSpinBox>(&dlg, "widthSpin");
        auto *height = Find<QSpinBox>(&dlg, "heightSpin");
        QCOMPARE(Find<QComboBox>(&dlg, "aspectCombo")->currentIndex(), aspect < 2 ? aspect : -1);
        QCOMPARE(QSize(width->value(), height->value()), QSize(768, 576)); // loading does not recompute
        QSignalSpy widthSpy(width, qOverload<int>(&QSpinBox::valueChanged));
        QSignalSpy heightSpy(height, qOverload<int>(&QSpinBox::valueChanged));
        (editWidth ? width : height)->setValue(value);
        QCOMPARE(QSize(width->value(), height->value()), QSize(expectedWidth, expectedHeight));
        // The recomputed box stays silent, so it never feeds back into the edited one.
        QCOMPARE(widthSpy.count(), editWidth ? 1 : 0);
        QCOMPARE(heightSpy.count(), editWidth ? 0 : 1);
    }

    void scaleOkWarnsOfOddSizesThenWrites()
    {
        ConvertSettings record;
        record.scale = true;
        record.scaleW = 770;
        const QVariantList before = ScaleFields(record);
        {
            ScaleDlg dlg(&record, nullptr);
            dlg.show();
            auto *height = Find<QSpinBox>(&dlg, "heightSpin");
            Click(&dlg, "keepAspectCheck");
            QCOMPARE(height->value(), 577);
            QCOMPARE(ClickOk(dlg), OddSizeWarning);
            QVERIFY(dlg.isVisible());
            QCOMPARE(ScaleFields(record), before);
            // Switching the aspect recomputes too, and an even result lets OK through.
            Find<QComboBox>(&dlg, "aspectCombo")->setCurrentIndex(1);
            QCOMPARE(height->value(), 433);
            Find<QSpinBox>(&dlg, "widthSpin")->setValue(1280);
            QVERIFY(ClickOk(dlg).isEmpty());
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
        }
        QCOMPARE(ScaleFields(record), (QVariantList{ true, true, 1, 1280, 720, 3 }));
        ScaleDlg again(&record, nullptr);
        QVERIFY(Find<QCheckBox>(&again, "scaleCheck")->isChecked());
        QCOMPARE(Enabled(&again, { "keepAspectCheck", "aspectCombo" }), QStringList({ "keepAspectCheck", "aspectCombo" }));
        QCOMPARE(Find<QSpinBox>(&again, "heightSpin")->value(), 720);

        // A stored odd width blocks OK even with scaling off.
        record.scale = false;
        record.scaleW = 767;
        ScaleDlg odd(&record, nullptr);
        odd.show();
        QCOMPARE(ClickOk(odd), OddSizeWarning);
        QVERIFY(odd.isVisible());
        QCOMPARE(record.scaleW, 767);
    }

    void scaleStoredValuesOutOfRange()
    {
        ConvertSettings record;
        record.scale = record.scaleKA = true;
        record.scaleA = 2; // "Auto" is stored but not offered
        record.scaleW = 60000;
        record.scaleH = -4;
        ScaleDlg dlg(&record, nullptr);
        dlg.show();
        QCOMPARE(Find<QSpinBox>(&dlg, "widthSpin")->value(), 50000);
        QCOMPARE(Find<QSpinBox>(&dlg, "heightSpin")->value(), 1);
        Find<QSpinBox>(&dlg, "heightSpin")->setValue(2000);
        QVERIFY(ClickOk(dlg).isEmpty());
        QCOMPARE(ScaleFields(record), (QVariantList{ true, true, -1, 50000, 2000, 3 }));
    }

    void threeGPDialogs()
    {
        ConvertSettings record;
        ThreeGPDlg dlg(&record, nullptr);
        auto *combo = Find<QComboBox>(&dlg, "videoSizeCombo");
        QStringList sizes;
        for (int i = 0; i < combo->count(); ++i)
            sizes << combo->itemText(i);
        QCOMPARE(sizes, (QStringList{ "128x96", "176x144", "352x288", "704x576", "1408x1152" }));
        QCOMPARE(combo->currentText(), QStringLiteral("704x576"));
        dlg.show();
        combo->setCurrentText(QStringLiteral("176x144"));
        QVERIFY(ClickOk(dlg).isEmpty());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(record.threeGPSize, 1);
        ThreeGP2Dlg reopened(&record, nullptr);
        QCOMPARE(Find<QComboBox>(&reopened, "videoSizeCombo")->currentText(), QStringLiteral("176x144"));
        for (int index : { -1, 5 }) {
            record.threeGPSize = index;
            ThreeGP2Dlg outside(&record, nullptr);
            QCOMPARE(Find<QComboBox>(&outside, "videoSizeCombo")->currentIndex(), -1);
        }
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
        const QVariantMap before = Fields(record);
        std::unique_ptr<QDialog> dlg;
        if (kind == "scale")
            dlg = std::make_unique<ScaleDlg>(&record, nullptr);
        else if (kind == "3gp2")
            dlg = std::make_unique<ThreeGP2Dlg>(&record, nullptr);
        else if (kind == "3gp")
            dlg = std::make_unique<ThreeGPDlg>(&record, nullptr);
        else
            dlg = std::make_unique<SettingsDlg>(nullptr, &record);
        TestSupport::ModalCloser<QDialog> closer([viaCloseButton](QDialog *d) {
            if (d->findChild<QCheckBox *>("scaleCheck")) {
                Click(d, "scaleCheck");
                Click(d, "keepAspectCheck");
                Find<QSpinBox>(d, "widthSpin")->setValue(1280);
            } else if (d->findChild<QComboBox *>("videoSizeCombo")) {
                Find<QComboBox>(d, "videoSizeCombo")->setCurrentIndex(0);
            } else {
                for (const char *name : { "noCrashReportCheck", "noConvertResultsCheck", "clrEnableCheck",
                                          "wtEnableCheck", "transformEnableCheck", "vFlipCheck" })
                    Click(d, name);
                Find<QSlider>(d, "gammaSlider")->setValue(30);
                Find<QLineEdit>(d, "wtContentEdit")->setText(QStringLiteral("mark"));
            }
            if (viaCloseButton)
                d->close();
            else
                Click(d, "cancelButton");
        });
        QCOMPARE(dlg->exec(), int(QDialog::Rejected));
        QVERIFY(closer.found());
        QVERIFY2(Diff(record, before).isEmpty(), qPrintable(Diff(record, before)));
        QVERIFY(OptionKeys().isEmpty());
    }

    void pageSwitchEnablesItsControls_data()
    {
        QTest::addColumn<QString>("check"); QTest::addColumn<QStringList>("follow"); QTest::addColumn<QStringList>("stayOff");
        QTest::newRow("color") << "clrEnableCheck"
                               << QStringList{ "brightnessSlider", "contrastSlider", "saturationSlider",
                                               "gammaSlider", "brightnessLabel", "gammaValueLabel" }
                               << QStringList();
        QTest::newRow("watermark text") << "wtEnableCheck"
                                        << QStringList{ "wtContentEdit", "wtFontNameCombo", "wtFontSizeCombo",
                                                        "wtBoldButton", "wtColorButton", "wtOpacitySlider",
                                                        "wtNormalAlignRadio", "wtCustomAlignRadio", "wtAlignCombo" }
                                        << QStringList{ "wtXOffsetSpin" };
        // Only "Browse..." sets the image path.
        QTest::newRow("watermark image") << "wiEnableCheck" << QStringList{ "wiBrowseButton", "wiScaleSlider" }
                                         << QStringList{ "wiFileEdit", "wiXOffsetSpin" };
        QTest::newRow("transform") << "transformEnableCheck"
                                   << QStringList{ "rotateCheck", "hFlipCheck", "vFlipCheck" }
                                   << QStringList{ "rotateCombo" };
    }

    void pageSwitchEnablesItsControls()
    {
        QFETCH(QString, check); QFETCH(QStringList, follow); QFETCH(QStringList, stayOff);
        ConvertSettings record;
        SettingsDlg dlg(nullptr, &record);
        dlg.show();
        QCOMPARE(Enabled(&dlg, follow + stayOff), QStringList());
        Click(&dlg, check);
        QCOMPARE(Enabled(&dlg, follow + stayOff), follow);
        Click(&dlg, check);
        QCOMPARE(Enabled(&dlg, follow + stayOff), QStringList());
    }

    void alignmentRadios_data()
    {
        QTest::addColumn<QString>("page");
        QTest::newRow("watermark text") << "wt";
        QTest::newRow("watermark image") << "wi";
    }

    void alignmentRadios()
    {
        QFETCH(QString, page);
        ConvertSettings record;
        SettingsDlg dlg(nullptr, &record);
        dlg.show();
        Click(&dlg, page + "EnableCheck");
        QStringList custom;
        for (const char *name :
             { "XOffsetLabel", "XOffsetSpin", "XPercentLabel", "YOffsetLabel", "YOffsetSpin", "YPercentLabel" })
            custom << page + name;
        const QStringList all = QStringList{ page + "AlignCombo" } + custom;
        Click(&dlg, page + "CustomAlignRadio");
        QVERIFY(!Find<QRadioButton>(&dlg, page + "NormalAlignRadio")->isChecked());
        QCOMPARE(Enabled(&dlg, all), custom);
        Click(&dlg, page + "NormalAlignRadio");
        QVERIFY(!Find<QRadioButton>(&dlg, page + "CustomAlignRadio")->isChecked());
        QCOMPARE(Enabled(&dlg, all), QStringList{ page + "AlignCombo" });
        // Switching the page off and on again keeps to the checked radio.
        Click(&dlg, page + "CustomAlignRadio");
        Click(&dlg, page + "EnableCheck");
        QCOMPARE(Enabled(&dlg, all), QStringList());
        Click(&dlg, page + "EnableCheck");
        QCOMPARE(Enabled(&dlg, all), custom);
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
        ConvertSettings record;
        {
            SettingsDlg dlg(nullptr, &record);
            dlg.show();
            Click(&dlg, "clrEnableCheck");
            Find<QSlider>(&dlg, slider + "Slider")->setValue(position);
            QCOMPARE(Find<QLabel>(&dlg, slider + "ValueLabel")->text(), label);
            QVERIFY(ClickOk(dlg).isEmpty());
        }
        QCOMPARE(Fields(record).value(QStringLiteral("clr") + slider.at(0).toUpper()).toDouble(), position * 0.1);
        {
            SettingsDlg dlg(nullptr, &record);
            QCOMPARE(Find<QSlider>(&dlg, slider + "Slider")->value(), position);
            QCOMPARE(Find<QLabel>(&dlg, slider + "ValueLabel")->text(), label);
        }
        record.Save();
        ConvertSettings restarted;
        restarted.Load();
        SettingsDlg dlg(nullptr, &restarted);
        QCOMPARE(Find<QSlider>(&dlg, slider + "Slider")->value(), position);
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
        QVariantMap expected = Fields(record);
        SettingsDlg dlg(nullptr, &record);
        dlg.show();
        for (const char *name : { "noConvertResultsCheck", "noCrashReportCheck", "wtEnableCheck", "wiEnableCheck",
                                  "transformEnableCheck" })
            Click(&dlg, name);
        QCOMPARE(ClickOk(dlg), (QStringList{ "Watermark Text", "Watermmark text is empty!" }));
        QTest::keyClicks(Find<QLineEdit>(&dlg, "wtContentEdit"), text);
        QCOMPARE(ClickOk(dlg), (QStringList{ "Watermark Image", "Watermmark image is empty!" }));
        Find<QLineEdit>(&dlg, "wiFileEdit")->setText(QStringLiteral("/nowhere/logo.png"));
        QCOMPARE(ClickOk(dlg), (QStringList{ "Transform", "No transform is set!" }));
        QVERIFY(dlg.isVisible() && Find<QCheckBox>(&dlg, "transformEnableCheck")->isChecked());
        QVERIFY2(Diff(record, expected).isEmpty(), qPrintable(Diff(record, expected)));
        QVERIFY(OptionKeys().isEmpty());

        Click(&dlg, transform + "Check");
        QVERIFY(ClickOk(dlg).isEmpty());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        expected.insert(QVariantMap{ { "wtEnable", true }, { "wtContent", text }, { "wiEnable", true },
                                     { "wiFile", "/nowhere/logo.png" }, { "transform", true }, { transform, true } });
        QVERIFY2(Diff(record, expected).isEmpty(), qPrintable(Diff(record, expected)));
        QCOMPARE(Option("ReportCResults"), QVariant(false));
        QCOMPARE(Option("ReportCrash"), QVariant(false));
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
        SettingsDlg dlg(nullptr, &record);
        dlg.show();
        Click(&dlg, "wtEnableCheck");
        QTest::keyClicks(Find<QLineEdit>(&dlg, "wtContentEdit"), "mark");
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
        record.wtCR = 10;
        record.wtCG = 20;
        record.wtCB = 30;
        record.wtEnable = true;
        record.wtContent = QStringLiteral("mark");
        SettingsDlg dlg(nullptr, &record);
        dlg.show();
        QCOMPARE(Find(&dlg, "wtColorButton")->styleSheet(), ColorSheet("#0a141e"));
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
            QCOMPARE(seen, (QStringList{ "Select Text Color", "#000000" }));
            QCOMPARE(Find(&dlg, "wtColorButton")->styleSheet(), ColorSheet("#ff8000"));
        }
        QCOMPARE(record.GetWTColor(), QColor(10, 20, 30)); // not before OK
        QVERIFY(ClickOk(dlg).isEmpty());
        QCOMPARE(record.GetWTColor(), QColor(255, 128, 0));
    }

    void watermarkImageBrowse()
    {
        ConvertSettings record;
        record.wiEnable = true;
        const QString pictures = fixture.path("Pictures");
        QCOMPARE(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation), pictures);
        const QString file = pictures + "/new logo.png";
        QVERIFY(TestSupport::WriteBytes(file, "x"));
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
            QCOMPARE(seen, (QStringList{ "Select Watermark Image", pictures, "Image Files (" + patterns.join(' ') + ')' }));
            QCOMPARE(Find<QLineEdit>(&dlg, "wiFileEdit")->text(), file);
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
        {
            QSettings store(QStringLiteral("Korvent"), QStringLiteral("Reelway"));
            if (reportCrash.isValid())
                store.setValue(QStringLiteral("Settings/ReportCrash"), reportCrash);
            if (reportCResults.isValid())
                store.setValue(QStringLiteral("Settings/ReportCResults"), reportCResults);
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
            const QString name = fonts->itemText(i);
            if (name != record.wtFontName && QFontInfo(QFont(name)).family() == name)
                family = name;
        }
        QVERIFY(!family.isEmpty());
        for (const char *name : { "clrEnableCheck", "wtEnableCheck", "wtItalicButton", "wtUnderlineButton",
                                  "wtCustomAlignRadio", "wiEnableCheck", "wiCustomAlignRadio",
                                  "transformEnableCheck", "rotateCheck", "hFlipCheck" })
            Click(&dlg, name);
        const struct {
            const char *name;
            int value;
        } values[] = { { "brightnessSlider", -4 }, { "contrastSlider", 12 }, { "saturationSlider", 0 },
                       { "gammaSlider", 25 },      { "wtOpacitySlider", 40 }, { "wiScaleSlider", 250 },
                       { "wtXOffsetSpin", 12 },    { "wtYOffsetSpin", 88 },   { "wiYOffsetSpin", 7 } };
        for (const auto &v : values)
            Find(&dlg, v.name)->setProperty("value", v.value);
        QTest::keyClicks(Find<QLineEdit>(&dlg, "wtContentEdit"), "Reelway ©");
        fonts->setCurrentText(family);
        Find<QComboBox>(&dlg, "wtFontSizeCombo")->setCurrentIndex(2);
        Find<QComboBox>(&dlg, "wtAlignCombo")->setCurrentIndex(3);
        Click(&dlg, "wtEnableCheck"); // switched off again: its values are still saved
        Find<QLineEdit>(&dlg, "wiFileEdit")->setText(QStringLiteral("/pics/logo.png"));
        QCOMPARE(Find<QLabel>(&dlg, "wiScaleValueLabel")->text(), QStringLiteral("250%"));
        Find<QComboBox>(&dlg, "wiAlignCombo")->setCurrentIndex(4);
        auto *rotate = Find<QComboBox>(&dlg, "rotateCombo");
        rotate->setCurrentIndex(2);
        Click(&dlg, "transformEnableCheck"); // off and on again keeps to "Rotate"
        QVERIFY(!rotate->isEnabled());
        Click(&dlg, "transformEnableCheck");
        QVERIFY(rotate->isEnabled());

        QVERIFY(ClickOk(dlg).isEmpty());
        QVariantMap expected = Fields(ConvertSettings());
        expected.insert(QVariantMap{
            { "clrEnable", true },  { "clrB", -4 * 0.1 },       { "clrC", 12 * 0.1 },     { "clrS", 0.0 },
            { "clrG", 25 * 0.1 },   { "wtContent", "Reelway ©" }, { "wtFontName", family }, { "wtFontSize", 12.0 },
            { "wtFontI", true },    { "wtFontU", true },        { "wtOpc", 40 },          { "wtCAlign", true },
            { "wtAlign", 3 },       { "wtCAlignX", 12 },        { "wtCAlignY", 88 },      { "wiEnable", true },
            { "wiFile", "/pics/logo.png" }, { "wiScale", 250 }, { "wiCAlign", true },     { "wiAlign", 4 },
            { "wiCAlignY", 7 },     { "transform", true },      { "rotate", true },       { "rotateDegree", 2 },
            { "hFlip", true },
        });
        QVERIFY2(Diff(record, expected).isEmpty(), qPrintable(Diff(record, expected)));

        SettingsDlg again(nullptr, &record);
        again.show();
        QVERIFY(!Find(&again, "wtXOffsetSpin")->isEnabled()); // page is off
        QVERIFY(Find<QRadioButton>(&again, "wtCustomAlignRadio")->isChecked());
        QVERIFY(Find(&again, "rotateCombo")->isEnabled());
        QVERIFY(ClickOk(again).isEmpty());
        QVERIFY2(Diff(record, expected).isEmpty(), qPrintable(Diff(record, expected)));
    }

    void storedValuesShownWithinRange()
    {
        ConvertSettings record;
        record.wtOpc = 0;
        record.wiScale = 1000;
        record.clrB = 1e300;
        record.clrG = std::numeric_limits<double>::quiet_NaN();
        record.clrC = -1e300;
        record.wtAlign = 9;
        record.rotateDegree = -1;
        record.wtFontSize = 12.5;
        SettingsDlg dlg(nullptr, &record);
        dlg.show();
        QCOMPARE(Shown(&dlg, { "wtOpacityValueLabel", "wiScaleValueLabel", "brightnessValueLabel", "contrastValueLabel",
                               "gammaValueLabel", "wtAlignCombo", "rotateCombo", "wtFontSizeCombo" }),
                 (QStringList{ "1", "500%", "1", "-2", "0.1", "", "", "12.5" }));
        QVERIFY(ClickOk(dlg).isEmpty());
        QCOMPARE(record.wtFontSize, 12.5);
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
