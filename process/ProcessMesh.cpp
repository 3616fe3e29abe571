#include "process/ProcessMesh.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <vector>

#include "base/ConversionLog.h"
#include "base/Parallel.h"
#include "options/Options.h"
#include "process/BoneBatch.h"
#include "process/IndexList.h"
#include "process/TangentSpace.h"
#include "process/TriangleSort.h"
#include "process/VertexLayout.h"
#include "process/VertexSort.h"
#include "scene/Scene.h"

namespace {

// Processing works on a list of 32-bit indices that all name a vertex.
bool PrepareIndices(SSceneMesh& mesh)
{
    std::vector<uint32_t> faces = TriangleList(mesh);
    if (faces.size() != size_t(mesh.uiTriangleCount) * 3) {
        ConversionLog(eLogError, "Mesh index data holds fewer than the %u triangles it should.", mesh.uiTriangleCount);
        return false;
    }
    for (uint32_t i : faces)
        if (i >= mesh.uiVertexCount) {
            ConversionLog(eLogError, "Mesh triangle index %u is not below its vertex count %u.", i, mesh.uiVertexCount);
            return false;
        }
    mesh.puiStripTriangles.clear();
    WriteIndices32(mesh.sIndexData, faces);
    return true;
}

void ClearBatchTable(SSceneMesh& mesh)
{
    mesh.puiBatchBoneList.clear();
    mesh.puiBatchBoneTotals.clear();
    mesh.puiBatchStartTriangle.clear();
    mesh.uiBatchCapacity = 0;
    mesh.uiBatchCount = 0;
}

SVertexChannel FloatChannel3(uint32_t vertexCount)
{
    SVertexChannel c;
    c.eType = eZGXTFloat;
    c.uiComponentCount = 3;
    c.uiStride = 12;
    c.pData.assign(size_t(vertexCount) * 12, 0);
    return c;
}

SVertexAttribute Attribute(const SVertexChannel& c)
{
    SVertexAttribute a;
    if (c.IsPresent() && c.uiStride != 0) {
        a.uiOffset = c.uiOffset;
        a.eType = c.eType;
        a.uiCount = c.uiComponentCount;
    }
    return a;
}

// Tangent space on the interleaved mesh; the mesh keeps its vertices when it
// fails.
void TangentSpace(const COptionsData& options, SSceneMesh& mesh, uint32_t uvSet)
{
    const uint32_t faceCount = mesh.uiTriangleCount;
    std::vector<uint32_t> faces = ReadIndices(mesh.sIndexData, uint64_t(faceCount) * 3);
    const uint32_t stride = uint32_t(mesh.pVertexBlock.size() / mesh.uiVertexCount);
    uint32_t vertexCount = 0;
    std::vector<uint8_t> vertices;
    const int result = GenerateTangentSpace(
        &vertexCount, &vertices, faces.data(), mesh.uiVertexCount, mesh.pVertexBlock.data(), stride,
        Attribute(mesh.sPosition), Attribute(mesh.sNormal), Attribute(mesh.psTexCoord[uvSet]), Attribute(mesh.sTangent),
        Attribute(mesh.sBinormal), faceCount, options.GetFloat(opt::fTangentSpaceVtxSplit));
    if (result != 0 || vertexCount == 0) {
        ConversionLog(eLogError, "Tangent-space generation failed due to too many split vertices.");
        return;
    }
    mesh.pVertexBlock.swap(vertices);
    mesh.uiVertexCount = vertexCount;
    WriteIndices32(mesh.sIndexData, faces);
}

} // namespace

