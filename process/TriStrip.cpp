#include "process/TriStrip.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "process/WorkBudget.h"
#include "base/Parallel.h"

namespace {

constexpr int32_t kNone = -1;
constexpr int kAttempts = 5;

// Steps of improvement work (links a walk moves, path positions counted)
// an attempt on n triangles may take: kWorkPerTriangle per triangle and
// halving of n. Ordinary meshes take a few hundred per triangle and halving
// (the corpus at most 2,250: a skinned cylinder); an attempt that spends it
// keeps its strips as they stand, so the result is the same on every
// machine.
constexpr uint64_t kWorkPerTriangle = 4096;
constexpr uint64_t kWorkFloor = 1000000;

// One triangle of the generator: its neighbours, its place in a strip (as
// changed by the current walk, and as last kept) and the walk's marks.
struct STri {
    int32_t adj[3];     // across edge 0 (a-b), 1 (b-c), 2 (c-a)
    int32_t prev, next; // strip links
    int32_t savedPrev, savedNext;
    uint32_t visit;              // walk that went through it
    uint32_t touch;              // walk that changed its links
    uint8_t parity, savedParity; // 1: kept winding, 0: reversed in the strip
};

// The C library's rand() sequence after srand(seed), drawn without the
// library's lock: glibc's additive generator (31 words, each draw adds the
// word three back to the word 31 back and gives its top 31 bits, after 310
// draws thrown away). Used only where it gives exactly what rand() gives.
class CRandSequence {
public:
    explicit CRandSequence(unsigned seed)
    {
        int32_t word = int32_t(seed == 0 ? 1 : seed);
        m_state[0] = uint32_t(word);
        for (int i = 1; i < kWords; ++i) {
            const int32_t hi = word / 127773, lo = word % 127773;
            word = 16807 * lo - 2836 * hi;
            if (word < 0)
                word += 2147483647;
            m_state[i] = uint32_t(word);
        }
        for (int i = 0; i < kWords * 10; ++i)
            Next();
    }
    // Whether the library's rand() draws the same numbers: reseeds it with
    // `seed` and compares the first draws.
    static bool MatchesLibrary(unsigned seed)
    {
        CRandSequence own(seed);
        std::srand(seed);
        for (int i = 0; i < 200; ++i)
            if (own.Next() != uint32_t(std::rand()))
                return false;
        return true;
    }
    uint32_t Next()
    {
        const uint32_t value = m_state[m_front] += m_state[m_rear];
        m_front = m_front + 1 == kWords ? 0 : m_front + 1;
        m_rear = m_rear + 1 == kWords ? 0 : m_rear + 1;
        return value >> 1;
    }

private:
    static constexpr int kWords = 31;
    uint32_t m_state[kWords];
    int m_front = 3, m_rear = 0;
};

// Whether the own copy draws what rand() draws for every attempt's seed:
// checked once (it reseeds the library's generator), before any mesh is
// processed side by side with another.
bool OwnSequenceMatchesLibrary()
{
    static const bool matches = [] {
        for (int seed = 0; seed < kAttempts; ++seed)
            if (!CRandSequence::MatchesLibrary(unsigned(seed)))
                return false;
        return true;
    }();
    return matches;
}

std::mutex g_libraryKeys;

struct SKeyed {
    uint64_t key;
    uint32_t tri;
};

// By key, equal keys in their old order (the records come in triangle
// order): a stable radix sort, 16 bits at a time, for many records.
void SortByKey(std::vector<SKeyed>& records, std::vector<SKeyed>& scratch)
{
    if (records.size() < 4096) {
        // The counting tables would cost more than the records.
        std::stable_sort(records.begin(), records.end(),
                         [](const SKeyed& x, const SKeyed& y) { return x.key < y.key; });
        return;
    }
    uint64_t all = 0;
    for (const SKeyed& r : records)
        all |= r.key;
    std::vector<uint32_t> count(65536);
    for (int shift = 0; shift < 64; shift += 16) {
        if (((all >> shift) & 0xFFFF) == 0)
            continue;
        std::fill(count.begin(), count.end(), 0);
        for (const SKeyed& r : records)
            ++count[(r.key >> shift) & 0xFFFF];
        uint32_t sum = 0;
        for (uint32_t& c : count) {
            const uint32_t n = c;
            c = sum;
            sum += n;
        }
        for (const SKeyed& r : records)
            scratch[count[(r.key >> shift) & 0xFFFF]++] = r;
        records.swap(scratch);
    }
}

void SetBit(std::vector<uint64_t>& bits, uint32_t i, bool on)
{
    if (on)
        bits[i >> 6] |= uint64_t(1) << (i & 63);
    else
        bits[i >> 6] &= ~(uint64_t(1) << (i & 63));
}

bool TestBit(const std::vector<uint64_t>& bits, uint32_t i)
{
    return (bits[i >> 6] >> (i & 63)) & 1;
}

// The last set bit below `before` and not below `first`, or ~0.
uint32_t PrevSetBit(const std::vector<uint64_t>& bits, uint32_t before, uint32_t first)
{
    if (before <= first)
        return ~0u;
    uint32_t i = before - 1;
    size_t w = i >> 6;
    uint64_t word = bits[w] & (~uint64_t(0) >> (63 - (i & 63)));
    for (;;) {
        if (word) {
            const uint32_t found = uint32_t(w * 64 + 63 - uint32_t(__builtin_clzll(word)));
            return found >= first ? found : ~0u;
        }
        if (w == 0 || w * 64 <= first)
            return ~0u;
        word = bits[--w];
    }
}

// What the attempts share: fixed once the initial strips are made and the
// walk states laid out, and only read by the attempts.
struct SStripTables {
    std::vector<uint32_t> orig, inner;
    std::vector<STri> initial;
    std::vector<uint32_t> position, stateAt, chainStart, chainJump, chainAt;
    // Per position: how many states a walk from there can take before it
    // meets one of its own triangles again (or its way ends), found within
    // the chain and, for a closed loop, round it; kUnbounded when the path
    // leaves the chain first.
    std::vector<uint32_t> pathLength;
    // Per triangle, of its six walk states: where each lies, and the chain
    // whose masks are counted for it (the path ends in it), else ~0. A kept
    // walk reads both for every triangle whose strip end changed: one cache
    // line.
    struct alignas(64) STriStates {
        uint32_t position[6];
        uint32_t countedChain[6];
    };
    std::vector<STriStates> triStates;
};

// One generator makes the initial strips and the shared tables; a copy of it
// runs an attempt (copies share the tables).
class CStripGenerator {
public:
    CStripGenerator(const uint32_t* faces, uint32_t faceCount, SStripTables& tables)
        : m_idx(faces), m_n(faceCount), m_orig(tables.orig), m_inner(tables.inner), m_initial(tables.initial),
          m_position(tables.position), m_stateAt(tables.stateAt), m_chainStart(tables.chainStart),
          m_chainJump(tables.chainJump), m_chainAt(tables.chainAt), m_triStates(tables.triStates),
          m_pathLength(tables.pathLength)
    {
    }
    CStripGenerator(const CStripGenerator&) = default;
    CStripGenerator& operator=(const CStripGenerator&) = delete;

