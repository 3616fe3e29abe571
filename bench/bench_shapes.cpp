// Per-mesh steps on shapes that make algorithms show their worst: a fan (one
// polygon, every triangle at one vertex; also turned, the centre at each
// corner in turn), a long thin strip, a random soup,
// one triangle repeated, a grid, a grid with all its vertices at one point,
// and thousands of tiny meshes. For each shape and size every step runs in a
// child process of its own with a limit of processor time (a step that passes
// it shows as "limit"), and prints its processor time and triangles per
// second; the last two columns are whole conversions from an import scene
// (grouping, welding, instancing, processing, writing) with default options
// and with strips and tangent space.
// Usage: bench_shapes [TRIANGLES...] [--shape NAME]... [--step NAME]...
//                     [--limit SECONDS] [--wall]
//   default sizes 10000 and 100000, every shape (fan turned strip soup repeat
//   grid coincident tiny) and every step, 60 s of processor time per step;
//   --wall prints wall time instead of processor time
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "scene/ImportScene.h"
#include "options/Options.h"
#include "process/BoneBatch.h"
#include "process/IndexList.h"
#include "process/ProcessMesh.h"
#include "process/SceneExporter.h"
#include "process/TangentSpace.h"
#include "process/TriStrip.h"
#include "process/TriangleSort.h"
#include "process/VertexLayout.h"
#include "scene/Scene.h"

namespace {

struct SShape {
    std::vector<uint32_t> faces;
    std::vector<SVec3> positions; // per vertex
    uint32_t meshes = 1;          // tiny: the faces are this many meshes of equal size
};

// n triangles of each shape.
SShape MakeShape(const std::string& name, uint32_t n)
{
    SShape s;
    auto vertex = [&](float x, float y) { s.positions.push_back({x, y, 0.0f}); };
    if (name == "fan" || name == "turned") {
        // A polygon of n + 2 corners as a fan from its first corner: the cap
        // of a finely divided cylinder. Turned: each triangle starts at
        // another corner, so the centre is at each corner in turn.
        for (uint32_t i = 0; i < n + 2; ++i) {
            const float a = 6.2831853f * float(i) / float(n + 2);
            vertex(std::cos(a), std::sin(a));
        }
        for (uint32_t i = 1; i <= n; ++i) {
            uint32_t f[3] = {0, i, i + 1};
            if (name == "turned")
                std::rotate(f, f + i % 3, f + 3);
            s.faces.insert(s.faces.end(), f, f + 3);
        }
    } else if (name == "strip") {
        const uint32_t cells = (n + 1) / 2;
        for (uint32_t i = 0; i <= cells; ++i)
            vertex(float(i), 0), vertex(float(i), 1);
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t c = i / 2, a = 2 * c, b = a + 1, d = a + 2, e = a + 3;
            if (i % 2 == 0)
                s.faces.insert(s.faces.end(), {a, d, b});
            else
                s.faces.insert(s.faces.end(), {b, d, e});
        }
    } else if (name == "soup") {
        std::mt19937 rng(17);
        const uint32_t vertices = std::max<uint32_t>(3, n / 2);
        for (uint32_t v = 0; v < vertices; ++v)
            vertex(float(rng() % 1000), float(rng() % 1000));
        for (uint32_t t = 0; t < n; ++t) {
            uint32_t a = rng() % vertices, b = rng() % vertices, c = rng() % vertices;
            while (b == a)
                b = rng() % vertices;
            while (c == a || c == b)
                c = rng() % vertices;
            s.faces.insert(s.faces.end(), {a, b, c});
        }
    } else if (name == "repeat") {
        vertex(0, 0), vertex(1, 0), vertex(0, 1);
        for (uint32_t t = 0; t < n; ++t)
            s.faces.insert(s.faces.end(), {0, 1, 2});
    } else if (name == "grid" || name == "coincident") {
        const uint32_t w = std::max<uint32_t>(1, uint32_t(std::sqrt(double(n) / 2)));
        const uint32_t h = std::max<uint32_t>(1, (n / 2 + w - 1) / w);
        for (uint32_t y = 0; y <= h; ++y)
            for (uint32_t x = 0; x <= w; ++x)
                name == "grid" ? vertex(float(x), float(y)) : vertex(0, 0);
        for (uint32_t c = 0; c < w * h && s.faces.size() < size_t(n) * 3; ++c) {
            const uint32_t x = c % w, y = c / w, a = y * (w + 1) + x, b = a + 1, d = a + w + 1, e = d + 1;
            s.faces.insert(s.faces.end(), {a, b, d});
            if (s.faces.size() < size_t(n) * 3)
                s.faces.insert(s.faces.end(), {b, e, d});
        }
    } else if (name == "tiny") {
        // Quads of two triangles, each its own mesh.
        s.meshes = std::max<uint32_t>(1, n / 2);
        for (uint32_t m = 0; m < s.meshes; ++m) {
            const uint32_t a = uint32_t(s.positions.size());
            vertex(float(m), 0), vertex(float(m) + 1, 0), vertex(float(m), 1), vertex(float(m) + 1, 1);
            s.faces.insert(s.faces.end(), {a, a + 1, a + 2, a + 1, a + 3, a + 2});
        }
    }
    return s;
}

