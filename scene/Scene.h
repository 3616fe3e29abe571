#pragma once
// The exportable scene: plain records laid out like the scene file, one field
// per file block. Arrays are std::vector (empty means absent) and strings
// std::string; the counts of the file are the sizes of the vectors, except
// where a count has a meaning of its own (vertices, triangles, mesh nodes,
// frames, bone batches).
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Math.h"
#include "scene/VertexDataTypes.h"

// One attribute or index stream.
struct SVertexChannel {
    EZGXTDataType eType = eZGXTNone;
    uint32_t uiComponentCount = 0; // 0: the attribute is absent
    uint32_t uiStride = 0;         // bytes from one element to the next
    // The channel's own array (element count x uiStride bytes). Empty when
    // the mesh is interleaved: the data then lives in pVertexBlock at uiOffset.
    std::vector<uint8_t> pData;
    uint32_t uiOffset = 0;

    bool IsPresent() const { return uiComponentCount != 0; }
    bool operator==(const SVertexChannel& o) const;
    bool operator!=(const SVertexChannel& o) const { return !(*this == o); }
};

// Bytes of one element: component size x component count.
uint32_t ElementSize(const SVertexChannel& channel);

struct SSceneMesh {
    uint32_t uiVertexCount = 0;
    uint32_t uiTriangleCount = 0;
    SVertexChannel sIndexData;               // type 3 or 17, one component, own data
    std::vector<uint32_t> puiStripTriangles; // triangles per strip; empty: a list
    SVertexChannel sPosition;
    SVertexChannel sNormal;
    SVertexChannel sTangent;
    SVertexChannel sBinormal;
    std::vector<SVertexChannel> psTexCoord; // uiTexCoordSets entries
    SVertexChannel sColour;
    SVertexChannel sBoneIndex;
    SVertexChannel sBoneWeights;
    // Interleaved vertex buffer (uiVertexCount x stride); empty when the
    // channels own their data.
    std::vector<uint8_t> pVertexBlock;
    std::vector<uint32_t> puiBatchBoneList;      // uiBatchCapacity slots per batch
    std::vector<uint32_t> puiBatchBoneTotals;    // bones used per batch
    std::vector<uint32_t> puiBatchStartTriangle; // first triangle per batch
    uint32_t uiBatchCapacity = 0;
    uint32_t uiBatchCount = 0;
    SMatrix44 fUnpackMatrix = MatrixIdentity();

    uint32_t TexCoordSets() const { return static_cast<uint32_t>(psTexCoord.size()); }
    uint32_t StripCount() const { return static_cast<uint32_t>(puiStripTriangles.size()); }
    bool IsInterleaved() const { return !pVertexBlock.empty(); }
    bool operator==(const SSceneMesh& o) const;
    bool operator!=(const SSceneMesh& o) const { return !(*this == o); }
};

// The vertex channels in file order: position, normal, tangent, binormal,
// texture coordinates, colour, bone index, bone weights.
std::vector<const SVertexChannel*> VertexChannels(const SSceneMesh& mesh);
std::vector<SVertexChannel*> VertexChannels(SSceneMesh& mesh);

// Bits of SSceneNode::uiAnimMask.
enum EAnimMask : uint32_t {
    eAnimPosition = 1,
    eAnimRotation = 2,
    eAnimScale = 4,
    eAnimMatrix = 8,
};

// Floats per key of the four transform arrays.
constexpr uint32_t kPositionKeySize = 3;
constexpr uint32_t kRotationKeySize = 4;
constexpr uint32_t kScaleKeySize = 7; // scale xyz, stretch axis xyz, stretch angle
constexpr uint32_t kMatrixKeySize = 16;

