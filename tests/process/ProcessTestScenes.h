#pragma once
// Import scenes built in code for the processing driver tests.
#include <string>
#include <vector>

#include "scene/ImportScene.h"

struct SScene;
struct SSceneMesh;
struct SVertexChannel;

// One triangle corner as the importer stores it (its own position, normal
// and texture coordinate entries).
struct STestCorner {
    SVec3 p{0, 0, 0};
    SVec3 n{0, 0, 1};
    SVec3 uv{0, 0, 0};
};

// Appends a node record with its own index set to its position.
SImportNode& AddNode(SImportScene& scene, const std::string& name, uint32_t content, int32_t parent = -1);

// Appends a triangle: three positions, normals and set-0 coordinates.
void AddTriangle(SImportNode& node, const STestCorner& a, const STestCorner& b, const STestCorner& c,
                 int32_t material = -1);

// A unit quad in the xy plane as two triangles (six corners, four distinct).
void AddQuad(SImportNode& node, float z = 0.0f, int32_t material = -1);

// Frames whose translation x is the frame number.
void AddMovingFrames(SImportNode& node, uint32_t count);

// The values of a vertex channel, vertex after vertex, whether the mesh is
// interleaved or not (at most four components each).
std::vector<float> ChannelValues(const SSceneMesh& mesh, const SVertexChannel& channel);

// A temporary file path that does not exist yet.
std::string TempPath(const std::string& name);
