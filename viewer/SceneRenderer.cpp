// OpenGL drawing of a draw list.
#include "viewer/SceneRenderer.h"

#include <QImage>
#include <QImageReader>
#include <QOpenGLContext>
#include <QOpenGLShaderProgram>

#include "scene/Scene.h"
#include "scene/Viewpoint.h"

#include <algorithm>
#include <cmath>

namespace {

const char* const kShadedVertex = R"(#version 120
attribute vec3 aPos;
attribute vec3 aNormal;
attribute vec4 aColour;
attribute vec2 aUV;
uniform mat4 uModel;
uniform mat4 uViewProj;
varying vec3 vWorld;
varying vec3 vNormal;
varying vec4 vColour;
varying vec2 vUV;
void main()
{
    vec4 world = uModel * vec4(aPos, 1.0);
    vWorld = world.xyz;
    vNormal = (uModel * vec4(aNormal, 0.0)).xyz;
    vColour = aColour;
    vUV = aUV;
    gl_Position = uViewProj * world;
}
)";

// Lights: position w = 0 is a direction towards the light; spot.w is the
// cosine of the cone (below -1: no cone).
const char* const kShadedFragment = R"(#version 120
uniform vec4 uDiffuse;
uniform vec3 uAmbient;
uniform vec3 uSpecular;
uniform float uShininess;
uniform vec3 uSceneAmbient;
uniform vec3 uEye;
uniform bool uTextured;
uniform sampler2D uTexture;
uniform int uLightCount;
uniform vec4 uLightPos[8];
uniform vec3 uLightColour[8];
uniform vec3 uLightAtt[8];
uniform vec4 uLightSpot[8];
uniform float uLightSpotExp[8];
varying vec3 vWorld;
varying vec3 vNormal;
varying vec4 vColour;
varying vec2 vUV;
void main()
{
    vec3 n = vNormal;
    if (dot(n, n) < 1e-12)
        n = cross(dFdx(vWorld), dFdy(vWorld)); // no normals: faceted
    n = normalize(n);
    vec3 v = normalize(uEye - vWorld);
    if (dot(n, v) < 0.0)
        n = -n; // both sides lit
    vec4 base = uDiffuse * vColour;
    if (uTextured)
        base = vec4(texture2D(uTexture, vUV).rgb * vColour.rgb, base.a * texture2D(uTexture, vUV).a);
    vec3 colour = base.rgb * 0.12 + uSceneAmbient * uAmbient;
    for (int i = 0; i < 8; ++i) {
        if (i >= uLightCount)
            break;
        vec3 l = uLightPos[i].xyz;
        float att = 1.0;
        if (uLightPos[i].w != 0.0) {
            vec3 d = uLightPos[i].xyz - vWorld;
            float dist = length(d);
            l = d / max(dist, 1e-6);
            att = 1.0 / max(uLightAtt[i].x + uLightAtt[i].y * dist + uLightAtt[i].z * dist * dist, 1e-6);
            if (uLightSpot[i].w >= -1.0) {
                float c = dot(-l, normalize(uLightSpot[i].xyz));
                att *= c < uLightSpot[i].w ? 0.0 : pow(max(c, 0.0), uLightSpotExp[i]);
            }
        } else {
            l = normalize(l);
        }
        float diffuse = max(dot(n, l), 0.0);
        colour += base.rgb * uLightColour[i] * diffuse * att;
        if (diffuse > 0.0) {
            float s = pow(max(dot(n, normalize(l + v)), 0.0), uShininess);
            colour += uSpecular * uLightColour[i] * s * att;
        }
    }
    // Lights that add up past white keep their hue rather than wash out.
    colour /= max(1.0, max(colour.r, max(colour.g, colour.b)));
    gl_FragColor = vec4(colour, base.a);
}
)";

const char* const kLineVertex = R"(#version 120
attribute vec3 aPos;
attribute vec3 aColour;
uniform mat4 uViewProj;
varying vec3 vColour;
void main()
{
    vColour = aColour;
    gl_Position = uViewProj * vec4(aPos, 1.0);
}
)";

