#pragma once
// Writes the height field of ColladaBenchDocument.h (same vertices, normals,
// UVs and triangles) as a binary glTF (.glb): float positions, normals and
// UVs, 32-bit indices.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

inline bool WriteGltfBenchDocument(const std::string& path, int64_t minTriangles)
{
    int64_t n = 2;
    while (2 * (n - 1) * (n - 1) < minTriangles)
        ++n;
    const int64_t vertices = n * n;
    const int64_t triangles = 2 * (n - 1) * (n - 1);
    auto height = [](float x, float z) { return 0.1f * std::sin(3 * x) * std::cos(2 * z); };
    std::vector<float> positions, normals, uvs;
    positions.reserve(size_t(3 * vertices));
    normals.reserve(size_t(3 * vertices));
    uvs.reserve(size_t(2 * vertices));
    for (int64_t j = 0; j < n; ++j)
        for (int64_t i = 0; i < n; ++i) {
            const float x = float(i) * 0.01f, z = float(j) * 0.01f;
            positions.insert(positions.end(), {x, height(x, z), z});
            float nx = -0.3f * std::cos(3 * x) * std::cos(2 * z), ny = 1, nz = 0.2f * std::sin(3 * x) * std::sin(2 * z);
            const float len = std::sqrt(nx * nx + ny * ny + nz * nz);
            normals.insert(normals.end(), {nx / len, ny / len, nz / len});
            uvs.insert(uvs.end(), {float(i) / float(n - 1), 1 - float(j) / float(n - 1)});
        }
    std::vector<uint32_t> indices;
    indices.reserve(size_t(3 * triangles));
    for (int64_t j = 0; j + 1 < n; ++j)
        for (int64_t i = 0; i + 1 < n; ++i) {
            const uint32_t a = uint32_t(j * n + i), b = a + 1, c = a + uint32_t(n), d = c + 1;
            indices.insert(indices.end(), {a, c, b, b, c, d});
        }

    std::string bin;
    auto append = [&bin](const void* p, size_t size) { bin.append(static_cast<const char*>(p), size); };
    const size_t pSize = positions.size() * 4, nSize = normals.size() * 4, uSize = uvs.size() * 4,
                 iSize = indices.size() * 4;
    append(positions.data(), pSize);
    append(normals.data(), nSize);
    append(uvs.data(), uSize);
    append(indices.data(), iSize);
    char json[2048];
    std::snprintf(
        json, sizeof json,
        "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[0]}],"
        "\"nodes\":[{\"name\":\"Terrain\",\"mesh\":0}],"
        "\"materials\":[{\"name\":\"Ground\",\"pbrMetallicRoughness\":{\"baseColorFactor\":[0.8,0.8,0.8,1]}}],"
        "\"meshes\":[{\"name\":\"Terrain\",\"primitives\":[{\"attributes\":{\"POSITION\":0,\"NORMAL\":1,"
        "\"TEXCOORD_0\":2},\"indices\":3,\"material\":0}]}],"
        "\"accessors\":[{\"bufferView\":0,\"componentType\":5126,\"count\":%lld,\"type\":\"VEC3\"},"
        "{\"bufferView\":1,\"componentType\":5126,\"count\":%lld,\"type\":\"VEC3\"},"
        "{\"bufferView\":2,\"componentType\":5126,\"count\":%lld,\"type\":\"VEC2\"},"
        "{\"bufferView\":3,\"componentType\":5125,\"count\":%lld,\"type\":\"SCALAR\"}],"
        "\"bufferViews\":[{\"buffer\":0,\"byteOffset\":0,\"byteLength\":%zu},"
        "{\"buffer\":0,\"byteOffset\":%zu,\"byteLength\":%zu},{\"buffer\":0,\"byteOffset\":%zu,\"byteLength\":%zu},"
        "{\"buffer\":0,\"byteOffset\":%zu,\"byteLength\":%zu}],\"buffers\":[{\"byteLength\":%zu}]}",
        static_cast<long long>(vertices), static_cast<long long>(vertices), static_cast<long long>(vertices),
        static_cast<long long>(3 * triangles), pSize, pSize, nSize, pSize + nSize, uSize, pSize + nSize + uSize, iSize,
        bin.size());
    std::string text = json;
    while (text.size() % 4)
        text.push_back(' ');
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    auto u32 = [f](uint32_t v) { std::fwrite(&v, 4, 1, f); };
    u32(0x46546C67);
    u32(2);
    u32(uint32_t(12 + 8 + text.size() + 8 + bin.size()));
    u32(uint32_t(text.size()));
    u32(0x4E4F534A);
    std::fwrite(text.data(), 1, text.size(), f);
    u32(uint32_t(bin.size()));
    u32(0x004E4942);
    std::fwrite(bin.data(), 1, bin.size(), f);
    return std::fclose(f) == 0;
}
