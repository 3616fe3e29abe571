#include "viewer/Snapshot.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>

CSnapshot::CSnapshot() = default;

CSnapshot::~CSnapshot()
{
    if (m_pContext && m_pContext->makeCurrent(m_pSurface.get())) {
        m_renderer.Release();
        m_pFbo.reset();
        m_pContext->doneCurrent();
    }
}

bool CSnapshot::Create(int width, int height, std::string* error)
{
    const auto fail = [error](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return fail("OpenGL is not available on the '" + platform.toStdString() +
                    "' platform; run on an X server (for example under xvfb-run)");
    m_pSurface = std::make_unique<QOffscreenSurface>();
    m_pSurface->create();
    m_pContext = std::make_unique<QOpenGLContext>();
    if (!m_pContext->create() || !m_pContext->makeCurrent(m_pSurface.get()))
        return fail("no OpenGL context could be made");
    QOpenGLFramebufferObjectFormat format;
    format.setAttachment(QOpenGLFramebufferObject::Depth);
    m_pFbo = std::make_unique<QOpenGLFramebufferObject>(width, height, format);
    if (!m_pFbo->isValid() || !m_pFbo->bind())
        return fail("no " + std::to_string(width) + " x " + std::to_string(height) + " OpenGL framebuffer");
    return true;
}

QImage CSnapshot::Draw(const SDrawList& list, const SDrawFrame& frame, const SViewCamera& camera,
                       const SRenderSettings& settings, std::string* error, SRenderStats* stats)
{
    if (!m_pFbo || !m_pContext->makeCurrent(m_pSurface.get())) {
        if (error)
            *error = "no OpenGL context";
        return QImage();
    }
    m_pFbo->bind();
    if (!m_bInitialised) {
        if (!m_renderer.Initialise(error))
            return QImage();
        m_bInitialised = true;
    }
    m_renderer.SetList(&list);
    m_renderer.Render(frame, camera, m_pFbo->width(), m_pFbo->height(), settings, stats);
    const GLenum code = m_pContext->functions()->glGetError();
    if (code != GL_NO_ERROR) {
        if (error)
            *error = "OpenGL error " + std::to_string(code);
        return QImage();
    }
    return m_pFbo->toImage().convertToFormat(QImage::Format_RGB32);
}
