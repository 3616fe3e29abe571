#include "process/TriStrip.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int32_t kNone = -1;
constexpr int kAttempts = 5;

// Open-addressing map from a directed edge (two 32-bit indices) to a dense
// number. The all-ones key never occurs: it is an edge from a vertex to
// itself, and triangles with such edges take no part in strips.
class CEdgeMap {
public:
    explicit CEdgeMap(size_t expected)
    {
        size_t capacity = 16;
        while (capacity < expected * 2)
            capacity *= 2;
        m_mask = capacity - 1;
        m_keys.assign(capacity, kEmpty);
        m_ids.resize(capacity);
    }

    uint32_t Insert(uint64_t key)
    {
        for (size_t h = Hash(key);; h = (h + 1) & m_mask) {
            if (m_keys[h] == key)
                return m_ids[h];
            if (m_keys[h] == kEmpty) {
                m_keys[h] = key;
                m_ids[h] = m_count;
                return m_count++;
            }
        }
    }

    int64_t Find(uint64_t key) const
    {
        for (size_t h = Hash(key);; h = (h + 1) & m_mask) {
            if (m_keys[h] == key)
                return m_ids[h];
            if (m_keys[h] == kEmpty)
                return -1;
        }
    }

    uint32_t Size() const { return m_count; }

private:
    static constexpr uint64_t kEmpty = ~uint64_t(0);
    size_t Hash(uint64_t key) const { return size_t((key * 0x9E3779B97F4A7C15ull) >> 20) & m_mask; }

    std::vector<uint64_t> m_keys;
    std::vector<uint32_t> m_ids;
    size_t m_mask = 0;
    uint32_t m_count = 0;
};

uint64_t EdgeKey(uint32_t from, uint32_t to)
{
    return (uint64_t(from) << 32) | to;
}

class CStripGenerator {
public:
    CStripGenerator(const uint32_t* faces, uint32_t faceCount) : m_idx(faces), m_n(faceCount) {}

    void BuildAdjacency();
    void Reset();
    void InitialStrips();
    void Improve();
    void Output(std::vector<uint32_t>* indices, std::vector<uint32_t>* lengths) const;

private:
    struct SWalkEnd {
        int32_t tri;
        int slot;
        uint8_t parity;
    };

    bool Degenerate(uint32_t t) const
    {
        const uint32_t* f = m_idx + size_t(t) * 3;
        return f[0] == f[1] || f[1] == f[2] || f[2] == f[0];
    }
    int SlotOf(int32_t t, int32_t neighbour) const
    {
        const int32_t* a = &m_adj[size_t(t) * 3];
        return a[0] == neighbour ? 0 : a[1] == neighbour ? 1 : 2;
    }
    void Touch(int32_t t)
    {
        if (m_touchMark[t] != m_touchStamp) {
            m_touchMark[t] = m_touchStamp;
            m_touched.push_back(t);
        }
    }
    void NextStamp(uint32_t& stamp, std::vector<uint32_t>& marks)
    {
        if (++stamp == 0) {
            std::fill(marks.begin(), marks.end(), 0);
            stamp = 1;
        }
    }
    int Relink(int32_t t, int32_t behind, uint8_t parity);
    bool Walk(int32_t t, int slot, int threshold, bool resume, SWalkEnd* end);
    void Commit();
    void Undo();

    const uint32_t* m_idx;
    uint32_t m_n;
    std::vector<int32_t> m_adj; // neighbour across edge 0 (a-b), 1 (b-c), 2 (c-a)

    // Strip links being changed by the current walk, and the kept copy.
    std::vector<int32_t> m_prev, m_next, m_savedPrev, m_savedNext;
    std::vector<uint8_t> m_parity, m_savedParity;

    std::vector<uint32_t> m_visitMark;
    uint32_t m_visitStamp = 0;
    std::vector<uint32_t> m_touchMark;
    uint32_t m_touchStamp = 0;
    std::vector<int32_t> m_touched;
};

