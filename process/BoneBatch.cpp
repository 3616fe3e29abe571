#include "process/BoneBatch.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <unordered_map>

#include "scene/Scene.h"

namespace {

constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();

// The palette option may hold any number; rows wider than the largest
// palette offered are only made when the mesh has that many bones, since a
// row never holds more than every bone of the mesh.
constexpr uint32_t kLargestOfferedPalette = 9999;

// A set of bones: the bone numbers in insertion order, and the same bones
// as sorted dense ids for set comparisons.
struct SBoneSet {
    std::vector<int32_t> bones;
    std::vector<uint32_t> ids;
};

// The distinct bone sets of the triangles. Equal sets with different
// insertion orders share one canonical entry (the comparisons only see the
// sorted ids).
struct SSetTable {
    std::vector<SBoneSet> sets;             // by set number
    std::vector<uint32_t> canonical;        // set number -> canonical number
    std::vector<uint32_t> firstOfCanonical; // canonical number -> a set number
    std::unordered_map<std::string, uint32_t> byOrder;
    std::unordered_map<std::string, uint32_t> byIds;
};

std::string KeyOf(const uint32_t* ids, size_t n)
{
    return std::string(reinterpret_cast<const char*>(ids), n * sizeof(uint32_t));
}

struct SVertexReader {
    const uint8_t* vertices;
    uint32_t stride, weightOffset, indexOffset, n;
    EZGXTDataType weightType, indexType;

    void Read(uint32_t v, float weights[4], float indices[4]) const
    {
        const uint8_t* at = vertices + size_t(v) * stride;
        ReadVertex(weights, at + weightOffset, weightType, n);
        ReadVertex(indices, at + indexOffset, indexType, n);
    }
};

// A vertex's influences as the batching reads them, read once per vertex
// (a vertex is a corner of several triangles): the bone of each slot whose
// weight is not zero, and whether one of those names a negative (or
// unreadable) bone.
struct SVertexBones {
    int32_t bone[4];
    uint8_t weighted; // bit k: slot k has a weight
    bool bad;
};

SVertexBones ReadVertexBones(const SVertexReader& reader, uint32_t v)
{
    SVertexBones out{{0, 0, 0, 0}, 0, false};
    float w[4], idx[4];
    reader.Read(v, w, idx);
    for (uint32_t k = 0; k < reader.n; ++k) {
        if (w[k] == 0.0f)
            continue;
        const double b = std::trunc(double(idx[k]));
        if (!(b >= 0.0) || b > double(std::numeric_limits<int32_t>::max())) {
            out.bad = true;
            continue;
        }
        out.bone[k] = int32_t(b);
        out.weighted |= uint8_t(1u << k);
    }
    return out;
}

// The bones of one triangle in insertion order; false when it needs more
// than limit bones or names a negative (or unreadable) bone.
bool TriangleBones(const std::vector<SVertexBones>& vertexBones, uint32_t n, const uint32_t* face, uint32_t limit,
                   std::vector<int32_t>& bones)
{
    bones.clear();
    for (int c = 0; c < 3; ++c) {
        const SVertexBones& vb = vertexBones[face[c]];
        if (vb.bad)
            return false;
        for (uint32_t k = 0; k < n; ++k) {
            if (!(vb.weighted >> k & 1))
                continue;
            const int32_t bone = vb.bone[k];
            if (std::find(bones.begin(), bones.end(), bone) != bones.end())
                continue;
            if (bones.size() >= limit)
                return false;
            bones.push_back(bone);
        }
    }
    return true;
}

struct SBatch {
    SBoneSet set;
    bool removed = false;
};

// Bone sets as bit masks of `words` 64-bit words when every dense bone id
// fits in kMaskWords words: set tests become a few word operations.
constexpr size_t kMaskWords = 4;

size_t MaskWords(size_t boneCount)
{
    const size_t words = (boneCount + 63) / 64;
    return words <= kMaskWords ? std::max<size_t>(words, 1) : 0;
}

void SetMask(uint64_t* mask, const std::vector<uint32_t>& ids)
{
    for (uint32_t id : ids)
        mask[id / 64] |= uint64_t(1) << (id % 64);
}

// A takes in B's bones: the missing ones join in B's insertion order.
void TakeIn(SBoneSet& A, const SBoneSet& B)
{
    for (int32_t bone : B.bones)
        if (std::find(A.bones.begin(), A.bones.end(), bone) == A.bones.end())
            A.bones.push_back(bone);
    std::vector<uint32_t> ids;
    std::set_union(A.ids.begin(), A.ids.end(), B.ids.begin(), B.ids.end(), std::back_inserter(ids));
    A.ids = std::move(ids);
}

// A trie of bone lists (sorted dense ids; a triangle's list, so at most 12
// ids deep: the walks recurse once per id) with the numbers (batch
// positions, set numbers) of the lists that end at each node. Every node
// counts the lists at or below it and keeps bounds of their numbers and
// lengths (exact unless a node with very many children lost a list: a low
// bound only prunes less).
//
// The walks are bound by memory reads, so the layout is compact: a node is
// a small record holding its id and bounds, the children of a node are
// records side by side (a walk reads the bounds of all of them in one go
// and enters only those that pass), and the lists ending at a node lie in
// a block of their own array. A trie filled at once is laid out depth first
// with each node's children together, so the nodes of a subtree lie
// together. A block that outgrows its room moves to the end of its array.
class CBatchTrie {
public:
    // A trie walked for the lowest number keeps its bounds exact as lists
    // go; one walked for every list keeps low bounds, which only prune
    // less, and saves the work.
    explicit CBatchTrie(bool boundsNumbers = true) : m_boundsNumbers(boundsNumbers) {}

    // A list, followed by `tail` ids not in the trie (of a longer list of
    // which it is a run).
    void Add(const std::vector<uint32_t>& ids, uint32_t pos)
    {
        Update(ids.data(), ids.size(), pos, 0, +1);
        Settle();
    }
    void Remove(const std::vector<uint32_t>& ids, uint32_t pos) { Remove(ids.data(), ids.size(), pos); }
    void Remove(const uint32_t* ids, size_t size, uint32_t pos)
    {
        Update(ids, size, pos, 0, -1);
        Settle();
    }

