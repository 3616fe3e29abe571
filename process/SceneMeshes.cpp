// Stage 1 mesh building: an import node's triangles, grouped by material,
// become welded meshes; a mesh equal to one already built is shared.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "base/ConversionLog.h"
#include "scene/ImportScene.h"
#include "options/Options.h"
#include "process/KeyHash.h"
#include "process/SceneBuild.h"

namespace {

constexpr uint32_t kMaxTexCoordSets = 8;

// What one welded vertex is made of; the corners of a mesh share a layout.
struct SCornerLayout {
    bool normals = false;
    uint32_t texCoordSets = 0;
    bool colours = false;
    uint32_t influences = 0; // bone slots per vertex; 0 without skinning

    uint32_t FloatCount() const { return 3 + (normals ? 3 : 0) + 3 * texCoordSets + (colours ? 4 : 0) + influences; }
    // Colour flag, then bone indices and the real influence count.
    uint32_t IntCount() const { return (colours ? 1 : 0) + (influences ? influences + 1 : 0); }
};

// Vertices keyed by their whole corner data: floats compared with float
// equality, integers exactly. Open addressing; each slot holds the vertex
// number and the upper half of its hash, so most probes that miss never
// touch the vertex data.
class CWeldTable {
public:
    CWeldTable(const SCornerLayout& layout, size_t expectedCorners)
        : m_floats(layout.FloatCount()), m_ints(layout.IntCount())
    {
        size_t cap = 64;
        while (cap < expectedCorners / 2)
            cap <<= 1;
        m_slots.assign(cap, kEmpty);
        // Room for a vertex per corner: never moved as they grow, and what
        // they do not fill is never touched (only its address space is taken).
        keyFloats.reserve(expectedCorners * m_floats);
        keyInts.reserve(expectedCorners * m_ints);
    }

    uint64_t Hash(const float* f, const int32_t* n) const
    {
        uint64_t h = kKeyHashSeed;
        for (uint32_t i = 0; i < m_floats; ++i)
            h = HashWord(h, CanonicalBits(f[i]));
        for (uint32_t i = 0; i < m_ints; ++i)
            h = HashWord(h, uint32_t(n[i]));
        return FinishHash(h);
    }

    // Asks for the slot a key of hash h probes first: the table is far
    // larger than the caches, and the corners ahead are known.
    void Prefetch(uint64_t h) const { __builtin_prefetch(&m_slots[size_t(h) & (m_slots.size() - 1)]); }

    // The vertex with exactly this data (whose Hash is h), appended when
    // there is none.
    uint32_t Weld(const float* f, const int32_t* n, uint64_t h)
    {
        const uint64_t tag = h & 0xFFFFFFFF00000000ull;
        const size_t mask = m_slots.size() - 1;
        size_t slot = size_t(h) & mask;
        for (uint64_t s; (s = m_slots[slot]) != kEmpty; slot = (slot + 1) & mask) {
            const uint32_t v = uint32_t(s);
            if ((s & 0xFFFFFFFF00000000ull) == tag && Equal(v, f, n))
                return v;
        }
        const uint32_t v = m_count++;
        m_slots[slot] = tag | v;
        keyFloats.insert(keyFloats.end(), f, f + m_floats);
        keyInts.insert(keyInts.end(), n, n + m_ints);
        if (size_t(m_count) * 2 > m_slots.size())
            Grow();
        return v;
    }

    uint32_t Count() const { return m_count; }
    // Once every corner is welded: the keys stay, the lookup goes.
    void ReleaseSlots() { std::vector<uint64_t>().swap(m_slots); }

    std::vector<float> keyFloats; // m_floats per vertex
    std::vector<int32_t> keyInts; // m_ints per vertex

private:
    static constexpr uint64_t kEmpty = UINT64_MAX;

    bool Equal(uint32_t v, const float* f, const int32_t* n) const
    {
        const float* a = keyFloats.data() + size_t(v) * m_floats;
        for (uint32_t i = 0; i < m_floats; ++i)
            if (!(a[i] == f[i]))
                return false;
        const int32_t* b = keyInts.data() + size_t(v) * m_ints;
        for (uint32_t i = 0; i < m_ints; ++i)
            if (b[i] != n[i])
                return false;
        return true;
    }