void CStripGenerator::BuildAdjacency()
{
    const size_t slots = size_t(m_n) * 3;
    m_adj.assign(slots, kNone);

    // Every edge slot, grouped by its directed edge, in triangle order. A
    // new triangle links each edge (u, v) with the earliest earlier triangle
    // whose edge (v, u) is still free: the first free entry of that group.
    CEdgeMap map(slots);
    std::vector<uint32_t> group(slots, 0);
    for (uint32_t t = 0; t < m_n; ++t) {
        if (Degenerate(t))
            continue;
        const uint32_t* f = m_idx + size_t(t) * 3;
        for (int s = 0; s < 3; ++s)
            group[size_t(t) * 3 + s] = map.Insert(EdgeKey(f[s], f[(s + 1) % 3]));
    }
    const uint32_t groups = map.Size();
    std::vector<uint32_t> start(size_t(groups) + 1, 0);
    for (uint32_t t = 0; t < m_n; ++t)
        if (!Degenerate(t))
            for (int s = 0; s < 3; ++s)
                ++start[group[size_t(t) * 3 + s] + 1];
    for (uint32_t g = 0; g < groups; ++g)
        start[g + 1] += start[g];
    std::vector<uint32_t> entries(start[groups]);
    std::vector<uint32_t> head(start.begin(), start.end() - 1);
    for (uint32_t t = 0; t < m_n; ++t)
        if (!Degenerate(t))
            for (int s = 0; s < 3; ++s)
                entries[head[group[size_t(t) * 3 + s]]++] = uint32_t(t * 3 + s);
    std::copy(start.begin(), start.end() - 1, head.begin());

    for (uint32_t t = 0; t < m_n; ++t) {
        if (Degenerate(t))
            continue;
        const uint32_t* f = m_idx + size_t(t) * 3;
        for (int e = 0; e < 3; ++e) {
            const int64_t g = map.Find(EdgeKey(f[(e + 1) % 3], f[e]));
            if (g < 0)
                continue;
            uint32_t h = head[size_t(g)];
            const uint32_t end = start[size_t(g) + 1];
            while (h < end && m_adj[entries[h]] != kNone)
                ++h;
            head[size_t(g)] = h;
            if (h == end || entries[h] / 3 >= t)
                continue;
            m_adj[size_t(t) * 3 + e] = int32_t(entries[h] / 3);
            m_adj[entries[h]] = int32_t(t);
            head[size_t(g)] = h + 1;
        }
    }
}

void CStripGenerator::Reset()
{
    m_prev.assign(m_n, kNone);
    m_next.assign(m_n, kNone);
    m_savedPrev.assign(m_n, kNone);
    m_savedNext.assign(m_n, kNone);
    m_parity.assign(m_n, 1);
    m_savedParity.assign(m_n, 1);
    m_visitMark.assign(m_n, 0);
    m_visitStamp = 0;
    m_touchMark.assign(m_n, 0);
    m_touchStamp = 0;
    m_touched.clear();
}

void CStripGenerator::Commit()
{
    for (int32_t t : m_touched) {
        m_savedPrev[t] = m_prev[t];
        m_savedNext[t] = m_next[t];
        m_savedParity[t] = m_parity[t];
    }
}

void CStripGenerator::Undo()
{
    for (int32_t t : m_touched) {
        m_prev[t] = m_savedPrev[t];
        m_next[t] = m_savedNext[t];
        m_parity[t] = m_savedParity[t];
    }
}

// Takes t out of its strip and puts it behind `behind` (or at the start of a
// new strip). Returns the change in the number of strips caused by taking
// it out.
int CStripGenerator::Relink(int32_t t, int32_t behind, uint8_t parity)
{
    int change;
    const int32_t prev = m_prev[t], next = m_next[t];
    if (next != kNone) {
        Touch(next);
        m_prev[next] = kNone;
        change = 0;
        if (prev != kNone) {
            Touch(prev);
            m_next[prev] = kNone;
            change = 1;
        }
        // A strip cannot start with a reversed triangle: cut it off too.
        if (m_parity[next] == 0 && m_next[next] != kNone) {
            const int32_t after = m_next[next];
            Touch(after);
            m_prev[after] = kNone;
            m_next[next] = kNone;
            ++change;
        }
    } else if (prev != kNone) {
        Touch(prev);
        m_next[prev] = kNone;
        change = 0;
    } else {
        change = -1;
    }
    Touch(t);
    m_prev[t] = behind;
    m_next[t] = kNone;
    m_visitMark[t] = m_visitStamp;
    m_parity[t] = parity;
    if (behind != kNone) {
        Touch(behind);
        m_next[behind] = t;
    }
    return change;
}

