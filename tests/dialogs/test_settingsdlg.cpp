#include "convert/convertsettings.h"
#include "dialogs/settingsdlg.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFontComboBox>
#include <QImageReader>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>

namespace {

// Replaces the platform's colour and file pickers with scripted answers.
class ScriptedSettingsDlg final : public SettingsDlg
{
public:
    using SettingsDlg::SettingsDlg;

    QColor nextColor;
    QString nextFile;
    int colorCalls = 0;
    QString fileFolder;
    QString fileFilter;

protected:
    QColor PickColor() override
    {
        ++colorCalls;
        return nextColor;
    }
    QString PickImageFile(const QString &folder, const QString &filter) override
    {
        fileFolder = folder;
        fileFilter = filter;
        return nextFile;
    }
};

template <typename T>
T *Find(QWidget &dlg, const QString &name)
{
    T *w = dlg.findChild<T *>(name);
    if (!w)
        qWarning("no child %s", qPrintable(name));
    return w;
}

// Clicks OK and answers the title and text of the warning box it raised, if any.
QStringList ClickOk(QDialog &dlg)
{
    auto seen = std::make_shared<QStringList>();
    TestSupport::ModalCloser<QMessageBox> closer(
        [seen](QMessageBox *box) {
            *seen << box->windowTitle() << box->text();
            box->done(QMessageBox::Ok);
        },
        60);
    dlg.findChild<QPushButton *>(QStringLiteral("okButton"))->click();
    if (!closer.found())
        QTest::qWait(120); // let the closer run out, so it cannot catch a later test's box
    return *seen;
}

// Every field of the record, named, so a comparison failure says which one differs.
QVariantMap Fields(const ConvertSettings &s)
{
    return {
        { "tgtFolder", s.tgtFolder }, { "tgtFormat", s.tgtFormat }, { "tgtID", s.tgtID },
        { "exists", s.exists }, { "threeGPSize", s.threeGPSize }, { "scale", s.scale },
        { "scaleKA", s.scaleKA }, { "scaleA", s.scaleA }, { "scaleW", s.scaleW }, { "scaleH", s.scaleH },
        { "clrEnable", s.clrEnable }, { "clrB", s.clrB }, { "clrC", s.clrC }, { "clrS", s.clrS },
        { "clrG", s.clrG }, { "wtEnable", s.wtEnable }, { "wtContent", s.wtContent },
        { "wtFontName", s.wtFontName }, { "wtFontSize", s.wtFontSize }, { "wtFontB", s.wtFontB },
        { "wtFontI", s.wtFontI }, { "wtFontU", s.wtFontU }, { "wtCR", s.wtCR }, { "wtCG", s.wtCG },
        { "wtCB", s.wtCB }, { "wtOpc", s.wtOpc }, { "wtCAlign", s.wtCAlign }, { "wtAlign", s.wtAlign },
        { "wtCAlignX", s.wtCAlignX }, { "wtCAlignY", s.wtCAlignY }, { "wiEnable", s.wiEnable },
        { "wiFile", s.wiFile }, { "wiScale", s.wiScale }, { "wiCAlign", s.wiCAlign }, { "wiAlign", s.wiAlign },
        { "wiCAlignX", s.wiCAlignX }, { "wiCAlignY", s.wiCAlignY }, { "transform", s.transform },
        { "rotate", s.rotate }, { "rotateDegree", s.rotateDegree }, { "hFlip", s.hFlip }, { "vFlip", s.vFlip },
    };
}

// The fields whose values differ, each with both values.
QStringList Diff(const QVariantMap &actual, const QVariantMap &expected)
{
    QStringList diff;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (actual.value(it.key()) != it.value())
            diff << QStringLiteral("%1: %2 != %3").arg(it.key(), actual.value(it.key()).toString(), it->toString());
    }
    return diff;
}

QStringList OptionKeys()
{
    QSettings store(QStringLiteral("Korvent"), QStringLiteral("Reelway"));
    store.beginGroup(QStringLiteral("Settings"));
    return store.childKeys();
}

QVariant OptionValue(const QString &key)
{
    QSettings store(QStringLiteral("Korvent"), QStringLiteral("Reelway"));
    return store.value(QStringLiteral("Settings/") + key);
}

void WriteOption(const QString &key, bool value)
{
    QSettings store(QStringLiteral("Korvent"), QStringLiteral("Reelway"));
    store.setValue(QStringLiteral("Settings/") + key, value);
}

QString ColorSheet(const QString &name)
{
    return QStringLiteral("QToolButton{ background: %1; }").arg(name);
}

} // namespace

class TestSettingsDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void firstRunState();
    void effectPagesEnabling();
    void alignmentRadios_data();
    void alignmentRadios();
    void sliderPositionsReopen_data();
    void sliderPositionsReopen();
    void validation_data();
    void validation();
    void warningsComeInOrder();
    void optionsNotSavedWhileEffectFails();
    void fontSize_data();
    void fontSize();
    void textColor();
    void colorDialogOpensAtBlack();
    void watermarkImageBrowse();
    void watermarkImageFilterShowsImages();
    void optionPagesReflectStore_data();
    void optionPagesReflectStore();
    void confirmOnEmptyStoreWritesTrue();
    void cancelWritesNothing_data();
    void cancelWritesNothing();
    void okSavesEveryFieldAndReopensUnchanged();
    void storedValuesClamped();

private:
    QTemporaryDir tmp;
};

