#pragma once
// The state of one glTF import shared by its stages (scene graph, materials,
// meshes, skins, animation), and the stage functions the driver runs in order.
#include <cstdint>
#include <string>
#include <vector>

#include "import/ImportWarnings.h"
#include "scene/I2QEF.h"
#include "scene/ImportScene.h"
#include "gltf/GltfAccessor.h"
#include "gltf/GltfDocument.h"

class COptionsData;

// Warnings given at most once per import.
enum EGltfWarning : int {
    eGltfWarnPrimitiveMode, // points and lines
    eGltfWarnMorph,
    eGltfWarnAlphaMask,
    eGltfWarnDoubleSided,
    eGltfWarnTextureTransform,
    eGltfWarnBadPosition,
    eGltfWarnOrthographic,
    eGltfWarnMatrixAnimation,
    eGltfWarnMeshCopies,
    eGltfWarnCount
};

// Where one glTF node went in the import scene.
struct SGltfNodeRecord {
    int32_t record = -1;                            // the node's own record
    int32_t parentNode = -1;                        // glTF index of the parent node
    std::vector<int32_t> meshParts;                 // records that hold its mesh, one per triangle primitive
    int32_t extra = -1;                             // camera or light record when the node also has a mesh
    SMatrix44 local = MatrixIdentity();             // local matrix (row vectors, translation in 12-14)
    SMatrix44 world0 = MatrixIdentity();            // world matrix at frame 0
    float trs[10] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 1}; // translation, rotation x y z w, scale
    bool hasMatrix = false;
    bool isJoint = false;
};

struct SGltfImport {
    SGltfDocument doc;
    CGltfAccessors* accessors = nullptr;
    SImportScene* scene = nullptr;
    const COptionsData* options = nullptr;
    SImportSettings settings;
    std::vector<SGltfNodeRecord> nodes;             // by glTF node index
    std::vector<int32_t> order;                     // glTF nodes of the scene, parents before children
    int32_t materialBase = 0;                       // scene index of the document's first material
    std::vector<int32_t> textureSets;               // per material: the TEXCOORD set of its base colour texture
    std::vector<std::array<float, 6>> uvTransforms; // per material: KHR_texture_transform as a 2x3 matrix
    std::vector<uint8_t> hasUvTransform;
    bool warned[eGltfWarnCount] = {};
    CImportWarnings warnings; // those the Collada import gives too
    size_t copiedCorners = 0; // corners of index data drawn more than once

    void WarnOnce(EGltfWarning w, const char* text);
};

// Materials of the document into the scene (names, colours, textures,
// blending); fills materialBase, textureSets and the UV transforms.
void GltfConvertMaterials(SGltfImport& im);

// The node graph of the default scene: checks it (cycles, two parents, bad
// indices), appends one record per node (and per extra mesh part) in
// depth-first order, with names, static transforms, camera and light data.
void GltfConvertNodes(SGltfImport& im);

// Samples the animations onto the scene's frames; sets the frame range, or
// marks the scene as not animated when there is nothing to sample. Fills
// world0.
void GltfConvertAnimations(SGltfImport& im);

// Mesh data of every node that has a mesh, skinned ones with their
// influences and bind pose.
void GltfConvertMeshes(SGltfImport& im);

// The camera and light correction of the Y-up scene frame applied to a local
// matrix, and the transform block of a local matrix.
SMatrix44 GltfCameraLightCorrection(const SMatrix44& local);
// Local matrix of translation, rotation quaternion (x, y, z, w) and scale.
SMatrix44 GltfComposeTRS(const float t[3], const float q[4], const float s[3]);
