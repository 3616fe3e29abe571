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

// The optimiser's walk of a list, on its own so that the best stays in
// registers.
__attribute__((noinline)) void WalkPlain(const uint32_t* list, uint32_t n, float diff, float* triScores, uint32_t& best,
                                         float& bestScore)
{
    uint32_t localBest = best;
    float localScore = bestScore;
    for (uint32_t j = 0; j < n; ++j) {
        const uint32_t t = list[j];
        const float triScore = triScores[t] + diff;
        if (localScore < triScore) {
            localBest = t;
            localScore = triScore;
        }
        triScores[t] = triScore;
    }
    best = localBest;
    bestScore = localScore;
}

// Vertices with more triangles than this are busy: see SBusy.
constexpr uint32_t kBusyVertex = 32;
// What keeps a busy vertex's work per change of its score small: at most
// this many triangles with it at two corners, at most 1/kMostSharedPart of
// its triangles shared with other vertices of many triangles, and at most
// this many classes (past that it walks its list from its next turn on).
constexpr uint32_t kMostDoubled = 16;
constexpr uint32_t kMostSharedPart = 16;
constexpr size_t kMostClasses = 64;

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

    // A busy vertex does not walk its triangles at every step. Its corners
    // are grouped in classes of equal score. When the vertex's own score
    // changes by d, every one of its triangles gets + d: a class at a time,
    // and as float addition keeps order (x <= y gives x + d <= y + d),
    // classes keep their order and only ever become equal, then merge. A
    // tree over the places of its list holds at each node the place of the
    // highest class below it (the first place among equals): the first of
    // the best triangles, which is what the optimiser's walk of the list
    // picks. A triangle with the vertex at two corners gets + d twice and is
    // seen in between, at the first of its places; a triangle with another
    // busy corner tells that corner its new score. Vertices with many of
    // either (one edge shared by very many triangles, a fan of triangles
    // welded at the centre) or with many classes are not worth it: they walk
    // their lists as the others do.
    struct SBusy {
        uint32_t base;                 // places at m_leafClass[base...], nodes at m_node[2 * base...]
        uint32_t size;                 // a power of two
        std::vector<uint32_t> sorted;  // its classes, by score
        std::vector<uint32_t> shared;  // its triangles with another busy corner
        std::vector<uint32_t> doubled; // its triangles with it at two or three corners
    };
    struct SClass {
        float value;
        std::vector<uint32_t> members; // corners (3 x triangle + corner)
    };
    void BuildBusy();
    float ClassValue(uint32_t c) const
    {
        return c == kNone ? -std::numeric_limits<float>::infinity() : m_classes[c].value;
    }
    void SetPlace(const SBusy& b, uint32_t place, uint32_t c);
    void Rebuild(const SBusy& b);
    void BuildClasses(SBusy& b, uint32_t v);
    uint32_t NewClass(float value);
    void AddMember(uint32_t c, uint32_t corner);
    void DropMember(SBusy& b, uint32_t corner);
    uint32_t ClassWithValue(SBusy& b, float value);
    // The first of the vertex's classes whose score is not below `value`.
    std::vector<uint32_t>::iterator FirstAtLeast(SBusy& b, float value)
    {
        return std::lower_bound(b.sorted.begin(), b.sorted.end(), value,
                                [&](uint32_t x, float v) { return m_classes[x].value < v; });
    }
    void MoveToValue(uint32_t corner, float value);
    void Shift(SBusy& b, float diff);
    void Demote(uint32_t v);
    // A triangle's score: its class's where it has a busy corner.
    float Score(uint32_t t) const
    {
        if (m_busyCorners.empty() || !m_busyCorners[t])
            return m_triScore[t];
        return m_classes[m_classOf[t * 3 + uint32_t(__builtin_ctz(m_busyCorners[t]))]].value;
    }
    void SetScore(uint32_t t, float value, uint32_t except);
    // The walk of one vertex's list at a step: new scores, and the best.
    void WalkList(uint32_t index, float diff, uint32_t& best, float& bestScore);

    const uint32_t* m_faces;
    uint32_t m_fc, m_vc;
    std::vector<uint32_t> m_count, m_offset, m_list, m_live;
    std::vector<float> m_vertexScore, m_triScore;
    std::vector<uint8_t> m_emitted;
    std::vector<uint32_t> m_busyOf; // per vertex, into m_busy, or kNone
    std::vector<SBusy> m_busy;
    std::vector<uint8_t> m_busyCorners; // per triangle: bit k when corner k is busy
    // Per busy corner: its place in the list, its class, its place there.
    std::vector<uint32_t> m_place, m_classOf, m_memberPos;
    std::vector<uint8_t> m_corner; // per place of a busy list: which corner of its triangle
    std::vector<uint32_t> m_leafClass, m_node;
    std::vector<SClass> m_classes;
    std::vector<uint32_t> m_freeClasses;
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
    // Candidates first; those that share too many triangles with others, or
    // are at two corners of too many, stay plain.
    m_busyOf.assign(m_vc, kNone);
    std::vector<uint8_t> candidate(m_vc, 0);
    bool any = false;
    for (uint32_t v = 0; v < m_vc; ++v)
        any |= candidate[v] = m_count[v] > kBusyVertex;
    if (!any)
        return;
    std::vector<uint32_t> sharing(m_vc, 0), doubled(m_vc, 0);
    for (uint32_t t = 0; t < m_fc; ++t) {
        const uint32_t* f = m_faces + size_t(t) * 3;
        for (uint32_t k = 0; k < 3; ++k) {
            if (!candidate[f[k]])
                continue;
            if ((candidate[f[(k + 1) % 3]] && f[(k + 1) % 3] != f[k]) ||
                (candidate[f[(k + 2) % 3]] && f[(k + 2) % 3] != f[k]))
                ++sharing[f[k]];
            if (f[(k + 1) % 3] == f[k])
                ++doubled[f[k]];
        }
    }
    uint32_t base = 0;
    for (uint32_t v = 0; v < m_vc; ++v) {
        if (!candidate[v] || sharing[v] > m_count[v] / kMostSharedPart || doubled[v] > kMostDoubled)
            continue;
        uint32_t size = 1;
        while (size < m_count[v])
            size *= 2;
        m_busyOf[v] = uint32_t(m_busy.size());
        m_busy.push_back({base, size, {}, {}, {}});
        base += size;
    }
    if (m_busy.empty())
        return;
    m_busyCorners.assign(m_fc, 0);
    m_place.assign(size_t(m_fc) * 3, kNone);
    m_classOf.assign(size_t(m_fc) * 3, kNone);
    m_memberPos.assign(size_t(m_fc) * 3, 0);
    m_leafClass.assign(base, kNone);
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
    }
    for (uint32_t t = 0; t < m_fc; ++t) {
        const uint32_t* f = m_faces + size_t(t) * 3;
        for (uint32_t k = 0; k < 3; ++k) {
            const uint32_t busy = m_busyOf[f[k]];
            // Once per triangle and vertex: at its first corner there.
            if (busy == kNone || (k > 0 && f[0] == f[k]) || (k == 2 && f[1] == f[k]))
                continue;
            const uint32_t n1 = f[(k + 1) % 3], n2 = f[(k + 2) % 3];
            if (n1 == f[k] || n2 == f[k])
                m_busy[busy].doubled.push_back(t);
            if ((m_busyOf[n1] != kNone && n1 != f[k]) || (m_busyOf[n2] != kNone && n2 != f[k]))
                m_busy[busy].shared.push_back(t);
        }
    }
    for (uint32_t v = 0; v < m_vc; ++v) {
        if (m_busyOf[v] == kNone)
            continue;
        SBusy& b = m_busy[m_busyOf[v]];
        for (uint32_t p = 0; p < b.size; ++p)
            m_node[2 * size_t(b.base) + b.size + p] = p;
        BuildClasses(b, v);
    }
}