    // The slot position comes from the low hash bits, which the slots do
    // not keep: they are recomputed from the stored keys.
    void Grow()
    {
        std::vector<uint64_t> slots(m_slots.size() * 2, kEmpty);
        const size_t mask = slots.size() - 1;
        for (uint32_t v = 0; v < m_count; ++v) {
            const uint64_t h = Hash(keyFloats.data() + size_t(v) * m_floats, keyInts.data() + size_t(v) * m_ints);
            size_t slot = size_t(h) & mask;
            while (slots[slot] != kEmpty)
                slot = (slot + 1) & mask;
            slots[slot] = (h & 0xFFFFFFFF00000000ull) | v;
        }
        m_slots.swap(slots);
    }

    uint32_t m_floats;
    uint32_t m_ints;
    uint32_t m_count = 0;
    std::vector<uint64_t> m_slots;
};

bool IsDegenerate(const SImportNode& node, const SImportTriangle& tri)
{
    const size_t count = node.positions.size();
    const int32_t* p = tri.position;
    for (int c = 0; c < 3; ++c)
        if (p[c] < 0 || size_t(p[c]) >= count)
            return true; // a corner without a position cannot be drawn
    if (p[0] == p[1] || p[1] == p[2] || p[0] == p[2])
        return true;
    auto same = [&](int a, int b) {
        const SVec3& u = node.positions[size_t(p[a])];
        const SVec3& v = node.positions[size_t(p[b])];
        return u[0] == v[0] && u[1] == v[1] && u[2] == v[2];
    };
    return same(0, 1) || same(1, 2) || same(0, 2);
}

bool CornerColour(const SImportNode& node, const SImportTriangle& tri, int c, SVec4* colour)
{
    const int32_t i = tri.colour[c];
    if (i < 0 || size_t(i) >= node.colours.size())
        return false;
    *colour = node.colours[size_t(i)];
    return true;
}

// The weld key of corner c of triangle t: position, normal, texture
// coordinates, colour and influences as the layout has them: its floats into
// pf, its integers into pk.
void CornerKey(const SImportNode& node, uint32_t t, int c, const SCornerLayout& layout, const SImportSkin* skin,
               float* pf, int32_t* pk)
{
    const SImportTriangle& tri = node.triangles[t];
    const SVec3& p = node.positions[size_t(tri.position[c])];
    pf[0] = p[0];
    pf[1] = p[1];
    pf[2] = p[2];
    pf += 3;
    if (layout.normals) {
        const int32_t ni = tri.normal[c];
        const bool has = ni >= 0 && size_t(ni) < node.normals.size();
        for (int a = 0; a < 3; ++a)
            pf[a] = has ? node.normals[size_t(ni)][size_t(a)] : 0.0f;
        pf += 3;
    }
    for (uint32_t s = 0; s < layout.texCoordSets; ++s) {
        const SImportUVSet& set = node.uvSets[s];
        int32_t vi = -1;
        if (t < set.triangles.size())
            vi = set.triangles[t][size_t(c)];
        const bool has = vi >= 0 && size_t(vi) < set.values.size();
        for (int a = 0; a < 3; ++a)
            pf[a] = has ? set.values[size_t(vi)][size_t(a)] : 0.0f;
        pf += 3;
    }
    if (layout.colours) {
        SVec4 colour{0, 0, 0, 0};
        const bool has = CornerColour(node, tri, c, &colour);
        for (int a = 0; a < 4; ++a)
            pf[a] = colour[size_t(a)];
        pf += 4;
        *pk++ = has ? 1 : 0;
    }
    if (layout.influences) {
        const CInfluenceLists::CList inf = skin->influences[skin->ListOf(t, tri, c)];
        const size_t used = std::min<size_t>(inf.size(), layout.influences);
        for (uint32_t b = 0; b < layout.influences; ++b) {
            pf[b] = b < used ? inf[b].weight : 0.0f;
            pk[b] = b < used ? inf[b].bone : 0;
        }
        pk[layout.influences] = int32_t(used);
    }
}

// Corners whose key is known to equal an earlier corner's without making
// it: a corner's key depends only on which position, normal, texture
// coordinates, colour and influence list it names, so a corner that names
// the same ones as the last corner at its position welds to the same vertex.
// Pays where importers share positions between corners (glTF); records with
// a position per corner skip it. One per node, for its groups in turn.
class CSharedCorners {
public:
    static constexpr size_t kNoCorner = ~size_t(0);

