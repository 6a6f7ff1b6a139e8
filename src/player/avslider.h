#pragma once

#include <QSlider>

class QEvent;
class QMouseEvent;

// A slider that jumps to a clicked point instead of paging, and reports the value
// under the cursor while the mouse moves over it.
class AVSlider final : public QSlider
{
    Q_OBJECT
    Q_DISABLE_COPY(AVSlider)

public:
    explicit AVSlider(QWidget *parent = nullptr);

signals:
    void sliderEntered();
    void sliderLeaved();
    void sliderHovered(int pos, int value);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    int PixelPosToRangeValue(int pos) const;
};
