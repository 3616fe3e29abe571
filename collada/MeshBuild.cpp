#include "collada/MeshBuild.h"

#include <algorithm>
#include <string>

#include "base/ConversionLog.h"
#include "collada/C2QHub.h"
#include "collada/DAEMath.h"
#include "collada/ElCore.h"
#include "collada/ElGeometry.h"
#include "collada/ElMaterial.h"
#include "collada/ElScene.h"
#include "collada/ElSkin.h"
#include "collada/Skin.h"
#include "collada/SmoothNormals.h"
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

bool BuildPrimitiveMesh(CEl_Triangles& primitive, SImportNode& record,
                        const std::vector<CEl_Instance_material*>& materials, const CDAEObject* skin)
{
    const CEl_Skin* skinned = (skin && skin->Kind() == eEl_skin) ? static_cast<const CEl_Skin*>(skin) : nullptr;
    const int32_t material = MaterialIndexFor(primitive, materials);
    if (!primitive.Build())
        return true; // no index data: no triangles, no message

    COptionsData* options = C2QHub::Instance().Options();
    const bool normals = options ? options->GetExport(eVANormal) : true;
    bool missingNormals = false;
    const bool colours = options ? options->GetExport(eVAColour) : false;
    const bool mapping = options ? options->GetBool(opt::bExportMappingChannels) : false;
    const EUpAxis upAxis = C2QHub::Instance().UpAxis();

    // Reserve what the index data can hold, never what an attribute claims.
    const int64_t expected = std::min<int64_t>(primitive.TrianglesWithinData(), INT32_MAX / 3);
    record.positions.reserve(size_t(3 * expected));
    record.triangles.reserve(size_t(expected));
    if (normals && primitive.NormalBinding().pAccessor)
        record.normals.reserve(size_t(3 * expected));
    if (colours && primitive.ColourBinding().pAccessor)
        record.colours.reserve(size_t(3 * expected));

    std::vector<SImportUVSet> sets;
    int setCount = 0;
    SImportSkin skinBlock;
    if (skinned)
        skinBlock.influences.reserve(size_t(3 * expected), size_t(3 * expected) * kMaxInfluences);
    const int64_t triangles = primitive.TriangleCount();
    SCornerData corner;
    for (int64_t t = 0; t < triangles; ++t) {
        if (record.positions.size() + 3 > size_t(INT32_MAX))
            break; // indices are 32-bit
        SImportTriangle triangle;
        triangle.material = material;
        bool complete = true;
        for (int c = 0; c < 3; ++c) {
            if (!primitive.GetCorner(3 * t + c, corner)) {
                complete = false; // the primitive ends here
                break;
            }
            ToYUpVector(corner.position, upAxis);
            ToYUpVector(corner.normal, upAxis);
            // The bind pose replaces position and normal before they are kept.
            if (skinned)
                GatherInfluences(*skinned, primitive.GetPositionIndex(3 * t + c), corner, skinBlock);
            if (t == 0 && c == 0) {
                // Every corner adds to every set, so all sets stay as long as
                // the position list.
                setCount = mapping ? corner.uvSets : 0;
                sets.resize(size_t(setCount));
                for (SImportUVSet& s : sets) {
                    s.values.reserve(size_t(3 * expected));
                    s.triangles.reserve(size_t(expected));
                }
            }
            if (normals) {
                // A corner without one gets a computed normal below.
                missingNormals |= !corner.bNormal;
                triangle.normal[c] = int32_t(record.normals.size());
                Normalise3(corner.normal);
                record.normals.push_back({corner.normal[0], corner.normal[1], corner.normal[2]});
            }
            if (colours && corner.bColour) {
                triangle.colour[c] = int32_t(record.colours.size());
                record.colours.push_back({corner.colour[0], corner.colour[1], corner.colour[2], corner.colour[3]});
            }
            for (int s = 0; s < setCount; ++s)
                sets[size_t(s)].values.push_back(
                    s < corner.uvSets ? SVec3{corner.uv[s][0], corner.uv[s][1], corner.uv[s][2]} : SVec3{0, 0, 0});
            triangle.position[c] = int32_t(record.positions.size());
            record.positions.push_back({corner.position[0], corner.position[1], corner.position[2]});
        }
        if (!complete)
            break;
        record.triangles.push_back(triangle);
        for (SImportUVSet& s : sets)
            s.triangles.push_back({triangle.position[0], triangle.position[1], triangle.position[2]});
    }
    for (SImportUVSet& s : sets)
        record.uvSets.push_back(std::move(s));
    if (missingNormals) {
        // One mesh without normals leaves the others theirs; it gets smooth
        // ones over its welded positions.
        ConversionLog(eLogWarning, "Warning: Mesh '%s' has no normals; smooth normals were computed for it.\n",
                      record.name.c_str());
        ComputeSmoothNormals(record);
    }
    if (skinned) {
        // Every corner needs its list, or none of them is kept.
        const size_t positions = record.positions.size();
        if (skinBlock.influences.size() == positions)
            record.skins.push_back(std::move(skinBlock));
        else
            ConversionLog(eLogWarning, "Warning: %s had %i (out of %i) vertices that are not affected by any bones.\n",
                          record.name.c_str(), int(positions - skinBlock.influences.size()), int(positions));
    }
    return true;
}

bool BuildGeometryInstance(CEl_Geometry& geometry, int32_t recordIndex, CEl_Node& node, std::vector<SImportNode>& nodes,
                           const std::vector<CEl_Instance_material*>& materials, const CDAEObject* skin)
{
    const std::vector<CEl_Triangles*>& primitives = geometry.Primitives();
    const std::string name = nodes[size_t(recordIndex)].name;
    if (primitives.empty()) {
        ConversionLog(eLogError, "Error: No supported geometry data found for mesh \"%s\".\n", name.c_str());
        return false;
    }
    if (primitives.size() == 1) {
        nodes[size_t(recordIndex)].content = eImportMesh;
        return BuildPrimitiveMesh(*primitives[0], nodes[size_t(recordIndex)], materials, skin);
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
        BuildPrimitiveMesh(*primitives[i], nodes[first + i], materials, skin);
    return true;
}
