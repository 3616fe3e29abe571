#pragma once
// Writes a large Collada document for import benchmarks: a smooth height
// field of at least minTriangles triangles with per-vertex normals and one UV
// set, inputs at three offsets (as exporters write them), given as
// triangles or as polylist, arrays broken into a line per grid row or each
// on one line.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

class CBenchWriter {
public:
    explicit CBenchWriter(const std::string& path) : m_file(std::fopen(path.c_str(), "wb")) {}
    ~CBenchWriter() { Close(); }
    bool Ok() const { return m_file != nullptr; }
    bool Close()
    {
        if (!m_file)
            return false;
        Flush();
        const bool ok = std::fclose(m_file) == 0;
        m_file = nullptr;
        return ok;
    }
    void Text(const char* s)
    {
        for (; *s; ++s)
            Char(*s);
    }
    void Char(char c)
    {
        if (m_used == sizeof(m_buffer))
            Flush();
        m_buffer[m_used++] = c;
    }
    // Seven significant digits by default, as exporters commonly write them.
    void Float(float v, int digits = 7)
    {
        char s[32];
        const auto r = std::to_chars(s, s + sizeof(s), v, std::chars_format::general, digits);
        *r.ptr = 0;
        Text(s);
    }
    void Int(int64_t v)
    {
        char s[24];
        const auto r = std::to_chars(s, s + sizeof(s), v);
        *r.ptr = 0;
        Text(s);
    }

private:
    void Flush()
    {
        if (m_file && m_used)
            std::fwrite(m_buffer, 1, m_used, m_file);
        m_used = 0;
    }
    std::FILE* m_file;
    char m_buffer[1 << 16];
    size_t m_used = 0;
};

