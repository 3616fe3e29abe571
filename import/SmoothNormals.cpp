#include "import/SmoothNormals.h"

#include <cmath>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "base/ConversionLog.h"

namespace {

struct SPositionHash {
    size_t operator()(const SVec3& p) const
    {
        uint32_t bits[3];
        std::memcpy(bits, p.data(), sizeof(bits));
        return size_t(bits[0]) * 73856093u ^ size_t(bits[1]) * 19349663u ^ size_t(bits[2]) * 83492791u;
    }
};

} // namespace

void ComputeSmoothNormals(SImportNode& record)
{
    const size_t positions = record.positions.size();
    // Welded positions: corners at exactly the same place share a normal.
    std::unordered_map<SVec3, int32_t, SPositionHash> welded;
    welded.reserve(positions);
    std::vector<int32_t> weldOf(positions, -1);
    std::vector<double> sums; // 3 per welded position
    for (size_t i = 0; i < positions; ++i) {
        const auto [it, added] = welded.emplace(record.positions[i], int32_t(welded.size()));
        weldOf[i] = it->second;
        if (added)
            sums.insert(sums.end(), {0.0, 0.0, 0.0});
    }
    auto valid = [&](int32_t p) { return p >= 0 && size_t(p) < positions; };
    for (const SImportTriangle& t : record.triangles) {
        if (!valid(t.position[0]) || !valid(t.position[1]) || !valid(t.position[2]))
            continue;
        const SVec3& a = record.positions[size_t(t.position[0])];
        const SVec3& b = record.positions[size_t(t.position[1])];
        const SVec3& c = record.positions[size_t(t.position[2])];
        const double u[3] = {double(b[0]) - a[0], double(b[1]) - a[1], double(b[2]) - a[2]};
        const double v[3] = {double(c[0]) - a[0], double(c[1]) - a[1], double(c[2]) - a[2]};
        const double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        if (!std::isfinite(n[0]) || !std::isfinite(n[1]) || !std::isfinite(n[2]))
            continue;
        for (int32_t p : t.position) {
            double* s = &sums[3 * size_t(weldOf[size_t(p)])];
            s[0] += n[0];
            s[1] += n[1];
            s[2] += n[2];
        }
    }
    record.normals.assign(welded.size(), SVec3{0, 1, 0});
    for (size_t w = 0; w < welded.size(); ++w) {
        const double* s = &sums[3 * w];
        const double len = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
        if (len > 0 && std::isfinite(len))
            record.normals[w] = {float(s[0] / len), float(s[1] / len), float(s[2] / len)};
    }
    for (SImportTriangle& t : record.triangles)
        for (int c = 0; c < 3; ++c)
            t.normal[c] = valid(t.position[c]) ? weldOf[size_t(t.position[c])] : -1;
}

void MendMissingNormals(SImportNode& record)
{
    ConversionLog(eLogWarning, "Warning: Mesh '%s' has no normals; smooth normals were computed for it.\n",
                  record.name.c_str());
    ComputeSmoothNormals(record);
}
