#pragma once
// Small glTF documents made in the tests, and imports of them straight
// through the glTF importer.
#include <QByteArray>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/ConversionLog.h"
#include "scene/ImportScene.h"
#include "collada/ColladaTestUtil.h"
#include "common/TestSupport.h"
#include "gltf/Gltf2QEF.h"
#include "options/Options.h"

using json = nlohmann::json;

// Builds a document with one buffer (a data: URI, or the BIN chunk of a .glb).
struct SGltfBuilder {
    json doc = {{"asset", {{"version", "2.0"}}}};
    std::string bin;

    // Appends bytes (aligned to 4) as a buffer view; returns its index.
    int View(const void* data, size_t size, int stride = 0)
    {
        while (bin.size() % 4)
            bin.push_back('\0');
        json v = {{"buffer", 0}, {"byteOffset", bin.size()}, {"byteLength", size}};
        if (stride)
            v["byteStride"] = stride;
        bin.append(static_cast<const char*>(data), size);
        doc["bufferViews"].push_back(v);
        return int(doc["bufferViews"].size() - 1);
    }
    template <typename T>
    int View(const std::vector<T>& values, int stride = 0)
    {
        return View(values.data(), values.size() * sizeof(T), stride);
    }
    int Accessor(int view, int componentType, size_t count, const char* type, bool normalised = false)
    {
        json a = {{"bufferView", view}, {"componentType", componentType}, {"count", count}, {"type", type}};
        if (normalised)
            a["normalized"] = true;
        doc["accessors"].push_back(a);
        return int(doc["accessors"].size() - 1);
    }
    int Floats(const std::vector<float>& values, const char* type, size_t components)
    {
        return Accessor(View(values), 5126, values.size() / components, type);
    }
    // A mesh with one primitive and a node showing it, in scene 0.
    int MeshNode(const json& primitive, const std::string& name = "Mesh")
    {
        doc["meshes"].push_back({{"primitives", json::array({primitive})}});
        json node = {{"mesh", doc["meshes"].size() - 1}};
        if (!name.empty())
            node["name"] = name;
        return Node(node);
    }
    int Node(const json& node, bool root = true)
    {
        doc["nodes"].push_back(node);
        const int index = int(doc["nodes"].size() - 1);
        if (root) {
            doc["scene"] = 0;
            doc["scenes"][0]["nodes"].push_back(index);
        }
        return index;
    }
    // A triangle list of positions with optional indices.
    json Triangles(const std::vector<float>& positions, const std::vector<uint16_t>& indices = {})
    {
        json p = {{"attributes", {{"POSITION", Floats(positions, "VEC3", 3)}}}};
        if (!indices.empty())
            p["indices"] = Accessor(View(indices), 5123, indices.size(), "SCALAR");
        return p;
    }
    // The .gltf text, the buffer as a data: URI.
    std::string Gltf()
    {
        json d = doc;
        if (!bin.empty())
            d["buffers"] = json::array({{{"byteLength", bin.size()},
                                         {"uri", "data:application/octet-stream;base64," +
                                                     QByteArray::fromStdString(bin).toBase64().toStdString()}}});
        return d.dump();
    }
    // The .glb bytes.
    std::string Glb()
    {
        json d = doc;
        std::string body = bin;
        while (body.size() % 4)
            body.push_back('\0');
        if (!bin.empty())
            d["buffers"] = json::array({{{"byteLength", bin.size()}}});
        std::string text = d.dump();
        while (text.size() % 4)
            text.push_back(' ');
        std::string out;
        auto u32 = [&out](uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); };
        u32(0x46546C67);
        u32(2);
        u32(uint32_t(12 + 8 + text.size() + (body.empty() ? 0 : 8 + body.size())));
        u32(uint32_t(text.size()));
        u32(0x4E4F534A);
        out += text;
        if (!body.empty()) {
            u32(uint32_t(body.size()));
            u32(0x004E4942);
            out += body;
        }
        return out;
    }
};

// An import run (scene, options, captured log) with totals for glTF tests.
struct SGltfRun : SImportRun {
    size_t Triangles() const
    {
        size_t n = 0;
        for (const SImportNode& node : scene.nodes)
            n += node.triangles.size();
        return n;
    }
    // The text of every message at a level, one a line.
    std::string Messages(int level) const
    {
        std::string out;
        for (const auto& m : log->Messages())
            if (m.level == level)
                out += m.text.toStdString() + "\n";
        return out;
    }
};

template <class Setup>
std::unique_ptr<SGltfRun> ImportGltfBytes(const std::string& bytes, Setup&& setup)
{
    auto run = std::make_unique<SGltfRun>();
    setup(run->options);
    CGltf2QEF importer;
    run->result = importer.ImportBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), std::string(),
                                       "test.gltf", &run->scene, &run->options);
    return run;
}
inline std::unique_ptr<SGltfRun> ImportGltfBytes(const std::string& bytes)
{
    return ImportGltfBytes(bytes, [](COptions&) {});
}
inline std::unique_ptr<SGltfRun> ImportGltfPath(const std::string& path)
{
    auto run = std::make_unique<SGltfRun>();
    CGltf2QEF importer;
    run->result = importer.Import(path.c_str(), &run->scene, &run->options);
    return run;
}
