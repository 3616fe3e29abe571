#include "process/GeometrySort.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <vector>

namespace {

constexpr uint32_t kNoIndex = ~0u;

// Triangles and vertices taken together: a block, or one candidate addition
// to a block.
struct SBlock {
    std::vector<uint32_t> verts; // in the order they joined
    std::vector<uint32_t> tris;  // in the order they joined
    int score = 0;               // closing score
};

struct SAddition {
    uint32_t newVerts[3];
    uint32_t newVertCount = 0;
    uint32_t triStart = 0; // in the round's pool
    uint32_t triCount = 0;
    int score = 0;
    bool rejected = false;
};

// Triangles per new vertex; no new vertex counts as infinite.
bool RatioBetter(uint32_t trisA, uint32_t vertsA, int scoreA, uint32_t trisB, uint32_t vertsB, int scoreB)
{
    const bool infA = vertsA == 0, infB = vertsB == 0;
    const float ratioA = infA ? 0.0f : float(trisA) / float(vertsA);
    const float ratioB = infB ? 0.0f : float(trisB) / float(vertsB);
    const bool close = (infA && infB) || (!infA && !infB && std::fabs(ratioA - ratioB) <= 0.1f);
    if (close) {
        if (scoreA != scoreB)
            return scoreA > scoreB;
        return trisA > trisB;
    }
    if (infA != infB)
        return infA;
    return ratioA > ratioB;
}

// A group of connected vertices still to be emitted. Big groups keep their
// vertex array and mark the vertices split off them.
struct SGroup {
    std::vector<uint32_t> verts;
    std::vector<uint8_t> removed; // big groups only
    uint32_t live = 0;            // vertices not removed
    uint32_t firstRemaining = 0;  // big groups: no earlier live vertex has triangles left
    std::set<uint32_t> seeds;     // big groups: positions of vertices with one triangle left
};

class CGeometrySorter {
public:
    CGeometrySorter(const uint32_t* faces, uint32_t vertexCount, uint32_t faceCount, uint32_t maxV, uint32_t maxT)
        : m_faces(faces), m_vc(vertexCount), m_fc(faceCount), m_maxV(maxV), m_maxT(maxT)
    {
    }

    // The new face order (triangle numbers).
    std::vector<uint32_t> Run();

private:
    // --- connectivity
    void BuildConnectivity();
    const uint32_t* Tri(uint32_t t) const { return m_faces + size_t(t) * 3; }

    // --- groups
    void BuildGroups();
    void AddGroup(std::vector<uint32_t> verts);
    void PutSmall(uint32_t g);
    void SplitOff(uint32_t g, const SBlock& block);
    uint32_t FirstRemaining(SGroup& group);

    // --- blocks
    void NewBlock();
    bool InBlock(uint32_t v) const { return m_vMark[v] == m_blockStamp; }
    bool TriInBlock(uint32_t t) const { return m_tMark[t] == m_blockStamp; }
    void JoinVertex(SBlock& b, uint32_t v);
    void JoinTriangle(SBlock& b, uint32_t t);
    void Grow(SBlock& b);
    void Evaluate(const SBlock& b, uint32_t t, SAddition& a);
    int ClosingScore(const uint32_t* tris, uint32_t count);
    bool Full(const SBlock& b) const { return m_maxV - uint32_t(b.verts.size()) < 3 || b.tris.size() >= m_maxT; }
    bool BlockBetter(const SBlock& a, const SBlock& b) const
    {
        return RatioBetter(uint32_t(a.tris.size()), uint32_t(a.verts.size()), a.score, uint32_t(b.tris.size()),
                           uint32_t(b.verts.size()), b.score);
    }
    void Emit(const SBlock& b);
    void Read(uint32_t v)
    {
        if (m_recording && m_readMark[v] != m_readStamp) {
            m_readMark[v] = m_readStamp;
            m_readSet.push_back(v);
        }
    }

    // --- blocks grown from a vertex of a big group, kept until an emission
    // touches a vertex they looked at
    struct SCached {
        SBlock block;
        uint32_t version = 0;
        bool valid = false;
    };
    const SBlock& SeededBlock(uint32_t seed);
    const SBlock& CachedBlock(uint32_t seed) const { return m_cache[size_t(m_cacheIndex[seed])].block; }
    void Invalidate(uint32_t v);

