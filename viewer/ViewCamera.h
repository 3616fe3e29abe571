#pragma once
// The viewer's camera: an orbit round a target point (yaw about the up axis
// +Y, pitch above the horizon, distance), or a camera of the file looked
// through. Matrices are in the scene's row-vector convention (base/Math.h);
// their 16 floats are also the column-major matrices OpenGL expects.
#include <cstddef>

#include "base/Math.h"

struct SScene;
struct SDrawList;
struct SDrawFrame;

struct SViewCamera {
    float fTarget[3] = {0, 0, 0};
    float fYaw = 0;   // radians; 0 looks from +Z towards -Z
    float fPitch = 0; // radians, clamped to just under +-pi/2
    float fDistance = 5;
    float fFieldOfView = 0.785398f; // vertical, radians
    float fNear = 0.05f;
    float fFar = 100;
    float fRadius = 1; // of what was framed last: sets the clip planes
    // Set when looking through a file camera: its world view matrix is used
    // instead of the orbit.
    bool bFixed = false;
    SMatrix44 mFixedView = MatrixIdentity();
};

// Eye position of the orbit.
void OrbitEye(const SViewCamera& camera, float eye[3]);
// World to eye (looking down -Z, +Y up).
SMatrix44 ViewMatrix(const SViewCamera& camera);
SMatrix44 LookAt(const float eye[3], const float target[3], const float up[3]);
// OpenGL-style perspective projection; aspect = width / height.
SMatrix44 Perspective(float fieldOfView, float aspect, float nearClip, float farClip);

// Moves the orbit so the box fills the view from the current direction, and
// sets the clip planes to hold it.
void FrameBox(SViewCamera& camera, const float mn[3], const float mx[3]);
// Mouse steps: orbit by angles, pan by a fraction of the view height, zoom
// by a factor (below 1 moves closer).
void Orbit(SViewCamera& camera, float dYaw, float dPitch);
void Pan(SViewCamera& camera, float dx, float dy);
void Zoom(SViewCamera& camera, float factor);

// Looks through the file's camera `camera` (an index of list.pCameras) at
// the scene's selected frame: its place, direction, up and field of view as
// the scene model evaluates them (scene/Viewpoint.h), with the draw list's
// usable clip planes. False (the view unchanged) for an index out of range.
bool LookThroughCamera(SViewCamera& view, SScene& scene, const SDrawList& list, const SDrawFrame& frame, size_t camera);
