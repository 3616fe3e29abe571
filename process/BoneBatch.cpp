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

bool Includes(const std::vector<uint32_t>& outer, const std::vector<uint32_t>& inner)
{
    return std::includes(outer.begin(), outer.end(), inner.begin(), inner.end());
}

size_t IntersectionSize(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    size_t n = 0;
    for (size_t i = 0, j = 0; i < a.size() && j < b.size();) {
        if (a[i] < b[j])
            ++i;
        else if (b[j] < a[i])
            ++j;
        else
            ++n, ++i, ++j;
    }
    return n;
}

// Set bits of a word (without relying on a popcount instruction).
uint32_t BitCount(uint64_t x)
{
    x = x - ((x >> 1) & 0x5555555555555555ull);
    x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return uint32_t((x * 0x0101010101010101ull) >> 56);
}

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

// A node of the trie of batch bone lists (sorted ids).
struct STrieNode {
    std::vector<std::pair<uint32_t, uint32_t>> children; // (id, node), by id
    std::vector<uint32_t> exact;                         // batches whose ids end here
    uint32_t batches = 0;                                // batches at or below
    uint32_t lowest = kNone;                             // a lower bound of their positions
};

// First assignment. The batch walk (the first batch that holds all of a
// triangle's bones takes it; the first whose bones the triangle holds takes
// the triangle's bones instead; else a new batch) is answered through
// indexes: supersets through the batches of the triangle's rarest bone,
// subsets through a walk of the subsets of the triangle's bones that
// start some batch's bones, down a trie of the batches' bones (or, with few batches, a scan of their masks).
// Answers that leave the list unchanged are remembered until it changes.
class CFirstAssignment {
public:
    CFirstAssignment(const SSetTable& table, size_t boneCount)
        : m_table(table), m_posting(boneCount), m_cacheVersion(table.firstOfCanonical.size(), kNone),
          m_words(MaskWords(boneCount))
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
        const std::vector<uint32_t>* rarest = &m_posting[s.ids[0]];
        for (uint32_t id : s.ids)
            if (m_posting[id].size() < rarest->size())
                rarest = &m_posting[id];
        uint32_t best = kNone;
        for (uint32_t pos : *rarest)
            if (pos < best && (m_words ? MaskIncludes(pos, m_setMask) : Includes(m_batches[pos].set.ids, s.ids)))
                best = pos;
        return best;
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
        // The subsets of s in sorted order that start some batch's bones,
        // walked down the trie of the batches' sorted bone ids.
        uint32_t best = m_empty.empty() ? kNone : m_empty.front();
        SubsetsFrom(s, 0, 0, best);
        return best;
    }

    // Lowest batch inside s at or below trie node `node`, whose path used
    // ids of s before index `from`.
    void SubsetsFrom(const SBoneSet& s, uint32_t node, size_t from, uint32_t& best) const
    {
        const STrieNode& at = m_trie[node];
        for (size_t i = from; i < s.ids.size(); ++i) {
            const uint32_t child = Child(at, s.ids[i]);
            if (child == kNone)
                continue;
            const STrieNode& c = m_trie[child];
            if (c.batches == 0 || c.lowest >= best)
                continue; // no batch below, or none before the best so far
            for (uint32_t pos : c.exact)
                best = std::min(best, pos);
            SubsetsFrom(s, child, i + 1, best);
        }
    }

    static uint32_t Child(const STrieNode& node, uint32_t id)
    {
        const auto it = std::lower_bound(node.children.begin(), node.children.end(), std::make_pair(id, uint32_t(0)));
        return it != node.children.end() && it->first == id ? it->second : kNone;
    }

    // Adds (delta +1) or removes (-1) batch pos with sorted bone ids ids in
    // the trie: every node on its path counts the batches below it and
    // keeps a lower bound of their positions (exact after additions; a
    // removal leaves it low, which only prunes less, unless the node
    // empties).
    void TrieUpdate(const std::vector<uint32_t>& ids, uint32_t pos, int delta)
    {
        uint32_t node = 0;
        for (uint32_t id : ids) {
            uint32_t child = Child(m_trie[node], id);
            if (child == kNone) {
                child = uint32_t(m_trie.size());
                m_trie.emplace_back();
                auto& kids = m_trie[node].children;
                kids.insert(std::lower_bound(kids.begin(), kids.end(), std::make_pair(id, uint32_t(0))),
                            std::make_pair(id, child));
            }
            STrieNode& c = m_trie[child];
            c.batches = uint32_t(int64_t(c.batches) + delta);
            if (delta > 0)
                c.lowest = std::min(c.lowest, pos);
            else if (c.batches == 0)
                c.lowest = kNone;
            node = child;
        }
        std::vector<uint32_t>& exact = m_trie[node].exact;
        if (delta > 0)
            exact.push_back(pos);
        else
            exact.erase(std::remove(exact.begin(), exact.end(), pos), exact.end());
    }

    // Gives batch pos the bones of s (a new batch, or one whose bones s
    // holds, so its bones only grow).
    void Place(uint32_t pos, const SBoneSet& s)
    {
        SBatch& batch = m_batches[pos];
        if (batch.set.ids.empty()) {
            m_empty.erase(std::remove(m_empty.begin(), m_empty.end(), pos), m_empty.end());
        } else {
            TrieUpdate(batch.set.ids, pos, -1);
        }
        for (uint32_t id : s.ids)
            if (!std::binary_search(batch.set.ids.begin(), batch.set.ids.end(), id))
                m_posting[id].push_back(pos);
        if (m_words)
            SetMask(&m_masks[size_t(pos) * m_words], s.ids);
        batch.set = s;
        if (s.ids.empty()) {
            m_empty.insert(std::upper_bound(m_empty.begin(), m_empty.end(), pos), pos);
        } else {
            TrieUpdate(s.ids, pos, +1);
        }
    }

    const SSetTable& m_table;
    std::vector<SBatch> m_batches;
    std::vector<std::vector<uint32_t>> m_posting; // bone id -> batches holding it
    // Trie of the batches' sorted bone ids; node 0 is the root.
    std::vector<STrieNode> m_trie = std::vector<STrieNode>(1);
    std::vector<uint32_t> m_empty; // batches without bones, in order
    uint32_t m_version = 0;
    std::vector<uint32_t> m_cacheVersion; // per canonical set: list version it was taken at
    // With few enough bones, every batch's bones as a mask, and the set
    // being placed.
    size_t m_words;
    std::vector<uint64_t> m_masks;
    uint64_t m_setMask[kMaskWords];

    bool MaskIncludes(uint32_t pos, const uint64_t* inner) const
    {
        for (size_t w = 0; w < m_words; ++w)
            if ((m_masks[size_t(pos) * m_words + w] & inner[w]) != inner[w])
                return false;
        return true;
    }
};

