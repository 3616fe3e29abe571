#pragma once
// Triangles for a polygon face: the fan where it is convex, ear clipping in
// the face's own plane where it is not, holes bridged into the outer ring.
#include <cstddef>
#include <cstdint>
#include <vector>

enum EPolygonSplit {
    ePolygonFan,     // convex, without holes: the fan (0, j+1, j+2) is right
    ePolygonClipped, // triangles were written
    ePolygonFailed,  // degenerate or self-intersecting: use the fan of the outer ring
};

// Polygons with more vertices (all rings together) than this are not
// clipped: the clipping is quadratic in the vertex count.
constexpr size_t kMaxClippedPolygonVertices = 256;

// points: x, y, z of every vertex, the outer ring first, then each hole;
// ringSizes: the vertex count of each ring (outer first). For a face that is
// not convex, or has holes, writes its triangles to out as vertex numbers
// (into points), three per triangle, turning the same way as the outer ring
// (the holes are expected to turn the other way; either way is taken). The
// plane is the one of the outer ring's Newell normal. A face with holes gives
// (vertices + 2 x holes - 2) triangles. Near-linear for convex faces;
// quadratic, up to kMaxClippedPolygonVertices, otherwise.
EPolygonSplit TriangulatePolygon(const float* points, const std::vector<uint32_t>& ringSizes,
                                 std::vector<uint32_t>* out);
