#include "import/ImportWarnings.h"

#include "base/ConversionLog.h"

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