    // Adds many lists; into an empty trie in the compact layout. A list
    // points at ids that stay put until then.
    struct SList {
        const uint32_t* ids;
        uint32_t size, pos, tail;
        bool operator<(const SList& o) const
        {
            const auto at = std::mismatch(ids, ids + size, o.ids, o.ids + o.size);
            if (at.first != ids + size && at.second != o.ids + o.size)
                return *at.first < *at.second;
            return size != o.size ? size < o.size : pos < o.pos;
        }
    };
    void AddAll(std::vector<SList>& lists)
    {
        std::sort(lists.begin(), lists.end());
        if (m_nodes[0].kidCount || m_nodes[0].exactCount) {
            for (const SList& list : lists) {
                Update(list.ids, list.size, list.pos, list.tail, +1);
                Settle();
            }
            return;
        }
        size_t nodes = 1;
        for (size_t i = 0; i < lists.size(); ++i) {
            // Nodes past the prefix shared with the list before.
            size_t shared = 0;
            if (i > 0) {
                const SList &a = lists[i - 1], &b = lists[i];
                while (shared < a.size && shared < b.size && a.ids[shared] == b.ids[shared])
                    ++shared;
            }
            nodes += lists[i].size - shared;
        }
        m_nodes.reserve(nodes);
        m_exact.reserve(lists.size());
        Build(0, lists, 0, lists.size(), 0);
        m_lists = m_listsAtLayout = lists.size();
    }

    // Calls visit(pos) for the lists whose ids all lie in a set (inSet marks
    // its ids, sorted lists them), skipping subtrees whose numbers are all
    // at or above `below` (visit may lower it). The walk only follows
    // prefixes that lie in the set and whose lists can go on with its ids
    // after them, `allowed` of their tails' ids aside.
    template <class Visit>
    void Inside(const std::vector<uint8_t>& inSet, const std::vector<uint32_t>& sorted, size_t allowed,
                const uint32_t& below, Visit&& visit) const
    {
        InsideFrom(0, inSet, sorted, 0, allowed, below, visit);
    }

    // The lowest number below `below` whose list lies in the set (kNone
    // when none).
    uint32_t LowestInside(const std::vector<uint8_t>& inSet, const std::vector<uint32_t>& sorted,
                          uint32_t below = kNone) const
    {
        uint32_t best = below;
        Inside(inSet, sorted, 0, best, [&](uint32_t pos) { best = std::min(best, pos); });
        return best == below ? kNone : best;
    }

    // The lowest number below `below` whose list has at most `allowed` ids
    // outside the set (kNone when none).
    uint32_t LowestWithin(const std::vector<uint8_t>& inSet, const std::vector<uint32_t>& sorted, uint32_t allowed,
                          uint32_t below = kNone) const
    {
        uint32_t best = below;
        Within(inSet, sorted, 0, 0, allowed, best);
        return best == below ? kNone : best;
    }

private:
    // A block's room: its entries exactly (as laid out at once), or a power
    // of two when grown one entry at a time.
    static constexpr uint8_t kExactRoom = 0xFF;
    static constexpr uint16_t kNoLength = 0xFFFF;

    struct SNode {
        uint32_t id = 0;                    // the id this node adds to its parent's
        uint32_t batches = 0;               // lists at or below
        uint32_t lowest = kNone;            // a lower bound of their numbers
        uint32_t kids = 0, kidCount = 0;    // the children: m_nodes[kids, kids + kidCount), by id
        uint32_t exact = 0, exactCount = 0; // the lists ending here: a block of m_exact, by number
        uint8_t kidRoom = kExactRoom;       // the blocks' rooms
        uint8_t exactRoom = kExactRoom;     //
        uint16_t shortest = kNoLength;      // a lower bound of their ids after this node
    };
    struct SExact {
        uint32_t pos, tail;
    };
    static bool ExactBefore(const SExact& e, uint32_t pos) { return e.pos < pos; }
    // Nodes with more children (or lists ending there) keep a low bound
    // after a removal rather than look at every one.
    static constexpr size_t kRecomputeChildren = 64;

    std::vector<SNode> m_nodes = std::vector<SNode>(1); // node 0 is the root
    std::vector<SExact> m_exact;
    std::vector<uint32_t> m_path; // nodes of the list being updated
    bool m_boundsNumbers;
    size_t m_lists = 0;         // lists in the trie
    size_t m_listsAtLayout = 0; // ... when it was last laid out
    size_t m_changes = 0;       // lists added or removed since

    // Lays the trie out afresh once many lists came or went since the last
    // time (a cost in proportion to those changes): added nodes lie where
    // there was room, and nodes whose lists all went are dropped.
    void Settle()
    {
        if (++m_changes < m_listsAtLayout / 2 + 1024)
            return;
        std::vector<SNode> nodes(1);
        std::vector<SExact> exact;
        nodes.reserve(m_nodes.size());
        exact.reserve(m_lists);
        CopyBelow(0, 0, nodes, exact);
        m_nodes = std::move(nodes);
        m_exact = std::move(exact);
        m_listsAtLayout = m_lists;
        m_changes = 0;
    }

    // Copies node `from` and the nodes below it that hold lists into new
    // arrays as node `to`, in the layout of Build.
    void CopyBelow(uint32_t from, uint32_t to, std::vector<SNode>& nodes, std::vector<SExact>& exact) const
    {
        const SNode& f = m_nodes[from];
        uint32_t live = 0;
        for (uint32_t kid = f.kids; kid < f.kids + f.kidCount; ++kid)
            live += m_nodes[kid].batches ? 1 : 0;
        const uint32_t first = uint32_t(nodes.size());
        nodes.resize(nodes.size() + live);
        SNode& t = nodes[to];
        t = f;
        t.exact = uint32_t(exact.size());
        t.exactRoom = t.kidRoom = kExactRoom;
        exact.insert(exact.end(), m_exact.begin() + f.exact, m_exact.begin() + f.exact + f.exactCount);
        t.kids = first;
        t.kidCount = live;
        uint32_t next = first;
        for (uint32_t kid = f.kids; kid < f.kids + f.kidCount; ++kid)
            if (m_nodes[kid].batches)
                CopyBelow(kid, next++, nodes, exact);
    }

