#include "process/AnimationReduce.h"

#include <cstring>
#include <unordered_map>

#include "base/ConversionLog.h"
#include "options/Options.h"
#include "process/KeyHash.h"
#include "process/SceneBuild.h"
#include "scene/Scene.h"

namespace {

uint64_t HashKey(const float* key, uint32_t k)
{
    uint64_t h = kKeyHashSeed;
    for (uint32_t i = 0; i < k; ++i)
        h = HashWord(h, CanonicalBits(key[i]));
    return FinishHash(h);
}

bool SameKey(const float* a, const float* b, uint32_t k)
{
    for (uint32_t i = k; i-- > 0;)
        if (!(a[i] == b[i]))
            return false;
    return true;
}

struct STrack {
    std::vector<float>* keys;
    std::vector<uint32_t>* index;
    uint32_t keySize;
    uint32_t flag;
    const float* rest;
    bool compareBits; // scale and matrix compare bit patterns, the others values
    const char* removed;
    const char* kept;
};

// True when every frame's key equals the rest value.
bool MatchesRest(const STrack& t, uint32_t frameCount)
{
    const std::vector<float>& keys = *t.keys;
    const uint32_t k = t.keySize;
    for (uint32_t f = 0; f < frameCount; ++f) {
        if ((size_t(f) + 1) * k > keys.size())
            return false; // a short track cannot be the rest value
        const float* key = &keys[size_t(f) * k];
        if (t.compareBits ? std::memcmp(key, t.rest, size_t(k) * 4) != 0 : !SameKey(key, t.rest, k))
            return false;
    }
    return true;
}

} // namespace

bool IndexTrack(std::vector<uint32_t>& index, std::vector<float>& track, uint32_t frames, uint32_t keySize)
{
    index.clear();
    const uint64_t full = uint64_t(frames) * keySize;
    if (frames == 0 || keySize == 0 || track.size() < full)
        return false;
    std::vector<uint32_t> offsets(frames);
    std::vector<float> keys;
    std::unordered_multimap<uint64_t, uint32_t> byHash;
    for (uint32_t f = 0; f < frames; ++f) {
        const float* key = &track[size_t(f) * keySize];
        const uint64_t h = HashKey(key, keySize);
        bool found = false;
        const auto range = byHash.equal_range(h);
        for (auto it = range.first; it != range.second; ++it)
            if (SameKey(&keys[it->second], key, keySize)) {
                offsets[f] = it->second;
                found = true;
                break;
            }
        if (found)
            continue;
        // The index array costs a word per frame; stop when that no longer pays.
        if (uint64_t(keys.size()) + frames + keySize >= full)
            return false;
        const uint32_t offset = uint32_t(keys.size());
        keys.insert(keys.end(), key, key + keySize);
        byHash.emplace(h, offset);
        offsets[f] = offset;
    }
    track.swap(keys);
    index.swap(offsets);
    return true;
}

void ReduceNodeAnimation(SWorkNode& work, uint32_t frameCount, const COptionsData& options)
{
    SSceneNode& n = work.node;
    const STrack tracks[] = {
        {&n.pfPositionKeys, &n.puiPositionKeyIdx, kPositionKeySize, eAnimPosition, work.restPosition, false,
         "\"%s\": pos anim: removed\n", "\"%s\": pos anim: kept\n"},
        {&n.pfRotationKeys, &n.puiRotationKeyIdx, kRotationKeySize, eAnimRotation, work.restRotation, false,
         "\"%s\": rot anim: removed\n", "\"%s\": rot anim: kept\n"},
        {&n.pfScaleKeys, &n.puiScaleKeyIdx, kScaleKeySize, eAnimScale, work.restScale, true,
         "\"%s\": scale anim: removed\n", "\"%s\": scale anim: kept\n"},
        {&n.pfMatrixKeys, &n.puiMatrixKeyIdx, kMatrixKeySize, eAnimMatrix, work.restMatrix.data(), true,
         "\"%s\": Transformation matrix anim: removed\n", "\"%s\": Transformation matrix anim: kept\n"},
    };
    const bool indexed = options.GetBool(opt::bIndexAnimations);
    for (const STrack& t : tracks) {
        if (t.keys->empty())
            continue;
        if (MatchesRest(t, frameCount)) {
            ConversionLog(eLogVerbose, t.removed, n.pszName.c_str());
            *t.keys = std::vector<float>();
            t.index->clear();
            continue;
        }
        ConversionLog(eLogVerbose, t.kept, n.pszName.c_str());
        n.uiAnimMask |= t.flag;
        if (indexed)
            IndexTrack(*t.index, *t.keys, frameCount, t.keySize);
    }
    // Nodes without animation carry their rest value as a single key.
    auto single = [](std::vector<float>& keys, const float* rest, uint32_t k) {
        if (keys.empty())
            keys.assign(rest, rest + k);
    };
    if (work.matrixKeys || options.GetBool(opt::bExportMatrices)) {
        single(n.pfMatrixKeys, work.restMatrix.data(), kMatrixKeySize);
    } else {
        single(n.pfPositionKeys, work.restPosition, kPositionKeySize);
        single(n.pfRotationKeys, work.restRotation, kRotationKeySize);
        single(n.pfScaleKeys, work.restScale, kScaleKeySize);
    }
}

void ReduceAnimation(SScene& scene, SWorkScene& work, const COptionsData& options)
{
    for (SWorkNode& node : work.nodes)
        ReduceNodeAnimation(node, scene.uiFrameCount, options);

    scene.pCameras = std::move(work.cameras);
    scene.pLights = std::move(work.lights);
    scene.pMeshes.clear();
    scene.pMeshes.reserve(work.meshes.size());
    for (SWorkMesh& m : work.meshes)
        scene.pMeshes.push_back(std::move(m.mesh));
    scene.pNodes.clear();
    scene.pNodes.reserve(work.nodes.size());
    for (SWorkNode& n : work.nodes)
        scene.pNodes.push_back(std::move(n.node));
    scene.pMaterials = std::move(work.materials);
    scene.pTextures.clear();
    scene.pTextures.reserve(work.textures.size());
    for (std::string& name : work.textures)
        scene.pTextures.push_back(SSceneTexture{std::move(name)});
    work = SWorkScene();
}
