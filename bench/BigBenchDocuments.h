#pragma once
// Writes the two big documents of the whole-conversion benchmark:
// - a corner grid: a height field in which every triangle corner has its own
//   position, normal and UV entry (eight significant digits, three inputs at
//   three offsets, polylist, every array on one line), as exporters that do
//   not join vertices write it; 1,000,000 triangles make about 300 MB;
// - a skinned scene as Blender writes it: a grid mesh (polylist, positions
//   per vertex, normals and UVs per corner) bound to a chain of 40 bones
//   (four weights per vertex), and a 250-frame matrix animation of every
//   bone; 1,000,000 triangles make about 270 MB.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "ColladaBenchDocument.h"

namespace bigbench {

inline int64_t GridSide(int64_t minTriangles)
{
    int64_t n = 2;
    while (2 * (n - 1) * (n - 1) < minTriangles)
        ++n;
    return n;
}

inline float Height(float x, float z)
{
    return 0.1f * std::sin(3 * x) * std::cos(2 * z);
}

inline void Normal(float x, float z, float out[3])
{
    float nx = -0.3f * std::cos(3 * x) * std::cos(2 * z), ny = 1, nz = 0.2f * std::sin(3 * x) * std::sin(2 * z);
    const float len = std::sqrt(nx * nx + ny * ny + nz * nz);
    out[0] = nx / len, out[1] = ny / len, out[2] = nz / len;
}

// Calls fn(i, j) for the three corners of every triangle of an n x n vertex
// grid, in the order the documents list them.
template <class Fn>
void ForEachCorner(int64_t n, Fn&& fn)
{
    for (int64_t j = 0; j + 1 < n; ++j)
        for (int64_t i = 0; i + 1 < n; ++i) {
            fn(i, j), fn(i, j + 1), fn(i + 1, j);
            fn(i + 1, j), fn(i, j + 1), fn(i + 1, j + 1);
        }
}

inline void Source(CBenchWriter& w, const char* id, int64_t count, int stride, const char* params)
{
    w.Text("</float_array>\n          <technique_common><accessor source=\"#");
    w.Text(id);
    w.Text("-array\" count=\"");
    w.Int(count);
    w.Text("\" stride=\"");
    w.Int(stride);
    w.Text("\">");
    w.Text(params);
    w.Text("</accessor></technique_common>\n        </source>\n");
}

inline void ArrayStart(CBenchWriter& w, const char* id, int64_t count)
{
    w.Text("        <source id=\"");
    w.Text(id);
    w.Text("\">\n          <float_array id=\"");
    w.Text(id);
    w.Text("-array\" count=\"");
    w.Int(count);
    w.Text("\">");
}

constexpr const char* kXYZ =
    "<param name=\"X\" type=\"float\"/><param name=\"Y\" type=\"float\"/><param name=\"Z\" type=\"float\"/>";
constexpr const char* kST = "<param name=\"S\" type=\"float\"/><param name=\"T\" type=\"float\"/>";

inline void Header(CBenchWriter& w)
{
    w.Text("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" version=\"1.4.1\">\n"
           "  <asset><unit name=\"meter\" meter=\"1\"/><up_axis>Z_UP</up_axis></asset>\n"
           "  <library_effects><effect id=\"fx\"><profile_COMMON><technique sid=\"common\"><phong>\n"
           "    <diffuse><color>0.8 0.8 0.8 1</color></diffuse><shininess><float>20</float></shininess>\n"
           "  </phong></technique></profile_COMMON></effect></library_effects>\n"
           "  <library_materials><material id=\"mat\" name=\"Ground\"><instance_effect url=\"#fx\"/></material>"
           "</library_materials>\n");
}

// Writes vcount ("3" per triangle) and opens p.
inline void PolylistStart(CBenchWriter& w, int64_t triangles)
{
    w.Text("        <polylist count=\"");
    w.Int(triangles);
    w.Text("\" material=\"ground\">\n"
           "          <input semantic=\"VERTEX\" source=\"#vertices\" offset=\"0\"/>\n"
           "          <input semantic=\"NORMAL\" source=\"#normals\" offset=\"1\"/>\n");
    w.Text("          <input semantic=\"TEXCOORD\" source=\"#uvs\" offset=\"2\" set=\"0\"/>\n");
    w.Text("          <vcount>");
    for (int64_t t = 0; t < triangles; ++t)
        w.Text(t ? " 3" : "3");
    w.Text("</vcount>\n          <p>");
}

inline const char* kBindMaterial = "<bind_material><technique_common>"
                                   "<instance_material symbol=\"ground\" target=\"#mat\"/>"
                                   "</technique_common></bind_material>";

} // namespace bigbench

