#pragma once
// Triangle order for the vertex cache: the dispatch over the sorting methods
// and the vertex-cache optimiser path (VertexCacheOrder).
#include <cstdint>

class COptionsData;
struct SSceneMesh;

// Reorders faceCount triangles (3 x 32-bit indices each) in place by the
// eTriSort option: 0 none, 1 GeometrySort, 2 OptimiseFaceOrder, 3
// TriStripOrder. vertices/stride are the interleaved vertex buffer. Returns
// whether the method ran out of its work budget and finished the linear way
// (GeometrySort, TriStripOrder).
bool SortTriangles(const COptionsData& options, uint8_t* vertices, uint32_t* faces, uint32_t stride,
                   uint32_t vertexCount, uint32_t faceCount);
// The same by method number.
bool SortTriangles(int method, uint8_t* vertices, uint32_t* faces, uint32_t stride, uint32_t vertexCount,
                   uint32_t faceCount);

// Face order from the vertex-cache optimiser (VertexCacheOrder), applied as a
// face remap: new triangle i is an old triangle with its indices unchanged.
// Returns false (faces untouched) when an index is not below vertexCount.
bool OptimiseFaceOrder(uint32_t* faces, uint32_t faceCount, uint32_t vertexCount);

// SortTriangles over a mesh's triangle list: once over all triangles, or once
// per bone batch so that no triangle moves into another batch. Uses the
// interleaved buffer when the mesh has one.
void SortMeshTriangles(const COptionsData& options, SSceneMesh& mesh);
