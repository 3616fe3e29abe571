#pragma once
// Meshes and triangle lists for the per-mesh processing tests.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "process/IndexList.h"
#include "scene/Scene.h"

namespace permesh {

using Triangle = std::array<uint32_t, 3>;

// A grid of w x h cells, two triangles each, counter-clockwise seen from +z;
// vertex (x, y) is y * (w + 1) + x. Every other cell is split along the
// other diagonal when mixed is set.
inline std::vector<uint32_t> GridFaces(uint32_t w, uint32_t h, bool mixed = false)
{
    std::vector<uint32_t> f;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t a = y * (w + 1) + x, b = a + 1, c = a + w + 1, d = c + 1;
            if (mixed && (x + y) % 2)
                f.insert(f.end(), {a, b, d, a, d, c});
            else
                f.insert(f.end(), {a, b, c, b, d, c});
        }
    return f;
}

inline void ShuffleTriangles(std::vector<uint32_t>& f, std::mt19937& rng)
{
    const size_t n = f.size() / 3;
    for (size_t i = n; i > 1; --i) {
        const size_t j = rng() % i;
        for (int k = 0; k < 3; ++k)
            std::swap(f[(i - 1) * 3 + k], f[j * 3 + k]);
    }
}

// Small meshes of many shapes: grid patches with holes, shuffled, with
// extra triangles that share edges oddly, or triangle soups.
inline std::vector<uint32_t> RandomFaces(std::mt19937& rng, uint32_t* vertexCount)
{
    std::vector<uint32_t> f;
    if (rng() % 3 != 0) {
        const uint32_t w = 1 + rng() % 9, h = 1 + rng() % 9;
        *vertexCount = (w + 1) * (h + 1);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                const uint32_t a = y * (w + 1) + x, b = a + 1, c = a + w + 1, d = c + 1;
                if (rng() % 7 == 0)
                    continue;
                if (rng() % 2)
                    f.insert(f.end(), {a, b, c, b, d, c});
                else
                    f.insert(f.end(), {a, b, d, a, d, c});
                if (rng() % 11 == 0)
                    f.insert(f.end(), {b, a, c}); // the other side of an edge in use
            }
        ShuffleTriangles(f, rng);
    } else {
        *vertexCount = 4 + rng() % 20;
        const uint32_t n = 1 + rng() % 40;
        for (uint32_t i = 0; i < n; ++i)
            f.insert(f.end(),
                     {uint32_t(rng() % *vertexCount), uint32_t(rng() % *vertexCount), uint32_t(rng() % *vertexCount)});
    }
    return f;
}

// The same triangle whatever corner it is written from; the winding counts.
inline Triangle Canonical(uint32_t a, uint32_t b, uint32_t c)
{
    return std::min({Triangle{a, b, c}, Triangle{b, c, a}, Triangle{c, a, b}});
}

// The triangles of a list as a sorted multiset of canonical triangles.
inline std::vector<Triangle> TriangleSet(const std::vector<uint32_t>& faces)
{
    std::vector<Triangle> out;
    for (size_t i = 0; i + 2 < faces.size(); i += 3)
        out.push_back(Canonical(faces[i], faces[i + 1], faces[i + 2]));
    std::sort(out.begin(), out.end());
    return out;
}

inline SVertexChannel FloatChannel(const std::vector<float>& values, uint32_t components)
{
    SVertexChannel c;
    c.eType = eZGXTFloat;
    c.uiComponentCount = components;
    c.uiStride = components * 4;
    c.pData.resize(values.size() * 4);
    if (!values.empty())
        std::memcpy(c.pData.data(), values.data(), c.pData.size());
    return c;
}

// A mesh with separate float channels and 32-bit indices; empty attribute
// vectors leave the attribute out.
inline SSceneMesh MakeMesh(const std::vector<float>& positions, const std::vector<float>& normals,
                           const std::vector<std::vector<float>>& uvs, const std::vector<uint32_t>& faces)
{
    SSceneMesh m;
    m.uiVertexCount = uint32_t(positions.size() / 3);
    m.uiTriangleCount = uint32_t(faces.size() / 3);
    m.sPosition = FloatChannel(positions, 3);
    if (!normals.empty())
        m.sNormal = FloatChannel(normals, 3);
    for (const std::vector<float>& uv : uvs)
        m.psTexCoord.push_back(FloatChannel(uv, 3));
    WriteIndices32(m.sIndexData, faces);
    return m;
}

// A flat grid mesh in the z = 0 plane with normals (0, 0, 1) and one UV set
// running with x and y.
inline SSceneMesh GridMesh(uint32_t w, uint32_t h, bool mixed = false)
{
    std::vector<float> p, n, uv;
    for (uint32_t y = 0; y <= h; ++y)
        for (uint32_t x = 0; x <= w; ++x) {
            p.insert(p.end(), {float(x), float(y), 0.0f});
            n.insert(n.end(), {0.0f, 0.0f, 1.0f});
            uv.insert(uv.end(), {float(x) / float(w), float(y) / float(h), 0.0f});
        }
    return MakeMesh(p, n, {uv}, GridFaces(w, h, mixed));
}

inline std::vector<float> Floats(const SVertexChannel& c, uint32_t vertexCount)
{
    std::vector<float> out;
    for (uint32_t v = 0; v < vertexCount; ++v)
        for (uint32_t k = 0; k < c.uiComponentCount; ++k) {
            float x;
            std::memcpy(&x, &c.pData[size_t(v) * c.uiStride + k * 4], 4);
            out.push_back(x);
        }
    return out;
}

// The triangles of a mesh written out as the vertex records they use, so
// that meshes with renumbered or split vertices can be compared.
inline std::vector<std::vector<uint8_t>> TrianglesByContent(const SSceneMesh& m,
                                                            const std::vector<const SVertexChannel*>& channels)
{
    const std::vector<uint32_t> faces = TriangleList(m);
    std::vector<std::vector<uint8_t>> out;
    for (size_t i = 0; i + 2 < faces.size(); i += 3) {
        std::vector<std::vector<uint8_t>> corners;
        for (int k = 0; k < 3; ++k) {
            std::vector<uint8_t> bytes;
            for (const SVertexChannel* c : channels) {
                const uint8_t* e = &c->pData[size_t(faces[i + k]) * c->uiStride];
                bytes.insert(bytes.end(), e, e + ElementSize(*c));
            }
            corners.push_back(bytes);
        }
        // Rotate so that the smallest corner comes first; the winding counts.
        const size_t first = size_t(std::min_element(corners.begin(), corners.end()) - corners.begin());
        std::vector<uint8_t> tri;
        for (int k = 0; k < 3; ++k)
            tri.insert(tri.end(), corners[(first + size_t(k)) % 3].begin(), corners[(first + size_t(k)) % 3].end());
        out.push_back(tri);
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace permesh
