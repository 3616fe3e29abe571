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

// The bones of one triangle in insertion order; false when it needs more
// than limit bones or names a negative (or unreadable) bone.
bool TriangleBones(const SVertexReader& reader, const uint32_t* face, uint32_t limit, std::vector<int32_t>& bones)
{
    bones.clear();
    for (int c = 0; c < 3; ++c) {
        float w[4], idx[4];
        reader.Read(face[c], w, idx);
        for (uint32_t k = 0; k < reader.n; ++k) {
            if (w[k] == 0.0f)
                continue;
            const double b = std::trunc(double(idx[k]));
            if (!(b >= 0.0) || b > double(std::numeric_limits<int32_t>::max()))
                return false;
            const int32_t bone = int32_t(b);
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

// A trie of batch bone lists (sorted dense ids; a triangle's list, so at
// most 12 ids deep: the walks recurse once per id) with the batch positions
// that end at each node. Every node counts the batches at or below it and
// keeps bounds of their positions and lengths (exact unless a node with very
// many children lost a batch: a low bound only prunes less).
class CBatchTrie {
public:
    void Add(const std::vector<uint32_t>& ids, uint32_t pos) { Update(ids, pos, +1); }
    void Remove(const std::vector<uint32_t>& ids, uint32_t pos) { Update(ids, pos, -1); }

    // The lowest batch whose bones all lie in the sorted ids (kNone when
    // none): the subsets of ids in sorted order that start some batch.
    uint32_t LowestInside(const std::vector<uint32_t>& ids) const
    {
        uint32_t best = kNone;
        LowestInside(ids, 0, 0, best);
        return best;
    }

    // The lowest batch that holds all of the sorted ids (kNone when none).
    uint32_t LowestContaining(const std::vector<uint32_t>& ids) const
    {
        uint32_t best = kNone;
        Containing(ids, 0, 0, best);
        return best;
    }

    // The batch adding the fewest bones to a set (inSet marks its ids,
    // sorted lists them), at most budget; the lowest of equals. False when
    // no batch adds budget bones or fewer.
    bool FewestOutside(const std::vector<uint8_t>& inSet, const std::vector<uint32_t>& sorted, uint32_t budget,
                       uint32_t& outPos, uint32_t& outExtra) const
    {
        // Widening the allowance one bone at a time: the first allowance
        // that finds a batch finds the fewest.
        for (uint32_t allowed = 0; allowed <= budget; ++allowed) {
            uint32_t best = kNone;
            Within(inSet, sorted, 0, 0, allowed, best);
            if (best != kNone) {
                outPos = best;
                outExtra = allowed;
                return true;
            }
        }
        return false;
    }

private:
    struct SNode {
        std::vector<std::pair<uint32_t, uint32_t>> children; // (id, node), by id
        std::vector<uint32_t> exact;                         // batches whose ids end here
        uint32_t batches = 0;                                // batches at or below
        uint32_t lowest = kNone;                             // a lower bound of their positions
        uint32_t shortest = kNone;                           // a lower bound of their ids after this node
        uint32_t longest = 0;                                // an upper bound of the same
    };
    // Nodes with more children keep a low bound after a removal rather
    // than look at every child.
    static constexpr size_t kRecomputeChildren = 64;

    std::vector<SNode> m_nodes = std::vector<SNode>(1); // node 0 is the root
    std::vector<uint32_t> m_path;                       // nodes of the list being updated

    uint32_t Child(uint32_t node, uint32_t id) const
    {
        const auto& kids = m_nodes[node].children;
        const auto it = std::lower_bound(kids.begin(), kids.end(), std::make_pair(id, uint32_t(0)));
        return it != kids.end() && it->first == id ? it->second : kNone;
    }

    void LowestInside(const std::vector<uint32_t>& ids, uint32_t node, size_t from, uint32_t& best) const
    {
        for (size_t i = from; i < ids.size(); ++i) {
            const uint32_t child = Child(node, ids[i]);
            if (child == kNone)
                continue;
            const SNode& c = m_nodes[child];
            if (c.batches == 0 || c.lowest >= best)
                continue; // no batch below, or none before the best so far
            for (uint32_t pos : c.exact)
                best = std::min(best, pos);
            LowestInside(ids, child, i + 1, best);
        }
    }

    // The lowest batch below node that holds ids[from..] (the path holds
    // the ids before).
    void Containing(const std::vector<uint32_t>& ids, uint32_t node, size_t from, uint32_t& best) const
    {
        const size_t needed = ids.size() - from;
        for (const auto& kid : m_nodes[node].children) {
            if (needed && kid.first > ids[from])
                break; // ids[from] can no longer come
            const SNode& c = m_nodes[kid.second];
            const size_t rest = needed - (needed && kid.first == ids[from] ? 1 : 0);
            if (c.batches == 0 || c.lowest >= best || c.longest < rest)
                continue;
            if (rest == 0)
                for (uint32_t pos : c.exact)
                    best = std::min(best, pos);
            Containing(ids, kid.second, ids.size() - rest, best);
        }
    }

    // The lowest batch below node with at most `allowed` ids outside the
    // set (the path so far used `used` of them).
    void Within(const std::vector<uint8_t>& inSet, const std::vector<uint32_t>& sorted, uint32_t node, uint32_t used,
                uint32_t allowed, uint32_t& best) const
    {
        auto visit = [&](uint32_t id, uint32_t child, uint32_t nowUsed) {
            const SNode& c = m_nodes[child];
            if (c.batches == 0 || c.lowest >= best)
                return;
            // The ids after this one are the set's ids above it and at most
            // the rest of the allowance.
            const size_t above = size_t(sorted.end() - std::upper_bound(sorted.begin(), sorted.end(), id));
            if (c.shortest > above + (allowed - nowUsed))
                return;
            for (uint32_t pos : c.exact)
                best = std::min(best, pos);
            Within(inSet, sorted, child, nowUsed, allowed, best);
        };
        const auto& kids = m_nodes[node].children;
        if (used < allowed || kids.size() <= sorted.size()) {
            for (const auto& kid : kids) {
                const uint32_t nowUsed = used + (inSet[kid.first] ? 0u : 1u);
                if (nowUsed <= allowed)
                    visit(kid.first, kid.second, nowUsed);
            }
        } else {
            // Only the set's own ids may follow: look them up.
            for (uint32_t id : sorted)
                if (const uint32_t child = Child(node, id); child != kNone)
                    visit(id, child, used);
        }
    }

    void Update(const std::vector<uint32_t>& ids, uint32_t pos, int delta)
    {
        std::vector<uint32_t>& path = m_path;
        path.assign(1, 0);
        uint32_t node = 0;
        for (size_t k = 0; k < ids.size(); ++k) {
            const uint32_t id = ids[k];
            uint32_t child = Child(node, id);
            if (child == kNone) {
                child = uint32_t(m_nodes.size());
                m_nodes.emplace_back();
                auto& kids = m_nodes[node].children;
                kids.insert(std::lower_bound(kids.begin(), kids.end(), std::make_pair(id, uint32_t(0))),
                            std::make_pair(id, child));
            }
            SNode& c = m_nodes[child];
            c.batches = uint32_t(int64_t(c.batches) + delta);
            if (delta > 0) {
                c.lowest = std::min(c.lowest, pos);
                c.shortest = std::min(c.shortest, uint32_t(ids.size() - k - 1));
                c.longest = std::max(c.longest, uint32_t(ids.size() - k - 1));
            }
            node = child;
            path.push_back(node);
        }
        std::vector<uint32_t>& exact = m_nodes[node].exact;
        if (delta > 0) {
            exact.push_back(pos);
            return;
        }
        exact.erase(std::remove(exact.begin(), exact.end(), pos), exact.end());
        for (size_t d = path.size(); d-- > 1;) {
            SNode& n = m_nodes[path[d]];
            if (n.batches == 0) {
                n.lowest = n.shortest = kNone;
                n.longest = 0;
                continue;
            }
            if (n.children.size() > kRecomputeChildren)
                continue;
            uint32_t lowest = kNone, shortest = n.exact.empty() ? kNone : 0, longest = 0;
            for (uint32_t p : n.exact)
                lowest = std::min(lowest, p);
            for (const auto& kid : n.children) {
                const SNode& c = m_nodes[kid.second];
                if (c.batches) {
                    lowest = std::min(lowest, c.lowest);
                    shortest = std::min(shortest, c.shortest + 1);
                    longest = std::max(longest, c.longest + 1);
                }
            }
            n.lowest = lowest;
            n.shortest = shortest;
            n.longest = longest;
        }
    }
};

// First assignment. The batch walk (the first batch that holds all of a
// triangle's bones takes it; the first whose bones the triangle holds takes
// the triangle's bones instead; else a new batch) is answered through
// a trie of the batches' sorted bones: supersets through the lists that
// hold the triangle's bones, subsets through the subsets of the triangle's
// bones that start some list (or, with few batches, a scan of their masks).
// Answers that leave the list unchanged are remembered until it changes.
class CFirstAssignment {
public:
    CFirstAssignment(const SSetTable& table, size_t boneCount)
        : m_table(table), m_cacheVersion(table.firstOfCanonical.size(), kNone), m_words(MaskWords(boneCount))
    {
    }

    void Assign(uint32_t setNumber)
    {
        const uint32_t canon = m_table.canonical[setNumber];
        if (m_cacheVersion[canon] == m_version)
            return; // taken by an unchanged batch
        const SBoneSet& s = m_table.sets[setNumber];
        std::fill(m_setMask, m_setMask + kMaskWords, 0);
        if (m_words)
            SetMask(m_setMask, s.ids);
        const uint32_t sup = FirstSuperset(s);
        const uint32_t sub = FirstSubset(s);
        const uint32_t first = std::min(sup, sub);
        if (first == kNone) {
            m_batches.push_back({});
            m_masks.resize(m_batches.size() * m_words, 0);
            Place(uint32_t(m_batches.size() - 1), s);
        } else if (first == sup) {
            m_cacheVersion[canon] = m_version;
            return;
        } else {
            Place(first, s);
        }
        ++m_version;
    }

    std::vector<SBatch>& Batches() { return m_batches; }

private:
    uint32_t FirstSuperset(const SBoneSet& s) const
    {
        if (s.ids.empty())
            return m_batches.empty() ? kNone : 0;
        return m_trie.LowestContaining(s.ids);
    }

    uint32_t FirstSubset(const SBoneSet& s)
    {
        const size_t n = s.ids.size();
        if (m_words && m_batches.size() < (size_t(1) << n)) {
            // Fewer batches than subsets: the first batch inside s.
            uint64_t outside[kMaskWords];
            for (size_t w = 0; w < m_words; ++w)
                outside[w] = ~m_setMask[w];
            for (uint32_t pos = 0; pos < m_batches.size(); ++pos) {
                uint64_t out = 0;
                for (size_t w = 0; w < m_words; ++w)
                    out |= m_masks[pos * m_words + w] & outside[w];
                if (out == 0)
                    return pos;
            }
            return kNone;
        }
        const uint32_t empty = m_empty.empty() ? kNone : m_empty.front();
        return std::min(empty, m_trie.LowestInside(s.ids));
    }

    // Gives batch pos the bones of s (a new batch, or one whose bones s
    // holds, so its bones only grow).
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
        } else {
            m_trie.Add(s.ids, pos);
        }
    }

    const SSetTable& m_table;
    std::vector<SBatch> m_batches;
    CBatchTrie m_trie;             // the batches with bones
    std::vector<uint32_t> m_empty; // batches without bones, in order
    uint32_t m_version = 0;
    std::vector<uint32_t> m_cacheVersion; // per canonical set: list version it was taken at
    // With few enough bones, every batch's bones as a mask, and the set
    // being placed.
    size_t m_words;
    std::vector<uint64_t> m_masks;
    uint64_t m_setMask[kMaskWords];
};

// Merging: each batch takes in turn the later batch that adds the fewest
// bones within the palette (the first of equals), until none fits. The
// later batches not yet taken in are held in a trie, so a search only
// follows bone lists with few bones outside the growing batch.
void MergeBatches(std::vector<SBatch>& batches, uint32_t limit, size_t boneCount)
{
    CBatchTrie trie;
    std::vector<uint32_t> empty; // batches without bones, in order
    for (uint32_t b = 0; b < batches.size(); ++b) {
        if (batches[b].set.ids.empty())
            empty.push_back(b);
        else
            trie.Add(batches[b].set.ids, b);
    }
    size_t nextEmpty = 0; // empty[nextEmpty..] are later and not taken in
    std::vector<uint8_t> inA(boneCount, 0);
    for (uint32_t a = 0; a < batches.size(); ++a) {
        if (batches[a].removed)
            continue;
        SBoneSet& A = batches[a].set;
        if (A.ids.empty())
            ++nextEmpty; // a is empty[nextEmpty]: later empty ones were taken in
        else
            trie.Remove(A.ids, a);
        for (uint32_t id : A.ids)
            inA[id] = 1;
        for (;;) {
            const size_t aSize = A.ids.size();
            if (aSize > limit)
                break; // cannot happen: triangles and merges stay within the palette
            // Extras below the palette size that keep A within it.
            const uint32_t budget = uint32_t(limit - std::max<size_t>(aSize, 1));
            uint32_t best = kNone, extra = 0;
            const bool found = trie.FewestOutside(inA, A.ids, budget, best, extra);
            if (nextEmpty < empty.size() && (!found || extra > 0 || empty[nextEmpty] < best)) {
                best = empty[nextEmpty++]; // adds no bones
            } else if (found) {
                trie.Remove(batches[best].set.ids, best);
            } else {
                break;
            }
            TakeIn(A, batches[best].set);
            for (uint32_t id : A.ids)
                inA[id] = 1;
            batches[best].removed = true;
        }
        for (uint32_t id : A.ids)
            inA[id] = 0;
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

    // The bone set of every triangle, interned.
    SSetTable sets;
    std::vector<uint32_t> triangleSet(faceCount);
    std::unordered_map<int32_t, uint32_t> denseOf;
    std::vector<int32_t> bones;
    std::vector<uint32_t> ids;
    for (uint32_t t = 0; t < faceCount; ++t) {
        if (!TriangleBones(reader, faces + 3 * size_t(t), boneLimit, bones))
            return 1;
        const std::string orderKey(reinterpret_cast<const char*>(bones.data()), bones.size() * sizeof(int32_t));
        const auto found = sets.byOrder.find(orderKey);
        if (found != sets.byOrder.end()) {
            triangleSet[t] = found->second;
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
        triangleSet[t] = number;
    }

    // First assignment, then merging.
    CFirstAssignment first(sets, denseOf.size());
    for (uint32_t t = 0; t < faceCount; ++t)
        first.Assign(triangleSet[t]);
    std::vector<SBatch>& batches = first.Batches();
    MergeBatches(batches, boneLimit, denseOf.size());

    // Final assignment: the first batch holding all of a triangle's bones
    // (the list no longer changes, so one answer per distinct set), from the
    // batches of its rarest bone. Merged lists may hold any number of bones,
    // too deep for the trie's recursive walks.
    std::vector<std::vector<uint32_t>> posting(denseOf.size());
    for (uint32_t b = 0; b < batches.size(); ++b)
        for (uint32_t id : batches[b].set.ids)
            posting[id].push_back(b); // in list order
    std::vector<uint32_t> batchOfCanonical(sets.firstOfCanonical.size(), kNone);
    std::vector<uint32_t> triangleBatch(faceCount);
    std::vector<uint32_t> trianglesIn(batches.size() + 1, 0);
    for (uint32_t t = 0; t < faceCount; ++t) {
        const uint32_t canon = sets.canonical[triangleSet[t]];
        uint32_t& batch = batchOfCanonical[canon];
        if (batch == kNone) {
            const SBoneSet& s = sets.sets[triangleSet[t]];
            if (s.ids.empty()) {
                batch = 0;
            } else {
                const std::vector<uint32_t>* rarest = &posting[s.ids[0]];
                for (uint32_t id : s.ids)
                    if (posting[id].size() < rarest->size())
                        rarest = &posting[id];
                for (uint32_t b : *rarest)
                    if (std::includes(batches[b].set.ids.begin(), batches[b].set.ids.end(), s.ids.begin(),
                                      s.ids.end())) {
                        batch = b;
                        break;
                    }
            }
            if (batch == kNone)
                return 1; // cannot happen: sets only grow and merged batches hold what they took
        }
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
                float w[4], idx[4];
                reader.Read(v, w, idx);
                int32_t local[4] = {0, 0, 0, 0};
                for (uint32_t k = 0; k < n; ++k) {
                    if (w[k] == 0.0f)
                        continue;
                    const int32_t bone = int32_t(std::trunc(idx[k]));
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
