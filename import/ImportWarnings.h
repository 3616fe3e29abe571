#pragma once
// Warnings that an import gives at most once, whatever the input format.
#include <cstdint>
#include <vector>

enum EImportWarning : int {
    eWarnBoneWeights = 0,
    eWarnBoneLimit = 1,
    eWarnUVSets = 2,
    eWarnInterpolation = 3,
    eWarnMixedInterpolation = 4,
    eWarnMorphTargets = 5,
    eWarnCount = 6
};

// The warnings one import has given. Each import has its own.
class CImportWarnings {
public:
    // Logs warning n at warning level unless this import gave it already.
    void WarnOnce(int n);

private:
    bool m_abWarned[eWarnCount] = {};
};

// Where each warning first came up in one piece of work done in pieces side
// by side (a run of corners or vertices, numbered as one pass numbers them).
struct SFirstWarnings {
    int64_t at[eWarnCount]; // -1: not given
    SFirstWarnings()
    {
        for (int64_t& a : at)
            a = -1;
    }
    // Notes the warnings whose bits (1 << warning) are set in given at place.
    void Note(uint32_t given, int64_t place)
    {
        for (int w = 0; w < eWarnCount; ++w)
            if ((given >> w & 1) && at[w] < 0)
                at[w] = place;
    }
};

// Gives the warnings the pieces noted in the order one pass would have given
// them: by place, the bone limit before the weights at the same place.
void GiveInOrder(const std::vector<SFirstWarnings>& pieces, CImportWarnings& warnings);
