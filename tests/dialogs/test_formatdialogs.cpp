#include "convert/convertsettings.h"
#include "dialogs/scaledlg.h"
#include "dialogs/threegp2dlg.h"
#include "dialogs/threegpdlg.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <memory>

namespace {

template <typename T>
T *Find(QWidget &dlg, const char *name)
{
    T *w = dlg.findChild<T *>(QLatin1String(name));
    if (!w)
        qWarning("no child %s", name);
    return w;
}

struct ScaleFields
{
    bool scale;
    bool scaleKA;
    int scaleA;
    int scaleW;
    int scaleH;
    int threeGPSize;

    explicit ScaleFields(const ConvertSettings &s)
        : scale(s.scale), scaleKA(s.scaleKA), scaleA(s.scaleA), scaleW(s.scaleW), scaleH(s.scaleH),
          threeGPSize(s.threeGPSize)
    {
    }
    bool operator==(const ScaleFields &o) const
    {
        return scale == o.scale && scaleKA == o.scaleKA && scaleA == o.scaleA && scaleW == o.scaleW
            && scaleH == o.scaleH && threeGPSize == o.threeGPSize;
    }
};

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

} // namespace

class TestFormatDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void scaleFirstRun();
    void scaleEnablingRules();
    void keepAspectArithmetic_data();
    void keepAspectArithmetic();
    void keepAspectOffLeavesOtherSide();
    void keepAspectCheckedRecomputesAndOddHeightWarns();
    void storedOddWidthBlocksOkEvenWithScaleOff();
    void scaleOkWritesRecord();
    void scaleStoredValuesOutOfRange();
    void threeGPDialogs();
    void threeGPIndexRoundTripAndRestart();
    void threeGPOutOfRangeIndexSelectsNothing();
    void cancelChangesNothing_data();
    void cancelChangesNothing();

private:
    QTemporaryDir tmp;
};

void TestFormatDialogs::initTestCase()
{
    QVERIFY(tmp.isValid());
    TestSupport::IsolateUserDirs(tmp.path());
    TestSupport::ClearSettings();
}

void TestFormatDialogs::scaleFirstRun()
{
    ConvertSettings record;
    record.Load();
    ScaleDlg dlg(&record, nullptr);

    QCOMPARE(dlg.windowTitle(), QStringLiteral("Format Settings"));
    QCOMPARE(dlg.size(), QSize(400, 180));
    QCOMPARE(dlg.minimumSize(), dlg.maximumSize());

    auto *scale = Find<QCheckBox>(dlg, "scaleCheck");
    auto *keep = Find<QCheckBox>(dlg, "keepAspectCheck");
    auto *aspect = Find<QComboBox>(dlg, "aspectCombo");
    auto *width = Find<QSpinBox>(dlg, "widthSpin");
    auto *height = Find<QSpinBox>(dlg, "heightSpin");
    QVERIFY(scale && keep && aspect && width && height);

    QCOMPARE(scale->text(), QStringLiteral("Scale"));
    QVERIFY(!scale->isChecked());
    QVERIFY(scale->isEnabled());
    QCOMPARE(keep->text(), QStringLiteral("Keep Aspect"));
    QVERIFY(!keep->isChecked());
    QVERIFY(!keep->isEnabled());

    QCOMPARE(aspect->count(), 2); // "Auto" is not offered
    QCOMPARE(aspect->itemText(0), QStringLiteral("4:3"));
    QCOMPARE(aspect->itemData(0).toInt(), 0);
    QCOMPARE(aspect->itemText(1), QStringLiteral("16:9"));
    QCOMPARE(aspect->itemData(1).toInt(), 1);
    QCOMPARE(aspect->currentText(), QStringLiteral("4:3"));
    QVERIFY(!aspect->isEnabled());

    QCOMPARE(width->value(), 768);
    QCOMPARE(height->value(), 576);
    QCOMPARE(width->minimum(), 1);
    QCOMPARE(width->maximum(), 50000);
    QCOMPARE(height->minimum(), 1);
    QCOMPARE(height->maximum(), 50000);
    QVERIFY(!width->isEnabled());
    QVERIFY(!height->isEnabled());
    QCOMPARE(Find<QLabel>(dlg, "widthLabel")->text(), QStringLiteral("Width:"));
    QCOMPARE(Find<QLabel>(dlg, "heightLabel")->text(), QStringLiteral("Height:"));
    QVERIFY(!Find<QLabel>(dlg, "widthLabel")->isEnabled());
    QVERIFY(!Find<QLabel>(dlg, "heightLabel")->isEnabled());
}

