// Per-mesh processing on a generated grid of 1,000,000 triangles (1000 x 500
// cells; positions, normals, one UV set): each triangle sorting method, strip
// building, tangent space, vertex order, interleaving and the whole default
// ProcessMesh. Counters: acmr (meshoptimizer's vertex cache analysis, cache
// size 16) of the triangle order a step leaves; peak_MB, the most heap in use
// during the step, and extra_MB, that peak less the heap in use when it
// started (every allocation is counted here); process_peak_MB, the process's
// peak resident memory so far.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <meshoptimizer.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <string>
#include <vector>

namespace {

std::atomic<size_t> g_heapNow{0}, g_heapPeak{0};

void* CountedAlloc(size_t n)
{
    void* p = std::malloc(n ? n : 1);
    if (!p)
        throw std::bad_alloc();
    const size_t now = g_heapNow += malloc_usable_size(p);
    size_t peak = g_heapPeak.load();
    while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {
    }
    return p;
}

void CountedFree(void* p) noexcept
{
    if (p) {
        g_heapNow -= malloc_usable_size(p);
        std::free(p);
    }
}

} // namespace

void* operator new(size_t n)
{
    return CountedAlloc(n);
}
void* operator new[](size_t n)
{
    return CountedAlloc(n);
}
void operator delete(void* p) noexcept
{
    CountedFree(p);
}
void operator delete[](void* p) noexcept
{
    CountedFree(p);
}
void operator delete(void* p, size_t) noexcept
{
    CountedFree(p);
}
void operator delete[](void* p, size_t) noexcept
{
    CountedFree(p);
}

#include "options/Options.h"
#include "process/IndexList.h"
#include "process/ProcessMesh.h"
#include "process/TangentSpace.h"
#include "process/TriStrip.h"
#include "process/TriangleSort.h"
#include "process/VertexLayout.h"
#include "process/VertexSort.h"
#include "scene/Scene.h"

namespace {

constexpr uint32_t kCellsX = 1000, kCellsY = 500;
constexpr uint32_t kVertices = (kCellsX + 1) * (kCellsY + 1);
constexpr uint32_t kTriangles = kCellsX * kCellsY * 2;

SVertexChannel FloatChannel(uint32_t components)
{
    SVertexChannel c;
    c.eType = eZGXTFloat;
    c.uiComponentCount = components;
    c.uiStride = components * 4;
    c.pData.resize(size_t(kVertices) * c.uiStride);
    return c;
}

// Separate channels, 32-bit indices, triangles row by row: as the scene
// building hands a mesh to the per-mesh processing.
const SSceneMesh& GridMesh()
{
    static const SSceneMesh mesh = [] {
        SSceneMesh m;
        m.uiVertexCount = kVertices;
        m.uiTriangleCount = kTriangles;
        m.sPosition = FloatChannel(3);
        m.sNormal = FloatChannel(3);
        m.psTexCoord.push_back(FloatChannel(3));
        for (uint32_t v = 0; v < kVertices; ++v) {
            const float x = float(v % (kCellsX + 1)), y = float(v / (kCellsX + 1));
            const float p[3] = {x, y, 0.001f * x * y}, n[3] = {0, 0, 1}, uv[3] = {x / kCellsX, y / kCellsY, 0};
            std::memcpy(&m.sPosition.pData[v * 12], p, 12);
            std::memcpy(&m.sNormal.pData[v * 12], n, 12);
            std::memcpy(&m.psTexCoord[0].pData[v * 12], uv, 12);
        }
        std::vector<uint32_t> faces;
        faces.reserve(size_t(kTriangles) * 3);
        for (uint32_t y = 0; y < kCellsY; ++y)
            for (uint32_t x = 0; x < kCellsX; ++x) {
                const uint32_t a = y * (kCellsX + 1) + x, b = a + 1, c = a + kCellsX + 1, d = c + 1;
                faces.insert(faces.end(), {a, b, c, b, d, c});
            }
        WriteIndices32(m.sIndexData, faces);
        return m;
    }();
    return mesh;
}

const std::vector<uint32_t>& GridFaces()
{
    static const std::vector<uint32_t> faces = ReadIndices(GridMesh().sIndexData, uint64_t(kTriangles) * 3);
    return faces;
}

double StatusMB(const char* key)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(key);
    while (std::getline(in, line))
        if (line.compare(0, n, key) == 0)
            return std::stod(line.substr(n + 1)) / 1024.0;
    return 0.0;
}

// The most heap in use from Start on.
class CPeakMemory {
public:
    void Start()
    {
        m_before = g_heapNow.load();
        g_heapPeak = m_before;
    }
    void Report(benchmark::State& state) const
    {
        const double mb = 1024.0 * 1024.0;
        state.counters["peak_MB"] = double(g_heapPeak.load()) / mb;
        state.counters["extra_MB"] = double(g_heapPeak.load() - m_before) / mb;
        state.counters["process_peak_MB"] = StatusMB("VmHWM:");
    }

private:
    size_t m_before = 0;
};

float Acmr(const std::vector<uint32_t>& faces, uint32_t vertexCount)
{
    return meshopt_analyzeVertexCache(faces.data(), faces.size(), vertexCount, 16, 0, 0).acmr;
}

void BM_SortTriangles(benchmark::State& state)
{
    const int method = int(state.range(0));
    std::vector<uint32_t> faces;
    CPeakMemory memory;
    for (auto _ : state) {
        state.PauseTiming();
        faces = GridFaces();
        memory.Start();
        state.ResumeTiming();
        SortTriangles(method, nullptr, faces.data(), 0, kVertices, kTriangles);
    }
    memory.Report(state);
    state.counters["acmr"] = Acmr(faces, kVertices);
    state.SetLabel(method == 0   ? "none"
                   : method == 1 ? "ZGXTGeometrySort"
                   : method == 2 ? "meshoptimizer"
                                 : "ZGXTTriStrip");
}
BENCHMARK(BM_SortTriangles)->DenseRange(0, 3)->Iterations(1)->Unit(benchmark::kMillisecond);