const char* const kLineFragment = R"(#version 120
varying vec3 vColour;
void main()
{
    gl_FragColor = vec4(vColour, 1.0);
}
)";

enum EAttribute : GLuint { eAttrPos = 0, eAttrNormal = 1, eAttrColour = 2, eAttrUV = 3 };

const SDrawMaterial& DefaultMaterial()
{
    static const SDrawMaterial material;
    return material;
}

void AddLine(std::vector<float>& lines, const float a[3], const float b[3], const float colour[3])
{
    lines.insert(lines.end(), {a[0], a[1], a[2], colour[0], colour[1], colour[2]});
    lines.insert(lines.end(), {b[0], b[1], b[2], colour[0], colour[1], colour[2]});
}

void AddBox(std::vector<float>& lines, const float mn[3], const float mx[3], const float colour[3])
{
    for (int edge = 0; edge < 12; ++edge) {
        // Edge along axis a from the corner with the other two bits.
        const int a = edge / 4, bits = edge % 4;
        float p[3], q[3];
        for (int c = 0, k = 0; c < 3; ++c) {
            if (c == a) {
                p[c] = mn[c];
                q[c] = mx[c];
            } else {
                p[c] = q[c] = ((bits >> k++) & 1) ? mx[c] : mn[c];
            }
        }
        AddLine(lines, p, q, colour);
    }
}

} // namespace

struct CSceneRenderer::SMeshBuffers {
    GLuint position = 0, normal = 0, colour = 0, uv = 0, index = 0;
};

bool InvisibleMaterial(const SDrawMaterial& material)
{
    // Blended by its alpha (the default for a material that is not opaque)
    // and with no alpha to speak of.
    return material.fDiffuse[3] <= kInvisibleOpacity && (!material.bBlend || material.eSrcFactor == kGLSrcAlpha);
}

SRenderStats CountVisible(const SDrawList& list, const std::vector<uint8_t>& itemVisible)
{
    SRenderStats stats;
    double misses = 0;
    for (size_t i = 0; i < list.pItems.size(); ++i) {
        if (i < itemVisible.size() && !itemVisible[i])
            continue;
        const SDrawMesh& mesh = list.pMeshes[list.pItems[i].uiMesh];
        stats.uiTriangles += mesh.TriangleCount();
        stats.uiVertices += mesh.uiVertexCount;
        stats.uiDrawCalls += 1;
        misses += double(mesh.fAcmr) * mesh.TriangleCount();
        const int32_t m = list.pItems[i].nMaterial;
        if (m >= 0 && InvisibleMaterial(list.pMaterials[size_t(m)]))
            stats.uiInvisibleTriangles += mesh.TriangleCount();
    }
    stats.fAcmr = stats.uiTriangles ? float(misses / double(stats.uiTriangles)) : 0.0f;
    return stats;
}

void GizmoAxis(const SMatrix44& view, int axis, float out[2])
{
    // Row `axis` of the view's rotation is where that world axis points in
    // eye space.
    out[0] = view[4 * axis + 0];
    out[1] = view[4 * axis + 1];
}

CSceneRenderer::CSceneRenderer() = default;

CSceneRenderer::~CSceneRenderer()
{
    // GL objects need the context; the owner calls Release while it is
    // current. Without a current context only the CPU side goes.
    if (m_bInitialised && QOpenGLContext::currentContext())
        Release();
}

