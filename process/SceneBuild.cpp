// Stage 1 (frames, node order, node, light and camera records) and stage 2
// (reference resolution) of the processing driver.
#include "process/SceneBuild.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "base/ConversionLog.h"
#include "scene/ImportScene.h"
#include "options/Options.h"

namespace {

constexpr uint32_t kDefaultFramesPerSecond = 30;

int32_t ImportIndexOf(const SImportNode& node, size_t position)
{
    // Records built without a placed index are known by their position.
    return node.index >= 0 ? node.index : int32_t(position);
}

void Progress(size_t importNodes, size_t sceneNodes, const SImportNode& node)
{
    int p = int(40.0 / double(importNodes) * double(sceneNodes));
    p = std::min(std::max(p, 0), 40);
    ConversionProgress(p, "%s", node.name.c_str());
}

SSceneLight MakeLight(const SImportNode& node)
{
    const SImportLight& l = node.light;
    SSceneLight light;
    light.nTargetIdx = l.target;
    for (int i = 0; i < 3; ++i)
        light.fColour[i] = l.colour[size_t(i)];
    light.eType = l.type;
    light.fConstantAttenuation = l.constantAttenuation;
    light.fLinearAttenuation = l.linearAttenuation;
    light.fQuadraticAttenuation = l.quadraticAttenuation;
    light.fFalloffAngle = l.falloffAngle;
    light.fFalloffExponent = l.falloffExponent;
    return light;
}

SSceneCamera MakeCamera(const SImportNode& node, uint32_t frameCount)
{
    const SImportCamera& c = node.camera;
    SSceneCamera camera;
    camera.nTargetIdx = c.target;
    camera.fFieldOfView = c.fov;
    camera.fFarClip = c.farPlane;
    camera.fNearClip = c.nearPlane;
    // The per-frame field of view is kept only when it covers every frame and
    // changes somewhere.
    if (frameCount != 0 && node.frameFov.size() >= frameCount) {
        bool changes = false;
        for (uint32_t f = 0; f < frameCount && !changes; ++f)
            changes = node.frameFov[f] != c.fov;
        if (changes)
            camera.pfFieldOfViewKeys.assign(node.frameFov.begin(), node.frameFov.begin() + frameCount);
    }
    return camera;
}

} // namespace

void ChooseFrames(const SImportScene& source, const COptionsData& options, uint32_t* frameCount,
                  uint32_t* framesPerSecond)
{
    if (!options.UsesFrames()) {
        *frameCount = 0;
        *framesPerSecond = kDefaultFramesPerSecond;
        return;
    }
    // A range that ends before it starts holds no frame.
    uint32_t count = 0;
    if (source.lastFrame >= source.firstFrame && source.lastFrame - source.firstFrame != UINT32_MAX)
        count = source.lastFrame - source.firstFrame + 1;
    if (count != 0) {
        size_t fewest = 0;
        for (const SImportNode& node : source.nodes)
            if (!node.frames.empty() && (fewest == 0 || node.frames.size() < fewest))
                fewest = node.frames.size();
        if (fewest != 0 && fewest < count)
            count = uint32_t(fewest);
    }
    *frameCount = count;
    // A rate of 0 would make every frame time infinite.
    *framesPerSecond = source.frameRate != 0 ? source.frameRate : kDefaultFramesPerSecond;
}

// Whether scale, rotation and translation, composed as the scene model
// composes them, miss the matrix of a transform block: the stretch rotation
// of a shear, which the parts hold but the model does not apply.
bool PartsMissMatrix(const SImportTransform& t)
{
    if (t.stretchAngle == 0)
        return false;
    const SMatrix44 parts = MatrixMultiply(
        MatrixMultiply(ScaleMatrix(t.scale[0], t.scale[1], t.scale[2]), QuaternionMatrix(t.rotation.data())),
        TranslationMatrix(t.translation[0], t.translation[1], t.translation[2]));
    for (size_t i = 0; i < 16; ++i)
        if (!(std::fabs(parts[i] - t.matrix[i]) <= 1e-5f * std::max(1.0f, std::fabs(t.matrix[i]))))
            return true;
    return false;
}

