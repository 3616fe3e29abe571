// Times the Collada import alone (parse, element model, conversion into the
// import scene) of a 1,000,000-triangle document with normals and one UV set,
// given as triangles and as polylist, with the default options and with
// mapping channels exported (the UV set then lands in the import scene too).
// Reports MB/s of Collada text and the peak memory of one import, measured in
// a fresh child process.
//
// The documents are written once to the temporary folder
// (meshwright-bench/collada_*.dae); delete them to regenerate.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "ColladaBenchDocument.h"
#include "collada/Collada2QEF.h"
#include "scene/ImportScene.h"
#include "options/Options.h"

namespace {

constexpr int64_t kTriangles = 1000000;

std::string DocumentPath(bool polylist)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "meshwright-bench";
    fs::create_directories(dir);
    const fs::path path = dir / (polylist ? "collada_polylist.dae" : "collada_triangles.dae");
    if (!fs::exists(path) && !WriteColladaBenchDocument(path.string(), polylist, kTriangles))
        return std::string();
    return path.string();
}

int ImportOnce(const std::string& path, SImportScene& scene, bool mapping)
{
    COptions options;
    options.SetBool(opt::bExportMappingChannels, mapping);
    CCollada2QEF importer;
    return importer.Import(path.c_str(), &scene, &options);
}

long ResidentKB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

struct SMemory {
    double beforeMB = 0; // resident before the import
    double peakMB = 0;   // peak resident during the import
};

// One import in a child process, so earlier imports and the allocator's
// cached memory do not blur the peak.
SMemory MeasureImportMemory(const std::string& path, bool mapping)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        long figures[2] = {ResidentKB(), 0};
        {
            SImportScene scene;
            ImportOnce(path, scene, mapping);
            rusage usage{};
            getrusage(RUSAGE_SELF, &usage);
            figures[1] = usage.ru_maxrss;
        }
        const ssize_t written = write(fds[1], figures, sizeof(figures));
        _exit(written == ssize_t(sizeof(figures)) ? 0 : 1);
    }
    close(fds[1]);
    long figures[2] = {0, 0};
    const ssize_t got = pid > 0 ? read(fds[0], figures, sizeof(figures)) : 0;
    close(fds[0]);
    if (pid > 0)
        waitpid(pid, nullptr, 0);
    if (got != ssize_t(sizeof(figures)))
        return {};
    return {figures[0] / 1024.0, figures[1] / 1024.0};
}

void BM_ImportCollada(benchmark::State& state, bool polylist, bool mapping)
{
    const std::string path = DocumentPath(polylist);
    if (path.empty()) {
        state.SkipWithError("cannot write the benchmark document");
        return;
    }
    const double fileMB = double(std::filesystem::file_size(path)) / (1024.0 * 1024.0);
    const SMemory memory = MeasureImportMemory(path, mapping);
    size_t triangles = 0;
    for (auto _ : state) {
        auto scene = std::make_unique<SImportScene>();
        if (ImportOnce(path, *scene, mapping) != 0) {
            state.SkipWithError("import failed");
            return;
        }
        triangles = scene->nodes.empty() ? 0 : scene->nodes[0].triangles.size();
        benchmark::DoNotOptimize(scene->nodes.data());
        state.PauseTiming();
        scene.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(std::filesystem::file_size(path)));
    state.counters["file_MiB"] = fileMB;
    state.counters["triangles"] = double(triangles);
    state.counters["rss_before_MiB"] = memory.beforeMB;
    state.counters["peak_rss_MiB"] = memory.peakMB;
    state.counters["peak_over_file"] = (memory.peakMB - memory.beforeMB) / fileMB;
}

} // namespace

BENCHMARK_CAPTURE(BM_ImportCollada, triangles, false, false)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(BM_ImportCollada, polylist, true, false)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(BM_ImportCollada, triangles_uv, false, true)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(BM_ImportCollada, polylist_uv, true, true)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
