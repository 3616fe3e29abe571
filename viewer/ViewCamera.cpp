#include "viewer/ViewCamera.h"

#include <algorithm>
#include <cmath>

#include "scene/Scene.h"
#include "scene/Viewpoint.h"
#include "viewer/DrawList.h"

namespace {

constexpr float kMaxPitch = 1.55f;

void ClipToDistance(SViewCamera& camera)
{
    const float radius = camera.fRadius;
    camera.fNear = std::max(camera.fDistance - 2 * radius, camera.fDistance * 0.001f);
    camera.fFar = camera.fDistance + 2 * radius;
}

} // namespace

void OrbitEye(const SViewCamera& camera, float eye[3])
{
    const float c = std::cos(camera.fPitch);
    eye[0] = camera.fTarget[0] + camera.fDistance * c * std::sin(camera.fYaw);
    eye[1] = camera.fTarget[1] + camera.fDistance * std::sin(camera.fPitch);
    eye[2] = camera.fTarget[2] + camera.fDistance * c * std::cos(camera.fYaw);
}

SMatrix44 LookAt(const float eye[3], const float target[3], const float up[3])
{
    // The eye as a scene camera at eye whose +Y goes to the target and +Z up.
    SMatrix44 node = MatrixIdentity();
    for (int c = 0; c < 3; ++c) {
        node[size_t(8 + c)] = up[c];
        node[size_t(12 + c)] = eye[c];
    }
    SMatrix44 at = MatrixIdentity();
    for (int c = 0; c < 3; ++c)
        at[size_t(12 + c)] = target[c];
    return ViewpointViewMatrix(ViewpointOf(node, &at));
}

SMatrix44 ViewMatrix(const SViewCamera& camera)
{
    if (camera.bFixed)
        return camera.mFixedView;
    float eye[3];
    OrbitEye(camera, eye);
    const float up[3] = {0, 1, 0};
    return LookAt(eye, camera.fTarget, up);
}

SMatrix44 Perspective(float fieldOfView, float aspect, float nearClip, float farClip)
{
    const float f = 1.0f / std::tan(fieldOfView / 2);
    SMatrix44 m{};
    m[0] = f / (aspect > 0 ? aspect : 1);
    m[5] = f;
    m[10] = (farClip + nearClip) / (nearClip - farClip);
    m[11] = -1;
    m[14] = 2 * farClip * nearClip / (nearClip - farClip);
    return m;
}

void FrameBox(SViewCamera& camera, const float mn[3], const float mx[3])
{
    camera.bFixed = false;
    float half[3];
    for (int c = 0; c < 3; ++c) {
        camera.fTarget[c] = (mn[c] + mx[c]) / 2;
        half[c] = (mx[c] - mn[c]) / 2;
    }
    float radius = std::sqrt(Dot3(half, half));
    if (!(radius > 1e-6f) || !std::isfinite(radius))
        radius = 1;
    camera.fRadius = radius;
    camera.fDistance = radius / std::sin(camera.fFieldOfView / 2) * 1.05f;
    ClipToDistance(camera);
}

void Orbit(SViewCamera& camera, float dYaw, float dPitch)
{
    camera.bFixed = false;
    camera.fYaw = std::remainder(camera.fYaw + dYaw, 6.2831853f);
    camera.fPitch = std::clamp(camera.fPitch + dPitch, -kMaxPitch, kMaxPitch);
}

void Pan(SViewCamera& camera, float dx, float dy)
{
    camera.bFixed = false;
    const SMatrix44 view = ViewMatrix(camera);
    // Columns 0 and 1 of the view matrix are the eye's right and up in the world.
    const float scale = 2 * camera.fDistance * std::tan(camera.fFieldOfView / 2);
    for (int c = 0; c < 3; ++c)
        camera.fTarget[c] += (-dx * view[4 * c + 0] + dy * view[4 * c + 1]) * scale;
}

void Zoom(SViewCamera& camera, float factor)
{
    camera.bFixed = false;
    if (!(factor > 0) || !std::isfinite(factor))
        return;
    camera.fDistance = std::clamp(camera.fDistance * factor, 1e-4f, 1e7f);
    ClipToDistance(camera);
}

bool LookThroughCamera(SViewCamera& view, SScene& scene, const SDrawList& list, const SDrawFrame& frame, size_t camera)
{
    if (camera >= list.pCameras.size())
        return false;
    const SDrawCamera& c = list.pCameras[camera];
    SSceneViewpoint at;
    const int32_t index = c.uiNode < list.pNodes.size() ? list.pNodes[c.uiNode].nContent : -1;
    if (index < 0 || !EvalCameraViewpoint(scene, uint32_t(index), &at)) {
        if (c.uiNode >= frame.pmWorld.size())
            return false;
        at = ViewpointOf(frame.pmWorld[c.uiNode], nullptr);
    }
    view.bFixed = true;
    view.mFixedView = ViewpointViewMatrix(at);
    // An animated angle follows the frame; the list holds the file's angle
    // and clip planes made usable.
    view.fFieldOfView = UsableFieldOfView(at.fFieldOfView) ? at.fFieldOfView : c.fFieldOfView;
    view.fNear = c.fNear;
    view.fFar = c.fFar;
    return true;
}