bool CSceneRenderer::Initialise(std::string* error)
{
    initializeOpenGLFunctions();
    m_pShaded.reset(new QOpenGLShaderProgram);
    m_pLines.reset(new QOpenGLShaderProgram);
    bool ok = m_pShaded->addShaderFromSourceCode(QOpenGLShader::Vertex, kShadedVertex) &&
              m_pShaded->addShaderFromSourceCode(QOpenGLShader::Fragment, kShadedFragment);
    if (ok) {
        m_pShaded->bindAttributeLocation("aPos", eAttrPos);
        m_pShaded->bindAttributeLocation("aNormal", eAttrNormal);
        m_pShaded->bindAttributeLocation("aColour", eAttrColour);
        m_pShaded->bindAttributeLocation("aUV", eAttrUV);
        ok = m_pShaded->link();
    }
    QString log = m_pShaded->log();
    if (ok) {
        ok = m_pLines->addShaderFromSourceCode(QOpenGLShader::Vertex, kLineVertex) &&
             m_pLines->addShaderFromSourceCode(QOpenGLShader::Fragment, kLineFragment);
        m_pLines->bindAttributeLocation("aPos", eAttrPos);
        m_pLines->bindAttributeLocation("aColour", eAttrColour);
        ok = ok && m_pLines->link();
        log = m_pLines->log();
    }
    if (!ok) {
        if (error)
            *error = "OpenGL shaders failed: " + log.toStdString();
        return false;
    }
    glGenBuffers(1, &m_lineBuffer);
    // Wireframe needs glPolygonMode, which OpenGL ES lacks.
    if (QOpenGLContext* context = QOpenGLContext::currentContext(); context && !context->isOpenGLES())
        m_polygonMode = reinterpret_cast<void (*)(unsigned, unsigned)>(context->getProcAddress("glPolygonMode"));
    m_bInitialised = true;
    return true;
}