void TestSettingsDlg::initTestCase()
{
    QVERIFY(tmp.isValid());
    TestSupport::IsolateUserDirs(tmp.path());
}

void TestSettingsDlg::init()
{
    TestSupport::ClearSettings();
}

void TestSettingsDlg::firstRunState()
{
    ConvertSettings record;
    record.Load();
    SettingsDlg dlg(nullptr, &record);

    QCOMPARE(dlg.size(), QSize(550, 400));
    QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
    auto *tabs = Find<QTabWidget>(dlg, "tabWidget");
    QVERIFY(tabs);
    QStringList titles;
    for (int i = 0; i < tabs->count(); ++i)
        titles << tabs->tabText(i);
    QCOMPARE(titles, (QStringList{ "Color", "Watermark Text", "Watermark Image", "Transform", "Startup", "Convert" }));

    // Color
    QCOMPARE(Find<QCheckBox>(dlg, "clrEnableCheck")->text(),
             QStringLiteral("Enable color adjustment during conversion"));
    QVERIFY(!Find<QCheckBox>(dlg, "clrEnableCheck")->isChecked());
    const struct {
        const char *name;
        int minimum, maximum, position;
        const char *label;
    } sliders[] = {
        { "brightness", -10, 10, 0, "0" },
        { "contrast", -20, 20, 10, "1" },
        { "saturation", 0, 30, 10, "1" },
        { "gamma", 1, 100, 10, "1" },
    };
    for (const auto &s : sliders) {
        auto *slider = Find<QSlider>(dlg, QLatin1String(s.name) + "Slider");
        QVERIFY(slider);
        QCOMPARE(slider->minimum(), s.minimum);
        QCOMPARE(slider->maximum(), s.maximum);
        QCOMPARE(slider->value(), s.position);
        QVERIFY(!slider->isEnabled());
        QCOMPARE(Find<QLabel>(dlg, QLatin1String(s.name) + "ValueLabel")->text(), QLatin1String(s.label));
    }

    // Watermark Text
    QVERIFY(!Find<QCheckBox>(dlg, "wtEnableCheck")->isChecked());
    QCOMPARE(Find<QLineEdit>(dlg, "wtContentEdit")->text(), QString());
    QVERIFY(!Find<QLineEdit>(dlg, "wtContentEdit")->isEnabled());
    auto *fontName = Find<QFontComboBox>(dlg, "wtFontNameCombo");
    QVERIFY(!fontName->isEditable());
    QCOMPARE(fontName->currentFont().family(), record.wtFontName);
    auto *fontSize = Find<QComboBox>(dlg, "wtFontSizeCombo");
    QVERIFY(fontSize->isEditable());
    QCOMPARE(fontSize->currentText(), QStringLiteral("20"));
    QCOMPARE(fontSize->count(), 33);
    QCOMPARE(fontSize->itemText(0), QStringLiteral("8"));
    QCOMPARE(fontSize->itemText(32), QStringLiteral("72"));
    auto *validator = qobject_cast<const QIntValidator *>(fontSize->validator());
    QVERIFY(validator);
    QCOMPARE(validator->bottom(), 1);
    QCOMPARE(validator->top(), 100);
    for (const char *name : { "wtBoldButton", "wtItalicButton", "wtUnderlineButton" }) {
        auto *button = Find<QToolButton>(dlg, name);
        QVERIFY(button->isCheckable());
        QVERIFY(!button->isChecked());
        QVERIFY(!button->icon().isNull());
    }
    QCOMPARE(Find<QToolButton>(dlg, "wtColorButton")->styleSheet(), ColorSheet("#000000"));
    QCOMPARE(Find<QSlider>(dlg, "wtOpacitySlider")->value(), 100);
    QCOMPARE(Find<QSlider>(dlg, "wtOpacitySlider")->minimum(), 1);
    QCOMPARE(Find<QLabel>(dlg, "wtOpacityValueLabel")->text(), QStringLiteral("100"));
    QVERIFY(Find<QRadioButton>(dlg, "wtNormalAlignRadio")->isChecked());
    QVERIFY(!Find<QRadioButton>(dlg, "wtCustomAlignRadio")->isChecked());
    auto *wtAlign = Find<QComboBox>(dlg, "wtAlignCombo");
    QCOMPARE(wtAlign->count(), 5);
    QCOMPARE(wtAlign->currentText(), QStringLiteral("Top Left"));
    QCOMPARE(wtAlign->itemText(4), QStringLiteral("Center"));
    QCOMPARE(wtAlign->itemData(4).toInt(), 4);
    QCOMPARE(Find<QSpinBox>(dlg, "wtXOffsetSpin")->value(), 0);
    QCOMPARE(Find<QSpinBox>(dlg, "wtYOffsetSpin")->maximum(), 100);

    // Watermark Image
    QVERIFY(!Find<QCheckBox>(dlg, "wiEnableCheck")->isChecked());
    QCOMPARE(Find<QLineEdit>(dlg, "wiFileEdit")->text(), QString());
    QCOMPARE(Find<QSlider>(dlg, "wiScaleSlider")->value(), 100);
    QCOMPARE(Find<QSlider>(dlg, "wiScaleSlider")->minimum(), 10);
    QCOMPARE(Find<QSlider>(dlg, "wiScaleSlider")->maximum(), 500);
    QCOMPARE(Find<QLabel>(dlg, "wiScaleValueLabel")->text(), QStringLiteral("100%"));
    QVERIFY(Find<QRadioButton>(dlg, "wiNormalAlignRadio")->isChecked());
    QCOMPARE(Find<QComboBox>(dlg, "wiAlignCombo")->currentText(), QStringLiteral("Top Left"));

    // Transform
    QVERIFY(!Find<QCheckBox>(dlg, "transformEnableCheck")->isChecked());
    auto *rotate = Find<QComboBox>(dlg, "rotateCombo");
    QCOMPARE(rotate->count(), 3);
    QCOMPARE(rotate->currentText(), QStringLiteral("Clockwise 90 degree"));
    QCOMPARE(rotate->itemText(2), QStringLiteral("Clockwise 270 degree"));
    for (const char *name : { "rotateCheck", "hFlipCheck", "vFlipCheck" }) {
        QVERIFY(!Find<QCheckBox>(dlg, name)->isChecked());
        QVERIFY(!Find<QCheckBox>(dlg, name)->isEnabled());
    }
    QVERIFY(!rotate->isEnabled());

    // Options
    QCOMPARE(Find<QCheckBox>(dlg, "noCrashReportCheck")->text(),
             QStringLiteral("Do not show crash report after startup"));
    QCOMPARE(Find<QCheckBox>(dlg, "noConvertResultsCheck")->text(),
             QStringLiteral("Do not show convert results after conversion"));
    QVERIFY(!Find<QCheckBox>(dlg, "noCrashReportCheck")->isChecked());
    QVERIFY(!Find<QCheckBox>(dlg, "noConvertResultsCheck")->isChecked());
    QVERIFY(OptionKeys().isEmpty()); // building only reads
}

