// Times the animation and skinning work on generated data:
// - sampling: 100 nodes, each with a translation and three rotation channels
//   of 1,000 keys, resampled to 1,000 frames (the element model is built
//   once; preparation and the frame blocks of every node are timed), and the
//   whole import of that document for comparison;
// - the animation reduction with indexing of those frames;
// - bone batching of a 200,000-triangle skinned mesh on 60 bones with four
//   influences per vertex, at palettes of 9 and 32 bones.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "collada/Animation.h"
#include "collada/Collada2QEF.h"
#include "collada/DAEParser.h"
#include "collada/ElCore.h"
#include "collada/ElScene.h"
#include "scene/ImportScene.h"
#include "collada/NodeTransform.h"
#include "options/Options.h"
#include "process/AnimationReduce.h"
#include "process/BoneBatch.h"
#include "process/SceneBuild.h"
#include "scene/Scene.h"

namespace {

constexpr int kAnimatedNodes = 100;
constexpr int kFrames = 1000;

// ------------------------------------------------------------------ animation

// Odd nodes repeat a 100-frame cycle of step keys, so their tracks index
// well; even nodes move smoothly and never repeat a key.
void AppendChannel(std::string& out, const std::string& id, const std::string& target, int stride,
                   double (*value)(int node, int key, int component), int node)
{
    const bool cycle = node % 2 == 1;
    std::string times, values, names;
    for (int k = 0; k < kFrames; ++k) {
        times += std::to_string(k * double(kAnimFrameStep)) + " ";
        for (int c = 0; c < stride; ++c)
            values += std::to_string(value(node, cycle ? k % 100 : k, c)) + " ";
        names += cycle ? "STEP " : "LINEAR ";
    }
    std::string params;
    for (int c = 0; c < stride; ++c)
        params += "<param name=\"" + std::string(1, char('X' + c)) + "\" type=\"float\"/>";
    const std::string n = std::to_string(kFrames);
    out += "<animation id=\"" + id + "\"><source id=\"" + id + "-i\"><float_array id=\"" + id + "-ia\" count=\"" + n +
           "\">" + times + "</float_array><technique_common><accessor source=\"#" + id + "-ia\" count=\"" + n +
           "\"><param name=\"TIME\" type=\"float\"/></accessor></technique_common></source>";
    out += "<source id=\"" + id + "-o\"><float_array id=\"" + id + "-oa\">" + values +
           "</float_array><technique_common><accessor source=\"#" + id + "-oa\" count=\"" + n + "\" stride=\"" +
           std::to_string(stride) + "\">" + params + "</accessor></technique_common></source>";
    out += "<source id=\"" + id + "-n\"><Name_array id=\"" + id + "-na\">" + names +
           "</Name_array><technique_common><accessor source=\"#" + id + "-na\" count=\"" + n +
           "\"><param name=\"INTERPOLATION\" type=\"name\"/></accessor></technique_common></source>";
    out += "<sampler id=\"" + id + "-s\"><input semantic=\"INPUT\" source=\"#" + id +
           "-i\"/><input semantic=\"OUTPUT\" source=\"#" + id + "-o\"/><input semantic=\"INTERPOLATION\" source=\"#" +
           id + "-n\"/></sampler><channel source=\"#" + id + "-s\" target=\"" + target + "\"/></animation>";
}

const std::string& AnimatedDocument()
{
    static const std::string text = [] {
        std::string doc = "<?xml version=\"1.0\"?><COLLADA version=\"1.4.1\"><asset><up_axis>Y_UP</up_axis></asset>"
                          "<library_animations>";
        for (int i = 0; i < kAnimatedNodes; ++i) {
            const std::string node = "n" + std::to_string(i);
            AppendChannel(
                doc, node + "-t", node + "/translate", 3,
                [](int n, int k, int c) { return std::sin(0.01 * k + n + c); }, i);
            for (int axis = 0; axis < 3; ++axis)
                AppendChannel(
                    doc, node + "-r" + std::to_string(axis),
                    node + "/rotate" + std::string(1, char('X' + axis)) + ".ANGLE", 1,
                    [](int n, int k, int c) { return 90 * std::sin(0.02 * k + n * 0.1 + c); }, i);
        }
        doc += "</library_animations><library_visual_scenes><visual_scene id=\"vs\">";
        // Limbs of ten nodes each, one inside the other, as skeletons nest.
        for (int i = 0; i < kAnimatedNodes; ++i) {
            doc += "<node id=\"n" + std::to_string(i) +
                   "\" type=\"JOINT\"><translate sid=\"translate\">0 1 0</translate>"
                   "<rotate sid=\"rotateZ\">0 0 1 0</rotate><rotate sid=\"rotateY\">0 1 0 0</rotate>"
                   "<rotate sid=\"rotateX\">1 0 0 0</rotate>";
            if (i % 10 == 9)
                for (int k = 0; k < 10; ++k)
                    doc += "</node>";
        }
        doc += "</visual_scene></library_visual_scenes><scene><instance_visual_scene url=\"#vs\"/></scene></COLLADA>";
        return doc;
    }();
    return text;
}

void BM_AnimationSampling(benchmark::State& state)
{
    const std::string& doc = AnimatedDocument();
    std::unique_ptr<CEl_Collada> loaded;
    if (!CDAEParser::LoadDocumentFromMemory("animated.dae", doc.data(), doc.size(), loaded) || !loaded) {
        state.SkipWithError("the generated document does not load");
        return;
    }
    CEl_Collada& document = *loaded;
    const EUpAxis mode = document.UpAxisMode();
    std::vector<CEl_Node*> nodes;
    for (CDAEObject* o : document.Index().Objects(eCatNode))
        nodes.push_back(static_cast<CEl_Node*>(o));
    size_t blocks = 0;
    for (auto _ : state) {
        CImportWarnings warnings;
        CAnimationLibrary library(warnings);
        library.Prepare(document.Libraries(CEl_Collada::eLibAnimations), true, SImportSettings().frameBlockLimit);
        blocks = 0;
        for (CEl_Node* node : nodes) {
            SImportNode record;
            record.transform = StaticTransform(*node, mode);
            library.Attach(*node, record, mode);
            blocks += record.frames.size();
            benchmark::DoNotOptimize(record.frames.data());
        }
        if (library.LastFrame() + 1 != uint32_t(kFrames))
            state.SkipWithError("unexpected frame count");
    }
    state.counters["frame_blocks"] = double(blocks);
    state.counters["blocks_per_s"] = benchmark::Counter(double(blocks), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_AnimationSampling)->Unit(benchmark::kMillisecond);

void BM_AnimatedImport(benchmark::State& state)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "meshwright-bench";
    fs::create_directories(dir);
    const std::string path = (dir / "animated_100_nodes.dae").string();
    {
        std::ofstream out(path, std::ios::binary);
        out << AnimatedDocument();
    }
    for (auto _ : state) {
        SImportScene scene;
        COptions options;
        CCollada2QEF importer;
        if (importer.Import(path.c_str(), &scene, &options) != 0 || scene.lastFrame + 1 != uint32_t(kFrames))
            state.SkipWithError("import failed");
        benchmark::DoNotOptimize(scene.nodes.data());
    }
    state.counters["MB"] = double(AnimatedDocument().size()) / 1e6;
}
BENCHMARK(BM_AnimatedImport)->Unit(benchmark::kMillisecond);

// Stage 3 of the processing on the sampled frames: tracks compared with the
// rest value and indexed (stages 1 and 2 are run once, outside the timing).
void BM_AnimationReduction(benchmark::State& state)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "meshwright-bench";
    fs::create_directories(dir);
    const std::string path = (dir / "animated_100_nodes.dae").string();
    {
        std::ofstream out(path, std::ios::binary);
        out << AnimatedDocument();
    }
    SImportScene imported;
    COptions options;
    options.SetBool(opt::bExportAnimations, true);
    options.SetBool(opt::bIndexAnimations, true);
    CCollada2QEF importer;
    if (importer.Import(path.c_str(), &imported, &options) != 0) {
        state.SkipWithError("import failed");
        return;
    }
    SScene built;
    SWorkScene work;
    BuildScene(imported, options, built, work);
    ResolveReferences(work);
    size_t indexed = 0, keyFloats = 0;
    for (auto _ : state) {
        state.PauseTiming();
        SScene scene = built;
        SWorkScene copy = work;
        state.ResumeTiming();
        ReduceAnimation(scene, copy, options);
        state.PauseTiming();
        indexed = keyFloats = 0;
        for (const SSceneNode& n : scene.pNodes) {
            indexed += !n.puiPositionKeyIdx.empty() + !n.puiRotationKeyIdx.empty() + !n.puiScaleKeyIdx.empty();
            keyFloats += n.pfPositionKeys.size() + n.pfRotationKeys.size() + n.pfScaleKeys.size();
        }
        state.ResumeTiming();
    }
    state.counters["frames"] = double(built.uiFrameCount);
    state.counters["indexed_tracks"] = double(indexed);
    state.counters["key_floats"] = double(keyFloats);
}
BENCHMARK(BM_AnimationReduction)->Unit(benchmark::kMillisecond);