    void BuildAdjacency();
    void InitialStrips();
    void Renumber();
    void SaveStrips();
    void RestoreStrips();
    void Improve(unsigned seed, bool own);
    bool NothingToImprove();
    void Output(std::vector<uint32_t>* indices, std::vector<uint32_t>* lengths) const;
    // Whether the last Improve stopped at its work budget.
    bool BudgetReached() const { return m_budgetReached; }

private:
    struct SWalkEnd {
        int32_t tri;
        int slot;
        uint8_t parity;
    };

    // Indices of the triangle numbered t (after Renumber, t is an inner number).
    const uint32_t* Face(uint32_t t) const { return m_idx + size_t(m_orig.empty() ? t : m_orig[t]) * 3; }
    bool Degenerate(uint32_t t) const
    {
        const uint32_t* f = Face(t);
        return f[0] == f[1] || f[1] == f[2] || f[2] == f[0];
    }
    bool LinkedTo(uint32_t t, int32_t other) const
    {
        const int32_t* a = m_t[t].adj;
        return a[0] == other || a[1] == other || a[2] == other;
    }
    int SlotOf(int32_t t, int32_t neighbour) const
    {
        const int32_t* a = m_t[size_t(t)].adj;
        return a[0] == neighbour ? 0 : a[1] == neighbour ? 1 : 2;
    }
    void Touch(int32_t t)
    {
        STri& x = m_t[size_t(t)];
        if (x.touch != m_touchStamp) {
            x.touch = m_touchStamp;
            m_touched.push_back(t);
        }
    }
    template <class T>
    static void NextStamp(uint32_t& stamp, std::vector<T>& items, uint32_t T::*mark)
    {
        if (++stamp == 0) {
            for (T& x : items)
                x.*mark = 0;
            stamp = 1;
        }
    }
    int Relink(int32_t t, int32_t behind, uint8_t parity);
    bool RebuildsItsStrip(int32_t t, int slot) const;
    bool Walk(int32_t t, int slot, int threshold, bool resume, SWalkEnd* end);
    void Commit();
    void Undo();
    bool Endpoint(int32_t t) const { return m_t[size_t(t)].prev == kNone || m_t[size_t(t)].next == kNone; }

    // Which walks of an improvement pass can be kept. A walk changes the
    // strip count by 1 + the sum, over the strips it meets, of (pieces left
    // - 1); that is at most its threshold only when its path takes in
    // 1 - threshold whole strips, i.e. holds both ends of that many strips.
    // The path depends only on where a walk is: leaving triangle t across
    // slot e with parity p (state 6t + 2e + p) it goes on to one next state.
    // States are laid out chain by chain so that a path is a run of
    // consecutive positions, rarely followed by a jump to another chain.
    // Per chain, the positions from which the rest of the chain holds one
    // and two whole strips are kept up to date, and with them a mask per
    // triangle of the walks worth trying.
    uint32_t NextState(uint32_t state) const;
    void BuildChains();
    uint32_t ChainOf(uint32_t position) const;
    void StartTracking();
    void TrackChanges();
    void UpdateChain(uint32_t chain);
    void SetMaskRange(uint32_t from, uint32_t to, int shift, bool on);
    bool MayKeep(int32_t t, int slot, int threshold);
    void SetEndpoint(int32_t t, bool endpoint);
    void NoteStrip(int32_t t);

    const uint32_t* m_idx;
    uint32_t m_n;
    std::vector<STri> m_t;
    // After the initial strips the triangles are renumbered in strip order,
    // so that walking a strip walks through memory; everything that goes by
    // triangle order still uses the given numbers.
    std::vector<uint32_t>& m_orig;  // inner number -> given number
    std::vector<uint32_t>& m_inner; // given number -> inner number
    uint32_t m_visitStamp = 0;
    uint32_t m_touchStamp = 0;
    std::vector<int32_t> m_touched;
    std::vector<int32_t> m_changed;

    // Strips after the initial pass, the same for every attempt.
    std::vector<STri>& m_initial;

    // What the improvement passes keep per triangle, side by side as a walk
    // reads them together.
    struct STrack {
        uint64_t key;    // in the pass under way
        int32_t partner; // of a strip end: the other end (itself when alone)
        uint32_t stripMark, pathMark, queued;
        uint8_t mask;  // bits 0-2: walks worth trying at 0, 3-5: at -1, 6: check the path
        uint8_t isEnd; // as m_endBits holds it
    };
    std::vector<STrack> m_track;

