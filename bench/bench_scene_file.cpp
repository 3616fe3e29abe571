// Scene file throughput on one interleaved mesh of 1,000,000 vertices
// (position, normal, one UV set) and 2,000,000 triangles: writing, reading
// back, and the C source output. Bytes per second count the .qef bytes.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "options/Options.h"
#include "scene/Scene.h"
#include "scene/SceneRead.h"
#include "scene/SceneSource.h"
#include "scene/SceneWrite.h"

namespace {

constexpr uint32_t kVertices = 1000000;
constexpr uint32_t kTriangles = 2000000;

const SScene& BenchScene()
{
    static const SScene scene = [] {
        SScene s;
        SSceneMesh m;
        m.uiVertexCount = kVertices;
        m.uiTriangleCount = kTriangles;
        // A grid of 1000 x 1000 vertices, two triangles per cell.
        const uint32_t side = 1000;
        const uint32_t stride = 32;
        m.pVertexBlock.resize(size_t(kVertices) * stride);
        for (uint32_t v = 0; v < kVertices; ++v) {
            const float x = float(v % side), y = float(v / side);
            const float values[8] = {x, y, 0.01f * x * y, 0, 0, 1, x / side, y / side};
            std::memcpy(&m.pVertexBlock[size_t(v) * stride], values, sizeof(values));
        }
        struct SLayout {
            SVertexChannel* channel;
            uint32_t components, offset;
        } layout[] = {{&m.sPosition, 3, 0}, {&m.sNormal, 3, 12}};
        for (const SLayout& l : layout) {
            l.channel->eType = eZGXTFloat;
            l.channel->uiComponentCount = l.components;
            l.channel->uiStride = stride;
            l.channel->uiOffset = l.offset;
        }
        SVertexChannel uv;
        uv.eType = eZGXTFloat;
        uv.uiComponentCount = 2;
        uv.uiStride = stride;
        uv.uiOffset = 24;
        m.psTexCoord = {uv};

        m.sIndexData.eType = eZGXTUInt;
        m.sIndexData.uiComponentCount = 1;
        m.sIndexData.uiStride = 4;
        m.sIndexData.pData.resize(size_t(kTriangles) * 3 * 4);
        uint32_t* idx = reinterpret_cast<uint32_t*>(m.sIndexData.pData.data());
        size_t t = 0;
        for (uint32_t cell = 0; t < kTriangles; ++cell) {
            const uint32_t x = cell % side, y = cell / side;
            const uint32_t a = y * side + x, b = (x + 1) % side + y * side, c = a + side < kVertices ? a + side : a;
            const uint32_t d = b + side < kVertices ? b + side : b;
            const uint32_t tri[6] = {a, b, c, b, d, c};
            std::memcpy(idx + t * 3, tri, sizeof(tri));
            t += 2;
        }
        s.pMeshes = {m};
        SSceneNode node;
        node.pszName = "Grid";
        node.nContentIdx = 0;
        node.pfPositionKeys = {0, 0, 0};
        node.pfRotationKeys = {0, 0, 0, 1};
        node.pfScaleKeys = {1, 1, 1, 0, 0, 0, 0};
        s.pNodes = {node};
        s.uiMeshNodeCount = 1;
        return s;
    }();
    return scene;
}

std::string BenchPath(const char* name)
{
    static const std::filesystem::path dir = [] {
        std::filesystem::path d =
            std::filesystem::temp_directory_path() / ("meshwright-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    return (dir / name).string();
}

const std::string& OptionsText()
{
    static const std::string text = COptions().ToText();
    return text;
}

int64_t WrittenSize()
{
    static const int64_t size = [] {
        const std::string path = BenchPath("size.qef");
        WriteSceneFile(BenchScene(), path.c_str(), OptionsText().c_str(), "bench");
        return int64_t(std::filesystem::file_size(path));
    }();
    return size;
}

void BM_WriteSceneFile(benchmark::State& state)
{
    const SScene& scene = BenchScene();
    const std::string path = BenchPath("write.qef");
    for (auto _ : state) {
        if (WriteSceneFile(scene, path.c_str(), OptionsText().c_str(), "bench") != 0)
            state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(state.iterations() * WrittenSize());
}

void BM_WriteSceneFileToMemory(benchmark::State& state)
{
    const SScene& scene = BenchScene();
    std::vector<uint8_t> out;
    for (auto _ : state) {
        if (WriteSceneFileToMemory(scene, OptionsText().c_str(), "bench", &out) != 0)
            state.SkipWithError("write failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * WrittenSize());
}

void BM_ReadSceneFile(benchmark::State& state)
{
    const std::string path = BenchPath("read.qef");
    WriteSceneFile(BenchScene(), path.c_str(), OptionsText().c_str(), "bench");
    for (auto _ : state) {
        SScene scene;
        if (LoadSceneFile(scene, path.c_str()) != 0)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(scene.pMeshes.data());
    }
    state.SetBytesProcessed(state.iterations() * WrittenSize());
}

void BM_WriteSceneSource(benchmark::State& state)
{
    const SScene& scene = BenchScene();
    COptions options;
    options.SetExpFormat(eExpFormatSource);
    const std::string path = BenchPath("scene.cpp");
    for (auto _ : state) {
        if (WriteSceneSource(path.c_str(), options, "bench", scene) != 0)
            state.SkipWithError("source output failed");
    }
    state.SetBytesProcessed(state.iterations() * WrittenSize());
    state.counters["text_MB"] = double(std::filesystem::file_size(path)) / 1e6;
}

// Rates from wall-clock time: the file system's share is part of the cost.
void BM_SceneSourceText(benchmark::State& state)
{
    std::vector<uint8_t> bytes;
    WriteSceneFileToMemory(BenchScene(), OptionsText().c_str(), "bench", &bytes);
    for (auto _ : state) {
        const CZGXTString text =
            SceneSourceText(bytes.data(), bytes.size(), "scene.cpp", OptionsText().c_str(), "bench", 0);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t(bytes.size()));
}

BENCHMARK(BM_WriteSceneFile)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_WriteSceneFileToMemory)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_ReadSceneFile)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_WriteSceneSource)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_SceneSourceText)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(BenchPath("x")).parent_path(), ec);
    return 0;
}
