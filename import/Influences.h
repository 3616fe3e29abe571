#pragma once
// The bone influences a vertex keeps, whatever the input format.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "import/ImportWarnings.h"
#include "scene/ImportScene.h"

// Bones a corner keeps at most.
constexpr size_t kMaxInfluences = 4;

// Sorts entries[0, n) heaviest first (equal weights keep their order) and
// keeps the first kMaxInfluences; returns how many are kept. scale receives
// what makes the kept weights add up to 1: 1 when they do within 1e-5 or add
// up to 0, else 1/sum. The warnings it gives (eWarnBoneLimit when it drops
// any, eWarnBoneWeights when it rescales) are added to warnings as bits
// (1 << EImportWarning), so that it can run on several threads at once.
size_t ReduceInfluences(SImportInfluence* entries, size_t n, float& scale, uint32_t& warnings);

// The same on a whole list, giving its warnings at once; returns the scale.
float ReduceInfluences(std::vector<SImportInfluence>& entries, CImportWarnings& warnings);
