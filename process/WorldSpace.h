#pragma once
// Scene-wide transforms of the processing driver: the conversion of a scene
// into world space at its selected frame, and the DirectX mirroring of node
// animation along z.
#include <cstdint>

struct SScene;

// Builds into out (replacing it) the world-space form of source at the frame
// selected in source's animation cache: every mesh node owns a copy of its
// mesh with vertices in world space and no transform of its own; every other
// node keeps one matrix key, its world matrix. source's cache must match its
// nodes (CreateAnimCache).
void ConvertToWorldSpace(SScene& source, SScene& out);

// Mirrors every node's position, rotation and matrix keys along z.
void MirrorNodeAnimation(SScene& scene);
