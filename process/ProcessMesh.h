#pragma once
// Per-mesh processing: triangle order, strips, tangent space, bone batches,
// vertex order, in one fixed sequence.
#include <vector>

class COptionsData;
struct SSceneMesh;

// Returns false when the mesh cannot be exported (the reason is logged).
// The mesh comes in and goes out with separate channels and a triangle list
// of 32-bit indices; it leaves with the strips, vertex order and tangent
// data the options ask for.
bool ProcessMesh(const COptionsData& options, SSceneMesh& mesh);

// Every mesh through ProcessMesh, with "Processing mesh N" logged before
// each, as a loop in order that stops at the first failure would: the same
// meshes, log lines and result (an exception out of a mesh is rethrown after
// the lines of the meshes before it). Meshes are processed side by side;
// their log lines are held back and given in order. After a failure the
// meshes after the failed one may have been processed too.
bool ProcessMeshes(const COptionsData& options, std::vector<SSceneMesh>& meshes);
