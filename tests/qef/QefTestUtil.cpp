#include "QefTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "scene/MeshTriangles.h"
#include "scene/SceneWrite.h"

QefScenePtr LoadQef(const void* data, size_t size, qef_error* error)
{
    qef_scene* s = nullptr;
    if (qef_load(data, size, nullptr, &s, error) != QEF_OK)
        return nullptr;
    return QefScenePtr(s);
}

std::vector<uint8_t> WriteToMemory(const SScene& scene, const char* optionsText, const char* history)
{
    std::vector<uint8_t> bytes;
    EXPECT_EQ(WriteSceneFileToMemory(scene, optionsText, history, &bytes), 0);
    return bytes;
}

namespace {

std::string Str(const char* s)
{
    return s ? s : "";
}

void ExpectChannel(const SSceneMesh& m, const SVertexChannel& c, const qef_channel& q, const char* what)
{
    SCOPED_TRACE(what);
    EXPECT_EQ(q.type, uint32_t(c.eType));
    EXPECT_EQ(q.components, c.uiComponentCount);
    if (!c.IsPresent())
        return;
    EXPECT_EQ(q.stride, c.uiStride);
    ASSERT_EQ(q.count, m.uiVertexCount);
    if (m.uiVertexCount == 0 || ComponentSize(c.eType) == 0)
        return;
    // A sample of vertices: first, last and a few between, read by the
    // model's own ReadVertex and by the loader's decoder.
    const uint32_t n = m.uiVertexCount;
    const uint32_t samples[] = {0, n / 3, n / 2, n - 1};
    for (uint32_t v : samples) {
        const uint8_t* element =
            m.IsInterleaved() ? &m.pVertexBlock[size_t(v) * c.uiStride + c.uiOffset] : &c.pData[size_t(v) * c.uiStride];
        float want[4], got[4];
        ReadVertex(want, element, c.eType, c.uiComponentCount);
        ASSERT_EQ(qef_decode(&q, v, 1, 4, nullptr, got), QEF_OK);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(got[k], want[k]) << "vertex " << v << " value " << k;
    }
}

void ExpectMatrix(const SMatrix44& want, const float got[16], const char* what)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(got[i], want[size_t(i)]) << what << " element " << i;
}

} // namespace

