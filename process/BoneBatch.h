#pragma once
// Bone batching: splits a skinned mesh's triangles into batches that each use
// at most a palette of bones, orders the triangles batch by batch, copies the
// vertices several batches share and rewrites every vertex's bone indices as
// positions in its batch's bone list.
#include <cstdint>
#include <vector>

#include "scene/VertexDataTypes.h"

struct SSceneMesh;

// The batch table of a mesh.
struct SBoneBatchTable {
    std::vector<uint32_t> boneList;      // capacity slots per batch, unused slots 0
    std::vector<uint32_t> boneTotals;    // bones per batch
    std::vector<uint32_t> startTriangle; // first triangle per batch
    uint32_t capacity = 0;               // the palette size
    uint32_t count = 0;                  // number of batches
};

// faces: faceCount x 3 vertex numbers, rewritten in batch order on success.
// vertices: vertexCount x stride bytes; each vertex holds bonesPerVertex
// weights at weightOffset (weightType) and as many bone numbers at
// indexOffset (indexType). On success outVertices/outVertexCount hold the
// new vertices (unused ones dropped, shared ones copied per batch) and
// result 0 is returned. Result 1, with faces and the outputs untouched, when
// bonesPerVertex is outside 1-4, the palette is 0, a triangle needs more than
// boneLimit bones, a bone number with a non-zero weight is negative, or a
// face names a vertex that does not exist.
int GenerateBoneBatches(SBoneBatchTable& table, uint32_t& outVertexCount, std::vector<uint8_t>& outVertices,
                        uint32_t* faces, uint32_t vertexCount, const uint8_t* vertices, uint32_t stride,
                        uint32_t weightOffset, EZGXTDataType weightType, uint32_t indexOffset, EZGXTDataType indexType,
                        uint32_t faceCount, uint32_t boneLimit, uint32_t bonesPerVertex);

// Batches an interleaved triangle-list mesh with 32-bit indices in place:
// weights read as floats, bone numbers as signed 32-bit integers. 0 on
// success (vertex buffer, vertex count, faces and the batch table replaced),
// 1 on failure with the mesh unchanged.
int GenerateMeshBoneBatches(SSceneMesh& mesh, uint32_t boneLimit);
