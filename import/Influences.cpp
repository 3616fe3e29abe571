#include "import/Influences.h"

#include <algorithm>
#include <utility>

size_t ReduceInfluences(SImportInfluence* entries, size_t n, float& scale, uint32_t& warnings)
{
    // Heaviest first; equal weights keep their order. Short lists (all that
    // exporters write) are sorted by insertion, which is stable and needs no
    // buffer.
    auto heavier = [](const SImportInfluence& a, const SImportInfluence& b) { return a.weight > b.weight; };
    if (n <= 16) {
        for (size_t i = 1; i < n; ++i)
            for (size_t j = i; j > 0 && heavier(entries[j], entries[j - 1]); --j)
                std::swap(entries[j], entries[j - 1]);
    } else {
        std::stable_sort(entries, entries + n, heavier);
    }
    if (n > kMaxInfluences) {
        n = kMaxInfluences;
        warnings |= 1u << eWarnBoneLimit;
    }
    double sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum += entries[i].weight;
    scale = 1;
    if (sum != 0 && (sum < 0.99999 || sum > 1.00001)) {
        warnings |= 1u << eWarnBoneWeights;
        scale = float(1.0 / sum);
    }
    return n;
}

float ReduceInfluences(std::vector<SImportInfluence>& entries, CImportWarnings& warnings)
{
    float scale = 1;
    uint32_t given = 0;
    entries.resize(ReduceInfluences(entries.data(), entries.size(), scale, given));
    // In the order a single pass gives them: the limit, then the weights.
    for (int w : {int(eWarnBoneLimit), int(eWarnBoneWeights)})
        if (given & (1u << w))
            warnings.WarnOnce(w);
    return scale;
}