// Strips from the strip order, as ProcessMesh builds them for "Triangle strips".
void BM_BuildStrips(benchmark::State& state)
{
    static const std::vector<uint32_t> ordered = [] {
        std::vector<uint32_t> f = GridFaces();
        TriStripOrder(f.data(), kTriangles);
        return f;
    }();
    SSceneMesh m;
    CPeakMemory memory;
    for (auto _ : state) {
        state.PauseTiming();
        m = SSceneMesh();
        m.uiTriangleCount = kTriangles;
        WriteIndices32(m.sIndexData, ordered);
        memory.Start();
        state.ResumeTiming();
        BuildStrips(m);
    }
    memory.Report(state);
    state.counters["strips"] = double(m.StripCount());
    state.counters["indices"] = double(IndexCount(m));
}
BENCHMARK(BM_BuildStrips)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_TangentSpace(benchmark::State& state)
{
    // Interleaved with room for tangents and binormals, as ProcessMesh has it.
    static const SSceneMesh interleaved = [] {
        SSceneMesh m = GridMesh();
        m.sTangent = FloatChannel(3);
        m.sBinormal = FloatChannel(3);
        InterleaveMesh(m, 1);
        return m;
    }();
    auto attribute = [](const SVertexChannel& c) { return SVertexAttribute{c.uiOffset, c.eType, c.uiComponentCount}; };
    const uint32_t stride = uint32_t(interleaved.pVertexBlock.size() / kVertices);
    std::vector<uint32_t> faces;
    std::vector<uint8_t> out;
    uint32_t count = 0;
    CPeakMemory memory;
    for (auto _ : state) {
        state.PauseTiming();
        faces = GridFaces();
        out = std::vector<uint8_t>();
        memory.Start();
        state.ResumeTiming();
        if (GenerateTangentSpace(&count, &out, faces.data(), kVertices, interleaved.pVertexBlock.data(), stride,
                                 attribute(interleaved.sPosition), attribute(interleaved.sNormal),
                                 attribute(interleaved.psTexCoord[0]), attribute(interleaved.sTangent),
                                 attribute(interleaved.sBinormal), kTriangles, 0.0f) != 0)
            state.SkipWithError("tangent space failed");
    }
    memory.Report(state);
    state.counters["vertices_out"] = double(count);
}
BENCHMARK(BM_TangentSpace)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_SortVertices(benchmark::State& state)
{
    static const SSceneMesh sorted = [] {
        SSceneMesh m = GridMesh();
        std::vector<uint32_t> f = GridFaces();
        SortTriangles(eTriSortGeometry, nullptr, f.data(), 0, kVertices, kTriangles);
        WriteIndices32(m.sIndexData, f);
        InterleaveMesh(m, 1);
        return m;
    }();
    SSceneMesh m;
    CPeakMemory memory;
    for (auto _ : state) {
        state.PauseTiming();
        m = sorted;
        memory.Start();
        state.ResumeTiming();
        SortMeshVertices(m);
    }
    memory.Report(state);
}
BENCHMARK(BM_SortVertices)->Iterations(1)->Unit(benchmark::kMillisecond);

// Interleaving with padding to 4 (the default at the end of processing),
// then back.
void BM_Interleave(benchmark::State& state)
{
    SSceneMesh m;
    CPeakMemory memory;
    for (auto _ : state) {
        state.PauseTiming();
        m = GridMesh();
        memory.Start();
        state.ResumeTiming();
        InterleaveMesh(m, 4);
    }
    memory.Report(state);
    state.counters["stride"] = double(m.pVertexBlock.size() / kVertices);
}
BENCHMARK(BM_Interleave)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_Deinterleave(benchmark::State& state)
{
    static const SSceneMesh interleaved = [] {
        SSceneMesh m = GridMesh();
        InterleaveMesh(m, 4);
        return m;
    }();
    SSceneMesh m;
    CPeakMemory memory;
    for (auto _ : state) {
        state.PauseTiming();
        m = interleaved;
        memory.Start();
        state.ResumeTiming();
        InterleaveMesh(m, 4);
    }
    memory.Report(state);
}
BENCHMARK(BM_Deinterleave)->Iterations(1)->Unit(benchmark::kMillisecond);

// The whole per-mesh processing with default options (geometry sort, vertex
// order, indexed list), and with strips and tangent space.
void BM_ProcessMesh(benchmark::State& state)
{
    COptionsData options;
    if (state.range(0) == 1) {
        options.SetPrimType(ePrimTriangleStrip); // strip order comes with it
        options.SetBool(opt::bTangentSpace, true);
    }
    SSceneMesh m;
    CPeakMemory memory;
    for (auto _ : state) {
        state.PauseTiming();
        m = GridMesh();
        memory.Start();
        state.ResumeTiming();
        if (!ProcessMesh(options, m))
            state.SkipWithError("ProcessMesh failed");
    }
    memory.Report(state);
    state.SetLabel(state.range(0) == 1 ? "strips + tangent space" : "defaults");
    if (m.puiStripTriangles.empty())
        state.counters["acmr"] = Acmr(ReadIndices(m.sIndexData, IndexCount(m)), m.uiVertexCount);
    else
        state.counters["strips"] = double(m.StripCount());
}
BENCHMARK(BM_ProcessMesh)->DenseRange(0, 1)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
