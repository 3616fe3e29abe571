// glTF mesh primitives into triangle-list mesh data of node records: one
// position, normal, colour and texture-coordinate entry per triangle corner,
// as the Collada import makes them, skinned ones with their influences and
// bind pose.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cmath>
#include <memory>

#include "base/ConversionLog.h"
#include "base/Parallel.h"
#include "import/ImportMath.h"
#include "import/ImportWarnings.h"
#include "import/Influences.h"
#include "import/SmoothNormals.h"
#include "gltf/GltfImport.h"
#include "gltf/GltfPrimitive.h"
#include "options/Options.h"

namespace {

// Corners of meshes built a second time (a mesh used by several nodes) stop
// being copied past this many: a small file could otherwise ask for a huge
// scene.
constexpr size_t kMaxCopiedCorners = size_t(1) << 22;
constexpr int kMaxUVSets = 8;

// A skin made ready for one mesh: the joint matrices (inverse bind x joint
// world at frame 0) and the records of the joint nodes.
struct SSkinBinding {
    std::vector<SMatrix44> jointMatrices;
    std::vector<int32_t> jointRecords;
};

SSkinBinding PrepareSkin(SGltfImport& im, int32_t skinIndex)
{
    const json& skin = GltfArray(im.doc.root, "skins", "skins")[size_t(skinIndex)];
    const std::string what = GltfItem("skins", size_t(skinIndex));
    const json& joints = GltfArray(skin, "joints", what + ".joints");
    if (joints.empty())
        GltfFail("%s has no joints", what.c_str());
    std::vector<float> ibm;
    const int32_t ibmAccessor =
        GltfIndex(skin, "inverseBindMatrices", GltfArray(im.doc.root, "accessors", "accessors").size(),
                  what + ".inverseBindMatrices");
    if (ibmAccessor >= 0) {
        int components = 0;
        im.accessors->ReadFloats(ibmAccessor, eGltfMatrix, ibm, components);
        if (ibm.size() < 16 * joints.size())
            GltfFail("%s has fewer inverse bind matrices than joints", what.c_str());
        for (float v : ibm)
            if (!std::isfinite(v))
                GltfFail("%s has inverse bind matrices that are not finite numbers", what.c_str());
    }
    // The skeleton root is only a hint where the hierarchy starts; the joint
    // list says everything the skin needs.
    GltfIndex(skin, "skeleton", im.nodes.size(), what + ".skeleton");
    SSkinBinding out;
    for (size_t i = 0; i < joints.size(); ++i) {
        const SGltfNodeRecord& joint = im.nodes[size_t(joints[i].get<int64_t>())]; // checked with the nodes
        SMatrix44 m = MatrixIdentity();
        if (!ibm.empty())
            std::copy(ibm.begin() + std::ptrdiff_t(16 * i), ibm.begin() + std::ptrdiff_t(16 * i + 16), m.begin());
        out.jointMatrices.push_back(MatrixMultiply(m, joint.world0));
        out.jointRecords.push_back(joint.record);
    }
    return out;
}

// Reads an attribute whose element count must match the positions'.
bool ReadAttribute(SGltfImport& im, const json& attributes, const std::string& name, EGltfUse use, size_t vertices,
                   const std::string& what, std::vector<float>& out, int& components)
{
    const int32_t a = GltfIndex(attributes, name.c_str(), GltfArray(im.doc.root, "accessors", "accessors").size(),
                                what + ".attributes." + name);
    if (a < 0)
        return false;
    im.accessors->ReadFloats(a, use, out, components);
    if (out.size() / size_t(components) != vertices)
        GltfFail("%s.attributes.%s has %zu elements, POSITION has %zu", what.c_str(), name.c_str(),
                 out.size() / size_t(components), vertices);
    return true;
}

// The primitive's vertex data from its accessors; false without positions.
bool ReadPrimitiveData(SGltfImport& im, const json& primitive, const json& attributes, const std::string& what,
                       const SGltfPrimitiveWants& wants, SGltfPrimitiveData& data)
{
    const size_t accessors = GltfArray(im.doc.root, "accessors", "accessors").size();
    const int32_t position = GltfIndex(attributes, "POSITION", accessors, what + ".attributes.POSITION");
    if (position < 0)
        return false; // nothing to draw
    int components = 0;
    im.accessors->ReadFloats(position, eGltfPosition, data.positions, components);
    const size_t vertices = data.Vertices();
    ReadAttribute(im, attributes, "NORMAL", eGltfNormal, vertices, what, data.normals, components);
    if (wants.colours)
        ReadAttribute(im, attributes, "COLOR_0", eGltfColour, vertices, what, data.colours, data.colourComponents);
    for (int s = 0; s < wants.uvSets; ++s) {
        std::vector<float> values;
        if (!ReadAttribute(im, attributes, "TEXCOORD_" + std::to_string(s), eGltfTexcoord, vertices, what, values,
                           components))
            break;
        data.uvs.push_back(std::move(values));
    }
    for (int set = 0; wants.skin && set < 2; ++set) {
        const std::string j = "JOINTS_" + std::to_string(set), w = "WEIGHTS_" + std::to_string(set);
        const int32_t ja = GltfIndex(attributes, j.c_str(), accessors, what + ".attributes." + j);
        const int32_t wa = GltfIndex(attributes, w.c_str(), accessors, what + ".attributes." + w);
        if (ja < 0 || wa < 0)
            continue;
        im.accessors->ReadUInts(ja, eGltfJoints, data.joints[set], components);
        im.accessors->ReadFloats(wa, eGltfWeights, data.weights[set], components);
        if (data.joints[set].size() != 4 * vertices || data.weights[set].size() != 4 * vertices)
            GltfFail("%s.attributes.%s or %s does not have one element per vertex", what.c_str(), j.c_str(), w.c_str());
    }
    const int32_t indices = GltfIndex(primitive, "indices", accessors, what + ".indices");
    if (indices >= 0) {
        data.indexed = true;
        im.accessors->ReadUInts(indices, eGltfIndices, data.indices, components);
    }
    return true;
}

// The vertex numbers of the primitive's triangles, three per triangle.
std::vector<uint32_t> TriangleCorners(SGltfPrimitiveData& data, int64_t mode, const std::string& what)
{
    const size_t vertices = data.Vertices();
    std::vector<uint32_t> indices = std::move(data.indices);
    if (data.indexed) {
        for (uint32_t i : indices)
            if (i >= vertices)
                GltfFail("%s.indices holds the index %u, but there are only %zu vertices", what.c_str(), i, vertices);
    } else {
        indices.resize(vertices);
        for (size_t i = 0; i < vertices; ++i)
            indices[i] = uint32_t(i);
    }
    if (mode == 4) {
        if (indices.size() % 3 != 0)
            ConversionLog(eLogWarning, "Warning: %s has %zu corners, not a multiple of 3; the last %zu are left out.",
                          what.c_str(), indices.size(), indices.size() % 3);
        indices.resize(indices.size() / 3 * 3);
        return indices;
    }
    std::vector<uint32_t> corners;
    const size_t n = indices.size();
    if (n < 3)
        return corners;
    corners.reserve(3 * (n - 2));
    for (size_t i = 0; i + 2 < n; ++i) {
        if (mode == 5) { // strip: every other triangle turned round to keep the winding
            const size_t odd = i % 2;
            corners.insert(corners.end(), {indices[i], indices[i + 1 + odd], indices[i + 2 - odd]});
        } else { // fan around the first vertex
            corners.insert(corners.end(), {indices[i + 1], indices[i + 2], indices[0]});
        }
    }
    return corners;
}

// Influences of every vertex of a skinned primitive, heaviest first: vertex
// v's are the first counts[v] of the kMaxInfluences entries at
// entries[kMaxInfluences * v]. Both are empty when no vertex has one.
struct SSkinnedVertices {
    std::vector<SImportInfluence> entries;
    std::vector<uint8_t> counts;
    const SImportInfluence* begin(size_t v) const { return entries.data() + kMaxInfluences * v; }
    const SImportInfluence* end(size_t v) const { return begin(v) + counts[v]; }
};

// Moves the vertices (and normals) where the skeleton places them at frame 0
// and keeps the influences of each; with apply false the joints are only
// checked.
void SkinVertices(const SGltfPrimitiveData& data, const std::string& what, const SSkinBinding& skin, bool apply,
                  std::vector<float>& positions, std::vector<float>& normals, SSkinnedVertices& out,
                  CImportWarnings& warnings)
{
    const size_t vertices = positions.size() / 3;
    bool any = false;
    for (int set = 0; set < 2; ++set) {
        const std::vector<uint32_t>& joints = data.joints[set];
        const std::vector<float>& weights = data.weights[set];
        if (joints.empty())
            continue;
        for (size_t k = 0; k < 4 * vertices; ++k) {
            const float weight = weights[k];
            if (!(weight > 0) || !std::isfinite(weight))
                continue; // padding, or nothing a bone could carry
            if (joints[k] >= skin.jointRecords.size())
                GltfFail("%s.attributes.JOINTS_%d names joint %u of a skin with %zu joints", what.c_str(), set,
                         joints[k], skin.jointRecords.size());
            any = true;
        }
    }
    out.entries.clear();
    out.counts.clear();
    if (!any || !apply)
        return;
    out.entries.resize(kMaxInfluences * vertices);
    out.counts.resize(vertices);
    // Every vertex on its own: runs of vertices side by side. Each run notes
    // where each warning first came up, so that they are given in the order
    // one pass over the vertices would give them.
    constexpr size_t kVerticesPerRun = 1 << 16;
    const size_t runs = (vertices + kVerticesPerRun - 1) / kVerticesPerRun;
    std::vector<SFirstWarnings> warned(runs); // by vertex
    ParallelFor(runs, [&](size_t run) {
        const size_t end = std::min(vertices, (run + 1) * kVerticesPerRun);
        for (size_t v = run * kVerticesPerRun; v < end; ++v) {
            // Both sets' entries in order (set 0 first), at most eight.
            SImportInfluence list[8];
            size_t n = 0;
            for (int set = 0; set < 2; ++set) {
                if (data.joints[set].empty())
                    continue;
                for (size_t k = 4 * v; k < 4 * v + 4; ++k) {
                    const float weight = data.weights[set][k];
                    if (weight > 0 && std::isfinite(weight))
                        list[n++] = {int32_t(data.joints[set][k]), weight};
                }
            }
            float scale = 1;
            uint32_t given = 0;
            n = ReduceInfluences(list, n, scale, given);
            warned[run].Note(given, int64_t(v));
            double position[3] = {0, 0, 0}, normal[3] = {0, 0, 0};
            bool moved = false;
            const float* p = &positions[3 * v];
            const float* nrm = normals.empty() ? nullptr : &normals[3 * v];
            SImportInfluence* kept = &out.entries[kMaxInfluences * v];
            uint8_t count = 0;
            for (size_t i = 0; i < n; ++i) {
                const SImportInfluence& e = list[i];
                const int32_t record = skin.jointRecords[size_t(e.bone)];
                const float weight = e.weight * scale;
                if (record < 0)
                    continue; // a joint outside the scene carries nothing
                kept[count++] = {record, weight};
                const SMatrix44& m = skin.jointMatrices[size_t(e.bone)];
                for (size_t c = 0; c < 3; ++c) {
                    position[c] += double(weight) * (p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + m[12 + c]);
                    if (nrm)
                        normal[c] += double(weight) * (nrm[0] * m[c] + nrm[1] * m[4 + c] + nrm[2] * m[8 + c]);
                }
                moved = true;
            }
            out.counts[v] = count;
            // The mesh lies where the skeleton places it at frame 0.
            if (moved) {
                for (size_t c = 0; c < 3; ++c)
                    positions[3 * v + c] = float(position[c]);
                if (nrm) {
                    float nn[3] = {float(normal[0]), float(normal[1]), float(normal[2])};
                    Normalise3(nn);
                    std::copy(nn, nn + 3, &normals[3 * v]);
                }
            }
        }
    });
    GiveInOrder(warned, warnings);
}

void BuildPrimitive(SGltfImport& im, const json& primitive, const std::string& what, int64_t mode, SImportNode& record,
                    const SSkinBinding* skin)
{
    record.content = eImportMesh;
    const json* attributes = GltfObject(primitive, "attributes", what + ".attributes");
    if (!attributes)
        GltfFail("%s has no attributes", what.c_str());
    if (GltfMember(primitive, "targets"))
        im.WarnOnce(eGltfWarnMorph, "Warning: Morph targets are not exported; meshes keep their base shape.");

    const COptionsData* options = im.options;
    const bool wantNormals = options->GetExport(eVANormal);
    SGltfPrimitiveWants wants;
    wants.colours = options->GetExport(eVAColour);
    wants.uvSets = options->GetBool(opt::bExportMappingChannels) ? kMaxUVSets + 1 : 0;
    wants.skin = skin != nullptr;
    SGltfPrimitiveData data;
    const json* ext = GltfObject(primitive, "extensions", what + ".extensions");
    const std::string dracoWhat = what + ".extensions.KHR_draco_mesh_compression";
    if (const json* draco = ext ? GltfObject(*ext, "KHR_draco_mesh_compression", dracoWhat) : nullptr) {
        const int32_t view =
            GltfIndex(*draco, "bufferView", GltfArray(im.doc.root, "bufferViews", "bufferViews").size(),
                      dracoWhat + ".bufferView");
        if (view < 0)
            GltfFail("%s has no bufferView", dracoWhat.c_str());
        const CGltfAccessors::SBytes bytes = im.accessors->ViewBytes(view);
        DecodeDracoPrimitive(bytes.data, bytes.size, *draco, dracoWhat, wants, data);
    } else if (!ReadPrimitiveData(im, primitive, *attributes, what, wants, data)) {
        return;
    }
    GltfReleaseFilePages(im.doc);
    if (data.uvs.size() > size_t(kMaxUVSets)) {
        im.warnings.WarnOnce(eWarnUVSets);
        data.uvs.resize(kMaxUVSets);
    }
    std::vector<float>& positions = data.positions;
    std::vector<float>& normals = data.normals;
    std::vector<std::vector<float>>& uvs = data.uvs;
    const bool hasNormals = !normals.empty();
    const bool hasColours = !data.colours.empty();
    const std::vector<float>& colourValues = data.colours;
    const int colourComponents = data.colourComponents;

    int32_t material =
        GltfIndex(primitive, "material", GltfArray(im.doc.root, "materials", "materials").size(), what + ".material");
    if (material >= 0 && im.hasUvTransform[size_t(material)]) {
        const size_t set = size_t(im.textureSets[size_t(material)]);
        if (set < uvs.size()) {
            const std::array<float, 6>& m = im.uvTransforms[size_t(material)];
            std::vector<float>& uv = uvs[set];
            for (size_t i = 0; i + 1 < uv.size(); i += 2) {
                const float u = uv[i], v = uv[i + 1];
                uv[i] = m[0] * u + m[1] * v + m[2];
                uv[i + 1] = m[3] * u + m[4] * v + m[5];
            }
        }
    }
    material = material >= 0 ? im.materialBase + material : -1;

    SSkinnedVertices skinned;
    const bool skinning = skin && options->GetBool(opt::bExportSkin);
    if (skin)
        SkinVertices(data, what, *skin, skinning, positions, normals, skinned, im.warnings);
    for (int set = 0; set < 2; ++set) {
        std::vector<uint32_t>().swap(data.joints[set]);
        std::vector<float>().swap(data.weights[set]);
    }

    const std::vector<uint32_t> corners = TriangleCorners(data, mode, what);
    const size_t triangles = corners.size() / 3;
    if (record.positions.size() + corners.size() > size_t(INT32_MAX))
        GltfFail("%s has more corners than a mesh can hold", what.c_str());

    // The document's vertices are already shared by corners: each one used by
    // a kept triangle is recorded once, in the order of first use, with all
    // it carries, and the corners name it. (The processing joins corners by
    // value, so this gives the same meshes as a record per corner, in a
    // fraction of the memory.)
    // A record holds one primitive, so a vertex's position, normal, colour,
    // texture coordinates and influence list all have the same number.
    const bool normalsOn = wantNormals && hasNormals;
    const size_t vertices = positions.size() / 3;
    const size_t expected = std::min(vertices, corners.size());
    record.positions.reserve(expected);
    record.triangles.reserve(triangles);
    if (normalsOn)
        record.normals.reserve(expected);
    if (hasColours)
        record.colours.reserve(expected);
    std::vector<SImportUVSet> sets(uvs.size());
    for (SImportUVSet& s : sets) {
        s.values.reserve(expected);
        s.triangles.reserve(triangles);
    }
    SImportSkin block;
    block.perPosition = true;
    const bool influences = skinning && !skinned.counts.empty();
    if (skinning) {
        size_t entries = 0;
        if (influences)
            for (size_t i = 0; i < vertices; ++i)
                entries += skinned.counts[i];
        block.influences.reserve(expected, entries);
    }

    constexpr uint32_t kUnused = UINT32_MAX;
    std::vector<uint32_t> recorded(vertices, kUnused); // record position of each document vertex
    auto add = [&](size_t i) {
        const uint32_t r = uint32_t(record.positions.size());
        recorded[i] = r;
        record.positions.push_back({positions[3 * i], positions[3 * i + 1], positions[3 * i + 2]});
        if (normalsOn) {
            float n[3] = {normals[3 * i], normals[3 * i + 1], normals[3 * i + 2]};
            Normalise3(n);
            record.normals.push_back({n[0], n[1], n[2]});
        }
        if (hasColours) {
            const float* col = &colourValues[size_t(colourComponents) * i];
            record.colours.push_back({col[0], col[1], col[2], colourComponents == 4 ? col[3] : 1.0f});
        }
        // glTF's texture space has v downwards; the scene's, as Collada's, upwards.
        for (size_t s = 0; s < sets.size(); ++s)
            sets[s].values.push_back({uvs[s][2 * i], 1 - uvs[s][2 * i + 1], 0});
        if (influences)
            block.influences.push_back(skinned.begin(i), skinned.end(i));
        else if (skinning)
            block.influences.emplace_back();
        return r;
    };
    for (size_t t = 0; t < triangles; ++t) {
        const uint32_t* v = &corners[3 * t];
        bool finite = true;
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k)
                finite = finite && std::isfinite(positions[3 * size_t(v[c]) + size_t(k)]);
        if (!finite) {
            im.WarnOnce(eGltfWarnBadPosition,
                        "Warning: Triangles with positions that are not finite numbers are left out.");
            continue;
        }
        SImportTriangle triangle;
        triangle.material = material;
        for (int c = 0; c < 3; ++c) {
            uint32_t r = recorded[v[c]];
            if (r == kUnused)
                r = add(v[c]);
            triangle.position[c] = int32_t(r);
            if (normalsOn)
                triangle.normal[c] = int32_t(r);
            if (hasColours)
                triangle.colour[c] = int32_t(r);
        }
        record.triangles.push_back(triangle);
        for (SImportUVSet& s : sets)
            s.triangles.push_back({triangle.position[0], triangle.position[1], triangle.position[2]});
    }
    for (SImportUVSet& s : sets)
        record.uvSets.push_back(std::move(s));
    if (wantNormals && !hasNormals && !record.triangles.empty())
        MendMissingNormals(record);
    // A skinned node whose mesh names no joints is a plain mesh.
    const bool influenced = !block.influences.Entries().empty();
    if (skinning && influenced)
        record.skins.push_back(std::move(block));
}

} // namespace