    CSharedCorners(const SImportNode& node, const SImportSkin* skin) : m_node(node), m_skin(skin)
    {
        if (node.positions.size() < node.triangles.size() * 3 && node.triangles.size() * 3 < kNone)
            m_last.assign(node.positions.size(), kNone);
    }

    // The next group: its triangles and layout (both kept by reference).
    void BeginGroup(const std::vector<uint32_t>& tris, const SCornerLayout& layout)
    {
        m_base = m_next;
        m_next += uint32_t(tris.size() * 3);
        m_tris = &tris;
        m_layout = &layout;
    }

    // Corner q of the group (corner q % 3 of triangle tris[q / 3]): an
    // earlier corner of the group with the same key, or kNoCorner; q
    // becomes its position's last corner when there is none.
    size_t Earlier(size_t q)
    {
        if (m_last.empty())
            return kNoCorner;
        const uint32_t t = (*m_tris)[q / 3];
        const int c = int(q % 3);
        uint32_t& last = m_last[size_t(m_node.triangles[t].position[c])]; // drawable: a valid position
        if (last != kNone && last >= m_base) {
            const size_t q0 = last - m_base;
            if (Same((*m_tris)[q0 / 3], int(q0 % 3), t, c))
                return q0;
        }
        last = m_base + uint32_t(q);
        return kNoCorner;
    }

private:
    static constexpr uint32_t kNone = ~0u;

    static int32_t UvIndex(const SImportUVSet& set, uint32_t t, int c)
    {
        return t < set.triangles.size() ? set.triangles[t][size_t(c)] : -1;
    }

    bool Same(uint32_t t0, int c0, uint32_t t, int c) const
    {
        const SImportTriangle& a = m_node.triangles[t0];
        const SImportTriangle& b = m_node.triangles[t];
        const SCornerLayout& layout = *m_layout;
        if ((layout.normals && a.normal[c0] != b.normal[c]) || (layout.colours && a.colour[c0] != b.colour[c]))
            return false;
        for (uint32_t s = 0; s < layout.texCoordSets; ++s)
            if (UvIndex(m_node.uvSets[s], t0, c0) != UvIndex(m_node.uvSets[s], t, c))
                return false;
        return !layout.influences || m_skin->ListOf(t0, a, c0) == m_skin->ListOf(t, b, c);
    }

    const SImportNode& m_node;
    const SImportSkin* m_skin;
    const std::vector<uint32_t>* m_tris = nullptr;
    const SCornerLayout* m_layout = nullptr;
    uint32_t m_base = 0, m_next = 0; // the group's first corner, counted over the node
    std::vector<uint32_t> m_last;    // per position: its last corner, counted over the node
};

// Exact-part hash of a built mesh: everything instancing compares exactly.
uint64_t InstanceKey(const SSceneMesh& mesh, const SCornerLayout& layout, int32_t material)
{
    uint64_t h = kKeyHashSeed;
    h = HashWord(h, mesh.uiVertexCount);
    h = HashWord(h, mesh.uiTriangleCount);
    h = HashWord(h, uint32_t(material));
    h = HashWord(h, (layout.normals ? 1u : 0u) | (layout.colours ? 2u : 0u));
    h = HashWord(h, layout.texCoordSets);
    h = HashWord(h, layout.influences);
    const std::vector<uint8_t>& ind = mesh.sIndexData.pData;
    for (size_t i = 0; i + 4 <= ind.size(); i += 4) {
        uint32_t w;
        std::memcpy(&w, &ind[i], 4);
        h = HashWord(h, w);
    }
    auto hashFloats = [&h](const std::vector<uint8_t>& data) {
        for (size_t i = 0; i + 4 <= data.size(); i += 4) {
            float f;
            std::memcpy(&f, &data[i], 4);
            h = HashWord(h, CanonicalBits(f));
        }
    };
    for (const SVertexChannel& uv : mesh.psTexCoord)
        hashFloats(uv.pData);
    hashFloats(mesh.sBoneWeights.pData);
    for (size_t i = 0; i + 4 <= mesh.sColour.pData.size(); i += 4) {
        uint32_t w;
        std::memcpy(&w, &mesh.sColour.pData[i], 4);
        h = HashWord(h, w);
    }
    for (size_t i = 0; i + 4 <= mesh.sBoneIndex.pData.size(); i += 4) {
        uint32_t w;
        std::memcpy(&w, &mesh.sBoneIndex.pData[i], 4);
        h = HashWord(h, w);
    }
    return FinishHash(h);
}

bool SameFloats(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i + 4 <= a.size(); i += 4) {
        float x, y;
        std::memcpy(&x, &a[i], 4);
        std::memcpy(&y, &b[i], 4);
        if (!(x == y))
            return false;
    }
    return true;
}

