// The same 1,000,000-triangle height field (positions, normals, one UV set)
// as a Collada document and as a binary glTF: import alone, and the whole
// conversion with the default options (import, processing, writing).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "ColladaBenchDocument.h"
#include "GltfBenchDocument.h"
#include "collada/Collada2QEF.h"
#include "scene/ImportScene.h"
#include "gltf/Gltf2QEF.h"
#include "options/Options.h"
#include "process/SceneExporter.h"

namespace {

constexpr int64_t kTriangles = 1000000;

std::string TempFile(const char* name)
{
    return (std::filesystem::temp_directory_path() / (std::string("mw-bench-gltf-") + name)).string();
}

// The input file, written once per process.
const std::string& Input(bool gltf)
{
    static const std::string dae = [] {
        const std::string p = TempFile("grid.dae");
        return WriteColladaBenchDocument(p, false, kTriangles) ? p : std::string();
    }();
    static const std::string glb = [] {
        const std::string p = TempFile("grid.glb");
        return WriteGltfBenchDocument(p, kTriangles) ? p : std::string();
    }();
    return gltf ? glb : dae;
}

int Import(bool gltf, SImportScene& scene, COptions& options)
{
    if (gltf)
        return CGltf2QEF().Import(Input(true).c_str(), &scene, &options);
    return CCollada2QEF().Import(Input(false).c_str(), &scene, &options);
}

void BM_Import(benchmark::State& state)
{
    const bool gltf = state.range(0) != 0;
    if (Input(gltf).empty()) {
        state.SkipWithError("cannot write the input");
        return;
    }
    for (auto _ : state) {
        SImportScene scene;
        COptions options;
        if (Import(gltf, scene, options) != 0) {
            state.SkipWithError("import failed");
            return;
        }
        benchmark::DoNotOptimize(scene.nodes.data());
    }
    state.SetLabel(gltf ? "glb" : "dae");
}
BENCHMARK(BM_Import)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Convert(benchmark::State& state)
{
    const bool gltf = state.range(0) != 0;
    const std::string out = TempFile(gltf ? "glb.qef" : "dae.qef");
    if (Input(gltf).empty()) {
        state.SkipWithError("cannot write the input");
        return;
    }
    for (auto _ : state) {
        SImportScene scene;
        COptions options;
        CSceneExporter exporter;
        exporter.SetOutputPath(out);
        if (Import(gltf, scene, options) != 0 || !exporter.Process(scene, options) ||
            !exporter.Write(out.c_str(), options, "bench")) {
            state.SkipWithError("conversion failed");
            return;
        }
    }
    state.SetLabel(gltf ? "glb" : "dae");
    std::filesystem::remove(out);
}
BENCHMARK(BM_Convert)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

BENCHMARK_MAIN();