void TestSettingsDlg::effectPagesEnabling()
{
    ConvertSettings record;
    SettingsDlg dlg(nullptr, &record);
    dlg.show();

    Find<QCheckBox>(dlg, "clrEnableCheck")->click();
    for (const char *name : { "brightnessSlider", "contrastSlider", "saturationSlider", "gammaSlider" })
        QVERIFY(Find<QSlider>(dlg, name)->isEnabled());
    QVERIFY(Find<QLabel>(dlg, "gammaValueLabel")->isEnabled());
    Find<QCheckBox>(dlg, "clrEnableCheck")->click();
    QVERIFY(!Find<QSlider>(dlg, "gammaSlider")->isEnabled());
    QVERIFY(!Find<QLabel>(dlg, "brightnessLabel")->isEnabled());

    Find<QCheckBox>(dlg, "wtEnableCheck")->click();
    for (const char *name : { "wtContentEdit", "wtFontNameCombo", "wtFontSizeCombo", "wtFontStyleBox",
                              "wtBoldButton", "wtColorButton", "wtOpacitySlider", "wtNormalAlignRadio",
                              "wtCustomAlignRadio", "wtAlignCombo" })
        QVERIFY2(Find<QWidget>(dlg, name)->isEnabled(), name);
    QVERIFY(!Find<QSpinBox>(dlg, "wtXOffsetSpin")->isEnabled());

    Find<QCheckBox>(dlg, "wiEnableCheck")->click();
    QVERIFY(Find<QPushButton>(dlg, "wiBrowseButton")->isEnabled());
    QVERIFY(Find<QSlider>(dlg, "wiScaleSlider")->isEnabled());
    QVERIFY(!Find<QLineEdit>(dlg, "wiFileEdit")->isEnabled()); // only "Browse..." sets the path
    Find<QCheckBox>(dlg, "wiEnableCheck")->click();
    QVERIFY(!Find<QPushButton>(dlg, "wiBrowseButton")->isEnabled());
    QVERIFY(!Find<QLineEdit>(dlg, "wiFileEdit")->isEnabled());

    auto *transform = Find<QCheckBox>(dlg, "transformEnableCheck");
    auto *rotate = Find<QCheckBox>(dlg, "rotateCheck");
    auto *rotateCombo = Find<QComboBox>(dlg, "rotateCombo");
    transform->click();
    QVERIFY(rotate->isEnabled());
    QVERIFY(Find<QCheckBox>(dlg, "hFlipCheck")->isEnabled());
    QVERIFY(Find<QCheckBox>(dlg, "vFlipCheck")->isEnabled());
    QVERIFY(!rotateCombo->isEnabled());
    rotate->click();
    QVERIFY(rotateCombo->isEnabled());
    transform->click();
    QVERIFY(!rotate->isEnabled());
    QVERIFY(!rotateCombo->isEnabled());
    transform->click();
    QVERIFY(rotateCombo->isEnabled()); // "Rotate" stayed checked
}

void TestSettingsDlg::alignmentRadios_data()
{
    QTest::addColumn<QString>("page");
    QTest::newRow("watermark text") << "wt";
    QTest::newRow("watermark image") << "wi";
}

