#pragma once
// What the Collada importer produces and the processing driver consumes: a
// flat list of nodes that carry their own mesh, light, camera, skin and
// per-frame data, the materials, and the animation frame range.
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
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

// Lists of influences, one after another in one array: a skin of millions of
// corners costs two allocations, not one per corner. List i is
// Entries()[start(i)] up to Entries()[start(i + 1)]. Reads like a vector of
// lists (size, [], iteration); lists are only appended.
class CInfluenceLists {
public:
    // One list, valid until the next append.
    class CList {
    public:
        CList(const SImportInfluence* b, const SImportInfluence* e) : m_begin(b), m_end(e) {}
        const SImportInfluence* begin() const { return m_begin; }
        const SImportInfluence* end() const { return m_end; }
        size_t size() const { return size_t(m_end - m_begin); }
        bool empty() const { return m_begin == m_end; }
        const SImportInfluence& operator[](size_t i) const { return m_begin[i]; }
        operator std::vector<SImportInfluence>() const { return {m_begin, m_end}; }

    private:
        const SImportInfluence* m_begin;
        const SImportInfluence* m_end;
    };
    class CIterator {
    public:
        CIterator(const CInfluenceLists* lists, size_t i) : m_lists(lists), m_i(i) {}
        CList operator*() const { return (*m_lists)[m_i]; }
        CIterator& operator++()
        {
            ++m_i;
            return *this;
        }
        bool operator!=(const CIterator& o) const { return m_i != o.m_i; }

    private:
        const CInfluenceLists* m_lists;
        size_t m_i;
    };

    size_t size() const { return m_starts.size() - 1; }
    bool empty() const { return size() == 0; }
    CList operator[](size_t i) const
    {
        const SImportInfluence* d = m_entries.data();
        return {d + m_starts[i], d + m_starts[i + 1]};
    }
    CIterator begin() const { return {this, 0}; }
    CIterator end() const { return {this, size()}; }
    const std::vector<SImportInfluence>& Entries() const { return m_entries; }
    size_t start(size_t i) const { return m_starts[i]; }

    void reserve(size_t lists, size_t entries = 0)
    {
        m_starts.reserve(lists + 1);
        m_entries.reserve(entries);
    }
    // Appends one list.
    void push_back(const SImportInfluence* b, const SImportInfluence* e)
    {
        m_entries.insert(m_entries.end(), b, e);
        m_starts.push_back(m_entries.size());
    }
    void push_back(const std::vector<SImportInfluence>& list) { push_back(list.data(), list.data() + list.size()); }
    void push_back(std::initializer_list<SImportInfluence> list) { push_back(list.begin(), list.end()); }
    void push_back(const CList& list) { push_back(list.begin(), list.end()); }
    // Appends an empty list.
    void emplace_back() { m_starts.push_back(m_entries.size()); }
    void assign(size_t n, std::initializer_list<SImportInfluence> list)
    {
        clear();
        reserve(n, n * list.size());
        for (size_t i = 0; i < n; ++i)
            push_back(list);
    }
    void clear()
    {
        m_entries.clear();
        m_starts.assign(1, 0);
    }
    // Replaces the lists with those of a padded array, compacted in place:
    // list i holds the first counts[i] of the stride entries at
    // padded[i * stride]; a count of kNoList gives no list at all.
    static constexpr uint8_t kNoList = 255;
    void AssignPadded(std::vector<SImportInfluence>&& padded, const std::vector<uint8_t>& counts, size_t stride)
    {
        m_entries = std::move(padded);
        m_starts.assign(1, 0);
        m_starts.reserve(counts.size() + 1);
        size_t kept = 0;
        for (size_t i = 0; i < counts.size(); ++i) {
            if (counts[i] == kNoList)
                continue;
            for (size_t k = 0; k < counts[i]; ++k)
                m_entries[kept++] = m_entries[i * stride + k];
            m_starts.push_back(kept);
        }
        m_entries.resize(kept);
    }
    // Empties list i (moves the lists after it).
    void ClearList(size_t i)
    {
        const size_t removed = m_starts[i + 1] - m_starts[i];
        m_entries.erase(m_entries.begin() + std::ptrdiff_t(m_starts[i]),
                        m_entries.begin() + std::ptrdiff_t(m_starts[i + 1]));
        for (size_t k = i + 1; k < m_starts.size(); ++k)
            m_starts[k] -= removed;
    }

private:
    std::vector<SImportInfluence> m_entries;
    std::vector<size_t> m_starts{0};
};

struct SImportSkin {
    std::string name = "Skin";
    uint32_t reserved0 = 0;
    uint32_t reserved1 = 1;
    // At most 4 influences a list, heaviest first: one list per triangle
    // corner (corner 3t + c), or, when perPosition, one per position (list p
    // for positions[p]), which an importer whose vertices are already shared
    // by corners keeps once.
    CInfluenceLists influences;
    bool perPosition = false;
    // The list that corner c of triangle t (tri) reads; past the lists when
    // the corner has none.
    size_t ListOf(size_t t, const SImportTriangle& tri, int c) const
    {
        if (!perPosition)
            return 3 * t + size_t(c);
        return tri.position[c] >= 0 ? size_t(tri.position[c]) : influences.size();
    }
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

// An image that materials show, for the conversion to put beside its output
// under the name the materials record: the bytes of an image held in the
// document, or the file the document refers to.
struct SImportImage {
    std::string key;                           // what tells one image from another within the document
    std::string name;                          // the texture name its materials record
    bool embedded = false;                     // bytes holds the image as stored in the document
    std::vector<uint8_t> bytes;                // embedded images
    std::string path;                          // external images: the file as resolved (it may not exist)
    std::string reference;                     // external images: the reference as the document gives it
    std::vector<std::pair<int32_t, int>> uses; // (material, texture slot) that name it
};

struct SImportScene {
    // False when the document has nothing to animate: no animation is
    // exported, whatever the options ask.
    bool animated = true;
    uint32_t firstFrame = 0;
    uint32_t lastFrame = 0;
    uint32_t frameRate = 30;
    SVec3 ambient{0, 0, 0};
    std::vector<SImportNode> nodes;
    std::vector<SMaterial> materials;
    std::vector<SImportImage> images; // one per image file or embedded image
    std::vector<uint8_t> userData;

    // Records that slot of material shows the image known by key (its file,
    // or a name for one held in the document); the first use adds the image
    // with the given name, and the caller fills in where its bytes are.
    SImportImage& UseImage(const std::string& key, const std::string& imageName, int32_t material, int slot)
    {
        size_t i = 0;
        while (i < images.size() && images[i].key != key)
            ++i;
        if (i == images.size()) {
            images.emplace_back();
            images.back().key = key;
            images.back().name = imageName;
        }
        images[i].uses.emplace_back(material, slot);
        return images[i];
    }
};