// ------------------------------------------------------------------ bone batching

struct SSkinVertex {
    float position[3];
    float weights[4];
    int32_t bones[4];
};

// A tube of 1001 rings of 100 vertices (200,000 triangles) whose skin comes
// from 60 bones laid out 10 along the tube by 6 around it: each vertex takes
// its four nearest bones, weighted by nearness.
struct SSkinMesh {
    std::vector<SSkinVertex> vertices;
    std::vector<uint32_t> faces;

    SSkinMesh()
    {
        const int rings = 1001, segments = 100, along = 10, around = 6;
        for (int r = 0; r < rings; ++r)
            for (int s = 0; s < segments; ++s) {
                SSkinVertex v{};
                const float u = float(r) / float(rings - 1) * along; // 0 .. 10
                const float w = float(s) / float(segments) * around; // 0 .. 6, cyclic
                v.position[0] = std::cos(w * 6.2831853f / around);
                v.position[1] = u;
                v.position[2] = std::sin(w * 6.2831853f / around);
                struct SNear {
                    float d;
                    int32_t bone;
                };
                std::vector<SNear> nearest;
                for (int i = 0; i < along; ++i)
                    for (int j = 0; j < around; ++j) {
                        const float du = u - (i + 0.5f);
                        float dw = std::fabs(w - (j + 0.5f));
                        dw = std::min(dw, around - dw);
                        nearest.push_back({std::sqrt(du * du + dw * dw), int32_t(i * around + j)});
                    }
                std::partial_sort(nearest.begin(), nearest.begin() + 4, nearest.end(),
                                  [](const SNear& a, const SNear& b) { return a.d < b.d; });
                float total = 0;
                for (int k = 0; k < 4; ++k) {
                    v.bones[k] = nearest[size_t(k)].bone;
                    v.weights[k] = 1 / (0.05f + nearest[size_t(k)].d);
                    total += v.weights[k];
                }
                for (float& x : v.weights)
                    x /= total;
                vertices.push_back(v);
            }
        for (int r = 0; r + 1 < rings; ++r)
            for (int s = 0; s < segments; ++s) {
                const uint32_t a = uint32_t(r * segments + s), b = uint32_t(r * segments + (s + 1) % segments);
                const uint32_t c = a + segments, d = b + segments;
                faces.insert(faces.end(), {a, b, c, b, d, c});
            }
    }
};