void TestFormatDialogs::scaleEnablingRules()
{
    ConvertSettings record;
    ScaleDlg dlg(&record, nullptr);
    dlg.show();
    auto *scale = Find<QCheckBox>(dlg, "scaleCheck");
    auto *keep = Find<QCheckBox>(dlg, "keepAspectCheck");
    auto *aspect = Find<QComboBox>(dlg, "aspectCombo");
    auto *width = Find<QSpinBox>(dlg, "widthSpin");
    auto *height = Find<QSpinBox>(dlg, "heightSpin");

    scale->click();
    QVERIFY(keep->isEnabled());
    QVERIFY(!aspect->isEnabled()); // needs "Keep Aspect" as well
    QVERIFY(width->isEnabled());
    QVERIFY(height->isEnabled());
    QVERIFY(Find<QLabel>(dlg, "widthLabel")->isEnabled());

    keep->click();
    QVERIFY(aspect->isEnabled());
    keep->click();
    QVERIFY(!aspect->isEnabled());
    keep->click();

    scale->click();
    QVERIFY(!keep->isEnabled());
    QVERIFY(!aspect->isEnabled());
    QVERIFY(!width->isEnabled());
    QVERIFY(!height->isEnabled());
    QVERIFY(!Find<QLabel>(dlg, "heightLabel")->isEnabled());
    QCOMPARE(record.scale, false); // nothing reaches the record before OK
    QCOMPARE(record.scaleKA, false);
}

void TestFormatDialogs::keepAspectArithmetic_data()
{
    QTest::addColumn<int>("aspect");
    QTest::addColumn<bool>("editWidth");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expectedWidth");
    QTest::addColumn<int>("expectedHeight");

    QTest::newRow("4:3 width 1024") << 0 << true << 1024 << 1024 << 768;
    QTest::newRow("4:3 height 600") << 0 << false << 600 << 800 << 600;
    QTest::newRow("4:3 width 770 drops the fraction") << 0 << true << 770 << 770 << 577;
    QTest::newRow("16:9 width 1280") << 1 << true << 1280 << 1280 << 720;
    QTest::newRow("16:9 height 720") << 1 << false << 720 << 1280 << 720;
    QTest::newRow("16:9 height 100 drops the fraction") << 1 << false << 100 << 177 << 100;
    QTest::newRow("4:3 width 1 clamps height to 1") << 0 << true << 1 << 1 << 1;
    QTest::newRow("16:9 height 50000 clamps width") << 1 << false << 50000 << 50000 << 50000;
}

void TestFormatDialogs::keepAspectArithmetic()
{
    QFETCH(int, aspect);
    QFETCH(bool, editWidth);
    QFETCH(int, value);
    QFETCH(int, expectedWidth);
    QFETCH(int, expectedHeight);

    ConvertSettings record;
    record.scale = true;
    record.scaleKA = true;
    record.scaleA = aspect;
    ScaleDlg dlg(&record, nullptr);
    auto *width = Find<QSpinBox>(dlg, "widthSpin");
    auto *height = Find<QSpinBox>(dlg, "heightSpin");
    QCOMPARE(Find<QComboBox>(dlg, "aspectCombo")->currentIndex(), aspect);
    // Loading does not recompute.
    QCOMPARE(width->value(), 768);
    QCOMPARE(height->value(), 576);

    QSignalSpy widthSpy(width, qOverload<int>(&QSpinBox::valueChanged));
    QSignalSpy heightSpy(height, qOverload<int>(&QSpinBox::valueChanged));
    QVERIFY(widthSpy.isValid() && heightSpy.isValid());
    (editWidth ? width : height)->setValue(value);

    QCOMPARE(width->value(), expectedWidth);
    QCOMPARE(height->value(), expectedHeight);
    // The recomputed box stays silent, so it never feeds back into the edited one.
    QCOMPARE(widthSpy.count(), editWidth ? 1 : 0);
    QCOMPARE(heightSpy.count(), editWidth ? 0 : 1);
}

void TestFormatDialogs::keepAspectOffLeavesOtherSide()
{
    ConvertSettings record;
    record.scale = true;
    ScaleDlg dlg(&record, nullptr);
    auto *width = Find<QSpinBox>(dlg, "widthSpin");
    auto *height = Find<QSpinBox>(dlg, "heightSpin");

    width->setValue(1024);
    QCOMPARE(height->value(), 576);
    height->setValue(100);
    QCOMPARE(width->value(), 1024);
}

