#pragma once
// The vertex data of one mesh primitive, read from accessors or decoded from
// a compressed stream, before it becomes triangle corners.
#include <cstdint>
#include <string>
#include <vector>

#include "gltf/GltfDocument.h"

struct SGltfPrimitiveData {
    std::vector<float> positions; // 3 per vertex
    std::vector<float> normals;   // 3 per vertex, or empty
    std::vector<float> colours;   // colourComponents per vertex, or empty
    int colourComponents = 4;
    std::vector<std::vector<float>> uvs; // sets of 2 per vertex
    std::vector<uint32_t> joints[2];     // JOINTS_0, JOINTS_1: 4 per vertex, or empty
    std::vector<float> weights[2];       // WEIGHTS_0, WEIGHTS_1
    bool indexed = false;
    std::vector<uint32_t> indices; // checked against the vertex count

    size_t Vertices() const { return positions.size() / 3; }
};

// What to read besides positions (and normals, always read).
struct SGltfPrimitiveWants {
    bool colours = false;
    int uvSets = 0; // at most this many TEXCOORD_n
    bool skin = false;
};

// Decodes a KHR_draco_mesh_compression stream into data, taking the
// attributes the extension maps to the stream's attribute ids. Throws
// CGltfError (naming what) when the stream cannot be decoded or does not hold
// what the extension says.
void DecodeDracoPrimitive(const uint8_t* bytes, size_t size, const json& extension, const std::string& what,
                          const SGltfPrimitiveWants& wants, SGltfPrimitiveData& data);