// World space is baked from the whole matrix of every node.
bool NeedsMatrixKeys(const SImportNode& node, const COptionsData& options, uint32_t frameCount)
{
    if (options.GetBool(opt::bExportMatrices))
        return true;
    if (options.GetBool(opt::bExportModelSpace))
        return false;
    if (PartsMissMatrix(node.transform))
        return true;
    const size_t frames = std::min<size_t>(frameCount, node.frames.size());
    for (size_t f = 0; f < frames; ++f)
        if (PartsMissMatrix(node.frames[f]))
            return true;
    return false;
}

SWorkNode MakeWorkNode(const SImportNode& node, int32_t importIndex, const COptionsData& options, uint32_t frameCount)
{
    SWorkNode work;
    SSceneNode& n = work.node;
    n.pszName = node.name;
    n.nParentIdx = node.parent;
    n.nMaterialIdx = -1;
    n.uiAnimMask = 0;
    n.pUserData = node.userData;
    work.importIndex = importIndex;

    const SImportTransform& t = node.transform;
    std::memcpy(work.restPosition, t.translation.data(), 12);
    std::memcpy(work.restRotation, t.rotation.data(), 16);
    std::memcpy(work.restScale, t.scale.data(), 12);
    std::memcpy(work.restScale + 3, t.stretchAxis.data(), 12);
    work.restScale[6] = t.stretchAngle;
    work.restMatrix = t.matrix;
    work.matrixKeys = NeedsMatrixKeys(node, options, frameCount);

    if (frameCount == 0 || node.frames.empty())
        return work;
    // Frame f of the node (a node with fewer frames repeats its last one).
    auto frame = [&](uint32_t f) -> const SImportTransform& {
        return node.frames[std::min<size_t>(f, node.frames.size() - 1)];
    };
    if (work.matrixKeys) {
        n.pfMatrixKeys.resize(size_t(frameCount) * kMatrixKeySize);
        for (uint32_t f = 0; f < frameCount; ++f)
            std::memcpy(&n.pfMatrixKeys[size_t(f) * kMatrixKeySize], frame(f).matrix.data(), 64);
    } else {
        n.pfPositionKeys.resize(size_t(frameCount) * kPositionKeySize);
        n.pfRotationKeys.resize(size_t(frameCount) * kRotationKeySize);
        n.pfScaleKeys.resize(size_t(frameCount) * kScaleKeySize);
        for (uint32_t f = 0; f < frameCount; ++f) {
            const SImportTransform& k = frame(f);
            std::memcpy(&n.pfPositionKeys[size_t(f) * kPositionKeySize], k.translation.data(), 12);
            std::memcpy(&n.pfRotationKeys[size_t(f) * kRotationKeySize], k.rotation.data(), 16);
            float* s = &n.pfScaleKeys[size_t(f) * kScaleKeySize];
            std::memcpy(s, k.scale.data(), 12);
            std::memcpy(s + 3, k.stretchAxis.data(), 12);
            s[6] = k.stretchAngle;
        }
    }
    return work;
}

void WarnInvisibleMaterials(const SWorkScene& work)
{
    // Some exporters write a transparency of 0 for "opaque"; the meshes of a
    // material read that way would be exported and never seen.
    std::vector<uint8_t> warned(work.materials.size(), 0);
    for (const SWorkNode& wn : work.nodes) {
        const int32_t m = wn.node.nMaterialIdx;
        if (m < 0 || size_t(m) >= work.materials.size() || warned[size_t(m)])
            continue;
        const SSceneMaterial& material = work.materials[size_t(m)];
        if (!(material.fOpacity <= kInvisibleOpacity))
            continue;
        warned[size_t(m)] = 1;
        ConversionLog(eLogWarning,
                      "Warning: Material '%s' is fully transparent (opacity %g), so the meshes that use it are "
                      "exported invisible. If the document means the opposite, turn on bInvertTransparency "
                      "(Invert transparency).",
                      material.pszName.c_str(), double(material.fOpacity));
    }
}