void GltfConvertMeshes(SGltfImport& im)
{
    const json& nodes = GltfArray(im.doc.root, "nodes", "nodes");
    const json& meshes = GltfArray(im.doc.root, "meshes", "meshes");
    const size_t accessors = GltfArray(im.doc.root, "accessors", "accessors").size();
    const size_t skins = GltfArray(im.doc.root, "skins", "skins").size();
    // Index (or position) data drawn a second time, by another primitive or
    // another node, counts against the copy budget.
    std::vector<uint8_t> drawn(accessors, 0);
    std::vector<std::unique_ptr<SSkinBinding>> bindings(skins); // each skin prepared once
    for (int32_t n : im.order) {
        const SGltfNodeRecord& node = im.nodes[size_t(n)];
        if (node.meshParts.empty())
            continue;
        const json& gltfNode = nodes[size_t(n)];
        const int32_t meshIndex = int32_t(gltfNode["mesh"].get<int64_t>()); // checked with the nodes
        const json& mesh = meshes[size_t(meshIndex)];
        const std::string what = GltfItem("meshes", size_t(meshIndex));
        const int32_t skinIndex = GltfIndex(gltfNode, "skin", skins, GltfItem("nodes", size_t(n)) + ".skin");
        if (skinIndex >= 0 && !bindings[size_t(skinIndex)])
            bindings[size_t(skinIndex)] = std::make_unique<SSkinBinding>(PrepareSkin(im, skinIndex));
        const SSkinBinding* skin = skinIndex >= 0 ? bindings[size_t(skinIndex)].get() : nullptr;

        const json& primitives = GltfArray(mesh, "primitives", what + ".primitives");
        size_t part = 0;
        for (size_t p = 0; p < primitives.size(); ++p) {
            const std::string pw = what + ".primitives[" + std::to_string(p) + "]";
            const int64_t mode = GltfInt(primitives[p], "mode", 4, 0, 6, pw + ".mode");
            if (mode < 4) {
                im.WarnOnce(eGltfWarnPrimitiveMode, "Warning: Points and lines are not exported, only triangles.");
                continue;
            }
            SImportNode& record = im.scene->nodes[size_t(node.meshParts[part++])];
            const json* attributes = GltfObject(primitives[p], "attributes", pw + ".attributes");
            int32_t key = GltfIndex(primitives[p], "indices", accessors, pw + ".indices");
            if (key < 0 && attributes)
                key = GltfIndex(*attributes, "POSITION", accessors, pw + ".attributes.POSITION");
            const bool again = key >= 0 && drawn[size_t(key)];
            if (again && im.copiedCorners > kMaxCopiedCorners) {
                im.WarnOnce(eGltfWarnMeshCopies,
                            "Warning: Meshes drawn several times were not all copied as their copies grew too large.");
                continue;
            }
            BuildPrimitive(im, primitives[p], pw, mode, record, skin);
            if (again)
                im.copiedCorners += 3 * record.triangles.size();
            if (key >= 0)
                drawn[size_t(key)] = 1;
        }
    }
}
