#pragma once
// Where a camera or a light of a scene stands and which way it faces.
//
// A camera or light node faces along its own +Y axis, with its +Z axis up
// and its +X axis to the right. (The importers give Collada's and glTF's
// cameras and lights, which face -Z with +Y up, a quarter-turn about X to
// bring them into this frame.) A camera or light with a target node faces
// the target's origin instead, its up kept as close to the node's +Z as
// the new direction allows. A camera's field of view is the vertical angle
// of its picture; the horizontal angle follows the picture's width.
#include <cstdint>

#include "base/Math.h"

struct SScene;

struct SSceneViewpoint {
    float fPosition[3] = {0, 0, 0};
    float fForward[3] = {0, 1, 0}; // unit length: where it looks or shines
    float fUp[3] = {0, 0, 1};      // unit length, square to fForward
    float fRight[3] = {1, 0, 0};   // unit length: fForward x fUp
    // Cameras only: the vertical field of view in radians at the selected
    // frame, and the clip distances; lights leave them 0.
    float fFieldOfView = 0;
    float fNearClip = 0;
    float fFarClip = 0;
};

// The one place that knows the convention: a camera or light node's world
// matrix (and its target's, or null) to a viewpoint. Scaled, sheared or
// mirrored matrices give unit, square directions; a matrix that collapses
// the facing axis leaves the unturned frame above.
SSceneViewpoint ViewpointOf(const SMatrix44& nodeWorld, const SMatrix44* targetWorld);

// Camera i and light i of the scene at its selected frame (SelectFrame),
// through the animation cache. False for an index out of range (out is then
// the default).
bool EvalCameraViewpoint(SScene& scene, uint32_t camera, SSceneViewpoint* out);
bool EvalLightViewpoint(SScene& scene, uint32_t light, SSceneViewpoint* out);

// World to eye for rendering (the eye looks down its -Z with +Y up, as
// OpenGL has it), in the row-vector convention of base/Math.h.
SMatrix44 ViewpointViewMatrix(const SSceneViewpoint& viewpoint);
