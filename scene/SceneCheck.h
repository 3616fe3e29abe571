#pragma once
// Consistency rules of a scene: every array matches the count it is written
// or read with, and vertex channels fit their data. The writer refuses a scene
// that breaks them (it would read past an array), the reader a file that does.
#include <cstdint>

#include "base/ZGXTString.h"
#include "scene/Scene.h"

enum ESceneCheck {
    // Scenes about to be written: arrays may hold more than is written.
    eCheckForWrite,
    // Scenes read from a file: arrays hold exactly what their counts say.
    eCheckAsRead,
};

// Each returns true when the rules hold, else false with the broken rule in
// *error (when given).
bool CheckMesh(const SSceneMesh& mesh, CZGXTString* error);
bool CheckNodeArrays(const SSceneNode& node, uint32_t frameCount, ESceneCheck mode, CZGXTString* error);
bool CheckCameraKeys(const SSceneCamera& camera, uint32_t frameCount, ESceneCheck mode, CZGXTString* error);
// All records; the message names the record ("mesh 2: ...").
bool CheckScene(const SScene& scene, ESceneCheck mode, CZGXTString* error);

// The interleaved vertex size of a mesh with pVertexBlock: block bytes per vertex.
uint32_t InterleavedStride(const SSceneMesh& mesh);

// "position", "texture coordinate set 1", ... for messages.
CZGXTString VertexChannelName(const SSceneMesh& mesh, const SVertexChannel* channel);