void TestSettingsDlg::alignmentRadios()
{
    QFETCH(QString, page);
    ConvertSettings record;
    SettingsDlg dlg(nullptr, &record);
    dlg.show();
    Find<QCheckBox>(dlg, page + "EnableCheck")->click();

    auto *normal = Find<QRadioButton>(dlg, page + "NormalAlignRadio");
    auto *custom = Find<QRadioButton>(dlg, page + "CustomAlignRadio");
    auto *combo = Find<QComboBox>(dlg, page + "AlignCombo");
    const QStringList offsetNames = { "XOffsetLabel", "XOffsetSpin", "XPercentLabel",
                                      "YOffsetLabel", "YOffsetSpin", "YPercentLabel" };
    auto offsetsEnabled = [&](bool expected) {
        for (const QString &name : offsetNames) {
            if (Find<QWidget>(dlg, page + name)->isEnabled() != expected)
                return false;
        }
        return true;
    };
    QVERIFY(combo->isEnabled());
    QVERIFY(offsetsEnabled(false));

    custom->click();
    QVERIFY(custom->isChecked());
    QVERIFY(!normal->isChecked());
    QVERIFY(!combo->isEnabled());
    QVERIFY(offsetsEnabled(true));

    normal->click();
    QVERIFY(!custom->isChecked());
    QVERIFY(combo->isEnabled());
    QVERIFY(offsetsEnabled(false));

    // Switching the page off and on again keeps to the checked radio.
    custom->click();
    Find<QCheckBox>(dlg, page + "EnableCheck")->click();
    QVERIFY(!combo->isEnabled());
    QVERIFY(offsetsEnabled(false));
    Find<QCheckBox>(dlg, page + "EnableCheck")->click();
    QVERIFY(!combo->isEnabled());
    QVERIFY(offsetsEnabled(true));

    if (page == "wt")
        QTest::keyClicks(Find<QLineEdit>(dlg, "wtContentEdit"), "mark");
    else
        Find<QLineEdit>(dlg, "wiFileEdit")->setText(QStringLiteral("/pics/logo.png"));
    QVERIFY(ClickOk(dlg).isEmpty());
    QCOMPARE(page == "wt" ? record.wtCAlign : record.wiCAlign, true);
}

void TestSettingsDlg::sliderPositionsReopen_data()
{
    QTest::addColumn<QString>("slider");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("label");
    // 43, 81, 86 and 91 are the positions whose value / 0.1 falls just below the integer.
    QTest::newRow("gamma 43") << "gamma" << 43 << "4.3";
    QTest::newRow("gamma 81") << "gamma" << 81 << "8.1";
    QTest::newRow("gamma 86") << "gamma" << 86 << "8.6";
    QTest::newRow("gamma 91") << "gamma" << 91 << "9.1";
    QTest::newRow("gamma 1") << "gamma" << 1 << "0.1";
    QTest::newRow("brightness -10") << "brightness" << -10 << "-1";
    QTest::newRow("brightness -3") << "brightness" << -3 << "-0.3";
    QTest::newRow("contrast -20") << "contrast" << -20 << "-2";
    QTest::newRow("contrast 15") << "contrast" << 15 << "1.5";
    QTest::newRow("saturation 0") << "saturation" << 0 << "0";
    QTest::newRow("saturation 29") << "saturation" << 29 << "2.9";
}

void TestSettingsDlg::sliderPositionsReopen()
{
    QFETCH(QString, slider);
    QFETCH(int, position);
    QFETCH(QString, label);

    ConvertSettings record;
    {
        SettingsDlg dlg(nullptr, &record);
        dlg.show();
        Find<QCheckBox>(dlg, "clrEnableCheck")->click();
        Find<QSlider>(dlg, slider + "Slider")->setValue(position);
        QCOMPARE(Find<QLabel>(dlg, slider + "ValueLabel")->text(), label);
        QVERIFY(ClickOk(dlg).isEmpty());
    }
    const double stored = slider == "brightness" ? record.clrB
        : slider == "contrast"                   ? record.clrC
        : slider == "saturation"                 ? record.clrS
                                                 : record.clrG;
    QCOMPARE(stored, position * 0.1);
    {
        SettingsDlg dlg(nullptr, &record);
        QCOMPARE(Find<QSlider>(dlg, slider + "Slider")->value(), position);
        QCOMPARE(Find<QLabel>(dlg, slider + "ValueLabel")->text(), label);
    }
    // And across a restart, through the settings store.
    record.Save();
    ConvertSettings restarted;
    restarted.Load();
    SettingsDlg dlg(nullptr, &restarted);
    QCOMPARE(Find<QSlider>(dlg, slider + "Slider")->value(), position);
}

void TestSettingsDlg::validation_data()
{
    QTest::addColumn<bool>("textOn");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("imageOn");
    QTest::addColumn<QString>("image");
    QTest::addColumn<bool>("transformOn");
    QTest::addColumn<QString>("transforms");
    QTest::addColumn<QStringList>("warning");

    const QStringList none;
    QTest::newRow("all off") << false << "" << false << "" << false << "" << none;
    QTest::newRow("text on, empty") << true << "" << false << "" << false << ""
                                    << QStringList{ "Watermark Text", "Watermmark text is empty!" };
    QTest::newRow("text on, one blank") << true << " " << false << "" << false << "" << none;
    QTest::newRow("text off, empty") << false << "" << false << "" << false << "" << none;
    QTest::newRow("image on, no path") << false << "" << true << "" << false << ""
                                       << QStringList{ "Watermark Image", "Watermmark image is empty!" };
    QTest::newRow("image on, path") << false << "" << true << "/nowhere/logo.png" << false << "" << none;
    QTest::newRow("transform on, nothing set") << false << "" << false << "" << true << ""
                                               << QStringList{ "Transform", "No transform is set!" };
    QTest::newRow("transform on, only vertical flip") << false << "" << false << "" << true << "vFlip" << none;
    QTest::newRow("transform on, only horizontal flip") << false << "" << false << "" << true << "hFlip" << none;
    QTest::newRow("transform on, only rotate") << false << "" << false << "" << true << "rotate" << none;
}

