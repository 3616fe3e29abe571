#pragma once
// Per-mesh processing: triangle order, strips, tangent space, bone batches,
// vertex order, in one fixed sequence.
class COptionsData;
struct SSceneMesh;

// Returns false when the mesh cannot be exported (the reason is logged).
bool ProcessMesh(const COptionsData& options, SSceneMesh& mesh);
