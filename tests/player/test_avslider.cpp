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
std::unique_ptr<Slider> MakeSlider(int value = 0)
{
    auto slider = std::make_unique<Slider>(nullptr);
    slider->setOrientation(Qt::Horizontal);
    slider->setRange(0, 1000);
    slider->setValue(value);
    slider->setFixedSize(kSliderSize);
    slider->show();
    return slider;
}

// QSlider::initStyleOption is protected; a member pointer taken through a subclass may be applied to any QSlider.
struct StyleOptionAccess : QSlider
{
    static QRect HandleRect(const QSlider *slider)
    {
        QStyleOptionSlider option;
        (slider->*(&StyleOptionAccess::initStyleOption))(&option);
        return slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
    }
};

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
    void elsewhereBehavesAsQSlider_data();
    void elsewhereBehavesAsQSlider();
    void enterHoverLeaveAreReported_data();
    void enterHoverLeaveAreReported();
};

void TestAVSlider::clickBesideHandleJumpsThere()
{
    auto slider = MakeSlider<AVSlider>();
    SignalLog signalLog(slider.get());
    const QPoint click(200, kSliderSize.height() / 2);
    QVERIFY(!StyleOptionAccess::HandleRect(slider.get()).contains(click));

    Send(slider.get(), QEvent::MouseButtonPress, click, Qt::LeftButton, Qt::LeftButton);
    QVERIFY(!slider->isSliderDown());
    const int centre = StyleOptionAccess::HandleRect(slider.get()).center().x();
    QVERIFY2(qAbs(centre - click.x()) <= 1, qPrintable(QStringLiteral("handle centre %1").arg(centre)));
    QVERIFY(slider->value() > 600 && slider->value() < 700);
    const QStringList expected = { QStringLiteral("value(%1)").arg(slider->value()),
                                   QStringLiteral("moved(%1)").arg(slider->value()), QStringLiteral("pressed") };
    QCOMPARE(signalLog.log, expected);
    Send(slider.get(), QEvent::MouseButtonRelease, click, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(signalLog.log, expected);
}

void TestAVSlider::elsewhereBehavesAsQSlider_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("onHandle");
    QTest::newRow("drag on handle") << int(Qt::LeftButton) << true;
    QTest::newRow("right button") << int(Qt::RightButton) << false;
    QTest::newRow("middle button") << int(Qt::MiddleButton) << false;
}

void TestAVSlider::elsewhereBehavesAsQSlider()
{
    QFETCH(int, button);
    QFETCH(bool, onHandle);
    const auto mouseButton = Qt::MouseButton(button);
    auto plain = MakeSlider<QSlider>(300);
    auto slider = MakeSlider<AVSlider>(300);
    SignalLog plainLog(plain.get());
    SignalLog sliderLog(slider.get());
    QList<bool> pressedDown;
    for (QSlider *s : { plain.get(), static_cast<QSlider *>(slider.get()) }) {
        const QPoint at = onHandle ? StyleOptionAccess::HandleRect(s).center() : QPoint(220, kSliderSize.height() / 2);
        Send(s, QEvent::MouseButtonPress, at, mouseButton, mouseButton);
        pressedDown << s->isSliderDown();
        if (onHandle)
            Send(s, QEvent::MouseMove, at + QPoint(60, 0), Qt::NoButton, mouseButton);
        Send(s, QEvent::MouseButtonRelease, at + QPoint(onHandle ? 60 : 0, 0), mouseButton, Qt::NoButton);
        QVERIFY(!s->isSliderDown());
    }
    QCOMPARE(slider->value(), plain->value());
    QCOMPARE(sliderLog.log, plainLog.log);
    QCOMPARE(pressedDown.last(), pressedDown.first());
    if (onHandle) {
        QVERIFY(pressedDown.last() && slider->value() > 300);
        QCOMPARE(sliderLog.log.first(), QStringLiteral("pressed"));
        QCOMPARE(sliderLog.log.last(), QStringLiteral("released"));
    }
}

void TestAVSlider::enterHoverLeaveAreReported_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("expected");
    QTest::newRow("far left") << 0 << 0;
    QTest::newRow("far right") << kSliderSize.width() - 1 << 1000;
    QTest::newRow("beyond the right edge") << kSliderSize.width() + 20 << 1000;
    QTest::newRow("middle") << kSliderSize.width() / 2 << 500;
}

void TestAVSlider::enterHoverLeaveAreReported()
{
    QFETCH(int, x);
    QFETCH(int, expected);
    auto slider = MakeSlider<AVSlider>();
    QVERIFY(slider->hasMouseTracking());
    QSignalSpy entered(slider.get(), &AVSlider::sliderEntered);
    QSignalSpy hovered(slider.get(), &AVSlider::sliderHovered);
    QSignalSpy leaved(slider.get(), &AVSlider::sliderLeaved);
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(slider.get(), &enter);
    QCOMPARE(entered.count(), 1);
    Send(slider.get(), QEvent::MouseMove, QPoint(x, 5), Qt::NoButton, Qt::NoButton);
    QCOMPARE(hovered.count(), 1);
    QCOMPARE(hovered.at(0).at(0).toInt(), x);
    QVERIFY2(qAbs(hovered.at(0).at(1).toInt() - expected) <= 5, qPrintable(hovered.at(0).at(1).toString()));
    QCOMPARE(slider->value(), 0);
    QCOMPARE(leaved.count(), 0);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(slider.get(), &leave);
    QCOMPARE(entered.count(), 1);
    QCOMPARE(leaved.count(), 1);
}

QTEST_MAIN(TestAVSlider)
#include "test_avslider.moc"