// Every vector of a and b (3 floats each) lies less than 0.0001 from its partner.
bool CloseVectors(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    if (a.size() != b.size())
        return false;
    const size_t n = a.size() / 12;
    for (size_t v = 0; v < n; ++v) {
        float x[3], y[3];
        std::memcpy(x, &a[v * 12], 12);
        std::memcpy(y, &b[v * 12], 12);
        const float dx = x[0] - y[0], dy = x[1] - y[1], dz = x[2] - y[2];
        if (!(dx * dx + dy * dy + dz * dz < 1e-8f))
            return false;
    }
    return true;
}

bool SameMesh(const SWorkMesh& a, const SWorkMesh& b)
{
    const SSceneMesh& m = a.mesh;
    const SSceneMesh& o = b.mesh;
    if (a.material != b.material || m.uiVertexCount != o.uiVertexCount || m.uiTriangleCount != o.uiTriangleCount ||
        m.sIndexData.pData != o.sIndexData.pData || m.psTexCoord.size() != o.psTexCoord.size() ||
        m.sNormal.uiComponentCount != o.sNormal.uiComponentCount ||
        m.sColour.uiComponentCount != o.sColour.uiComponentCount ||
        m.sBoneIndex.uiComponentCount != o.sBoneIndex.uiComponentCount)
        return false;
    if (m.sColour.pData != o.sColour.pData || m.sBoneIndex.pData != o.sBoneIndex.pData ||
        a.influenceCounts != b.influenceCounts || !SameFloats(m.sBoneWeights.pData, o.sBoneWeights.pData))
        return false;
    for (size_t s = 0; s < m.psTexCoord.size(); ++s)
        if (!SameFloats(m.psTexCoord[s].pData, o.psTexCoord[s].pData))
            return false;
    return CloseVectors(m.sPosition.pData, o.sPosition.pData) && CloseVectors(m.sNormal.pData, o.sNormal.pData);
}

// Meshes match only when every position lies within 0.0001 of its
// partner, the first one included: a cell twice that size per axis holds the
// first positions that can match in it and its neighbours. False for a mesh
// without a first position, or with one too far out or not finite.
constexpr double kInstanceCell = 0.0002;

bool FirstPositionCell(const SWorkMesh& mesh, int64_t cell[3])
{
    const std::vector<uint8_t>& p = mesh.mesh.sPosition.pData;
    if (p.size() < 12)
        return false;
    float first[3];
    std::memcpy(first, p.data(), 12);
    for (int k = 0; k < 3; ++k) {
        const double c = std::floor(double(first[k]) / kInstanceCell);
        if (!(std::fabs(c) < 1e15))
            return false;
        cell[k] = int64_t(c);
    }
    return true;
}

uint64_t PlaceKey(uint64_t instanceKey, const int64_t* cell)
{
    uint64_t h = HashWord(kKeyHashSeed, uint32_t(instanceKey));
    h = HashWord(h, uint32_t(instanceKey >> 32));
    h = HashWord(h, cell ? 1u : 0u);
    for (int k = 0; cell && k < 3; ++k) {
        h = HashWord(h, uint32_t(uint64_t(cell[k])));
        h = HashWord(h, uint32_t(uint64_t(cell[k]) >> 32));
    }
    return FinishHash(h);
}

