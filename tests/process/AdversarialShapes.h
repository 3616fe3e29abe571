#pragma once
// Triangle lists that make ordering and strip algorithms show their worst
// case: one vertex shared by very many triangles, long thin strips, soups,
// repeated and degenerate triangles. Small enough for the literal reference
// implementations to check.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "PerMeshTestUtil.h"

namespace permesh {

struct SShapeCase {
    std::string name;
    std::vector<uint32_t> faces;
    uint32_t vertexCount = 0;
};

// A polygon of n + 2 corners as a fan from corner `centre` (the rest in
// order round it): how importers triangulate a polygon.
inline std::vector<uint32_t> FanFaces(uint32_t n, uint32_t centre = 0)
{
    std::vector<uint32_t> f;
    std::vector<uint32_t> ring;
    for (uint32_t i = 0; i < n + 2; ++i)
        if (i != centre)
            ring.push_back(i);
    for (uint32_t i = 0; i + 1 < ring.size(); ++i)
        f.insert(f.end(), {centre, ring[i], ring[i + 1]});
    return f;
}

// A strip of n triangles two vertices wide.
inline std::vector<uint32_t> ThinStripFaces(uint32_t n)
{
    std::vector<uint32_t> f;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t a = 2 * (i / 2), b = a + 1, c = a + 2, d = a + 3;
        if (i % 2 == 0)
            f.insert(f.end(), {a, c, b});
        else
            f.insert(f.end(), {b, c, d});
    }
    return f;
}

// `triangles` random triangles over `vertices` vertices, three different
// corners each.
inline std::vector<uint32_t> SoupFaces(uint32_t triangles, uint32_t vertices, std::mt19937& rng)
{
    std::vector<uint32_t> f;
    for (uint32_t t = 0; t < triangles; ++t) {
        const uint32_t a = rng() % vertices;
        uint32_t b = rng() % vertices, c = rng() % vertices;
        while (b == a)
            b = rng() % vertices;
        while (c == a || c == b)
            c = rng() % vertices;
        f.insert(f.end(), {a, b, c});
    }
    return f;
}

// The shapes, each also shuffled. Vertex counts follow the largest index.
inline std::vector<SShapeCase> AdversarialShapes()
{
    std::mt19937 rng(1414);
    std::vector<SShapeCase> cases;
    auto add = [&](const std::string& name, std::vector<uint32_t> f) {
        uint32_t largest = 0;
        for (uint32_t i : f)
            largest = std::max(largest, i);
        cases.push_back({name, f, largest + 1});
        ShuffleTriangles(f, rng);
        cases.push_back({name + " shuffled", f, largest + 1});
    };
    add("fan", FanFaces(150));
    add("fan round a middle corner", FanFaces(120, 57));
    {
        // Closed double cone: two fans sharing their rim.
        const uint32_t n = 90;
        std::vector<uint32_t> f;
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t a = 2 + i, b = 2 + (i + 1) % n;
            f.insert(f.end(), {0, a, b, 1, b, a});
        }
        add("double cone", f);
    }
    {
        // A disc: a fan in the middle, rings of quads round it.
        const uint32_t n = 70, rings = 2;
        std::vector<uint32_t> f;
        for (uint32_t i = 0; i < n; ++i)
            f.insert(f.end(), {0, 1 + i, 1 + (i + 1) % n});
        for (uint32_t r = 0; r < rings; ++r)
            for (uint32_t i = 0; i < n; ++i) {
                const uint32_t a = 1 + r * n + i, b = 1 + r * n + (i + 1) % n, c = a + n, d = b + n;
                f.insert(f.end(), {a, c, b, b, c, d});
            }
        add("disc", f);
    }
    {
        // A fan with degenerate triangles at its centre (as when neighbouring
        // corners are welded), and (v, v, v).
        std::vector<uint32_t> f = FanFaces(100);
        for (uint32_t i = 1; i < 100; i += 7)
            f.insert(f.end(), {0, 0, i, 0, i + 3, i + 3, i + 5, 0, i + 5, i + 5, 0, i + 5});
        f.insert(f.end(), {0, 0, 0, 5, 5, 5});
        add("fan with degenerate triangles", f);
    }
    {
        // The same without (v, v, v), and some degenerate triangles twice.
        std::vector<uint32_t> f = FanFaces(110);
        for (uint32_t i = 1; i < 100; i += 6)
            f.insert(f.end(), {0, 0, i, 0, i + 2, i + 2, i + 4, 0, i + 4, i + 4, 0, i + 4});
        add("fan with welded corners", f);
    }
    {
        // A fan with every triangle twice, some turned round.
        std::vector<uint32_t> f = FanFaces(80), g;
        for (size_t t = 0; t < f.size(); t += 3) {
            g.insert(g.end(), {f[t], f[t + 1], f[t + 2]});
            if (t % 2)
                g.insert(g.end(), {f[t + 1], f[t + 2], f[t]});
            else
                g.insert(g.end(), {f[t], f[t + 2], f[t + 1]});
        }
        add("fan of doubled triangles", g);
    }
    add("thin strip", ThinStripFaces(240));
    add("soup", SoupFaces(200, 90, rng));
    {
        // One triangle many times, joined to a grid so that it is part of a
        // big piece.
        std::vector<uint32_t> f = GridFaces(6, 6);
        for (int i = 0; i < 120; ++i)
            f.insert(f.end(), {0, 1, 7});
        add("repeated triangle", f);
    }
    {
        std::vector<uint32_t> f;
        for (int i = 0; i < 100; ++i)
            f.insert(f.end(), {0, 1, 2});
        add("one triangle only", f);
    }
    {
        // The same triangle starting at each of its corners in turn.
        std::vector<uint32_t> f;
        for (uint32_t i = 0; i < 90; ++i)
            f.insert(f.end(), {i % 3, (i + 1) % 3, (i + 2) % 3});
        add("one triangle rotated", f);
    }
    {
        // Two fans whose centres share triangles.
        std::vector<uint32_t> f = FanFaces(80);
        for (uint32_t i = 1; i < 60; ++i)
            f.insert(f.end(), {0, 82 + i, 82 + i + 1, 1, 82 + i + 1, 82 + i});
        add("two busy vertices", f);
    }
    return cases;
}

} // namespace permesh
