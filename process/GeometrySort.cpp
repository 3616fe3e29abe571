#include "process/GeometrySort.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "process/WorkBudget.h"
#include "process/IndexList.h"
#include "process/VertexCacheOrder.h"

namespace {

constexpr uint32_t kNoIndex = ~0u;

// Steps of work a mesh of n triangles may take: kWorkPerTriangle per
// triangle and halving of n. Ordinary meshes take up to about 6 (grids and
// fans of 100,000 and 1,000,000 triangles; every mesh of the corpus stays
// under the floor below, the largest at 1.5 million steps), a random soup of
// 10,000 triangles 330. On top, 8 million steps for any mesh (a few tens of
// milliseconds): small meshes of any shape, soups of a thousand triangles
// too, are sorted exactly. 12 keeps twice the room big grids need and brings
// a soup of 100,000 triangles under a second.
constexpr uint64_t kWorkPerTriangle = 12;
constexpr uint64_t kWorkFloor = 8000000;

// Vertices with more triangles than this (the centre of a fan, say) get
// their triangles looked up through their neighbours' lists where that is
// shorter, and only what they share with a joining vertex ages the additions
// at them.
constexpr uint32_t kBusyVertex = 48;

// How good a block or an addition to a block is: triangles per (new)
// vertex, none counting as infinite; within 0.1 of each other the closing
// score decides, then the triangle count.
struct SMerit {
    float ratio = 0.0f;
    bool infinite = false;
    int score = 0;
    uint32_t tris = 0;

    void Set(uint32_t triCount, uint32_t vertCount, int closingScore)
    {
        infinite = vertCount == 0;
        ratio = infinite ? 0.0f : float(triCount) / float(vertCount);
        score = closingScore;
        tris = triCount;
    }
    bool Better(const SMerit& o) const
    {
        const bool close = (infinite && o.infinite) || (!infinite && !o.infinite && std::fabs(ratio - o.ratio) <= 0.1f);
        if (close) {
            if (score != o.score)
                return score > o.score;
            return tris > o.tris;
        }
        if (infinite != o.infinite)
            return infinite;
        return ratio > o.ratio;
    }
};

// Triangles and vertices taken together.
struct SBlock {
    std::vector<uint32_t> verts; // in the order they joined
    std::vector<uint32_t> tris;  // in the order they joined
    SMerit merit;
};

struct SAddition {
    uint32_t newVerts[3];
    uint32_t newVertCount = 0;
    uint32_t triStart = 0; // in the growth's pool
    uint32_t triCount = 0;
    uint32_t room = 0; // triangles the block could still take then
    SMerit merit;
    bool rejected = false;
    // The counts its score read (in the growth's list of score reads), and
    // whether they are recorded as read by the block.
    uint32_t readStart = 0, readCount = 0;
    bool readsKept = false;
};

// A group of connected vertices still to be emitted. Big groups keep their
// vertex array and mark the vertices split off them.
struct SGroup {
    std::vector<uint32_t> verts;
    std::vector<uint8_t> removed; // big groups only
    uint32_t live = 0;            // vertices not removed
    uint32_t firstRemaining = 0;  // big groups: no earlier live vertex has triangles left
    // Big groups: the vertices with one triangle left, in order of position
    // (seldom more than a few thousand, so a sorted array serves), each with
    // its block's cache entry once it has one (most vertices are seeds only
    // while their block is emitted).
    struct SSeed {
        uint32_t pos, entry;
    };
    std::vector<SSeed> seeds;

    std::vector<SSeed>::iterator FindSeed(uint32_t pos)
    {
        return std::lower_bound(seeds.begin(), seeds.end(), pos, [](const SSeed& s, uint32_t p) { return s.pos < p; });
    }
    void AddSeed(uint32_t pos, uint32_t entry)
    {
        const auto it = FindSeed(pos);
        if (it == seeds.end() || it->pos != pos)
            seeds.insert(it, {pos, entry});
    }
    void RemoveSeed(uint32_t pos)
    {
        const auto it = FindSeed(pos);
        if (it != seeds.end() && it->pos == pos)
            seeds.erase(it);
    }
};

class CGeometrySorter {
public:
    CGeometrySorter(const uint32_t* faces, uint32_t vertexCount, uint32_t faceCount, uint32_t maxV, uint32_t maxT)
        : m_faces(faces), m_vc(vertexCount), m_fc(faceCount), m_maxV(maxV), m_maxT(maxT)
    {
    }

    // The new face order (triangle numbers).
    std::vector<uint32_t> Run();
    // Triangles placed by the blocks before the work budget ran out (all
    // of them when it did not).
    uint32_t ExactTriangles() const { return m_exact; }

private:
    // --- connectivity
    void BuildConnectivity();
    const uint32_t* Tri(uint32_t t) const { return m_tri[t].v; }

    // --- groups
    void BuildGroups();
    void AddGroup(std::vector<uint32_t> verts);
    void PutSmall(uint32_t g);
    void SplitOff(uint32_t g, const SBlock& block);
    uint32_t FirstRemaining(SGroup& group);

    // --- blocks
    // Vertices and triangles carry a tag: the block's while in the block
    // being grown, an evaluation's while in its addition, kEmitted once
    // emitted (triangles). Tags only grow, so old ones never match.
    void NewBlock();
    uint32_t NextTag() { return ++m_tag; }
    bool InBlock(uint32_t v) const { return m_vert[v].tag == m_blockTag; }
    bool TriInBlock(uint32_t t) const { return m_tri[t].tag == m_blockTag; }
    bool Emitted(uint32_t t) const { return m_tri[t].tag == kEmitted; }
    void JoinVertex(SBlock& b, uint32_t v);
    void JoinTriangle(SBlock& b, uint32_t t);
    void TagVertex(uint32_t v);   // as the block's, without adding it
    void TagTriangle(uint32_t t); // as the block's, without adding it
    void Grow(SBlock& b);
    void KeepScoreReads(uint32_t best);
    void Evaluate(const SBlock& b, uint32_t t, SAddition& a);
    void BuildBusyLists();
    void NearbyCandidates(const SBlock& b, uint32_t h);
    bool Busy(uint32_t v) const { return m_vert[v].degree > kBusyVertex; }
    const uint32_t* TrianglesInside(const SBlock& b, const SAddition& a, uint32_t v, uint32_t tag,
                                    const uint32_t** end);
    int ClosingScore(const uint32_t* tris, uint32_t count, SAddition* addition = nullptr);
    bool Full(const SBlock& b) const { return m_maxV - uint32_t(b.verts.size()) < 3 || b.tris.size() >= m_maxT; }
    void Emit(const SBlock& b);
    // What a seeded block depends on, recorded while it grows: a vertex
    // count down to which the closing scores it took stay the same, and
    // triangles whose emission would change an addition or the block.
    void ReadCount(uint32_t v, uint32_t count);
    void ReadTriangle(uint32_t t)
    {
        if (m_recording && m_tri[t].readMark != m_readStamp) {
            m_tri[t].readMark = m_readStamp;
            m_readTris.push_back(t);
            m_tri[t].readStep = m_step;
        }
    }