void TestFormatDialogs::keepAspectCheckedRecomputesAndOddHeightWarns()
{
    ConvertSettings record;
    record.scale = true;
    record.scaleW = 770;
    const ScaleFields before(record);
    ScaleDlg dlg(&record, nullptr);
    dlg.show();
    auto *keep = Find<QCheckBox>(dlg, "keepAspectCheck");
    auto *aspect = Find<QComboBox>(dlg, "aspectCombo");
    QCOMPARE(aspect->currentText(), QStringLiteral("4:3"));
    QCOMPARE(Find<QSpinBox>(dlg, "heightSpin")->value(), 576);

    keep->click();
    QVERIFY(aspect->isEnabled());
    QCOMPARE(Find<QSpinBox>(dlg, "widthSpin")->value(), 770);
    QCOMPARE(Find<QSpinBox>(dlg, "heightSpin")->value(), 577);

    const QStringList warning = ClickOk(dlg);
    QCOMPARE(warning, (QStringList{ "Format Settings", "Scale width or height must be even number!" }));
    QVERIFY(dlg.isVisible());
    QVERIFY(ScaleFields(record) == before);

    // Switching the aspect recomputes too, and an even result lets OK through.
    aspect->setCurrentIndex(1);
    QCOMPARE(Find<QSpinBox>(dlg, "heightSpin")->value(), 433);
    Find<QSpinBox>(dlg, "widthSpin")->setValue(1280);
    QCOMPARE(Find<QSpinBox>(dlg, "heightSpin")->value(), 720);
    QVERIFY(ClickOk(dlg).isEmpty());
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(record.scaleKA, true);
    QCOMPARE(record.scaleA, 1);
    QCOMPARE(record.scaleW, 1280);
    QCOMPARE(record.scaleH, 720);
}

void TestFormatDialogs::storedOddWidthBlocksOkEvenWithScaleOff()
{
    ConvertSettings record;
    record.scaleW = 767;
    const ScaleFields before(record);
    ScaleDlg dlg(&record, nullptr);
    dlg.show();
    QVERIFY(!Find<QCheckBox>(dlg, "scaleCheck")->isChecked());

    QCOMPARE(ClickOk(dlg), (QStringList{ "Format Settings", "Scale width or height must be even number!" }));
    QVERIFY(dlg.isVisible());
    QVERIFY(ScaleFields(record) == before);

    Find<QPushButton>(dlg, "cancelButton")->click();
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QVERIFY(ScaleFields(record) == before);
}

void TestFormatDialogs::scaleOkWritesRecord()
{
    ConvertSettings record;
    ScaleDlg dlg(&record, nullptr);
    dlg.show();
    Find<QCheckBox>(dlg, "scaleCheck")->click();
    Find<QSpinBox>(dlg, "widthSpin")->setValue(640);
    Find<QSpinBox>(dlg, "heightSpin")->setValue(360);

    QVERIFY(ClickOk(dlg).isEmpty());
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(record.scale, true);
    QCOMPARE(record.scaleKA, false);
    QCOMPARE(record.scaleA, 0);
    QCOMPARE(record.scaleW, 640);
    QCOMPARE(record.scaleH, 360);

    ScaleDlg again(&record, nullptr);
    QVERIFY(Find<QCheckBox>(again, "scaleCheck")->isChecked());
    QVERIFY(Find<QCheckBox>(again, "keepAspectCheck")->isEnabled());
    QVERIFY(!Find<QComboBox>(again, "aspectCombo")->isEnabled());
    QCOMPARE(Find<QSpinBox>(again, "widthSpin")->value(), 640);
    QCOMPARE(Find<QSpinBox>(again, "heightSpin")->value(), 360);
}

void TestFormatDialogs::scaleStoredValuesOutOfRange()
{
    ConvertSettings record;
    record.scale = true;
    record.scaleKA = true;
    record.scaleA = 2; // "Auto" is stored but not offered
    record.scaleW = 60000;
    record.scaleH = -4;
    ScaleDlg dlg(&record, nullptr);
    dlg.show();
    QCOMPARE(Find<QComboBox>(dlg, "aspectCombo")->currentIndex(), -1);
    QCOMPARE(Find<QSpinBox>(dlg, "widthSpin")->value(), 50000);
    QCOMPARE(Find<QSpinBox>(dlg, "heightSpin")->value(), 1);

    // Without a known aspect nothing is recomputed.
    Find<QSpinBox>(dlg, "heightSpin")->setValue(2000);
    QCOMPARE(Find<QSpinBox>(dlg, "widthSpin")->value(), 50000);

    QVERIFY(ClickOk(dlg).isEmpty());
    QCOMPARE(record.scaleA, -1);
    QCOMPARE(record.scaleW, 50000);
    QCOMPARE(record.scaleH, 2000);
}

