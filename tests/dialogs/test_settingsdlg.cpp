#include "convert/convertsettings.h"
#include "dialogs/settingsdlg.h"
#include "dialogtest.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFontComboBox>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include <limits>

using namespace DialogTest;

namespace {

QVariantMap Fields(const ConvertSettings &s)
{
#define F(field) { QStringLiteral(#field), s.field }
    return { F(tgtFolder), F(tgtFormat), F(tgtID), F(exists), F(threeGPSize), F(scale), F(scaleKA), F(scaleA),
             F(scaleW), F(scaleH), F(clrEnable), F(clrB), F(clrC), F(clrS), F(clrG), F(wtEnable), F(wtContent),
             F(wtFontName), F(wtFontSize), F(wtFontB), F(wtFontI), F(wtFontU), F(wtCR), F(wtCG), F(wtCB), F(wtOpc),
             F(wtCAlign), F(wtAlign), F(wtCAlignX), F(wtCAlignY), F(wiEnable), F(wiFile), F(wiScale), F(wiCAlign),
             F(wiAlign), F(wiCAlignX), F(wiCAlignY), F(transform), F(rotate), F(rotateDegree), F(hFlip), F(vFlip) };
#undef F
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

// What each named label or combo box shows.
QStringList Shown(QWidget &dlg, const QStringList &names)
{
    QStringList texts;
    for (const QString &name : names) {
        auto *combo = dlg.findChild<QComboBox *>(name);
        texts << (combo ? combo->currentText() : Find<QLabel>(dlg, name)->text());
    }
    return texts;
}

QString ColorSheet(const QString &name)
{
    return QStringLiteral("QToolButton{ background: %1; }").arg(name);
}

} // namespace

class TestSettingsDlg : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        TestSupport::IsolateUserDirs(tmp.path());
    }

    void init() { TestSupport::ClearSettings(); }

    void firstRunState()
    {
        ConvertSettings record;
        record.Load();
        SettingsDlg dlg(nullptr, &record);
        auto *tabs = Find<QTabWidget>(dlg, "tabWidget");
        QStringList titles;
        for (int i = 0; i < tabs->count(); ++i)
            titles << tabs->tabText(i);
        QCOMPARE(titles,
                 (QStringList{ "Color", "Watermark Text", "Watermark Image", "Transform", "Startup", "Convert" }));

        QCOMPARE(Shown(dlg, { "brightnessValueLabel", "contrastValueLabel", "saturationValueLabel", "gammaValueLabel",
                              "wtOpacityValueLabel", "wiScaleValueLabel", "wtFontSizeCombo", "rotateCombo" }),
                 (QStringList{ "0", "1", "1", "1", "100", "100%", "20", "Clockwise 90 degree" }));
        QCOMPARE(Find<QFontComboBox>(dlg, "wtFontNameCombo")->currentFont().family(), record.wtFontName);
        QVERIFY(!Find<QToolButton>(dlg, "wtBoldButton")->icon().isNull());
        QCOMPARE(Find(dlg, "wtColorButton")->styleSheet(), ColorSheet("#000000"));
        QCOMPARE(Find<QCheckBox>(dlg, "noConvertResultsCheck")->text(),
                 QStringLiteral("Do not show convert results after conversion"));
        QVERIFY(OptionKeys().isEmpty()); // building only reads
    }

    void pageSwitchEnablesItsControls_data()
    {
        QTest::addColumn<QString>("check");
        QTest::addColumn<QStringList>("follow");
        QTest::addColumn<QStringList>("stayOff");
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
        QFETCH(QString, check);
        QFETCH(QStringList, follow);
        QFETCH(QStringList, stayOff);
        ConvertSettings record;
        SettingsDlg dlg(nullptr, &record);
        dlg.show();
        QCOMPARE(Enabled(dlg, follow + stayOff), QStringList());
        Click(dlg, check);
        QCOMPARE(Enabled(dlg, follow + stayOff), follow);
        Click(dlg, check);
        QCOMPARE(Enabled(dlg, follow + stayOff), QStringList());
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
        Click(dlg, page + "EnableCheck");
        QStringList custom;
        for (const char *name :
             { "XOffsetLabel", "XOffsetSpin", "XPercentLabel", "YOffsetLabel", "YOffsetSpin", "YPercentLabel" })
            custom << page + name;
        const QStringList all = QStringList{ page + "AlignCombo" } + custom;
        Click(dlg, page + "CustomAlignRadio");
        QVERIFY(!Find<QRadioButton>(dlg, page + "NormalAlignRadio")->isChecked());
        QCOMPARE(Enabled(dlg, all), custom);
        Click(dlg, page + "NormalAlignRadio");
        QVERIFY(!Find<QRadioButton>(dlg, page + "CustomAlignRadio")->isChecked());
        QCOMPARE(Enabled(dlg, all), QStringList{ page + "AlignCombo" });

        // Switching the page off and on again keeps to the checked radio.
        Click(dlg, page + "CustomAlignRadio");
        Click(dlg, page + "EnableCheck");
        QCOMPARE(Enabled(dlg, all), QStringList());
        Click(dlg, page + "EnableCheck");
        QCOMPARE(Enabled(dlg, all), custom);
    }

    void sliderPositionsReopen_data()
    {
        QTest::addColumn<QString>("slider");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("label");
        // Positions whose value / 0.1 falls just below the integer.
        for (int gamma : { 43, 81, 86, 91 })
            QTest::addRow("gamma %d", gamma) << "gamma" << gamma << QString::number(gamma / 10.0);
        QTest::newRow("brightness -3") << "brightness" << -3 << "-0.3";
        QTest::newRow("contrast -20") << "contrast" << -20 << "-2";
        QTest::newRow("saturation 0") << "saturation" << 0 << "0";
        QTest::newRow("saturation 29") << "saturation" << 29 << "2.9";
    }

    void sliderPositionsReopen()
    {
        QFETCH(QString, slider);
        QFETCH(int, position);
        QFETCH(QString, label);
        ConvertSettings record;
        {
            SettingsDlg dlg(nullptr, &record);
            dlg.show();
            Click(dlg, "clrEnableCheck");
            Find<QSlider>(dlg, slider + "Slider")->setValue(position);
            QCOMPARE(Find<QLabel>(dlg, slider + "ValueLabel")->text(), label);
            QVERIFY(ClickOk(dlg).isEmpty());
        }
        QCOMPARE(Fields(record).value(QStringLiteral("clr") + slider.at(0).toUpper()).toDouble(), position * 0.1);
        {
            SettingsDlg dlg(nullptr, &record);
            QCOMPARE(Find<QSlider>(dlg, slider + "Slider")->value(), position);
            QCOMPARE(Find<QLabel>(dlg, slider + "ValueLabel")->text(), label);
        }
        record.Save();
        ConvertSettings restarted;
        restarted.Load();
        SettingsDlg dlg(nullptr, &restarted);
        QCOMPARE(Find<QSlider>(dlg, slider + "Slider")->value(), position);
    }

    void warningsInOrderHoldBackEverything_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("transform");
        QTest::newRow("text, horizontal flip") << "Reelway" << "hFlip";
        QTest::newRow("one blank, vertical flip") << " " << "vFlip";
        QTest::newRow("rotate alone") << "x" << "rotate";
    }

    void warningsInOrderHoldBackEverything()
    {
        QFETCH(QString, text);
        QFETCH(QString, transform);
        ConvertSettings record;
        QVariantMap expected = Fields(record);
        SettingsDlg dlg(nullptr, &record);
        dlg.show();
        for (const char *name : { "noConvertResultsCheck", "noCrashReportCheck", "wtEnableCheck", "wiEnableCheck",
                                  "transformEnableCheck" })
            Click(dlg, name);

        QCOMPARE(ClickOk(dlg), (QStringList{ "Watermark Text", "Watermmark text is empty!" }));
        QTest::keyClicks(Find<QLineEdit>(dlg, "wtContentEdit"), text);
        QCOMPARE(ClickOk(dlg), (QStringList{ "Watermark Image", "Watermmark image is empty!" }));
        Find<QLineEdit>(dlg, "wiFileEdit")->setText(QStringLiteral("/nowhere/logo.png"));
        QCOMPARE(ClickOk(dlg), (QStringList{ "Transform", "No transform is set!" }));
        QVERIFY(dlg.isVisible() && Find<QCheckBox>(dlg, "transformEnableCheck")->isChecked());
        QVERIFY2(Diff(record, expected).isEmpty(), qPrintable(Diff(record, expected)));
        QVERIFY(OptionKeys().isEmpty());

        Click(dlg, transform + "Check");
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
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("saved");
        QTest::newRow("13, not in the list") << "13" << 13.0;
        QTest::newRow("empty saves 0") << "" << 0.0;
        QTest::newRow("letters are refused") << "ab" << 0.0;
        QTest::newRow("1000 is cut at 100") << "1000" << 100.0;
    }

    void fontSize()
    {
        QFETCH(QString, typed);
        QFETCH(double, saved);
        ConvertSettings record;
        SettingsDlg dlg(nullptr, &record);
        dlg.show();
        Click(dlg, "wtEnableCheck");
        QTest::keyClicks(Find<QLineEdit>(dlg, "wtContentEdit"), "mark");
        QLineEdit *edit = Find<QComboBox>(dlg, "wtFontSizeCombo")->lineEdit();
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
        QCOMPARE(Find(dlg, "wtColorButton")->styleSheet(), ColorSheet("#0a141e"));
        // Picked, then cancelled: the dialog opens at black whatever the current colour.
        for (const QColor &answer : { QColor(255, 128, 0), QColor() }) {
            auto seen = std::make_shared<QStringList>();
            TestSupport::ModalCloser<QColorDialog> closer([seen, answer](QColorDialog *picker) {
                *seen << picker->windowTitle() << picker->currentColor().name();
                picker->setCurrentColor(answer);
                QMetaObject::invokeMethod(picker, answer.isValid() ? "accept" : "reject");
            });
            Click(dlg, "wtColorButton");
            QVERIFY(closer.found());
            QCOMPARE(*seen, (QStringList{ "Select Text Color", "#000000" }));
            QCOMPARE(Find(dlg, "wtColorButton")->styleSheet(), ColorSheet("#ff8000"));
        }
        QCOMPARE(record.GetWTColor(), QColor(10, 20, 30)); // not before OK
        QVERIFY(ClickOk(dlg).isEmpty());
        QCOMPARE(record.GetWTColor(), QColor(255, 128, 0));
    }

    void watermarkImageBrowse()
    {
        ConvertSettings record;
        record.wiEnable = true;
        const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        QVERIFY(pictures.startsWith(tmp.path()));
        const QString file = pictures + "/new logo.png";
        QVERIFY(TestSupport::WriteBytes(file, "x"));
        QStringList patterns;
        for (const QByteArray &format : QImageReader::supportedImageFormats())
            patterns << "*." + QString::fromLatin1(format);
        SettingsDlg dlg(nullptr, &record);
        dlg.show();
        // Picked, then cancelled: each time the dialog starts in the pictures folder.
        for (bool pick : { true, false }) {
            auto seen = std::make_shared<QStringList>();
            TestSupport::ModalCloser<QFileDialog> closer([seen, pick, file](QFileDialog *picker) {
                *seen << picker->windowTitle() << picker->directory().absolutePath() << picker->nameFilters();
                picker->selectFile(file);
                QMetaObject::invokeMethod(picker, pick ? "accept" : "reject");
            });
            Click(dlg, "wiBrowseButton");
            QVERIFY(closer.found());
            QCOMPARE(*seen, (QStringList{ "Select Watermark Image", QDir(pictures).absolutePath(),
                                          "Image Files (" + patterns.join(' ') + ')' }));
            QCOMPARE(Find<QLineEdit>(dlg, "wiFileEdit")->text(), file);
        }
        QCOMPARE(record.wiFile, QString());
        QVERIFY(ClickOk(dlg).isEmpty());
        QCOMPARE(record.wiFile, file);
    }

    void optionPages_data()
    {
        QTest::addColumn<QVariant>("reportCrash");
        QTest::addColumn<QVariant>("reportCResults");
        QTest::newRow("empty store writes true") << QVariant() << QVariant();
        QTest::newRow("results dialog's do not show again") << QVariant() << QVariant(false);
        QTest::newRow("crash notice's do not show again") << QVariant(false) << QVariant();
        QTest::newRow("both true") << QVariant(true) << QVariant(true);
    }

    void optionPages()
    {
        QFETCH(QVariant, reportCrash);
        QFETCH(QVariant, reportCResults);
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
        QCOMPARE(Find<QCheckBox>(dlg, "noCrashReportCheck")->isChecked(), reportCrash == QVariant(false));
        QCOMPARE(Find<QCheckBox>(dlg, "noConvertResultsCheck")->isChecked(), reportCResults == QVariant(false));
        QVERIFY(ClickOk(dlg).isEmpty());
        QCOMPARE(Option("ReportCrash"), QVariant(reportCrash != QVariant(false)));
        QCOMPARE(Option("ReportCResults"), QVariant(reportCResults != QVariant(false)));
    }

    void cancelWritesNothing_data()
    {
        QTest::addColumn<bool>("viaCloseButton");
        QTest::newRow("Cancel") << false;
        QTest::newRow("close button") << true;
    }

    void cancelWritesNothing()
    {
        QFETCH(bool, viaCloseButton);
        ConvertSettings record;
        const QVariantMap before = Fields(record);
        SettingsDlg dlg(nullptr, &record);
        TestSupport::ModalCloser<SettingsDlg> closer([viaCloseButton](SettingsDlg *d) {
            for (const char *name : { "noCrashReportCheck", "noConvertResultsCheck", "clrEnableCheck",
                                      "wtEnableCheck", "transformEnableCheck", "vFlipCheck" })
                Click(*d, name);
            Find<QSlider>(*d, "gammaSlider")->setValue(30);
            Find<QLineEdit>(*d, "wtContentEdit")->setText(QStringLiteral("mark"));
            if (viaCloseButton)
                d->close();
            else
                Click(*d, "cancelButton");
        });
        QCOMPARE(dlg.exec(), int(QDialog::Rejected));
        QVERIFY(closer.found());
        QVERIFY2(Diff(record, before).isEmpty(), qPrintable(Diff(record, before)));
        QVERIFY(OptionKeys().isEmpty());
    }

    void okSavesEveryFieldAndReopensUnchanged()
    {
        ConvertSettings record;
        SettingsDlg dlg(nullptr, &record);
        dlg.show();
        // A real family rather than an alias such as "Serif", which the combo resolves when reopened.
        QString family;
        auto *fonts = Find<QFontComboBox>(dlg, "wtFontNameCombo");
        for (int i = fonts->count() - 1; i >= 0 && family.isEmpty(); --i) {
            const QString name = fonts->itemText(i);
            if (name != record.wtFontName && QFontInfo(QFont(name)).family() == name)
                family = name;
        }
        QVERIFY(!family.isEmpty());

        for (const char *name : { "clrEnableCheck", "wtEnableCheck", "wtItalicButton", "wtUnderlineButton",
                                  "wtCustomAlignRadio", "wiEnableCheck", "wiCustomAlignRadio",
                                  "transformEnableCheck", "rotateCheck", "hFlipCheck" })
            Click(dlg, name);
        const struct {
            const char *name;
            int value;
        } values[] = { { "brightnessSlider", -4 }, { "contrastSlider", 12 }, { "saturationSlider", 0 },
                       { "gammaSlider", 25 },      { "wtOpacitySlider", 40 }, { "wiScaleSlider", 250 },
                       { "wtXOffsetSpin", 12 },    { "wtYOffsetSpin", 88 },   { "wiYOffsetSpin", 7 } };
        for (const auto &v : values)
            Find(dlg, v.name)->setProperty("value", v.value);
        QTest::keyClicks(Find<QLineEdit>(dlg, "wtContentEdit"), "Reelway ©");
        fonts->setCurrentText(family);
        Find<QComboBox>(dlg, "wtFontSizeCombo")->setCurrentIndex(2);
        Find<QComboBox>(dlg, "wtAlignCombo")->setCurrentIndex(3);
        Click(dlg, "wtEnableCheck"); // switched off again: its values are still saved
        Find<QLineEdit>(dlg, "wiFileEdit")->setText(QStringLiteral("/pics/logo.png"));
        QCOMPARE(Find<QLabel>(dlg, "wiScaleValueLabel")->text(), QStringLiteral("250%"));
        Find<QComboBox>(dlg, "wiAlignCombo")->setCurrentIndex(4);
        auto *rotate = Find<QComboBox>(dlg, "rotateCombo");
        rotate->setCurrentIndex(2);
        Click(dlg, "transformEnableCheck"); // off and on again keeps to "Rotate"
        QVERIFY(!rotate->isEnabled());
        Click(dlg, "transformEnableCheck");
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
        QVERIFY(!Find(again, "wtXOffsetSpin")->isEnabled()); // page is off
        QVERIFY(Find<QRadioButton>(again, "wtCustomAlignRadio")->isChecked());
        QVERIFY(Find(again, "rotateCombo")->isEnabled());
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
        QCOMPARE(Shown(dlg, { "wtOpacityValueLabel", "wiScaleValueLabel", "brightnessValueLabel", "contrastValueLabel",
                              "gammaValueLabel", "wtAlignCombo", "rotateCombo", "wtFontSizeCombo" }),
                 (QStringList{ "1", "500%", "1", "-2", "0.1", "", "", "12.5" }));
        QVERIFY(ClickOk(dlg).isEmpty());
        QCOMPARE(record.wtFontSize, 12.5);
    }
};

QTEST_MAIN(TestSettingsDlg)
#include "test_settingsdlg.moc"