    // Chains of walk states.
    std::vector<uint32_t>& m_position;   // state -> position
    std::vector<uint32_t>& m_stateAt;    // position -> state
    std::vector<uint32_t>& m_chainStart; // per chain, its first position; one more at the end
    std::vector<uint32_t>& m_chainJump;  // per chain: the state after its last, or ~0
    std::vector<uint32_t>& m_chainAt;    // position -> chain
    std::vector<SStripTables::STriStates>& m_triStates;
    std::vector<uint32_t>& m_pathLength; // position -> states a walk can take
    static constexpr uint32_t kUnbounded = ~0u;
    void MeasurePaths();
    // Tracked while improving.
    bool m_tracking = false;
    std::vector<uint64_t> m_endBits; // positions whose triangle ends a strip
    // Per chain, together as they are read together: its positions, how
    // many from its start may keep at 0 and at -1, and its mark.
    struct SChainCount {
        uint32_t start, end;
        uint32_t keepOne, keepTwo;
        uint32_t mark;
    };
    std::vector<SChainCount> m_count;
    std::vector<uint32_t> m_chainsToCount;
    uint32_t m_chainStamp = 0;
    uint32_t m_stripStamp = 0;
    std::vector<int32_t> m_affected;
    uint32_t m_pathStamp = 0;

    // The improvement pass under way: keys, where it has got to, and the
    // triangles taken in after it started.
    uint32_t Inner(uint32_t given) const { return m_inner.empty() ? given : m_inner[given]; }
    uint32_t Given(uint32_t inner) const { return m_orig.empty() ? inner : m_orig[inner]; }
    bool Before(uint32_t a, uint32_t b) const
    {
        return m_track[a].key != m_track[b].key ? m_track[a].key < m_track[b].key : Given(a) < Given(b);
    }
    void TakeIn(uint32_t t);
    uint32_t m_queueStamp = 0;
    int m_passShift = 0;
    bool m_inPass = false;
    uint32_t m_current = 0;
    std::vector<SKeyed> m_late; // a heap, earliest first
    struct SLateAfter {
        const CStripGenerator* generator;
        bool operator()(const SKeyed& a, const SKeyed& b) const
        {
            return a.key != b.key ? b.key < a.key : generator->Given(b.tri) < generator->Given(a.tri);
        }
    };
    SLateAfter m_lateAfter{this};