void TestSettingsDlg::validation()
{
    QFETCH(bool, textOn);
    QFETCH(QString, text);
    QFETCH(bool, imageOn);
    QFETCH(QString, image);
    QFETCH(bool, transformOn);
    QFETCH(QString, transforms);
    QFETCH(QStringList, warning);

    ConvertSettings record;
    record.wiFile = image;
    const QVariantMap before = Fields(record);
    ScriptedSettingsDlg dlg(nullptr, &record);
    dlg.show();
    if (textOn)
        Find<QCheckBox>(dlg, "wtEnableCheck")->click();
    QTest::keyClicks(Find<QLineEdit>(dlg, "wtContentEdit"), text);
    if (imageOn)
        Find<QCheckBox>(dlg, "wiEnableCheck")->click();
    if (transformOn)
        Find<QCheckBox>(dlg, "transformEnableCheck")->click();
    if (!transforms.isEmpty())
        Find<QCheckBox>(dlg, transforms + "Check")->click();

    QCOMPARE(ClickOk(dlg), warning);
    if (warning.isEmpty()) {
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(record.wtEnable, textOn);
        QCOMPARE(record.wtContent, text);
        QCOMPARE(record.wiEnable, imageOn);
        QCOMPARE(record.transform, transformOn);
        QCOMPARE(record.vFlip, transforms == "vFlip");
        QCOMPARE(OptionKeys().size(), 2);
    } else {
        QVERIFY(dlg.isVisible());
        QVERIFY2(Diff(Fields(record), before).isEmpty(), qPrintable(Diff(Fields(record), before).join("; ")));
        QVERIFY(OptionKeys().isEmpty());
        // The edits stay in place.
        QCOMPARE(Find<QCheckBox>(dlg, "wtEnableCheck")->isChecked(), textOn);
        QCOMPARE(Find<QCheckBox>(dlg, "transformEnableCheck")->isChecked(), transformOn);
    }
}

void TestSettingsDlg::warningsComeInOrder()
{
    ConvertSettings record;
    SettingsDlg dlg(nullptr, &record);
    dlg.show();
    Find<QCheckBox>(dlg, "wtEnableCheck")->click();
    Find<QCheckBox>(dlg, "wiEnableCheck")->click();
    Find<QCheckBox>(dlg, "transformEnableCheck")->click();

    QCOMPARE(ClickOk(dlg).value(1), QStringLiteral("Watermmark text is empty!"));
    QTest::keyClicks(Find<QLineEdit>(dlg, "wtContentEdit"), "Reelway");
    QCOMPARE(ClickOk(dlg).value(1), QStringLiteral("Watermmark image is empty!"));
    Find<QLineEdit>(dlg, "wiFileEdit")->setText(QStringLiteral("/nowhere/logo.png"));
    QCOMPARE(ClickOk(dlg).value(1), QStringLiteral("No transform is set!"));
    QVERIFY(dlg.isVisible());
    QCOMPARE(record.wtEnable, false);

    Find<QCheckBox>(dlg, "hFlipCheck")->click();
    QVERIFY(ClickOk(dlg).isEmpty());
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(record.wtContent, QStringLiteral("Reelway"));
    QCOMPARE(record.wiFile, QStringLiteral("/nowhere/logo.png"));
    QCOMPARE(record.hFlip, true);
}

void TestSettingsDlg::optionsNotSavedWhileEffectFails()
{
    ConvertSettings record;
    SettingsDlg dlg(nullptr, &record);
    dlg.show();
    Find<QCheckBox>(dlg, "noConvertResultsCheck")->click();
    Find<QCheckBox>(dlg, "noCrashReportCheck")->click();
    Find<QCheckBox>(dlg, "wtEnableCheck")->click();

    QCOMPARE(ClickOk(dlg).value(1), QStringLiteral("Watermmark text is empty!"));
    QVERIFY(OptionKeys().isEmpty());

    QTest::keyClicks(Find<QLineEdit>(dlg, "wtContentEdit"), "x");
    QVERIFY(ClickOk(dlg).isEmpty());
    QCOMPARE(OptionValue("ReportCResults"), QVariant(false));
    QCOMPARE(OptionValue("ReportCrash"), QVariant(false));
}

void TestSettingsDlg::fontSize_data()
{
    QTest::addColumn<double>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("retype");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("saved");

    QTest::newRow("13 typed, not in the list") << 20.0 << "20" << true << "13" << 13.0;
    QTest::newRow("empty saves 0") << 20.0 << "20" << true << "" << 0.0;
    QTest::newRow("letters are refused") << 20.0 << "20" << true << "ab" << 0.0;
    QTest::newRow("1000 is cut at 100") << 20.0 << "20" << true << "1000" << 100.0;
    QTest::newRow("stored 12.5 kept") << 12.5 << "12.5" << false << "" << 12.5;
    QTest::newRow("stored 72 kept") << 72.0 << "72" << false << "" << 72.0;
}