bool ProcessMesh(const COptionsData& options, SSceneMesh& mesh)
{
    if (mesh.IsInterleaved())
        DeinterleaveChannels(mesh, 1);
    if (!PrepareIndices(mesh))
        return false;

    // 1. Room for tangents and binormals when they are asked for.
    bool tangentSpace = false;
    const uint32_t uvSet = options.GetUInt(opt::uiTSUseUVW);
    if (options.GetBool(opt::bTangentSpace) && (options.GetExport(eVATangent) || options.GetExport(eVABinormal))) {
        if (uvSet >= mesh.TexCoordSets()) {
            ConversionLog(eLogWarning,
                          "Warning: Tangent-space generation skipped due to no UVW data in mapping channel %i.",
                          int(uvSet));
        } else {
            mesh.sTangent = FloatChannel3(mesh.uiVertexCount);
            mesh.sBinormal = FloatChannel3(mesh.uiVertexCount);
            tangentSpace = true;
        }
    }

    // 2. DirectX winds the other way.
    if (options.GetCS() == eCSDirectX)
        FlipWinding(mesh, 0, 2, 1);

    // 3. Everything below works on whole vertex records.
    InterleaveChannels(mesh, 1);

    // 4. Skinning data holds at most four bones per vertex.
    if (mesh.sBoneIndex.uiComponentCount > 4) {
        ConversionLog(eLogError, "A maximum of four bones may be used per vertex.");
        DeinterleaveChannels(mesh, 1);
        return false;
    }

    // 5. Bone batches.
    ClearBatchTable(mesh);
    if (options.GetUInt(opt::uiBoneLimit) != 0 && mesh.sBoneIndex.IsPresent() && mesh.uiTriangleCount != 0) {
        // On the interleaved buffer, weights as floats and bone numbers as
        // signed ints; success replaces the vertices, faces and batch table.
        if (GenerateMeshBoneBatches(mesh, options.GetUInt(opt::uiBoneLimit)) != 0) {
            ConversionLog(eLogError, "Bone batch generation failed.");
            DeinterleaveChannels(mesh, 1);
            return false;
        }
    }

    // 6. Tangent space; a failure is logged and the mesh goes on without it.
    if (tangentSpace && mesh.IsInterleaved() && mesh.uiTriangleCount != 0)
        TangentSpace(options, mesh, uvSet);

    // 7. Triangle order, within each batch.
    SortMeshTriangles(options, mesh);

    // 8. Vertex order.
    if (options.GetBool(opt::bSortVertices))
        SortMeshVertices(mesh);

    // 9.-10. Strips.
    mesh.puiStripTriangles.clear();
    if (options.GetPrimType() == ePrimTriangleStrip)
        BuildStrips(mesh);

    // 11. One vertex per index.
    if (!options.GetBool(opt::bIndexed))
        DeindexMesh(mesh);

    // 12. Back to separate channels.
    DeinterleaveChannels(mesh, 1);
    return true;
}

bool ProcessMeshes(const COptionsData& options, std::vector<SSceneMesh>& meshes)
{
    // Small scenes in order: threads would cost more than they save.
    constexpr uint64_t kSideBySideTriangles = 4096;
    uint64_t triangles = 0;
    for (const SSceneMesh& mesh : meshes)
        triangles += mesh.uiTriangleCount;
    if (meshes.size() < 2 || triangles < kSideBySideTriangles || ParallelWorkers() < 2) {
        for (size_t i = 0; i < meshes.size(); ++i) {
            ConversionLog(eLogInfo, "Processing mesh %i", int(i));
            if (!ProcessMesh(options, meshes[i]))
                return false;
        }
        return true;
    }
    struct SDone {
        bool ok = false;
        std::exception_ptr error;
        std::vector<SLogMessage> log;
    };
    std::vector<SDone> done(meshes.size());
    // Meshes after one that failed are not started: the loop in order would
    // not have reached them.
    std::atomic<size_t> firstFailed{meshes.size()};
    ParallelFor(meshes.size(), [&](size_t i) {
        if (i > firstFailed)
            return;
        SDone& d = done[i];
        {
            CHeldLog held;
            try {
                d.ok = ProcessMesh(options, meshes[i]);
            } catch (...) {
                d.error = std::current_exception();
            }
            d.log = held.Take();
        }
        if (!d.ok) {
            size_t seen = firstFailed;
            while (i < seen && !firstFailed.compare_exchange_weak(seen, i)) {
            }
        }
    });
    for (size_t i = 0; i < meshes.size(); ++i) {
        ConversionLog(eLogInfo, "Processing mesh %i", int(i));
        ReplayLog(done[i].log);
        if (done[i].error)
            std::rethrow_exception(done[i].error);
        if (!done[i].ok)
            return false;
    }
    return true;
}