void ExpectSameScene(const SScene& model, const qef_scene& s)
{
    ASSERT_EQ(s.camera_count, model.pCameras.size());
    ASSERT_EQ(s.light_count, model.pLights.size());
    ASSERT_EQ(s.mesh_count, model.pMeshes.size());
    ASSERT_EQ(s.node_count, model.pNodes.size());
    ASSERT_EQ(s.texture_count, model.pTextures.size());
    ASSERT_EQ(s.material_count, model.pMaterials.size());
    EXPECT_EQ(s.mesh_node_count, model.uiMeshNodeCount);
    EXPECT_EQ(s.frame_count, model.uiFrameCount);
    EXPECT_EQ(s.frames_per_second, model.uiFrameCount ? model.uiFramesPerSecond : 30u);
    EXPECT_EQ(s.flags, model.uiFlags);
    EXPECT_EQ(0, std::memcmp(s.background, model.fBackgroundRGB, 12));
    EXPECT_EQ(s.user_data_size, model.pUserData.size());

    for (uint32_t i = 0; i < s.texture_count; ++i)
        EXPECT_EQ(Str(s.textures[i].name), model.pTextures[i].pszName);
    for (uint32_t i = 0; i < s.material_count; ++i) {
        const SSceneMaterial& m = model.pMaterials[i];
        const qef_material& q = s.materials[i];
        EXPECT_EQ(Str(q.name), m.pszName);
        for (int t = 0; t < SSceneMaterial::kTextureSlots; ++t)
            EXPECT_EQ(q.textures[t], m.TextureSlot(t));
        EXPECT_EQ(q.opacity, m.fOpacity);
        EXPECT_EQ(0, std::memcmp(q.diffuse, m.fDiffuse, 12));
        EXPECT_EQ(Str(q.effect_file_name), m.pszEffectFileName);
        EXPECT_EQ(q.src_colour_factor, m.eSrcColourFactor);
        EXPECT_EQ(q.dst_alpha_factor, m.eDstAlphaFactor);
        EXPECT_EQ(q.flags, m.uiMaterialFlags);
        EXPECT_EQ(q.user_data_size, m.pUserData.size());
    }
    for (uint32_t i = 0; i < s.light_count; ++i) {
        const SSceneLight& l = model.pLights[i];
        const qef_light& q = s.lights[i];
        EXPECT_EQ(q.target, l.nTargetIdx);
        EXPECT_EQ(q.type, l.eType);
        EXPECT_EQ(0, std::memcmp(q.colour, l.fColour, 12));
        EXPECT_EQ(q.falloff_angle, l.eType == eLightSpot ? l.fFalloffAngle : 0.0f);
    }
    for (uint32_t i = 0; i < s.camera_count; ++i) {
        const SSceneCamera& c = model.pCameras[i];
        const qef_camera& q = s.cameras[i];
        EXPECT_EQ(q.target, c.nTargetIdx);
        EXPECT_EQ(q.field_of_view, c.fFieldOfView);
        EXPECT_EQ(q.near_clip, c.fNearClip);
        EXPECT_EQ(q.field_of_view_keys != nullptr, !c.pfFieldOfViewKeys.empty());
    }

    for (uint32_t i = 0; i < s.mesh_count; ++i) {
        SCOPED_TRACE("mesh " + std::to_string(i));
        const SSceneMesh& m = model.pMeshes[i];
        const qef_mesh& q = s.meshes[i];
        ASSERT_EQ(q.vertex_count, m.uiVertexCount);
        ASSERT_EQ(q.triangle_count, m.uiTriangleCount);
        EXPECT_EQ(q.strip_count, m.StripCount());
        ASSERT_EQ(q.tex_coord_count, m.TexCoordSets());
        EXPECT_EQ(q.batch_count, m.uiBatchCount);
        EXPECT_EQ(q.batch_capacity, m.uiBatchCapacity);
        EXPECT_EQ(q.vertex_block != nullptr, m.IsInterleaved());
        EXPECT_EQ(0, std::memcmp(q.unpack_matrix, m.fUnpackMatrix.data(), 64));
        for (size_t b = 0; b < m.puiBatchBoneList.size(); ++b)
            ASSERT_EQ(qef_u32(q.batch_bone_list, b), m.puiBatchBoneList[b]);
        for (size_t b = 0; b < m.puiBatchStartTriangle.size(); ++b)
            ASSERT_EQ(qef_u32(q.batch_start_triangle, b), m.puiBatchStartTriangle[b]);
        EXPECT_EQ(q.indices.type, uint32_t(m.sIndexData.eType));
        EXPECT_EQ(uint64_t(q.indices.count), IndexCount(m));

        std::vector<uint32_t> triangles(size_t(q.triangle_count) * 3);
        ASSERT_EQ(qef_triangle_list(&q, triangles.data(), triangles.size()), QEF_OK);
        EXPECT_EQ(triangles, TriangleList(m));

        ExpectChannel(m, m.sPosition, q.position, "position");
        ExpectChannel(m, m.sNormal, q.normal, "normal");
        ExpectChannel(m, m.sTangent, q.tangent, "tangent");
        ExpectChannel(m, m.sBinormal, q.binormal, "binormal");
        ExpectChannel(m, m.sColour, q.colour, "colour");
        ExpectChannel(m, m.sBoneIndex, q.bone_index, "bone index");
        ExpectChannel(m, m.sBoneWeights, q.bone_weights, "bone weights");
        for (uint32_t t = 0; t < q.tex_coord_count; ++t)
            ExpectChannel(m, m.psTexCoord[t], q.tex_coords[t], "texture coordinates");

        // Model-space positions through the unpack matrix.
        if (m.sPosition.IsPresent() && m.uiVertexCount) {
            const uint32_t v = m.uiVertexCount / 2;
            float stored[4], got[3];
            const uint8_t* element = m.IsInterleaved()
                                         ? &m.pVertexBlock[size_t(v) * m.sPosition.uiStride + m.sPosition.uiOffset]
                                         : &m.sPosition.pData[size_t(v) * m.sPosition.uiStride];
            ReadVertex(stored, element, m.sPosition.eType, m.sPosition.uiComponentCount);
            ASSERT_EQ(qef_decode(&q.position, v, 1, 3, q.unpack_matrix, got), QEF_OK);
            const SMatrix44& u = m.fUnpackMatrix;
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(got[c],
                            stored[0] * u[size_t(c)] + stored[1] * u[size_t(4 + c)] + stored[2] * u[size_t(8 + c)] +
                                u[size_t(12 + c)],
                            1e-4f * (1.0f + std::fabs(got[c])));
        }
    }

    SScene eval = model;
    for (uint32_t i = 0; i < s.node_count; ++i) {
        const SSceneNode& n = model.pNodes[i];
        const qef_node& q = s.nodes[i];
        EXPECT_EQ(Str(q.name), n.pszName);
        EXPECT_EQ(q.parent, n.nParentIdx);
        EXPECT_EQ(q.content, n.nContentIdx);
        EXPECT_EQ(q.material, n.nMaterialIdx);
        EXPECT_EQ(q.anim_mask, n.uiAnimMask);
        EXPECT_EQ(q.position.key_count, n.pfPositionKeys.size());
        EXPECT_EQ(q.matrix.key_count, n.pfMatrixKeys.size());
    }
    // World matrices at the first frame, between two frames and at the last.
    const float last = model.uiFrameCount ? float(model.uiFrameCount - 1) : 0.0f;
    for (float frame : {0.0f, last * 0.5f + 0.25f, last}) {
        SelectFrame(eval, frame);
        const uint32_t step = std::max<uint32_t>(1, s.node_count / 16);
        for (uint32_t i = 0; i < s.node_count; i += step) {
            float got[16];
            ASSERT_EQ(qef_world_matrix(&s, i, frame, got), QEF_OK);
            ExpectMatrix(ComputeWorldMatrix(eval, i), got, ("node " + std::to_string(i)).c_str());
        }
    }
}