// The earlier mesh the new one instances: of those with its instanceKey that
// SameMesh accepts, the one that came last; -1 for none. Only those whose
// first position lies in a neighbouring cell (or has none) can be accepted,
// so only those are compared, latest first.
int32_t FindInstance(const SWorkScene& work, const SWorkMesh& mesh)
{
    std::vector<uint32_t> candidates;
    int64_t cell[3];
    if (!FirstPositionCell(mesh, cell)) {
        const auto all = work.meshesByKey.find(mesh.instanceKey);
        if (all != work.meshesByKey.end())
            candidates = all->second;
    } else {
        auto add = [&](const int64_t* at) {
            const auto found = work.meshesByPlace.find(PlaceKey(mesh.instanceKey, at));
            if (found != work.meshesByPlace.end())
                candidates.insert(candidates.end(), found->second.begin(), found->second.end());
        };
        add(nullptr);
        for (int64_t dx = -1; dx <= 1; ++dx)
            for (int64_t dy = -1; dy <= 1; ++dy)
                for (int64_t dz = -1; dz <= 1; ++dz) {
                    const int64_t at[3] = {cell[0] + dx, cell[1] + dy, cell[2] + dz};
                    add(at);
                }
        std::sort(candidates.begin(), candidates.end());
        candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    }
    for (size_t i = candidates.size(); i-- > 0;) {
        const SWorkMesh& other = work.meshes[candidates[i]];
        if (other.instanceKey == mesh.instanceKey && SameMesh(other, mesh))
            return int32_t(candidates[i]);
    }
    return -1;
}

SVertexChannel FloatChannel(uint32_t components, uint32_t vertexCount)
{
    SVertexChannel c;
    c.eType = eZGXTFloat;
    c.uiComponentCount = components;
    c.uiStride = 4 * components;
    c.pData.resize(size_t(vertexCount) * c.uiStride);
    return c;
}

SVertexChannel AbsentChannel()
{
    SVertexChannel c;
    c.eType = eZGXTFloat;
    return c;
}

// The mesh of one material group, built from the welded vertices.
SWorkMesh MakeMesh(const CWeldTable& weld, const SCornerLayout& layout, const std::vector<uint32_t>& indices,
                   bool flipV, int32_t material)
{
    SWorkMesh work;
    work.material = material;
    SSceneMesh& mesh = work.mesh;
    const uint32_t n = weld.Count();
    mesh.uiVertexCount = n;
    mesh.uiTriangleCount = uint32_t(indices.size() / 3);
    mesh.sIndexData.eType = eZGXTUInt;
    mesh.sIndexData.uiComponentCount = 1;
    mesh.sIndexData.uiStride = 4;
    mesh.sIndexData.pData.resize(indices.size() * 4);
    std::memcpy(mesh.sIndexData.pData.data(), indices.data(), indices.size() * 4);

    mesh.sPosition = FloatChannel(3, n);
    mesh.sNormal = layout.normals ? FloatChannel(3, n) : AbsentChannel();
    mesh.sTangent = AbsentChannel();
    mesh.sBinormal = AbsentChannel();
    mesh.psTexCoord.resize(layout.texCoordSets);
    for (SVertexChannel& uv : mesh.psTexCoord)
        uv = FloatChannel(3, n);
    mesh.sColour = AbsentChannel();
    if (layout.colours) {
        mesh.sColour.eType = eZGXTARGB;
        mesh.sColour.uiComponentCount = 1;
        mesh.sColour.uiStride = 4;
        mesh.sColour.pData.resize(size_t(n) * 4);
    }
    mesh.sBoneIndex = AbsentChannel();
    mesh.sBoneWeights = AbsentChannel();
    if (layout.influences) {
        mesh.sBoneIndex.eType = eZGXTInt;
        mesh.sBoneIndex.uiComponentCount = layout.influences;
        mesh.sBoneIndex.uiStride = 4 * layout.influences;
        mesh.sBoneIndex.pData.resize(size_t(n) * mesh.sBoneIndex.uiStride);
        mesh.sBoneWeights = FloatChannel(layout.influences, n);
        work.influenceCounts.resize(n);
    }

    const uint32_t nf = layout.FloatCount();
    const uint32_t ni = layout.IntCount();
    for (uint32_t v = 0; v < n; ++v) {
        const float* f = weld.keyFloats.data() + size_t(v) * nf;
        const int32_t* k = weld.keyInts.data() + size_t(v) * ni;
        std::memcpy(&mesh.sPosition.pData[size_t(v) * 12], f, 12);
        f += 3;
        if (layout.normals) {
            std::memcpy(&mesh.sNormal.pData[size_t(v) * 12], f, 12);
            f += 3;
        }
        for (SVertexChannel& uv : mesh.psTexCoord) {
            float t[3] = {f[0], flipV ? 1.0f - f[1] : f[1], f[2]};
            std::memcpy(&uv.pData[size_t(v) * 12], t, 12);
            f += 3;
        }
        if (layout.colours) {
            // A vertex without a colour of its own shows as opaque white.
            const float white[4] = {1, 1, 1, 1};
            WriteVertex(&mesh.sColour.pData[size_t(v) * 4], eZGXTARGB, 4, k[0] ? f : white);
            f += 4;
            k += 1;
        }
        if (layout.influences) {
            std::memcpy(&mesh.sBoneWeights.pData[size_t(v) * 4 * layout.influences], f, 4 * layout.influences);
            std::memcpy(&mesh.sBoneIndex.pData[size_t(v) * 4 * layout.influences], k, 4 * layout.influences);
            work.influenceCounts[v] = uint8_t(k[layout.influences]);
        }
    }
    work.instanceKey = InstanceKey(mesh, layout, material);
    return work;
}

} // namespace

