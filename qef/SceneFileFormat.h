#pragma once
// Block tags of the binary scene file (.qef), shared by the loader, the
// reader and the writer. Every block is a start header
// (u32 tag, u32 payload length), its payload or child blocks, and an end
// header (u32 tag | kEndTagBit, u32 0); all numbers little-endian.
#include <cstdint>

namespace qef {

constexpr uint32_t kEndTagBit = 0x80000000u;
constexpr char kVersionText[] = "AB.QEF.2.0"; // stored with its NUL: 11 bytes
constexpr uint32_t kVersionLength = 11;
// Tag 1000 as read from a file of the opposite byte order.
constexpr uint32_t kSwappedVersionTag = 0xE8030000u;

enum ETag : uint32_t {
    // File level
    eVersion = 1000,
    eScene = 1001,
    eOptionsText = 1002,
    eHistoryText = 1003,

    // Scene group
    eBackground = 2000,
    eAmbient = 2001,
    eCameraCount = 2002,
    eLightCount = 2003,
    eMeshCount = 2004,
    eNodeCount = 2005,
    eMeshNodeCount = 2006,
    eTextureCount = 2007,
    eMaterialCount = 2008,
    eFrameCount = 2009,
    eCamera = 2010,
    eLight = 2011,
    eMesh = 2012,
    eNode = 2013,
    eTexture = 2014,
    eMaterial = 2015,
    eFlags = 2016,
    eFramesPerSecond = 2017,
    eSceneUserData = 2018,

    // Material group
    eMatName = 3000,
    eMatDiffuseTexture = 3001,
    eMatOpacity = 3002,
    eMatAmbient = 3003,
    eMatDiffuse = 3004,
    eMatSpecular = 3005,
    eMatShininess = 3006,
    eMatEffectFile = 3007,
    eMatEffectLabel = 3008,
    eMatAmbientTexture = 3009, // 3009..3017: the nine texture slots after diffuse
    eMatTextureSlot9 = 3017,
    eMatSrcColourFactor = 3018,
    eMatSrcAlphaFactor = 3019,
    eMatDstColourFactor = 3020,
    eMatDstAlphaFactor = 3021,
    eMatColourBlendOp = 3022,
    eMatAlphaBlendOp = 3023,
    eMatBlendColour = 3024,
    eMatBlendFactor = 3025,
    eMatFlags = 3026,
    eMatUserData = 3027,

    // Texture group
    eTexName = 4000,

    // Node group
    eNodeContent = 5000,
    eNodeName = 5001,
    eNodeMaterial = 5002,
    eNodeParent = 5003,
    eNodeLegacyPosition = 5004,
    eNodeLegacyRotation = 5005,
    eNodeLegacyScale = 5006,
    eNodePositionKeys = 5007,
    eNodeRotationKeys = 5008,
    eNodeScaleKeys = 5009,
    eNodeMatrixKeys = 5011,
    eNodeAnimMask = 5012,
    eNodePositionKeyIdx = 5013,
    eNodeRotationKeyIdx = 5014,
    eNodeScaleKeyIdx = 5015,
    eNodeMatrixKeyIdx = 5016,
    eNodeUserData = 5017,

    // Mesh group
    eMeshVertexCount = 6000,
    eMeshTriangleCount = 6001,
    eMeshTexCoordSets = 6002,
    eMeshIndexData = 6003,
    eMeshStripTriangles = 6004,
    eMeshStripCount = 6005,
    eMeshPosition = 6006,
    eMeshNormal = 6007,
    eMeshTangent = 6008,
    eMeshBinormal = 6009,
    eMeshTexCoord = 6010,
    eMeshColour = 6011,
    eMeshBoneIndex = 6012,
    eMeshBoneWeights = 6013,
    eMeshVertexBlock = 6014,
    eMeshBatchBoneList = 6015,
    eMeshBatchBoneTotals = 6016,
    eMeshBatchStartTriangle = 6017,
    eMeshBatchCapacity = 6018,
    eMeshBatchCount = 6019,
    eMeshUnpackMatrix = 6020,

    // Light group
    eLightTarget = 7000,
    eLightColour = 7001,
    eLightType = 7002,
    eLightConstantAtt = 7003,
    eLightLinearAtt = 7004,
    eLightQuadraticAtt = 7005,
    eLightFalloffAngle = 7006,
    eLightFalloffExponent = 7007,

    // Camera group
    eCamTarget = 8000,
    eCamFieldOfView = 8001,
    eCamFarClip = 8002,
    eCamNearClip = 8003,
    eCamFieldOfViewKeys = 8004,

    // Channel group
    eChanType = 9000,
    eChanComponents = 9001,
    eChanStride = 9002,
    eChanData = 9003,
};

constexpr uint32_t EndTag(uint32_t tag)
{
    return tag | kEndTagBit;
}

// Smallest possible group: a start and an end header.
constexpr uint32_t kMinGroupBytes = 16;

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr bool kHostLittleEndian = false;
#else
constexpr bool kHostLittleEndian = true;
#endif

} // namespace qef
