#pragma once
// Draws a draw list at an evaluated frame with OpenGL (2.1 or later, or a
// compatibility profile): one shader with per-pixel lighting (a headlight
// and the file's lights), the file's materials, blending and diffuse
// textures, and lines for wireframe, normals, bounding boxes and the axis
// gizmo. Every call needs the caller's context to be current.
#include <QOpenGLFunctions>

#include <memory>
#include <string>
#include <vector>

#include "viewer/DrawList.h"
#include "viewer/ViewCamera.h"

class QOpenGLShaderProgram;

struct SRenderSettings {
    bool bWireframe = false;
    bool bNormals = false;
    bool bBounds = false;
    bool bHeadlight = true;
    bool bGizmo = true;
    std::vector<uint8_t> pItemVisible; // per item; empty: all visible
};

// What the last Render drew (visible items only).
struct SRenderStats {
    uint64_t uiTriangles = 0;
    uint64_t uiVertices = 0;
    uint32_t uiDrawCalls = 0;
    float fAcmr = 0; // vertex-cache misses per triangle over the drawn meshes
    // Triangles of fully transparent materials: counted, but nothing shows.
    uint64_t uiInvisibleTriangles = 0;
};

// Whether a material leaves its meshes unseen (fully transparent, blended
// by its alpha).
bool InvisibleMaterial(const SDrawMaterial& material);

// Fills the statistics the status line shows, without drawing.
SRenderStats CountVisible(const SDrawList& list, const std::vector<uint8_t>& itemVisible);

// Screen direction (x right, y up) of a world axis (0 X, 1 Y, 2 Z) in the
// view: what the gizmo draws for it.
void GizmoAxis(const SMatrix44& view, int axis, float out[2]);

class CSceneRenderer : protected QOpenGLFunctions {
public:
    CSceneRenderer();
    ~CSceneRenderer();
    CSceneRenderer(const CSceneRenderer&) = delete;
    CSceneRenderer& operator=(const CSceneRenderer&) = delete;

    // Compiles the shaders; false with the driver's log in *error.
    bool Initialise(std::string* error);
    // Uploads the list's meshes and textures (the list must outlive its use
    // here); null releases them.
    void SetList(const SDrawList* list);
    // Draws into the current framebuffer of width x height pixels.
    void Render(const SDrawFrame& frame, const SViewCamera& camera, int width, int height,
                const SRenderSettings& settings, SRenderStats* stats = nullptr);
    // Frees every GL object; the context must be current.
    void Release();

private:
    struct SMeshBuffers;
    void DrawLines(const std::vector<float>& lines, const SMatrix44& viewProj, float width);

    const SDrawList* m_pList = nullptr;
    std::unique_ptr<QOpenGLShaderProgram> m_pShaded;
    std::unique_ptr<QOpenGLShaderProgram> m_pLines;
    std::vector<SMeshBuffers> m_meshes;
    std::vector<uint32_t> m_skinned;  // per item: dynamic buffer for skinned positions and normals, or 0
    std::vector<uint32_t> m_textures; // per material, or 0
    uint32_t m_lineBuffer = 0;
    bool m_bInitialised = false;
    void (*m_polygonMode)(unsigned, unsigned) = nullptr;
};