// Grows a strip from t across edge slot `slot`, turning left and right in
// turn, until the strip count has dropped to `threshold` or below (kept) or
// the way ends (undone). Returns true when kept with a change. With resume,
// the walk carries on from the end of the strip the previous kept walk left
// (walking that strip again would rebuild it unchanged and end on a change
// of 0, so it starts from there).
bool CStripGenerator::Walk(int32_t t, int slot, int threshold, bool resume, SWalkEnd* end)
{
    NextStamp(m_touchStamp, m_touchMark);
    m_touched.clear();
    int gain;
    uint8_t parity;
    int32_t behind = kNone;
    if (resume) {
        t = end->tri;
        slot = end->slot;
        parity = end->parity;
        gain = 0;
    } else {
        NextStamp(m_visitStamp, m_visitMark);
        gain = 1;
        parity = 1;
    }
    bool relink = !resume;
    for (;;) {
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
        const int32_t next = m_adj[size_t(t) * 3 + slot];
        if (next == kNone || m_visitMark[next] == m_visitStamp) {
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
        const int32_t* a = &m_adj[size_t(start) * 3];
        const int neighbours = (a[0] != kNone) + (a[1] != kNone) + (a[2] != kNone);
        if (neighbours != 1)
            continue;
        int slot = a[0] != kNone ? 0 : a[1] != kNone ? 1 : 2;
        int32_t t = int32_t(start);
        ++sequence;
        for (;;) {
            if (stepMark[t] != sequence) {
                stepMark[t] = sequence;
                stepSlots[t] = 0;
            }
            if (stepSlots[t] & (1u << slot))
                break;
            stepSlots[t] |= uint8_t(1u << slot);

            SWalkEnd end;
            if (Walk(t, slot, -1, false, &end))
                while (Walk(t, slot, -1, true, &end)) {
                }
            // Two triangles along, to the start of a neighbouring strip.
            const int32_t n1 = m_adj[size_t(t) * 3 + slot];
            if (n1 == kNone)
                break;
            const int32_t t2 = m_adj[size_t(n1) * 3 + (SlotOf(n1, t) + 1) % 3];
            if (t2 == kNone)
                break;
            slot = (SlotOf(t2, n1) + 2) % 3;
            t = t2;
        }
    }
}

void CStripGenerator::Improve()
{
    struct SKeyed {
        uint64_t key;
        uint32_t tri;
    };
    std::vector<SKeyed> order(m_n);
    int checks = 2;
    int threshold = 0;
    while (checks > 0) {
        --checks;
        for (uint32_t t = 0; t < m_n; ++t) {
            const uint64_t r0 = uint64_t(std::rand());
            const uint64_t r1 = uint64_t(std::rand());
            order[t] = {r0 * r1, t};
        }
        std::sort(order.begin(), order.end(), [](const SKeyed& x, const SKeyed& y) {
            return x.key != y.key ? x.key < y.key : x.tri < y.tri;
        });
        bool changed = false;
        for (const SKeyed& k : order)
            for (int slot = 0; slot < 3; ++slot)
                changed |= Walk(int32_t(k.tri), slot, threshold, false, nullptr);
        if (changed)
            checks = 2;
        threshold = threshold == 0 ? -1 : 0;
    }
}

void CStripGenerator::Output(std::vector<uint32_t>* indices, std::vector<uint32_t>* lengths) const
{
    indices->clear();
    lengths->clear();
    indices->reserve(size_t(m_n) * 3);
    std::vector<uint8_t> written(m_n, 0);
    for (uint32_t t = 0; t < m_n; ++t) {
        if (m_prev[t] != kNone)
            continue;
        const uint32_t* f = m_idx + size_t(t) * 3;
        written[t] = 1;
        if (m_next[t] == kNone) {
            indices->insert(indices->end(), {f[0], f[1], f[2]});
            lengths->push_back(1);
            continue;
        }
        // The index opposite the edge shared with the second triangle first.
        const int s = SlotOf(int32_t(t), m_next[t]);
        uint32_t last0 = f[(s + 2) % 3], last1 = f[s];
        indices->push_back(last0);
        indices->push_back(last1);
        uint32_t length = 0;
        for (int32_t u = int32_t(t); u != kNone; u = m_next[u]) {
            written[u] = 1;
            const uint32_t* g = m_idx + size_t(u) * 3;
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
    for (uint32_t t = 0; t < m_n; ++t)
        if (!written[t]) {
            const uint32_t* f = m_idx + size_t(t) * 3;
            indices->insert(indices->end(), {f[0], f[1], f[2]});
            lengths->push_back(1);
        }
}

} // namespace

void GenerateTriStrips(const uint32_t* faces, uint32_t faceCount, std::vector<uint32_t>* indices,
                       std::vector<uint32_t>* lengths)
{
    indices->clear();
    lengths->clear();
    if (faceCount == 0)
        return;
    CStripGenerator generator(faces, faceCount);
    generator.BuildAdjacency(); // the same for every attempt
    std::vector<uint32_t> tryIndices, tryLengths;
    for (int seed = 0; seed < kAttempts; ++seed) {
        std::srand(unsigned(seed));
        generator.Reset();
        generator.InitialStrips();
        generator.Improve();
        generator.Output(&tryIndices, &tryLengths);
        if (seed == 0 || tryLengths.size() < lengths->size()) {
            indices->swap(tryIndices);
            lengths->swap(tryLengths);
        }
    }
}

void TriStripOrder(uint32_t* faces, uint32_t faceCount)
{
    std::vector<uint32_t> indices, lengths;
    GenerateTriStrips(faces, faceCount, &indices, &lengths);
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
}
