#include "viewer/SceneView.h"

#include <QMouseEvent>
#include <QOpenGLContext>
#include <QWheelEvent>

#include <cmath>

CSceneView::CSceneView(QWidget* parent) : QOpenGLWidget(parent)
{
    setMinimumSize(160, 120);
    setFocusPolicy(Qt::StrongFocus);
}

CSceneView::~CSceneView()
{
    // The base class destroys the context after this body has run, when this
    // object is no longer a CSceneView: its signal must not reach us then.
    if (context())
        disconnect(context(), nullptr, this, nullptr);
    ReleaseGL();
}

void CSceneView::ReleaseGL()
{
    if (!m_bReady || !context())
        return;
    makeCurrent();
    m_renderer.Release();
    doneCurrent();
    m_bReady = false;
}

void CSceneView::SetScene(const SDrawList* list, const SDrawFrame* frame)
{
    m_pList = list;
    m_pFrame = frame;
    m_bListChanged = true;
    update();
}

void CSceneView::initializeGL()
{
    // The context goes with the widget's window: free our objects first.
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &CSceneView::ReleaseGL, Qt::UniqueConnection);
    std::string error;
    m_bReady = m_renderer.Initialise(&error);
    m_glError = m_bReady ? QString() : QString::fromStdString(error);
    m_bListChanged = true;
    if (!m_bReady)
        emit glFailed(m_glError);
}

void CSceneView::paintGL()
{
    if (!m_bReady)
        return;
    if (m_bListChanged) {
        m_renderer.SetList(m_pList);
        m_bListChanged = false;
    }
    static const SDrawFrame kEmpty;
    const qreal ratio = devicePixelRatioF();
    const int w = int(std::lround(width() * ratio)), h = int(std::lround(height() * ratio));
    m_renderer.Render(m_pList && m_pFrame ? *m_pFrame : kEmpty, m_camera, w, h, m_settings, &m_stats);
}

void CSceneView::mousePressEvent(QMouseEvent* event)
{
    m_lastMouse = event->position().toPoint();
}

void CSceneView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    const QPoint d = at - m_lastMouse;
    m_lastMouse = at;
    const bool pan = (event->buttons() & (Qt::RightButton | Qt::MiddleButton)) ||
                     ((event->buttons() & Qt::LeftButton) && (event->modifiers() & Qt::ShiftModifier));
    if (pan)
        Pan(m_camera, float(d.x()) / std::max(height(), 1), float(d.y()) / std::max(height(), 1));
    else if (event->buttons() & Qt::LeftButton)
        Orbit(m_camera, -float(d.x()) * 0.01f, float(d.y()) * 0.01f);
    else
        return;
    emit cameraMoved();
    update();
}

void CSceneView::wheelEvent(QWheelEvent* event)
{
    Zoom(m_camera, std::pow(0.9f, float(event->angleDelta().y()) / 120.0f));
    emit cameraMoved();
    update();
}