// The classes of v's live corners afresh, from m_triScore.
void CVertexCacheOrderer::BuildClasses(SBusy& b, uint32_t v)
{
    for (uint32_t c : b.sorted) {
        m_classes[c].members.clear();
        m_freeClasses.push_back(c);
    }
    b.sorted.clear();
    struct SScored {
        float value;
        uint32_t place;
    };
    std::vector<SScored> scored(m_count[v]);
    for (uint32_t p = 0; p < m_count[v]; ++p)
        scored[p] = {m_triScore[m_list[m_offset[v] + p]], p};
    std::sort(scored.begin(), scored.end(), [](const SScored& x, const SScored& y) { return x.value < y.value; });
    for (size_t i = 0; i < scored.size(); ++i) {
        if (i == 0 || scored[i].value != scored[i - 1].value)
            b.sorted.push_back(NewClass(scored[i].value));
        const uint32_t corner = m_list[m_offset[v] + scored[i].place] * 3 + m_corner[b.base + scored[i].place];
        AddMember(b.sorted.back(), corner);
        m_leafClass[b.base + scored[i].place] = b.sorted.back();
    }
    Rebuild(b);
}

uint32_t CVertexCacheOrderer::NewClass(float value)
{
    uint32_t c;
    if (!m_freeClasses.empty()) {
        c = m_freeClasses.back();
        m_freeClasses.pop_back();
    } else {
        c = uint32_t(m_classes.size());
        m_classes.emplace_back();
    }
    m_classes[c].value = value;
    return c;
}