    // A length as a bound (a lower one when it does not fit).
    static uint16_t LengthBound(size_t length) { return uint16_t(std::min<size_t>(length, kNoLength - 1)); }

    uint32_t Child(uint32_t node, uint32_t id) const
    {
        const SNode& n = m_nodes[node];
        const SNode* begin = m_nodes.data() + n.kids;
        const SNode* it = std::lower_bound(begin, begin + n.kidCount, id,
                                           [](const SNode& kid, uint32_t value) { return kid.id < value; });
        return it != begin + n.kidCount && it->id == id ? uint32_t(it - m_nodes.data()) : kNone;
    }

    // Makes room in a block for one more entry, moving it to the end of its
    // array when full.
    template <class T>
    static void MakeRoom(std::vector<T>& array, uint32_t& begin, uint32_t count, uint8_t& roomLog)
    {
        const size_t room = roomLog == kExactRoom ? count : size_t(1) << roomLog;
        if (count < room)
            return;
        uint8_t log = 1;
        while ((size_t(1) << log) < room * 2)
            ++log;
        const size_t grown = size_t(1) << log;
        if (begin + room == array.size()) {
            array.resize(array.size() + (grown - room));
        } else {
            const size_t at = array.size();
            array.resize(at + grown);
            std::copy(array.begin() + begin, array.begin() + begin + count, array.begin() + at);
            begin = uint32_t(at);
        }
        roomLog = log;
    }

    // Lays out lists[lo, hi), which share their first `depth` ids, below
    // node: the lists ending here, then one child per next id side by side,
    // then the children's subtrees in order.
    void Build(uint32_t node, const std::vector<SList>& lists, size_t lo, size_t hi, size_t depth)
    {
        uint32_t lowest = kNone;
        size_t shortest = kNoLength, end = lo;
        for (size_t i = lo; i < hi; ++i) {
            lowest = std::min(lowest, lists[i].pos);
            shortest = std::min<size_t>(shortest, lists[i].size - depth + lists[i].tail);
            if (lists[i].size == depth) {
                end = i + 1; // shorter lists sort first
                m_exact.push_back({lists[i].pos, lists[i].tail});
            }
        }
        size_t groups = 0;
        for (size_t i = end; i < hi; ++i)
            groups += i == end || lists[i].ids[depth] != lists[i - 1].ids[depth] ? 1 : 0;
        const uint32_t first = uint32_t(m_nodes.size());
        m_nodes.resize(m_nodes.size() + groups);
        SNode& n = m_nodes[node];
        if (depth > 0) {
            n.batches = uint32_t(hi - lo);
            n.lowest = lowest;
            n.shortest = LengthBound(shortest);
        }
        n.exact = uint32_t(m_exact.size() - (end - lo));
        n.exactCount = uint32_t(end - lo);
        n.kids = first;
        n.kidCount = uint32_t(groups);
        uint32_t child = first;
        for (size_t i = end; i < hi; ++child) {
            size_t j = i + 1;
            while (j < hi && lists[j].ids[depth] == lists[i].ids[depth])
                ++j;
            m_nodes[child].id = lists[i].ids[depth];
            Build(child, lists, i, j, depth + 1);
            i = j;
        }
    }

    // The walk below node, sorted[from..] being the set's ids after the
    // node's own: through the children when there are fewer of them, else
    // through the set's ids.
    template <class Visit>
    void InsideFrom(uint32_t node, const std::vector<uint8_t>& inSet, const std::vector<uint32_t>& sorted, size_t from,
                    size_t allowed, const uint32_t& below, Visit& visit) const
    {
        auto passes = [&](const SNode& c, size_t next) {
            return c.batches != 0 && c.lowest < below && c.shortest <= sorted.size() - next + allowed;
        };
        // The children that pass are entered a few at a time, after asking
        // for all their blocks: the reads from memory then overlap.
        constexpr size_t kAhead = 16;
        uint32_t ahead[kAhead];
        size_t aheadNext[kAhead], count = 0;
        auto enterAll = [&] {
            for (size_t i = 0; i < count; ++i) {
                const SNode& c = m_nodes[ahead[i]];
                if (!passes(c, aheadNext[i])) // `below` may have dropped
                    continue;
                for (uint32_t e = c.exact; e < c.exact + c.exactCount && m_exact[e].pos < below; ++e)
                    visit(m_exact[e].pos);
                if (c.kidCount)
                    InsideFrom(ahead[i], inSet, sorted, aheadNext[i], allowed, below, visit);
            }
            count = 0;
        };
        auto consider = [&](uint32_t child, size_t next) {
            const SNode& c = m_nodes[child];
            if (!passes(c, next))
                return;
            if (c.kidCount)
                __builtin_prefetch(&m_nodes[c.kids]);
            if (c.exactCount)
                __builtin_prefetch(&m_exact[c.exact]);
            ahead[count] = child;
            aheadNext[count++] = next;
            if (count == kAhead)
                enterAll();
        };
        const SNode& n = m_nodes[node];
        if (n.kidCount <= sorted.size() - from) {
            for (uint32_t kid = n.kids; kid < n.kids + n.kidCount; ++kid)
                if (const uint32_t id = m_nodes[kid].id; inSet[id])
                    consider(kid,
                             size_t(std::lower_bound(sorted.begin() + from, sorted.end(), id) - sorted.begin()) + 1);
        } else {
            for (size_t i = from; i < sorted.size(); ++i)
                if (const uint32_t child = Child(node, sorted[i]); child != kNone)
                    consider(child, i + 1);
        }
        enterAll();
    }

