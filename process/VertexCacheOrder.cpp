#include "process/VertexCacheOrder.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace {

constexpr uint32_t kCacheSize = 16;
constexpr uint32_t kValenceMax = 8;

// The optimiser's scores for a vertex: by its place in the cache (none
// first) and by the triangles it still has (clamped at kValenceMax).
constexpr float kCacheScore[1 + kCacheSize] = {0.f,    0.779f, 0.791f, 0.789f, 0.981f, 0.843f, 0.726f, 0.847f, 0.882f,
                                               0.867f, 0.799f, 0.642f, 0.613f, 0.600f, 0.568f, 0.372f, 0.234f};
constexpr float kLiveScore[1 + kValenceMax] = {0.f, 0.995f, 0.713f, 0.450f, 0.404f, 0.059f, 0.005f, 0.147f, 0.006f};

float VertexScore(int position, uint32_t live)
{
    return kCacheScore[1 + position] + kLiveScore[live < kValenceMax ? live : kValenceMax];
}

// Vertices with more triangles than this keep the best of their triangles in
// a tree, so a step where their score stays the same does not walk them all.
constexpr uint32_t kBusyVertex = 32;

constexpr uint32_t kNone = ~0u;

class CVertexCacheOrderer {
public:
    CVertexCacheOrderer(const uint32_t* faces, uint32_t faceCount, uint32_t vertexCount)
        : m_faces(faces), m_fc(faceCount), m_vc(vertexCount)
    {
    }
    void Run(uint32_t* order);

private:
    // Each vertex lists its triangles, once per corner, in triangle order to
    // begin with; an emitted triangle is taken out by moving the list's last
    // entry into its place, as the optimiser does.
    void BuildLists();
    void Remove(uint32_t t, int k);

    // Busy vertices: a tree over the places of the list, each node the
    // place of the highest score below it (the first place among equals).
    struct SBusy {
        uint32_t base; // leaves at m_leaf[base...], nodes at m_node[2 * base...]
        uint32_t size; // a power of two
    };
    void BuildBusy();
    void SetLeaf(const SBusy& b, uint32_t place, float value);
    void Rebuild(const SBusy& b);
    void UpdateBusyPlaces(uint32_t t, uint32_t except);

    const uint32_t* m_faces;
    uint32_t m_fc, m_vc;
    std::vector<uint32_t> m_count, m_offset, m_list, m_live;
    std::vector<float> m_vertexScore, m_triScore;
    std::vector<uint8_t> m_emitted;
    std::vector<uint32_t> m_busyOf; // per vertex, into m_busy, or kNone
    std::vector<SBusy> m_busy;
    std::vector<uint8_t> m_busyCorners; // per triangle: bit k when corner k is busy
    std::vector<uint32_t> m_place;      // per busy corner (3 x triangle + corner): its place in the list
    std::vector<uint8_t> m_corner;      // per place of a busy list: which corner of its triangle
    std::vector<float> m_leaf;
    std::vector<uint32_t> m_node;
};

void CVertexCacheOrderer::BuildLists()
{
    m_count.assign(m_vc, 0);
    for (size_t i = 0; i < size_t(m_fc) * 3; ++i)
        ++m_count[m_faces[i]];
    m_offset.resize(m_vc);
    uint32_t offset = 0;
    for (uint32_t v = 0; v < m_vc; ++v) {
        m_offset[v] = offset;
        offset += m_count[v];
    }
    m_list.resize(size_t(m_fc) * 3);
    std::vector<uint32_t> fill(m_offset);
    for (uint32_t c = 0; c < m_fc * 3; ++c)
        m_list[fill[m_faces[c]]++] = c / 3;
    m_live = m_count;
}

