#pragma once
// The stages that turn an import scene into the exportable scene. Stage 1
// fills working lists (nodes keep their import identity and rest transform,
// meshes their real influence counts), stage 2 resolves the import indices
// they carry, stage 3 (AnimationReduce.h) trims the animation and moves the
// lists into the scene.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "scene/Scene.h"

class COptionsData;
struct SImportNode;
struct SImportScene;
struct SMaterial;

// A scene node under construction.
struct SWorkNode {
    SSceneNode node;
    int32_t importIndex = -1; // own index of the import node it was made from
    // The static transform, kept for the animation reduction.
    float restPosition[3] = {0, 0, 0};
    float restRotation[4] = {0, 0, 0, 1};
    float restScale[7] = {1, 1, 1, 0, 0, 0, 0}; // scale, stretch axis, stretch angle
    SMatrix44 restMatrix = MatrixIdentity();
    // The transform travels as matrices: with bExportMatrices, or in world
    // space for a node whose parts cannot carry its matrix (a shear).
    bool matrixKeys = false;
};

struct SWorkMesh {
    SSceneMesh mesh;
    // Per vertex, how many entries of the bone channels are real influences
    // (the rest are padding); empty for an unskinned mesh.
    std::vector<uint8_t> influenceCounts;
    int32_t material = -1;    // import material index of its triangles
    uint64_t instanceKey = 0; // hash of the parts instancing compares exactly
};

struct SWorkScene {
    std::vector<SSceneCamera> cameras;
    std::vector<SSceneLight> lights;
    std::vector<SWorkMesh> meshes;
    std::vector<SWorkNode> nodes;
    std::vector<SSceneMaterial> materials;
    std::vector<std::string> textures;
    // Meshes by instanceKey, in the order they came, so that equal meshes
    // are found without comparing every pair; and by instanceKey and the
    // cell of their first position (see FindInstance), so that thousands of
    // meshes that differ only in place are not compared with each other.
    std::unordered_map<uint64_t, std::vector<uint32_t>> meshesByKey;
    std::unordered_map<uint64_t, std::vector<uint32_t>> meshesByPlace;
};

// Stage 1: frames, colours, user data, nodes (mesh nodes first, then lights,
// cameras and the rest), meshes, materials and the texture list. With
// release (the same scene as source, given up by its owner) each node's mesh
// data is freed once its meshes are built, so that the import and the built
// meshes are not both held whole.
void BuildScene(const SImportScene& source, const COptionsData& options, SScene& scene, SWorkScene& work,
                SImportScene* release = nullptr);
// One warning for each fully transparent material that an exported mesh
// node uses (such meshes would be written and never seen).
void WarnInvisibleMaterials(const SWorkScene& work);

// Stage 2: every import node index (parents, camera and light targets, bone
// influences) replaced by the first scene node made from it. (The scene's
// counts are the sizes of the lists that stage 3 moves in.)
void ResolveReferences(SWorkScene& work);

// Pieces of stage 1, exposed for the driver's helpers.

// The frame count and rate a scene gets from its import and the options.
void ChooseFrames(const SImportScene& source, const COptionsData& options, uint32_t* frameCount,
                  uint32_t* framesPerSecond);

// Builds the meshes of one import node (one per material group) and appends
// a mesh node for each to work.nodes. Returns the number of mesh nodes made;
// 0 when the node holds no drawable triangle. With release (node itself,
// given up by its owner) the node's mesh data is freed once the corners of
// its last mesh are welded, before that mesh's vertex data is made.
uint32_t BuildNodeMeshes(const SImportNode& node, int32_t importIndex, const COptionsData& options, uint32_t frameCount,
                         uint32_t materialCount, SWorkScene& work, SImportNode* release = nullptr);

// Frees what only a node's meshes are built from (corners, triangles,
// influences); its name, transforms and frames stay.
void ReleaseMeshData(SImportNode& node);

// The node record of an import node with its rest transform and frames.
SWorkNode MakeWorkNode(const SImportNode& node, int32_t importIndex, const COptionsData& options, uint32_t frameCount);

// Materials and the texture list (only called when materials are exported).
void BuildMaterials(const std::vector<SMaterial>& materials, SWorkScene& work);

// Merges the materials of a scene read from a file into the current scene:
// texture references, blending and effect names of equally named materials.
// Returns false when it had to stop (out of memory).
bool MergeMaterials(SScene& scene, const SScene& source);