    // --- blocks grown from a vertex of a big group, kept until an emission
    // changes what they read
    // A growth is a run of steps, each joining one addition; what a step
    // read can only change that step and those after it, so a block is grown
    // again from its first step that read something that changed. Step
    // `steps` is the last look for an addition and the block's own score.
    struct SCached {
        // Per step: the block's vertices and triangles after it, and the
        // growth that took it.
        struct SStep {
            uint32_t verts, tris, version;
        };
        std::vector<SStep> steps;
        SBlock block;
    };
    // What the pick among seeds and the watchers read of an entry, apart and
    // small: every round looks at every seed of the group.
    struct SSeedState {
        SMerit merit;
        uint32_t version = 0;    // of its latest growth
        uint32_t first = 0;      // the first step the latest growth took
        uint32_t validSteps = 0; // steps still as they were; all of them (steps + 1) when valid
        bool valid = false;      // all steps as they were
        bool full = false;
    };
    uint32_t Entry(uint32_t seed);
    const SBlock& SeededBlock(uint32_t seed);
    const SBlock& CachedBlock(uint32_t seed) const { return m_cache[m_cacheIndex[seed]].block; }
    struct SWatch {
        uint32_t entry, version, step, limit; // entry: in m_cache
    };
    void CountChanged(uint32_t v);
    void Watch(uint32_t v, const SWatch& w);
    void WatchTriangle(uint32_t t, const SWatch& w);
    void TriangleEmitted(uint32_t t);
    bool Current(const SWatch& w) const
    {
        // The latest growth took every step from `first` on, and watches
        // only those.
        const SSeedState& state = m_state[w.entry];
        if (w.step >= state.validSteps)
            return false;
        if (w.version == state.version)
            return true;
        return w.step < state.first && m_cache[w.entry].steps[w.step].version == w.version;
    }
    void Fire(const SWatch& w)
    {
        if (Current(w)) {
            m_state[w.entry].validSteps = w.step;
            m_state[w.entry].valid = false;
        }
    }

    // Work is counted in steps (list entries and candidates looked at,
    // watchers walked, seeds picked among); a mesh may take a number
    // proportional to n log n. Once it is spent the triangles not yet
    // emitted follow in vertex-cache order: the output then stays the same
    // on every machine, and no mesh makes the sort super-linear.
    bool OverBudget() const { return m_work > m_budget; }
    void FinishInCacheOrder();

    uint32_t BigGroupRound();
    uint32_t SmallGroupRound(SBlock& b);
    void Regroup(uint32_t g);
    void RemainingChanged(uint32_t v);

    const uint32_t* m_faces;
    uint32_t m_vc, m_fc, m_maxV, m_maxT;
    std::vector<uint32_t> m_triList; // per vertex, its triangles in order
    // Beside each entry of m_triList, the triangle's corners but one of the
    // vertex's own: whether a triangle lies inside a block is told without
    // reading the triangle.
    struct SOthers {
        uint32_t v[2];
    };
    std::vector<SOthers> m_others;
    std::vector<uint32_t> m_order;

    std::vector<SGroup> m_groups;
    std::vector<std::vector<uint32_t>> m_buckets;  // small groups by size - 3
    std::vector<uint32_t> m_big;                   // big groups, most recent last
    std::vector<uint32_t> m_groupOf, m_posInGroup; // vertices of big groups

    static constexpr uint32_t kEmitted = ~0u;
    uint32_t m_tag = 0, m_blockTag = 0;
    // What growth reads of a vertex and of a triangle, each in one record:
    // the reads are scattered over the whole mesh, so one cache line each.
    struct SVertex {
        // Its triangles in m_triList, in order; emitted ones are dropped
        // from time to time (those that are left stay in order).
        uint32_t triStart, triEnd;
        uint32_t degree;    // triangles, emitted or not
        uint32_t remaining; // triangles not yet emitted
        uint32_t open;      // in the block: its triangles neither emitted nor in the block
        uint32_t tag;
        // The tag of the last join that changes additions at it: a vertex
        // sharing a triangle with it, or a triangle at it, joined the block.
        uint32_t changed;
        uint32_t countTag, count; // for closing scores
        uint32_t readMark;        // read by the growth being recorded
    };
    std::vector<SVertex> m_vert;
    // Per triangle: its addition as last evaluated (tag of that evaluation).
    // It stands until `changed` of a corner passes the tag, or until the room
    // left would cut it shorter.
    struct SEvaluated {
        uint32_t tag, index;
    };
    struct STriangle {
        uint32_t v[3];
        uint32_t tag;
        SEvaluated eval;
        uint32_t readMark, readStep; // read by the growth being recorded, and at which step
    };
    std::vector<STriangle> m_tri;
    // Busy vertices in the block: the tag of the last change an addition at
    // them can see (the vertex joining, or a triangle of the old block's
    // vertices alone joining). Joins elsewhere reach those additions through
    // their other corners.
    std::vector<uint32_t> m_changedBusy;
    std::vector<uint8_t> m_selfLoop; // vertex of a triangle (v, v, v)
    bool m_anyBusy = false;          // the tables for busy vertices exist
    std::vector<uint32_t> m_gathered;
    // Per vertex, the busy vertices it shares a triangle with; per busy
    // vertex, the tag of its joining the block.
    std::vector<uint32_t> m_busyAdjStart, m_busyAdj, m_joined;
    std::vector<uint32_t> m_farTris;                 // busy vertices: most triangles a far addition can take
    std::vector<uint8_t> m_fast;                     // busy vertices walked by their special + nearby triangles
    std::vector<uint32_t> m_specialStart, m_special; // per vertex
    std::vector<uint32_t> m_nearby, m_nearMark;
    uint32_t m_nearStamp = 0;
    std::vector<SAddition> m_additions;
    std::vector<uint32_t> m_pool, m_touched;
    std::vector<std::pair<uint32_t, uint32_t>> m_scoreReads; // (vertex, count) of the growth's additions
    std::vector<uint32_t> m_stepCandidates;                  // additions looked at in this step

