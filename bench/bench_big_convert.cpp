// Whole conversions of the two big documents of BigBenchDocuments.h: the
// 1,000,000-triangle corner grid (about 300 MB) with the default options and
// the 1,000,000-triangle skinned, animated scene with skin and animation on.
// Each conversion runs in a fresh child process and prints its stages:
//   read     reading the file alone into memory (a separate child; the
//            conversion reads the file itself during parse)
//   parse    reading the file, the XML and every number (up to "Complete.")
//   build    the rest of the import (element model into the import scene)
//   process  the processing stages (CSceneExporter::Process)
//   write    writing the scene file
// then the wall time (parse to write), the processor time of the child
// (all threads, the conversion only), the peak resident memory (getrusage max RSS) against
// the file size, MB/s of Collada text and triangles per second.
//
// Usage: bench_big_convert [--triangles N] [--repeat N] [--keep] [grid|skinned]... [--file SCENE]...
// --file converts a scene file of one's own (a .glb as Blender writes it,
// say) with skin and animation on; an import that logs no parse of its own
// (glTF) has it all under parse, and build is 0. The documents are written once to the temporary folder
// (meshwright-bench/big_*_N.dae); delete them to regenerate. --keep leaves
// the .qef files beside them.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BigBenchDocuments.h"
#include "base/ConversionLog.h"
#include "convert/Convert.h"
#include "options/Options.h"
#include "process/SceneExporter.h"
#include "scene/ImportScene.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

enum EStage { eRead, eParse, eBuild, eProcess, eWrite, eStages };
const char* const kStageNames[eStages] = {"read", "parse", "build", "process", "write"};

struct SResult {
    double stage[eStages] = {};
    double wall = 0; // parse to write
    double peakMB = 0;
    double cpu = 0; // processor seconds of the child, all threads
    int ok = 0;
};

// Notes when the parse ends (the first "Complete." after "Parsing"), when
// processing starts ("Export stage 1") and when writing starts ("Saving").
class CStageSink : public ILogSink {
public:
    void LogMessage(int, const char* text) override
    {
        if (std::strncmp(text, "Parsing ", 8) == 0)
            m_parsing = true;
        else if (m_parsing && std::strcmp(text, "Complete.") == 0) {
            m_parsing = false;
            m_parseEnd = Clock::now();
        }
    }
    void LogProgress(int, const char* text) override
    {
        if (std::strcmp(text, "Export stage 1") == 0)
            m_processStart = Clock::now();
        else if (std::strcmp(text, "Saving") == 0)
            m_writeStart = Clock::now();
    }
    // The end of the parse, or of the whole import when it logged none.
    Clock::time_point ParseEnd() const { return m_parseEnd == Clock::time_point() ? m_processStart : m_parseEnd; }
    Clock::time_point ProcessStart() const { return m_processStart; }
    Clock::time_point WriteStart() const { return m_writeStart; }

private:
    bool m_parsing = false;
    Clock::time_point m_parseEnd, m_processStart, m_writeStart;
};

void Usage(SResult& r)
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    r.peakMB = double(usage.ru_maxrss) / 1024.0;
    r.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs work in a child process and returns what it wrote back.
template <class Work>
SResult InChild(Work work)
{
    int fd[2];
    SResult result;
    if (pipe(fd) != 0)
        return result;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fd[0]);
        SResult r = work();
        Usage(r);
        const ssize_t written = write(fd[1], &r, sizeof r);
        _exit(written == ssize_t(sizeof r) ? 0 : 1);
    }
    close(fd[1]);
    if (pid > 0) {
        if (read(fd[0], &result, sizeof result) != ssize_t(sizeof result))
            result = SResult();
        waitpid(pid, nullptr, 0);
    }
    close(fd[0]);
    return result;
}

SResult ReadAlone(const std::string& path)
{
    return InChild([&path] {
        SResult r;
        const auto start = Clock::now();
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (!f)
            return r;
        std::vector<char> data(std::filesystem::file_size(path));
        r.ok = std::fread(data.data(), 1, data.size(), f) == data.size();
        std::fclose(f);
        r.stage[eRead] = Since(start);
        return r;
    });
}

