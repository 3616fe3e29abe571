#include "viewer/ViewCamera.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kMaxPitch = 1.55f;

void Normalise(float v[3])
{
    const float length = std::sqrt(Dot3(v, v));
    if (length > 0) {
        v[0] /= length;
        v[1] /= length;
        v[2] /= length;
    }
}

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
    float f[3] = {target[0] - eye[0], target[1] - eye[1], target[2] - eye[2]};
    Normalise(f);
    float s[3];
    Cross3(s, f, up);
    if (Dot3(s, s) < 1e-12f) { // looking along up: any side will do
        const float other[3] = {0, 0, 1};
        Cross3(s, f, other);
    }
    Normalise(s);
    float u[3];
    Cross3(u, s, f);
    return {s[0], u[0], -f[0], 0, s[1],          u[1],          -f[1],        0,
            s[2], u[2], -f[2], 0, -Dot3(s, eye), -Dot3(u, eye), Dot3(f, eye), 1};
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