void BuildScene(const SImportScene& source, const COptionsData& options, SScene& scene, SWorkScene& work,
                SImportScene* release)
{
    ChooseFrames(source, options, &scene.uiFrameCount, &scene.uiFramesPerSecond);
    for (int i = 0; i < 3; ++i)
        scene.fAmbientRGB[i] = source.ambient[size_t(i)];
    scene.pUserData = source.userData;

    uint32_t materialCount = 0;
    if (options.GetBool(opt::bExportMaterials)) {
        BuildMaterials(source.materials, work);
        materialCount = uint32_t(work.materials.size());
    }

    const size_t count = source.nodes.size();
    const uint32_t frames = scene.uiFrameCount;
    std::vector<uint8_t> placed(count, 0);

    // Mesh nodes first: the scene's node order relies on it.
    if (options.GetBool(opt::bExportGeometry)) {
        const bool bones = options.GetBool(opt::bExportBoneGeometry);
        for (size_t i = 0; i < count; ++i) {
            const SImportNode& node = source.nodes[i];
            if (node.content != eImportMesh && !(bones && node.content == eImportBone))
                continue;
            Progress(count, work.nodes.size(), node);
            // A node without a drawable triangle stays a plain node below,
            // so that its children keep their parent.
            SImportNode* given = release ? &release->nodes[i] : nullptr;
            if (BuildNodeMeshes(node, ImportIndexOf(node, i), options, frames, materialCount, work, given) != 0)
                placed[i] = 1;
            if (given)
                ReleaseMeshData(*given); // also when nothing was drawable
        }
    }
    scene.uiMeshNodeCount = uint32_t(work.nodes.size());
    WarnInvisibleMaterials(work);

    for (size_t i = 0; i < count; ++i) {
        const SImportNode& node = source.nodes[i];
        if (node.content != eImportLight || placed[i])
            continue;
        Progress(count, work.nodes.size(), node);
        SWorkNode wn = MakeWorkNode(node, ImportIndexOf(node, i), options, frames);
        wn.node.nContentIdx = int32_t(work.lights.size());
        work.lights.push_back(MakeLight(node));
        work.nodes.push_back(std::move(wn));
        placed[i] = 1;
    }
    for (size_t i = 0; i < count; ++i) {
        const SImportNode& node = source.nodes[i];
        if (node.content != eImportCamera || placed[i])
            continue;
        Progress(count, work.nodes.size(), node);
        SWorkNode wn = MakeWorkNode(node, ImportIndexOf(node, i), options, frames);
        wn.node.nContentIdx = int32_t(work.cameras.size());
        work.cameras.push_back(MakeCamera(node, frames));
        work.nodes.push_back(std::move(wn));
        placed[i] = 1;
    }
    for (size_t i = 0; i < count; ++i) {
        if (placed[i])
            continue;
        const SImportNode& node = source.nodes[i];
        Progress(count, work.nodes.size(), node);
        work.nodes.push_back(MakeWorkNode(node, ImportIndexOf(node, i), options, frames));
    }
}

void ResolveReferences(SWorkScene& work)
{
    std::unordered_map<int32_t, int32_t> firstNode;
    firstNode.reserve(work.nodes.size());
    for (size_t i = 0; i < work.nodes.size(); ++i)
        firstNode.emplace(work.nodes[i].importIndex, int32_t(i));
    // An index that names no scene node would point at an unrelated one, so
    // it becomes "none".
    auto resolve = [&firstNode](int32_t ref) -> int32_t {
        if (ref == -1)
            return ref;
        const auto it = firstNode.find(ref);
        return it != firstNode.end() ? it->second : -1;
    };
    for (SSceneCamera& camera : work.cameras)
        camera.nTargetIdx = resolve(camera.nTargetIdx);
    for (SSceneLight& light : work.lights)
        light.nTargetIdx = resolve(light.nTargetIdx);
    for (SWorkNode& node : work.nodes)
        node.node.nParentIdx = resolve(node.node.nParentIdx);
    for (SWorkMesh& wm : work.meshes) {
        if (wm.influenceCounts.empty())
            continue;
        SVertexChannel& bones = wm.mesh.sBoneIndex;
        const uint32_t n = bones.uiComponentCount;
        for (size_t v = 0; v < wm.influenceCounts.size(); ++v)
            for (uint32_t k = 0; k < wm.influenceCounts[v] && k < n; ++k) {
                uint8_t* p = &bones.pData[(v * n + k) * 4];
                int32_t bone;
                std::memcpy(&bone, p, 4);
                bone = resolve(bone);
                std::memcpy(p, &bone, 4);
            }
    }
}
