#include "collada/MeshBuild.h"

#include <algorithm>
#include <iterator>
#include <utility>
#include <string>

#include "base/ConversionLog.h"
#include "base/MappedFile.h"
#include "base/Parallel.h"
#include "collada/ColladaImport.h"
#include "collada/DAEMath.h"
#include "collada/ElCore.h"
#include "collada/ElGeometry.h"
#include "collada/ElMaterial.h"
#include "collada/ElScene.h"
#include "collada/ElSkin.h"
#include "collada/Skin.h"
#include "import/SmoothNormals.h"
#include "options/Options.h"

namespace {

int32_t MaterialIndexFor(const CEl_Triangles& primitive, const std::vector<CEl_Instance_material*>& materials)
{
    if (!primitive.HasMaterial())
        return -1;
    for (const CEl_Instance_material* m : materials)
        if (m->HasSymbol() && m->Symbol() == primitive.Material())
            return m->Material() ? m->Material()->SceneIndex() : -1;
    return -1;
}

} // namespace

namespace {

// Triangles below twice this many are read in one piece; longer primitives
// in pieces of at least this many, several per core so that a core the
// system gives to others for a while leaves its share to the rest.
constexpr int64_t kTrianglesPerPiece = 32768;

// What reading a run of triangles came to.
struct SPieceRead {
    int64_t begin = 0, end = 0; // the triangles to read
    int64_t done = 0;           // first triangle not completed (end when all were)
    int corners = 0;            // corners of triangle done read before it failed
    bool failed = false;
    bool missingNormals = false;
    SFirstWarnings warned; // by corner: where each skin warning first came
};

} // namespace

bool BuildPrimitiveMesh(SColladaImport& im, CEl_Triangles& primitive, float unitScale, SImportNode& record,
                        const std::vector<CEl_Instance_material*>& materials, const CDAEObject* skin)
{
    const CEl_Skin* skinned = (skin && skin->Kind() == eEl_skin) ? static_cast<const CEl_Skin*>(skin) : nullptr;
    const int32_t material = MaterialIndexFor(primitive, materials);
    if (!primitive.Build())
        return true; // no index data: no triangles, no message
    if (primitive.DroppedTexcoords())
        im.warnings.WarnOnce(eWarnUVSets);

    const COptionsData* options = im.options;
    const bool normals = options ? options->GetExport(eVANormal) : true;
    const bool colours = options ? options->GetExport(eVAColour) : false;
    const bool mapping = options ? options->GetBool(opt::bExportMappingChannels) : false;
    const EUpAxis upAxis = im.upAxis;

    // Corner 3t + c of triangle t becomes entry 3t + c of every per-corner
    // array, so the arrays are sized first and runs of triangles are read on
    // all cores, each into its own range; reading stops at the first corner
    // that cannot be read, keeping the corners read before it.
    // Sized by what the index data can hold, never by what an attribute
    // claims; triangles past that (if any can be read) follow one by one.
    const int64_t within = std::max<int64_t>(0, std::min<int64_t>(primitive.TrianglesWithinData(), INT32_MAX / 3));
    const int64_t limit = std::min<int64_t>(primitive.TriangleCount(), (INT32_MAX - 3) / 3 + 1); // 32-bit indices
    const int64_t sized = std::min(within, limit);

    SCornerData first;
    int setCount = 0;
    if (limit > 0 && primitive.GetCorner(0, first))
        setCount = mapping ? first.uvSets : 0; // every corner adds to every set
    std::vector<SImportUVSet> sets(static_cast<size_t>(setCount));
    std::vector<SImportInfluence> influences;
    std::vector<uint8_t> influenceCounts;
    auto size = [&](int64_t triangles) {
        const size_t corners = size_t(3 * triangles);
        ResizeOnHugePages(record.positions, corners);
        if (normals)
            ResizeOnHugePages(record.normals, corners);
        ResizeOnHugePages(record.triangles, size_t(triangles));
        for (SImportUVSet& set : sets) {
            ResizeOnHugePages(set.values, corners);
            ResizeOnHugePages(set.triangles, size_t(triangles));
        }
        if (skinned) {
            ResizeOnHugePages(influences, corners * kMaxInfluences);
            ResizeOnHugePages(influenceCounts, corners);
        }
    };
    size(sized);

    // Colours are listed only for corners that have one: their indices are
    // known only in order.
    const bool inOrder = colours && primitive.ColourBinding().pAccessor;
    auto readTriangle = [&](int64_t t, SCornerData& corner, SPieceRead& piece) {
        SImportTriangle triangle;
        triangle.material = material;
        for (int c = 0; c < 3; ++c) {
            const int64_t q = 3 * t + c;
            if (!primitive.GetCorner(q, corner)) {
                piece.corners = c; // the primitive ends here
                return false;
            }
            ToYUpVector(corner.position, upAxis);
            ToYUpVector(corner.normal, upAxis);
            if (unitScale != 1)
                for (float& p : corner.position)
                    p *= unitScale;
            // The bind pose replaces position and normal before they are kept.
            if (skinned) {
                uint32_t warnings = 0;
                size_t listed = 0;
                const bool has = GatherInfluences(*skinned, primitive.GetPositionIndex(q), corner,
                                                  &influences[size_t(q) * kMaxInfluences], &listed, warnings);
                influenceCounts[size_t(q)] = has ? uint8_t(listed) : CInfluenceLists::kNoList;
                piece.warned.Note(warnings, q);
            }
            if (normals) {
                // A corner without one gets a computed normal below.
                piece.missingNormals |= !corner.bNormal;
                triangle.normal[c] = int32_t(q);
                Normalise3(corner.normal);
                record.normals[size_t(q)] = {corner.normal[0], corner.normal[1], corner.normal[2]};
            }
            if (inOrder && corner.bColour) {
                triangle.colour[c] = int32_t(record.colours.size());
                record.colours.push_back({corner.colour[0], corner.colour[1], corner.colour[2], corner.colour[3]});
            }
            for (int s = 0; s < setCount; ++s)
                sets[size_t(s)].values[size_t(q)] =
                    s < corner.uvSets ? SVec3{corner.uv[s][0], corner.uv[s][1], corner.uv[s][2]} : SVec3{0, 0, 0};
            triangle.position[c] = int32_t(q);
            record.positions[size_t(q)] = {corner.position[0], corner.position[1], corner.position[2]};
        }
        record.triangles[size_t(t)] = triangle;
        for (SImportUVSet& set : sets)
            set.triangles[size_t(t)] = {triangle.position[0], triangle.position[1], triangle.position[2]};
        return true;
    };
    auto readPiece = [&](SPieceRead& piece) {
        SCornerData corner;
        for (piece.done = piece.begin; piece.done < piece.end; ++piece.done)
            if (!readTriangle(piece.done, corner, piece)) {
                piece.failed = true;
                return;
            }
    };

    const int64_t pieceCount = (inOrder || sized < 2 * kTrianglesPerPiece)
                                   ? 1
                                   : std::min<int64_t>(4 * ParallelWorkers(), sized / kTrianglesPerPiece);
    std::vector<SPieceRead> pieces(static_cast<size_t>(pieceCount));
    for (int64_t i = 0; i < pieceCount; ++i) {
        pieces[size_t(i)].begin = sized / pieceCount * i;
        pieces[size_t(i)].end = i + 1 == pieceCount ? sized : sized / pieceCount * (i + 1);
    }
    if (sized > 0)
        ParallelFor(pieces.size(), [&](size_t i) { readPiece(pieces[i]); });
    // Pieces after the first that failed were never reached.
    for (size_t i = 0; i < pieces.size(); ++i)
        if (pieces[i].failed) {
            pieces.resize(i + 1);
            break;
        }
    if (pieces.empty() || !pieces.back().failed) {
        // Triangles past the sized ones, one at a time.
        SPieceRead rest;
        rest.begin = rest.done = sized;
        SCornerData corner;
        for (; rest.done < limit; ++rest.done) {
            size(rest.done + 1);
            if (!readTriangle(rest.done, corner, rest)) {
                rest.failed = true;
                break;
            }
        }
        pieces.push_back(rest);
    }
    std::vector<SFirstWarnings> warned;
    for (const SPieceRead& p : pieces)
        warned.push_back(p.warned);
    GiveInOrder(warned, im.warnings);
    const SPieceRead& last = pieces.back();
    bool missingNormals = false;
    for (const SPieceRead& p : pieces)
        missingNormals |= p.missingNormals;
    const size_t corners = size_t(3 * last.done + (last.failed ? last.corners : 0));
    record.positions.resize(corners);
    if (normals)
        record.normals.resize(corners);
    record.triangles.resize(size_t(last.done));
    for (SImportUVSet& set : sets) {
        set.values.resize(corners);
        set.triangles.resize(size_t(last.done));
        record.uvSets.push_back(std::move(set));
    }
    if (missingNormals)
        MendMissingNormals(record);
    if (skinned) {
        // Every corner needs its list, or none of them is kept.
        SImportSkin skinBlock;
        influences.resize(corners * kMaxInfluences);
        influenceCounts.resize(corners);
        skinBlock.influences.AssignPadded(std::move(influences), influenceCounts, kMaxInfluences);
        const size_t positions = record.positions.size();
        if (skinBlock.influences.size() == positions)
            record.skins.push_back(std::move(skinBlock));
        else
            ConversionLog(eLogWarning, "Warning: %s had %i (out of %i) vertices that are not affected by any bones.\n",
                          record.name.c_str(), int(positions - skinBlock.influences.size()), int(positions));
    }
    return true;
}

