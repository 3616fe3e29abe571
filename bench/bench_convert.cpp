// A whole conversion with the default options on a 1,000,000-triangle grid
// (positions, normals, one UV set): once from an import scene built in code
// (processing and writing), once from a generated Collada document (import,
// processing and writing); and the scene building stages alone. Each whole
// conversion runs in a child process so that its peak memory (peak_MB, the
// resident set high-water mark) and processor time (child_cpu_s, which also
// counts building the input) are its own.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "ColladaBenchDocument.h"
#include "collada/Collada2QEF.h"
#include "convert/Convert.h"
#include "scene/ImportScene.h"
#include "options/Options.h"
#include "process/SceneBuild.h"
#include "process/SceneExporter.h"
#include "scene/Scene.h"

namespace {

constexpr uint32_t kQuadsX = 1000;
constexpr uint32_t kQuadsY = 500; // 2 x 1000 x 500 = 1,000,000 triangles

// The grid as the importer delivers it: one position, normal and UV entry per
// triangle corner.
void BuildGridScene(SImportScene& scene)
{
    SImportNode node;
    node.index = 0;
    node.name = "Grid";
    node.content = eImportMesh;
    const size_t corners = size_t(kQuadsX) * kQuadsY * 6;
    node.positions.reserve(corners);
    node.normals.reserve(corners);
    node.uvSets.resize(1);
    node.uvSets[0].values.reserve(corners);
    node.uvSets[0].triangles.reserve(corners / 3);
    node.triangles.reserve(corners / 3);
    auto corner = [&](uint32_t x, uint32_t y) {
        const float fx = float(x) / kQuadsX, fy = float(y) / kQuadsY;
        node.positions.push_back({fx * 10, fy * 5, 0.1f * std::sin(6 * fx) * std::cos(4 * fy)});
        node.normals.push_back({0, 0, 1});
        node.uvSets[0].values.push_back({fx, fy, 0});
    };
    for (uint32_t y = 0; y < kQuadsY; ++y)
        for (uint32_t x = 0; x < kQuadsX; ++x) {
            const uint32_t quad[2][3][2] = {{{x, y}, {x + 1, y}, {x + 1, y + 1}}, {{x, y}, {x + 1, y + 1}, {x, y + 1}}};
            for (const auto& tri : quad) {
                SImportTriangle t;
                std::array<int32_t, 3> uv{};
                for (int c = 0; c < 3; ++c) {
                    const int32_t i = int32_t(node.positions.size());
                    corner(tri[c][0], tri[c][1]);
                    t.position[c] = i;
                    t.normal[c] = i;
                    uv[size_t(c)] = i;
                }
                node.triangles.push_back(t);
                node.uvSets[0].triangles.push_back(uv);
            }
        }
    scene.nodes.push_back(std::move(node));
}

struct SRun {
    double seconds = 0;
    double cpuSeconds = 0; // of the whole child, scene generation included
    double peakMB = 0;
    int ok = 0;
};

// Runs work in a child process; work returns the seconds it timed (negative
// on failure).
template <class Work>
SRun InChild(Work work)
{
    int fd[2];
    SRun run;
    if (pipe(fd) != 0)
        return run;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fd[0]);
        SRun r;
        r.seconds = work();
        r.ok = r.seconds >= 0;
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        r.peakMB = double(usage.ru_maxrss) / 1024.0;
        r.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        const ssize_t written = write(fd[1], &r, sizeof r);
        _exit(written == ssize_t(sizeof r) ? 0 : 1);
    }
    close(fd[1]);
    if (pid > 0) {
        if (read(fd[0], &run, sizeof run) != ssize_t(sizeof run))
            run = SRun();
        waitpid(pid, nullptr, 0);
    }
    close(fd[0]);
    return run;
}

std::string TempFile(const char* name)
{
    return (std::filesystem::temp_directory_path() / (std::string("mw-bench-convert-") + name)).string();
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void Report(benchmark::State& state, const SRun& run)
{
    if (!run.ok) {
        state.SkipWithError("conversion failed");
        return;
    }
    state.SetIterationTime(run.seconds);
    state.counters["peak_MB"] = run.peakMB;
    state.counters["child_cpu_s"] = run.cpuSeconds;
}

void BM_ConvertGridScene(benchmark::State& state)
{
    const std::string out = TempFile("scene.qef");
    for (auto _ : state) {
        const SRun run = InChild([&out] {
            SImportScene scene;
            BuildGridScene(scene);
            COptions options;
            const auto start = std::chrono::steady_clock::now();
            CSceneExporter exporter;
            exporter.SetOutputPath(out);
            if (!exporter.Process(scene, options) || !exporter.Write(out.c_str(), options, "bench"))
                return -1.0;
            return Seconds(start);
        });
        Report(state, run);
    }
    std::filesystem::remove(out);
}
BENCHMARK(BM_ConvertGridScene)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// Stages 1 and 2 alone (grouping, welding, instancing check, node records):
// the driver's own share of the conversion.
void BM_BuildGridScene(benchmark::State& state)
{
    SImportScene source;
    BuildGridScene(source);
    const COptions options;
    for (auto _ : state) {
        SScene scene;
        SWorkScene work;
        BuildScene(source, options, scene, work);
        ResolveReferences(work);
        benchmark::DoNotOptimize(work.meshes.data());
    }
}
BENCHMARK(BM_BuildGridScene)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ConvertGridDae(benchmark::State& state)
{
    const std::string dae = TempFile("grid.dae");
    const std::string out = TempFile("dae.qef");
    if (!WriteColladaBenchDocument(dae, false, 1000000)) {
        state.SkipWithError("cannot write the Collada document");
        return;
    }
    for (auto _ : state) {
        const SRun run = InChild([&] {
            COptions options;
            options.SetOutputPath(out);
            const auto start = std::chrono::steady_clock::now();
            if (Convert(dae, options, nullptr).code != 0)
                return -1.0;
            return Seconds(start);
        });
        Report(state, run);
    }
    std::filesystem::remove(dae);
    std::filesystem::remove(out);
}
BENCHMARK(BM_ConvertGridDae)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