void TestFormatDialogs::threeGPDialogs()
{
    ConvertSettings record;
    ThreeGP2Dlg dlg2(&record, nullptr);
    ThreeGPDlg dlg(&record, nullptr);
    QCOMPARE(dlg2.windowTitle(), QStringLiteral("3GP2 Settings"));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("3GP Settings"));
    for (ThreeGP2Dlg *d : { &dlg2, static_cast<ThreeGP2Dlg *>(&dlg) }) {
        QCOMPARE(d->size(), QSize(400, 100));
        QCOMPARE(Find<QLabel>(*d, "videoSizeLabel")->text(), QStringLiteral("Video Size: "));
        auto *combo = Find<QComboBox>(*d, "videoSizeCombo");
        QVERIFY(combo);
        const QStringList sizes = { "128x96", "176x144", "352x288", "704x576", "1408x1152" };
        QCOMPARE(combo->count(), sizes.size());
        for (int i = 0; i < sizes.size(); ++i) {
            QCOMPARE(combo->itemText(i), sizes.at(i));
            QCOMPARE(combo->itemData(i).toInt(), i);
        }
        QCOMPARE(combo->currentText(), QStringLiteral("704x576"));
    }
}

void TestFormatDialogs::threeGPIndexRoundTripAndRestart()
{
    ConvertSettings record;
    record.Load();
    {
        ThreeGPDlg dlg(&record, nullptr);
        dlg.show();
        auto *combo = Find<QComboBox>(dlg, "videoSizeCombo");
        QCOMPARE(combo->currentIndex(), 3);
        combo->setCurrentText(QStringLiteral("176x144"));
        QVERIFY(ClickOk(dlg).isEmpty());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }
    QCOMPARE(record.threeGPSize, 1);
    {
        ThreeGP2Dlg dlg(&record, nullptr);
        QCOMPARE(Find<QComboBox>(dlg, "videoSizeCombo")->currentText(), QStringLiteral("176x144"));
    }

    // A restart: the record is saved at shutdown and a new one loaded at start.
    record.Save();
    ConvertSettings restarted;
    restarted.Load();
    QCOMPARE(restarted.threeGPSize, 3);
    ThreeGPDlg dlg(&restarted, nullptr);
    QCOMPARE(Find<QComboBox>(dlg, "videoSizeCombo")->currentText(), QStringLiteral("704x576"));
}

void TestFormatDialogs::threeGPOutOfRangeIndexSelectsNothing()
{
    for (int index : { -1, 5, 1000 }) {
        ConvertSettings record;
        record.threeGPSize = index;
        ThreeGP2Dlg dlg(&record, nullptr);
        QCOMPARE(Find<QComboBox>(dlg, "videoSizeCombo")->currentIndex(), -1);
    }
}

void TestFormatDialogs::cancelChangesNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("viaCloseButton");
    QTest::newRow("scale, Cancel") << "scale" << false;
    QTest::newRow("scale, close button") << "scale" << true;
    QTest::newRow("3gp2, Cancel") << "3gp2" << false;
    QTest::newRow("3gp, close button") << "3gp" << true;
}

void TestFormatDialogs::cancelChangesNothing()
{
    QFETCH(QString, kind);
    QFETCH(bool, viaCloseButton);

    ConvertSettings record;
    const ScaleFields before(record);
    std::unique_ptr<AVCodecDlg> dlg;
    if (kind == "scale")
        dlg = std::make_unique<ScaleDlg>(&record, nullptr);
    else if (kind == "3gp2")
        dlg = std::make_unique<ThreeGP2Dlg>(&record, nullptr);
    else
        dlg = std::make_unique<ThreeGPDlg>(&record, nullptr);

    // Runs modally, as the main window does, and is edited and dismissed from inside.
    TestSupport::ModalCloser<AVCodecDlg> closer([viaCloseButton](AVCodecDlg *d) {
        if (auto *scale = d->findChild<QCheckBox *>(QStringLiteral("scaleCheck"))) {
            scale->click();
            d->findChild<QCheckBox *>(QStringLiteral("keepAspectCheck"))->click();
            d->findChild<QSpinBox *>(QStringLiteral("widthSpin"))->setValue(1280);
        } else {
            d->findChild<QComboBox *>(QStringLiteral("videoSizeCombo"))->setCurrentIndex(0);
        }
        if (viaCloseButton)
            d->close();
        else
            d->findChild<QPushButton *>(QStringLiteral("cancelButton"))->click();
    });
    QCOMPARE(dlg->exec(), int(QDialog::Rejected));
    QVERIFY(closer.found());
    QVERIFY(ScaleFields(record) == before);
}

QTEST_MAIN(TestFormatDialogs)
#include "test_formatdialogs.moc"
