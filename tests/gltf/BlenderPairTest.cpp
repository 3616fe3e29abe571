// The same scenes written by Blender as Collada and as glTF
// (tests/data/gltf/make_blender_pairs.py) import to the same triangle count
// and world-space bounds; with skin and animation on, to the same frame and
// bone counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <map>

#include "GltfTestUtil.h"
#include "collada/Collada2QEF.h"

namespace {

struct SSummary {
    int result = -1;
    size_t triangles = 0;
    size_t bones = 0;
    size_t frames = 0; // frame blocks of an animated node
    uint32_t lastFrame = 0;
    bool skinned = false;
    std::map<std::string, std::vector<std::pair<float, float>>> uvs; // distinct texture coordinates by node
    float lo[3] = {FLT_MAX, FLT_MAX, FLT_MAX};
    float hi[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
};

// Row vectors: world = local x parent's world.
SMatrix44 Mul(const SMatrix44& a, const SMatrix44& b)
{
    SMatrix44 r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k)
                r[size_t(4 * i + j)] += a[size_t(4 * i + k)] * b[size_t(4 * k + j)];
    return r;
}

SSummary Summarise(I2QEF& importer, const std::string& path, bool skin)
{
    SImportScene scene;
    COptions options;
    options.SetBool(opt::bExportSkin, skin);
    options.SetBool(opt::bExportAnimations, true);
    options.SetBool(opt::bExportMappingChannels, true);
    CLogCapture log;
    SSummary s;
    s.result = importer.Import(path.c_str(), &scene, &options);
    s.lastFrame = scene.lastFrame;
    std::vector<SMatrix44> world(scene.nodes.size());
    for (size_t i = 0; i < scene.nodes.size(); ++i) {
        const SImportNode& n = scene.nodes[i];
        world[i] = n.transform.matrix;
        // Parents may follow their children in the list: walk up.
        for (int32_t p = n.parent; p >= 0; p = scene.nodes[size_t(p)].parent)
            world[i] = Mul(world[i], scene.nodes[size_t(p)].transform.matrix);
        s.triangles += n.triangles.size();
        if (!n.uvSets.empty()) {
            auto& list = s.uvs[n.name];
            for (const SVec3& uv : n.uvSets[0].values)
                list.push_back({std::round(uv[0] * 1e4f) / 1e4f, std::round(uv[1] * 1e4f) / 1e4f});
            // Each file splits its quads along its own diagonals: compare the
            // values, not how often corners repeat them.
            std::sort(list.begin(), list.end());
            list.erase(std::unique(list.begin(), list.end()), list.end());
        }
        s.bones += n.content == eImportBone;
        s.frames = std::max(s.frames, n.frames.size());
        // Skinned corners already lie where the skeleton puts them.
        const SMatrix44 m = n.skins.empty() ? world[i] : MatrixIdentity();
        if (!n.skins.empty())
            s.skinned = true;
        for (const SImportTriangle& t : n.triangles)
            for (int c = 0; c < 3; ++c) {
                const SVec3& p = n.positions[size_t(t.position[c])];
                for (int k = 0; k < 3; ++k) {
                    const float v =
                        p[0] * m[size_t(k)] + p[1] * m[size_t(4 + k)] + p[2] * m[size_t(8 + k)] + m[size_t(12 + k)];
                    s.lo[k] = std::min(s.lo[k], v);
                    s.hi[k] = std::max(s.hi[k], v);
                }
            }
    }
    return s;
}

} // namespace

// Bounds compare meshes placed by their nodes: the Collada import leaves
// skinned corners in the document's own (Z-up) axes, so skinning is off for
// the bounds and on for the bone and frame counts.
TEST(GltfBlenderPairs, SameSceneAsColladaAndGltf)
{
    for (const char* name : {"static", "skinned"}) {
        for (bool skin : {false, true}) {
            CCollada2QEF collada;
            CGltf2QEF gltf;
            const SSummary dae = Summarise(collada, TestDataPath(std::string("gltf/blender/") + name + ".dae"), skin);
            const SSummary glb = Summarise(gltf, TestDataPath(std::string("gltf/blender/") + name + ".glb"), skin);
            ASSERT_EQ(dae.result, 0) << name;
            ASSERT_EQ(glb.result, 0) << name;
            EXPECT_GT(glb.triangles, 0u) << name;
            EXPECT_EQ(glb.triangles, dae.triangles) << name;
            if (!skin)
                for (int k = 0; k < 3; ++k) {
                    EXPECT_NEAR(glb.lo[k], dae.lo[k], 1e-3f) << name << " axis " << k;
                    EXPECT_NEAR(glb.hi[k], dae.hi[k], 1e-3f) << name << " axis " << k;
                }
            EXPECT_EQ(glb.skinned, dae.skinned) << name;
            // The same texture coordinates, v upwards in both.
            EXPECT_EQ(glb.uvs, dae.uvs) << name;
            EXPECT_EQ(glb.bones, dae.bones) << name;
            EXPECT_EQ(glb.lastFrame, dae.lastFrame) << name;
            EXPECT_EQ(glb.frames, dae.frames) << name;
            if (std::string(name) == "static") {
                EXPECT_EQ(glb.uvs.size(), 3u);
            }
            if (std::string(name) == "skinned") {
                EXPECT_EQ(glb.frames, 31u); // one second at 30 frames per second
                EXPECT_EQ(glb.bones, 2u);
                EXPECT_EQ(glb.skinned, skin);
            }
        }
    }
}