// Merging: each batch takes in turn the later batch that adds the fewest
// bones within the palette (the first of equals), until none fits.
void MergeBatchesBySets(std::vector<SBatch>& batches, uint32_t limit)
{
    for (size_t a = 0; a < batches.size(); ++a) {
        if (batches[a].removed)
            continue;
        SBoneSet& A = batches[a].set;
        for (;;) {
            size_t best = kNone;
            size_t bestExtra = limit; // an extra of the palette size never fits
            for (size_t b = a + 1; b < batches.size() && bestExtra > 0; ++b) {
                const SBatch& B = batches[b];
                if (B.removed)
                    continue;
                const size_t bSize = B.set.ids.size();
                if (bSize >= A.ids.size() + bestExtra)
                    continue; // cannot add fewer than bestExtra bones
                const size_t extra = bSize - IntersectionSize(A.ids, B.set.ids);
                if (extra < bestExtra && A.ids.size() + extra <= limit) {
                    best = b;
                    bestExtra = extra;
                }
            }
            if (best == kNone)
                break;
            TakeIn(A, batches[best].set);
            batches[best].removed = true;
        }
    }
}

// The same merging with each batch's bones as a bit mask and the batches
// still there in a list: a pair costs a few instructions instead of a walk
// over two sorted lists.
void MergeBatchesByMasks(std::vector<SBatch>& batches, uint32_t limit, size_t words)
{
    const size_t count = batches.size();
    std::vector<uint64_t> masks(count * words, 0);
    for (size_t b = 0; b < count; ++b)
        SetMask(&masks[b * words], batches[b].set.ids);
    // Batches not yet taken in, in order: next[b] is the one after b.
    std::vector<uint32_t> next(count + 1), prev(count + 1);
    for (size_t b = 0; b <= count; ++b) {
        next[b] = uint32_t(b + 1);
        prev[b] = uint32_t(b) - 1;
    }
    auto unlink = [&](size_t b) {
        next[prev[b]] = next[b];
        prev[next[b]] = prev[b];
    };
    for (size_t a = 0; a < count; a = next[a]) {
        SBoneSet& A = batches[a].set;
        uint64_t outside[kMaskWords];
        for (size_t w = 0; w < words; ++w)
            outside[w] = ~masks[a * words + w];
        for (;;) {
            const size_t aSize = A.ids.size();
            size_t best = kNone;
            size_t bestExtra = limit;
            for (size_t b = next[a]; b < count && bestExtra > 0; b = next[b]) {
                const size_t bSize = batches[b].set.ids.size();
                if (bSize >= aSize + bestExtra)
                    continue;
                size_t extra = 0;
                for (size_t w = 0; w < words; ++w)
                    extra += BitCount(masks[b * words + w] & outside[w]);
                if (extra < bestExtra && aSize + extra <= limit) {
                    best = b;
                    bestExtra = extra;
                }
            }
            if (best == kNone)
                break;
            TakeIn(A, batches[best].set);
            for (size_t w = 0; w < words; ++w)
                outside[w] &= ~masks[best * words + w];
            batches[best].removed = true;
            unlink(best);
        }
    }
}

void MergeBatches(std::vector<SBatch>& batches, uint32_t limit, size_t boneCount)
{
    if (const size_t words = MaskWords(boneCount))
        MergeBatchesByMasks(batches, limit, words);
    else
        MergeBatchesBySets(batches, limit);
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
    // (the list no longer changes, so one answer per distinct set).
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
                    if (Includes(batches[b].set.ids, s.ids)) {
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