const SSkinMesh& SkinMesh()
{
    static const SSkinMesh mesh;
    return mesh;
}

void BM_BoneBatching(benchmark::State& state)
{
    const SSkinMesh& mesh = SkinMesh();
    const uint32_t palette = uint32_t(state.range(0));
    SBoneBatchTable table;
    uint32_t vertexCount = 0;
    for (auto _ : state) {
        std::vector<uint32_t> faces = mesh.faces;
        std::vector<uint8_t> out;
        const int result = GenerateBoneBatches(
            table, vertexCount, out, faces.data(), uint32_t(mesh.vertices.size()),
            reinterpret_cast<const uint8_t*>(mesh.vertices.data()), sizeof(SSkinVertex), offsetof(SSkinVertex, weights),
            eZGXTFloat, offsetof(SSkinVertex, bones), eZGXTInt, uint32_t(mesh.faces.size() / 3), palette, 4);
        if (result != 0)
            state.SkipWithError("bone batching failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["triangles"] = double(mesh.faces.size() / 3);
    state.counters["batches"] = double(table.count);
    state.counters["vertices_in"] = double(mesh.vertices.size());
    state.counters["vertices_out"] = double(vertexCount);
}
BENCHMARK(BM_BoneBatching)->Arg(9)->Arg(32)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