inline bool WriteCornerGridDocument(const std::string& path, int64_t minTriangles)
{
    using namespace bigbench;
    const int64_t n = GridSide(minTriangles);
    const int64_t triangles = 2 * (n - 1) * (n - 1);
    const int64_t corners = 3 * triangles;
    const float step = 10.0f / float(n - 1);
    CBenchWriter w(path);
    if (!w.Ok())
        return false;
    Header(w);
    w.Text("  <library_geometries>\n    <geometry id=\"terrain\" name=\"Terrain\">\n      <mesh>\n");
    auto list = [&](const char* id, int stride, const char* params, auto&& values) {
        ArrayStart(w, id, corners * stride);
        bool first = true;
        ForEachCorner(n, [&](int64_t i, int64_t j) {
            float v[3];
            values(float(i) * step, float(j) * step, i, j, v);
            for (int c = 0; c < stride; ++c) {
                if (!first)
                    w.Char(' ');
                first = false;
                w.Float(v[c], 8);
            }
        });
        Source(w, id, corners, stride, params);
    };
    list("positions", 3, kXYZ,
         [](float x, float z, int64_t, int64_t, float* v) { v[0] = x, v[1] = Height(x, z), v[2] = z; });
    list("normals", 3, kXYZ, [](float x, float z, int64_t, int64_t, float* v) { Normal(x, z, v); });
    list("uvs", 2, kST, [n](float, float, int64_t i, int64_t j, float* v) {
        v[0] = float(i) / float(n - 1), v[1] = float(j) / float(n - 1);
    });
    w.Text("        <vertices id=\"vertices\"><input semantic=\"POSITION\" source=\"#positions\"/></vertices>\n");
    PolylistStart(w, triangles);
    for (int64_t c = 0; c < corners; ++c) {
        if (c)
            w.Char(' ');
        w.Int(c), w.Char(' '), w.Int(c), w.Char(' '), w.Int(c);
    }
    w.Text("</p>\n        </polylist>\n      </mesh>\n    </geometry>\n  </library_geometries>\n"
           "  <library_visual_scenes><visual_scene id=\"scene\"><node id=\"terrain-node\" name=\"Terrain\">\n"
           "    <instance_geometry url=\"#terrain\">");
    w.Text(kBindMaterial);
    w.Text("</instance_geometry>\n  </node></visual_scene></library_visual_scenes>\n"
           "  <scene><instance_visual_scene url=\"#scene\"/></scene>\n</COLLADA>\n");
    return w.Close();
}