    bool BigGroupRound(SBlock* out);
    uint32_t SmallGroupRound(SBlock& b);
    void Regroup(uint32_t g);
    void RemainingChanged(uint32_t v);

    const uint32_t* m_faces;
    uint32_t m_vc, m_fc, m_maxV, m_maxT;
    std::vector<uint32_t> m_triStart, m_triList; // per vertex, its triangles in order
    std::vector<uint32_t> m_remaining;           // triangles not yet emitted, per vertex
    std::vector<uint8_t> m_emitted;
    std::vector<uint32_t> m_order;

    std::vector<SGroup> m_groups;
    std::vector<std::vector<uint32_t>> m_buckets; // small groups by size - 3
    std::vector<uint32_t> m_big;                  // big groups, most recent last
    std::vector<uint32_t> m_groupOf, m_posInGroup; // vertices of big groups

    std::vector<uint32_t> m_vMark, m_tMark;
    uint32_t m_blockStamp = 0;
    std::vector<uint32_t> m_candMark, m_addMark, m_countMark, m_count;
    uint32_t m_candStamp = 0, m_addStamp = 0, m_countStamp = 0;
    std::vector<uint32_t> m_evalMark, m_evalIndex;
    uint32_t m_evalStamp = 0;
    std::vector<SAddition> m_additions;
    std::vector<uint32_t> m_pool, m_touched;