    // The lowest list below node with at most `allowed` ids outside the set
    // (the path so far used `used` of them).
    void Within(const std::vector<uint8_t>& inSet, const std::vector<uint32_t>& sorted, uint32_t node, uint32_t used,
                uint32_t allowed, uint32_t& best) const
    {
        auto visit = [&](uint32_t child, uint32_t nowUsed) {
            const SNode& c = m_nodes[child];
            if (c.batches == 0 || c.lowest >= best)
                return;
            // The ids after this one are the set's ids above it and at most
            // the rest of the allowance.
            const size_t above = size_t(sorted.end() - std::upper_bound(sorted.begin(), sorted.end(), c.id));
            if (c.shortest > above + (allowed - nowUsed))
                return;
            if (c.exactCount)
                best = std::min(best, m_exact[c.exact].pos);
            Within(inSet, sorted, child, nowUsed, allowed, best);
        };
        const SNode& n = m_nodes[node];
        if (used < allowed || n.kidCount <= sorted.size()) {
            for (uint32_t kid = n.kids; kid < n.kids + n.kidCount; ++kid) {
                const uint32_t nowUsed = used + (inSet[m_nodes[kid].id] ? 0u : 1u);
                if (nowUsed <= allowed)
                    visit(kid, nowUsed);
            }
        } else {
            // Only the set's own ids may follow: look them up.
            for (uint32_t id : sorted)
                if (const uint32_t child = Child(node, id); child != kNone)
                    visit(child, used);
        }
    }

    void Update(const uint32_t* ids, size_t size, uint32_t pos, size_t tail, int delta)
    {
        std::vector<uint32_t>& path = m_path;
        path.assign(1, 0);
        uint32_t node = 0;
        for (size_t k = 0; k < size; ++k) {
            const uint32_t id = ids[k];
            uint32_t child = Child(node, id);
            if (child == kNone) {
                // Only the parent knows where its children are, so the
                // block may move.
                SNode& n = m_nodes[node];
                uint32_t kids = n.kids;
                uint8_t room = n.kidRoom;
                MakeRoom(m_nodes, kids, n.kidCount, room); // may move m_nodes
                SNode& p = m_nodes[node];
                p.kids = kids;
                p.kidRoom = room;
                SNode* begin = m_nodes.data() + p.kids;
                SNode* at = std::lower_bound(begin, begin + p.kidCount, id,
                                             [](const SNode& kid, uint32_t value) { return kid.id < value; });
                std::copy_backward(at, begin + p.kidCount, begin + p.kidCount + 1);
                *at = SNode();
                at->id = id;
                ++p.kidCount;
                child = uint32_t(at - m_nodes.data());
            }
            SNode& c = m_nodes[child];
            c.batches = uint32_t(int64_t(c.batches) + delta);
            if (delta > 0) {
                c.lowest = std::min(c.lowest, pos);
                c.shortest = std::min(c.shortest, LengthBound(size - k - 1 + tail));
            }
            node = child;
            path.push_back(node);
        }
        SNode& last = m_nodes[node];
        if (delta > 0) {
            MakeRoom(m_exact, last.exact, last.exactCount, last.exactRoom);
            SExact* begin = m_exact.data() + last.exact;
            SExact* at = std::lower_bound(begin, begin + last.exactCount, pos, ExactBefore);
            std::copy_backward(at, begin + last.exactCount, begin + last.exactCount + 1);
            *at = {pos, uint32_t(tail)};
            ++last.exactCount;
            ++m_lists;
            return;
        }
        SExact* begin = m_exact.data() + last.exact;
        SExact* end = begin + last.exactCount;
        SExact* from = std::lower_bound(begin, end, pos, ExactBefore);
        SExact* to = std::upper_bound(from, end, pos, [](uint32_t value, const SExact& e) { return value < e.pos; });
        if (from == begin && last.exactRoom == kExactRoom)
            last.exact += uint32_t(to - from); // lists mostly go in order: no moves
        else
            std::copy(to, end, from);
        last.exactCount -= uint32_t(to - from);
        m_lists -= size_t(to - from);
        for (size_t d = path.size(); d-- > 1;) {
            SNode& n = m_nodes[path[d]];
            if (n.batches == 0) {
                n.lowest = kNone;
                n.shortest = kNoLength;
                continue;
            }
            // Bounds below the list's stay bounds, here and above.
            if (!m_boundsNumbers || (n.lowest < pos && n.shortest < size - d))
                break;
            if (n.kidCount > kRecomputeChildren)
                continue;
            uint32_t lowest = kNone;
            size_t shortest = kNoLength;
            if (n.exactCount)
                lowest = m_exact[n.exact].pos;
            if (n.exactCount > kRecomputeChildren)
                shortest = n.shortest; // still a low bound
            else
                for (uint32_t e = n.exact; e < n.exact + n.exactCount; ++e)
                    shortest = std::min<size_t>(shortest, m_exact[e].tail);
            for (uint32_t kid = n.kids; kid < n.kids + n.kidCount; ++kid)
                if (const SNode& c = m_nodes[kid]; c.batches) {
                    lowest = std::min(lowest, c.lowest);
                    shortest = std::min<size_t>(shortest, size_t(c.shortest) + 1);
                }
            n.lowest = lowest;
            n.shortest = LengthBound(shortest);
        }
    }
};

// Marks a set's ids in a flag array for the walks (and clears them again).
void MarkIds(std::vector<uint8_t>& flags, const std::vector<uint32_t>& ids, uint8_t value)
{
    for (uint32_t id : ids)
        flags[id] = value;
}

// First assignment. The batch walk (the first batch that holds all of a
// triangle's bones takes it; the first whose bones the triangle holds takes
// the triangle's bones instead; else a new batch) is answered without
// walking the batches. Batches only grow here, so the first batch holding a
// set only moves earlier: whenever a batch gets new bones, the distinct
// sets of the triangles still to come that lie in them learn it. The first
// batch inside a set comes from a trie of the batches' sorted bones (the
// subsets of the set that start some list), or, with few batches, a scan of
// their masks. Answers that leave the list unchanged are remembered until
// it changes.
class CFirstAssignment {
public:
    CFirstAssignment(const SSetTable& table, const std::vector<uint32_t>& triangleSet, size_t boneCount)
        : m_table(table), m_cacheVersion(table.firstOfCanonical.size(), kNone),
          m_firstHolder(table.firstOfCanonical.size(), kNone), m_trianglesLeft(table.firstOfCanonical.size(), 0),
          m_inSet(boneCount, 0), m_words(MaskWords(boneCount))
    {
        for (uint32_t set : triangleSet)
            ++m_trianglesLeft[table.canonical[set]];
        std::vector<CBatchTrie::SList> lists;
        for (uint32_t canon = 0; canon < table.firstOfCanonical.size(); ++canon)
            if (const auto& ids = table.sets[table.firstOfCanonical[canon]].ids; !ids.empty())
                lists.push_back({ids.data(), uint32_t(ids.size()), canon, 0});
        m_comingSets.AddAll(lists);
    }