SResult ConvertInChild(const std::string& path, const std::string& out, bool skinned)
{
    return InChild([&] {
        SResult r;
        COptions options;
        if (skinned) {
            options.SetBool(opt::bExportSkin, true);
            options.SetBool(opt::bExportAnimations, true);
        }
        options.SetOutputPath(out);
        CStageSink sink;
        const auto start = Clock::now();
        if (Convert(path, options, &sink).code != 0)
            return r;
        const auto end = Clock::now();
        auto seconds = [](Clock::time_point a, Clock::time_point b) {
            return std::chrono::duration<double>(b - a).count();
        };
        r.stage[eParse] = seconds(start, sink.ParseEnd());
        r.stage[eBuild] = seconds(sink.ParseEnd(), sink.ProcessStart());
        r.stage[eProcess] = seconds(sink.ProcessStart(), sink.WriteStart());
        r.stage[eWrite] = seconds(sink.WriteStart(), end);
        r.wall = seconds(start, end);
        r.ok = 1;
        return r;
    });
}

// Prints the stages of repeat conversions of path into out (Mtri/s only
// when the triangles are known); false when one fails.
bool Measure(const std::string& path, const std::string& out, bool skinned, double fileMB, double tris, int repeat,
             bool keep)
{
    std::printf("%8s %8s %8s %8s %8s %8s %8s %9s %7s %7s %9s\n", "read", "parse", "build", "process", "write", "wall",
                "cpu", "peak_MB", "x_file", "MB/s", "Mtri/s");
    for (int k = 0; k < repeat; ++k) {
        const SResult readAlone = ReadAlone(path);
        const SResult r = ConvertInChild(path, out, skinned);
        if (!keep)
            std::filesystem::remove(out);
        if (!r.ok) {
            std::printf("conversion failed\n");
            return false;
        }
        std::printf("%8.2f %8.2f %8.2f %8.2f %8.2f %8.2f %8.2f %9.0f %7.2f %7.0f %9.2f\n", readAlone.stage[eRead],
                    r.stage[eParse], r.stage[eBuild], r.stage[eProcess], r.stage[eWrite], r.wall, r.cpu, r.peakMB,
                    r.peakMB / fileMB, fileMB / r.wall, tris / r.wall / 1e6);
        std::fflush(stdout);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    long long triangles = 1000000;
    int repeat = 1;
    bool keep = false;
    std::vector<std::string> kinds;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--triangles" && i + 1 < argc)
            triangles = std::atoll(argv[++i]);
        else if (a == "--repeat" && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (a == "--keep")
            keep = true;
        else if (a == "grid" || a == "skinned")
            kinds.push_back(a);
        else if (a == "--file" && i + 1 < argc)
            files.push_back(argv[++i]);
        else {
            std::fprintf(stderr,
                         "Usage: %s [--triangles N] [--repeat N] [--keep] [grid|skinned]... [--file SCENE]...\n",
                         argv[0]);
            return 64;
        }
    }
    if (kinds.empty() && files.empty())
        kinds = {"grid", "skinned"};
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "meshwright-bench";
    fs::create_directories(dir);
    for (const std::string& kind : kinds) {
        const bool skinned = kind == "skinned";
        const std::string path = (dir / ("big_" + kind + "_" + std::to_string(triangles) + ".dae")).string();
        if (!fs::exists(path)) {
            std::printf("writing %s\n", path.c_str());
            std::fflush(stdout);
            const bool ok = skinned ? WriteSkinnedDocument(path, triangles) : WriteCornerGridDocument(path, triangles);
            if (!ok) {
                std::fprintf(stderr, "cannot write %s\n", path.c_str());
                return 1;
            }
        }
        const double fileMB = double(fs::file_size(path)) / (1024.0 * 1024.0);
        const int64_t n = bigbench::GridSide(triangles);
        const double tris = double(2 * (n - 1) * (n - 1));
        std::printf("%s: %.0f MB, %.0f triangles%s\n", path.c_str(), fileMB, tris,
                    skinned ? ", skin and animation on" : ", default options");
        if (!Measure(path, path.substr(0, path.size() - 4) + ".qef", skinned, fileMB, tris, repeat, keep))
            return 1;
    }
    for (const std::string& path : files) {
        std::error_code error;
        const double fileMB = double(fs::file_size(path, error)) / (1024.0 * 1024.0);
        if (error) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            return 1;
        }
        std::printf("%s: %.0f MB, skin and animation on\n", path.c_str(), fileMB);
        if (!Measure(path, (dir / (fs::path(path).stem().string() + ".qef")).string(), true, fileMB, 0, repeat, keep))
            return 1;
    }
    return 0;
}