    uint64_t m_work = 0;
    bool m_budgetReached = false;
};

// A walk of t became worth trying during a pass: t is taken in when its
// turn is still to come.
void CStripGenerator::TakeIn(uint32_t t)
{
    if (m_track[t].queued == m_queueStamp || !Before(m_current, t))
        return;
    m_track[t].queued = m_queueStamp;
    m_late.push_back({m_track[t].key, t});
    std::push_heap(m_late.begin(), m_late.end(), m_lateAfter);
}

void CStripGenerator::BuildAdjacency()
{
    STri blank{};
    blank.adj[0] = blank.adj[1] = blank.adj[2] = kNone;
    blank.prev = blank.next = blank.savedPrev = blank.savedNext = kNone;
    blank.parity = blank.savedParity = 1;
    m_t.assign(m_n, blank);

    // Edge slots by start vertex, then end vertex, then triangle: each
    // directed edge's slots form a run in triangle order. A new triangle
    // links its edge (u, v) with the earliest earlier triangle whose edge
    // (v, u) is still free and that it is not linked with yet: the first
    // such slot of that run.
    const size_t slots = size_t(m_n) * 3;
    uint64_t largest = 0;
    for (size_t i = 0; i < slots; ++i)
        largest = std::max<uint64_t>(largest, m_idx[i]);
    // Vertex numbers far beyond the index count are packed first, so that
    // the tables below never outgrow the triangles.
    std::vector<uint32_t> packed;
    if (largest >= slots) {
        packed.assign(m_idx, m_idx + slots);
        std::sort(packed.begin(), packed.end());
        packed.erase(std::unique(packed.begin(), packed.end()), packed.end());
    }
    auto vertex = [&](uint32_t i) {
        return packed.empty() ? i : uint32_t(std::lower_bound(packed.begin(), packed.end(), i) - packed.begin());
    };
    const uint32_t vertexCount = packed.empty() ? uint32_t(largest + 1) : uint32_t(packed.size());
    std::vector<uint32_t> local(slots);
    for (size_t i = 0; i < slots; ++i)
        local[i] = vertex(m_idx[i]);
    std::vector<uint32_t> start(size_t(vertexCount) + 1, 0);
    for (uint32_t t = 0; t < m_n; ++t)
        if (!Degenerate(t))
            for (int s = 0; s < 3; ++s)
                ++start[local[size_t(t) * 3 + s] + 1];
    for (uint32_t v = 0; v < vertexCount; ++v)
        start[v + 1] += start[v];
    struct SEdge {
        uint32_t to;
        uint32_t slot; // 3 x triangle + slot
    };
    std::vector<SEdge> edges(start[vertexCount]);
    {
        std::vector<uint32_t> fill(start.begin(), start.end() - 1);
        for (uint32_t t = 0; t < m_n; ++t) {
            if (Degenerate(t))
                continue;
            const uint32_t* f = &local[size_t(t) * 3];
            for (int s = 0; s < 3; ++s)
                edges[fill[f[s]]++] = {f[(s + 1) % 3], uint32_t(t * 3 + s)};
        }
    }
    for (uint32_t v = 0; v < vertexCount; ++v)
        if (start[v + 1] - start[v] > 1)
            std::sort(edges.begin() + start[v], edges.begin() + start[v + 1],
                      [](const SEdge& x, const SEdge& y) { return x.to != y.to ? x.to < y.to : x.slot < y.slot; });
    // Per run (at its first entry): the first slot that may still be free.
    std::vector<uint32_t> head(edges.size());
    for (size_t i = 0; i < edges.size(); ++i)
        head[i] = uint32_t(i);

    for (uint32_t t = 0; t < m_n; ++t) {
        if (Degenerate(t))
            continue;
        const uint32_t* f = &local[size_t(t) * 3];
        for (int e = 0; e < 3; ++e) {
            const uint32_t u = f[e], v = f[(e + 1) % 3];
            const auto first = edges.begin() + start[v], last = edges.begin() + start[v + 1];
            const auto run = std::lower_bound(first, last, u, [](const SEdge& x, uint32_t to) { return x.to < to; });
            if (run == last || run->to != u)
                continue;
            const uint32_t r = uint32_t(run - edges.begin());
            const uint32_t end = start[v + 1];
            auto taken = [&](uint32_t h) { return m_t[edges[h].slot / 3].adj[edges[h].slot % 3] != kNone; };
            uint32_t h = head[r];
            while (h < end && edges[h].to == u && taken(h))
                ++h;
            head[r] = h;
            // Two triangles link across one edge at most: with two links
            // between them the edge a walk crosses would be ambiguous.
            while (h < end && edges[h].to == u && (taken(h) || LinkedTo(t, int32_t(edges[h].slot / 3))))
                ++h;
            if (h == end || edges[h].to != u || edges[h].slot / 3 >= t)
                continue;
            m_t[t].adj[e] = int32_t(edges[h].slot / 3);
            m_t[edges[h].slot / 3].adj[edges[h].slot % 3] = int32_t(t);
            if (h == head[r])
                head[r] = h + 1;
        }
    }
}

void CStripGenerator::Commit()
{
    m_changed.clear();
    for (int32_t t : m_touched) {
        STri& x = m_t[size_t(t)];
        if (m_tracking && (x.savedPrev != x.prev || x.savedNext != x.next))
            m_changed.push_back(t);
        x.savedPrev = x.prev;
        x.savedNext = x.next;
        x.savedParity = x.parity;
    }
    if (!m_changed.empty())
        TrackChanges();
}

void CStripGenerator::Undo()
{
    for (int32_t t : m_touched) {
        STri& x = m_t[size_t(t)];
        x.prev = x.savedPrev;
        x.next = x.savedNext;
        x.parity = x.savedParity;
    }
}

// Takes t out of its strip and puts it behind `behind` (or at the start of a
// new strip). Returns the change in the number of strips caused by taking
// it out.
int CStripGenerator::Relink(int32_t t, int32_t behind, uint8_t parity)
{
    int change;
    STri& x = m_t[size_t(t)];
    const int32_t prev = x.prev, next = x.next;
    if (next != kNone) {
        STri& n = m_t[size_t(next)];
        Touch(next);
        n.prev = kNone;
        change = 0;
        if (prev != kNone) {
            Touch(prev);
            m_t[size_t(prev)].next = kNone;
            change = 1;
        }
        // A strip cannot start with a reversed triangle: cut it off too.
        if (n.parity == 0 && n.next != kNone) {
            Touch(n.next);
            m_t[size_t(n.next)].prev = kNone;
            n.next = kNone;
            ++change;
        }
    } else if (prev != kNone) {
        Touch(prev);
        m_t[size_t(prev)].next = kNone;
        change = 0;
    } else {
        change = -1;
    }
    Touch(t);
    x.prev = behind;
    x.next = kNone;
    x.visit = m_visitStamp;
    x.parity = parity;
    if (behind != kNone) {
        Touch(behind);
        m_t[size_t(behind)].next = t;
    }
    return change;
}

// Whether a walk from t across slot, kept at a change of 0, would only
// build t's strip again link for link. Every strip is a piece of one walk's
// path whose triangles alternate between kept and reversed winding from a
// kept first one, so a walk from a strip's first triangle towards its second
// follows the strip; on the way the count stands 1 or 2 above the old one,
// and falls to it at the strip's last triangle. A triangle alone gets back
// to its old count at once.
bool CStripGenerator::RebuildsItsStrip(int32_t t, int slot) const
{
    const STri& x = m_t[size_t(t)];
    return x.prev == kNone && (x.next == kNone || (x.next == x.adj[slot] && x.parity == 1));
}

// Grows a strip from t across edge slot `slot`, turning left and right in
// turn, until the strip count has dropped to `threshold` or below (kept) or
// the way ends (undone). Returns true when kept with a change. With resume,
// the walk carries on from the end of the strip the previous kept walk left
// (walking that strip again would rebuild it unchanged and end on a change
// of 0, so it starts from there).
bool CStripGenerator::Walk(int32_t t, int slot, int threshold, bool resume, SWalkEnd* end)
{
    int gain;
    uint8_t parity;
    if (resume) {
        t = end->tri;
        slot = end->slot;
        parity = end->parity;
        gain = 0;
    } else {
        if (threshold == 0 && RebuildsItsStrip(t, slot))
            return false;
        if (m_tracking && (m_track[size_t(t)].mask & 0x40) && !MayKeep(t, slot, threshold))
            return false;
        NextStamp(m_visitStamp, m_t, &STri::visit);
        gain = 1;
        parity = 1;
    }
    NextStamp(m_touchStamp, m_t, &STri::touch);
    m_touched.clear();
    int32_t behind = kNone;
    bool relink = !resume;
    for (;; ++m_work) {
        if (relink) {
            gain += Relink(t, behind, parity);
            if (gain <= threshold) {
                Commit();
                if (end)
                    *end = {t, slot, parity};
                return gain != 0;
            }
        }
        relink = true;
        const int32_t next = m_t[size_t(t)].adj[slot];
        if (next == kNone || m_t[size_t(next)].visit == m_visitStamp) {
            Undo();
            return false;
        }
        const int s = SlotOf(next, t);
        slot = parity ? (s + 2) % 3 : (s + 1) % 3;
        parity ^= 1;
        behind = t;
        t = next;
    }
}

void CStripGenerator::InitialStrips()
{
    // Guards against stepping round a closed band of triangles for ever.
    std::vector<uint32_t> stepMark(m_n, 0);
    std::vector<uint8_t> stepSlots(m_n, 0);
    uint32_t sequence = 0;
    for (uint32_t start = 0; start < m_n; ++start) {
        const int32_t* a = m_t[start].adj;
        const int neighbours = (a[0] != kNone) + (a[1] != kNone) + (a[2] != kNone);
        if (neighbours != 1)
            continue;
        int slot = a[0] != kNone ? 0 : a[1] != kNone ? 1 : 2;
        int32_t t = int32_t(start);
        ++sequence;
        for (;;) {
            if (stepMark[size_t(t)] != sequence) {
                stepMark[size_t(t)] = sequence;
                stepSlots[size_t(t)] = 0;
            }
            if (stepSlots[size_t(t)] & (1u << slot))
                break;
            stepSlots[size_t(t)] |= uint8_t(1u << slot);

            SWalkEnd end;
            if (Walk(t, slot, -1, false, &end))
                while (Walk(t, slot, -1, true, &end)) {
                }
            // Two triangles along, to the start of a neighbouring strip.
            const int32_t n1 = m_t[size_t(t)].adj[slot];
            if (n1 == kNone)
                break;
            const int32_t t2 = m_t[size_t(n1)].adj[(SlotOf(n1, t) + 1) % 3];
            if (t2 == kNone)
                break;
            slot = (SlotOf(t2, n1) + 2) % 3;
            t = t2;
        }
    }
}

void CStripGenerator::Renumber()
{
    m_inner.assign(m_n, 0);
    m_orig.clear();
    m_orig.reserve(m_n);
    for (uint32_t t = 0; t < m_n; ++t) {
        if (m_t[t].prev != kNone)
            continue;
        for (int32_t u = int32_t(t); u != kNone; u = m_t[size_t(u)].next) {
            m_inner[size_t(u)] = uint32_t(m_orig.size());
            m_orig.push_back(uint32_t(u));
        }
    }
    if (m_orig.size() != m_n) {
        // Cannot happen (every strip has a start); keep the given numbers.
        m_orig.clear();
        m_inner.clear();
        return;
    }
    auto map = [&](int32_t t) { return t == kNone ? kNone : int32_t(m_inner[size_t(t)]); };
    std::vector<STri> renumbered(m_n);
    for (uint32_t i = 0; i < m_n; ++i) {
        STri x = m_t[m_orig[i]];
        for (int32_t& a : x.adj)
            a = map(a);
        x.prev = map(x.prev);
        x.next = map(x.next);
        x.savedPrev = map(x.savedPrev);
        x.savedNext = map(x.savedNext);
        renumbered[i] = x;
    }
    m_t.swap(renumbered);
}

void CStripGenerator::SaveStrips()
{
    m_initial = m_t;
}

void CStripGenerator::RestoreStrips()
{
    for (uint32_t i = 0; i < m_n; ++i) {
        STri& x = m_t[i];
        const STri& y = m_initial[i];
        x.prev = x.savedPrev = y.prev;
        x.next = x.savedNext = y.next;
        x.parity = x.savedParity = y.parity;
    }
}

// The keys come from rand() after srand(seed); with own (the
// caller found CRandSequence drawing what rand() draws) the same numbers
// come from an own copy of its generator, which is much cheaper per draw and
// lets attempts run side by side.
void CStripGenerator::Improve(unsigned seed, bool own)
{
    CRandSequence sequence(seed);
    if (!own)
        std::srand(seed);
    std::vector<SKeyed> order, scratch;
    m_queueStamp = 0;
    m_work = 0;
    m_budgetReached = false;
    const uint64_t budget = WorkBudget(m_n, kWorkPerTriangle, kWorkFloor);
    StartTracking();
    int checks = 2;
    int threshold = 0;
    while (checks > 0 && !m_budgetReached) {
        --checks;
        // Every triangle gets its key, in triangle order, whatever happens
        // to it in this pass.
        if (own) {
            for (uint32_t t = 0; t < m_n; ++t) {
                const uint64_t r0 = sequence.Next();
                const uint64_t r1 = sequence.Next();
                m_track[Inner(t)].key = r0 * r1;
            }
        } else {
            for (uint32_t t = 0; t < m_n; ++t) {
                const uint64_t r0 = uint64_t(std::rand());
                const uint64_t r1 = uint64_t(std::rand());
                m_track[Inner(t)].key = r0 * r1;
            }
        }
        // Triangles are taken by key, equal keys in triangle order. Only those
        // with a walk worth trying matter: sort them, and take in the ones
        // whose walks become worth trying during the pass as their keys come.
        m_passShift = threshold == 0 ? 0 : 3;
        NextStamp(m_queueStamp, m_track, &STrack::queued);
        order.clear();
        for (uint32_t t = 0; t < m_n; ++t) {
            const uint32_t inner = Inner(t);
            if (m_track[inner].mask & (7u << m_passShift)) {
                order.push_back({m_track[inner].key, inner});
                m_track[inner].queued = m_queueStamp;
            }
        }
        scratch.resize(order.size());
        SortByKey(order, scratch);
        m_late.clear();
        m_inPass = true;
        bool changed = false;
        size_t next = 0;
        for (;;) {
            const bool fromList = next < order.size();
            const bool fromLate = !m_late.empty();
            if (!fromList && !fromLate)
                break;
            uint32_t tri;
            if (fromList && (!fromLate || m_lateAfter(m_late.front(), order[next]))) {
                tri = order[next++].tri;
                // Keys scatter the triangles over memory: fetch ahead.
                if (next + 8 < order.size()) {
                    const STri* ahead = &m_t[order[next + 8].tri];
                    __builtin_prefetch(ahead);
                    __builtin_prefetch(reinterpret_cast<const char*>(ahead + 1) - 1); // records cross lines
                    __builtin_prefetch(&m_track[order[next + 8].tri].mask);
                }
            } else {
                std::pop_heap(m_late.begin(), m_late.end(), m_lateAfter);
                tri = m_late.back().tri;
                m_late.pop_back();
            }
            if (m_work > budget) {
                m_budgetReached = true;
                break;
            }
            m_current = tri;
            for (int slot = 0; slot < 3; ++slot)
                if (m_track[tri].mask & (1u << (m_passShift + slot)))
                    changed |= Walk(int32_t(tri), slot, threshold, false, nullptr);
        }
        m_inPass = false;
        if (changed)
            checks = 2;
        threshold = threshold == 0 ? -1 : 0;
    }
    m_tracking = false;
}

// Whether the improvement passes would leave the initial strips as they are
// whatever the keys: no walk may take in two whole strips, and every walk
// that may take in one only rebuilds its own strip. Then every attempt ends
// with the same strips.
bool CStripGenerator::NothingToImprove()
{
    StartTracking();
    m_tracking = false;
    for (uint32_t t = 0; t < m_n; ++t) {
        if (m_track[t].mask & 0x38)
            return false;
        for (int slot = 0; slot < 3; ++slot)
            if ((m_track[t].mask & (1u << slot)) && !RebuildsItsStrip(int32_t(t), slot))
                return false;
    }
    return true;
}

uint32_t CStripGenerator::NextState(uint32_t state) const
{
    const uint32_t t = state / 6, slot = (state % 6) / 2, parity = state % 2;
    const int32_t next = m_t[t].adj[slot];
    if (next == kNone)
        return ~0u;
    const int s = SlotOf(next, int32_t(t));
    const uint32_t nextSlot = parity ? uint32_t(s + 2) % 3 : uint32_t(s + 1) % 3;
    return uint32_t(next) * 6 + nextSlot * 2 + (parity ^ 1);
}

void CStripGenerator::BuildChains()
{
    const uint32_t states = m_n * 6;
    std::vector<uint32_t> successor(states);
    std::vector<uint8_t> incoming(states, 0);
    for (uint32_t st = 0; st < states; ++st) {
        const uint32_t next = successor[st] = NextState(st);
        if (next != ~0u && incoming[next] < 2)
            ++incoming[next];
    }
    m_position.assign(states, ~0u);
    m_stateAt.clear();
    m_stateAt.reserve(states);
    m_chainStart.clear();
    m_chainJump.clear();
    // Chains start where states do not have exactly one way in; what is left
    // are closed loops, cut anywhere.
    auto chainFrom = [&](uint32_t head) {
        m_chainStart.push_back(uint32_t(m_stateAt.size()));
        uint32_t st = head;
        for (;;) {
            m_position[st] = uint32_t(m_stateAt.size());
            m_stateAt.push_back(st);
            const uint32_t next = successor[st];
            if (next != ~0u && incoming[next] == 1 && m_position[next] == ~0u) {
                st = next;
                continue;
            }
            m_chainJump.push_back(next);
            return;
        }
    };
    for (uint32_t st = 0; st < states; ++st)
        if (incoming[st] != 1)
            chainFrom(st);
    for (uint32_t st = 0; st < states; ++st)
        if (m_position[st] == ~0u)
            chainFrom(st);
    m_chainStart.push_back(states);
    m_chainAt.resize(states);
    for (uint32_t c = 0; c + 1 < m_chainStart.size(); ++c)
        std::fill(m_chainAt.begin() + m_chainStart[c], m_chainAt.begin() + m_chainStart[c + 1], c);
    m_triStates.resize(m_n);
    for (uint32_t st = 0; st < states; ++st) {
        const uint32_t chain = m_chainAt[m_position[st]];
        m_triStates[st / 6].position[st % 6] = m_position[st];
        m_triStates[st / 6].countedChain[st % 6] = m_chainJump[chain] == ~0u ? chain : ~0u;
    }
    MeasurePaths();
}

// A walk stops at the first triangle it has already taken, wherever the
// strips stand: within a chain that is the first position, from the walk's
// start on, whose triangle came earlier. Swept from each chain's end
// backwards (twice round a closed loop, whose walks go round to its start).
void CStripGenerator::MeasurePaths()
{
    m_pathLength.assign(m_stateAt.size(), kUnbounded);
    std::vector<uint32_t> seenAt(m_n, ~0u), seenIn(m_n, ~0u);
    for (uint32_t c = 0; c + 1 < m_chainStart.size(); ++c) {
        const uint32_t start = m_chainStart[c], length = m_chainStart[c + 1] - start;
        const uint32_t jump = m_chainJump[c];
        const bool loop = jump != ~0u && m_position[jump] == start;
        const uint32_t unrolled = loop ? 2 * length : length;
        // stop: the first index (of the unrolled chain) a walk from index j
        // does not take.
        uint32_t stop = unrolled;
        for (uint32_t j = unrolled; j-- > 0;) {
            const uint32_t tri = m_stateAt[start + j % length] / 6;
            if (seenIn[tri] == c)
                stop = std::min(stop, seenAt[tri]);
            seenIn[tri] = c;
            seenAt[tri] = j;
            if (j >= length)
                continue;
            // The way ends with the chain, or goes on into another one.
            if (stop < unrolled || jump == ~0u)
                m_pathLength[start + j] = stop - j;
        }
    }
}

uint32_t CStripGenerator::ChainOf(uint32_t position) const
{
    return m_chainAt[position];
}

void CStripGenerator::SetEndpoint(int32_t t, bool endpoint)
{
    m_track[size_t(t)].isEnd = endpoint;
    for (uint32_t k = 0; k < 6; ++k)
        SetBit(m_endBits, m_triStates[size_t(t)].position[k], endpoint);
}

// Finds the ends of the strip through t (once per strip and change) and
// notes them as affected when their partners changed.
void CStripGenerator::NoteStrip(int32_t t)
{
    if (m_track[size_t(t)].stripMark == m_stripStamp)
        return;
    int32_t first = t;
    while (m_t[size_t(first)].prev != kNone)
        first = m_t[size_t(first)].prev;
    int32_t last = first;
    m_track[size_t(first)].stripMark = m_stripStamp;
    while (m_t[size_t(last)].next != kNone) {
        last = m_t[size_t(last)].next;
        m_track[size_t(last)].stripMark = m_stripStamp;
    }
    // Ends that were ends before with the same partner change nothing (a
    // strip turned round, say); ends that were not are noted by the caller.
    if (m_track[size_t(first)].partner == last && m_track[size_t(last)].partner == first)
        return;
    m_track[size_t(first)].partner = last;
    m_track[size_t(last)].partner = first;
    m_affected.push_back(first);
    m_affected.push_back(last);
}

void CStripGenerator::SetMaskRange(uint32_t from, uint32_t to, int shift, bool on)
{
    m_work += to - from;
    for (uint32_t pos = from; pos < to; ++pos) {
        const uint32_t st = m_stateAt[pos];
        if ((st & 1) == 0)
            continue; // walks start with parity 1
        const uint8_t bit = uint8_t(1u << (shift + int((st % 6) / 2)));
        if (on) {
            m_track[st / 6].mask |= bit;
            if (m_inPass && shift == m_passShift)
                TakeIn(st / 6);
        } else {
            m_track[st / 6].mask &= uint8_t(~bit);
        }
    }
}

// Recounts, from the end of the chain backwards, where its rest first holds
// one and two whole strips, and updates the masks of the walks in between.
// Only for chains whose paths end in them (the others are checked walk by
// walk).
void CStripGenerator::UpdateChain(uint32_t chain)
{
    SChainCount& count = m_count[chain];
    const uint32_t start = count.start, end = count.end;
    NextStamp(m_pathStamp, m_track, &STrack::pathMark);
    uint32_t one = 0, two = 0;
    int whole = 0;
    for (uint32_t pos = PrevSetBit(m_endBits, end, start); pos != ~0u; pos = PrevSetBit(m_endBits, pos, start)) {
        ++m_work;
        const int32_t tri = int32_t(m_stateAt[pos] / 6);
        if (m_track[size_t(tri)].pathMark == m_pathStamp)
            continue;
        m_track[size_t(tri)].pathMark = m_pathStamp;
        // A triangle alone is its own partner.
        if (m_track[size_t(m_track[size_t(tri)].partner)].pathMark == m_pathStamp) {
            ++whole;
            if (whole == 1)
                one = pos - start + 1;
            if (whole == 2) {
                two = pos - start + 1;
                break;
            }
        }
    }
    const uint32_t oldOne = count.keepOne, oldTwo = count.keepTwo;
    if (one != oldOne)
        SetMaskRange(start + std::min(one, oldOne), start + std::max(one, oldOne), 0, one > oldOne);
    if (two != oldTwo)
        SetMaskRange(start + std::min(two, oldTwo), start + std::max(two, oldTwo), 3, two > oldTwo);
    count.keepOne = one;
    count.keepTwo = two;
}

void CStripGenerator::StartTracking()
{
    if (m_position.empty())
        BuildChains();
    const uint32_t chains = uint32_t(m_chainJump.size());
    m_endBits.assign((size_t(m_n) * 6 + 63) / 64, 0);
    STrack blank{};
    blank.partner = kNone;
    m_track.assign(m_n, blank);
    m_stripStamp = 1;
    m_pathStamp = 0;
    m_count.resize(chains);
    for (uint32_t c = 0; c < chains; ++c)
        m_count[c] = {m_chainStart[c], m_chainStart[c + 1], 0, 0, 0};
    m_chainStamp = 0;
    m_affected.clear();
    for (uint32_t t = 0; t < m_n; ++t) {
        if (Endpoint(int32_t(t)))
            SetEndpoint(int32_t(t), true);
        if (m_t[t].prev == kNone)
            NoteStrip(int32_t(t));
    }
    m_affected.clear();
    for (uint32_t c = 0; c < chains; ++c) {
        if (m_chainJump[c] != ~0u) {
            // Paths that go on into another chain are checked walk by walk.
            for (uint32_t pos = m_chainStart[c]; pos < m_chainStart[c + 1]; ++pos)
                m_track[m_stateAt[pos] / 6].mask |= 0x40;
            SetMaskRange(m_chainStart[c], m_chainStart[c + 1], 0, true);
            SetMaskRange(m_chainStart[c], m_chainStart[c + 1], 3, true);
            continue;
        }
        // Walks that meet their own triangles before the chain ends are
        // checked walk by walk, over what they can take.
        for (uint32_t pos = m_chainStart[c]; pos < m_chainStart[c + 1]; ++pos)
            if ((m_stateAt[pos] & 1) && m_pathLength[pos] < m_chainStart[c + 1] - pos)
                m_track[m_stateAt[pos] / 6].mask |= 0x40;
        UpdateChain(c);
    }
    m_tracking = true;
}

void CStripGenerator::TrackChanges()
{
    NextStamp(m_stripStamp, m_track, &STrack::stripMark);
    m_affected.clear();
    for (int32_t t : m_changed) {
        if (bool(m_track[size_t(t)].isEnd) != Endpoint(t)) {
            SetEndpoint(t, Endpoint(t));
            m_affected.push_back(t);
        }
    }
    for (int32_t t : m_changed)
        NoteStrip(t);
    NextStamp(m_chainStamp, m_count, &SChainCount::mark);
    // The chains lie far apart: fetch them all before counting.
    m_chainsToCount.clear();
    for (int32_t t : m_affected)
        for (uint32_t k = 0; k < 6; ++k) {
            const uint32_t chain = m_triStates[size_t(t)].countedChain[k];
            if (chain != ~0u) {
                // And what the count reads first near the state (short chains).
                const uint32_t pos = m_triStates[size_t(t)].position[k];
                __builtin_prefetch(&m_count[chain]);
                __builtin_prefetch(&m_stateAt[pos]);
                __builtin_prefetch(&m_endBits[pos >> 6]);
                m_chainsToCount.push_back(chain);
            }
        }
    for (uint32_t chain : m_chainsToCount)
        if (m_count[chain].mark != m_chainStamp) {
            m_count[chain].mark = m_chainStamp;
            UpdateChain(chain);
        }
}

// The exact check for walks whose path runs into another chain: counts the
// whole strips along it. The path may be followed past where the walk would
// stop, never short of it.
bool CStripGenerator::MayKeep(int32_t t, int slot, int threshold)
{
    const int required = 1 - threshold;
    NextStamp(m_pathStamp, m_track, &STrack::pathMark);
    int whole = 0;
    struct SRun {
        uint32_t from, chain;
    };
    SRun runs[8];
    int runCount = 0;
    uint32_t pos = m_position[uint32_t(t) * 6 + uint32_t(slot) * 2 + 1];
    uint32_t left = m_pathLength[pos]; // states the walk can take, when known
    for (;;) {
        const uint32_t chain = ChainOf(pos);
        uint32_t limit = m_chainStart[chain + 1];
        bool stop = false;
        for (int r = 0; r < runCount; ++r)
            if (runs[r].chain == chain) {
                // Back on a chain already taken: the walk goes no further.
                if (pos >= runs[r].from)
                    return false;
                limit = runs[r].from;
                stop = true;
            }
        if (left != kUnbounded && left < limit - pos) {
            limit = pos + left;
            stop = true;
        }
        m_work += limit - pos;
        for (uint32_t x = pos; x < limit; ++x) {
            if (!TestBit(m_endBits, x))
                continue;
            const int32_t tri = int32_t(m_stateAt[x] / 6);
            if (m_track[size_t(tri)].pathMark == m_pathStamp)
                continue;
            m_track[size_t(tri)].pathMark = m_pathStamp;
            if (m_track[size_t(m_track[size_t(tri)].partner)].pathMark == m_pathStamp)
                if (++whole >= required)
                    return true;
        }
        if (stop || m_chainJump[chain] == ~0u)
            return false;
        if (left != kUnbounded)
            left -= limit - pos;
        if (runCount == 8)
            return true; // too winding to follow: let the walk decide
        runs[runCount++] = {pos, chain};
        pos = m_position[m_chainJump[chain]];
    }
}

void CStripGenerator::Output(std::vector<uint32_t>* indices, std::vector<uint32_t>* lengths) const
{
    indices->clear();
    lengths->clear();
    indices->reserve(size_t(m_n) * 3);
    std::vector<uint8_t> written(m_n, 0);
    for (uint32_t given = 0; given < m_n; ++given) {
        const uint32_t t = m_inner.empty() ? given : m_inner[given];
        if (m_t[t].prev != kNone)
            continue;
        const uint32_t* f = Face(t);
        written[t] = 1;
        if (m_t[t].next == kNone) {
            indices->insert(indices->end(), {f[0], f[1], f[2]});
            lengths->push_back(1);
            continue;
        }
        // The index opposite the edge shared with the second triangle first.
        const int s = SlotOf(int32_t(t), m_t[t].next);
        uint32_t last0 = f[(s + 2) % 3], last1 = f[s];
        indices->push_back(last0);
        indices->push_back(last1);
        uint32_t length = 0;
        for (int32_t u = int32_t(t); u != kNone; u = m_t[size_t(u)].next) {
            written[size_t(u)] = 1;
            const uint32_t* g = Face(uint32_t(u));
            uint32_t add = g[0];
            for (int k = 0; k < 3; ++k)
                if (g[k] != last0 && g[k] != last1) {
                    add = g[k];
                    break;
                }
            indices->push_back(add);
            last0 = last1;
            last1 = add;
            ++length;
        }
        lengths->push_back(length);
    }
    // Links always run from a strip start, so nothing is left; never lose a
    // triangle all the same.
    for (uint32_t given = 0; given < m_n; ++given) {
        const uint32_t t = m_inner.empty() ? given : m_inner[given];
        if (!written[t]) {
            const uint32_t* f = Face(t);
            indices->insert(indices->end(), {f[0], f[1], f[2]});
            lengths->push_back(1);
        }
    }
}

} // namespace

