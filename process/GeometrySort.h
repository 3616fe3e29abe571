#pragma once
// Block-based triangle order (ZGXTGeometrySort): triangles are emitted in
// blocks of at most maxVertices vertices and maxTriangles triangles, each
// block grown from well-chosen seeds so that it closes off as many vertices
// as it can; connected pieces small enough to fit a block go in whole.
#include <cstdint>

constexpr uint32_t kGeometrySortMaxBlockVertices = 32;
constexpr uint32_t kGeometrySortMaxBlockTriangles = 64;

// Flags: bit 0 sorts the triangles, bit 1 keeps the vertex order (without
// it vertices are renumbered in order of first use and the vertex data
// follows).
constexpr uint32_t kGeometrySortTriangles = 1;
constexpr uint32_t kGeometrySortKeepVertices = 2;
constexpr uint32_t kGeometrySortKeepVertexOrder = kGeometrySortTriangles | kGeometrySortKeepVertices;

// Reorders faceCount triangles (3 x 32-bit indices each) in place. Every
// triangle is kept with its corners as they were; triangles of connected
// pieces with fewer than three vertices (only triangles with a repeated index
// make those) follow at the end in their old order.
// Does nothing when an index is not below vertexCount.
// The work the blocks may take is bounded by a count of steps proportional
// to n log n (the same on every machine); a mesh that spends it has the
// triangles not yet placed follow in vertex-cache order. Returns the number
// of triangles placed by blocks: faceCount unless the budget ran out.
uint32_t GeometrySort(uint8_t* vertices, uint32_t* faces, uint32_t stride, uint32_t vertexCount, uint32_t faceCount,
                      uint32_t maxVertices, uint32_t maxTriangles, uint32_t flags);
