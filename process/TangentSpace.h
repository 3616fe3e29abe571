#pragma once
// Tangent and binormal per vertex from positions, normals and one UV set.
// Where the triangles around a vertex disagree about the frame by more than
// the split threshold, the vertex is split, one copy per agreeing group.
#include <cstdint>
#include <vector>

// One attribute inside the interleaved vertex record; uiCount 0: absent.
struct SVertexAttribute {
    uint32_t uiOffset = 0;
    uint32_t eType = 0;
    uint32_t uiCount = 0;
};

// The frame at corner A of triangle (A, B, C), for normal N: B along the
// triangle's direction of constant u, towards growing v; T = N x that
// direction, turned to where u grows (whatever the winding). Zero vectors
// when N is zero or the three u coordinates are equal.
void CornerTangent(float T[3], float B[3], const float N[3], const float pA[3], const float pB[3], const float pC[3],
                   const float uvA[2], const float uvB[2], const float uvC[2]);

// At most this many triangles may use one vertex.
constexpr uint32_t kTangentSpaceMaxCorners = 32;

// Builds the new vertex buffer (*outVertices, *outVertexCount) and rewrites
// faces (faceCount x 3, 32-bit) to the new vertex numbers. Returns 0 on
// success, 1 on failure (a triangle with a repeated index, a vertex used by
// more than 32 triangles, more than 3 x vertexCount output vertices, or an
// index outside the vertices); on failure nothing is changed.
int GenerateTangentSpace(uint32_t* outVertexCount, std::vector<uint8_t>* outVertices, uint32_t* faces,
                         uint32_t vertexCount, const uint8_t* vertices, uint32_t stride,
                         const SVertexAttribute& position, const SVertexAttribute& normal, const SVertexAttribute& uv,
                         const SVertexAttribute& tangent, const SVertexAttribute& binormal, uint32_t faceCount,
                         float splitThreshold);
