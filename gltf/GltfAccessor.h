#pragma once
// Typed reads of glTF accessors, every one checked against the bytes that
// hold it: buffer views against their buffer, accessors against their view
// (offset + (count - 1) x stride + element size, alignment, stride), the
// component and element type against what the data is used for, sparse
// substitutions against the accessor. EXT_meshopt_compression views are
// decoded here, once each.
#include <cstdint>
#include <vector>

#include "gltf/GltfDocument.h"

// What an accessor's data is used for; decides the element and component
// types it may have.
enum EGltfUse {
    eGltfPosition,
    eGltfNormal,
    eGltfTangent,
    eGltfTexcoord,
    eGltfColour,
    eGltfJoints,
    eGltfWeights,
    eGltfIndices,
    eGltfMatrix,      // inverse bind matrices
    eGltfTime,        // animation input
    eGltfVector3,     // translation and scale output
    eGltfRotation,    // rotation output
    eGltfMorphWeight, // morph weights output (counted, never applied)
};

class CGltfAccessors {
public:
    explicit CGltfAccessors(const SGltfDocument& doc);

    // Element count of an accessor (checked: at least 1).
    size_t Count(int32_t accessor);
    // Components per element (1 to 16) after the type check for use.
    int Components(int32_t accessor, EGltfUse use);

    // count x components floats; normalised integers become [0, 1] or
    // [-1, 1], other integers their value. Throws CGltfError on any fault.
    void ReadFloats(int32_t accessor, EGltfUse use, std::vector<float>& out, int& components);
    // count x components integers (indices, joints).
    void ReadUInts(int32_t accessor, EGltfUse use, std::vector<uint32_t>& out, int& components);

    // The bytes of a buffer view (decoded when compressed).
    struct SBytes {
        const uint8_t* data = nullptr;
        size_t size = 0;
    };
    SBytes ViewBytes(int32_t view);

private:
    struct SView {
        const uint8_t* data = nullptr;
        size_t length = 0;
        size_t stride = 0;       // 0: elements tightly packed
        size_t bufferOffset = 0; // where the view starts in its buffer (alignment)
    };
    struct SLayout {
        const json* accessor = nullptr;
        int componentType = 0;
        int componentSize = 0;
        int components = 0;
        bool normalised = false;
        size_t count = 0;
        const uint8_t* data = nullptr; // first element, null without a view
        size_t stride = 0;
    };

    SView View(int32_t index);
    SView DecodeMeshopt(int32_t index, const json& view, const json& ext);
    SLayout Layout(int32_t accessor, EGltfUse use);
    // Sparse substitutions: calls set(element, source pointer) for each.
    template <typename F>
    void ForSparse(int32_t accessor, const SLayout& layout, F set);

    const SGltfDocument& m_doc;
    const json& m_accessors;
    const json& m_views;
    std::vector<std::vector<uint8_t>> m_decoded; // meshopt views by index
    std::vector<uint8_t> m_isDecoded;
};