void CSceneRenderer::SetList(const SDrawList* list)
{
    if (!m_bInitialised)
        return;
    for (SMeshBuffers& b : m_meshes) {
        const GLuint ids[5] = {b.position, b.normal, b.colour, b.uv, b.index};
        glDeleteBuffers(5, ids);
    }
    m_meshes.clear();
    if (!m_skinned.empty())
        glDeleteBuffers(GLsizei(m_skinned.size()), m_skinned.data());
    m_skinned.clear();
    if (!m_textures.empty())
        glDeleteTextures(GLsizei(m_textures.size()), m_textures.data());
    m_textures.clear();
    m_pList = list;
    if (!list)
        return;

    const auto upload = [this](GLenum target, const void* data, size_t bytes) {
        GLuint id = 0;
        if (bytes == 0)
            return id;
        glGenBuffers(1, &id);
        glBindBuffer(target, id);
        glBufferData(target, GLsizeiptr(bytes), data, GL_STATIC_DRAW);
        glBindBuffer(target, 0);
        return id;
    };
    m_meshes.resize(list->pMeshes.size());
    for (size_t m = 0; m < list->pMeshes.size(); ++m) {
        const SDrawMesh& mesh = list->pMeshes[m];
        SMeshBuffers& b = m_meshes[m];
        b.position = upload(GL_ARRAY_BUFFER, mesh.pfPositions.data(), mesh.pfPositions.size() * 4);
        b.normal = upload(GL_ARRAY_BUFFER, mesh.pfNormals.data(), mesh.pfNormals.size() * 4);
        b.colour = upload(GL_ARRAY_BUFFER, mesh.pfColours.data(), mesh.pfColours.size() * 4);
        b.uv = upload(GL_ARRAY_BUFFER, mesh.pfTexCoords.data(), mesh.pfTexCoords.size() * 4);
        b.index = upload(GL_ELEMENT_ARRAY_BUFFER, mesh.puiIndices.data(), mesh.puiIndices.size() * 4);
    }
    m_skinned.assign(list->pItems.size(), 0);
    for (size_t i = 0; i < list->pItems.size(); ++i)
        if (list->pMeshes[list->pItems[i].uiMesh].IsSkinned())
            glGenBuffers(1, &m_skinned[i]);

    GLint maxSize = 2048;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    m_textures.assign(list->pMaterials.size(), 0);
    for (size_t i = 0; i < list->pMaterials.size(); ++i) {
        const std::string& path = list->pMaterials[i].sTexturePath;
        if (path.empty())
            continue;
        QImageReader reader(QString::fromStdString(path));
        QImage image = reader.read();
        if (image.isNull())
            continue;
        if (image.width() > maxSize || image.height() > maxSize)
            image = image.scaled(maxSize, maxSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        // Texture coordinate v = 0 is the bottom row of the image.
        image = image.convertToFormat(QImage::Format_RGBA8888).mirrored();
        glGenTextures(1, &m_textures[i]);
        glBindTexture(GL_TEXTURE_2D, m_textures[i]);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, image.width(), image.height(), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     image.constBits());
        glGenerateMipmap(GL_TEXTURE_2D);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
}

void CSceneRenderer::Release()
{
    if (!m_bInitialised)
        return;
    SetList(nullptr);
    glDeleteBuffers(1, &m_lineBuffer);
    m_lineBuffer = 0;
    m_pShaded.reset();
    m_pLines.reset();
    m_bInitialised = false;
}

void CSceneRenderer::DrawLines(const std::vector<float>& lines, const SMatrix44& viewProj, float width)
{
    if (lines.empty())
        return;
    m_pLines->bind();
    glUniformMatrix4fv(m_pLines->uniformLocation("uViewProj"), 1, GL_FALSE, viewProj.data());
    glBindBuffer(GL_ARRAY_BUFFER, m_lineBuffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(lines.size() * 4), lines.data(), GL_STREAM_DRAW);
    glEnableVertexAttribArray(eAttrPos);
    glEnableVertexAttribArray(eAttrColour);
    glVertexAttribPointer(eAttrPos, 3, GL_FLOAT, GL_FALSE, 24, nullptr);
    glVertexAttribPointer(eAttrColour, 3, GL_FLOAT, GL_FALSE, 24, reinterpret_cast<void*>(12));
    glLineWidth(width);
    glDrawArrays(GL_LINES, 0, GLsizei(lines.size() / 6));
    glDisableVertexAttribArray(eAttrPos);
    glDisableVertexAttribArray(eAttrColour);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    m_pLines->release();
}

void CSceneRenderer::Render(const SDrawFrame& frame, const SViewCamera& camera, int width, int height,
                            const SRenderSettings& settings, SRenderStats* stats)
{
    if (!m_bInitialised)
        return;
    width = std::max(width, 1);
    height = std::max(height, 1);
    const SDrawList* list = m_pList;
    const float* bg = list ? list->fBackground : nullptr;
    // A black background (the files' default) shows dark geometry badly.
    if (bg && bg[0] == 0 && bg[1] == 0 && bg[2] == 0)
        bg = nullptr;
    glViewport(0, 0, width, height);
    glClearColor(bg ? bg[0] : 0.19f, bg ? bg[1] : 0.21f, bg ? bg[2] : 0.24f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_CULL_FACE);

    const SMatrix44 view = ViewMatrix(camera);
    const SMatrix44 proj = Perspective(camera.fFieldOfView, float(width) / float(height), camera.fNear, camera.fFar);
    const SMatrix44 viewProj = MatrixMultiply(view, proj);
    SRenderStats counted;
    if (list && frame.pmWorld.size() == list->pNodes.size()) {
        // The eye in world space: the view's inverse translation.
        SMatrix44 inverse = MatrixIdentity();
        float eye[3] = {0, 0, 0};
        if (AffineInverse(view, &inverse))
            eye[0] = inverse[12], eye[1] = inverse[13], eye[2] = inverse[14];

        // Lights: the headlight first, then the file's, eight at most.
        float pos[8][4], colour[8][3], att[8][3], spot[8][4], spotExp[8];
        int count = 0;
        if (settings.bHeadlight) {
            // From the eye, a little above and to the right, so faces
            // square to the view and tops both read as lit.
            for (int c = 0; c < 3; ++c)
                pos[0][c] = inverse[8 + c] + 0.45f * inverse[4 + c] + 0.25f * inverse[c];
            pos[0][3] = 0;
            // Beside the file's own lights it only fills in the shadows.
            const float level = list->pLights.empty() ? 0.88f : 0.35f;
            colour[0][0] = colour[0][1] = colour[0][2] = level;
            att[0][0] = 1, att[0][1] = att[0][2] = 0;
            spot[0][3] = -2;
            spotExp[0] = 0;
            count = 1;
        }
        for (const SDrawLight& light : list->pLights) {
            if (count == 8)
                break;
            const SSceneViewpoint at = ViewpointOf(
                frame.pmWorld[light.uiNode], light.nTarget >= 0 ? &frame.pmWorld[size_t(light.nTarget)] : nullptr);
            const float* dir = at.fForward;
            const bool directional = light.eType == 1;
            for (int c = 0; c < 3; ++c) {
                pos[count][c] = directional ? -dir[c] : at.fPosition[c];
                colour[count][c] = light.fColour[c];
                att[count][c] = light.fAttenuation[c];
                spot[count][c] = dir[c];
            }
            pos[count][3] = directional ? 0.0f : 1.0f;
            // The falloff angle is the whole cone's opening.
            const bool cone = light.eType == 2 && light.fFalloffAngle > 0 && light.fFalloffAngle < 3.1415f;
            spot[count][3] = cone ? std::cos(light.fFalloffAngle / 2) : -2.0f;
            spotExp[count] = std::clamp(light.fFalloffExponent, 0.0f, 128.0f);
            ++count;
        }

        m_pShaded->bind();
        m_pShaded->setUniformValue("uEye", eye[0], eye[1], eye[2]);
        m_pShaded->setUniformValue("uSceneAmbient", list->fAmbient[0], list->fAmbient[1], list->fAmbient[2]);
        m_pShaded->setUniformValue("uLightCount", count);
        m_pShaded->setUniformValue("uTexture", 0);
        if (count) {
            m_pShaded->setUniformValueArray("uLightPos", &pos[0][0], count, 4);
            m_pShaded->setUniformValueArray("uLightColour", &colour[0][0], count, 3);
            m_pShaded->setUniformValueArray("uLightAtt", &att[0][0], count, 3);
            m_pShaded->setUniformValueArray("uLightSpot", &spot[0][0], count, 4);
            m_pShaded->setUniformValueArray("uLightSpotExp", spotExp, count, 1);
        }
        glUniformMatrix4fv(m_pShaded->uniformLocation("uViewProj"), 1, GL_FALSE, viewProj.data());
        if (settings.bWireframe && m_polygonMode)
            m_polygonMode(GL_FRONT_AND_BACK, 0x1B01 /* GL_LINE */);

        // Opaque items first, then blended ones over them without depth
        // writes. The picture's alpha stays as cleared (1) throughout.
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
        for (int pass = 0; pass < 2; ++pass) {
            for (size_t i = 0; i < list->pItems.size(); ++i) {
                if (i < settings.pItemVisible.size() && !settings.pItemVisible[i])
                    continue;
                const SDrawItem& item = list->pItems[i];
                const SDrawMaterial& material =
                    item.nMaterial >= 0 ? list->pMaterials[size_t(item.nMaterial)] : DefaultMaterial();
                const bool blended = material.bBlend || material.fDiffuse[3] < 1;
                if (blended != (pass == 1))
                    continue;
                const SDrawMesh& mesh = list->pMeshes[item.uiMesh];
                const SMeshBuffers& b = m_meshes[item.uiMesh];
                const bool skinned = i < frame.pfSkinnedPos.size() && !frame.pfSkinnedPos[i].empty();
                const SMatrix44 model = skinned ? MatrixIdentity() : frame.pmWorld[item.uiNode];
                glUniformMatrix4fv(m_pShaded->uniformLocation("uModel"), 1, GL_FALSE, model.data());
                // Edges of invisible meshes still show in wireframe.
                const float alpha = settings.bWireframe ? std::max(material.fDiffuse[3], 0.35f) : material.fDiffuse[3];
                m_pShaded->setUniformValue("uDiffuse", material.fDiffuse[0], material.fDiffuse[1], material.fDiffuse[2],
                                           alpha);
                m_pShaded->setUniformValue("uAmbient", material.fAmbient[0], material.fAmbient[1],
                                           material.fAmbient[2]);
                m_pShaded->setUniformValue("uSpecular", material.fSpecular[0], material.fSpecular[1],
                                           material.fSpecular[2]);
                m_pShaded->setUniformValue("uShininess", std::clamp(material.fShininess * 100.0f, 2.0f, 128.0f));
                const GLuint texture =
                    item.nMaterial >= 0 && !mesh.pfTexCoords.empty() ? m_textures[size_t(item.nMaterial)] : 0;
                m_pShaded->setUniformValue("uTextured", texture != 0);
                glActiveTexture(GL_TEXTURE0);
                glBindTexture(GL_TEXTURE_2D, texture);
                if (blended) {
                    // Colours blend as the file says.
                    glEnable(GL_BLEND);
                    if (material.bBlend) {
                        glBlendFuncSeparate(material.eSrcFactor, material.eDstFactor, GL_ZERO, GL_ONE);
                        glBlendEquation(material.eBlendOp);
                    } else {
                        glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
                    }
                    glDepthMask(GL_FALSE);
                }

                const auto attribute = [this](GLuint index, GLuint buffer, int size, size_t offset) {
                    glBindBuffer(GL_ARRAY_BUFFER, buffer);
                    glEnableVertexAttribArray(index);
                    glVertexAttribPointer(index, size, GL_FLOAT, GL_FALSE, 0, reinterpret_cast<void*>(offset));
                };
                if (skinned) {
                    // Positions and normals of this frame, one buffer.
                    const std::vector<float>& p = frame.pfSkinnedPos[i];
                    const std::vector<float>& n = frame.pfSkinnedNorm[i];
                    glBindBuffer(GL_ARRAY_BUFFER, m_skinned[i]);
                    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr((p.size() + n.size()) * 4), nullptr, GL_STREAM_DRAW);
                    glBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(p.size() * 4), p.data());
                    if (!n.empty())
                        glBufferSubData(GL_ARRAY_BUFFER, GLsizeiptr(p.size() * 4), GLsizeiptr(n.size() * 4), n.data());
                    attribute(eAttrPos, m_skinned[i], 3, 0);
                    if (!n.empty())
                        attribute(eAttrNormal, m_skinned[i], 3, p.size() * 4);
                    else
                        glVertexAttrib3f(eAttrNormal, 0, 0, 0);
                } else {
                    attribute(eAttrPos, b.position, 3, 0);
                    if (b.normal)
                        attribute(eAttrNormal, b.normal, 3, 0);
                    else
                        glVertexAttrib3f(eAttrNormal, 0, 0, 0);
                }
                if (b.colour)
                    attribute(eAttrColour, b.colour, 4, 0);
                else
                    glVertexAttrib4f(eAttrColour, 1, 1, 1, 1);
                if (b.uv)
                    attribute(eAttrUV, b.uv, 2, 0);
                else
                    glVertexAttrib2f(eAttrUV, 0, 0);
                glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, b.index);
                glDrawElements(GL_TRIANGLES, GLsizei(mesh.puiIndices.size()), GL_UNSIGNED_INT, nullptr);
                glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
                for (GLuint a : {eAttrPos, eAttrNormal, eAttrColour, eAttrUV})
                    glDisableVertexAttribArray(a);
                glBindBuffer(GL_ARRAY_BUFFER, 0);
                if (blended) {
                    glDisable(GL_BLEND);
                    glBlendEquation(GL_FUNC_ADD);
                    glDepthMask(GL_TRUE);
                }
                counted.uiDrawCalls += 1;
            }
        }
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glBindTexture(GL_TEXTURE_2D, 0);
        if (settings.bWireframe && m_polygonMode)
            m_polygonMode(GL_FRONT_AND_BACK, 0x1B02 /* GL_FILL */);
        m_pShaded->release();

        // Normals and boxes as lines in world space.
        std::vector<float> lines;
        float length = camera.fRadius * 0.04f;
        for (size_t i = 0; i < list->pItems.size(); ++i) {
            if (i < settings.pItemVisible.size() && !settings.pItemVisible[i])
                continue;
            const SDrawItem& item = list->pItems[i];
            const SDrawMesh& mesh = list->pMeshes[item.uiMesh];
            SBox box;
            if (settings.bBounds && ItemBounds(*list, frame, i, box)) {
                const float yellow[3] = {1.0f, 0.85f, 0.2f};
                AddBox(lines, box.fMin, box.fMax, yellow);
            }
            if (!settings.bNormals || mesh.pfNormals.empty())
                continue;
            const bool skinned = i < frame.pfSkinnedPos.size() && !frame.pfSkinnedPos[i].empty();
            const SMatrix44& world = frame.pmWorld[item.uiNode];
            const float cyan[3] = {0.3f, 0.9f, 1.0f};
            // At most 200,000 normals, spread evenly over the mesh.
            const size_t step = std::max<size_t>(1, mesh.uiVertexCount / 200000);
            for (size_t v = 0; v < mesh.uiVertexCount; v += step) {
                float p[3], n[3];
                if (skinned && !frame.pfSkinnedNorm[i].empty()) {
                    std::copy_n(&frame.pfSkinnedPos[i][v * 3], 3, p);
                    std::copy_n(&frame.pfSkinnedNorm[i][v * 3], 3, n);
                } else {
                    TransformPoint(world, &mesh.pfPositions[v * 3], p);
                    TransformDirection(world, &mesh.pfNormals[v * 3], n);
                }
                const float nl = std::sqrt(Dot3(n, n));
                if (!(nl > 0))
                    continue;
                const float q[3] = {p[0] + n[0] / nl * length, p[1] + n[1] / nl * length, p[2] + n[2] / nl * length};
                AddLine(lines, p, q, cyan);
            }
        }
        DrawLines(lines, viewProj, 1);
    }

    if (settings.bGizmo) {
        // Bottom-left corner: the world axes turned as the view turns them.
        const int size = std::clamp(std::min(width, height) / 5, 48, 140);
        glViewport(0, 0, size, size);
        glClear(GL_DEPTH_BUFFER_BIT);
        std::vector<float> lines;
        const float origin[3] = {0, 0, 0};
        const float colours[3][3] = {{0.95f, 0.25f, 0.25f}, {0.3f, 0.9f, 0.3f}, {0.35f, 0.55f, 1.0f}};
        // Each axis with its letter drawn in strokes beyond its tip.
        static const float kLetters[3][3][4] = {
            {{-1, -1, 1, 1}, {-1, 1, 1, -1}, {0, 0, 0, 0}},   // X
            {{-1, 1, 0, 0}, {1, 1, 0, 0}, {0, 0, 0, -1}},     // Y
            {{-1, 1, 1, 1}, {1, 1, -1, -1}, {-1, -1, 1, -1}}, // Z
        };
        for (int axis = 0; axis < 3; ++axis) {
            float d[2];
            GizmoAxis(view, axis, d);
            const float tip[3] = {d[0] * 0.7f, d[1] * 0.7f, 0};
            AddLine(lines, origin, tip, colours[axis]);
            const float at[2] = {d[0] * 0.86f, d[1] * 0.86f};
            for (const float* stroke : kLetters[axis]) {
                if (stroke[0] == stroke[2] && stroke[1] == stroke[3])
                    continue;
                const float a[3] = {at[0] + stroke[0] * 0.07f, at[1] + stroke[1] * 0.09f, 0};
                const float b[3] = {at[0] + stroke[2] * 0.07f, at[1] + stroke[3] * 0.09f, 0};
                AddLine(lines, a, b, colours[axis]);
            }
        }
        DrawLines(lines, MatrixIdentity(), 2);
    }
    // Leave the state as we found it for whoever draws next (QPainter).
    glViewport(0, 0, width, height);
    glDisable(GL_DEPTH_TEST);
    glLineWidth(1);
    if (stats) {
        const SRenderStats visible = list ? CountVisible(*list, settings.pItemVisible) : SRenderStats();
        *stats = visible;
        stats->uiDrawCalls = counted.uiDrawCalls;
    }
}
