#include "scene/Viewpoint.h"

#include <algorithm>
#include <cmath>

#include "scene/Scene.h"

namespace {

bool Normalise(float v[3])
{
    const float length = std::sqrt(Dot3(v, v));
    if (!(length > 1e-20f) || !std::isfinite(length))
        return false;
    for (int c = 0; c < 3; ++c)
        v[c] /= length;
    return true;
}

// Right and up square to a unit forward, up as close to wantUp as it can be
// (fallbackRight when wantUp is along forward).
void SquareUp(SSceneViewpoint& v, const float wantUp[3], const float fallbackRight[3])
{
    float right[3];
    Cross3(right, v.fForward, wantUp);
    if (!Normalise(right)) {
        for (int c = 0; c < 3; ++c)
            right[c] = fallbackRight[c];
        // Keep it square to forward.
        const float along = Dot3(right, v.fForward);
        for (int c = 0; c < 3; ++c)
            right[c] -= along * v.fForward[c];
        if (!Normalise(right)) {
            // Any side will do.
            const float axis[3] = {std::fabs(v.fForward[0]) < 0.9f ? 1.0f : 0.0f,
                                   std::fabs(v.fForward[0]) < 0.9f ? 0.0f : 1.0f, 0};
            Cross3(right, v.fForward, axis);
            Normalise(right);
        }
    }
    for (int c = 0; c < 3; ++c)
        v.fRight[c] = right[c];
    Cross3(v.fUp, v.fRight, v.fForward);
}

uint32_t NodeCount(const SScene& scene)
{
    return uint32_t(scene.pNodes.size());
}

} // namespace

SSceneViewpoint ViewpointOf(const SMatrix44& nodeWorld, const SMatrix44* targetWorld)
{
    SSceneViewpoint v;
    for (int c = 0; c < 3; ++c)
        v.fPosition[c] = nodeWorld[size_t(12 + c)];
    // Rows of the matrix are where the node's own axes go.
    const float nodeX[3] = {nodeWorld[0], nodeWorld[1], nodeWorld[2]};
    const float nodeY[3] = {nodeWorld[4], nodeWorld[5], nodeWorld[6]};
    const float nodeZ[3] = {nodeWorld[8], nodeWorld[9], nodeWorld[10]};
    float forward[3] = {nodeY[0], nodeY[1], nodeY[2]};
    if (targetWorld) {
        float toTarget[3];
        for (int c = 0; c < 3; ++c)
            toTarget[c] = (*targetWorld)[size_t(12 + c)] - v.fPosition[c];
        if (Normalise(toTarget))
            for (int c = 0; c < 3; ++c)
                forward[c] = toTarget[c];
    }
    if (!Normalise(forward))
        return v;
    for (int c = 0; c < 3; ++c)
        v.fForward[c] = forward[c];
    SquareUp(v, nodeZ, nodeX);
    return v;
}

namespace {

// The viewpoint of a camera or light node, facing its target when it has one.
SSceneViewpoint NodeViewpoint(SScene& scene, uint32_t node, int32_t targetNode)
{
    const SMatrix44 world = WorldMatrixAt(scene, node);
    if (targetNode < 0 || uint32_t(targetNode) >= NodeCount(scene))
        return ViewpointOf(world, nullptr);
    const SMatrix44 target = WorldMatrixAt(scene, uint32_t(targetNode));
    return ViewpointOf(world, &target);
}

} // namespace

bool EvalCameraViewpoint(SScene& scene, uint32_t camera, SSceneViewpoint* out)
{
    *out = SSceneViewpoint();
    const uint64_t node = uint64_t(scene.uiMeshNodeCount) + scene.pLights.size() + camera;
    if (camera >= scene.pCameras.size() || node >= NodeCount(scene))
        return false;
    const SSceneCamera& c = scene.pCameras[camera];
    *out = NodeViewpoint(scene, uint32_t(node), c.nTargetIdx);
    out->fFieldOfView = c.fFieldOfView;
    // Per-frame angles blend between frames as the node keys do.
    if (scene.uiFrameCount && c.pfFieldOfViewKeys.size() >= scene.uiFrameCount) {
        const uint32_t frame = std::min(scene.sAnimCache.uiFrame, scene.uiFrameCount - 1);
        const uint32_t next = std::min(frame + 1, scene.uiFrameCount - 1);
        const float t = scene.sAnimCache.uiFrame < scene.uiFrameCount ? scene.sAnimCache.fBlend : 0.0f;
        const float a = c.pfFieldOfViewKeys[frame], b = c.pfFieldOfViewKeys[next];
        out->fFieldOfView = a + (b - a) * t;
    }
    out->fNearClip = c.fNearClip;
    out->fFarClip = c.fFarClip;
    return true;
}

bool EvalLightViewpoint(SScene& scene, uint32_t light, SSceneViewpoint* out)
{
    *out = SSceneViewpoint();
    const uint64_t node = uint64_t(scene.uiMeshNodeCount) + light;
    if (light >= scene.pLights.size() || node >= NodeCount(scene))
        return false;
    *out = NodeViewpoint(scene, uint32_t(node), scene.pLights[light].nTargetIdx);
    return true;
}

SMatrix44 ViewpointViewMatrix(const SSceneViewpoint& v)
{
    const float* s = v.fRight;
    const float* u = v.fUp;
    const float* f = v.fForward;
    const float* p = v.fPosition;
    return {s[0], u[0], -f[0], 0, s[1], u[1], -f[1], 0, s[2], u[2], -f[2], 0, -Dot3(s, p), -Dot3(u, p), Dot3(f, p), 1};
}
