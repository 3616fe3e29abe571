// The node graph of the default scene: records, names, static transforms,
// cameras and lights.
#include <cmath>

#include "import/ImportMath.h"
#include "import/Transform.h"
#include "gltf/GltfImport.h"

namespace {

// Modes that make triangles.
bool IsTriangleMode(int64_t mode)
{
    return mode == 4 || mode == 5 || mode == 6;
}

// Checks the children lists and fills parent (-1 for roots). Throws on an
// index out of range, a node that is its own child, a node with two parents
// and a cycle.
std::vector<int32_t> ParentsOf(const json& nodes)
{
    std::vector<int32_t> parent(nodes.size(), -1);
    for (size_t i = 0; i < nodes.size(); ++i) {
        const std::string what = GltfItem("nodes", i) + ".children";
        for (const json& c : GltfArray(nodes[i], "children", what)) {
            if (!c.is_number_integer() || c.get<int64_t>() < 0 || uint64_t(c.get<int64_t>()) >= nodes.size())
                GltfFail("%s refers to a node that does not exist", what.c_str());
            const size_t child = size_t(c.get<int64_t>());
            if (child == i)
                GltfFail("nodes[%zu] is its own child", i);
            if (parent[child] >= 0)
                GltfFail("nodes[%zu] has two parents (nodes %d and %zu)", child, parent[child], i);
            parent[child] = int32_t(i);
        }
    }
    // Every chain of parents must end at a root: walk each once, marking.
    std::vector<uint8_t> state(nodes.size(), 0); // 0 unseen, 1 on the current walk, 2 ends at a root
    std::vector<size_t> walk;
    for (size_t i = 0; i < nodes.size(); ++i) {
        size_t n = i;
        walk.clear();
        while (state[n] == 0) {
            state[n] = 1;
            walk.push_back(n);
            if (parent[n] < 0)
                break;
            n = size_t(parent[n]);
        }
        if (state[n] == 1 && parent[n] >= 0)
            GltfFail("the node graph has a cycle through nodes[%zu]", n);
        for (size_t w : walk)
            state[w] = 2;
    }
    return parent;
}

// Number of primitives of a mesh that make triangles.
size_t TrianglePrimitives(const json& mesh, const std::string& what)
{
    size_t n = 0;
    for (const json& p : GltfArray(mesh, "primitives", what + ".primitives"))
        if (IsTriangleMode(GltfInt(p, "mode", 4, 0, 6, what + ".primitives.mode")))
            ++n;
    return n;
}

void FillCamera(SGltfImport& im, const json& camera, const std::string& what, SImportNode& record)
{
    record.content = eImportCamera;
    const std::string type = GltfString(camera, "type", "", what + ".type");
    if (type == "perspective") {
        const json* p = GltfObject(camera, "perspective", what + ".perspective");
        if (!p)
            GltfFail("%s has no perspective", what.c_str());
        record.camera.fov = float(GltfNumber(*p, "yfov", 0, what + ".perspective.yfov"));
        record.camera.nearPlane = float(GltfNumber(*p, "znear", 0, what + ".perspective.znear"));
        // No far plane is an infinite projection; the scene file needs a number.
        record.camera.farPlane = float(GltfNumber(*p, "zfar", 1e6, what + ".perspective.zfar"));
    } else if (type == "orthographic") {
        const json* o = GltfObject(camera, "orthographic", what + ".orthographic");
        if (!o)
            GltfFail("%s has no orthographic", what.c_str());
        record.camera.fov = 0;
        record.camera.nearPlane = float(GltfNumber(*o, "znear", 0, what + ".orthographic.znear"));
        record.camera.farPlane = float(GltfNumber(*o, "zfar", 0, what + ".orthographic.zfar"));
        im.WarnOnce(eGltfWarnOrthographic, "Warning: Orthographic cameras are exported with a field of view of 0.");
    } else {
        GltfFail("%s has the unknown type '%s'", what.c_str(), type.c_str());
    }
}

void FillLight(const json& light, const std::string& what, SImportNode& record)
{
    record.content = eImportLight;
    const std::string type = GltfString(light, "type", "", what + ".type");
    float colour[3] = {1, 1, 1};
    GltfNumbers(light, "color", 3, colour, what + ".color");
    record.light.colour = {colour[0], colour[1], colour[2]};
    if (type == "directional") {
        record.light.type = eImportLightDirectional;
    } else if (type == "point" || type == "spot") {
        // glTF lights fall off with the square of the distance.
        record.light.type = type == "point" ? eImportLightPoint : eImportLightSpot;
        record.light.constantAttenuation = 0;
        record.light.linearAttenuation = 0;
        record.light.quadraticAttenuation = 1;
        if (type == "spot") {
            const json* spot = GltfObject(light, "spot", what + ".spot");
            const double outer =
                spot ? GltfNumber(*spot, "outerConeAngle", M_PI / 4, what + ".spot.outerConeAngle") : M_PI / 4;
            record.light.falloffAngle = float(2 * outer); // the whole cone
        }
    } else {
        GltfFail("%s has the unknown type '%s'", what.c_str(), type.c_str());
    }
}

SImportNode NewRecord(SGltfImport& im, int32_t parent, const std::string& name)
{
    SImportNode r;
    r.index = int32_t(im.scene->nodes.size());
    r.parent = parent;
    r.name = name;
    return r;
}

} // namespace

