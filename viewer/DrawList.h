#pragma once
// The viewer's plain data: a draw list built once from a scene file (flat
// float and index arrays per mesh, the node table, materials, lights and
// cameras), and the state of one evaluated frame. The stages that fill them
// need no OpenGL, so they are tested and measured on their own:
//   DrawListBuild.cpp  read the file and build the list (decoding in VertexDecode.cpp)
//   FrameEvaluate.cpp  node matrices, skinning and bounds at one frame
//   SceneRenderer.cpp  OpenGL drawing of a list and a frame
//   SceneView.cpp, ViewerPanel.cpp  the widgets
#include <cstdint>
#include <string>
#include <vector>

#include "base/Math.h"

struct SScene;
struct SSceneMesh;

// A box grown point by point; points with a NaN or infinite coordinate are
// left out. Empty (bAny false) until the first point.
struct SBox {
    float fMin[3] = {3.4e38f, 3.4e38f, 3.4e38f};
    float fMax[3] = {-3.4e38f, -3.4e38f, -3.4e38f};
    bool bAny = false;
    void Add(const float p[3]);
};

// One mesh, decoded into the types a renderer draws. Positions have gone
// through the mesh's unpack matrix; the triangles are a list whatever the
// file stored (strips, 16- or 32-bit, indexed or not).
struct SDrawMesh {
    uint32_t uiVertexCount = 0;
    std::vector<float> pfPositions;   // 3 per vertex
    std::vector<float> pfNormals;     // 3 per vertex (unit length), or empty
    std::vector<float> pfColours;     // 4 per vertex in 0..1, or empty
    std::vector<float> pfTexCoords;   // 2 per vertex (set 0), or empty
    std::vector<uint32_t> puiIndices; // 3 per triangle, all below uiVertexCount
    // Skinning, 4 influences per vertex: the scene node of each bone (batch
    // palettes resolved) and its weight; empty when the mesh is not skinned.
    std::vector<uint32_t> puiBoneNodes;
    std::vector<float> pfBoneWeights;
    uint32_t uiBatchCount = 0;
    SBox sBounds;    // of the positions
    float fAcmr = 0; // vertex-cache misses per triangle (16-entry FIFO)

    uint32_t TriangleCount() const { return uint32_t(puiIndices.size() / 3); }
    bool IsSkinned() const { return !puiBoneNodes.empty(); }
};

enum EDrawNodeKind : uint32_t { eNodeMesh, eNodeLight, eNodeCamera, eNodeBone, eNodeOther };

struct SDrawNode {
    std::string sName;
    EDrawNodeKind eKind = eNodeOther;
    int32_t nParent = -1;  // -1 for a root, also for a node whose parent chain loops or leaves the table
    int32_t nContent = -1; // mesh, light or camera index; -1 when the file's index is out of range
};

struct SDrawMaterial {
    std::string sName;
    float fDiffuse[4] = {0.8f, 0.8f, 0.8f, 1}; // alpha: opacity
    float fAmbient[3] = {0.2f, 0.2f, 0.2f};
    float fSpecular[3] = {0, 0, 0};
    float fShininess = 0; // 0..1, as stored
    bool bBlend = false;
    uint32_t eSrcFactor = 1, eDstFactor = 0, eBlendOp = 0x8006; // OpenGL enumerants, checked
    std::string sTexturePath;                                   // the diffuse texture's image beside the file, or empty
    std::string sTextureName;                                   // as the file names it
};

// One mesh node to draw.
struct SDrawItem {
    uint32_t uiNode = 0;
    uint32_t uiMesh = 0;
    int32_t nMaterial = -1; // -1: the default material
};

struct SDrawLight {
    uint32_t uiNode = 0;
    uint32_t eType = 0; // ELightType
    float fColour[3] = {1, 1, 1};
    float fAttenuation[3] = {1, 0, 0}; // constant, linear, quadratic
    float fFalloffAngle = 0;           // radians, the whole cone
    float fFalloffExponent = 0;
    int32_t nTarget = -1;
};

struct SDrawCamera {
    uint32_t uiNode = 0;
    float fFieldOfView = 0.785f; // radians, vertical
    float fNear = 0.1f, fFar = 1000;
    int32_t nTarget = -1;
};

// A field of view the viewer can draw with: finite, above 0.01 and below 3.1
// radians. A camera of the file with another (an orthographic camera has 0)
// is looked through at the default angle.
bool UsableFieldOfView(float radians);

struct SDrawList {
    std::vector<SDrawMesh> pMeshes;
    std::vector<SDrawNode> pNodes;
    std::vector<SDrawMaterial> pMaterials;
    std::vector<SDrawItem> pItems;
    std::vector<SDrawLight> pLights;
    std::vector<SDrawCamera> pCameras;
    float fBackground[3] = {0, 0, 0};
    float fAmbient[3] = {0, 0, 0};
    uint32_t uiFrameCount = 0;
    uint32_t uiFramesPerSecond = 30;
};

// Decodes one mesh. Channels of any vertex type, packed or not, interleaved
// or not, are read through the scene's vertex readers; triangles whose
// corners are out of range are dropped. Needs a mesh that passed the reader's
// checks; never reads outside its arrays.
void DecodeMesh(const SSceneMesh& mesh, uint32_t nodeCount, SDrawMesh& out);

// Builds the whole list from a read scene. folder is where the file lies:
// diffuse textures are looked up there by name.
void BuildDrawList(const SScene& scene, const std::string& folder, SDrawList& out);

// Reads path with the project's scene reader and builds the list. False with
// the reader's message in *error when the file cannot be read; the scene is
// then empty.
bool LoadDrawList(const std::string& path, SScene& scene, SDrawList& out, std::string* error);

// One evaluated frame: world matrices of every node and, for skinned items,
// their vertices in world space.
struct SDrawFrame {
    float fFrame = 0;
    std::vector<SMatrix44> pmWorld;                // per node
    std::vector<std::vector<float>> pfSkinnedPos;  // per item: 3 per vertex, or empty
    std::vector<std::vector<float>> pfSkinnedNorm; // per item: 3 per vertex, or empty
};

// Evaluates the scene at frame (clamped to the file's frames) with the
// scene's own node evaluation and its skinning matrices.
void EvaluateFrame(SScene& scene, const SDrawList& list, float frame, SDrawFrame& out);

// Grows box by the world bounds of an item at the evaluated frame; false
// when the item has no finite vertex.
bool ItemBounds(const SDrawList& list, const SDrawFrame& frame, size_t item, SBox& box);

// The box over every item at every frame of the animation (at most
// maxFrames of them, fewer for big skinned meshes, spread evenly and the
// last always among them), so that a view framed on it holds the whole
// animation. The scene is left at the frame it was at.
SBox AnimationBounds(SScene& scene, const SDrawList& list, uint32_t maxFrames = 240);

// Transforms a point (row vector, w = 1) or a direction (w = 0).
void TransformPoint(const SMatrix44& m, const float in[3], float out[3]);
void TransformDirection(const SMatrix44& m, const float in[3], float out[3]);

// Vertex-cache misses per triangle of a triangle list (meshoptimizer's analyser).
float ListAcmr(const std::vector<uint32_t>& indices, uint32_t vertexCount);