struct SSceneNode {
    int32_t nContentIdx = -1; // mesh, light or camera index by the node's place
    std::string pszName;
    int32_t nMaterialIdx = -1;
    int32_t nParentIdx = -1;
    uint32_t uiAnimMask = 0;
    std::vector<uint32_t> puiPositionKeyIdx; // per frame: float index of its key
    std::vector<float> pfPositionKeys;
    std::vector<uint32_t> puiRotationKeyIdx;
    std::vector<float> pfRotationKeys;
    std::vector<uint32_t> puiScaleKeyIdx;
    std::vector<float> pfScaleKeys;
    std::vector<uint32_t> puiMatrixKeyIdx;
    std::vector<float> pfMatrixKeys;
    std::vector<uint8_t> pUserData;

    bool operator==(const SSceneNode& o) const;
    bool operator!=(const SSceneNode& o) const { return !(*this == o); }
};

struct SSceneCamera {
    int32_t nTargetIdx = -1;
    float fFieldOfView = 0; // radians
    float fFarClip = 0;
    float fNearClip = 0;
    std::vector<float> pfFieldOfViewKeys; // per frame, or empty

    bool operator==(const SSceneCamera& o) const;
    bool operator!=(const SSceneCamera& o) const { return !(*this == o); }
};

enum ELightType : uint32_t {
    eLightPoint = 0,
    eLightDirectional = 1,
    eLightSpot = 2,
};

struct SSceneLight {
    int32_t nTargetIdx = -1;
    float fColour[3] = {0, 0, 0};
    uint32_t eType = eLightPoint;
    float fConstantAttenuation = 0;
    float fLinearAttenuation = 0;
    float fQuadraticAttenuation = 0;
    float fFalloffAngle = 0; // radians
    float fFalloffExponent = 0;

    bool operator==(const SSceneLight& o) const;
    bool operator!=(const SSceneLight& o) const { return !(*this == o); }
};

// OpenGL enumerants used as material blend defaults.
constexpr uint32_t kGLZero = 0;
constexpr uint32_t kGLOne = 1;
constexpr uint32_t kGLSrcAlpha = 0x0302;
constexpr uint32_t kGLOneMinusSrcAlpha = 0x0303;
constexpr uint32_t kGLFuncAdd = 0x8006;

// A material at or below this opacity leaves nothing to see of its meshes.
constexpr float kInvisibleOpacity = 1.0f / 512;

// Bit 0 of SSceneMaterial::uiMaterialFlags.
constexpr uint32_t kMaterialBlendEnabled = 1;

struct SSceneMaterial {
    std::string pszName;
    int32_t nDiffuseTexture = -1;
    int32_t nAmbientTexture = -1;
    int32_t nSpecularTexture = -1;
    int32_t nTextureSlot3 = -1;
    int32_t nTextureSlot4 = -1;
    int32_t nEmissiveTexture = -1;
    int32_t nTextureSlot6 = -1;
    int32_t nTextureSlot7 = -1;
    int32_t nReflectionTexture = -1;
    int32_t nTextureSlot9 = -1;
    float fOpacity = 1; // 1 = opaque
    float fAmbient[3] = {0, 0, 0};
    float fDiffuse[3] = {0, 0, 0};
    float fSpecular[3] = {0, 0, 0};
    float fShininess = 0;
    std::string pszEffectFileName; // empty: none
    std::string pszEffectLabel;    // empty: none
    uint32_t eSrcColourFactor = kGLOne;
    uint32_t eSrcAlphaFactor = kGLOne;
    uint32_t eDstColourFactor = kGLZero;
    uint32_t eDstAlphaFactor = kGLZero;
    uint32_t eColourBlendOp = kGLFuncAdd;
    uint32_t eAlphaBlendOp = kGLFuncAdd;
    float fConstantBlendColour[4] = {0, 0, 0, 0};
    float fBlendFactorRGBA[4] = {0, 0, 0, 0};
    uint32_t uiMaterialFlags = 0;
    std::vector<uint8_t> pUserData;

    // The ten texture slots in file order (3001, 3009 ... 3017).
    static constexpr int kTextureSlots = 10;
    int32_t& TextureSlot(int i);
    int32_t TextureSlot(int i) const;

