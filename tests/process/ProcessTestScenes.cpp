#include "ProcessTestScenes.h"

#include <QDir>
#include <QTemporaryDir>

#include "scene/Scene.h"

SImportNode& AddNode(SImportScene& scene, const std::string& name, uint32_t content, int32_t parent)
{
    SImportNode node;
    node.index = int32_t(scene.nodes.size());
    node.parent = parent;
    node.name = name;
    node.content = content;
    scene.nodes.push_back(node);
    return scene.nodes.back();
}

void AddTriangle(SImportNode& node, const STestCorner& a, const STestCorner& b, const STestCorner& c, int32_t material)
{
    if (node.uvSets.empty())
        node.uvSets.resize(1);
    SImportTriangle tri;
    tri.material = material;
    std::array<int32_t, 3> uv{};
    const STestCorner* corners[3] = {&a, &b, &c};
    for (int i = 0; i < 3; ++i) {
        tri.position[i] = int32_t(node.positions.size());
        node.positions.push_back(corners[i]->p);
        tri.normal[i] = int32_t(node.normals.size());
        node.normals.push_back(corners[i]->n);
        uv[size_t(i)] = int32_t(node.uvSets[0].values.size());
        node.uvSets[0].values.push_back(corners[i]->uv);
    }
    node.uvSets[0].triangles.push_back(uv);
    node.triangles.push_back(tri);
}

void AddQuad(SImportNode& node, float z, int32_t material)
{
    const STestCorner c0{{0, 0, z}, {0, 0, 1}, {0, 0, 0}};
    const STestCorner c1{{1, 0, z}, {0, 0, 1}, {1, 0, 0}};
    const STestCorner c2{{1, 1, z}, {0, 0, 1}, {1, 1, 0}};
    const STestCorner c3{{0, 1, z}, {0, 0, 1}, {0, 1, 0}};
    AddTriangle(node, c0, c1, c2, material);
    AddTriangle(node, c0, c2, c3, material);
}

void AddMovingFrames(SImportNode& node, uint32_t count)
{
    node.frames.clear();
    for (uint32_t f = 0; f < count; ++f) {
        SImportTransform t = node.transform;
        t.translation[0] = float(f);
        t.matrix[12] = float(f);
        node.frames.push_back(t);
    }
}

std::vector<float> ChannelValues(const SSceneMesh& mesh, const SVertexChannel& channel)
{
    std::vector<float> out;
    if (!channel.IsPresent() || channel.uiStride == 0)
        return out;
    const bool interleaved = mesh.IsInterleaved();
    const std::vector<uint8_t>& data = interleaved ? mesh.pVertexBlock : channel.pData;
    const size_t offset = interleaved ? channel.uiOffset : 0;
    const uint32_t n = channel.uiComponentCount < 4 ? channel.uiComponentCount : 4;
    const uint32_t values = IsPackedType(channel.eType) ? ValuesPerElement(channel.eType) : n;
    for (uint32_t v = 0; v < mesh.uiVertexCount; ++v) {
        const size_t at = offset + size_t(v) * channel.uiStride;
        if (at + ElementSize(channel) > data.size())
            break;
        float value[4];
        ReadVertex(value, data.data() + at, channel.eType, n);
        out.insert(out.end(), value, value + values);
    }
    return out;
}

std::string TempPath(const std::string& name)
{
    static QTemporaryDir dir;
    return QDir(dir.path()).filePath(QString::fromStdString(name)).toStdString();
}
