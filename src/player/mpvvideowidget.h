#pragma once

#include <QWidget>

struct mpv_handle;
class MpvVideoSurface;
class QImage;

// The video area of an MpvPlayer. Where an OpenGL context can be had it holds a
// QOpenGLWidget that draws the frames through libmpv's render API; elsewhere it is
// plain black, since a QOpenGLWidget without GL would keep its whole window from
// being drawn.
class MpvVideoWidget final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(MpvVideoWidget)

public:
    explicit MpvVideoWidget(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~MpvVideoWidget() override;

    // Whether this application can have an OpenGL context at all; false on the
    // offscreen and minimal platforms.
    static bool IsRenderingPossible();

    bool hasRenderContext() const;
    // The picture as it is drawn now.
    QImage grabFrame();

signals:
    // After the GL surface got its context while attached to a player.
    void renderContextCreated(bool ok);

private:
    friend class MpvPlayer;
    void attach(mpv_handle *handle);
    void detach();

    MpvVideoSurface *surface = nullptr;
};