SMatrix44 GltfComposeTRS(const float t[3], const float q[4], const float s[3])
{
    const float x = q[0], y = q[1], z = q[2], w = q[3];
    // Column-vector rotation matrix of the quaternion.
    const float r[3][3] = {
        {1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
        {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
        {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)},
    };
    // T x R x S for column vectors, stored as glTF stores matrices (column
    // after column), which is the row-vector matrix with the translation in
    // elements 12-14.
    SMatrix44 m = MatrixIdentity();
    for (int c = 0; c < 3; ++c)
        for (int row = 0; row < 3; ++row)
            m[size_t(4 * c + row)] = r[row][c] * s[c];
    m[12] = t[0];
    m[13] = t[1];
    m[14] = t[2];
    return m;
}

SMatrix44 GltfCameraLightCorrection(const SMatrix44& local)
{
    // Cameras and lights look along another axis in the scene file.
    return MatrixMultiply(RotationMatrix(1, 0, 0, -90), local);
}

void GltfConvertNodes(SGltfImport& im)
{
    const json& root = im.doc.root;
    const json& nodes = GltfArray(root, "nodes", "nodes");
    const json& meshes = GltfArray(root, "meshes", "meshes");
    const json& cameras = GltfArray(root, "cameras", "cameras");
    const json& skins = GltfArray(root, "skins", "skins");
    const json* lightsExt = GltfObject(root, "extensions", "extensions");
    const json* lightsObj =
        lightsExt ? GltfObject(*lightsExt, "KHR_lights_punctual", "extensions.KHR_lights_punctual") : nullptr;
    const json& lights =
        lightsObj ? GltfArray(*lightsObj, "lights", "KHR_lights_punctual.lights") : GltfArray(root, "", "");

    const std::vector<int32_t> parent = ParentsOf(nodes);
    im.nodes.assign(nodes.size(), SGltfNodeRecord());
    for (size_t s = 0; s < skins.size(); ++s)
        for (const json& j : GltfArray(skins[s], "joints", GltfItem("skins", s) + ".joints")) {
            if (!j.is_number_integer() || j.get<int64_t>() < 0 || uint64_t(j.get<int64_t>()) >= nodes.size())
                GltfFail("skins[%zu].joints refers to a node that does not exist", s);
            im.nodes[size_t(j.get<int64_t>())].isJoint = true;
        }

    // The default scene's roots; a file without scenes shows every root node.
    const json& scenes = GltfArray(root, "scenes", "scenes");
    std::vector<int32_t> roots;
    if (!scenes.empty()) {
        const int32_t s = std::max<int32_t>(0, GltfIndex(root, "scene", scenes.size(), "scene"));
        GltfString(scenes[size_t(s)], "name", "", GltfItem("scenes", size_t(s)) + ".name");
        for (const json& n : GltfArray(scenes[size_t(s)], "nodes", GltfItem("scenes", size_t(s)) + ".nodes")) {
            if (!n.is_number_integer() || n.get<int64_t>() < 0 || uint64_t(n.get<int64_t>()) >= nodes.size())
                GltfFail("scenes[%d].nodes refers to a node that does not exist", s);
            const int32_t r = int32_t(n.get<int64_t>());
            if (parent[size_t(r)] >= 0)
                GltfFail("scenes[%d] lists nodes[%d], which is a child of nodes[%d]", s, r, parent[size_t(r)]);
            roots.push_back(r);
        }
    } else {
        for (size_t i = 0; i < nodes.size(); ++i)
            if (parent[i] < 0)
                roots.push_back(int32_t(i));
    }

    // Depth first, children in order; each node once (a scene may list a
    // root twice).
    struct SVisit {
        int32_t node, parentNode, parentRecord;
    };
    std::vector<SVisit> stack;
    for (auto it = roots.rbegin(); it != roots.rend(); ++it)
        stack.push_back({*it, -1, -1});
    std::vector<uint8_t> seen(nodes.size(), 0);
    std::vector<SImportNode>& records = im.scene->nodes;
    while (!stack.empty()) {
        const SVisit visit = stack.back();
        stack.pop_back();
        const int32_t n = visit.node, parentRecord = visit.parentRecord;
        if (seen[size_t(n)])
            continue;
        seen[size_t(n)] = 1;
        im.order.push_back(n);
        const json& node = nodes[size_t(n)];
        const std::string what = GltfItem("nodes", size_t(n));
        SGltfNodeRecord& out = im.nodes[size_t(n)];
        out.parentNode = visit.parentNode;

        std::string name = GltfString(node, "name", "", what + ".name");
        if (!GltfMember(node, "name"))
            name = "QEFNode-" + std::to_string(records.size());
        SImportNode record = NewRecord(im, parentRecord, name);

        float m[16];
        if (GltfNumbers(node, "matrix", 16, m, what + ".matrix")) {
            std::copy(m, m + 16, out.local.begin());
            out.hasMatrix = true;
        } else {
            GltfNumbers(node, "translation", 3, out.trs, what + ".translation");
            GltfNumbers(node, "rotation", 4, out.trs + 3, what + ".rotation");
            GltfNumbers(node, "scale", 3, out.trs + 7, what + ".scale");
            out.local = GltfComposeTRS(out.trs, out.trs + 3, out.trs + 7);
        }

        const int32_t mesh = GltfIndex(node, "mesh", meshes.size(), what + ".mesh");
        const int32_t camera = GltfIndex(node, "camera", cameras.size(), what + ".camera");
        int32_t light = -1;
        if (const json* ext = GltfObject(node, "extensions", what + ".extensions"))
            if (const json* l = GltfObject(*ext, "KHR_lights_punctual", what + ".extensions.KHR_lights_punctual"))
                light = GltfIndex(*l, "light", lights.size(), what + ".extensions.KHR_lights_punctual.light");
        GltfIndex(node, "skin", skins.size(), what + ".skin");
        const size_t parts = mesh >= 0 ? TrianglePrimitives(meshes[size_t(mesh)], GltfItem("meshes", size_t(mesh))) : 0;

        // The node's record holds a single mesh part, else its camera or light;
        // what does not fit goes into child records made for it.
        SImportNode extra;
        SImportNode* cameraOrLight = nullptr;
        if (camera >= 0 || light >= 0) {
            if (parts > 0) {
                extra = NewRecord(im, record.index, name + (camera >= 0 ? "-camera" : "-light"));
                cameraOrLight = &extra;
            } else {
                cameraOrLight = &record;
            }
            if (camera >= 0)
                FillCamera(im, cameras[size_t(camera)], GltfItem("cameras", size_t(camera)), *cameraOrLight);
            else
                FillLight(lights[size_t(light)], GltfItem("KHR_lights_punctual.lights", size_t(light)), *cameraOrLight);
        }
        if (out.isJoint && record.content == eImportNone && parts == 0)
            record.content = eImportBone;

        SMatrix44 local = out.local;
        if (cameraOrLight == &record)
            local = GltfCameraLightCorrection(local);
        record.transform = DecomposeTransform(local);
        out.record = record.index;
        records.push_back(std::move(record));

        if (parts == 1) {
            out.meshParts.push_back(out.record);
        } else if (parts > 1) {
            for (size_t i = 0; i < parts; ++i) {
                SImportNode sub = NewRecord(im, out.record, name + "-submesh" + std::to_string(i));
                out.meshParts.push_back(sub.index);
                records.push_back(std::move(sub));
            }
        }
        if (cameraOrLight == &extra) {
            extra.index = int32_t(records.size());
            extra.transform = DecomposeTransform(GltfCameraLightCorrection(MatrixIdentity()));
            out.extra = extra.index;
            records.push_back(std::move(extra));
        }

        const json& children = GltfArray(node, "children", what + ".children");
        for (auto c = children.rbegin(); c != children.rend(); ++c)
            stack.push_back({int32_t(c->get<int64_t>()), n, out.record});
    }
}