    bool m_recording = false;
    // Per growth: vertex reads (vertex, step, limit), a read kept only when its
    // limit is above those of the vertex's earlier reads.
    struct SCountRead {
        uint32_t v, step, limit;
    };
    std::vector<uint32_t> m_readLimit;
    std::vector<SCountRead> m_countReads;
    uint32_t m_step = 0; // of the growth being recorded
    std::vector<SCached::SStep>* m_steps = nullptr;
    std::vector<uint32_t> m_readTris; // triangles, per growth
    uint32_t m_readStamp = 0;
    std::vector<uint32_t> m_cacheIndex; // per vertex, or kNoIndex
    std::vector<SCached> m_cache;
    std::vector<SSeedState> m_state; // per entry of m_cache
    // A block stays valid while every count it read stays above its limit
    // and no triangle it read is emitted. Counts go down one at a time, so a
    // vertex's watchers are looked at only once its count reaches the
    // highest limit among them.
    // Per vertex its watchers, in one run of an arena: a run that is full
    // moves to the arena's end at twice its size (so the runs left behind
    // take less than those in use, as a vector's old buffers would).
    struct SRun {
        uint32_t start, size, capacity;
        uint32_t kept; // size after the last sweep
    };
    std::vector<SRun> m_watchRun;
    std::vector<SWatch> m_watchArena;
    std::vector<uint32_t> m_watchLimit; // per vertex: the highest limit
    // Per triangle a list of watchers, linked through one pool that drops
    // the watchers of blocks grown again whenever it has doubled.
    struct SLinkedWatch {
        SWatch watch;
        uint32_t next;
    };
    std::vector<SLinkedWatch> m_triWatchPool;
    std::vector<uint32_t> m_triWatchHead;
    size_t m_triWatchKept = 0;