void CVertexCacheOrderer::AddMember(uint32_t c, uint32_t corner)
{
    m_classOf[corner] = c;
    m_memberPos[corner] = uint32_t(m_classes[c].members.size());
    m_classes[c].members.push_back(corner);
}

// Takes the corner out of its class; a class left empty goes.
void CVertexCacheOrderer::DropMember(SBusy& b, uint32_t corner)
{
    const uint32_t c = m_classOf[corner];
    std::vector<uint32_t>& members = m_classes[c].members;
    const uint32_t pos = m_memberPos[corner];
    members[pos] = members.back();
    m_memberPos[members[pos]] = pos;
    members.pop_back();
    m_classOf[corner] = kNone;
    if (!members.empty())
        return;
    auto it = FirstAtLeast(b, m_classes[c].value);
    while (it != b.sorted.end() && *it != c)
        ++it;
    if (it != b.sorted.end())
        b.sorted.erase(it);
    m_freeClasses.push_back(c);
}

uint32_t CVertexCacheOrderer::ClassWithValue(SBusy& b, float value)
{
    const auto it = FirstAtLeast(b, value);
    if (it != b.sorted.end() && m_classes[*it].value == value)
        return *it;
    const uint32_t c = NewClass(value);
    b.sorted.insert(it, c);
    return c;
}

void CVertexCacheOrderer::SetPlace(const SBusy& b, uint32_t place, uint32_t c)
{
    const uint32_t* leaf = m_leafClass.data() + b.base;
    uint32_t* node = m_node.data() + 2 * size_t(b.base);
    m_leafClass[b.base + place] = c;
    for (uint32_t i = (b.size + place) / 2; i >= 1; i /= 2) {
        const uint32_t l = node[2 * i], r = node[2 * i + 1];
        node[i] = ClassValue(leaf[r]) > ClassValue(leaf[l]) ? r : l;
    }
}

void CVertexCacheOrderer::Rebuild(const SBusy& b)
{
    const uint32_t* leaf = m_leafClass.data() + b.base;
    uint32_t* node = m_node.data() + 2 * size_t(b.base);
    for (uint32_t i = b.size - 1; i >= 1; --i) {
        const uint32_t l = node[2 * i], r = node[2 * i + 1];
        node[i] = ClassValue(leaf[r]) > ClassValue(leaf[l]) ? r : l;
    }
}

// A busy corner's triangle has a new score.
void CVertexCacheOrderer::MoveToValue(uint32_t corner, float value)
{
    if (m_classes[m_classOf[corner]].value == value)
        return;
    SBusy& b = m_busy[m_busyOf[m_faces[corner]]];
    DropMember(b, corner);
    const uint32_t c = ClassWithValue(b, value);
    AddMember(c, corner);
    SetPlace(b, m_place[corner], c);
}

// Every triangle of the vertex gets + diff: every class does. Classes that
// become equal merge, the smaller into the larger.
void CVertexCacheOrderer::Shift(SBusy& b, float diff)
{
    for (uint32_t c : b.sorted)
        m_classes[c].value += diff;
    size_t kept = 0;
    for (size_t i = 0; i < b.sorted.size(); ++i) {
        uint32_t c = b.sorted[i];
        if (kept > 0 && m_classes[b.sorted[kept - 1]].value == m_classes[c].value) {
            uint32_t keep = b.sorted[kept - 1];
            if (m_classes[keep].members.size() < m_classes[c].members.size())
                std::swap(keep, c);
            for (uint32_t corner : m_classes[c].members) {
                m_classOf[corner] = keep;
                m_memberPos[corner] = uint32_t(m_classes[keep].members.size());
                m_classes[keep].members.push_back(corner);
                SetPlace(b, m_place[corner], keep);
            }
            m_classes[c].members.clear();
            m_freeClasses.push_back(c);
            b.sorted[kept - 1] = keep;
            continue;
        }
        b.sorted[kept++] = c;
    }
    b.sorted.resize(kept);
}

// From now on v walks its list: its triangles' scores are kept with them
// again (or at their other busy corners) and its classes go.
void CVertexCacheOrderer::Demote(uint32_t v)
{
    SBusy& b = m_busy[m_busyOf[v]];
    const uint32_t* list = m_list.data() + m_offset[v];
    for (uint32_t p = 0; p < m_count[v]; ++p) {
        const uint32_t t = list[p], corner = t * 3 + m_corner[b.base + p];
        m_triScore[t] = m_classes[m_classOf[corner]].value;
        m_busyCorners[t] &= uint8_t(~(1u << (corner % 3)));
        m_classOf[corner] = kNone;
    }
    for (uint32_t c : b.sorted) {
        m_classes[c].members.clear();
        m_freeClasses.push_back(c);
    }
    b.sorted.clear();
    b.shared.clear();
    b.doubled.clear();
    m_busyOf[v] = kNone;
}