SVertexChannel Channel(EZGXTDataType type, uint32_t components, uint32_t vertexCount)
{
    SVertexChannel c;
    c.eType = type;
    c.uiComponentCount = components;
    c.uiStride = components * 4;
    c.pData.assign(size_t(vertexCount) * c.uiStride, 0);
    return c;
}

// Triangles [first, first + faceCount) of the shape as one mesh the scene
// building hands on (the vertices they use, in order): positions, normals,
// one UV set and, with bones, four influences per vertex (of 40 bones).
SSceneMesh SceneMesh(const SShape& s, uint32_t first, uint32_t faceCount, bool bones)
{
    std::vector<uint32_t> faces(s.faces.begin() + size_t(first) * 3, s.faces.begin() + size_t(first + faceCount) * 3);
    const auto range = std::minmax_element(faces.begin(), faces.end());
    const uint32_t lo = *range.first, hi = *range.second;
    for (uint32_t& i : faces)
        i -= lo;
    SSceneMesh m;
    m.uiVertexCount = hi - lo + 1;
    m.uiTriangleCount = faceCount;
    m.sPosition = Channel(eZGXTFloat, 3, m.uiVertexCount);
    m.sNormal = Channel(eZGXTFloat, 3, m.uiVertexCount);
    m.psTexCoord.push_back(Channel(eZGXTFloat, 3, m.uiVertexCount));
    if (bones) {
        m.sBoneWeights = Channel(eZGXTFloat, 4, m.uiVertexCount);
        m.sBoneIndex = Channel(eZGXTInt, 4, m.uiVertexCount);
    }
    for (uint32_t v = 0; v < m.uiVertexCount; ++v) {
        const SVec3& p = s.positions[v + lo];
        const float n[3] = {0, 0, 1}, uv[3] = {p[0] * 0.01f, p[1] * 0.01f, 0}, w[4] = {0.4f, 0.3f, 0.2f, 0.1f};
        const int32_t index[4] = {int32_t(v % 40), int32_t((v / 3 + 1) % 40), int32_t((v / 7 + 2) % 40),
                                  int32_t((v / 11 + 3) % 40)};
        std::memcpy(&m.sPosition.pData[v * 12], p.data(), 12);
        std::memcpy(&m.sNormal.pData[v * 12], n, 12);
        std::memcpy(&m.psTexCoord[0].pData[v * 12], uv, 12);
        if (bones) {
            std::memcpy(&m.sBoneWeights.pData[v * 16], w, 16);
            std::memcpy(&m.sBoneIndex.pData[v * 16], index, 16);
        }
    }
    WriteIndices32(m.sIndexData, faces);
    return m;
}