    bool m_recording = false;
    std::vector<uint32_t> m_readMark, m_readSet;
    uint32_t m_readStamp = 0;
    std::vector<int32_t> m_cacheIndex;
    std::vector<SCached> m_cache;
    std::vector<std::vector<std::pair<uint32_t, uint32_t>>> m_watchers; // per vertex: (seed, version)
};

void CGeometrySorter::BuildConnectivity()
{
    m_triStart.assign(size_t(m_vc) + 1, 0);
    for (uint32_t t = 0; t < m_fc; ++t) {
        const uint32_t* f = Tri(t);
        ++m_triStart[f[0] + 1];
        if (f[1] != f[0])
            ++m_triStart[f[1] + 1];
        if (f[2] != f[0] && f[2] != f[1])
            ++m_triStart[f[2] + 1];
    }
    for (uint32_t v = 0; v < m_vc; ++v)
        m_triStart[v + 1] += m_triStart[v];
    m_triList.resize(m_triStart[m_vc]);
    std::vector<uint32_t> fill(m_triStart.begin(), m_triStart.end() - 1);
    for (uint32_t t = 0; t < m_fc; ++t) {
        const uint32_t* f = Tri(t);
        m_triList[fill[f[0]]++] = t;
        if (f[1] != f[0])
            m_triList[fill[f[1]]++] = t;
        if (f[2] != f[0] && f[2] != f[1])
            m_triList[fill[f[2]]++] = t;
    }
    m_remaining.resize(m_vc);
    for (uint32_t v = 0; v < m_vc; ++v)
        m_remaining[v] = m_triStart[v + 1] - m_triStart[v];
    m_emitted.assign(m_fc, 0);
}

void CGeometrySorter::AddGroup(std::vector<uint32_t> verts)
{
    if (verts.size() < 3)
        return;
    const uint32_t g = uint32_t(m_groups.size());
    m_groups.emplace_back();
    SGroup& group = m_groups.back();
    group.verts = std::move(verts);
    group.live = uint32_t(group.verts.size());
    if (group.live < m_maxV) {
        m_buckets[group.live - 3].push_back(g);
        return;
    }
    group.removed.assign(group.verts.size(), 0);
    for (uint32_t i = 0; i < group.live; ++i) {
        const uint32_t v = group.verts[i];
        m_groupOf[v] = g;
        m_posInGroup[v] = i;
        if (m_remaining[v] == 1)
            group.seeds.insert(i);
    }
    m_big.push_back(g);
}

void CGeometrySorter::BuildGroups()
{
    m_buckets.assign(m_maxV > 4 ? m_maxV - 3 : 1, {});
    m_groupOf.assign(m_vc, kNoIndex);
    m_posInGroup.assign(m_vc, 0);
    std::vector<uint8_t> grouped(m_vc, 0);
    for (uint32_t start = 0; start < m_vc; ++start) {
        if (grouped[start])
            continue;
        // Breadth first: a vertex, then the vertices of its triangles in
        // list order.
        std::vector<uint32_t> verts{start};
        grouped[start] = 1;
        for (size_t i = 0; i < verts.size(); ++i) {
            const uint32_t v = verts[i];
            for (uint32_t j = m_triStart[v]; j < m_triStart[v + 1]; ++j) {
                const uint32_t* f = Tri(m_triList[j]);
                for (int k = 0; k < 3; ++k)
                    if (!grouped[f[k]]) {
                        grouped[f[k]] = 1;
                        verts.push_back(f[k]);
                    }
            }
        }
        AddGroup(std::move(verts));
    }
}

void CGeometrySorter::PutSmall(uint32_t g)
{
    SGroup& group = m_groups[g];
    std::vector<uint32_t> live;
    live.reserve(group.live);
    for (size_t i = 0; i < group.verts.size(); ++i)
        if (!group.removed[i]) {
            live.push_back(group.verts[i]);
            m_groupOf[group.verts[i]] = kNoIndex;
        }
    group.verts.swap(live);
    group.removed.clear();
    group.seeds.clear();
    if (group.verts.size() >= 3)
        m_buckets[group.verts.size() - 3].push_back(g);
}

// A block from a big group that stopped short of full holds all that is
// connected to it: it becomes a small group of its own.
void CGeometrySorter::SplitOff(uint32_t g, const SBlock& block)
{
    SGroup& group = m_groups[g];
    for (uint32_t v : block.verts) {
        if (m_groupOf[v] != g)
            continue;
        const uint32_t pos = m_posInGroup[v];
        group.removed[pos] = 1;
        group.seeds.erase(pos);
        m_groupOf[v] = kNoIndex;
        --group.live;
    }
    AddGroup(block.verts);
    if (m_groups[g].live < m_maxV) {
        m_big.erase(std::find(m_big.begin(), m_big.end(), g));
        PutSmall(g);
    }
}

uint32_t CGeometrySorter::FirstRemaining(SGroup& group)
{
    while (group.firstRemaining < group.verts.size() &&
           (group.removed[group.firstRemaining] || m_remaining[group.verts[group.firstRemaining]] == 0))
        ++group.firstRemaining;
    return group.firstRemaining < group.verts.size() ? group.verts[group.firstRemaining] : kNoIndex;
}

void CGeometrySorter::NewBlock()
{
    if (++m_blockStamp == 0) {
        std::fill(m_vMark.begin(), m_vMark.end(), 0);
        std::fill(m_tMark.begin(), m_tMark.end(), 0);
        m_blockStamp = 1;
    }
}

void CGeometrySorter::JoinVertex(SBlock& b, uint32_t v)
{
    if (InBlock(v))
        return;
    m_vMark[v] = m_blockStamp;
    b.verts.push_back(v);
}

void CGeometrySorter::JoinTriangle(SBlock& b, uint32_t t)
{
    m_tMark[t] = m_blockStamp;
    b.tris.push_back(t);
}

// Vertices touched by the triangles: +1 for each whose only remaining
// triangle is among them, -1 for each left with exactly one other.
int CGeometrySorter::ClosingScore(const uint32_t* tris, uint32_t count)
{
    if (++m_countStamp == 0) {
        std::fill(m_countMark.begin(), m_countMark.end(), 0);
        m_countStamp = 1;
    }
    m_touched.clear();
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t* f = Tri(tris[i]);
        for (int k = 0; k < 3; ++k) {
            const uint32_t v = f[k];
            if (k > 0 && (v == f[0] || (k == 2 && v == f[1])))
                continue;
            if (m_countMark[v] != m_countStamp) {
                m_countMark[v] = m_countStamp;
                m_count[v] = 0;
                m_touched.push_back(v);
            }
            ++m_count[v];
        }
    }
    int score = 0;
    for (uint32_t v : m_touched) {
        Read(v);
        const uint32_t rem = m_remaining[v];
        if (rem == 1)
            ++score;
        else if (rem - m_count[v] == 1)
            --score;
    }
    return score;
}

