// The loader's entry points and helpers, one test each, against the scene
// model's own operations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "QefTestUtil.h"
#include "SceneTestUtil.h"
#include "TestSupport.h"
#include "scene/MeshTriangles.h"
#include "scene/SceneFromQef.h"

namespace {

// The full test scene: every record kind, strips, an interleaved mesh,
// animation with and without frame index arrays.
class QefHelpers : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_model = MakeFullScene();
        m_bytes = WriteToMemory(m_model);
        qef_error error;
        m_scene = LoadQef(m_bytes.data(), m_bytes.size(), &error);
        ASSERT_TRUE(m_scene) << error.message;
    }

    SScene m_model;
    std::vector<uint8_t> m_bytes;
    QefScenePtr m_scene;
};

TEST_F(QefHelpers, ViewsAgreeWithTheModel)
{
    ExpectSameScene(m_model, *m_scene);
    EXPECT_EQ(std::string(m_scene->options_text, m_scene->options_text_size), "opts");
    EXPECT_EQ(std::string(m_scene->history_text, m_scene->history_text_size), "h");
    // Views point into the caller's bytes; nothing was copied.
    const uint8_t* begin = m_bytes.data();
    const uint8_t* p = static_cast<const uint8_t*>(m_scene->meshes[2].vertex_block);
    EXPECT_TRUE(p > begin && p < begin + m_bytes.size());
}

// The scene model built from the views equals the written one, field by
// field, and keeps the two texts.
TEST_F(QefHelpers, BuildsTheSceneModel)
{
    SScene built;
    CZGXTString options, history, error;
    ASSERT_TRUE(LoadSceneFromBytes(m_bytes.data(), m_bytes.size(), &built, &options, &history, &error)) << error;
    EXPECT_TRUE(built == m_model);
    EXPECT_EQ(options, "opts");
    EXPECT_EQ(history, "h");
    EXPECT_FALSE(LoadSceneFromBytes(m_bytes.data(), m_bytes.size() - 9, &built, nullptr, nullptr, &error));
    EXPECT_NE(error.find("before the end of group"), std::string::npos) << error;
}

// Every element type decodes as the scene model's ReadVertex reads it.
TEST_F(QefHelpers, DecodeReadsEveryTypeAsTheModel)
{
    const float values[4] = {0.25f, -0.5f, 0.75f, 1.0f};
    for (uint32_t type = 1; type <= 17; ++type) {
        SCOPED_TRACE("type " + std::to_string(type));
        const bool packed = type >= 4 && type <= 8;
        const uint32_t n = packed ? 1 : 3;
        const uint32_t stride = ComponentSize(type) * n + 2; // a stride with padding
        std::vector<uint8_t> data(stride * 3 + 1, 0xAB);
        for (uint32_t v = 0; v < 3; ++v) {
            float in[4];
            for (int k = 0; k < 4; ++k)
                in[k] = values[k] * float(v + 1) * (type == 1 ? 1.0f : 100.0f * float(type % 3 + 1) / 3.0f);
            WriteVertex(&data[v * stride + 1], type, packed ? 4 : n, in);
        }
        qef_channel c = {};
        c.data = data.data() + 1; // unaligned on purpose
        c.type = type;
        c.components = n;
        c.stride = stride;
        c.count = 3;
        float got[12];
        ASSERT_EQ(qef_decode(&c, 0, 3, 4, nullptr, got), QEF_OK);
        for (uint32_t v = 0; v < 3; ++v) {
            float want[4];
            ReadVertex(want, &data[v * stride + 1], type, n);
            for (int k = 0; k < 4; ++k)
                EXPECT_EQ(got[v * 4 + k], want[k]) << "vertex " << v << " value " << k;
        }
        EXPECT_EQ(qef_component_size(type), ComponentSize(type));
        EXPECT_EQ(qef_values_per_element(type), ValuesPerElement(type));
    }
    // Out of range and absent channels are refused.
    float out[4];
    EXPECT_EQ(qef_decode(&m_scene->meshes[0].position, 4, 1, 3, nullptr, out), QEF_INVALID_ARGUMENT);
    EXPECT_EQ(qef_decode(&m_scene->meshes[0].tangent, 0, 1, 3, nullptr, out), QEF_INVALID_ARGUMENT);
}

TEST_F(QefHelpers, TriangleListUnrollsStrips)
{
    for (uint32_t i = 0; i < m_scene->mesh_count; ++i) {
        const qef_mesh& m = m_scene->meshes[i];
        std::vector<uint32_t> list(size_t(m.triangle_count) * 3);
        ASSERT_EQ(qef_triangle_list(&m, list.data(), list.size()), QEF_OK);
        EXPECT_EQ(list, TriangleList(m_model.pMeshes[i])) << "mesh " << i;
        if (!list.empty()) {
            EXPECT_EQ(qef_triangle_list(&m, list.data(), list.size() - 1), QEF_BUFFER_TOO_SMALL);
        }
    }
    EXPECT_EQ(m_scene->meshes[1].strip_count, 2u);
}

