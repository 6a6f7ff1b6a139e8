#include "convert/convertsettings.h"
#include "dialogs/scaledlg.h"
#include "dialogs/threegp2dlg.h"
#include "dialogs/threegpdlg.h"
#include "dialogtest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSpinBox>
#include <QtTest>

using namespace DialogTest;

namespace {

QVariantList ScaleFields(const ConvertSettings &s)
{
    return { s.scale, s.scaleKA, s.scaleA, s.scaleW, s.scaleH, s.threeGPSize };
}

const QStringList OddSizeWarning = { "Format Settings", "Scale width or height must be even number!" };

} // namespace

class TestFormatDialogs : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        TestSupport::IsolateUserDirs(tmp.path());
        TestSupport::ClearSettings();
    }

    void scaleEnablingRules()
    {
        ConvertSettings record;
        record.Load();
        ScaleDlg dlg(&record, nullptr);
        dlg.show();
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Format Settings"));
        auto *aspect = Find<QComboBox>(dlg, "aspectCombo");
        QCOMPARE(QStringList({ aspect->itemText(0), aspect->itemText(1) }), QStringList({ "4:3", "16:9" }));
        QCOMPARE(aspect->count(), 2); // "Auto" is not offered
        QCOMPARE(Find<QSpinBox>(dlg, "widthSpin")->value(), 768);
        QCOMPARE(Find<QSpinBox>(dlg, "heightSpin")->value(), 576);

        const QStringList sizes = { "keepAspectCheck", "widthSpin", "heightSpin", "widthLabel", "heightLabel" };
        const QStringList all = sizes + QStringList{ "aspectCombo" };
        QCOMPARE(Enabled(dlg, all), QStringList());
        Click(dlg, "scaleCheck");
        QCOMPARE(Enabled(dlg, all), sizes);
        Click(dlg, "keepAspectCheck");
        QCOMPARE(Enabled(dlg, all), all);
        Click(dlg, "keepAspectCheck");
        QVERIFY(!aspect->isEnabled());
        Click(dlg, "keepAspectCheck");
        Click(dlg, "scaleCheck");
        QCOMPARE(Enabled(dlg, all), QStringList());
        QCOMPARE(record.scale || record.scaleKA, false); // nothing reaches the record before OK
    }

    void sideArithmetic_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<int>("aspect");
        QTest::addColumn<bool>("editWidth");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("expectedWidth");
        QTest::addColumn<int>("expectedHeight");

        QTest::newRow("4:3 width 1024") << true << 0 << true << 1024 << 1024 << 768;
        QTest::newRow("4:3 height 600") << true << 0 << false << 600 << 800 << 600;
        QTest::newRow("4:3 width 770 drops the fraction") << true << 0 << true << 770 << 770 << 577;
        QTest::newRow("16:9 width 1280") << true << 1 << true << 1280 << 1280 << 720;
        QTest::newRow("16:9 height 100 drops the fraction") << true << 1 << false << 100 << 177 << 100;
        QTest::newRow("4:3 width 1 clamps height to 1") << true << 0 << true << 1 << 1 << 1;
        QTest::newRow("16:9 height 50000 clamps width") << true << 1 << false << 50000 << 50000 << 50000;
        QTest::newRow("keep aspect off, width") << false << 0 << true << 1024 << 1024 << 576;
        QTest::newRow("keep aspect off, height") << false << 1 << false << 100 << 768 << 100;
        QTest::newRow("stored Auto, width") << true << 2 << true << 2000 << 2000 << 576;
    }

    void sideArithmetic()
    {
        QFETCH(bool, keep);
        QFETCH(int, aspect);
        QFETCH(bool, editWidth);
        QFETCH(int, value);
        QFETCH(int, expectedWidth);
        QFETCH(int, expectedHeight);

        ConvertSettings record;
        record.scale = true;
        record.scaleKA = keep;
        record.scaleA = aspect;
        ScaleDlg dlg(&record, nullptr);
        auto *width = Find<QSpinBox>(dlg, "widthSpin");
        auto *height = Find<QSpinBox>(dlg, "heightSpin");
        QCOMPARE(Find<QComboBox>(dlg, "aspectCombo")->currentIndex(), aspect < 2 ? aspect : -1);
        QCOMPARE(width->value(), 768); // loading does not recompute
        QCOMPARE(height->value(), 576);

        QSignalSpy widthSpy(width, qOverload<int>(&QSpinBox::valueChanged));
        QSignalSpy heightSpy(height, qOverload<int>(&QSpinBox::valueChanged));
        (editWidth ? width : height)->setValue(value);
        QCOMPARE(width->value(), expectedWidth);
        QCOMPARE(height->value(), expectedHeight);
        // The recomputed box stays silent, so it never feeds back into the edited one.
        QCOMPARE(widthSpy.count(), editWidth ? 1 : 0);
        QCOMPARE(heightSpy.count(), editWidth ? 0 : 1);
    }

    void keepAspectRecomputesAndOddSizeWarns()
    {
        ConvertSettings record;
        record.scale = true;
        record.scaleW = 770;
        const QVariantList before = ScaleFields(record);
        ScaleDlg dlg(&record, nullptr);
        dlg.show();
        auto *height = Find<QSpinBox>(dlg, "heightSpin");
        Click(dlg, "keepAspectCheck");
        QCOMPARE(height->value(), 577);
        QCOMPARE(ClickOk(dlg), OddSizeWarning);
        QVERIFY(dlg.isVisible());
        QCOMPARE(ScaleFields(record), before);

        // Switching the aspect recomputes too, and an even result lets OK through.
        Find<QComboBox>(dlg, "aspectCombo")->setCurrentIndex(1);
        QCOMPARE(height->value(), 433);
        Find<QSpinBox>(dlg, "widthSpin")->setValue(1280);
        QVERIFY(ClickOk(dlg).isEmpty());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(ScaleFields(record), (QVariantList{ true, true, 1, 1280, 720, 3 }));
    }

    void storedOddWidthBlocksOkEvenWithScaleOff()
    {
        ConvertSettings record;
        record.scaleW = 767;
        const QVariantList before = ScaleFields(record);
        ScaleDlg dlg(&record, nullptr);
        dlg.show();
        QCOMPARE(ClickOk(dlg), OddSizeWarning);
        QVERIFY(dlg.isVisible());
        QCOMPARE(ScaleFields(record), before);
    }

    void scaleOkWritesRecordAndReopens()
    {
        ConvertSettings record;
        {
            ScaleDlg dlg(&record, nullptr);
            dlg.show();
            Click(dlg, "scaleCheck");
            Find<QSpinBox>(dlg, "widthSpin")->setValue(640);
            Find<QSpinBox>(dlg, "heightSpin")->setValue(360);
            QVERIFY(ClickOk(dlg).isEmpty());
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
        }
        QCOMPARE(ScaleFields(record), (QVariantList{ true, false, 0, 640, 360, 3 }));
        ScaleDlg again(&record, nullptr);
        QVERIFY(Find<QCheckBox>(again, "scaleCheck")->isChecked());
        QVERIFY(Find(again, "keepAspectCheck")->isEnabled());
        QVERIFY(!Find(again, "aspectCombo")->isEnabled());
        QCOMPARE(Find<QSpinBox>(again, "heightSpin")->value(), 360);
    }

    void scaleStoredValuesOutOfRange()
    {
        ConvertSettings record;
        record.scale = true;
        record.scaleKA = true;
        record.scaleA = 2; // "Auto" is stored but not offered
        record.scaleW = 60000;
        record.scaleH = -4;
        ScaleDlg dlg(&record, nullptr);
        dlg.show();
        QCOMPARE(Find<QSpinBox>(dlg, "widthSpin")->value(), 50000);
        QCOMPARE(Find<QSpinBox>(dlg, "heightSpin")->value(), 1);
        Find<QSpinBox>(dlg, "heightSpin")->setValue(2000);
        QVERIFY(ClickOk(dlg).isEmpty());
        QCOMPARE(ScaleFields(record), (QVariantList{ true, true, -1, 50000, 2000, 3 }));
    }

    void threeGPDialogs()
    {
        ConvertSettings record;
        record.Load();
        ThreeGP2Dlg dlg2(&record, nullptr);
        ThreeGPDlg dlg(&record, nullptr);
        QCOMPARE(dlg2.windowTitle(), QStringLiteral("3GP2 Settings"));
        QCOMPARE(dlg.windowTitle(), QStringLiteral("3GP Settings"));
        for (ThreeGP2Dlg *d : { &dlg2, static_cast<ThreeGP2Dlg *>(&dlg) }) {
            QCOMPARE(Find<QLabel>(*d, "videoSizeLabel")->text(), QStringLiteral("Video Size: "));
            auto *combo = Find<QComboBox>(*d, "videoSizeCombo");
            QStringList sizes;
            for (int i = 0; i < combo->count(); ++i)
                sizes << combo->itemText(i);
            QCOMPARE(sizes, (QStringList{ "128x96", "176x144", "352x288", "704x576", "1408x1152" }));
            QCOMPARE(combo->currentText(), QStringLiteral("704x576"));
        }
        dlg.show();
        Find<QComboBox>(dlg, "videoSizeCombo")->setCurrentText(QStringLiteral("176x144"));
        QVERIFY(ClickOk(dlg).isEmpty());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(record.threeGPSize, 1);
        ThreeGP2Dlg reopened(&record, nullptr);
        QCOMPARE(Find<QComboBox>(reopened, "videoSizeCombo")->currentText(), QStringLiteral("176x144"));

        // The size is not kept across a restart.
        record.Save();
        ConvertSettings restarted;
        restarted.Load();
        QCOMPARE(restarted.threeGPSize, 3);

        for (int index : { -1, 5, 1000 }) {
            record.threeGPSize = index;
            ThreeGP2Dlg outside(&record, nullptr);
            QCOMPARE(Find<QComboBox>(outside, "videoSizeCombo")->currentIndex(), -1);
        }
    }

    void cancelChangesNothing_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("viaCloseButton");
        QTest::newRow("scale, Cancel") << "scale" << false;
        QTest::newRow("scale, close button") << "scale" << true;
        QTest::newRow("3gp2, Cancel") << "3gp2" << false;
        QTest::newRow("3gp, close button") << "3gp" << true;
    }

    void cancelChangesNothing()
    {
        QFETCH(QString, kind);
        QFETCH(bool, viaCloseButton);
        ConvertSettings record;
        const QVariantList before = ScaleFields(record);
        std::unique_ptr<AVCodecDlg> dlg;
        if (kind == "scale")
            dlg = std::make_unique<ScaleDlg>(&record, nullptr);
        else if (kind == "3gp2")
            dlg = std::make_unique<ThreeGP2Dlg>(&record, nullptr);
        else
            dlg = std::make_unique<ThreeGPDlg>(&record, nullptr);

        TestSupport::ModalCloser<AVCodecDlg> closer([viaCloseButton](AVCodecDlg *d) {
            if (d->findChild<QCheckBox *>(QStringLiteral("scaleCheck"))) {
                Click(*d, "scaleCheck");
                Click(*d, "keepAspectCheck");
                Find<QSpinBox>(*d, "widthSpin")->setValue(1280);
            } else {
                Find<QComboBox>(*d, "videoSizeCombo")->setCurrentIndex(0);
            }
            if (viaCloseButton)
                d->close();
            else
                Click(*d, "cancelButton");
        });
        QCOMPARE(dlg->exec(), int(QDialog::Rejected));
        QVERIFY(closer.found());
        QCOMPARE(ScaleFields(record), before);
    }
};

QTEST_MAIN(TestFormatDialogs)
#include "test_formatdialogs.moc"