    bool operator==(const SSceneMaterial& o) const;
    bool operator!=(const SSceneMaterial& o) const { return !(*this == o); }
};

struct SSceneTexture {
    std::string pszName; // file name

    bool operator==(const SSceneTexture& o) const { return pszName == o.pszName; }
    bool operator!=(const SSceneTexture& o) const { return !(*this == o); }
};

// World matrices per node at frame 0 and at the current frame; never stored.
struct SSceneAnimCache {
    float fFrame = 0;
    float fBlend = 0;
    uint32_t uiFrame = 0;
    std::vector<float> pfCachedFrame;      // per node: frame held in pmWorldCurrent
    std::vector<SMatrix44> pmWorldCurrent; // per node
    std::vector<SMatrix44> pmWorldFrame0;  // per node
};

struct SScene {
    float fBackgroundRGB[3] = {0, 0, 0};
    float fAmbientRGB[3] = {0, 0, 0};
    std::vector<SSceneCamera> pCameras;
    std::vector<SSceneLight> pLights;
    std::vector<SSceneMesh> pMeshes;
    uint32_t uiMeshNodeCount = 0;   // the first nodes of pNodes are the mesh nodes
    std::vector<SSceneNode> pNodes; // mesh nodes, light nodes, camera nodes, others
    std::vector<SSceneTexture> pTextures;
    std::vector<SSceneMaterial> pMaterials;
    uint32_t uiFrameCount = 0;       // 0: no animation
    uint32_t uiFramesPerSecond = 30; // meaningful when uiFrameCount != 0
    uint32_t uiFlags = 0;            // bit 0: fixed-point numbers (never written by us)
    std::vector<uint8_t> pUserData;
    SSceneAnimCache sAnimCache; // not part of the file or of equality

    // Equality of every file field (the animation cache is not compared).
    bool operator==(const SScene& o) const;
    bool operator!=(const SScene& o) const { return !(*this == o); }
};

constexpr uint32_t kSceneFlagFixedPoint = 1;

// Releases everything and leaves an empty scene; safe on an empty one.
void Destroy(SScene& scene);

// Indices in sIndexData: 3 per triangle for a list, triangles + 2 per strip.
uint64_t IndexCount(const SSceneMesh& mesh);

// Floats held by one transform array: k when its flag bit is clear, k per
// frame when set without index array, largest index + k with one. 64-bit so
// that counts read from a file cannot wrap.
uint64_t AnimArrayLength(uint32_t animMask, uint32_t bit, const std::vector<uint32_t>& keyIdx, uint32_t frameCount,
                         uint32_t keySize);

// Animation cache: 0 on success, 1 when it cannot be allocated.
int CreateAnimCache(SScene& scene);
void ResetAnimCache(SScene& scene);
void SelectFrame(SScene& scene, float frame);

// Transform evaluation at the selected frame. Node indices out of range give
// the identity; a parent chain that leaves the array or loops ends there.
SMatrix44 EvalScaleMatrix(const SScene& scene, uint32_t node);
SMatrix44 EvalRotationMatrix(const SScene& scene, uint32_t node);
SMatrix44 EvalTranslationMatrix(const SScene& scene, uint32_t node);
SMatrix44 EvalMatrixKey(const SScene& scene, uint32_t node);
SMatrix44 ComputeWorldMatrix(const SScene& scene, uint32_t node);
// Through the cache (when created); updates it.
SMatrix44 WorldMatrixAt(SScene& scene, uint32_t node);
// Mesh world at frame 0 x inverse(bone world at frame 0) x bone world now.
SMatrix44 BoneSkinMatrix(SScene& scene, uint32_t meshNode, uint32_t boneNode);

void QuaternionSlerp(float out[4], const float a[4], const float b[4], float t);
// Affine inverse; false (out untouched) when the 3x3 part is singular.
bool AffineInverse(const SMatrix44& m, SMatrix44* out);