// The shape as the importer delivers it: one position, normal and UV entry
// per triangle corner, one node per mesh.
SImportScene ImportScene(const SShape& s)
{
    SImportScene scene;
    const uint32_t perMesh = uint32_t(s.faces.size() / 3) / s.meshes;
    for (uint32_t mesh = 0; mesh < s.meshes; ++mesh) {
        SImportNode node;
        node.index = int32_t(mesh);
        node.name = "Shape" + std::to_string(mesh);
        node.content = eImportMesh;
        node.uvSets.resize(1);
        for (uint32_t t = mesh * perMesh; t < (mesh + 1) * perMesh; ++t) {
            SImportTriangle tri;
            std::array<int32_t, 3> uv{};
            for (int c = 0; c < 3; ++c) {
                const SVec3& p = s.positions[s.faces[size_t(t) * 3 + size_t(c)]];
                const int32_t i = int32_t(node.positions.size());
                node.positions.push_back(p);
                node.normals.push_back({0, 0, 1});
                node.uvSets[0].values.push_back({p[0] * 0.01f, p[1] * 0.01f, 0});
                tri.position[c] = tri.normal[c] = uv[size_t(c)] = i;
            }
            node.triangles.push_back(tri);
            node.uvSets[0].triangles.push_back(uv);
        }
        scene.nodes.push_back(std::move(node));
    }
    return scene;
}

// Processor time (all threads) by default; wall time with --wall, for the
// steps that use both cores.
bool g_wall = false;