void CVertexCacheOrderer::BuildBusy()
{
    m_busyOf.assign(m_vc, kNone);
    uint32_t base = 0;
    for (uint32_t v = 0; v < m_vc; ++v) {
        if (m_count[v] <= kBusyVertex)
            continue;
        uint32_t size = 1;
        while (size < m_count[v])
            size *= 2;
        m_busyOf[v] = uint32_t(m_busy.size());
        m_busy.push_back({base, size});
        base += size;
    }
    if (m_busy.empty())
        return;
    m_busyCorners.assign(m_fc, 0);
    m_place.assign(size_t(m_fc) * 3, kNone);
    m_leaf.assign(base, -std::numeric_limits<float>::infinity());
    m_corner.assign(base, 0);
    m_node.assign(size_t(base) * 2, 0);
    std::vector<uint32_t> fill(m_busy.size(), 0);
    for (uint32_t c = 0; c < m_fc * 3; ++c) {
        const uint32_t busy = m_busyOf[m_faces[c]];
        if (busy == kNone)
            continue;
        m_busyCorners[c / 3] |= uint8_t(1u << (c % 3));
        const uint32_t place = fill[busy]++;
        m_place[c] = place;
        m_corner[m_busy[busy].base + place] = uint8_t(c % 3);
        m_leaf[m_busy[busy].base + place] = m_triScore[c / 3];
    }
    for (const SBusy& b : m_busy) {
        for (uint32_t p = 0; p < b.size; ++p)
            m_node[2 * size_t(b.base) + b.size + p] = p;
        Rebuild(b);
    }
}

void CVertexCacheOrderer::SetLeaf(const SBusy& b, uint32_t place, float value)
{
    const float* leaf = m_leaf.data() + b.base;
    uint32_t* node = m_node.data() + 2 * size_t(b.base);
    m_leaf[b.base + place] = value;
    for (uint32_t i = (b.size + place) / 2; i >= 1; i /= 2) {
        const uint32_t l = node[2 * i], r = node[2 * i + 1];
        node[i] = leaf[r] > leaf[l] ? r : l;
    }
}

void CVertexCacheOrderer::Rebuild(const SBusy& b)
{
    const float* leaf = m_leaf.data() + b.base;
    uint32_t* node = m_node.data() + 2 * size_t(b.base);
    for (uint32_t i = b.size - 1; i >= 1; --i) {
        const uint32_t l = node[2 * i], r = node[2 * i + 1];
        node[i] = leaf[r] > leaf[l] ? r : l;
    }
}

// The busy corners of t (but those at vertex `except`) see its new score.
void CVertexCacheOrderer::UpdateBusyPlaces(uint32_t t, uint32_t except)
{
    for (uint32_t k = 0; k < 3; ++k) {
        if (!(m_busyCorners[t] & (1u << k)))
            continue;
        const uint32_t c = t * 3 + k, v = m_faces[c];
        if (v != except && m_place[c] != kNone)
            SetLeaf(m_busy[m_busyOf[v]], m_place[c], m_triScore[t]);
    }
}

// Takes the emitted triangle t out of the list of its corner k's vertex:
// the optimiser searches the list from its start, so where t is there more
// than once (a repeated corner) the first place goes.
void CVertexCacheOrderer::Remove(uint32_t t, int k)
{
    const uint32_t v = m_faces[t * 3 + uint32_t(k)];
    uint32_t* list = m_list.data() + m_offset[v];
    const uint32_t last = m_count[v] - 1;
    const uint32_t busy = m_busyOf[v];
    if (busy == kNone) {
        for (uint32_t i = 0; i <= last; ++i)
            if (list[i] == t) {
                list[i] = list[last];
                --m_count[v];
                return;
            }
        return;
    }
    uint32_t corner = kNone;
    for (uint32_t j = 0; j < 3; ++j) {
        const uint32_t c = t * 3 + j;
        if (m_faces[c] == v && m_place[c] != kNone && (corner == kNone || m_place[c] < m_place[corner]))
            corner = c;
    }
    if (corner == kNone)
        return;
    const SBusy& b = m_busy[busy];
    const uint32_t place = m_place[corner];
    const uint32_t moved = list[last], movedCorner = m_corner[b.base + last];
    list[place] = moved;
    m_corner[b.base + place] = uint8_t(movedCorner);
    m_place[moved * 3 + movedCorner] = place;
    m_place[corner] = kNone;
    --m_count[v];
    if (place != last)
        SetLeaf(b, place, m_triScore[moved]);
    SetLeaf(b, last, -std::numeric_limits<float>::infinity());
}

