// Viewer start-up on a 1,000,000-triangle scene file (an interleaved grid of
// 501,501 vertices with positions and normals, 32-bit indices): reading the
// file, then what the viewer does before its first picture: building the
// draw list (decoding, triangle lists, vertex-cache analysis) and evaluating
// frame 0; with OpenGL (run under xvfb-run) also uploading and drawing the
// first frame. The target is under 1 s after reading.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QTemporaryDir>

#include <cstring>
#include <memory>
#include <string>

#include "scene/Scene.h"
#include "scene/SceneRead.h"
#include "scene/SceneWrite.h"
#include "viewer/DrawList.h"
#include "viewer/SceneRenderer.h"

namespace {

constexpr uint32_t kSide = 708; // 707 x 707 cells, two triangles each: 999,698 triangles

const std::string& BenchFile()
{
    static QTemporaryDir dir;
    static const std::string path = [] {
        SScene s;
        SSceneMesh m;
        const uint32_t vertices = kSide * kSide, cells = kSide - 1;
        m.uiVertexCount = vertices;
        m.uiTriangleCount = cells * cells * 2;
        const uint32_t stride = 24;
        m.pVertexBlock.resize(size_t(vertices) * stride);
        for (uint32_t v = 0; v < vertices; ++v) {
            const float x = float(v % kSide), y = float(v / kSide);
            const float values[6] = {x, 0.001f * x * y, y, 0, 1, 0};
            std::memcpy(&m.pVertexBlock[size_t(v) * stride], values, sizeof(values));
        }
        for (auto [channel, offset] : {std::pair{&m.sPosition, 0u}, std::pair{&m.sNormal, 12u}}) {
            channel->eType = eZGXTFloat;
            channel->uiComponentCount = 3;
            channel->uiStride = stride;
            channel->uiOffset = offset;
        }
        m.sIndexData.eType = eZGXTUInt;
        m.sIndexData.uiComponentCount = 1;
        m.sIndexData.uiStride = 4;
        m.sIndexData.pData.resize(size_t(m.uiTriangleCount) * 12);
        uint32_t* idx = reinterpret_cast<uint32_t*>(m.sIndexData.pData.data());
        for (uint32_t r = 0; r < cells; ++r)
            for (uint32_t c = 0; c < cells; ++c) {
                const uint32_t a = r * kSide + c, b = a + 1, d = a + kSide, e = d + 1;
                const uint32_t quad[6] = {a, d, b, b, d, e};
                std::memcpy(idx, quad, sizeof(quad));
                idx += 6;
            }
        s.pMeshes.push_back(std::move(m));
        SSceneNode node;
        node.nContentIdx = 0;
        node.pszName = "Grid";
        s.pNodes.push_back(node);
        s.uiMeshNodeCount = 1;
        const std::string out = dir.filePath(QStringLiteral("grid.qef")).toStdString();
        if (WriteSceneFile(s, out.c_str(), nullptr, nullptr) != 0)
            return std::string();
        return out;
    }();
    return path;
}

void BM_ReadFile(benchmark::State& state)
{
    for (auto _ : state) {
        SScene scene;
        if (LoadSceneFile(scene, BenchFile().c_str()) != 0)
            state.SkipWithError("cannot read the bench file");
        Destroy(scene);
    }
    state.counters["triangles"] = (kSide - 1) * (kSide - 1) * 2;
}
BENCHMARK(BM_ReadFile)->Unit(benchmark::kMillisecond);

// After reading: the draw list and frame 0.
void BM_StartupAfterReading(benchmark::State& state)
{
    SScene scene;
    if (LoadSceneFile(scene, BenchFile().c_str()) != 0)
        state.SkipWithError("cannot read the bench file");
    for (auto _ : state) {
        SDrawList list;
        SDrawFrame frame;
        BuildDrawList(scene, ".", list);
        EvaluateFrame(scene, list, 0, frame);
        benchmark::DoNotOptimize(list.pMeshes[0].fAcmr);
    }
    Destroy(scene);
}
BENCHMARK(BM_StartupAfterReading)->Unit(benchmark::kMillisecond);

// Upload and the first picture (1280 x 720), when OpenGL is there.
void BM_FirstPicture(benchmark::State& state)
{
    QOffscreenSurface surface;
    surface.create();
    QOpenGLContext context;
    if (!context.create() || !context.makeCurrent(&surface)) {
        state.SkipWithError("no OpenGL (run under xvfb-run with QT_QPA_PLATFORM=xcb)");
        return;
    }
    SScene scene;
    LoadSceneFile(scene, BenchFile().c_str());
    SDrawList list;
    SDrawFrame frame;
    BuildDrawList(scene, ".", list);
    EvaluateFrame(scene, list, 0, frame);
    {
        QOpenGLFramebufferObject fbo(1280, 720, QOpenGLFramebufferObject::Depth);
        fbo.bind();
        CSceneRenderer renderer;
        renderer.Initialise(nullptr);
        SViewCamera camera;
        SBox box;
        ItemBounds(list, frame, 0, box);
        FrameBox(camera, box.fMin, box.fMax);
        for (auto _ : state) {
            renderer.SetList(&list);
            renderer.Render(frame, camera, 1280, 720, SRenderSettings());
            context.functions()->glFinish();
        }
        renderer.Release();
    }
    context.doneCurrent();
    Destroy(scene);
}
BENCHMARK(BM_FirstPicture)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