    void Assign(uint32_t setNumber)
    {
        const uint32_t canon = m_table.canonical[setNumber];
        const SBoneSet& s = m_table.sets[setNumber];
        if (m_cacheVersion[canon] != m_version)
            Walk(canon, s);
        if (--m_trianglesLeft[canon] == 0 && !s.ids.empty())
            m_comingSets.Remove(s.ids, canon);
    }

    std::vector<SBatch>& Batches() { return m_batches; }

private:
    void Walk(uint32_t canon, const SBoneSet& s)
    {
        const uint32_t sup = s.ids.empty() ? (m_batches.empty() ? kNone : 0) : m_firstHolder[canon];
        const uint32_t sub = FirstSubset(s, sup);
        const uint32_t first = std::min(sup, sub);
        if (first == kNone) {
            m_batches.push_back({});
            m_masks.resize(m_batches.size() * m_words, 0);
            Place(uint32_t(m_batches.size() - 1), s);
        } else if (first == sup) {
            m_cacheVersion[canon] = m_version; // taken by an unchanged batch
            return;
        } else {
            Place(first, s);
        }
        ++m_version;
    }

    // The first batch before `below` whose bones s holds (kNone when none).
    uint32_t FirstSubset(const SBoneSet& s, uint32_t below)
    {
        const size_t n = s.ids.size();
        const uint32_t empty = m_empty.empty() || m_empty.front() >= below ? kNone : m_empty.front();
        if (m_words && m_batches.size() < (size_t(1) << n)) {
            // Fewer batches than subsets: the first batch inside s.
            uint64_t outside[kMaskWords] = {};
            SetMask(outside, s.ids);
            for (size_t w = 0; w < m_words; ++w)
                outside[w] = ~outside[w];
            const uint32_t end = uint32_t(std::min<size_t>(below, m_batches.size()));
            for (uint32_t pos = 0; pos < end; ++pos) {
                uint64_t out = 0;
                for (size_t w = 0; w < m_words; ++w)
                    out |= m_masks[pos * m_words + w] & outside[w];
                if (out == 0)
                    return pos;
            }
            return kNone;
        }
        MarkIds(m_inSet, s.ids, 1);
        const uint32_t inside = m_trie.LowestInside(m_inSet, s.ids, std::min(empty, below));
        MarkIds(m_inSet, s.ids, 0);
        return std::min(empty, inside);
    }

    // Gives batch pos the bones of s (a new batch, or one whose bones s
    // holds, so its bones only grow), and tells the sets still to come
    // that lie in s.
    void Place(uint32_t pos, const SBoneSet& s)
    {
        SBatch& batch = m_batches[pos];
        if (batch.set.ids.empty()) {
            m_empty.erase(std::remove(m_empty.begin(), m_empty.end(), pos), m_empty.end());
        } else {
            m_trie.Remove(batch.set.ids, pos);
        }
        if (m_words)
            SetMask(&m_masks[size_t(pos) * m_words], s.ids);
        batch.set = s;
        if (s.ids.empty()) {
            m_empty.insert(std::upper_bound(m_empty.begin(), m_empty.end(), pos), pos);
            return;
        }
        m_trie.Add(s.ids, pos);
        MarkIds(m_inSet, s.ids, 1);
        m_comingSets.Inside(m_inSet, s.ids, 0, kNone,
                            [&](uint32_t set) { m_firstHolder[set] = std::min(m_firstHolder[set], pos); });
        MarkIds(m_inSet, s.ids, 0);
    }

    const SSetTable& m_table;
    std::vector<SBatch> m_batches;
    CBatchTrie m_trie;             // the batches with bones
    std::vector<uint32_t> m_empty; // batches without bones, in order
    uint32_t m_version = 0;
    std::vector<uint32_t> m_cacheVersion;  // per canonical set: list version it was taken at
    std::vector<uint32_t> m_firstHolder;   // per canonical set: the first batch holding it
    std::vector<uint32_t> m_trianglesLeft; // per canonical set: triangles still to come
    CBatchTrie m_comingSets{false};        // canonical sets with bones and triangles to come
    std::vector<uint8_t> m_inSet;          // flags of the ids being walked
    // With few enough bones, every batch's bones as a mask.
    size_t m_words;
    std::vector<uint64_t> m_masks;
};

// The later batches a growing batch may take in during merging, searched
// by the number of their bones outside it. A list with at most j bones
// outside the batch, split into j + 1 parts, has a part that lies wholly in
// the batch: for small j the lists' parts are held in a trie of their own
// (built when first needed), so the search only follows parts that lie in
// the batch and checks the lists they belong to, rather than every prefix
// with up to j bones outside. Lists of at most j bones always fit.
class CMergePool {
public:
    CMergePool(const std::vector<SBatch>& batches, size_t boneCount)
        : m_batches(batches), m_words(MaskWords(boneCount)), m_masks(batches.size() * m_words, 0)
    {
        for (uint32_t b = 0; b < batches.size() && m_words; ++b)
            SetMask(&m_masks[size_t(b) * m_words], batches[b].set.ids);
        std::vector<CBatchTrie::SList> lists;
        for (uint32_t b = 0; b < batches.size(); ++b) {
            const size_t size = batches[b].set.ids.size();
            if (size == 0)
                continue;
            lists.push_back({batches[b].set.ids.data(), uint32_t(size), b, 0});
            if (m_bySize.size() <= size)
                m_bySize.resize(size + 1);
            m_bySize[size].push_back(b);
        }
        m_whole.AddAll(lists);
        m_nextOfSize.assign(m_bySize.size(), 0);
    }

