#pragma once
// Vertex order for the vertex fetch: vertices are renumbered in the order the
// triangles first use them (meshoptimizer's fetch remap), unused vertices at
// the end, and the index list is rewritten through the inverse permutation.
struct SSceneMesh;

// Needs an interleaved mesh with a triangle list; otherwise nothing happens.
void SortMeshVertices(SSceneMesh& mesh);
