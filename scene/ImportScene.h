#pragma once
// What the Collada importer produces and the processing driver consumes: a
// flat list of nodes that carry their own mesh, light, camera, skin and
// per-frame data, the materials, and the animation frame range.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Math.h"

using SVec3 = std::array<float, 3>;
using SVec4 = std::array<float, 4>;

struct SImportTransform {
    SVec3 translation{0, 0, 0};
    SVec4 rotation{0, 0, 0, 1}; // quaternion x, y, z, w
    SVec3 scale{1, 1, 1};
    SVec3 stretchAxis{0, 0, 0};
    float stretchAngle = 0; // radians
    SMatrix44 matrix = MatrixIdentity();
};

struct SImportTriangle {
    int32_t position[3] = {0, 0, 0};
    int32_t reserved = 0;  // always 0
    int32_t material = -1; // scene material index, -1 for none
    int32_t normal[3] = {-1, -1, -1};
    int32_t colour[3] = {-1, -1, -1};
};

struct SImportUVSet {
    std::vector<SVec3> values;
    std::vector<std::array<int32_t, 3>> triangles; // one index triple per triangle
};

struct SImportInfluence {
    int32_t bone = 0; // index of the joint's node in the scene's node list
    float weight = 0;
};

struct SImportSkin {
    std::string name = "Skin";
    uint32_t reserved0 = 0;
    uint32_t reserved1 = 1;
    // One list per triangle corner (corner 3t + c), at most 4, heaviest first.
    std::vector<std::vector<SImportInfluence>> influences;
};

enum EImportContent : uint32_t {
    eImportNone = 0,
    eImportMesh = 1,
    eImportCamera = 2,
    eImportLight = 3,
    eImportBone = 4,
};

enum EImportLightType : uint32_t {
    eImportLightPoint = 0,
    eImportLightDirectional = 1,
    eImportLightSpot = 2,
};

struct SImportLight {
    uint32_t type = eImportLightPoint;
    SVec3 colour{0, 0, 0};
    int32_t target = -1;
    float constantAttenuation = 1;
    float linearAttenuation = 0;
    float quadraticAttenuation = 0;
    float falloffAngle = 3.14159265358979f; // radians
    float falloffExponent = 0;
};

struct SImportCamera {
    uint32_t hasTarget = 0;
    float fov = 0; // radians
    float farPlane = 0;
    float nearPlane = 0;
    int32_t target = -1;
};

struct SImportNode {
    int32_t index = -1;  // own position in the list that holds the node
    int32_t parent = -1; // -1 for a root
    std::string name;
    uint32_t content = eImportNone;
    SImportTransform transform;
    std::vector<SVec3> positions;
    std::vector<SVec3> normals;
    std::vector<SVec4> colours; // RGBA
    std::vector<SImportTriangle> triangles;
    std::vector<SImportUVSet> uvSets; // at most 8
    std::vector<SImportTransform> frames;
    SImportLight light;
    SImportCamera camera;
    std::vector<float> frameFov;
    std::vector<SImportSkin> skins;
    std::vector<uint8_t> userData;
};

struct SMaterial {
    static constexpr int kTextureSlots = 10;
    enum ETextureSlot {
        eTexDiffuse = 0,
        eTexAmbient = 1,
        eTexSpecular = 2,
        eTexEmissive = 5,
        eTexReflection = 8,
    };
    std::string name;
    std::string textures[kTextureSlots];
    SVec3 diffuse{0, 0, 0};
    SVec3 ambient{0, 0, 0};
    SVec3 specular{0, 0, 0};
    float opacity = 0;
    float shininess = 0;
    std::string effectFile;
    std::string effectName;
    std::vector<uint8_t> userData;
    uint32_t blendSrcRGB = 1;       // GL_ONE
    uint32_t blendSrcAlpha = 1;     // GL_ONE
    uint32_t blendDstRGB = 0;       // GL_ZERO
    uint32_t blendDstAlpha = 0;     // GL_ZERO
    uint32_t blendOpRGB = 0x8006;   // GL_FUNC_ADD
    uint32_t blendOpAlpha = 0x8006; // GL_FUNC_ADD
    SVec4 blendColour{0, 0, 0, 0};
    SVec4 blendFactor{0, 0, 0, 0};
    uint32_t flags = 0;
};

struct SImportScene {
    uint32_t firstFrame = 0;
    uint32_t lastFrame = 0;
    uint32_t frameRate = 30;
    SVec3 ambient{0, 0, 0};
    std::vector<SImportNode> nodes;
    std::vector<SMaterial> materials;
    std::vector<uint8_t> userData;
};