void CGeometrySorter::Evaluate(const SBlock& b, uint32_t t, SAddition& a)
{
    const uint32_t* c = Tri(t);
    a.newVertCount = 0;
    for (int k = 0; k < 3; ++k) {
        const uint32_t v = c[k];
        bool seen = InBlock(v);
        for (uint32_t i = 0; i < a.newVertCount && !seen; ++i)
            seen = a.newVerts[i] == v;
        if (!seen)
            a.newVerts[a.newVertCount++] = v;
    }
    if (b.verts.size() + a.newVertCount > m_maxV) {
        a.rejected = true;
        return;
    }
    if (++m_candStamp == 0) {
        std::fill(m_candMark.begin(), m_candMark.end(), 0);
        m_candStamp = 1;
    }
    if (++m_addStamp == 0) {
        std::fill(m_addMark.begin(), m_addMark.end(), 0);
        m_addStamp = 1;
    }
    for (int k = 0; k < 3; ++k)
        m_candMark[c[k]] = m_candStamp;
    a.triStart = uint32_t(m_pool.size());
    const size_t room = m_maxT - b.tris.size();
    size_t taken = 0;
    for (int k = 0; k < 3 && taken < room; ++k) {
        const uint32_t v = c[k];
        if ((k > 0 && v == c[0]) || (k == 2 && v == c[1]))
            continue; // that list has been walked
        Read(v);
        for (uint32_t j = m_triStart[v]; j < m_triStart[v + 1] && taken < room; ++j) {
            const uint32_t u = m_triList[j];
            if (m_emitted[u] || TriInBlock(u) || m_addMark[u] == m_addStamp)
                continue;
            const uint32_t* f = Tri(u);
            bool inside = true;
            for (int i = 0; i < 3 && inside; ++i)
                inside = InBlock(f[i]) || m_candMark[f[i]] == m_candStamp;
            if (!inside)
                continue;
            m_addMark[u] = m_addStamp;
            m_pool.push_back(u);
            ++taken;
        }
    }
    a.triCount = uint32_t(taken);
    a.score = ClosingScore(m_pool.data() + a.triStart, a.triCount);
    a.rejected = false;
}

void CGeometrySorter::Grow(SBlock& b)
{
    while (b.tris.size() < m_maxT) {
        if (++m_evalStamp == 0) {
            std::fill(m_evalMark.begin(), m_evalMark.end(), 0);
            m_evalStamp = 1;
        }
        m_additions.clear();
        m_pool.clear();
        int best = -1;
        const size_t vertCount = b.verts.size();
        for (size_t i = 0; i < vertCount; ++i) {
            const uint32_t v = b.verts[i];
            Read(v);
            if (m_remaining[v] == 0)
                continue;
            for (uint32_t j = m_triStart[v]; j < m_triStart[v + 1]; ++j) {
                const uint32_t t = m_triList[j];
                if (m_emitted[t] || TriInBlock(t))
                    continue;
                // A triangle met again in this round adds the same again.
                if (m_evalMark[t] != m_evalStamp) {
                    m_evalMark[t] = m_evalStamp;
                    m_evalIndex[t] = uint32_t(m_additions.size());
                    m_additions.emplace_back();
                    Evaluate(b, t, m_additions.back());
                }
                const uint32_t idx = m_evalIndex[t];
                const SAddition& a = m_additions[idx];
                if (a.rejected)
                    continue;
                if (best < 0) {
                    best = int(idx);
                } else {
                    const SAddition& o = m_additions[size_t(best)];
                    if (RatioBetter(a.triCount, a.newVertCount, a.score, o.triCount, o.newVertCount, o.score))
                        best = int(idx);
                }
            }
        }
        if (best < 0)
            break;
        const SAddition& a = m_additions[size_t(best)];
        for (uint32_t i = 0; i < a.newVertCount; ++i)
            JoinVertex(b, a.newVerts[i]);
        for (uint32_t i = 0; i < a.triCount; ++i)
            JoinTriangle(b, m_pool[a.triStart + i]);
    }
}

void CGeometrySorter::Invalidate(uint32_t v)
{
    for (const auto& w : m_watchers[v]) {
        const int32_t c = m_cacheIndex[w.first];
        if (c >= 0 && m_cache[size_t(c)].version == w.second)
            m_cache[size_t(c)].valid = false;
    }
    m_watchers[v].clear();
}