void GenerateTriStrips(const uint32_t* faces, uint32_t faceCount, std::vector<uint32_t>* indices,
                       std::vector<uint32_t>* lengths, bool* budgetReached)
{
    if (budgetReached)
        *budgetReached = false;
    indices->clear();
    lengths->clear();
    if (faceCount == 0)
        return;
    SStripTables tables;
    CStripGenerator generator(faces, faceCount, tables);
    // Adjacency and the initial strips do not depend on the seed.
    generator.BuildAdjacency();
    generator.InitialStrips();
    generator.Renumber();
    generator.SaveStrips();
    if (generator.NothingToImprove()) {
        generator.Output(indices, lengths);
        return;
    }
    // The attempts only read the shared tables, so with keys from the own
    // copy of the generator they run side by side, each on a copy of the
    // generator; the pick is made in seed order as before. Keys from rand()
    // itself take the library's one state: one mesh at a time.
    const bool own = OwnSequenceMatchesLibrary();
    std::unique_lock<std::mutex> libraryKeys(g_libraryKeys, std::defer_lock);
    if (!own)
        libraryKeys.lock();
    struct SAttempt {
        std::vector<uint32_t> indices, lengths;
        bool budgetReached = false;
    };
    std::vector<SAttempt> attempts(kAttempts);
    auto attempt = [&](CStripGenerator& g, size_t seed) {
        g.RestoreStrips();
        g.Improve(unsigned(seed), own);
        attempts[seed].budgetReached = g.BudgetReached();
        g.Output(&attempts[seed].indices, &attempts[seed].lengths);
    };
    // Below this a thread costs more than it saves.
    constexpr uint32_t kParallelTriangles = 2048;
    if (own && faceCount >= kParallelTriangles && ParallelWorkers() > 1) {
        ParallelFor(kAttempts, [&](size_t seed) {
            CStripGenerator copy(generator);
            attempt(copy, seed);
        });
    } else {
        for (size_t seed = 0; seed < kAttempts; ++seed)
            attempt(generator, seed);
    }
    size_t best = 0;
    for (size_t seed = 1; seed < kAttempts; ++seed)
        if (attempts[seed].lengths.size() < attempts[best].lengths.size())
            best = seed;
    indices->swap(attempts[best].indices);
    lengths->swap(attempts[best].lengths);
    if (budgetReached)
        for (const SAttempt& a : attempts)
            *budgetReached = *budgetReached || a.budgetReached;
}

bool TriStripOrder(uint32_t* faces, uint32_t faceCount)
{
    std::vector<uint32_t> indices, lengths;
    bool budgetReached = false;
    GenerateTriStrips(faces, faceCount, &indices, &lengths, &budgetReached);
    size_t base = 0, out = 0;
    for (uint32_t length : lengths) {
        for (uint32_t k = 0; k < length; ++k) {
            const uint32_t* s = &indices[base + k];
            uint32_t* f = faces + out * 3;
            if (k % 2 == 1) {
                f[0] = s[1];
                f[1] = s[0];
            } else {
                f[0] = s[0];
                f[1] = s[1];
            }
            f[2] = s[2];
            ++out;
        }
        base += length + 2;
    }
    return budgetReached;
}
