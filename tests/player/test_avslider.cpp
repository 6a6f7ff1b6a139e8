#include "player/avslider.h"
#include "testsupport.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QtTest>

#include <memory>

namespace {

const QSize kSliderSize(300, 24);

// Every signal a slider emits, in order, as "name" or "name(value)".
class SignalLog : public QObject
{
public:
    explicit SignalLog(QSlider *slider)
    {
        connect(slider, &QSlider::sliderPressed, this, [this] { log << "pressed"; });
        connect(slider, &QSlider::sliderReleased, this, [this] { log << "released"; });
        connect(slider, &QSlider::sliderMoved, this, [this](int v) { log << QStringLiteral("moved(%1)").arg(v); });
        connect(slider, &QSlider::valueChanged, this, [this](int v) { log << QStringLiteral("value(%1)").arg(v); });
    }
    QStringList log;
};

template <typename Slider>
std::unique_ptr<Slider> MakeSlider()
{
    auto slider = std::make_unique<Slider>(nullptr);
    slider->setOrientation(Qt::Horizontal);
    slider->setRange(0, 1000);
    slider->setValue(0);
    slider->setFixedSize(kSliderSize);
    slider->show();
    return slider;
}

// QSlider::initStyleOption is protected; a member pointer taken through a subclass
// may be applied to any QSlider.
struct StyleOptionAccess : QSlider
{
    static QStyleOptionSlider Of(const QSlider *slider)
    {
        QStyleOptionSlider option;
        (slider->*(&StyleOptionAccess::initStyleOption))(&option);
        return option;
    }
};

QRect HandleRect(QSlider *slider)
{
    const QStyleOptionSlider option = StyleOptionAccess::Of(slider);
    return slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
}

void Send(QWidget *widget, QEvent::Type type, const QPoint &pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class TestAVSlider : public QObject
{
    Q_OBJECT

private slots:
    void clickBesideHandleJumpsThere();
    void dragOnHandleBehavesAsQSlider();
    void otherButtonsBehaveAsQSlider_data();
    void otherButtonsBehaveAsQSlider();
    void hoverReportsValueUnderCursor_data();
    void hoverReportsValueUnderCursor();
    void enterAndLeaveAreReported();
};

void TestAVSlider::clickBesideHandleJumpsThere()
{
    auto slider = MakeSlider<AVSlider>();
    SignalLog signalLog(slider.get());
    QSignalSpy released(slider.get(), &QSlider::sliderReleased);
    QVERIFY(released.isValid());
    const QPoint click(200, kSliderSize.height() / 2);
    QVERIFY(!HandleRect(slider.get()).contains(click));

    Send(slider.get(), QEvent::MouseButtonPress, click, Qt::LeftButton, Qt::LeftButton);
    QVERIFY(!slider->isSliderDown());
    const QRect handle = HandleRect(slider.get());
    QVERIFY2(qAbs(handle.center().x() - click.x()) <= 1,
             qPrintable(QStringLiteral("handle centre %1, click %2").arg(handle.center().x()).arg(click.x())));
    QVERIFY(slider->value() > 600 && slider->value() < 700);
    const QStringList expected = { QStringLiteral("value(%1)").arg(slider->value()),
                                   QStringLiteral("moved(%1)").arg(slider->value()), QStringLiteral("pressed") };
    QCOMPARE(signalLog.log, expected);

    Send(slider.get(), QEvent::MouseButtonRelease, click, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(released.count(), 0);
    QCOMPARE(signalLog.log, expected);
}

void TestAVSlider::dragOnHandleBehavesAsQSlider()
{
    auto plain = MakeSlider<QSlider>();
    auto slider = MakeSlider<AVSlider>();
    plain->setValue(300);
    slider->setValue(300);
    SignalLog plainLog(plain.get());
    SignalLog sliderLog(slider.get());

    for (QSlider *s : { static_cast<QSlider *>(plain.get()), static_cast<QSlider *>(slider.get()) }) {
        const QPoint grab = HandleRect(s).center();
        Send(s, QEvent::MouseButtonPress, grab, Qt::LeftButton, Qt::LeftButton);
        QVERIFY(s->isSliderDown());
        Send(s, QEvent::MouseMove, grab + QPoint(60, 0), Qt::NoButton, Qt::LeftButton);
        Send(s, QEvent::MouseButtonRelease, grab + QPoint(60, 0), Qt::LeftButton, Qt::NoButton);
        QVERIFY(!s->isSliderDown());
    }
    QCOMPARE(slider->value(), plain->value());
    QVERIFY(slider->value() > 300);
    QCOMPARE(sliderLog.log, plainLog.log);
    QCOMPARE(sliderLog.log.first(), QStringLiteral("pressed"));
    QCOMPARE(sliderLog.log.last(), QStringLiteral("released"));
}

void TestAVSlider::otherButtonsBehaveAsQSlider_data()
{
    QTest::addColumn<int>("button");
    QTest::newRow("right button") << int(Qt::RightButton);
    QTest::newRow("middle button") << int(Qt::MiddleButton);
}

void TestAVSlider::otherButtonsBehaveAsQSlider()
{
    QFETCH(int, button);
    const auto mouseButton = static_cast<Qt::MouseButton>(button);
    auto plain = MakeSlider<QSlider>();
    auto slider = MakeSlider<AVSlider>();
    SignalLog plainLog(plain.get());
    SignalLog sliderLog(slider.get());
    const QPoint click(220, kSliderSize.height() / 2);

    for (QSlider *s : { static_cast<QSlider *>(plain.get()), static_cast<QSlider *>(slider.get()) }) {
        Send(s, QEvent::MouseButtonPress, click, mouseButton, mouseButton);
        Send(s, QEvent::MouseButtonRelease, click, mouseButton, Qt::NoButton);
    }
    QCOMPARE(slider->value(), plain->value());
    QCOMPARE(sliderLog.log, plainLog.log);
}

void TestAVSlider::hoverReportsValueUnderCursor_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("expected");
    QTest::newRow("far left") << 0 << 0;
    QTest::newRow("far right") << kSliderSize.width() - 1 << 1000;
    QTest::newRow("beyond the right edge") << kSliderSize.width() + 20 << 1000;
    QTest::newRow("middle") << kSliderSize.width() / 2 << 500;
}

void TestAVSlider::hoverReportsValueUnderCursor()
{
    QFETCH(int, x);
    QFETCH(int, expected);
    auto slider = MakeSlider<AVSlider>();
    QVERIFY(slider->hasMouseTracking());
    QSignalSpy hovered(slider.get(), &AVSlider::sliderHovered);
    QVERIFY(hovered.isValid());

    Send(slider.get(), QEvent::MouseMove, QPoint(x, 5), Qt::NoButton, Qt::NoButton);
    QCOMPARE(hovered.count(), 1);
    QCOMPARE(hovered.at(0).at(0).toInt(), x);
    QVERIFY2(qAbs(hovered.at(0).at(1).toInt() - expected) <= 5,
             qPrintable(QString::number(hovered.at(0).at(1).toInt())));
    QCOMPARE(slider->value(), 0);
}

void TestAVSlider::enterAndLeaveAreReported()
{
    auto slider = MakeSlider<AVSlider>();
    QSignalSpy entered(slider.get(), &AVSlider::sliderEntered);
    QSignalSpy leaved(slider.get(), &AVSlider::sliderLeaved);
    QVERIFY(entered.isValid() && leaved.isValid());

    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(slider.get(), &enter);
    QCOMPARE(entered.count(), 1);
    QCOMPARE(leaved.count(), 0);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(slider.get(), &leave);
    QCOMPARE(entered.count(), 1);
    QCOMPARE(leaved.count(), 1);
}

QTEST_MAIN(TestAVSlider)
#include "test_avslider.moc"