inline bool WriteColladaBenchDocument(const std::string& path, bool polylist, int64_t minTriangles,
                                      bool oneLine = false)
{
    int64_t n = 2;
    while (2 * (n - 1) * (n - 1) < minTriangles)
        ++n;
    const int64_t vertices = n * n;
    const int64_t triangles = 2 * (n - 1) * (n - 1);
    CBenchWriter w(path);
    if (!w.Ok())
        return false;
    // Between the values of an array: a line per grid row, or (oneLine) the
    // whole array on one line, megabytes of it, as many exporters write.
    auto gap = [&w, oneLine](bool rowStart, bool first) {
        if (!rowStart)
            w.Char(' ');
        else if (!oneLine)
            w.Char('\n');
        else if (!first)
            w.Char(' ');
    };
    auto height = [](float x, float z) { return 0.1f * std::sin(3 * x) * std::cos(2 * z); };

    w.Text("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" version=\"1.4.1\">\n"
           "  <asset><unit name=\"meter\" meter=\"1\"/><up_axis>Y_UP</up_axis></asset>\n"
           "  <library_effects><effect id=\"fx\"><profile_COMMON><technique sid=\"common\"><phong>\n"
           "    <diffuse><color>0.8 0.8 0.8 1</color></diffuse><shininess><float>20</float></shininess>\n"
           "  </phong></technique></profile_COMMON></effect></library_effects>\n"
           "  <library_materials><material id=\"mat\" name=\"Ground\"><instance_effect url=\"#fx\"/></material>"
           "</library_materials>\n"
           "  <library_geometries>\n    <geometry id=\"terrain\" name=\"Terrain\">\n      <mesh>\n");

    w.Text("        <source id=\"positions\">\n          <float_array id=\"positions-array\" count=\"");
    w.Int(3 * vertices);
    w.Text("\">");
    for (int64_t j = 0; j < n; ++j)
        for (int64_t i = 0; i < n; ++i) {
            const float x = float(i) * 0.01f, z = float(j) * 0.01f;
            gap(i == 0, i == 0 && j == 0);
            w.Float(x), w.Char(' '), w.Float(height(x, z)), w.Char(' '), w.Float(z);
        }
    w.Text("</float_array>\n          <technique_common><accessor source=\"#positions-array\" count=\"");
    w.Int(vertices);
    w.Text("\" stride=\"3\"><param name=\"X\" type=\"float\"/><param name=\"Y\" type=\"float\"/>"
           "<param name=\"Z\" type=\"float\"/></accessor></technique_common>\n        </source>\n");

    w.Text("        <source id=\"normals\">\n          <float_array id=\"normals-array\" count=\"");
    w.Int(3 * vertices);
    w.Text("\">");
    for (int64_t j = 0; j < n; ++j)
        for (int64_t i = 0; i < n; ++i) {
            const float x = float(i) * 0.01f, z = float(j) * 0.01f;
            float nx = -0.3f * std::cos(3 * x) * std::cos(2 * z), ny = 1, nz = 0.2f * std::sin(3 * x) * std::sin(2 * z);
            const float len = std::sqrt(nx * nx + ny * ny + nz * nz);
            nx /= len, ny /= len, nz /= len;
            gap(i == 0, i == 0 && j == 0);
            w.Float(nx), w.Char(' '), w.Float(ny), w.Char(' '), w.Float(nz);
        }
    w.Text("</float_array>\n          <technique_common><accessor source=\"#normals-array\" count=\"");
    w.Int(vertices);
    w.Text("\" stride=\"3\"><param name=\"X\" type=\"float\"/><param name=\"Y\" type=\"float\"/>"
           "<param name=\"Z\" type=\"float\"/></accessor></technique_common>\n        </source>\n");

    w.Text("        <source id=\"uvs\">\n          <float_array id=\"uvs-array\" count=\"");
    w.Int(2 * vertices);
    w.Text("\">");
    for (int64_t j = 0; j < n; ++j)
        for (int64_t i = 0; i < n; ++i) {
            gap(i == 0, i == 0 && j == 0);
            w.Float(float(i) / float(n - 1)), w.Char(' '), w.Float(float(j) / float(n - 1));
        }
    w.Text("</float_array>\n          <technique_common><accessor source=\"#uvs-array\" count=\"");
    w.Int(vertices);
    w.Text("\" stride=\"2\"><param name=\"S\" type=\"float\"/><param name=\"T\" type=\"float\"/>"
           "</accessor></technique_common>\n        </source>\n");

    w.Text("        <vertices id=\"vertices\"><input semantic=\"POSITION\" source=\"#positions\"/></vertices>\n");
    w.Text(polylist ? "        <polylist count=\"" : "        <triangles count=\"");
    w.Int(triangles);
    w.Text("\" material=\"ground\">\n"
           "          <input semantic=\"VERTEX\" source=\"#vertices\" offset=\"0\"/>\n"
           "          <input semantic=\"NORMAL\" source=\"#normals\" offset=\"1\"/>\n"
           "          <input semantic=\"TEXCOORD\" source=\"#uvs\" offset=\"2\" set=\"0\"/>\n");
    if (polylist) {
        w.Text("          <vcount>");
        for (int64_t t = 0; t < triangles; ++t)
            w.Text(t ? " 3" : "3");
        w.Text("</vcount>\n");
    }
    w.Text("          <p>");
    auto corner = [&w](int64_t v) { w.Int(v), w.Char(' '), w.Int(v), w.Char(' '), w.Int(v); };
    for (int64_t j = 0; j + 1 < n; ++j)
        for (int64_t i = 0; i + 1 < n; ++i) {
            const int64_t a = j * n + i, b = a + 1, c = a + n, d = c + 1;
            gap(true, i == 0 && j == 0);
            corner(a), w.Char(' '), corner(c), w.Char(' '), corner(b), w.Char(' ');
            corner(b), w.Char(' '), corner(c), w.Char(' '), corner(d);
        }
    w.Text(polylist ? "</p>\n        </polylist>\n" : "</p>\n        </triangles>\n");
    w.Text("      </mesh>\n    </geometry>\n  </library_geometries>\n"
           "  <library_visual_scenes><visual_scene id=\"scene\"><node id=\"terrain-node\" name=\"Terrain\">\n"
           "    <instance_geometry url=\"#terrain\"><bind_material><technique_common>\n"
           "      <instance_material symbol=\"ground\" target=\"#mat\"/>\n"
           "    </technique_common></bind_material></instance_geometry>\n"
           "  </node></visual_scene></library_visual_scenes>\n"
           "  <scene><instance_visual_scene url=\"#scene\"/></scene>\n</COLLADA>\n");
    return w.Close();
}