double Seconds()
{
    timespec t{};
    clock_gettime(g_wall ? CLOCK_MONOTONIC : CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Seconds work took in a child process, -1 when it failed, -2 past the
// limit (of processor time, either way).
double Timed(double limit, const std::function<bool()>& work)
{
    int fd[2];
    if (pipe(fd) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fd[0]);
        // Processor time, limit included: the machine is shared, and wall
        // time grows with the load of others.
        const rlim_t seconds = rlim_t(std::ceil(limit));
        const rlimit cpu{seconds, seconds + 1};
        setrlimit(RLIMIT_CPU, &cpu);
        alarm(unsigned(seconds * 10));
        const double start = Seconds();
        const bool ok = work();
        const double s = ok ? Seconds() - start : -1;
        const ssize_t written = write(fd[1], &s, sizeof s);
        _exit(written == ssize_t(sizeof s) ? 0 : 1);
    }
    close(fd[1]);
    double s = -2;
    if (pid < 0 || read(fd[0], &s, sizeof s) != ssize_t(sizeof s))
        s = -2;
    if (pid > 0)
        waitpid(pid, nullptr, 0);
    close(fd[0]);
    return s;
}

// Every mesh of the shape through one per-mesh step.
bool EachMesh(const SShape& s, const std::function<bool(SSceneMesh&)>& step, bool interleaved, bool bones = false)
{
    const uint32_t perMesh = uint32_t(s.faces.size() / 3) / s.meshes;
    // Built before the clock starts would be better, but the tiny meshes make
    // thousands; building is linear and small next to every step.
    for (uint32_t mesh = 0; mesh < s.meshes; ++mesh) {
        SSceneMesh m = SceneMesh(s, mesh * perMesh, perMesh, bones);
        if (interleaved)
            InterleaveMesh(m, 1);
        if (!step(m))
            return false;
    }
    return true;
}

COptions StripOptions()
{
    COptions o;
    o.SetPrimType(ePrimTriangleStrip);
    o.SetBool(opt::bTangentSpace, true);
    return o;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<uint32_t> sizes;
    std::vector<std::string> shapes, only;
    double limit = 60;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--shape") == 0 && i + 1 < argc)
            shapes.push_back(argv[++i]);
        else if (std::strcmp(argv[i], "--step") == 0 && i + 1 < argc)
            only.push_back(argv[++i]);
        else if (std::strcmp(argv[i], "--wall") == 0)
            g_wall = true;
        else if (std::strcmp(argv[i], "--limit") == 0 && i + 1 < argc)
            limit = std::atof(argv[++i]);
        else
            sizes.push_back(uint32_t(std::atoll(argv[i])));
    }
    if (sizes.empty())
        sizes = {10000, 100000};
    if (shapes.empty())
        shapes = {"fan", "turned", "strip", "soup", "repeat", "grid", "coincident", "tiny"};
    const std::string out =
        (std::filesystem::temp_directory_path() / ("mw-bench-shapes-" + std::to_string(getpid()) + ".qef")).string();

    struct SStep {
        const char* name;
        std::function<bool(const SShape&)> run;
    };
    auto sortStep = [](int method) {
        return [method](const SShape& s) {
            return EachMesh(
                s,
                [method](SSceneMesh& m) {
                    std::vector<uint32_t> f = ReadIndices(m.sIndexData, uint64_t(m.uiTriangleCount) * 3);
                    SortTriangles(method, nullptr, f.data(), 0, m.uiVertexCount, m.uiTriangleCount);
                    return true;
                },
                false);
        };
    };
    std::vector<SStep> steps = {
        {"sort1", sortStep(1)},
        {"sort2", sortStep(2)},
        {"sort3", sortStep(3)},
        {"strips",
         [](const SShape& s) {
             return EachMesh(
                 s,
                 [](SSceneMesh& m) {
                     BuildStrips(m);
                     return true;
                 },
                 false);
         }},
        {"tangent",
         [](const SShape& s) {
             return EachMesh(
                 s,
                 [](SSceneMesh& m) {
                     COptions o;
                     o.SetBool(opt::bTangentSpace, true);
                     o.SetTriSort(eTriSortNone);
                     return ProcessMesh(o, m);
                 },
                 false);
         }},
        {"bones",
         [](const SShape& s) {
             return EachMesh(
                 s, [](SSceneMesh& m) { return GenerateMeshBoneBatches(m, 12) == 0; }, true, true);
         }},
        {"deindex",
         [](const SShape& s) {
             return EachMesh(
                 s,
                 [](SSceneMesh& m) {
                     DeindexMesh(m);
                     return true;
                 },
                 true);
         }},
        {"mesh",
         [](const SShape& s) {
             return EachMesh(
                 s, [](SSceneMesh& m) { return ProcessMesh(COptions(), m); }, false);
         }},
        {"mesh_st",
         [](const SShape& s) {
             return EachMesh(
                 s, [](SSceneMesh& m) { return ProcessMesh(StripOptions(), m); }, false);
         }},
        {"convert",
         [&out](const SShape& s) {
             const SImportScene scene = ImportScene(s);
             CSceneExporter exporter;
             exporter.SetOutputPath(out);
             const COptions options;
             return exporter.Process(scene, options) && exporter.Write(out.c_str(), options, "bench");
         }},
        {"convert_st",
         [&out](const SShape& s) {
             const SImportScene scene = ImportScene(s);
             CSceneExporter exporter;
             exporter.SetOutputPath(out);
             const COptions options = StripOptions();
             return exporter.Process(scene, options) && exporter.Write(out.c_str(), options, "bench");
         }},
    };

    if (!only.empty())
        steps.erase(
            std::remove_if(steps.begin(), steps.end(),
                           [&](const SStep& st) { return std::find(only.begin(), only.end(), st.name) == only.end(); }),
            steps.end());
    std::printf("%-10s %8s", "shape", "tris");
    for (const SStep& st : steps)
        std::printf(" %11s", st.name);
    std::printf("\n%-10s %8s", "", "");
    for (size_t i = 0; i < steps.size(); ++i)
        std::printf(" %11s", "s (Mtri/s)");
    std::printf("\n");
    for (const std::string& shape : shapes)
        for (uint32_t n : sizes) {
            const SShape s = MakeShape(shape, n);
            const double tris = double(s.faces.size() / 3);
            std::printf("%-10s %8.0f", shape.c_str(), tris);
            std::fflush(stdout);
            for (const SStep& st : steps) {
                const double t = Timed(limit, [&] { return st.run(s); });
                if (t == -2)
                    std::printf(" %11s", "limit");
                else if (t < 0)
                    std::printf(" %11s", "failed");
                else
                    std::printf(" %5.3f(%4.1f)", t, tris / std::max(t, 1e-9) / 1e6);
                std::fflush(stdout);
            }
            std::printf("\n");
        }
    std::filesystem::remove(out);
    return 0;
}