void TestSettingsDlg::fontSize()
{
    QFETCH(double, stored);
    QFETCH(QString, shown);
    QFETCH(bool, retype);
    QFETCH(QString, typed);
    QFETCH(double, saved);

    ConvertSettings record;
    record.wtFontSize = stored;
    SettingsDlg dlg(nullptr, &record);
    dlg.show();
    auto *size = Find<QComboBox>(dlg, "wtFontSizeCombo");
    QCOMPARE(size->currentText(), shown);
    if (retype) {
        Find<QCheckBox>(dlg, "wtEnableCheck")->click();
        QTest::keyClicks(Find<QLineEdit>(dlg, "wtContentEdit"), "mark");
        size->lineEdit()->selectAll();
        QTest::keyClick(size->lineEdit(), Qt::Key_Delete);
        QTest::keyClicks(size->lineEdit(), typed);
    }
    QVERIFY(ClickOk(dlg).isEmpty());
    QCOMPARE(record.wtFontSize, saved);
}

void TestSettingsDlg::textColor()
{
    ConvertSettings record;
    record.wtCR = 10;
    record.wtCG = 20;
    record.wtCB = 30;
    {
        ScriptedSettingsDlg dlg(nullptr, &record);
        dlg.show();
        auto *button = Find<QToolButton>(dlg, "wtColorButton");
        QCOMPARE(button->styleSheet(), ColorSheet("#0a141e"));

        // A cancelled colour dialog answers an invalid colour.
        dlg.nextColor = QColor();
        Find<QCheckBox>(dlg, "wtEnableCheck")->click();
        button->click();
        QCOMPARE(dlg.colorCalls, 1);
        QCOMPARE(button->styleSheet(), ColorSheet("#0a141e"));
        QTest::keyClicks(Find<QLineEdit>(dlg, "wtContentEdit"), "mark");
        QVERIFY(ClickOk(dlg).isEmpty());
        QCOMPARE(record.GetWTColor(), QColor(10, 20, 30));
    }
    {
        ScriptedSettingsDlg dlg(nullptr, &record);
        dlg.show();
        dlg.nextColor = QColor(255, 128, 0);
        Find<QToolButton>(dlg, "wtColorButton")->click();
        QCOMPARE(Find<QToolButton>(dlg, "wtColorButton")->styleSheet(), ColorSheet("#ff8000"));
        QCOMPARE(record.GetWTColor(), QColor(10, 20, 30)); // not before OK
        QVERIFY(ClickOk(dlg).isEmpty());
        QCOMPARE(record.wtCR, 255);
        QCOMPARE(record.wtCG, 128);
        QCOMPARE(record.wtCB, 0);
    }
}

void TestSettingsDlg::colorDialogOpensAtBlack()
{
    ConvertSettings record;
    record.wtCR = 200;
    record.wtEnable = true;
    SettingsDlg dlg(nullptr, &record);
    dlg.show();
    auto *button = Find<QToolButton>(dlg, "wtColorButton");
    const QString sheet = button->styleSheet();

    auto seen = std::make_shared<QStringList>();
    TestSupport::ModalCloser<QColorDialog> closer([seen](QColorDialog *picker) {
        *seen << picker->windowTitle() << picker->currentColor().name();
        picker->reject();
    });
    button->click();
    QVERIFY(closer.found());
    QCOMPARE(*seen, (QStringList{ "Select Text Color", "#000000" }));
    QCOMPARE(button->styleSheet(), sheet);
}

void TestSettingsDlg::watermarkImageBrowse()
{
    ConvertSettings record;
    record.wiEnable = true;
    record.wiFile = QStringLiteral("/old/logo.png");
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    QVERIFY(pictures.startsWith(tmp.path()));
    {
        ScriptedSettingsDlg dlg(nullptr, &record);
        dlg.show();
        auto *path = Find<QLineEdit>(dlg, "wiFileEdit");
        QCOMPARE(path->text(), QStringLiteral("/old/logo.png"));

        dlg.nextFile = QString();
        Find<QPushButton>(dlg, "wiBrowseButton")->click();
        QCOMPARE(path->text(), QStringLiteral("/old/logo.png"));
        QCOMPARE(dlg.fileFolder, pictures);
        QVERIFY(dlg.fileFilter.startsWith("Image Files (*."));
        QVERIFY(dlg.fileFilter.endsWith(')'));

        dlg.nextFile = pictures + "/new logo.png";
        Find<QPushButton>(dlg, "wiBrowseButton")->click();
        QCOMPARE(path->text(), pictures + "/new logo.png");
        QVERIFY(ClickOk(dlg).isEmpty());
        QCOMPARE(record.wiFile, pictures + "/new logo.png");
    }
    {
        // The platform's own dialog: title, start folder, and a cancel that keeps the path.
        SettingsDlg dlg(nullptr, &record);
        dlg.show();
        auto seen = std::make_shared<QStringList>();
        TestSupport::ModalCloser<QFileDialog> closer([seen](QFileDialog *picker) {
            *seen << picker->windowTitle() << picker->directory().absolutePath();
            picker->reject();
        });
        Find<QPushButton>(dlg, "wiBrowseButton")->click();
        QVERIFY(closer.found());
        QCOMPARE(*seen, (QStringList{ "Select Watermark Image", QDir(pictures).absolutePath() }));
        QCOMPARE(Find<QLineEdit>(dlg, "wiFileEdit")->text(), pictures + "/new logo.png");
    }
}

