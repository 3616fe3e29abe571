#pragma once
// Per-mesh processing: triangle order, strips, tangent space, bone batches,
// vertex order, in one fixed sequence.
class COptionsData;
struct SSceneMesh;

// Returns false when the mesh cannot be exported (the reason is logged).
// The mesh comes in and goes out with separate channels and a triangle list
// of 32-bit indices; it leaves with the strips, vertex order and tangent
// data the options ask for.
bool ProcessMesh(const COptionsData& options, SSceneMesh& mesh);