void TouchEverything(const qef_scene& s)
{
    std::vector<float> values;
    std::vector<uint32_t> triangles;
    for (uint32_t i = 0; i < s.mesh_count; ++i) {
        const qef_mesh& m = s.meshes[i];
        const qef_channel* channels[] = {&m.position, &m.normal,     &m.tangent,     &m.binormal,
                                         &m.colour,   &m.bone_index, &m.bone_weights};
        auto decode = [&](const qef_channel& c) {
            if (!c.data || c.count == 0)
                return;
            values.resize(size_t(c.count) * 4);
            qef_decode(&c, 0, c.count, 4, m.unpack_matrix, values.data());
        };
        for (const qef_channel* c : channels)
            decode(*c);
        for (uint32_t t = 0; t < m.tex_coord_count; ++t)
            decode(m.tex_coords[t]);
        triangles.resize(size_t(m.triangle_count) * 3);
        qef_triangle_list(&m, triangles.data(), triangles.size());
        for (uint32_t b = 0; b < m.batch_count && m.batch_bone_list && m.batch_bone_totals; ++b)
            for (uint32_t k = 0; k < qef_u32(m.batch_bone_totals, b) && k < m.batch_capacity; ++k)
                (void)qef_u32(m.batch_bone_list, size_t(b) * m.batch_capacity + k);
    }
    const float last = s.frame_count ? float(s.frame_count - 1) : 0.0f;
    for (float frame : {0.0f, last * 0.5f, last}) {
        float out[16];
        for (uint32_t n = 0; n < s.node_count && n < 256; ++n) {
            qef_world_matrix(&s, n, frame, out);
            qef_bone_matrix(&s, 0, n, frame, out);
        }
        qef_view view;
        for (uint32_t c = 0; c < s.camera_count; ++c)
            qef_camera_at(&s, c, frame, &view);
        for (uint32_t l = 0; l < s.light_count; ++l)
            qef_light_at(&s, l, frame, &view);
    }
}
