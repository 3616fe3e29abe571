#include "import/ImportWarnings.h"

#include "base/ConversionLog.h"

#include <algorithm>
#include <utility>

namespace {
const char* const kWarnings[eWarnCount] = {
    "WARNING: Rescaling some bone weights as their total weight does not equal 1.",
    "WARNING: Ignoring some bones as QEF only supports up to (4) bones per vertex.",
    "WARNING: Ignoring some UV coordinates as QEF only supports up to (8) sets per mesh.",
    ("WARNING: An unsupported interpolation type for animations has been found. Collada2QEF only\n"
     "supports: Step and Linear."),
    "WARNING: Collada2QEF does not support mixed interpolation types for animations.",
    "WARNING: Morph targets are not exported; morphed meshes keep their base mesh.",
};
} // namespace

void CImportWarnings::WarnOnce(int n)
{
    if (n < 0 || n >= eWarnCount || m_abWarned[n])
        return;
    m_abWarned[n] = true;
    ConversionLog(eLogWarning, "%s", kWarnings[n]);
}

void GiveInOrder(const std::vector<SFirstWarnings>& pieces, CImportWarnings& warnings)
{
    std::vector<std::pair<int64_t, int>> given;
    for (const SFirstWarnings& p : pieces)
        for (int w = 0; w < eWarnCount; ++w)
            if (p.at[w] >= 0)
                given.push_back({p.at[w], w == eWarnBoneLimit ? -1 : w});
    std::sort(given.begin(), given.end());
    for (const auto& g : given)
        warnings.WarnOnce(g.second < 0 ? int(eWarnBoneLimit) : g.second);
}