void ReleaseMeshData(SImportNode& node)
{
    std::vector<SVec3>().swap(node.positions);
    std::vector<SVec3>().swap(node.normals);
    std::vector<SVec4>().swap(node.colours);
    std::vector<SImportTriangle>().swap(node.triangles);
    std::vector<SImportUVSet>().swap(node.uvSets);
    std::vector<SImportSkin>().swap(node.skins);
}

uint32_t BuildNodeMeshes(const SImportNode& node, int32_t importIndex, const COptionsData& options, uint32_t frameCount,
                         uint32_t materialCount, SWorkScene& work, SImportNode* release)
{
    // Drawable triangles grouped by material, groups in order of first use.
    std::vector<int32_t> groupMaterial;
    std::vector<std::vector<uint32_t>> groups;
    std::unordered_map<int32_t, size_t> groupOf;
    for (size_t t = 0; t < node.triangles.size(); ++t) {
        const SImportTriangle& tri = node.triangles[t];
        if (IsDegenerate(node, tri))
            continue;
        auto it = groupOf.find(tri.material);
        if (it == groupOf.end()) {
            it = groupOf.emplace(tri.material, groups.size()).first;
            groups.emplace_back();
            groupMaterial.push_back(tri.material);
        }
        groups[it->second].push_back(uint32_t(t));
    }
    if (groups.empty())
        return 0;
    if (groups.size() > 1)
        ConversionLog(eLogWarning, "Warning: '%s' has been split up into %i meshes as it uses multiple materials.",
                      node.name.c_str(), int(groups.size()));

    const bool flipV = (options.GetCS() == eCSDirectX) != options.GetBool(opt::bFlipTextureV);
    SCornerLayout base;
    base.normals = options.GetExport(eVANormal);
    if (options.GetBool(opt::bExportMappingChannels))
        base.texCoordSets = uint32_t(std::min<size_t>(node.uvSets.size(), kMaxTexCoordSets));
    const bool skinWanted = options.GetBool(opt::bExportSkin) &&
                            (options.GetExport(eVABoneIndices) || options.GetExport(eVABoneWeights)) &&
                            !node.skins.empty();
    const SImportSkin* skin = skinWanted ? &node.skins[0] : nullptr;
    CSharedCorners shared(node, skin);

    for (size_t g = 0; g < groups.size(); ++g) {
        const std::vector<uint32_t>& tris = groups[g];
        SCornerLayout layout = base;
        if (options.GetExport(eVAColour)) {
            SVec4 colour;
            for (size_t i = 0; i < tris.size() && !layout.colours; ++i)
                for (int c = 0; c < 3 && !layout.colours; ++c)
                    layout.colours = CornerColour(node, node.triangles[tris[i]], c, &colour);
        }
        if (skin) {
            bool covered = true;
            size_t most = 0;
            for (size_t i = 0; i < tris.size() && covered; ++i)
                for (int c = 0; c < 3; ++c) {
                    const size_t list = skin->ListOf(tris[i], node.triangles[tris[i]], c);
                    if (list >= skin->influences.size() || skin->influences[list].empty()) {
                        covered = false;
                        break;
                    }
                    most = std::max(most, skin->influences[list].size());
                }
            if (covered)
                layout.influences = uint32_t(std::min<size_t>(most, 255));
            else
                ConversionLog(eLogWarning,
                              "Warning: Ignoring skinning information as some/all vertices do not have data.");
        }

        // Corners are welded in order; the keys of the next few are made
        // (and their slots fetched) while the current one is looked up.
        CWeldTable weld(layout, tris.size() * 3);
        const uint32_t nf = layout.FloatCount();
        const uint32_t ni = layout.IntCount();
        constexpr size_t kAhead = 8;
        std::vector<float> f(kAhead * nf);
        std::vector<int32_t> k(kAhead * ni + 1);
        uint64_t hashes[kAhead];
        size_t sameAs[kAhead]; // a corner welded before with the same key, or kNoCorner
        const size_t corners = tris.size() * 3;
        shared.BeginGroup(tris, layout);
        auto load = [&](size_t q) {
            const size_t r = q % kAhead;
            sameAs[r] = shared.Earlier(q);
            if (sameAs[r] != CSharedCorners::kNoCorner)
                return;
            CornerKey(node, tris[q / 3], int(q % 3), layout, skin, &f[r * nf], &k[r * ni]);
            hashes[r] = weld.Hash(&f[r * nf], &k[r * ni]);
            weld.Prefetch(hashes[r]);
        };
        for (size_t q = 0; q < kAhead && q < corners; ++q)
            load(q);
        std::vector<uint32_t> indices;
        indices.reserve(corners);
        for (size_t q = 0; q < corners; ++q) {
            const size_t r = q % kAhead;
            indices.push_back(sameAs[r] != CSharedCorners::kNoCorner ? indices[sameAs[r]]
                                                                     : weld.Weld(&f[r * nf], &k[r * ni], hashes[r]));
            if (q + kAhead < corners)
                load(q + kAhead);
        }
        weld.ReleaseSlots();
        if (release && g + 1 == groups.size()) {
            skin = nullptr;
            ReleaseMeshData(*release);
        }

        SWorkMesh mesh = MakeMesh(weld, layout, indices, flipV, groupMaterial[g]);
        int32_t meshIndex = FindInstance(work, mesh);
        if (meshIndex >= 0) {
            ConversionLog(eLogInfo, "Instancing mesh");
        } else {
            meshIndex = int32_t(work.meshes.size());
            work.meshesByKey[mesh.instanceKey].push_back(uint32_t(meshIndex));
            int64_t cell[3];
            work.meshesByPlace[PlaceKey(mesh.instanceKey, FirstPositionCell(mesh, cell) ? cell : nullptr)].push_back(
                uint32_t(meshIndex));
            work.meshes.push_back(std::move(mesh));
        }

        SWorkNode wn = MakeWorkNode(node, importIndex, options, frameCount);
        if (groups.size() > 1)
            wn.node.pszName = StrFormat("%s-submesh%u", node.name.c_str(), unsigned(g));
        wn.node.nContentIdx = meshIndex;
        const int32_t material = groupMaterial[g];
        wn.node.nMaterialIdx = (material >= 0 && uint32_t(material) < materialCount) ? material : -1;
        work.nodes.push_back(std::move(wn));
    }
    return uint32_t(groups.size());
}
