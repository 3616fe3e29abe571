#pragma once
// Where an exported scene puts its geometry: every mesh vertex carried
// through the unpack matrix and its node's world matrix (the scene model's
// own evaluation), so exports in model space, with matrices or in world
// space can be compared with each other and with other readers.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <sstream>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "collada/Collada2QEF.h"
#include "scene/ImportScene.h"
#include "options/Options.h"
#include "process/SceneExporter.h"
#include "scene/VertexDataTypes.h"
#include "scene/Scene.h"

using SPoint = std::array<double, 3>;

// The three ways a scene can be exported.
enum EExportMode { eModeDefault, eModeMatrices, eModeWorld };

inline const char* ModeName(EExportMode mode)
{
    return mode == eModeDefault ? "default" : mode == eModeMatrices ? "matrices" : "world space";
}

inline void SetExportMode(COptions& o, EExportMode mode, uint32_t staticFrame = 0)
{
    o.SetBool(opt::bExportMatrices, mode == eModeMatrices);
    o.SetBool(opt::bExportModelSpace, mode != eModeWorld);
    o.SetUInt(opt::uiStaticFrame, staticFrame);
}

struct SConvertedScene {
    int importResult = -1;
    bool processed = false;
    SImportScene imported;
    CSceneExporter exporter;
    SScene* Scene() { return exporter.Scene(); }
};

// Imports and processes a document in memory (nothing is written).
inline std::unique_ptr<SConvertedScene> ConvertInMemory(const std::string& path,
                                                        const std::function<void(COptions&)>& setup)
{
    auto out = std::make_unique<SConvertedScene>();
    COptions options;
    setup(options);
    CCollada2QEF importer;
    out->importResult = importer.Import(path.c_str(), &out->imported, &options);
    if (out->importResult == 0)
        out->processed = out->exporter.Process(out->imported, options);
    return out;
}

// Element k (up to 3 values) of vertex v of a channel, interleaved or not.
inline bool ReadChannel(const SSceneMesh& mesh, const SVertexChannel& c, uint32_t v, float out[4])
{
    out[0] = out[1] = out[2] = 0;
    out[3] = 1;
    if (!c.IsPresent())
        return false;
    const size_t at = size_t(v) * c.uiStride + (mesh.IsInterleaved() ? c.uiOffset : 0);
    const std::vector<uint8_t>& bytes = mesh.IsInterleaved() ? mesh.pVertexBlock : c.pData;
    const uint32_t count = std::min(c.uiComponentCount, 3u);
    if (at + size_t(count) * ComponentSize(c.eType) > bytes.size())
        return false;
    ReadVertex(out, &bytes[at], c.eType, count);
    return true;
}

inline SPoint Transform(const SMatrix44& m, const SPoint& p, bool point)
{
    SPoint r{};
    for (int c = 0; c < 3; ++c)
        r[size_t(c)] =
            p[0] * m[size_t(c)] + p[1] * m[size_t(4 + c)] + p[2] * m[size_t(8 + c)] + (point ? m[size_t(12 + c)] : 0.0);
    return r;
}

// The world positions (or normals, unit length) of every vertex of every
// mesh node at a frame, node by node. The scene's mirroring for DirectX is
// not undone: compare scenes exported for the same coordinate system.
inline std::vector<SPoint> WorldVertices(SScene& scene, float frame, bool normals = false)
{
    std::vector<SPoint> out;
    SelectFrame(scene, frame);
    for (uint32_t n = 0; n < scene.uiMeshNodeCount && n < scene.pNodes.size(); ++n) {
        const int32_t content = scene.pNodes[n].nContentIdx;
        if (content < 0 || size_t(content) >= scene.pMeshes.size())
            continue;
        const SSceneMesh& mesh = scene.pMeshes[size_t(content)];
        const SMatrix44 world = WorldMatrixAt(scene, n);
        for (uint32_t v = 0; v < mesh.uiVertexCount; ++v) {
            float value[4];
            if (!ReadChannel(mesh, normals ? mesh.sNormal : mesh.sPosition, v, value))
                continue;
            SPoint p{value[0], value[1], value[2]};
            if (!normals) {
                out.push_back(Transform(world, Transform(mesh.fUnpackMatrix, p, true), true));
                continue;
            }
            // Rigid and uniformly scaled nodes only: the 3x3 part, normalised.
            SPoint d = Transform(world, p, false);
            const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            if (len > 0)
                for (double& x : d)
                    x /= len;
            out.push_back(d);
        }
    }
    SelectFrame(scene, 0);
    return out;
}

struct SBox {
    SPoint lo{HUGE_VAL, HUGE_VAL, HUGE_VAL};
    SPoint hi{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    bool Empty() const { return lo[0] > hi[0]; }
    void Add(const SPoint& p)
    {
        for (size_t i = 0; i < 3; ++i) {
            lo[i] = std::min(lo[i], p[i]);
            hi[i] = std::max(hi[i], p[i]);
        }
    }
    double Diagonal() const
    {
        double d = 0;
        for (size_t i = 0; i < 3; ++i)
            d += (hi[i] - lo[i]) * (hi[i] - lo[i]);
        return std::sqrt(d);
    }
};

inline SBox BoxOf(const std::vector<SPoint>& points)
{
    SBox box;
    for (const SPoint& p : points)
        box.Add(p);
    return box;
}

// Equal within a fraction of the larger diagonal (an absolute floor keeps
// flat and point-sized boxes comparable).
inline bool SameBox(const SBox& a, const SBox& b, double fraction)
{
    if (a.Empty() || b.Empty())
        return a.Empty() == b.Empty();
    const double tolerance = std::max(1e-6, fraction * std::max(a.Diagonal(), b.Diagonal()));
    for (size_t i = 0; i < 3; ++i)
        if (std::fabs(a.lo[i] - b.lo[i]) > tolerance || std::fabs(a.hi[i] - b.hi[i]) > tolerance)
            return false;
    return true;
}

// World-space boxes of Collada documents as pycollada (Debian python3-collada)
// places them, turned into the Y-up frame.
struct SPeerBoxes {
    bool available = false;
    std::string why;
    std::map<std::string, SBox> boxes; // documents the peer placed
    int skipped = 0;                   // controllers, no geometry, peer errors
};

// Runs the peer script once over every file; with unit, boxes in metres.
inline SPeerBoxes PeerBoxes(const QStringList& files, bool unit = false)
{
    SPeerBoxes out;
    // Debian's interpreter, where python3-collada lives; any other python3
    // on the path may lack it.
    const QString python = QFileInfo::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                                 : QStringLiteral("python3");
    QProcess process;
    QStringList args{QString::fromStdString(TestDataPath("process/pycollada_world_boxes.py"))};
    if (unit)
        args << QStringLiteral("--unit");
    process.start(python, args + files);
    if (!process.waitForStarted(30000)) {
        out.why = "python3 could not be started";
        return out;
    }
    process.waitForFinished(10 * 60 * 1000);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() == 3) {
        out.why = "pycollada (Debian python3-collada) cannot be imported";
        return out;
    }
    std::istringstream lines(process.readAllStandardOutput().toStdString());
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string path, status;
        if (!std::getline(fields, path, '\t') || !std::getline(fields, status, '\t'))
            continue;
        if (status != "box") {
            ++out.skipped;
            continue;
        }
        SBox box;
        std::string value;
        for (int i = 0; i < 6 && std::getline(fields, value, '\t'); ++i)
            (i < 3 ? box.lo : box.hi)[size_t(i % 3)] = std::stod(value);
        out.boxes[path] = box;
    }
    out.available = true;
    return out;
}