// The triangle's score, at every busy corner but those of vertex `except`.
void CVertexCacheOrderer::SetScore(uint32_t t, float value, uint32_t except)
{
    m_triScore[t] = value;
    if (m_busyCorners.empty() || !m_busyCorners[t])
        return;
    for (uint32_t k = 0; k < 3; ++k) {
        const uint32_t corner = t * 3 + k;
        if ((m_busyCorners[t] & (1u << k)) && m_faces[corner] != except && m_classOf[corner] != kNone)
            MoveToValue(corner, value);
    }
}

void CVertexCacheOrderer::WalkList(uint32_t index, float diff, uint32_t& best, float& bestScore)
{
    const uint32_t* list = m_list.data() + m_offset[index];
    const uint32_t n = m_count[index];
    const uint32_t busy = m_busyOf[index];
    if (busy == kNone) {
        // Locals, and a loop without calls where no corner is busy: the
        // best stays in registers.
        float* triScores = m_triScore.data();
        uint32_t localBest = best;
        float localScore = bestScore;
        if (m_busyCorners.empty()) {
            WalkPlain(list, n, diff, triScores, localBest, localScore);
        } else {
            for (uint32_t j = 0; j < n; ++j) {
                const uint32_t t = list[j];
                const bool atBusy = m_busyCorners[t] != 0;
                const float triScore = (atBusy ? Score(t) : triScores[t]) + diff;
                if (localScore < triScore) {
                    localBest = t;
                    localScore = triScore;
                }
                if (atBusy)
                    SetScore(t, triScore, kNone);
                else
                    triScores[t] = triScore;
            }
        }
        best = localBest;
        bestScore = localScore;
        return;
    }
    SBusy& b = m_busy[busy];
    if (b.sorted.size() > kMostClasses) {
        Demote(index);
        WalkList(index, diff, best, bestScore);
        return;
    }
    if (diff != 0.0f) {
        Shift(b, diff);
        // A triangle there twice: + diff again at its later places.
        for (uint32_t t : b.doubled) {
            if (m_emitted[t])
                continue;
            uint32_t corners[3], count = 0;
            for (uint32_t k = 0; k < 3; ++k)
                if (m_faces[t * 3 + k] == index)
                    corners[count++] = t * 3 + k;
            for (uint32_t i = 1; i < count; ++i)
                for (uint32_t j = i; j > 0 && m_place[corners[j]] < m_place[corners[j - 1]]; --j)
                    std::swap(corners[j], corners[j - 1]);
            float value = m_classes[m_classOf[corners[0]]].value;
            for (uint32_t j = 1; j < count; ++j) {
                value += diff;
                MoveToValue(corners[j], value);
            }
        }
    }
    if (n > 0) {
        const uint32_t place = m_node[2 * size_t(b.base) + 1];
        const float top = ClassValue(m_leafClass[b.base + place]);
        if (bestScore < top) {
            best = list[place];
            bestScore = top;
        }
    }
    if (diff == 0.0f)
        return;
    // After the walk: a triangle there twice has its last score at every
    // place; other busy corners learn the new scores.
    for (uint32_t t : b.doubled) {
        if (m_emitted[t])
            continue;
        uint32_t last = kNone;
        for (uint32_t k = 0; k < 3; ++k) {
            const uint32_t corner = t * 3 + k;
            if (m_faces[corner] == index && (last == kNone || m_place[corner] > m_place[last]))
                last = corner;
        }
        SetScore(t, m_classes[m_classOf[last]].value, kNone);
    }
    for (uint32_t t : b.shared) {
        if (m_emitted[t])
            continue;
        const uint32_t* f = m_faces + size_t(t) * 3;
        const uint32_t k = f[0] == index ? 0 : f[1] == index ? 1 : 2;
        SetScore(t, m_classes[m_classOf[t * 3 + k]].value, index);
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
    SBusy& b = m_busy[busy];
    const uint32_t place = m_place[corner];
    const uint32_t moved = list[last] * 3 + m_corner[b.base + last];
    list[place] = list[last];
    m_corner[b.base + place] = m_corner[b.base + last];
    m_place[moved] = place;
    m_place[corner] = kNone;
    --m_count[v];
    DropMember(b, corner);
    if (place != last)
        SetPlace(b, place, m_classOf[moved]);
    SetPlace(b, last, kNone);
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
            WalkList(index, diff, best, bestScore);
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