bool BuildGeometryInstance(SColladaImport& im, CEl_Geometry& geometry, int32_t recordIndex, CEl_Node& node,
                           std::vector<SImportNode>& nodes, const std::vector<CEl_Instance_material*>& materials,
                           const CDAEObject* skin)
{
    const std::vector<CEl_Triangles*>& primitives = geometry.Primitives();
    const std::string name = nodes[size_t(recordIndex)].name;
    if (primitives.empty()) {
        ConversionLog(eLogError, "Error: No supported geometry data found for mesh \"%s\".\n", name.c_str());
        return false;
    }
    if (primitives.size() == 1) {
        nodes[size_t(recordIndex)].content = eImportMesh;
        return BuildPrimitiveMesh(im, *primitives[0], geometry.UnitScale(), nodes[size_t(recordIndex)], materials,
                                  skin);
    }
    ConversionLog(eLogInfo, "Note: Splitting \"%s\" up into individual nodes as it is made up of %i meshes.\n",
                  name.c_str(), int(primitives.size()));
    const size_t first = nodes.size();
    for (size_t i = 0; i < primitives.size(); ++i) {
        SImportNode sub;
        sub.index = int32_t(nodes.size());
        sub.parent = recordIndex;
        sub.name = name + "-submesh" + std::to_string(i);
        sub.content = eImportMesh;
        node.MeshRecords().push_back(sub.index);
        nodes.push_back(std::move(sub));
    }
    for (size_t i = 0; i < primitives.size(); ++i)
        BuildPrimitiveMesh(im, *primitives[i], geometry.UnitScale(), nodes[first + i], materials, skin);
    return true;
}
