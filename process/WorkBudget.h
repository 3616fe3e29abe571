#pragma once
// Work budgets for steps that can grow faster than their input on hostile
// meshes. Work is counted in steps, never in time, so a mesh that spends its
// budget gives the same result on every machine and at every --jobs.
#include <cstdint>

// perTriangle steps per triangle and halving of n, plus a fixed floor for
// any mesh (small meshes of any shape stay exact).
inline uint64_t WorkBudget(uint32_t n, uint64_t perTriangle, uint64_t floor)
{
    uint64_t halvings = 1;
    for (uint32_t m = n; m > 1; m /= 2)
        ++halvings;
    return perTriangle * uint64_t(n) * halvings + floor;
}
