#include "player/avslider.h"

#include <QDebug>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>

AVSlider::AVSlider(QWidget *parent)
    : QSlider(parent)
{
    setOrientation(Qt::Horizontal);
    setMouseTracking(true);
}

void AVSlider::mousePressEvent(QMouseEvent *event)
{
    qDebug().noquote() << QString::asprintf("pressed (%d, %d)", event->x(), event->y());
    if (event->button() != Qt::LeftButton) {
        QSlider::mousePressEvent(event);
        return;
    }

    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const QPoint clickOffset = handle.center() - handle.topLeft();
    if (handle.contains(event->pos())) {
        QSlider::mousePressEvent(event);
        return;
    }

    qDebug().noquote() << QStringLiteral("accept");
    event->accept();
    const int pos = orientation() == Qt::Horizontal ? event->pos().x() - clickOffset.x()
                                                    : event->pos().y() - clickOffset.y();
    const int value = PixelPosToRangeValue(pos);
    setSliderPosition(value);
    triggerAction(QAbstractSlider::SliderMove);
    setRepeatAction(QAbstractSlider::SliderNoAction, 500, 50);
    emit sliderMoved(value);
    emit sliderPressed();
}

void AVSlider::mouseMoveEvent(QMouseEvent *event)
{
    const int o = style()->pixelMetric(QStyle::PM_SliderLength) - 1;
    const int value = QStyle::sliderValueFromPosition(minimum(), maximum(), event->x() - o / 2, width() - o, false);
    emit sliderHovered(event->x(), value);
    QSlider::mouseMoveEvent(event);
}

void AVSlider::enterEvent(QEvent *event)
{
    emit sliderEntered();
    QWidget::enterEvent(event);
}

void AVSlider::leaveEvent(QEvent *event)
{
    emit sliderLeaved();
    QWidget::leaveEvent(event);
}

int AVSlider::PixelPosToRangeValue(int pos) const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);

    int spanStart = 0;
    int spanEnd = 0;
    if (orientation() == Qt::Horizontal) {
        const int handleLength = handle.width();
        spanStart = groove.x();
        spanEnd = groove.right() - handleLength + 1;
    } else {
        const int handleLength = handle.height();
        spanStart = groove.y();
        spanEnd = groove.bottom() - handleLength + 1;
    }
    return QStyle::sliderValueFromPosition(minimum(), maximum(), pos - spanStart, spanEnd - spanStart, option.upsideDown);
}
