#pragma once
// A mesh's triangles as plain 32-bit index lists, whatever the file stores:
// 16- or 32-bit indices, lists or strips, indexed or not. The processing and
// the viewer read triangles through these.
#include <cstdint>
#include <vector>

struct SSceneMesh;
struct SVertexChannel;

// The first count indices of the channel (16- or 32-bit) as 32-bit values;
// fewer when the channel holds fewer.
std::vector<uint32_t> ReadIndices(const SVertexChannel& channel, uint64_t count);

// The triangles of the mesh as a list of 3 indices each, from either a list
// or strips; every triangle keeps its winding. A mesh without index data (not
// indexed) takes its vertices in order as the corners.
std::vector<uint32_t> TriangleList(const SSceneMesh& mesh);