    // Takes batch b (with bones) out of the pool.
    void Remove(uint32_t b)
    {
        const std::vector<uint32_t>& ids = m_batches[b].set.ids;
        m_whole.Remove(ids, b);
        for (size_t j = 1; j < m_parted.size(); ++j)
            if (m_parted[j].built && ids.size() > j)
                ForEachPart(ids, j,
                            [&](const uint32_t* part, size_t size, size_t) { m_parted[j].trie.Remove(part, size, b); });
        m_gone.resize(std::max<size_t>(m_gone.size(), b + 1), 0);
        m_gone[b] = 1;
    }

    // The batch adding the fewest bones to a set (inSet marks its ids,
    // sorted lists them), at most budget; the lowest of equals. False when
    // no batch adds budget bones or fewer.
    bool FewestOutside(const std::vector<uint8_t>& inSet, const std::vector<uint32_t>& sorted, uint32_t budget,
                       uint32_t& outPos, uint32_t& outExtra)
    {
        // Widening the allowance one bone at a time: the first allowance
        // that finds a batch finds the fewest.
        for (uint32_t allowed = 0; allowed <= budget; ++allowed) {
            const uint32_t best = LowestWithin(inSet, sorted, allowed);
            if (best != kNone) {
                outPos = best;
                outExtra = allowed;
                return true;
            }
        }
        return false;
    }

private:
    // Parts of lists longer than this many allowed bones are not indexed:
    // larger allowances walk the whole lists.
    static constexpr size_t kLargestPartedAllowance = 3;

    struct SParted {
        bool built = false;
        CBatchTrie trie;
    };

    bool Gone(uint32_t b) const { return b < m_gone.size() && m_gone[b]; }

    // The j + 1 parts of a sorted list longer than j: consecutive runs of
    // nearly equal length, each with the number of ids after it.
    template <class Use>
    static void ForEachPart(const std::vector<uint32_t>& ids, size_t j, Use&& use)
    {
        const size_t parts = j + 1;
        size_t begin = 0;
        for (size_t p = 0; p < parts; ++p) {
            const size_t end = ids.size() * (p + 1) / parts;
            use(ids.data() + begin, end - begin, ids.size() - end);
            begin = end;
        }
    }

    // The lowest batch in the pool with at most `allowed` bones outside the
    // set (kNone when none).
    uint32_t LowestWithin(const std::vector<uint8_t>& inSet, const std::vector<uint32_t>& sorted, uint32_t allowed)
    {
        if (allowed == 0)
            return m_whole.LowestInside(inSet, sorted);
        // The lowest list short enough to fit whatever its bones.
        uint32_t best = kNone;
        for (size_t size = 1; size <= allowed && size < m_bySize.size(); ++size) {
            const std::vector<uint32_t>& list = m_bySize[size];
            size_t& next = m_nextOfSize[size];
            while (next < list.size() && Gone(list[next]))
                ++next;
            if (next < list.size())
                best = std::min(best, list[next]);
        }
        if (allowed > kLargestPartedAllowance)
            return std::min(best, m_whole.LowestWithin(inSet, sorted, allowed, best));
        uint64_t setMask[kMaskWords] = {};
        if (m_words)
            SetMask(setMask, sorted);
        CBatchTrie& parts = Parted(allowed);
        parts.Inside(inSet, sorted, allowed, best, [&](uint32_t b) {
            if (b >= best)
                return;
            uint32_t outside = 0;
            if (m_words) {
                for (size_t w = 0; w < m_words; ++w)
                    for (uint64_t out = m_masks[size_t(b) * m_words + w] & ~setMask[w]; out; out &= out - 1)
                        ++outside;
            } else {
                for (uint32_t id : m_batches[b].set.ids)
                    outside += inSet[id] ? 0u : 1u;
            }
            if (outside <= allowed)
                best = b;
        });
        return best;
    }

    CBatchTrie& Parted(size_t j)
    {
        if (m_parted.size() <= j)
            m_parted.resize(j + 1);
        SParted& parted = m_parted[j];
        if (!parted.built) {
            parted.built = true;
            std::vector<CBatchTrie::SList> parts;
            for (const std::vector<uint32_t>& list : m_bySize)
                for (uint32_t b : list) {
                    const std::vector<uint32_t>& ids = m_batches[b].set.ids;
                    if (!Gone(b) && ids.size() > j)
                        ForEachPart(ids, j, [&](const uint32_t* part, size_t size, size_t tail) {
                            parts.push_back({part, uint32_t(size), b, uint32_t(tail)});
                        });
                }
            parted.trie.AddAll(parts);
        }
        return parted.trie;
    }

    const std::vector<SBatch>& m_batches;
    // With few enough bones, every batch's bones as a mask for the checks.
    size_t m_words;
    std::vector<uint64_t> m_masks;
    CBatchTrie m_whole;                          // the pool's lists
    std::vector<std::vector<uint32_t>> m_bySize; // pool lists by length, in order
    std::vector<size_t> m_nextOfSize;            // per length: no pool list before this index
    std::vector<SParted> m_parted;               // per allowance: the parts of longer lists
    std::vector<uint8_t> m_gone;                 // batches taken out
};

// Merging: each batch takes in turn the later batch that adds the fewest
// bones within the palette (the first of equals), until none fits.
void MergeBatches(std::vector<SBatch>& batches, uint32_t limit, size_t boneCount)
{
    CMergePool pool(batches, boneCount);
    std::vector<uint32_t> empty; // batches without bones, in order
    for (uint32_t b = 0; b < batches.size(); ++b)
        if (batches[b].set.ids.empty())
            empty.push_back(b);
    size_t nextEmpty = 0; // empty[nextEmpty..] are later and not taken in
    std::vector<uint8_t> inA(boneCount, 0);
    for (uint32_t a = 0; a < batches.size(); ++a) {
        if (batches[a].removed)
            continue;
        SBoneSet& A = batches[a].set;
        if (A.ids.empty())
            ++nextEmpty; // a is empty[nextEmpty]: later empty ones were taken in
        else
            pool.Remove(a);
        MarkIds(inA, A.ids, 1);
        for (;;) {
            const size_t aSize = A.ids.size();
            if (aSize > limit)
                break; // cannot happen: triangles and merges stay within the palette
            // Extras below the palette size that keep A within it.
            const uint32_t budget = uint32_t(limit - std::max<size_t>(aSize, 1));
            uint32_t best = kNone, extra = 0;
            const bool found = pool.FewestOutside(inA, A.ids, budget, best, extra);
            if (nextEmpty < empty.size() && (!found || extra > 0 || empty[nextEmpty] < best)) {
                best = empty[nextEmpty++]; // adds no bones
            } else if (found) {
                pool.Remove(best);
            } else {
                break;
            }
            TakeIn(A, batches[best].set);
            MarkIds(inA, A.ids, 1);
            batches[best].removed = true;
        }
        MarkIds(inA, A.ids, 0);
    }
    batches.erase(std::remove_if(batches.begin(), batches.end(), [](const SBatch& b) { return b.removed; }),
                  batches.end());
}

} // namespace