// World, bone, camera and light matrices at whole and fractional frames,
// before the first and after the last, exactly as the model evaluates them.
TEST_F(QefHelpers, EvaluationMatchesTheModel)
{
    ASSERT_GT(m_model.uiFrameCount, 1u);
    ASSERT_EQ(CreateAnimCache(m_model), 0);
    for (float frame : {-1.0f, 0.0f, 0.5f, 1.0f, 1.75f, 2.0f, 7.5f}) {
        SCOPED_TRACE("frame " + std::to_string(frame));
        SelectFrame(m_model, frame);
        for (uint32_t n = 0; n < m_scene->node_count; ++n) {
            float got[16];
            ASSERT_EQ(qef_world_matrix(m_scene.get(), n, frame, got), QEF_OK);
            const SMatrix44 want = ComputeWorldMatrix(m_model, n);
            for (int i = 0; i < 16; ++i)
                ASSERT_EQ(got[i], want[size_t(i)]) << "node " << n << " element " << i;
            ASSERT_EQ(qef_bone_matrix(m_scene.get(), 0, n, frame, got), QEF_OK);
            const SMatrix44 skin = BoneSkinMatrix(m_model, 0, n);
            for (int i = 0; i < 16; ++i)
                ASSERT_EQ(got[i], skin[size_t(i)]) << "bone " << n << " element " << i;
        }
        for (uint32_t c = 0; c < m_scene->camera_count; ++c) {
            qef_view view;
            ASSERT_EQ(qef_camera_at(m_scene.get(), c, frame, &view), QEF_OK);
            const uint32_t node = m_model.uiMeshNodeCount + uint32_t(m_model.pLights.size()) + c;
            EXPECT_EQ(view.node, node);
            const SMatrix44 world = ComputeWorldMatrix(m_model, node);
            EXPECT_EQ(view.position[0], world[12]);
            const SSceneCamera& cam = m_model.pCameras[c];
            if (cam.nTargetIdx >= 0) {
                const SMatrix44 target = ComputeWorldMatrix(m_model, uint32_t(cam.nTargetIdx));
                EXPECT_EQ(view.direction[1], target[13] - world[13]);
            } else {
                EXPECT_EQ(view.direction[2], -world[10]);
            }
            if (cam.pfFieldOfViewKeys.empty()) {
                EXPECT_EQ(view.field_of_view, cam.fFieldOfView);
            } else if (frame >= 0 && frame <= 2) {
                const uint32_t a = uint32_t(frame), b = std::min(a + 1, m_model.uiFrameCount - 1);
                const float t = frame - float(a);
                EXPECT_FLOAT_EQ(view.field_of_view,
                                cam.pfFieldOfViewKeys[a] + (cam.pfFieldOfViewKeys[b] - cam.pfFieldOfViewKeys[a]) * t);
            }
        }
        for (uint32_t l = 0; l < m_scene->light_count; ++l) {
            qef_view view;
            ASSERT_EQ(qef_light_at(m_scene.get(), l, frame, &view), QEF_OK);
            const SMatrix44 world = ComputeWorldMatrix(m_model, m_model.uiMeshNodeCount + l);
            EXPECT_EQ(view.position[2], world[14]);
        }
    }
    float out[16];
    EXPECT_EQ(qef_world_matrix(m_scene.get(), m_scene->node_count, 0, out), QEF_INVALID_ARGUMENT);
}

// A parent loop, a self parent and parents out of range evaluate as the
// model does, without hanging.
TEST(QefEvaluation, ParentLoopsEndAsInTheModel)
{
    SScene model;
    model.pNodes.resize(6);
    for (size_t i = 0; i < model.pNodes.size(); ++i) {
        model.pNodes[i].pszName = "n" + std::to_string(i);
        model.pNodes[i].pfPositionKeys = {float(i), 1, 2};
        model.pNodes[i].pfRotationKeys = {0, 0, 0.6f, 0.8f};
        model.pNodes[i].pfScaleKeys = {1, 2, 1, 0, 0, 0, 0};
    }
    model.pNodes[0].nParentIdx = 1;
    model.pNodes[1].nParentIdx = 2;
    model.pNodes[2].nParentIdx = 1; // 1 and 2 loop
    model.pNodes[3].nParentIdx = 3; // itself
    model.pNodes[4].nParentIdx = 99;
    model.pNodes[5].nParentIdx = 0;
    const std::vector<uint8_t> bytes = WriteToMemory(model);
    qef_error error;
    QefScenePtr s = LoadQef(bytes.data(), bytes.size(), &error);
    ASSERT_TRUE(s) << error.message;
    for (uint32_t n = 0; n < 6; ++n) {
        float got[16];
        ASSERT_EQ(qef_world_matrix(s.get(), n, 0, got), QEF_OK);
        const SMatrix44 want = ComputeWorldMatrix(model, n);
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(got[i], want[size_t(i)]) << "node " << n << " element " << i;
    }
}