    uint64_t m_work = 0, m_budget = 0;
    uint32_t m_exact = 0;
};

void CGeometrySorter::BuildConnectivity()
{
    m_tri.resize(m_fc);
    for (uint32_t t = 0; t < m_fc; ++t) {
        STriangle& tri = m_tri[t];
        std::memcpy(tri.v, m_faces + size_t(t) * 3, sizeof(tri.v));
        tri.tag = 0;
        tri.eval = {0, 0};
        tri.readMark = tri.readStep = 0;
    }
    m_vert.assign(m_vc, SVertex{0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    for (uint32_t t = 0; t < m_fc; ++t) {
        const uint32_t* f = Tri(t);
        ++m_vert[f[0]].remaining;
        if (f[1] != f[0])
            ++m_vert[f[1]].remaining;
        if (f[2] != f[0] && f[2] != f[1])
            ++m_vert[f[2]].remaining;
    }
    uint32_t start = 0;
    for (SVertex& v : m_vert) {
        v.triStart = v.triEnd = start;
        v.degree = v.remaining;
        start += v.remaining;
    }
    m_triList.resize(start);
    m_others.resize(start);
    auto add = [&](uint32_t v, uint32_t t, uint32_t a, uint32_t b) {
        const uint32_t j = m_vert[v].triEnd++;
        m_triList[j] = t;
        m_others[j] = {{a, b}};
    };
    for (uint32_t t = 0; t < m_fc; ++t) {
        const uint32_t* f = Tri(t);
        add(f[0], t, f[1], f[2]);
        if (f[1] != f[0])
            add(f[1], t, f[0], f[2]);
        if (f[2] != f[0] && f[2] != f[1])
            add(f[2], t, f[0], f[1]);
    }
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
        if (m_vert[v].remaining == 1)
            group.seeds.push_back({i, kNoIndex});
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
            for (uint32_t j = m_vert[v].triStart; j < m_vert[v].triEnd; ++j) {
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
        group.RemoveSeed(pos);
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
           (group.removed[group.firstRemaining] || m_vert[group.verts[group.firstRemaining]].remaining == 0))
        ++group.firstRemaining;
    return group.firstRemaining < group.verts.size() ? group.verts[group.firstRemaining] : kNoIndex;
}

void CGeometrySorter::NewBlock()
{
    if (m_tag > 0xF0000000u) {
        // Start the tags again; emitted triangles keep theirs.
        for (SVertex& v : m_vert)
            v.tag = v.countTag = v.changed = 0;
        for (STriangle& t : m_tri) {
            if (t.tag != kEmitted)
                t.tag = 0;
            t.eval.tag = 0;
        }
        std::fill(m_changedBusy.begin(), m_changedBusy.end(), 0);
        std::fill(m_joined.begin(), m_joined.end(), 0);
        m_tag = 0;
    }
    m_blockTag = NextTag();
}

void CGeometrySorter::JoinVertex(SBlock& b, uint32_t v)
{
    if (InBlock(v))
        return;
    TagVertex(v);
    b.verts.push_back(v);
}

void CGeometrySorter::JoinTriangle(SBlock& b, uint32_t t)
{
    TagTriangle(t);
    b.tris.push_back(t);
}

void CGeometrySorter::TagVertex(uint32_t v)
{
    m_vert[v].tag = m_blockTag;
    m_vert[v].open = m_vert[v].remaining;
}

// Its corners are in the block.
void CGeometrySorter::TagTriangle(uint32_t t)
{
    m_tri[t].tag = m_blockTag;
    const uint32_t* f = Tri(t);
    --m_vert[f[0]].open;
    if (f[1] != f[0])
        --m_vert[f[1]].open;
    if (f[2] != f[0] && f[2] != f[1])
        --m_vert[f[2]].open;
}

// Vertices touched by the triangles: +1 for each whose only remaining
// triangle is among them, -1 for each left with exactly one other.
// With an addition, the counts read are kept with it rather than recorded.
int CGeometrySorter::ClosingScore(const uint32_t* tris, uint32_t count, SAddition* addition)
{
    const uint32_t tag = NextTag();
    m_touched.clear();
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t* f = Tri(tris[i]);
        for (int k = 0; k < 3; ++k) {
            const uint32_t v = f[k];
            if (k > 0 && (v == f[0] || (k == 2 && v == f[1])))
                continue;
            SVertex& c = m_vert[v];
            if (c.countTag != tag) {
                c.countTag = tag;
                c.count = 0;
                m_touched.push_back(v);
            }
            ++c.count;
        }
    }
    int score = 0;
    if (addition) {
        addition->readStart = uint32_t(m_scoreReads.size());
        addition->readCount = m_recording ? uint32_t(m_touched.size()) : 0;
        addition->readsKept = false;
    }
    for (uint32_t v : m_touched) {
        if (!addition)
            ReadCount(v, m_vert[v].count);
        else if (m_recording)
            m_scoreReads.emplace_back(v, m_vert[v].count);
        const uint32_t rem = m_vert[v].remaining;
        if (rem == 1)
            ++score;
        else if (rem - m_vert[v].count == 1)
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
    // The candidate's new vertices and the addition's triangles get this
    // evaluation's tag.
    const uint32_t tag = NextTag();
    for (uint32_t i = 0; i < a.newVertCount; ++i)
        m_vert[a.newVerts[i]].tag = tag;
    a.triStart = uint32_t(m_pool.size());
    const size_t room = m_maxT - b.tris.size();
    a.room = uint32_t(room);
    size_t taken = 0;
    for (int k = 0; k < 3 && taken < room; ++k) {
        const uint32_t v = c[k];
        if ((k > 0 && v == c[0]) || (k == 2 && v == c[1]))
            continue; // that list has been walked
        const uint32_t* last = nullptr;
        const uint32_t* list = TrianglesInside(b, a, v, tag, &last);
        // Entries of v's own list have its other corners beside them (v
        // itself is in the block or new).
        const SOthers* others =
            list == m_triList.data() + m_vert[v].triStart ? m_others.data() + m_vert[v].triStart : nullptr;
        m_work += uint64_t(last - list);
        for (const uint32_t* j = list; j != last && taken < room; ++j) {
            const uint32_t u = *j;
            bool inside = true;
            if (others) {
                const SOthers& o = others[j - list];
                for (int i = 0; i < 2 && inside; ++i) {
                    const uint32_t vt = m_vert[o.v[i]].tag;
                    inside = vt == m_blockTag || vt == tag;
                }
            } else {
                const uint32_t* f = Tri(u);
                for (int i = 0; i < 3 && inside; ++i) {
                    const uint32_t vt = m_vert[f[i]].tag;
                    inside = vt == m_blockTag || vt == tag;
                }
            }
            if (!inside)
                continue;
            const uint32_t ut = m_tri[u].tag;
            if (ut == kEmitted || ut == m_blockTag || ut == tag)
                continue;
            m_tri[u].tag = tag;
            m_pool.push_back(u);
            ++taken;
        }
    }
    a.triCount = uint32_t(taken);
    // Emitting one of these triangles only makes the addition smaller, which
    // cannot make it the pick, unless the room left had cut it short: then
    // another triangle may take its place. The candidate itself matters only
    // while it is one, which the block's vertices' lists tell.
    if (taken == room)
        for (uint32_t i = 0; i < a.triCount; ++i)
            if (m_pool[a.triStart + i] != t)
                ReadTriangle(m_pool[a.triStart + i]);
    a.merit.Set(a.triCount, a.newVertCount, ClosingScore(m_pool.data() + a.triStart, a.triCount, &a));
    a.rejected = false;
}

// The triangles at v in list order, or, when that is shorter to find, the
// triangles at v with every vertex in the block or tagged `tag` (the
// addition's new vertices), found through the lists of those vertices, in
// the same order.
const uint32_t* CGeometrySorter::TrianglesInside(const SBlock& b, const SAddition& a, uint32_t v, uint32_t tag,
                                                 const uint32_t** end)
{
    const uint32_t* own = m_triList.data() + m_vert[v].triStart;
    *end = m_triList.data() + m_vert[v].triEnd;
    const uint32_t ownCount = m_vert[v].triEnd - m_vert[v].triStart;
    if (ownCount <= kBusyVertex || m_selfLoop[v])
        return own;
    uint32_t cost = 0;
    auto count = [&](uint32_t p) {
        if (p != v)
            cost += m_vert[p].triEnd - m_vert[p].triStart;
    };
    for (size_t i = 0; i < b.verts.size() && cost < ownCount; ++i)
        count(b.verts[i]);
    for (uint32_t i = 0; i < a.newVertCount && cost < ownCount; ++i)
        count(a.newVerts[i]);
    m_work += cost;
    if (cost >= ownCount)
        return own;
    m_gathered.clear();
    auto gather = [&](uint32_t p) {
        if (p == v)
            return;
        for (uint32_t j = m_vert[p].triStart; j < m_vert[p].triEnd; ++j) {
            const uint32_t* f = Tri(m_triList[j]);
            bool inside = f[0] == v || f[1] == v || f[2] == v;
            for (int k = 0; k < 3 && inside; ++k)
                inside = m_vert[f[k]].tag == m_blockTag || m_vert[f[k]].tag == tag;
            if (inside)
                m_gathered.push_back(m_triList[j]);
        }
    };
    for (uint32_t p : b.verts)
        gather(p);
    for (uint32_t i = 0; i < a.newVertCount; ++i)
        gather(a.newVerts[i]);
    std::sort(m_gathered.begin(), m_gathered.end());
    m_gathered.erase(std::unique(m_gathered.begin(), m_gathered.end()), m_gathered.end());
    *end = m_gathered.data() + m_gathered.size();
    return m_gathered.data();
}

// Candidates at a busy vertex h in the block, (h, x, y), are "far" when x
// and y are outside the block and no triangle at x or y lies inside the
// block, x and y but those of h, x and y alone: their additions bring two
// new vertices and at most m_farTris[h] triangles. The others ("near") are
// the special ones listed here, whatever the block (a repeated or second
// busy corner; x or y with a triangle of busy vertices only; x and y in a
// triangle with another busy vertex), and those that NearbyCandidates finds
// through the block's quiet vertices.
void CGeometrySorter::BuildBusyLists()
{
    m_fast.assign(m_vc, 0);
    m_specialStart.assign(size_t(m_vc) + 1, 0);
    m_busyAdjStart.assign(size_t(m_vc) + 1, 0);
    m_joined.assign(m_vc, 0);
    m_farTris.assign(m_vc, 0);
    std::vector<uint32_t> seenBy(m_vc, kNoIndex);
    for (uint32_t v = 0; v < m_vc; ++v) {
        for (uint32_t j = m_vert[v].triStart; j < m_vert[v].triEnd; ++j) {
            const uint32_t* f = Tri(m_triList[j]);
            for (int k = 0; k < 3; ++k)
                if (f[k] != v && Busy(f[k]) && seenBy[f[k]] != v) {
                    seenBy[f[k]] = v;
                    m_busyAdj.push_back(f[k]);
                }
        }
        m_busyAdjStart[v + 1] = uint32_t(m_busyAdj.size());
    }
    // Vertices with a triangle whose other corners are all busy.
    std::vector<uint8_t> busyOnly(m_vc, 0);
    for (uint32_t t = 0; t < m_fc; ++t) {
        const uint32_t* f = Tri(t);
        for (int k = 0; k < 3; ++k) {
            bool others = false, allBusy = true;
            for (int i = 0; i < 3; ++i)
                if (f[i] != f[k]) {
                    others = true;
                    allBusy = allBusy && Busy(f[i]);
                }
            if (others && allBusy)
                busyOnly[f[k]] = 1;
        }
    }
    for (uint32_t h = 0; h < m_vc; ++h) {
        m_specialStart[h + 1] = m_specialStart[h];
        if (!Busy(h) || m_selfLoop[h])
            continue;
        m_fast[h] = 1;
        for (uint32_t j = m_vert[h].triStart; j < m_vert[h].triEnd; ++j) {
            const uint32_t t = m_triList[j];
            const uint32_t* f = Tri(t);
            const int k = f[0] == h ? 0 : f[1] == h ? 1 : 2;
            const uint32_t x = f[(k + 1) % 3], y = f[(k + 2) % 3];
            bool special = x == h || y == h || x == y || Busy(x) || Busy(y) || busyOnly[x] || busyOnly[y];
            uint32_t local = 0; // triangles of h, x and y alone with x or y
            for (const uint32_t z : {x, y})
                for (uint32_t i = m_vert[z].triStart; i < m_vert[z].triEnd && !special; ++i) {
                    const uint32_t* g = Tri(m_triList[i]);
                    bool within = true, hasX = false, hasY = false, otherBusy = false;
                    for (int n = 0; n < 3; ++n) {
                        within = within && (g[n] == h || g[n] == x || g[n] == y);
                        hasX = hasX || g[n] == x;
                        hasY = hasY || g[n] == y;
                        otherBusy = otherBusy || (g[n] != h && Busy(g[n]));
                    }
                    special = hasX && hasY && otherBusy;
                    if (within && (z == x || !hasX))
                        ++local;
                }
            if (special)
                m_special.push_back(t);
            else
                m_farTris[h] = std::max(m_farTris[h], local);
        }
        m_specialStart[h + 1] = uint32_t(m_special.size());
    }
    m_nearMark.assign(m_vc, 0);
}

// Triangles at busy vertex h, in order, that share a vertex with the
// block's other quiet vertices or with a neighbour of those outside it.
void CGeometrySorter::NearbyCandidates(const SBlock& b, uint32_t h)
{
    m_nearby.clear();
    if (++m_nearStamp == 0) {
        std::fill(m_nearMark.begin(), m_nearMark.end(), 0);
        m_nearStamp = 1;
    }
    auto at = [&](uint32_t x) {
        m_work += m_vert[x].triEnd - m_vert[x].triStart;
        for (uint32_t j = m_vert[x].triStart; j < m_vert[x].triEnd; ++j) {
            const uint32_t* f = Tri(m_triList[j]);
            if (f[0] == h || f[1] == h || f[2] == h)
                m_nearby.push_back(m_triList[j]);
        }
    };
    for (uint32_t v : b.verts) {
        if (v == h || Busy(v))
            continue;
        at(v);
        m_work += m_vert[v].triEnd - m_vert[v].triStart;
        for (uint32_t j = m_vert[v].triStart; j < m_vert[v].triEnd; ++j) {
            const uint32_t* f = Tri(m_triList[j]);
            for (int k = 0; k < 3; ++k) {
                const uint32_t x = f[k];
                if (x == h || InBlock(x) || Busy(x) || m_nearMark[x] == m_nearStamp)
                    continue;
                m_nearMark[x] = m_nearStamp;
                at(x);
            }
        }
    }
    std::sort(m_nearby.begin(), m_nearby.end());
    m_nearby.erase(std::unique(m_nearby.begin(), m_nearby.end()), m_nearby.end());
}

// One growth step picks, over the triangles at the block's vertices in
// order, the best addition by SMerit::Better. A candidate has a corner in
// the block, so an addition brings no new vertex (infinite ratio) or one or
// two, and its ratio is a multiple of 1/2: ratios that differ differ by more
// than the 0.1 within which scores decide. So the pick's ratio never goes
// down along the walk, and the pick is that of the walk over any part of it
// holding every candidate of the highest ratio. Busy vertices are first
// walked through their near candidates only; when the pick's ratio is above
// what their far candidates can reach, that is the pick; otherwise
// everything is walked.
void CGeometrySorter::Grow(SBlock& b)
{
    m_additions.clear();
    m_pool.clear();
    m_scoreReads.clear();
    const uint32_t growth = NextTag(); // evaluations of this growth have later tags
    while (b.tris.size() < m_maxT) {
        m_stepCandidates.clear();
        const uint32_t room = m_maxT - uint32_t(b.tris.size());
        int best = -1;
        bool nearOnly = false;
        uint32_t farTris = 0;
        auto consider = [&](uint32_t t) {
            ++m_work;
            if (Emitted(t) || TriInBlock(t))
                return;
            SEvaluated& e = m_tri[t].eval;
            bool valid = e.tag > growth;
            if (valid) {
                const uint32_t* c = Tri(t);
                const SAddition& old = m_additions[e.index];
                auto stamp = [&](uint32_t w) {
                    if (!m_anyBusy)
                        return m_vert[w].changed;
                    if (Busy(w))
                        return InBlock(w) ? m_changedBusy[w] : m_vert[w].changed;
                    uint32_t last = m_vert[w].changed;
                    for (uint32_t j = m_busyAdjStart[w]; j < m_busyAdjStart[w + 1]; ++j)
                        last = std::max(last, m_joined[m_busyAdj[j]]);
                    return last;
                };
                valid = stamp(c[0]) < e.tag && stamp(c[1]) < e.tag && stamp(c[2]) < e.tag &&
                        (old.rejected || (old.triCount < old.room ? room >= old.triCount : room == old.room));
            }
            if (!valid) {
                e.tag = NextTag();
                e.index = uint32_t(m_additions.size());
                m_additions.emplace_back();
                Evaluate(b, t, m_additions.back());
            }
            SAddition& a = m_additions[e.index];
            // More vertices in the block may leave no room for it now.
            if (a.rejected || b.verts.size() + a.newVertCount > m_maxV) {
                a.rejected = true;
                return;
            }
            if (m_recording)
                m_stepCandidates.push_back(e.index);
            if (best < 0 || a.merit.Better(m_additions[size_t(best)].merit))
                best = int(e.index);
        };
        const size_t vertCount = b.verts.size();
        for (size_t i = 0; i < vertCount && m_anyBusy; ++i)
            if (m_fast[b.verts[i]] && m_vert[b.verts[i]].remaining != 0) {
                nearOnly = true;
                farTris = std::max(farTris, m_farTris[b.verts[i]]);
            }
        if (nearOnly) {
            for (size_t i = 0; i < vertCount; ++i) {
                const uint32_t v = b.verts[i];
                if (m_vert[v].open == 0)
                    continue; // nothing to consider there
                if (!m_fast[v]) {
                    for (uint32_t j = m_vert[v].triStart; j < m_vert[v].triEnd; ++j)
                        consider(m_triList[j]);
                    continue;
                }
                NearbyCandidates(b, v);
                // The special and the nearby triangles merged in order.
                const uint32_t* s = m_special.data() + m_specialStart[v];
                const uint32_t* sEnd = m_special.data() + m_specialStart[v + 1];
                const uint32_t* n = m_nearby.data();
                const uint32_t* nEnd = n + m_nearby.size();
                while (s != sEnd || n != nEnd) {
                    uint32_t t;
                    if (n == nEnd || (s != sEnd && *s < *n))
                        t = *s++;
                    else if (s == sEnd || *n < *s)
                        t = *n++;
                    else
                        t = *s++, ++n;
                    consider(t);
                }
            }
            // Far additions need room for two more vertices.
            const SMerit* pick = best < 0 ? nullptr : &m_additions[size_t(best)].merit;
            const bool farBelow = pick && (pick->infinite || pick->ratio > 0.5f * float(std::min(farTris, room)));
            if (!farBelow && vertCount + 2 <= m_maxV) {
                nearOnly = false;
                best = -1;
            }
        }
        if (!nearOnly) {
            for (size_t i = 0; i < vertCount; ++i) {
                const uint32_t v = b.verts[i];
                if (m_vert[v].open == 0)
                    continue;
                for (uint32_t j = m_vert[v].triStart; j < m_vert[v].triEnd; ++j)
                    consider(m_triList[j]);
            }
        }
        if (best < 0)
            break;
        if (m_recording)
            KeepScoreReads(uint32_t(best));
        const SAddition& a = m_additions[size_t(best)];
        for (uint32_t i = 0; i < a.newVertCount; ++i)
            JoinVertex(b, a.newVerts[i]);
        for (uint32_t i = 0; i < a.triCount; ++i) {
            JoinTriangle(b, m_pool[a.triStart + i]);
            ReadTriangle(m_pool[a.triStart + i]);
        }
        if (m_recording) {
            m_steps->push_back({uint32_t(b.verts.size()), uint32_t(b.tris.size()), 0});
            ++m_step;
        }
        // Evaluations that looked at what changed are stale. A candidate's
        // evaluation looks at its corners, their triangles and those
        // triangles' vertices: it changes when a vertex sharing a triangle
        // with a corner joined, or when a triangle at a corner joined.
        const uint32_t changed = NextTag();
        for (uint32_t i = 0; i < a.newVertCount; ++i) {
            const uint32_t w = a.newVerts[i];
            if (m_anyBusy)
                m_changedBusy[w] = changed;
            if (m_anyBusy && Busy(w)) {
                // Its quiet neighbours look up m_joined when checked.
                m_joined[w] = m_vert[w].changed = changed;
                for (uint32_t j = m_busyAdjStart[w]; j < m_busyAdjStart[w + 1]; ++j)
                    m_vert[m_busyAdj[j]].changed = changed;
                continue;
            }
            for (uint32_t j = m_vert[w].triStart; j < m_vert[w].triEnd; ++j) {
                const uint32_t* f = Tri(m_triList[j]);
                m_vert[f[0]].changed = m_vert[f[1]].changed = m_vert[f[2]].changed = changed;
            }
        }
        for (uint32_t i = 0; i < a.triCount; ++i) {
            const uint32_t* f = Tri(m_pool[a.triStart + i]);
            m_vert[f[0]].changed = m_vert[f[1]].changed = m_vert[f[2]].changed = changed;
            bool old = true;
            for (uint32_t k = 0; k < a.newVertCount; ++k)
                old = old && f[0] != a.newVerts[k] && f[1] != a.newVerts[k] && f[2] != a.newVerts[k];
            if (old && m_anyBusy)
                m_changedBusy[f[0]] = m_changedBusy[f[1]] = m_changedBusy[f[2]] = changed;
        }
    }
}

// The score of an addition decides the pick only against additions of the
// same ratio (ratios that differ differ by at least 1/2), and its ratio
// stays while its triangles do. So the counts an addition's score read
// matter from the first step whose pick has its ratio.
void CGeometrySorter::KeepScoreReads(uint32_t best)
{
    auto rank = [&](const SAddition& a) {
        return a.newVertCount == 0 ? ~0u : a.newVertCount == 1 ? 2 * a.triCount : a.triCount;
    };
    const uint32_t top = rank(m_additions[best]);
    for (uint32_t i : m_stepCandidates) {
        SAddition& a = m_additions[i];
        if (a.readsKept || rank(a) != top)
            continue;
        a.readsKept = true;
        for (uint32_t r = 0; r < a.readCount; ++r)
            ReadCount(m_scoreReads[a.readStart + r].first, m_scoreReads[a.readStart + r].second);
    }
}

// A closing score counts v as +1 at one remaining triangle, -1 at count + 1,
// else 0: the limit is the highest count below the present one at which
// that changes.
void CGeometrySorter::ReadCount(uint32_t v, uint32_t count)
{
    if (!m_recording)
        return;
    const uint32_t rem = m_vert[v].remaining;
    const uint32_t limit = rem > count + 1 ? count + 1 : rem == count + 1 ? count : rem > 1 ? 1 : 0;
    if (m_vert[v].readMark != m_readStamp || limit > m_readLimit[v]) {
        m_vert[v].readMark = m_readStamp;
        m_readLimit[v] = limit;
        m_countReads.push_back({v, m_step, limit});
    }
}

void CGeometrySorter::CountChanged(uint32_t v)
{
    const uint32_t rem = m_vert[v].remaining;
    if (rem > m_watchLimit[v])
        return;
    SRun& run = m_watchRun[v];
    SWatch* watchers = m_watchArena.data() + run.start;
    m_work += run.size;
    uint32_t highest = 0;
    uint32_t kept = 0;
    for (uint32_t i = 0; i < run.size; ++i) {
        const SWatch& w = watchers[i];
        if (!Current(w))
            continue;
        if (rem <= w.limit) {
            Fire(w);
            continue;
        }
        highest = std::max(highest, w.limit);
        watchers[kept++] = w;
    }
    run.size = run.kept = kept;
    m_watchLimit[v] = highest;
}

// Watchers of blocks grown again since are dropped whenever a vertex's list
// has doubled, so the lists stay as long as the blocks that still read them.
void CGeometrySorter::Watch(uint32_t v, const SWatch& w)
{
    SRun& run = m_watchRun[v];
    if (run.size >= 16 && run.size >= 2 * run.kept) {
        m_work += run.size;
        SWatch* watchers = m_watchArena.data() + run.start;
        uint32_t kept = 0;
        for (uint32_t i = 0; i < run.size; ++i)
            if (Current(watchers[i]))
                watchers[kept++] = watchers[i];
        run.size = run.kept = kept;
    }
    if (run.size == run.capacity) {
        const uint32_t capacity = std::max<uint32_t>(4, 2 * run.capacity);
        const uint32_t start = uint32_t(m_watchArena.size());
        m_watchArena.resize(start + size_t(capacity));
        std::copy(m_watchArena.begin() + run.start, m_watchArena.begin() + run.start + run.size,
                  m_watchArena.begin() + start);
        run.start = start;
        run.capacity = capacity;
    }
    m_watchArena[run.start + run.size++] = w;
    m_watchLimit[v] = std::max(m_watchLimit[v], w.limit);
}

void CGeometrySorter::WatchTriangle(uint32_t t, const SWatch& w)
{
    if (m_triWatchPool.size() >= std::max<size_t>(2 * m_triWatchKept, m_fc)) {
        m_work += m_fc + m_triWatchPool.size();
        std::vector<SLinkedWatch> kept;
        kept.reserve(m_triWatchPool.size() / 2);
        for (uint32_t u = 0; u < m_fc; ++u) {
            uint32_t head = kNoIndex;
            for (uint32_t i = m_triWatchHead[u]; i != kNoIndex; i = m_triWatchPool[i].next)
                if (Current(m_triWatchPool[i].watch)) {
                    kept.push_back({m_triWatchPool[i].watch, head});
                    head = uint32_t(kept.size() - 1);
                }
            m_triWatchHead[u] = head;
        }
        m_triWatchPool.swap(kept);
        m_triWatchKept = m_triWatchPool.size();
    }
    m_triWatchPool.push_back({w, m_triWatchHead[t]});
    m_triWatchHead[t] = uint32_t(m_triWatchPool.size() - 1);
}

void CGeometrySorter::TriangleEmitted(uint32_t t)
{
    for (uint32_t i = m_triWatchHead[t]; i != kNoIndex; i = m_triWatchPool[i].next) {
        ++m_work;
        Fire(m_triWatchPool[i].watch);
    }
    m_triWatchHead[t] = kNoIndex;
}

// The seed's cache entry, made when it has none.
uint32_t CGeometrySorter::Entry(uint32_t seed)
{
    if (m_cacheIndex[seed] == kNoIndex) {
        m_cacheIndex[seed] = uint32_t(m_cache.size());
        m_cache.emplace_back();
        m_state.emplace_back();
    }
    return m_cacheIndex[seed];
}

const SBlock& CGeometrySorter::SeededBlock(uint32_t seed)
{
    const uint32_t c = Entry(seed);
    if (m_state[c].valid)
        return m_cache[c].block;

    if (++m_readStamp == 0) {
        for (SVertex& v : m_vert)
            v.readMark = 0;
        for (STriangle& t : m_tri)
            t.readMark = 0;
        m_readStamp = 1;
    }
    m_countReads.clear();
    m_readTris.clear();
    NewBlock();
    SCached& cached = m_cache[c];
    SBlock& b = cached.block;
    // The steps that stand, as they were.
    const uint32_t first = m_state[c].validSteps;
    if (first == 0) {
        b.verts.clear();
        b.tris.clear();
        JoinVertex(b, seed);
    } else {
        b.verts.resize(cached.steps[first - 1].verts);
        b.tris.resize(cached.steps[first - 1].tris);
        m_work += b.verts.size() + b.tris.size();
        for (uint32_t v : b.verts)
            TagVertex(v);
        for (uint32_t t : b.tris)
            TagTriangle(t);
    }
    cached.steps.resize(first);
    m_step = first;
    m_steps = &cached.steps;
    m_recording = true;
    Grow(b);
    b.merit.Set(uint32_t(b.tris.size()), uint32_t(b.verts.size()),
                ClosingScore(b.tris.data(), uint32_t(b.tris.size())));
    m_recording = false;
    m_steps = nullptr;

    const uint32_t version = ++m_state[c].version;
    cached.steps.push_back({uint32_t(b.verts.size()), uint32_t(b.tris.size()), 0});
    for (size_t i = first; i < cached.steps.size(); ++i)
        cached.steps[i].version = version;
    m_state[c] = {b.merit, version, first, uint32_t(cached.steps.size()), true, Full(b)};
    for (const SCountRead& r : m_countReads)
        Watch(r.v, {c, version, r.step, r.limit});
    for (uint32_t t : m_readTris)
        WatchTriangle(t, {c, version, m_tri[t].readStep, 0});
    return cached.block;
}

void CGeometrySorter::RemainingChanged(uint32_t v)
{
    const uint32_t g = m_groupOf[v];
    if (g == kNoIndex)
        return;
    SGroup& group = m_groups[g];
    // Counts only go down: a vertex becomes a seed at 1 and stops at 0.
    if (m_vert[v].remaining == 1)
        group.AddSeed(m_posInGroup[v], m_cacheIndex[v]);
    else if (m_vert[v].remaining == 0)
        group.RemoveSeed(m_posInGroup[v]);
}

void CGeometrySorter::Emit(const SBlock& b)
{
    for (uint32_t t : b.tris) {
        m_order.push_back(t);
        m_tri[t].tag = kEmitted;
        TriangleEmitted(t);
    }
    for (uint32_t t : b.tris) {
        const uint32_t* f = Tri(t);
        for (int k = 0; k < 3; ++k) {
            const uint32_t v = f[k];
            if ((k > 0 && v == f[0]) || (k == 2 && v == f[1]))
                continue;
            SVertex& vert = m_vert[v];
            --vert.remaining;
            // Emitted triangles leave the list once they are half of it.
            if (vert.triEnd - vert.triStart > 2 * vert.remaining) {
                uint32_t kept = vert.triStart;
                for (uint32_t j = vert.triStart; j < vert.triEnd; ++j)
                    if (!Emitted(m_triList[j])) {
                        m_others[kept] = m_others[j];
                        m_triList[kept++] = m_triList[j];
                    }
                vert.triEnd = kept;
            }
            RemainingChanged(v);
            CountChanged(v);
        }
    }
}

// The seed of the best full block of the most recent big group (its block
// is in the cache), or kNoIndex when no big group is left.
uint32_t CGeometrySorter::BigGroupRound()
{
    while (!m_big.empty() && !OverBudget()) {
        const uint32_t g = m_big.back();
        // Growing another seed may move the cache entries: the best merit
        // is kept apart.
        uint32_t best = kNoIndex;
        SMerit bestMerit;
        bool restart = false;
        // A split ends the loop at once, so the set may be walked directly.
        for (SGroup::SSeed& s : m_groups[g].seeds) {
            if (++m_work > m_budget)
                return kNoIndex;
            const uint32_t seed = m_groups[g].verts[s.pos];
            if (s.entry == kNoIndex)
                s.entry = Entry(seed);
            if (!m_state[s.entry].valid)
                SeededBlock(seed);
            const SSeedState& state = m_state[s.entry];
            if (!state.full) {
                SplitOff(g, CachedBlock(seed));
                restart = true;
                break;
            }
            if (best == kNoIndex || state.merit.Better(bestMerit)) {
                best = seed;
                bestMerit = state.merit;
            }
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
        return best;
    }
    return kNoIndex;
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
            for (uint32_t j = m_vert[v].triStart; j < m_vert[v].triEnd; ++j) {
                const uint32_t t = m_triList[j];
                if (!Emitted(t) && !TriInBlock(t))
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
        if (m_vert[v].remaining != 0)
            left.push_back(v);
    m_groups[g].verts.swap(left);
    if (m_groups[g].verts.size() >= 3)
        m_buckets[m_groups[g].verts.size() - 3].push_back(g);
}

std::vector<uint32_t> CGeometrySorter::Run()
{
    BuildConnectivity();
    m_anyBusy = false;
    for (uint32_t v = 0; v < m_vc && !m_anyBusy; ++v)
        m_anyBusy = Busy(v);
    if (m_anyBusy) {
        m_changedBusy.assign(m_vc, 0);
        m_selfLoop.assign(m_vc, 0);
        for (uint32_t t = 0; t < m_fc; ++t) {
            const uint32_t* f = Tri(t);
            if (f[0] == f[1] && f[1] == f[2])
                m_selfLoop[f[0]] = 1;
        }
        BuildBusyLists();
    }
    m_readLimit.assign(m_vc, 0);
    m_cacheIndex.assign(m_vc, kNoIndex);
    m_watchRun.assign(m_vc, {0, 0, 0, 0});
    m_watchLimit.assign(m_vc, 0);
    m_triWatchHead.assign(m_fc, kNoIndex);
    BuildGroups();
    m_order.reserve(m_fc);

    m_budget = WorkBudget(m_fc, kWorkPerTriangle, kWorkFloor);
    while (m_order.size() < m_fc && !OverBudget()) {
        const uint32_t seed = BigGroupRound();
        if (OverBudget())
            break;
        if (seed != kNoIndex) {
            Emit(CachedBlock(seed)); // emitting only marks cache entries stale
            continue;
        }
        SBlock b;
        const uint32_t partial = SmallGroupRound(b);
        if (b.tris.empty() && b.verts.empty())
            break; // nothing left that a block can take
        Emit(b);
        if (partial != kNoIndex)
            Regroup(partial);
    }
    m_exact = uint32_t(m_order.size());
    if (OverBudget()) {
        FinishInCacheOrder();
        return m_order;
    }
    m_exact = m_fc;
    // Triangles of pieces too small to form a group.
    if (m_order.size() < m_fc)
        for (uint32_t t = 0; t < m_fc; ++t)
            if (!Emitted(t))
                m_order.push_back(t);
    return m_order;
}

void CGeometrySorter::FinishInCacheOrder()
{
    std::vector<uint32_t> rest, faces;
    for (uint32_t t = 0; t < m_fc; ++t)
        if (!Emitted(t)) {
            rest.push_back(t);
            faces.insert(faces.end(), m_tri[t].v, m_tri[t].v + 3);
        }
    if (rest.empty())
        return;
    std::vector<uint32_t> compact;
    const uint32_t used = CompactIndices(faces.data(), faces.size(), m_vc, &compact);
    std::vector<uint32_t> order(rest.size());
    VertexCacheOrder(compact.empty() ? faces.data() : compact.data(), uint32_t(rest.size()), used, order.data());
    for (uint32_t i : order)
        m_order.push_back(rest[i]);
}

} // namespace

uint32_t GeometrySort(uint8_t* vertices, uint32_t* faces, uint32_t stride, uint32_t vertexCount, uint32_t faceCount,
                      uint32_t maxVertices, uint32_t maxTriangles, uint32_t flags)
{
    if (faceCount == 0 || maxVertices < 3 || maxTriangles == 0)
        return faceCount;
    const size_t indexCount = size_t(faceCount) * 3;
    for (size_t i = 0; i < indexCount; ++i)
        if (faces[i] >= vertexCount)
            return faceCount;
    uint32_t exact = faceCount;

    if (flags & kGeometrySortTriangles) {
        // A bone batch uses a few of its mesh's vertices: the sorter's tables
        // per vertex are kept to those, numbered in their old order, which
        // leaves every comparison it makes (and so its order) as it was.
        std::vector<uint32_t> compact;
        const uint32_t used = CompactIndices(faces, indexCount, vertexCount, &compact);
        CGeometrySorter sorter(compact.empty() ? faces : compact.data(), used, faceCount, maxVertices, maxTriangles);
        const std::vector<uint32_t> order = sorter.Run();
        exact = sorter.ExactTriangles();
        compact = std::vector<uint32_t>();
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
    return exact;
}