int GenerateBoneBatches(SBoneBatchTable& table, uint32_t& outVertexCount, std::vector<uint8_t>& outVertices,
                        uint32_t* faces, uint32_t vertexCount, const uint8_t* vertices, uint32_t stride,
                        uint32_t weightOffset, EZGXTDataType weightType, uint32_t indexOffset, EZGXTDataType indexType,
                        uint32_t faceCount, uint32_t boneLimit, uint32_t bonesPerVertex)
{
    const uint32_t n = bonesPerVertex;
    if (n < 1 || n > 4 || boneLimit == 0 || (faceCount && (!faces || !vertices)))
        return 1;
    const uint64_t weightBytes = uint64_t(ComponentSize(weightType)) * n;
    const uint64_t indexBytes = uint64_t(ComponentSize(indexType)) * n;
    if (weightBytes == 0 || indexBytes == 0 || uint64_t(weightOffset) + weightBytes > stride ||
        uint64_t(indexOffset) + indexBytes > stride)
        return 1;
    for (uint64_t i = 0; i < uint64_t(faceCount) * 3; ++i)
        if (faces[i] >= vertexCount)
            return 1;
    const SVertexReader reader{vertices, stride, weightOffset, indexOffset, n, weightType, indexType};
    std::vector<SVertexBones> vertexBones(vertexCount);
    for (uint32_t v = 0; v < vertexCount; ++v)
        vertexBones[v] = ReadVertexBones(reader, v);

    // The bone set of every triangle, interned. Neighbouring triangles often
    // list the same bones in the same order: those skip the lookup.
    SSetTable sets;
    std::vector<uint32_t> triangleSet(faceCount);
    std::unordered_map<int32_t, uint32_t> denseOf;
    std::vector<int32_t> bones, lastBones;
    uint32_t lastSet = kNone;
    std::vector<uint32_t> ids;
    for (uint32_t t = 0; t < faceCount; ++t) {
        if (!TriangleBones(vertexBones, n, faces + 3 * size_t(t), boneLimit, bones))
            return 1;
        if (lastSet != kNone && bones == lastBones) {
            triangleSet[t] = lastSet;
            continue;
        }
        lastBones = bones;
        const std::string orderKey(reinterpret_cast<const char*>(bones.data()), bones.size() * sizeof(int32_t));
        const auto found = sets.byOrder.find(orderKey);
        if (found != sets.byOrder.end()) {
            triangleSet[t] = lastSet = found->second;
            continue;
        }
        SBoneSet s;
        s.bones = bones;
        for (int32_t b : bones)
            s.ids.push_back(denseOf.emplace(b, uint32_t(denseOf.size())).first->second);
        std::sort(s.ids.begin(), s.ids.end());
        const uint32_t number = uint32_t(sets.sets.size());
        const auto canon =
            sets.byIds.emplace(KeyOf(s.ids.data(), s.ids.size()), uint32_t(sets.firstOfCanonical.size()));
        if (canon.second)
            sets.firstOfCanonical.push_back(number);
        sets.canonical.push_back(canon.first->second);
        sets.sets.push_back(std::move(s));
        sets.byOrder.emplace(orderKey, number);
        triangleSet[t] = lastSet = number;
    }

    // First assignment, then merging.
    CFirstAssignment first(sets, triangleSet, denseOf.size());
    for (uint32_t t = 0; t < faceCount; ++t)
        first.Assign(triangleSet[t]);
    std::vector<SBatch>& batches = first.Batches();
    MergeBatches(batches, boneLimit, denseOf.size());

    // Final assignment: the first batch holding all of a triangle's bones
    // (the list no longer changes, so one answer per distinct set). Each
    // batch in turn takes the distinct sets not yet placed that lie in it,
    // found through a trie of the sets (at most 12 ids deep, while merged
    // batches may hold any number of bones).
    std::vector<uint32_t> batchOfCanonical(sets.firstOfCanonical.size(), kNone);
    {
        CBatchTrie unplaced(false);
        std::vector<CBatchTrie::SList> lists;
        for (uint32_t canon = 0; canon < sets.firstOfCanonical.size(); ++canon) {
            const std::vector<uint32_t>& canonIds = sets.sets[sets.firstOfCanonical[canon]].ids;
            if (canonIds.empty())
                batchOfCanonical[canon] = 0;
            else
                lists.push_back({canonIds.data(), uint32_t(canonIds.size()), canon, 0});
        }
        size_t left = lists.size();
        unplaced.AddAll(lists);
        std::vector<uint8_t> inBatch(denseOf.size(), 0);
        std::vector<uint32_t> found;
        for (uint32_t b = 0; b < batches.size() && left; ++b) {
            const std::vector<uint32_t>& batchIds = batches[b].set.ids;
            found.clear();
            MarkIds(inBatch, batchIds, 1);
            unplaced.Inside(inBatch, batchIds, 0, kNone, [&](uint32_t canon) { found.push_back(canon); });
            MarkIds(inBatch, batchIds, 0);
            for (uint32_t canon : found) {
                batchOfCanonical[canon] = b;
                unplaced.Remove(sets.sets[sets.firstOfCanonical[canon]].ids, canon);
            }
            left -= found.size();
        }
    }
    std::vector<uint32_t> triangleBatch(faceCount);
    std::vector<uint32_t> trianglesIn(batches.size() + 1, 0);
    for (uint32_t t = 0; t < faceCount; ++t) {
        const uint32_t batch = batchOfCanonical[sets.canonical[triangleSet[t]]];
        if (batch == kNone)
            return 1; // cannot happen: sets only grow and merged batches hold what they took
        triangleBatch[t] = batch;
        ++trianglesIn[batch + 1];
    }
    for (size_t b = 1; b < trianglesIn.size(); ++b)
        trianglesIn[b] += trianglesIn[b - 1];
    std::vector<uint32_t> order(faceCount);
    {
        std::vector<uint32_t> next(trianglesIn.begin(), trianglesIn.end() - 1);
        for (uint32_t t = 0; t < faceCount; ++t)
            order[next[triangleBatch[t]]++] = t;
    }

    // Output: triangles batch by batch; each corner uses a copy of its source
    // vertex whose bone indices, local to the batch, are its own.
    uint32_t capacity = boneLimit;
    if (capacity > kLargestOfferedPalette)
        capacity = std::max<uint32_t>(kLargestOfferedPalette, uint32_t(denseOf.size()));
    SBoneBatchTable out;
    out.capacity = capacity;
    out.count = uint32_t(batches.size());
    out.boneList.assign(size_t(out.count) * capacity, 0);
    out.boneTotals.resize(out.count);
    out.startTriangle.resize(out.count);
    std::vector<uint8_t> newVertices;
    newVertices.reserve(size_t(std::min<uint64_t>(uint64_t(vertexCount) + vertexCount / 4, uint64_t(faceCount) * 3)) *
                        stride);
    std::vector<uint32_t> firstCopy(vertexCount, kNone), nextCopy;
    std::vector<int32_t> copyIndices; // n per new vertex
    std::vector<uint32_t> newFaces(size_t(faceCount) * 3);
    uint32_t newCount = 0;
    uint32_t f = 0;
    for (uint32_t b = 0; b < out.count; ++b) {
        const std::vector<int32_t>& batchBones = batches[b].set.bones;
        std::copy(batchBones.begin(), batchBones.end(), out.boneList.begin() + size_t(b) * capacity);
        out.boneTotals[b] = uint32_t(batchBones.size());
        out.startTriangle[b] = f;
        for (uint32_t i = trianglesIn[b]; i < trianglesIn[b + 1]; ++i, ++f) {
            const uint32_t t = order[i];
            for (int c = 0; c < 3; ++c) {
                const uint32_t v = faces[3 * size_t(t) + c];
                const SVertexBones& vb = vertexBones[v];
                int32_t local[4] = {0, 0, 0, 0};
                for (uint32_t k = 0; k < n; ++k) {
                    if (!(vb.weighted >> k & 1))
                        continue;
                    const int32_t bone = vb.bone[k];
                    const auto at = std::find(batchBones.begin(), batchBones.end(), bone);
                    local[k] = at != batchBones.end() ? int32_t(at - batchBones.begin()) : bone;
                }
                uint32_t use = kNone;
                for (uint32_t copy = firstCopy[v]; copy != kNone; copy = nextCopy[copy])
                    if (std::equal(local, local + n, copyIndices.begin() + size_t(copy) * n)) {
                        use = copy;
                        break;
                    }
                if (use == kNone) {
                    if (newCount == std::numeric_limits<uint32_t>::max())
                        return 1;
                    use = newCount++;
                    const uint8_t* source = vertices + size_t(v) * stride;
                    newVertices.insert(newVertices.end(), source, source + stride);
                    float values[4];
                    for (uint32_t k = 0; k < 4; ++k)
                        values[k] = float(local[k]);
                    WriteVertex(newVertices.data() + size_t(use) * stride + indexOffset, indexType, n, values);
                    copyIndices.insert(copyIndices.end(), local, local + n);
                    nextCopy.push_back(firstCopy[v]);
                    firstCopy[v] = use;
                }
                newFaces[3 * size_t(f) + c] = use;
            }
        }
    }

    std::copy(newFaces.begin(), newFaces.end(), faces);
    outVertices = std::move(newVertices);
    outVertexCount = newCount;
    table = std::move(out);
    return 0;
}