void TestSettingsDlg::watermarkImageFilterShowsImages()
{
    ConvertSettings record;
    record.wiEnable = true;
    ScriptedSettingsDlg dlg(nullptr, &record);
    Find<QPushButton>(dlg, "wiBrowseButton")->click();

    QStringList expected;
    for (const QByteArray &format : QImageReader::supportedImageFormats())
        expected << "*." + QString::fromLatin1(format);
    QCOMPARE(dlg.fileFilter, "Image Files (" + expected.join(' ') + ')');

    // The filter must really select image files in Qt's file dialog.
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QVERIFY(TestSupport::WriteBytes(folder.filePath("a.png"), "x"));
    QVERIFY(TestSupport::WriteBytes(folder.filePath("b.jpg"), "x"));
    QVERIFY(TestSupport::WriteBytes(folder.filePath("c.txt"), "x"));
    QFileDialog picker(nullptr, QString(), folder.path(), dlg.fileFilter);
    picker.setOption(QFileDialog::DontUseNativeDialog);
    picker.show();
    auto *view = picker.findChild<QListView *>(QStringLiteral("listView"));
    QVERIFY(view);
    auto shown = [view] {
        QStringList names;
        for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
            names << view->model()->index(row, 0, view->rootIndex()).data().toString();
        names.sort();
        return names;
    };
    QTRY_COMPARE(shown(), (QStringList{ "a.png", "b.jpg" }));
}

void TestSettingsDlg::optionPagesReflectStore_data()
{
    QTest::addColumn<QVariant>("reportCrash");
    QTest::addColumn<QVariant>("reportCResults");
    QTest::newRow("empty store") << QVariant() << QVariant();
    QTest::newRow("results dialog's do not show again") << QVariant() << QVariant(false);
    QTest::newRow("crash notice's do not show again") << QVariant(false) << QVariant();
    QTest::newRow("both false") << QVariant(false) << QVariant(false);
    QTest::newRow("both true") << QVariant(true) << QVariant(true);
}

void TestSettingsDlg::optionPagesReflectStore()
{
    QFETCH(QVariant, reportCrash);
    QFETCH(QVariant, reportCResults);
    if (reportCrash.isValid())
        WriteOption("ReportCrash", reportCrash.toBool());
    if (reportCResults.isValid())
        WriteOption("ReportCResults", reportCResults.toBool());

    ConvertSettings record;
    SettingsDlg dlg(nullptr, &record);
    QCOMPARE(Find<QCheckBox>(dlg, "noCrashReportCheck")->isChecked(), reportCrash == QVariant(false));
    QCOMPARE(Find<QCheckBox>(dlg, "noConvertResultsCheck")->isChecked(), reportCResults == QVariant(false));
}

void TestSettingsDlg::confirmOnEmptyStoreWritesTrue()
{
    ConvertSettings record;
    {
        SettingsDlg dlg(nullptr, &record);
        dlg.show();
        QVERIFY(ClickOk(dlg).isEmpty());
    }
    QCOMPARE(OptionValue("ReportCrash"), QVariant(true));
    QCOMPARE(OptionValue("ReportCResults"), QVariant(true));

    SettingsDlg dlg(nullptr, &record);
    dlg.show();
    Find<QCheckBox>(dlg, "noConvertResultsCheck")->click();
    QVERIFY(ClickOk(dlg).isEmpty());
    QCOMPARE(OptionValue("ReportCResults"), QVariant(false));
    QCOMPARE(OptionValue("ReportCrash"), QVariant(true));
}

void TestSettingsDlg::cancelWritesNothing_data()
{
    QTest::addColumn<bool>("viaCloseButton");
    QTest::newRow("Cancel") << false;
    QTest::newRow("close button") << true;
}

void TestSettingsDlg::cancelWritesNothing()
{
    QFETCH(bool, viaCloseButton);
    ConvertSettings record;
    const QVariantMap before = Fields(record);
    SettingsDlg dlg(nullptr, &record);

    // Run modally as the main window does; edit every page, then dismiss.
    TestSupport::ModalCloser<SettingsDlg> closer([viaCloseButton](SettingsDlg *d) {
        for (const char *name : { "noCrashReportCheck", "noConvertResultsCheck", "clrEnableCheck", "wtEnableCheck",
                                  "transformEnableCheck", "vFlipCheck" })
            d->findChild<QCheckBox *>(QLatin1String(name))->click();
        d->findChild<QSlider *>(QStringLiteral("gammaSlider"))->setValue(30);
        d->findChild<QLineEdit *>(QStringLiteral("wtContentEdit"))->setText(QStringLiteral("mark"));
        if (viaCloseButton)
            d->close();
        else
            d->findChild<QPushButton *>(QStringLiteral("cancelButton"))->click();
    });
    QCOMPARE(dlg.exec(), int(QDialog::Rejected));
    QVERIFY(closer.found());
    QVERIFY2(Diff(Fields(record), before).isEmpty(), qPrintable(Diff(Fields(record), before).join("; ")));
    QVERIFY(OptionKeys().isEmpty());
}