inline bool WriteSkinnedDocument(const std::string& path, int64_t minTriangles)
{
    using namespace bigbench;
    constexpr int kBones = 40;
    constexpr int kFrames = 250;
    const int64_t n = GridSide(minTriangles);
    const int64_t vertices = n * n;
    const int64_t triangles = 2 * (n - 1) * (n - 1);
    const float width = 10.0f, step = width / float(n - 1), segment = width / kBones;
    CBenchWriter w(path);
    if (!w.Ok())
        return false;
    Header(w);
    auto space = [&w](bool& first) {
        if (!first)
            w.Char(' ');
        first = false;
    };
    auto matrix = [&w](float tx, float ty, float tz, float angle) {
        const float c = std::cos(angle), s = std::sin(angle);
        const float m[16] = {c, -s, 0, tx, s, c, 0, ty, 0, 0, 1, tz, 0, 0, 0, 1};
        for (int k = 0; k < 16; ++k) {
            if (k)
                w.Char(' ');
            w.Float(m[k]);
        }
    };

    // Animation: every bone bends about z, a different phase per bone.
    w.Text("  <library_animations>\n    <animation id=\"action_container-Armature\" name=\"Armature\">\n");
    for (int b = 0; b < kBones; ++b) {
        const std::string id = "Armature_ArmatureAction_Bone_" + std::to_string(b) + "_pose_matrix";
        w.Text(("      <animation id=\"" + id + "\" name=\"Armature\">\n        <source id=\"" + id +
                "-input\"><float_array id=\"" + id + "-input-array\" count=\"" + std::to_string(kFrames) + "\">")
                   .c_str());
        for (int f = 0; f < kFrames; ++f) {
            if (f)
                w.Char(' ');
            w.Float(float(f) / 24.0f);
        }
        w.Text(("</float_array><technique_common><accessor source=\"#" + id + "-input-array\" count=\"" +
                std::to_string(kFrames) +
                "\" stride=\"1\"><param name=\"TIME\" type=\"float\"/></accessor></technique_common></source>\n"
                "        <source id=\"" +
                id + "-output\"><float_array id=\"" + id + "-output-array\" count=\"" + std::to_string(16 * kFrames) +
                "\">")
                   .c_str());
        for (int f = 0; f < kFrames; ++f) {
            if (f)
                w.Char(' ');
            matrix(b ? segment : 0, 0, 0, 0.1f * std::sin(0.05f * float(f) + 0.3f * float(b)));
        }
        w.Text(("</float_array><technique_common><accessor source=\"#" + id + "-output-array\" count=\"" +
                std::to_string(kFrames) +
                "\" stride=\"16\"><param name=\"TRANSFORM\" type=\"float4x4\"/></accessor></technique_common>"
                "</source>\n        <source id=\"" +
                id + "-interpolation\"><Name_array id=\"" + id + "-interpolation-array\" count=\"" +
                std::to_string(kFrames) + "\">")
                   .c_str());
        for (int f = 0; f < kFrames; ++f)
            w.Text(f ? " LINEAR" : "LINEAR");
        w.Text(("</Name_array><technique_common><accessor source=\"#" + id + "-interpolation-array\" count=\"" +
                std::to_string(kFrames) +
                "\" stride=\"1\"><param name=\"INTERPOLATION\" type=\"name\"/></accessor></technique_common>"
                "</source>\n        <sampler id=\"" +
                id + "-sampler\"><input semantic=\"INPUT\" source=\"#" + id +
                "-input\"/><input semantic=\"OUTPUT\" source=\"#" + id +
                "-output\"/><input semantic=\"INTERPOLATION\" source=\"#" + id +
                "-interpolation\"/></sampler>\n        <channel source=\"#" + id +
                "-sampler\" target=\"Armature_Bone_" + std::to_string(b) + "/transform\"/>\n      </animation>\n")
                   .c_str());
    }
    w.Text("    </animation>\n  </library_animations>\n");

    // The skin: four bones per vertex, weighted by distance along x.
    w.Text("  <library_controllers>\n    <controller id=\"Armature_Body-skin\" name=\"Armature\">\n"
           "      <skin source=\"#terrain\"><bind_shape_matrix>1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1</bind_shape_matrix>\n"
           "        <source id=\"Armature_Body-skin-joints\"><Name_array id=\"Armature_Body-skin-joints-array\" "
           "count=\"40\">");
    for (int b = 0; b < kBones; ++b)
        w.Text(((b ? " Bone_" : "Bone_") + std::to_string(b)).c_str());
    w.Text(
        "</Name_array><technique_common><accessor source=\"#Armature_Body-skin-joints-array\" count=\"40\" "
        "stride=\"1\"><param name=\"JOINT\" type=\"name\"/></accessor></technique_common></source>\n"
        "        <source id=\"Armature_Body-skin-bind_poses\"><float_array id=\"Armature_Body-skin-bind_poses-array\" "
        "count=\"640\">");
    for (int b = 0; b < kBones; ++b) {
        if (b)
            w.Char(' ');
        matrix(-segment * float(b), 0, 0, 0);
    }
    w.Text("</float_array><technique_common><accessor source=\"#Armature_Body-skin-bind_poses-array\" count=\"40\" "
           "stride=\"16\"><param name=\"TRANSFORM\" type=\"float4x4\"/></accessor></technique_common></source>\n"
           "        <source id=\"Armature_Body-skin-weights\"><float_array id=\"Armature_Body-skin-weights-array\" "
           "count=\"");
    w.Int(4 * vertices);
    w.Text("\">");
    auto bonesOf = [&](int64_t i, int b[4], float wt[4]) {
        const float x = float(i) * step / segment; // in bone lengths
        const int base = std::min(kBones - 1, int(x));
        float sum = 0;
        for (int k = 0; k < 4; ++k) {
            b[k] = std::min(kBones - 1, std::max(0, base - 1 + k));
            if (k && b[k] <= b[k - 1])
                b[k] = (b[k - 1] + 1) % kBones; // distinct bones at the ends
            const float d = std::fabs(x - (float(b[k]) + 0.5f));
            wt[k] = 1.0f / (1.0f + d * d * 4);
            sum += wt[k];
        }
        for (int k = 0; k < 4; ++k)
            wt[k] /= sum;
    };
    bool first = true;
    for (int64_t j = 0; j < n; ++j)
        for (int64_t i = 0; i < n; ++i) {
            int b[4];
            float wt[4];
            bonesOf(i, b, wt);
            for (float v : wt)
                space(first), w.Float(v);
        }
    w.Text("</float_array><technique_common><accessor source=\"#Armature_Body-skin-weights-array\" count=\"");
    w.Int(4 * vertices);
    w.Text("\" stride=\"1\"><param name=\"WEIGHT\" type=\"float\"/></accessor></technique_common></source>\n"
           "        <joints><input semantic=\"JOINT\" source=\"#Armature_Body-skin-joints\"/>"
           "<input semantic=\"INV_BIND_MATRIX\" source=\"#Armature_Body-skin-bind_poses\"/></joints>\n"
           "        <vertex_weights count=\"");
    w.Int(vertices);
    w.Text("\"><input semantic=\"JOINT\" source=\"#Armature_Body-skin-joints\" offset=\"0\"/>"
           "<input semantic=\"WEIGHT\" source=\"#Armature_Body-skin-weights\" offset=\"1\"/>\n<vcount>");
    for (int64_t v = 0; v < vertices; ++v)
        w.Text(v ? " 4" : "4");
    w.Text("</vcount>\n<v>");
    first = true;
    for (int64_t j = 0; j < n; ++j)
        for (int64_t i = 0; i < n; ++i) {
            int b[4];
            float wt[4];
            bonesOf(i, b, wt);
            for (int k = 0; k < 4; ++k)
                space(first), w.Int(b[k]), w.Char(' '), w.Int(4 * (j * n + i) + k);
        }
    w.Text("</v>\n        </vertex_weights>\n      </skin>\n    </controller>\n  </library_controllers>\n");

    // The mesh: positions per vertex, normals and UVs per corner.
    w.Text("  <library_geometries>\n    <geometry id=\"terrain\" name=\"Body\">\n      <mesh>\n");
    ArrayStart(w, "positions", 3 * vertices);
    first = true;
    for (int64_t j = 0; j < n; ++j)
        for (int64_t i = 0; i < n; ++i) {
            const float x = float(i) * step, y = float(j) * step;
            space(first), w.Float(x), w.Char(' '), w.Float(y), w.Char(' '), w.Float(Height(x, y));
        }
    Source(w, "positions", vertices, 3, kXYZ);
    ArrayStart(w, "normals", 9 * triangles);
    first = true;
    ForEachCorner(n, [&](int64_t i, int64_t j) {
        float v[3];
        Normal(float(i) * step, float(j) * step, v);
        space(first), w.Float(v[0]), w.Char(' '), w.Float(v[2]), w.Char(' '), w.Float(v[1]);
    });
    Source(w, "normals", 3 * triangles, 3, kXYZ);
    ArrayStart(w, "uvs", 6 * triangles);
    first = true;
    ForEachCorner(n, [&](int64_t i, int64_t j) {
        space(first), w.Float(float(i) / float(n - 1)), w.Char(' '), w.Float(float(j) / float(n - 1));
    });
    Source(w, "uvs", 3 * triangles, 2, kST);
    w.Text("        <vertices id=\"vertices\"><input semantic=\"POSITION\" source=\"#positions\"/></vertices>\n");
    PolylistStart(w, triangles);
    int64_t corner = 0;
    ForEachCorner(n, [&](int64_t i, int64_t j) {
        const int64_t v = j * n + i;
        if (corner)
            w.Char(' ');
        w.Int(v), w.Char(' '), w.Int(corner), w.Char(' '), w.Int(corner);
        ++corner;
    });
    w.Text("</p>\n        </polylist>\n      </mesh>\n    </geometry>\n  </library_geometries>\n");

    // The armature: a chain of joints along x; the body names its root.
    w.Text("  <library_visual_scenes><visual_scene id=\"scene\" name=\"Scene\">\n"
           "    <node id=\"Armature\" name=\"Armature\" type=\"NODE\"><matrix sid=\"transform\">"
           "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1</matrix>\n");
    for (int b = 0; b < kBones; ++b) {
        w.Text(("<node id=\"Armature_Bone_" + std::to_string(b) + "\" name=\"Bone_" + std::to_string(b) +
                "\" sid=\"Bone_" + std::to_string(b) + "\" type=\"JOINT\"><matrix sid=\"transform\">")
                   .c_str());
        matrix(b ? segment : 0, 0, 0, 0);
        w.Text("</matrix>\n");
    }
    for (int b = 0; b < kBones; ++b)
        w.Text("</node>");
    w.Text("\n    </node>\n    <node id=\"Body\" name=\"Body\" type=\"NODE\"><matrix sid=\"transform\">"
           "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1</matrix>\n"
           "      <instance_controller url=\"#Armature_Body-skin\"><skeleton>#Armature_Bone_0</skeleton>");
    w.Text(kBindMaterial);
    w.Text("</instance_controller>\n    </node>\n  </visual_scene></library_visual_scenes>\n"
           "  <scene><instance_visual_scene url=\"#scene\"/></scene>\n</COLLADA>\n");
    return w.Close();
}