const SBlock& CGeometrySorter::SeededBlock(uint32_t seed)
{
    int32_t c = m_cacheIndex[seed];
    if (c < 0) {
        c = int32_t(m_cache.size());
        m_cacheIndex[seed] = c;
        m_cache.emplace_back();
    }
    if (m_cache[size_t(c)].valid)
        return m_cache[size_t(c)].block;

    if (++m_readStamp == 0) {
        std::fill(m_readMark.begin(), m_readMark.end(), 0);
        m_readStamp = 1;
    }
    m_readSet.clear();
    m_recording = true;
    NewBlock();
    SBlock b;
    Read(seed);
    JoinVertex(b, seed);
    Grow(b);
    b.score = ClosingScore(b.tris.data(), uint32_t(b.tris.size()));
    m_recording = false;

    SCached& cached = m_cache[size_t(c)];
    cached.block = std::move(b);
    ++cached.version;
    cached.valid = true;
    for (uint32_t v : m_readSet)
        m_watchers[v].emplace_back(seed, cached.version);
    return cached.block;
}

void CGeometrySorter::RemainingChanged(uint32_t v)
{
    const uint32_t g = m_groupOf[v];
    if (g == kNoIndex)
        return;
    SGroup& group = m_groups[g];
    if (m_remaining[v] == 1)
        group.seeds.insert(m_posInGroup[v]);
    else
        group.seeds.erase(m_posInGroup[v]);
}

void CGeometrySorter::Emit(const SBlock& b)
{
    for (uint32_t t : b.tris) {
        m_order.push_back(t);
        m_emitted[t] = 1;
    }
    for (uint32_t t : b.tris) {
        const uint32_t* f = Tri(t);
        for (int k = 0; k < 3; ++k) {
            const uint32_t v = f[k];
            if ((k > 0 && v == f[0]) || (k == 2 && v == f[1]))
                continue;
            --m_remaining[v];
            RemainingChanged(v);
            Invalidate(v);
        }
    }
}

// Emits the best full block of the most recent big group; false when no big
// group is left.
bool CGeometrySorter::BigGroupRound(SBlock* out)
{
    while (!m_big.empty()) {
        const uint32_t g = m_big.back();
        // Seeds by cache entry: growing another seed may move the entries.
        uint32_t best = kNoIndex;
        bool restart = false;
        // Copy: a split below changes the set.
        std::vector<uint32_t> seeds(m_groups[g].seeds.begin(), m_groups[g].seeds.end());
        for (uint32_t pos : seeds) {
            const uint32_t seed = m_groups[g].verts[pos];
            const SBlock& b = SeededBlock(seed);
            if (!Full(b)) {
                SplitOff(g, b);
                restart = true;
                break;
            }
            if (best == kNoIndex || BlockBetter(b, CachedBlock(best)))
                best = seed;
        }
        if (restart)
            continue;
        if (best == kNoIndex) {
            const uint32_t v = FirstRemaining(m_groups[g]);
            if (v != kNoIndex) {
                const SBlock& b = SeededBlock(v);
                if (!Full(b)) {
                    SplitOff(g, b);
                    continue;
                }
                best = v;
            }
        }
        if (best == kNoIndex) {
            m_big.pop_back();
            continue;
        }
        *out = CachedBlock(best);
        return true;
    }
    return false;
}

// Fills a block with whole small groups, the largest that fit first, then
// grows it into the largest group that did not fit. Returns that group
// (to be regrouped once the block is emitted), or kNoIndex.
uint32_t CGeometrySorter::SmallGroupRound(SBlock& b)
{
    NewBlock();
    for (;;) {
        const uint32_t free = m_maxV - uint32_t(b.verts.size());
        if (free < 3)
            break;
        int bucket = -1;
        for (int i = int(std::min<size_t>(free - 3, m_buckets.size() - 1)); i >= 0; --i)
            if (!m_buckets[size_t(i)].empty()) {
                bucket = i;
                break;
            }
        if (bucket < 0)
            break;
        const uint32_t g = m_buckets[size_t(bucket)].back();
        m_buckets[size_t(bucket)].pop_back();
        for (uint32_t v : m_groups[g].verts)
            JoinVertex(b, v);
        for (uint32_t v : m_groups[g].verts)
            for (uint32_t j = m_triStart[v]; j < m_triStart[v + 1]; ++j) {
                const uint32_t t = m_triList[j];
                if (!m_emitted[t] && !TriInBlock(t))
                    JoinTriangle(b, t);
            }
    }
    if (Full(b))
        return kNoIndex;
    for (size_t i = m_buckets.size(); i-- > 1;) {
        if (m_buckets[i].empty())
            continue;
        const uint32_t g = m_buckets[i].back();
        m_buckets[i].pop_back();
        JoinVertex(b, m_groups[g].verts[0]);
        Grow(b);
        return g;
    }
    return kNoIndex;
}