int GenerateMeshBoneBatches(SSceneMesh& mesh, uint32_t boneLimit)
{
    const SVertexChannel& weights = mesh.sBoneWeights;
    const SVertexChannel& indices = mesh.sBoneIndex;
    SVertexChannel& faces = mesh.sIndexData;
    if (!mesh.IsInterleaved() || !indices.IsPresent() || !weights.IsPresent() || faces.eType != eZGXTUInt ||
        !mesh.puiStripTriangles.empty() || weights.eType != eZGXTFloat || indices.eType != eZGXTInt ||
        weights.uiComponentCount != indices.uiComponentCount)
        return 1;
    const uint32_t stride = indices.uiStride;
    if (stride == 0 || uint64_t(stride) * mesh.uiVertexCount > mesh.pVertexBlock.size() ||
        uint64_t(mesh.uiTriangleCount) * 3 * sizeof(uint32_t) > faces.pData.size())
        return 1;
    // The index list is copied out and back so that no alignment is assumed.
    std::vector<uint32_t> list(size_t(mesh.uiTriangleCount) * 3);
    if (!list.empty())
        std::memcpy(list.data(), faces.pData.data(), list.size() * sizeof(uint32_t));
    SBoneBatchTable table;
    uint32_t count = 0;
    std::vector<uint8_t> block;
    const int result = GenerateBoneBatches(
        table, count, block, list.data(), mesh.uiVertexCount, mesh.pVertexBlock.data(), stride, weights.uiOffset,
        eZGXTFloat, indices.uiOffset, eZGXTInt, mesh.uiTriangleCount, boneLimit, indices.uiComponentCount);
    if (result != 0)
        return result;
    if (!list.empty())
        std::memcpy(faces.pData.data(), list.data(), list.size() * sizeof(uint32_t));
    mesh.pVertexBlock = std::move(block);
    mesh.uiVertexCount = count;
    mesh.puiBatchBoneList = std::move(table.boneList);
    mesh.puiBatchBoneTotals = std::move(table.boneTotals);
    mesh.puiBatchStartTriangle = std::move(table.startTriangle);
    mesh.uiBatchCapacity = table.capacity;
    mesh.uiBatchCount = table.count;
    return 0;
}
