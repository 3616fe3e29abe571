#pragma once
// Separate channels <-> one interleaved vertex buffer, with optional padding
// of every attribute to a multiple of the padding unit.
#include <cstdint>

struct SSceneMesh;

// Bytes added after an element of elementSize bytes so that it ends on a
// multiple of unit; 0 when either is 0.
uint32_t AttributePadding(uint32_t elementSize, uint32_t unit);

// Toggles the layout: a mesh with separate channels is interleaved, an
// interleaved mesh is de-interleaved, both with the padding unit (1 for none,
// else 2 or 4). A mesh without vertices is left alone.
void InterleaveMesh(SSceneMesh& mesh, uint32_t padUnit);

// The two directions on their own; each does nothing when the mesh already
// has that layout or has no vertices.
void InterleaveChannels(SSceneMesh& mesh, uint32_t padUnit);
void DeinterleaveChannels(SSceneMesh& mesh, uint32_t padUnit);