void CVertexCacheOrderer::Run(uint32_t* order)
{
    BuildLists();
    m_vertexScore.resize(m_vc);
    for (uint32_t v = 0; v < m_vc; ++v)
        m_vertexScore[v] = VertexScore(-1, m_live[v]);
    m_triScore.resize(m_fc);
    for (uint32_t t = 0; t < m_fc; ++t) {
        const uint32_t* f = m_faces + size_t(t) * 3;
        m_triScore[t] = m_vertexScore[f[0]] + m_vertexScore[f[1]] + m_vertexScore[f[2]];
    }
    BuildBusy();
    const bool anyBusy = !m_busy.empty();
    m_emitted.assign(m_fc, 0);

    uint32_t cacheHolder[2][kCacheSize + 3];
    uint32_t* cache = cacheHolder[0];
    uint32_t* cacheNew = cacheHolder[1];
    uint32_t cacheCount = 0;
    uint32_t current = 0, inputCursor = 1, out = 0;
    while (current != kNone) {
        const uint32_t a = m_faces[current * 3], b = m_faces[current * 3 + 1], c = m_faces[current * 3 + 2];
        order[out++] = current;
        m_emitted[current] = 1;
        m_triScore[current] = 0;

        uint32_t cacheWrite = 0;
        cacheNew[cacheWrite++] = a;
        cacheNew[cacheWrite++] = b;
        cacheNew[cacheWrite++] = c;
        for (uint32_t i = 0; i < cacheCount; ++i) {
            const uint32_t index = cache[i];
            if (index != a && index != b && index != c)
                cacheNew[cacheWrite++] = index;
        }
        std::swap(cache, cacheNew);
        cacheCount = std::min(cacheWrite, kCacheSize);

        --m_live[a];
        --m_live[b];
        --m_live[c];
        for (int k = 0; k < 3; ++k)
            Remove(current, k);

        // New scores for the vertices in the cache and those just pushed out
        // of it, and with them their triangles'; the best triangle is the
        // first of the highest score in that walk.
        uint32_t best = kNone;
        float bestScore = 0;
        for (uint32_t i = 0; i < cacheWrite; ++i) {
            const uint32_t index = cache[i];
            const float score = VertexScore(i >= kCacheSize ? -1 : int(i), m_live[index]);
            const float diff = score - m_vertexScore[index];
            m_vertexScore[index] = score;
            const uint32_t* list = m_list.data() + m_offset[index];
            const uint32_t n = m_count[index];
            const uint32_t busy = m_busyOf[index];
            if (busy != kNone && diff == 0.0f) {
                // Its triangles' scores stay as they are: the tree has their
                // best, first in list order.
                if (n == 0)
                    continue;
                const SBusy& tree = m_busy[busy];
                const uint32_t place = m_node[2 * size_t(tree.base) + 1];
                const float top = m_leaf[tree.base + place];
                if (bestScore < top) {
                    best = list[place];
                    bestScore = top;
                }
                continue;
            }
            for (uint32_t j = 0; j < n; ++j) {
                const uint32_t t = list[j];
                const float triScore = m_triScore[t] + diff;
                if (bestScore < triScore) {
                    best = t;
                    bestScore = triScore;
                }
                m_triScore[t] = triScore;
                if (anyBusy && m_busyCorners[t])
                    UpdateBusyPlaces(t, busy != kNone ? index : kNone);
            }
            if (busy != kNone) {
                const SBusy& tree = m_busy[busy];
                for (uint32_t p = 0; p < n; ++p)
                    m_leaf[tree.base + p] = m_triScore[list[p]];
                Rebuild(tree);
            }
        }

        current = best;
        if (current == kNone) {
            // A dead end: the first triangle not yet emitted.
            while (inputCursor < m_fc && m_emitted[inputCursor])
                ++inputCursor;
            current = inputCursor < m_fc ? inputCursor : kNone;
        }
    }
}

} // namespace

void VertexCacheOrder(const uint32_t* faces, uint32_t faceCount, uint32_t vertexCount, uint32_t* order)
{
    if (faceCount == 0 || vertexCount == 0)
        return;
    CVertexCacheOrderer(faces, faceCount, vertexCount).Run(order);
}