void TestSettingsDlg::okSavesEveryFieldAndReopensUnchanged()
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

    Find<QCheckBox>(dlg, "clrEnableCheck")->click();
    Find<QSlider>(dlg, "brightnessSlider")->setValue(-4);
    Find<QSlider>(dlg, "contrastSlider")->setValue(12);
    Find<QSlider>(dlg, "saturationSlider")->setValue(0);
    Find<QSlider>(dlg, "gammaSlider")->setValue(25);

    Find<QCheckBox>(dlg, "wtEnableCheck")->click();
    QTest::keyClicks(Find<QLineEdit>(dlg, "wtContentEdit"), "Reelway ©");
    Find<QFontComboBox>(dlg, "wtFontNameCombo")->setCurrentText(family);
    Find<QComboBox>(dlg, "wtFontSizeCombo")->setCurrentIndex(2);
    Find<QToolButton>(dlg, "wtItalicButton")->click();
    Find<QToolButton>(dlg, "wtUnderlineButton")->click();
    Find<QSlider>(dlg, "wtOpacitySlider")->setValue(40);
    Find<QComboBox>(dlg, "wtAlignCombo")->setCurrentIndex(3);
    Find<QRadioButton>(dlg, "wtCustomAlignRadio")->click();
    Find<QSpinBox>(dlg, "wtXOffsetSpin")->setValue(12);
    Find<QSpinBox>(dlg, "wtYOffsetSpin")->setValue(88);
    // Switched off again: its values are still saved.
    Find<QCheckBox>(dlg, "wtEnableCheck")->click();

    Find<QCheckBox>(dlg, "wiEnableCheck")->click();
    Find<QLineEdit>(dlg, "wiFileEdit")->setText(QStringLiteral("/pics/logo.png"));
    Find<QSlider>(dlg, "wiScaleSlider")->setValue(250);
    QCOMPARE(Find<QLabel>(dlg, "wiScaleValueLabel")->text(), QStringLiteral("250%"));
    Find<QComboBox>(dlg, "wiAlignCombo")->setCurrentIndex(4);

    Find<QCheckBox>(dlg, "transformEnableCheck")->click();
    Find<QCheckBox>(dlg, "rotateCheck")->click();
    Find<QComboBox>(dlg, "rotateCombo")->setCurrentIndex(2);
    Find<QCheckBox>(dlg, "hFlipCheck")->click();

    QVERIFY(ClickOk(dlg).isEmpty());
    QVariantMap expected = Fields(ConvertSettings());
    expected["clrEnable"] = true;
    expected["clrB"] = -4 * 0.1;
    expected["clrC"] = 12 * 0.1;
    expected["clrS"] = 0.0;
    expected["clrG"] = 25 * 0.1;
    expected["wtContent"] = QStringLiteral("Reelway ©");
    expected["wtFontName"] = family;
    expected["wtFontSize"] = 12.0;
    expected["wtFontI"] = true;
    expected["wtFontU"] = true;
    expected["wtOpc"] = 40;
    expected["wtCAlign"] = true;
    expected["wtAlign"] = 3;
    expected["wtCAlignX"] = 12;
    expected["wtCAlignY"] = 88;
    expected["wiEnable"] = true;
    expected["wiFile"] = QStringLiteral("/pics/logo.png");
    expected["wiScale"] = 250;
    expected["wiAlign"] = 4;
    expected["transform"] = true;
    expected["rotate"] = true;
    expected["rotateDegree"] = 2;
    expected["hFlip"] = true;
    QVERIFY2(Diff(Fields(record), expected).isEmpty(), qPrintable(Diff(Fields(record), expected).join("; ")));

    // Opening and confirming again without a change keeps every field.
    SettingsDlg again(nullptr, &record);
    again.show();
    QVERIFY(!Find<QComboBox>(again, "wtAlignCombo")->isEnabled());
    QVERIFY(!Find<QSpinBox>(again, "wtXOffsetSpin")->isEnabled()); // page is off
    QVERIFY(Find<QRadioButton>(again, "wtCustomAlignRadio")->isChecked());
    QVERIFY(Find<QComboBox>(again, "rotateCombo")->isEnabled());
    QVERIFY(ClickOk(again).isEmpty());
    QVERIFY2(Diff(Fields(record), expected).isEmpty(), qPrintable(Diff(Fields(record), expected).join("; ")));
}

void TestSettingsDlg::storedValuesClamped()
{
    ConvertSettings record;
    record.wtOpc = 1;
    record.wiScale = 10;
    record.clrB = 1e300;
    record.clrG = std::numeric_limits<double>::quiet_NaN();
    record.clrC = -1e300;
    record.wtAlign = 9;
    record.rotateDegree = -1;
    SettingsDlg dlg(nullptr, &record);
    QCOMPARE(Find<QLabel>(dlg, "wtOpacityValueLabel")->text(), QStringLiteral("1"));
    QCOMPARE(Find<QLabel>(dlg, "wiScaleValueLabel")->text(), QStringLiteral("10%"));
    QCOMPARE(Find<QSlider>(dlg, "brightnessSlider")->value(), 10);
    QCOMPARE(Find<QSlider>(dlg, "contrastSlider")->value(), -20);
    QCOMPARE(Find<QSlider>(dlg, "gammaSlider")->value(), 1);
    QCOMPARE(Find<QLabel>(dlg, "brightnessValueLabel")->text(), QStringLiteral("1"));
    QCOMPARE(Find<QComboBox>(dlg, "wtAlignCombo")->currentIndex(), -1);
    QCOMPARE(Find<QComboBox>(dlg, "rotateCombo")->currentIndex(), -1);

    ConvertSettings outside;
    outside.wtOpc = 0;
    outside.wiScale = 1000;
    SettingsDlg clamped(nullptr, &outside);
    QCOMPARE(Find<QLabel>(clamped, "wtOpacityValueLabel")->text(), QStringLiteral("1"));
    QCOMPARE(Find<QLabel>(clamped, "wiScaleValueLabel")->text(), QStringLiteral("500%"));
}

QTEST_MAIN(TestSettingsDlg)
#include "test_settingsdlg.moc"
