#pragma once
// Pictures without a window: a draw list drawn into an off-screen
// framebuffer with the viewer's renderer (thumbnails, meshwright-view
// --screenshot and the tests' pictures). Needs a platform that gives OpenGL
// contexts (an X server, with Mesa's software OpenGL if need be).
#include <QImage>

#include <memory>
#include <string>

#include "viewer/SceneRenderer.h"

class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLFramebufferObject;

class CSnapshot {
public:
    CSnapshot();
    ~CSnapshot();
    CSnapshot(const CSnapshot&) = delete;
    CSnapshot& operator=(const CSnapshot&) = delete;

    // A context and a width x height framebuffer with depth; false with the
    // reason in *error when OpenGL is not available here.
    bool Create(int width, int height, std::string* error);
    // Draws the list at the frame; a null image with the reason in *error
    // when drawing failed (the shaders, or an OpenGL error).
    QImage Draw(const SDrawList& list, const SDrawFrame& frame, const SViewCamera& camera,
                const SRenderSettings& settings, std::string* error = nullptr, SRenderStats* stats = nullptr);

private:
    std::unique_ptr<QOffscreenSurface> m_pSurface;
    std::unique_ptr<QOpenGLContext> m_pContext;
    std::unique_ptr<QOpenGLFramebufferObject> m_pFbo;
    CSceneRenderer m_renderer;
    bool m_bInitialised = false;
};