// Memory: qef_measure gives what qef_load_into needs; qef_load makes one
// allocation through the caller's allocator and qef_free returns it.
TEST_F(QefHelpers, OneAllocationOfTheMeasuredSize)
{
    size_t need = 0;
    ASSERT_EQ(qef_measure(m_bytes.data(), m_bytes.size(), nullptr, &need, nullptr), QEF_OK);
    EXPECT_GT(need, sizeof(qef_scene));
    std::vector<std::max_align_t> memory(need / sizeof(std::max_align_t) + 1);
    qef_scene* s = nullptr;
    qef_error error;
    EXPECT_EQ(qef_load_into(m_bytes.data(), m_bytes.size(), nullptr, memory.data(), need - 1, &s, &error),
              QEF_BUFFER_TOO_SMALL);
    EXPECT_EQ(error.bytes_needed, need);
    ASSERT_EQ(qef_load_into(m_bytes.data(), m_bytes.size(), nullptr, memory.data(), need, &s, &error), QEF_OK);
    ExpectSameScene(m_model, *s);
    qef_free(s); // does nothing for the caller's memory

    struct SCount {
        int allocations = 0, releases = 0;
        size_t bytes = 0;
    } count;
    qef_allocator allocator;
    allocator.alloc = [](void* user, size_t size) {
        auto* c = static_cast<SCount*>(user);
        ++c->allocations;
        c->bytes += size;
        return std::malloc(size);
    };
    allocator.release = [](void* user, void* p) {
        ++static_cast<SCount*>(user)->releases;
        std::free(p);
    };
    allocator.user = &count;
    qef_options options = {&allocator};
    ASSERT_EQ(qef_load(m_bytes.data(), m_bytes.size(), &options, &s, &error), QEF_OK);
    EXPECT_EQ(count.allocations, 1);
    EXPECT_EQ(count.bytes, need);
    qef_free(s);
    EXPECT_EQ(count.releases, 1);
    // A refused file allocates nothing it keeps.
    EXPECT_NE(qef_load(m_bytes.data(), m_bytes.size() - 1, &options, &s, &error), QEF_OK);
    EXPECT_EQ(count.allocations, count.releases);
}

// qef_load_file: a registered name first, then the disk; the file's bytes
// are owned by the scene.
TEST_F(QefHelpers, LoadFileFindsRegisteredNamesBeforeTheDisk)
{
    CTempDir dir;
    const std::string path = dir.Path("scene.qef");
    ASSERT_TRUE(WriteFileBytes(path, std::string(m_bytes.begin(), m_bytes.end())));
    qef_scene* s = nullptr;
    qef_error error;
    ASSERT_EQ(qef_load_file(path.c_str(), nullptr, &s, &error), QEF_OK) << error.message;
    EXPECT_EQ(s->mesh_count, 3u);
    qef_free(s);

    // An empty scene registered under the same name wins over the disk.
    SScene empty;
    const std::vector<uint8_t> emptyBytes = WriteToMemory(empty);
    qef_memory_file entry = {path.c_str(), emptyBytes.data(), emptyBytes.size(), nullptr};
    qef_register_memory_file(&entry);
    ASSERT_EQ(qef_load_file(path.c_str(), nullptr, &s, &error), QEF_OK) << error.message;
    EXPECT_EQ(s->mesh_count, 0u);
    EXPECT_EQ(s->file_data, emptyBytes.data());
    qef_free(s);
    qef_unregister_memory_file(&entry);
    EXPECT_EQ(qef_find_memory_file(path.c_str(), nullptr, nullptr), 0);

    EXPECT_EQ(qef_load_file(dir.Path("missing.qef").c_str(), nullptr, &s, &error), QEF_FILE_ERROR);
    EXPECT_NE(std::string(error.message).find("missing.qef"), std::string::npos) << error.message;
}

// Older files keep static transforms in blocks of their own.
TEST(QefLegacy, StaticValuesBecomeOneKeyTracks)
{
    CQefBytes f;
    f.Version().Begin(1001);
    for (uint32_t tag : {2002u, 2003u, 2004u, 2007u, 2008u})
        f.LeafU32(tag, 0);
    f.LeafU32(2005, 1);
    f.Begin(2013).LeafString(5001, "old").LeafF32s(5004, {1, 2, 3}).LeafF32s(5005, {0, 0, 0, 1});
    f.LeafF32s(5006, {2, 2, 2}).End(2013);
    f.End(1001);
    qef_error error;
    QefScenePtr s = LoadQef(f.str().data(), f.size(), &error);
    ASSERT_TRUE(s) << error.message;
    const qef_node& n = s->nodes[0];
    ASSERT_EQ(n.position.key_count, 3u);
    EXPECT_EQ(qef_f32(n.position.keys, 2), 3.0f);
    EXPECT_EQ(n.anim_mask, 0u);
    ASSERT_EQ(n.scale.key_count, 7u);
    EXPECT_EQ(qef_f32(n.scale.keys, 1), 2.0f);
    float world[16];
    ASSERT_EQ(qef_world_matrix(s.get(), 0, 0, world), QEF_OK);
    EXPECT_EQ(world[12], 1.0f);
}

} // namespace
