#include "SceneTestUtil.h"

#include <QTemporaryDir>

#include <cstring>

#include "scene/SceneFromQef.h"
#include "scene/VertexDataTypes.h"

CQefBytes& CQefBytes::U32(uint32_t v)
{
    const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char((v >> 24) & 0xFF)};
    m_bytes.append(b, 4);
    return *this;
}

CQefBytes& CQefBytes::F32(float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return U32(bits);
}

CQefBytes& CQefBytes::Raw(const std::string& bytes)
{
    m_bytes += bytes;
    return *this;
}

CQefBytes& CQefBytes::Raw(const void* p, size_t n)
{
    m_bytes.append(static_cast<const char*>(p), n);
    return *this;
}

CQefBytes& CQefBytes::LeafF32s(uint32_t tag, std::initializer_list<float> v)
{
    return LeafF32s(tag, v.begin(), v.size());
}

CQefBytes& CQefBytes::LeafF32s(uint32_t tag, const float* v, size_t n)
{
    Begin(tag, uint32_t(n * 4));
    for (size_t i = 0; i < n; ++i)
        F32(v[i]);
    return End(tag);
}

CQefBytes& CQefBytes::LeafU32s(uint32_t tag, const std::vector<uint32_t>& v)
{
    Begin(tag, uint32_t(v.size() * 4));
    for (uint32_t x : v)
        U32(x);
    return End(tag);
}

CQefBytes& CQefBytes::LeafString(uint32_t tag, const std::string& s)
{
    return Begin(tag, uint32_t(s.size() + 1)).Raw(s.c_str(), s.size() + 1).End(tag);
}

CQefBytes& CQefBytes::LeafBytes(uint32_t tag, const std::string& bytes)
{
    return Begin(tag, uint32_t(bytes.size())).Raw(bytes).End(tag);
}

CQefBytes& CQefBytes::Version()
{
    return Begin(1000, 11).Raw("AB.QEF.2.0", 11).End(1000);
}

uint32_t GetU32(const std::string& b, size_t o)
{
    return uint32_t(uint8_t(b[o])) | uint32_t(uint8_t(b[o + 1])) << 8 | uint32_t(uint8_t(b[o + 2])) << 16 |
           uint32_t(uint8_t(b[o + 3])) << 24;
}

void SetU32(std::string& b, size_t o, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[o + size_t(i)] = char((v >> (8 * i)) & 0xFF);
}

std::vector<SBlockRef> FindBlocks(const std::string& file, uint32_t tag)
{
    std::vector<SBlockRef> out;
    size_t at = 0;
    while (at + 8 <= file.size()) {
        const uint32_t t = GetU32(file, at);
        const uint32_t len = GetU32(file, at + 4);
        if (t == tag)
            out.push_back({at, t, len});
        at += 8 + len;
    }
    return out;
}

SVertexChannel ChannelOf(uint32_t type, uint32_t n, uint32_t vertices, const std::vector<float>& values)
{
    SVertexChannel c;
    c.eType = static_cast<EZGXTDataType>(type);
    c.uiComponentCount = n;
    c.uiStride = ComponentSize(type) * n;
    c.pData.assign(size_t(c.uiStride) * vertices, 0);
    const uint32_t per = IsPackedType(type) ? ValuesPerElement(type) : n;
    for (uint32_t v = 0; v < vertices; ++v) {
        float in[4] = {0, 0, 0, 0};
        if (IsPackedType(type)) {
            for (uint32_t k = 0; k < per; ++k)
                in[k] = values[v * per + k];
            WriteVertex(&c.pData[size_t(v) * c.uiStride], type, per, in);
        } else {
            for (uint32_t k = 0; k < n; ++k)
                WriteComponent(&c.pData[size_t(v) * c.uiStride + k * ComponentSize(type)], type, values[v * n + k]);
        }
    }
    return c;
}

SVertexChannel IndexChannel(uint32_t type, const std::vector<uint32_t>& indices)
{
    SVertexChannel c;
    c.eType = static_cast<EZGXTDataType>(type);
    c.uiComponentCount = 1;
    c.uiStride = ComponentSize(type);
    c.pData.assign(indices.size() * c.uiStride, 0);
    for (size_t i = 0; i < indices.size(); ++i)
        WriteIndex(&c.pData[i * c.uiStride], type, indices[i]);
    return c;
}

void InterleaveForTest(SSceneMesh& mesh, const std::vector<std::pair<SVertexChannel*, uint32_t>>& offsets,
                       uint32_t stride)
{
    mesh.pVertexBlock.assign(size_t(stride) * mesh.uiVertexCount, 0);
    for (const auto& o : offsets) {
        SVertexChannel& c = *o.first;
        const uint32_t size = ElementSize(c);
        for (uint32_t v = 0; v < mesh.uiVertexCount; ++v)
            std::memcpy(&mesh.pVertexBlock[size_t(v) * stride + o.second], &c.pData[size_t(v) * c.uiStride], size);
        c.pData.clear();
        c.uiStride = stride;
        c.uiOffset = o.second;
    }
    for (SVertexChannel* c : VertexChannels(mesh))
        if (!c->IsPresent())
            c->pData.clear();
}

