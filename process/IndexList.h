#pragma once
// Operations on a mesh's index list: writing it as 32-bit values, winding,
// strips and de-indexing (reading it is in scene/MeshTriangles.h).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "scene/MeshTriangles.h"

struct SSceneMesh;
struct SVertexChannel;

// Replaces the channel's data with the values as 32-bit indices (type 17).
void WriteIndices32(SVertexChannel& channel, const std::vector<uint32_t>& indices);

// The triangle ranges a reorder must keep apart: the first triangle of every
// bone batch (clamped to the triangle count, in the mesh's order, which may be
// unsorted), or 0 when there are no batches, followed by the triangle count.
// Range r is [starts[r], starts[r + 1]).
std::vector<uint32_t> BatchRangeStarts(const SSceneMesh& mesh);

// The indices renumbered over the vertices they use, in the old vertex
// order (so every comparison of two indices keeps its result), into
// `compact` when they use less than three quarters of vertexCount; otherwise
// `compact` is left empty. Returns the number of vertices the result counts:
// those used, or vertexCount. Lets a step on a bone batch keep its tables per
// vertex to the batch's few vertices.
uint32_t CompactIndices(const uint32_t* indices, size_t indexCount, uint32_t vertexCount,
                        std::vector<uint32_t>* compact);

// Reorders the corners of every triangle of a list: new corner k is old
// corner ck. (0, 2, 1) reverses the winding.
void FlipWinding(SSceneMesh& mesh, int c0, int c1, int c2);

// Turns the triangle list into strips, strip by strip in triangle order: a
// triangle continues the strip when it shares the strip's last edge with the
// winding the strip expects. Strips never cross a bone batch boundary.
void BuildStrips(SSceneMesh& mesh);

// One vertex per index: the interleaved buffer is rebuilt in index order and
// the index list released. Needs an interleaved mesh.
void DeindexMesh(SSceneMesh& mesh);