// The vertices of a partly emitted group that still have triangles form a
// group again.
void CGeometrySorter::Regroup(uint32_t g)
{
    std::vector<uint32_t> left;
    for (uint32_t v : m_groups[g].verts)
        if (m_remaining[v] != 0)
            left.push_back(v);
    m_groups[g].verts.swap(left);
    if (m_groups[g].verts.size() >= 3)
        m_buckets[m_groups[g].verts.size() - 3].push_back(g);
}

std::vector<uint32_t> CGeometrySorter::Run()
{
    BuildConnectivity();
    m_vMark.assign(m_vc, 0);
    m_tMark.assign(m_fc, 0);
    m_candMark.assign(m_vc, 0);
    m_addMark.assign(m_fc, 0);
    m_countMark.assign(m_vc, 0);
    m_count.assign(m_vc, 0);
    m_evalMark.assign(m_fc, 0);
    m_evalIndex.assign(m_fc, 0);
    m_readMark.assign(m_vc, 0);
    m_cacheIndex.assign(m_vc, -1);
    m_watchers.assign(m_vc, {});
    BuildGroups();
    m_order.reserve(m_fc);

    while (m_order.size() < m_fc) {
        SBlock b;
        if (BigGroupRound(&b)) {
            Emit(b);
            continue;
        }
        const uint32_t partial = SmallGroupRound(b);
        if (b.tris.empty() && b.verts.empty())
            break; // nothing left that a block can take
        Emit(b);
        if (partial != kNoIndex)
            Regroup(partial);
    }
    // Triangles of pieces too small to form a group.
    if (m_order.size() < m_fc)
        for (uint32_t t = 0; t < m_fc; ++t)
            if (!m_emitted[t])
                m_order.push_back(t);
    return m_order;
}

} // namespace

void GeometrySort(uint8_t* vertices, uint32_t* faces, uint32_t stride, uint32_t vertexCount, uint32_t faceCount,
                  uint32_t maxVertices, uint32_t maxTriangles, uint32_t flags)
{
    if (faceCount == 0 || maxVertices < 3 || maxTriangles == 0)
        return;
    const size_t indexCount = size_t(faceCount) * 3;
    for (size_t i = 0; i < indexCount; ++i)
        if (faces[i] >= vertexCount)
            return;

    if (flags & kGeometrySortTriangles) {
        CGeometrySorter sorter(faces, vertexCount, faceCount, maxVertices, maxTriangles);
        const std::vector<uint32_t> order = sorter.Run();
        std::vector<uint32_t> sorted(indexCount);
        for (size_t i = 0; i < order.size(); ++i)
            std::memcpy(&sorted[i * 3], faces + size_t(order[i]) * 3, 3 * sizeof(uint32_t));
        std::memcpy(faces, sorted.data(), indexCount * sizeof(uint32_t));
    }

    if (!(flags & kGeometrySortKeepVertices) && vertices && stride) {
        // Vertices in order of first use, unused ones after them.
        std::vector<uint32_t> newIndex(vertexCount, kNoIndex);
        std::vector<uint32_t> oldIndex;
        oldIndex.reserve(vertexCount);
        for (size_t i = 0; i < indexCount; ++i)
            if (newIndex[faces[i]] == kNoIndex) {
                newIndex[faces[i]] = uint32_t(oldIndex.size());
                oldIndex.push_back(faces[i]);
            }
        for (uint32_t v = 0; v < vertexCount; ++v)
            if (newIndex[v] == kNoIndex) {
                newIndex[v] = uint32_t(oldIndex.size());
                oldIndex.push_back(v);
            }
        std::vector<uint8_t> reordered(size_t(vertexCount) * stride);
        for (uint32_t v = 0; v < vertexCount; ++v)
            std::memcpy(&reordered[size_t(v) * stride], vertices + size_t(oldIndex[v]) * stride, stride);
        std::memcpy(vertices, reordered.data(), reordered.size());
        for (size_t i = 0; i < indexCount; ++i)
            faces[i] = newIndex[faces[i]];
    }
}
