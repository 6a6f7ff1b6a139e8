#include "player/mpvvideowidget.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QVBoxLayout>

#include <mpv/render_gl.h>

#include <atomic>

namespace {

bool ProbeOpenGL()
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return false;
    QOpenGLContext context;
    if (!context.create())
        return false;
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.makeCurrent(&surface))
        return false;
    context.doneCurrent();
    return true;
}

} // namespace

class MpvVideoSurface final : public QOpenGLWidget
{
public:
    explicit MpvVideoSurface(MpvVideoWidget *owner)
        : QOpenGLWidget(owner)
        , owner(owner)
    {
    }

    ~MpvVideoSurface() override { detach(); }

    bool hasRenderContext() const { return renderContext != nullptr; }

    void attach(mpv_handle *handle)
    {
        mpv = handle;
        if (context() && context()->isValid()) {
            makeCurrent();
            createRenderContext();
            doneCurrent();
        }
    }

    void detach()
    {
        freeRenderContext();
        mpv = nullptr;
    }

protected:
    void initializeGL() override
    {
        // The context goes away when the widget moves to another window; the
        // render context made with it must go first.
        connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &MpvVideoSurface::freeRenderContext,
                Qt::DirectConnection);
        if (mpv)
            createRenderContext();
    }

    void paintGL() override
    {
        if (!renderContext) {
            QOpenGLFunctions *gl = context()->functions();
            gl->glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
            gl->glClear(GL_COLOR_BUFFER_BIT);
            return;
        }
        const qreal ratio = devicePixelRatioF();
        mpv_opengl_fbo fbo { int(defaultFramebufferObject()), qRound(width() * ratio), qRound(height() * ratio), 0 };
        int flipY = 1;
        mpv_render_param params[] = {
            { MPV_RENDER_PARAM_OPENGL_FBO, &fbo },
            { MPV_RENDER_PARAM_FLIP_Y, &flipY },
            { MPV_RENDER_PARAM_INVALID, nullptr },
        };
        mpv_render_context_render(renderContext, params);
    }

private:
    static void OnRenderUpdate(void *context)
    {
        // Runs on a libmpv thread: it may only queue work for the GUI thread.
        auto *self = static_cast<MpvVideoSurface *>(context);
        if (!self->updateQueued.exchange(true))
            QMetaObject::invokeMethod(self, &MpvVideoSurface::onRenderUpdate, Qt::QueuedConnection);
    }

    static void *GetProcAddress(void *, const char *name)
    {
        QOpenGLContext *current = QOpenGLContext::currentContext();
        return current ? reinterpret_cast<void *>(current->getProcAddress(QByteArray(name))) : nullptr;
    }

    void createRenderContext()
    {
        if (renderContext || !mpv)
            return;
        mpv_opengl_init_params glParams { &MpvVideoSurface::GetProcAddress, nullptr };
        mpv_render_param params[] = {
            { MPV_RENDER_PARAM_API_TYPE, const_cast<char *>(MPV_RENDER_API_TYPE_OPENGL) },
            { MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &glParams },
            { MPV_RENDER_PARAM_INVALID, nullptr },
        };
        if (mpv_render_context_create(&renderContext, mpv, params) < 0)
            renderContext = nullptr;
        else
            mpv_render_context_set_update_callback(renderContext, &MpvVideoSurface::OnRenderUpdate, this);
        emit owner->renderContextCreated(renderContext != nullptr);
    }

    void freeRenderContext()
    {
        if (!renderContext)
            return;
        makeCurrent();
        mpv_render_context_free(renderContext);
        renderContext = nullptr;
        doneCurrent();
    }

    void onRenderUpdate()
    {
        updateQueued = false;
        update();
    }

    MpvVideoWidget *owner = nullptr;
    mpv_handle *mpv = nullptr;
    mpv_render_context *renderContext = nullptr;
    std::atomic_bool updateQueued { false };
};

MpvVideoWidget::MpvVideoWidget(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    if (!IsRenderingPossible())
        return;
    surface = new MpvVideoSurface(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(surface);
}

MpvVideoWidget::~MpvVideoWidget()
{
    detach();
}

bool MpvVideoWidget::IsRenderingPossible()
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return false;
    static const bool possible = ProbeOpenGL();
    return possible;
}

bool MpvVideoWidget::hasRenderContext() const
{
    return surface && surface->hasRenderContext();
}

QImage MpvVideoWidget::grabFrame()
{
    return surface ? surface->grabFramebuffer() : grab().toImage();
}

void MpvVideoWidget::attach(mpv_handle *handle)
{
    if (surface)
        surface->attach(handle);
}

void MpvVideoWidget::detach()
{
    if (surface)
        surface->detach();
}