namespace {

SSceneNode StaticNode(const char* name, int32_t content, int32_t parent)
{
    SSceneNode n;
    n.pszName = name;
    n.nContentIdx = content;
    n.nParentIdx = parent;
    n.pfPositionKeys = {0, 0, 0};
    n.pfRotationKeys = {0, 0, 0, 1};
    n.pfScaleKeys = {1, 1, 1, 0, 0, 0, 0};
    return n;
}

} // namespace

SScene MakeFullScene()
{
    SScene s;
    const float bg[3] = {0.1f, 0.2f, 0.3f}, amb[3] = {0.05f, 0.06f, 0.07f};
    std::memcpy(s.fBackgroundRGB, bg, sizeof(bg));
    std::memcpy(s.fAmbientRGB, amb, sizeof(amb));
    s.uiFrameCount = 3;
    s.uiFramesPerSecond = 25;
    s.uiFlags = 0x100; // an unknown flag travels unchanged
    s.pUserData = {1, 2, 3, 4, 5};

    SSceneCamera cam0;
    cam0.nTargetIdx = 9;
    cam0.fFieldOfView = 0.8f;
    cam0.fFarClip = 500.0f;
    cam0.fNearClip = 0.5f;
    cam0.pfFieldOfViewKeys = {0.8f, 0.9f, 1.0f};
    SSceneCamera cam1;
    cam1.fFieldOfView = 1.1f;
    cam1.fFarClip = 100.0f;
    cam1.fNearClip = 1.0f;
    s.pCameras = {cam0, cam1};

    SSceneLight point;
    point.fColour[0] = 1.0f;
    point.fColour[1] = 0.5f;
    point.fColour[2] = 0.25f;
    point.fConstantAttenuation = 1.0f;
    point.fLinearAttenuation = 0.1f;
    point.fQuadraticAttenuation = 0.01f;
    SSceneLight directional;
    directional.eType = eLightDirectional;
    directional.nTargetIdx = 8;
    directional.fColour[0] = directional.fColour[1] = directional.fColour[2] = 0.75f;
    SSceneLight spot = point;
    spot.eType = eLightSpot;
    spot.fFalloffAngle = 0.7f;
    spot.fFalloffExponent = 2.0f;
    s.pLights = {point, directional, spot};

    // Mesh 0: separate channels of several types, a list, bone batches.
    SSceneMesh m0;
    m0.uiVertexCount = 4;
    m0.uiTriangleCount = 2;
    m0.sIndexData = IndexChannel(eZGXTUShort, {0, 1, 2, 2, 1, 3});
    m0.sPosition = ChannelOf(eZGXTFloat, 3, 4, {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0});
    m0.sNormal = ChannelOf(eZGXTShortNorm, 3, 4, {0, 0, 1, 0, 0, 1, 0, 0, -1, 0.5f, 0.5f, 0.5f});
    m0.sTangent.eType = eZGXTFloat; // an empty channel of a type
    m0.psTexCoord = {ChannelOf(eZGXTFloat, 2, 4, {0, 0, 1, 0, 0, 1, 1, 1}),
                     ChannelOf(eZGXTUByteNorm, 2, 4, {0, 0, 1, 0, 0, 1, 1, 1})};
    m0.sColour = ChannelOf(eZGXTARGB, 1, 4, {1, 0, 0, 1, 0, 1, 0, 1, 0, 0, 1, 0.5f, 1, 1, 1, 1});
    m0.sBoneIndex = ChannelOf(eZGXTUByte, 2, 4, {0, 1, 1, 0, 2, 0, 2, 1});
    m0.sBoneWeights = ChannelOf(eZGXTFloat, 2, 4, {1, 0, 0.5f, 0.5f, 1, 0, 0.25f, 0.75f});
    m0.uiBatchCapacity = 2;
    m0.uiBatchCount = 2;
    m0.puiBatchBoneList = {8, 9, 9, 0};
    m0.puiBatchBoneTotals = {2, 1};
    m0.puiBatchStartTriangle = {0, 1};
    m0.fUnpackMatrix[0] = 0.5f;
    m0.fUnpackMatrix[12] = -3.0f;

    // Mesh 1: two strips (2 and 1 triangles) with 32-bit indices.
    SSceneMesh m1;
    m1.uiVertexCount = 5;
    m1.uiTriangleCount = 3;
    m1.puiStripTriangles = {2, 1};
    m1.sIndexData = IndexChannel(eZGXTUInt, {0, 1, 2, 3, 2, 3, 4});
    m1.sPosition = ChannelOf(eZGXTFloat, 3, 5, {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0, 2, 2, 2});

    // Mesh 2: interleaved with gaps: position 0, normal 16, uv 28, colour 36, stride 40.
    SSceneMesh m2;
    m2.uiVertexCount = 3;
    m2.uiTriangleCount = 1;
    m2.sIndexData = IndexChannel(eZGXTUShort, {0, 1, 2});
    m2.sPosition = ChannelOf(eZGXTFloat, 3, 3, {0, 0, 0, 1, 0, 0, 0, 1, 0});
    m2.sNormal = ChannelOf(eZGXTFloat, 3, 3, {0, 0, 1, 0, 0, 1, 0, 0, 1});
    m2.psTexCoord = {ChannelOf(eZGXTFloat, 2, 3, {0, 0, 1, 0, 0, 1})};
    m2.sColour = ChannelOf(eZGXTRGBA, 1, 3, {1, 1, 1, 1, 1, 0, 0, 1, 0, 0, 1, 1});
    InterleaveForTest(m2, {{&m2.sPosition, 0}, {&m2.sNormal, 16}, {&m2.psTexCoord[0], 28}, {&m2.sColour, 36}}, 40);

    s.pMeshes = {m0, m1, m2};

    // Nodes: 3 mesh nodes, 3 light nodes, 2 camera nodes, then two others.
    s.uiMeshNodeCount = 3;
    SSceneNode n0 = StaticNode("Mesh0", 0, 8);
    n0.nMaterialIdx = 0;
    n0.pfPositionKeys = {1, 2, 3};
    SSceneNode n1 = StaticNode("Mesh1", 1, -1);
    n1.nMaterialIdx = 1;
    n1.uiAnimMask = eAnimPosition | eAnimRotation;
    n1.puiPositionKeyIdx = {0, 3, 0}; // two distinct keys shared by three frames
    n1.pfPositionKeys = {0, 0, 0, 5, 0, 0};
    n1.pfRotationKeys = {0, 0, 0, 1, 0, 0, 0.7071068f, 0.7071068f, 0, 0, 1, 0};
    SSceneNode n2 = StaticNode("Mesh2", 2, -1);
    n2.nMaterialIdx = 0;
    n2.pfPositionKeys.clear();
    n2.pfRotationKeys.clear();
    n2.pfScaleKeys.clear();
    n2.uiAnimMask = eAnimMatrix;
    n2.puiMatrixKeyIdx = {0, 0, 16};
    n2.pfMatrixKeys.assign(32, 0.0f);
    for (int i = 0; i < 4; ++i) {
        n2.pfMatrixKeys[size_t(i * 5)] = 1.0f;
        n2.pfMatrixKeys[size_t(16 + i * 5)] = 2.0f;
    }
    n2.pUserData = {9, 8, 7};
    s.pNodes = {n0, n1, n2};
    for (int i = 0; i < 3; ++i)
        s.pNodes.push_back(StaticNode(i == 0 ? "PointLight" : i == 1 ? "Sun" : "Spot", i, 8));
    for (int i = 0; i < 2; ++i)
        s.pNodes.push_back(StaticNode(i == 0 ? "Camera" : "Camera2", i, -1));
    s.pNodes.push_back(StaticNode("Root", -1, -1));
    s.pNodes.push_back(StaticNode("", -1, 8)); // an empty name

    s.pTextures = {{"diffuse.png"}, {"specular.tga"}};

    SSceneMaterial glass;
    glass.pszName = "Glass";
    glass.nDiffuseTexture = 0;
    glass.nSpecularTexture = 1;
    glass.nTextureSlot3 = 1;
    glass.nReflectionTexture = 0;
    glass.fOpacity = 0.5f;
    const float colours[3][3] = {{0.1f, 0.1f, 0.1f}, {0.8f, 0.7f, 0.6f}, {1, 1, 1}};
    std::memcpy(glass.fAmbient, colours[0], 12);
    std::memcpy(glass.fDiffuse, colours[1], 12);
    std::memcpy(glass.fSpecular, colours[2], 12);
    glass.fShininess = 0.2f;
    glass.pszEffectFileName = "effects.qdl";
    glass.pszEffectLabel = "GlassFX";
    glass.eSrcColourFactor = glass.eSrcAlphaFactor = kGLSrcAlpha;
    glass.eDstColourFactor = glass.eDstAlphaFactor = kGLOneMinusSrcAlpha;
    glass.eAlphaBlendOp = 0x800A;
    const float blend[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    std::memcpy(glass.fConstantBlendColour, blend, 16);
    glass.fBlendFactorRGBA[3] = 1.0f;
    glass.uiMaterialFlags = kMaterialBlendEnabled;
    glass.pUserData = {0xAA, 0xBB};
    SSceneMaterial plain;
    s.pMaterials = {glass, plain};
    return s;
}

int ReadSceneBytes(const std::string& bytes, SScene* scene, CZGXTString* error)
{
    Destroy(*scene);
    return LoadSceneFromBytes(bytes.data(), bytes.size(), scene, nullptr, nullptr, error) ? 0 : 1;
}

CTempDir::CTempDir() : m_tmp(new QTemporaryDir)
{
    m_dir = m_tmp->path().toStdString();
}

CTempDir::~CTempDir() = default;

std::string CTempDir::Path(const std::string& name) const
{
    return m_dir + "/" + name;
}
