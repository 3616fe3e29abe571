#pragma once
// The 3D view: draws a draw list at an evaluated frame and moves the camera
// with the mouse (left drag orbits, right or middle drag or Shift+left pans,
// the wheel zooms). The list and frame belong to the owner.
#include <QOpenGLWidget>
#include <QPoint>

#include "viewer/SceneRenderer.h"

class CSceneView : public QOpenGLWidget {
    Q_OBJECT
public:
    explicit CSceneView(QWidget* parent = nullptr);
    ~CSceneView() override;

    // Shows the list (null: nothing) at the frame; both must stay alive
    // until the next call.
    void SetScene(const SDrawList* list, const SDrawFrame* frame);
    // The frame was evaluated again.
    void FrameChanged() { update(); }

    SViewCamera& Camera() { return m_camera; }
    SRenderSettings& Settings() { return m_settings; }
    const SRenderStats& Stats() const { return m_stats; }
    // Empty, or why OpenGL could not draw.
    const QString& GLError() const { return m_glError; }

signals:
    void cameraMoved();
    // OpenGL could not be set up; the text says why.
    void glFailed(const QString& why);

protected:
    void initializeGL() override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void ReleaseGL();

    CSceneRenderer m_renderer;
    bool m_bReady = false;
    bool m_bListChanged = false;
    const SDrawList* m_pList = nullptr;
    const SDrawFrame* m_pFrame = nullptr;
    SViewCamera m_camera;
    SRenderSettings m_settings;
    SRenderStats m_stats;
    QString m_glError;
    QPoint m_lastMouse;
};
