#pragma once
// Warnings that an import gives at most once, whatever the input format.
#include <cstdint>

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
