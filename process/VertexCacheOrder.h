#pragma once
// Triangle order for a post-transform vertex cache of 16 entries: Forsyth's
// greedy scoring, exactly as meshoptimizer's meshopt_optimizeVertexCache
// (version 0.18) orders a triangle list, without its cost at vertices shared
// by many triangles.
#include <cstdint>

// Writes to `order` the numbers of the faceCount triangles (3 x 32-bit
// indices each) in the order the optimiser emits them: the same sequence of
// triangles, with the same scores, ties and dead-end picks. Every index must
// be below vertexCount. Near-linear whatever the mesh: a vertex with many
// triangles (the centre of a fan) costs per step only what changed there.
void VertexCacheOrder(const uint32_t* faces, uint32_t faceCount, uint32_t vertexCount, uint32_t* order);
