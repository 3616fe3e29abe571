// KHR_draco_mesh_compression: a primitive's vertices and triangles decoded
// with Draco (Debian's libdraco).
#include <draco/compression/decode.h>
#include <draco/mesh/mesh.h>

#include "gltf/GltfPrimitive.h"

namespace {

// The decoded attribute the extension maps name to, or null when it names
// none. Throws when it names an id the stream does not hold.
const draco::PointAttribute* Attribute(const draco::Mesh& mesh, const json& attributes, const std::string& name,
                                       const std::string& what)
{
    const int64_t id = GltfInt(attributes, name.c_str(), -1, 0, INT32_MAX, what + ".attributes." + name);
    if (id < 0)
        return nullptr;
    const draco::PointAttribute* a = mesh.GetAttributeByUniqueId(uint32_t(id));
    if (!a)
        GltfFail("%s.attributes.%s names attribute %lld, which the stream does not hold", what.c_str(), name.c_str(),
                 static_cast<long long>(id));
    return a;
}

// components values per point, converted to T; missing components are 0.
template <typename T>
void Read(const draco::Mesh& mesh, const draco::PointAttribute& a, int components, std::vector<T>& out)
{
    const size_t points = mesh.num_points();
    out.assign(points * size_t(components), T(0));
    const int8_t available = std::min<int8_t>(a.num_components(), int8_t(components));
    for (size_t p = 0; p < points; ++p)
        a.ConvertValue<T>(a.mapped_index(draco::PointIndex(uint32_t(p))), available, &out[p * size_t(components)]);
}

} // namespace

void DecodeDracoPrimitive(const uint8_t* bytes, size_t size, const json& extension, const std::string& what,
                          const SGltfPrimitiveWants& wants, SGltfPrimitiveData& data)
{
    const json* attributes = GltfObject(extension, "attributes", what + ".attributes");
    if (!attributes)
        GltfFail("%s has no attributes", what.c_str());
    draco::DecoderBuffer buffer;
    buffer.Init(reinterpret_cast<const char*>(bytes), size);
    draco::Decoder decoder;
    auto decoded = decoder.DecodeMeshFromBuffer(&buffer);
    if (!decoded.ok() || !decoded.value())
        GltfFail("%s cannot be decoded (Draco: %s)", what.c_str(),
                 decoded.ok() ? "no mesh" : decoded.status().error_msg());
    const draco::Mesh& mesh = *decoded.value();

    const draco::PointAttribute* position = Attribute(mesh, *attributes, "POSITION", what);
    if (!position)
        GltfFail("%s has no POSITION", what.c_str());
    Read(mesh, *position, 3, data.positions);
    if (const draco::PointAttribute* normal = Attribute(mesh, *attributes, "NORMAL", what))
        Read(mesh, *normal, 3, data.normals);
    if (wants.colours)
        if (const draco::PointAttribute* colour = Attribute(mesh, *attributes, "COLOR_0", what)) {
            data.colourComponents = colour->num_components() >= 4 ? 4 : 3;
            Read(mesh, *colour, data.colourComponents, data.colours);
            // Integer colours are normalised in glTF.
            if (colour->data_type() == draco::DT_UINT8 || colour->data_type() == draco::DT_UINT16) {
                const float scale = colour->data_type() == draco::DT_UINT8 ? 255.0f : 65535.0f;
                for (float& c : data.colours)
                    c /= scale;
            }
        }
    for (int s = 0; s < wants.uvSets; ++s) {
        const draco::PointAttribute* uv = Attribute(mesh, *attributes, "TEXCOORD_" + std::to_string(s), what);
        if (!uv)
            break;
        data.uvs.emplace_back();
        Read(mesh, *uv, 2, data.uvs.back());
    }
    for (int set = 0; wants.skin && set < 2; ++set) {
        const draco::PointAttribute* j = Attribute(mesh, *attributes, "JOINTS_" + std::to_string(set), what);
        const draco::PointAttribute* w = Attribute(mesh, *attributes, "WEIGHTS_" + std::to_string(set), what);
        if (!j || !w)
            continue;
        Read(mesh, *j, 4, data.joints[set]);
        Read(mesh, *w, 4, data.weights[set]);
    }
    data.indexed = true;
    data.indices.reserve(size_t(mesh.num_faces()) * 3);
    for (draco::FaceIndex f(0); f < mesh.num_faces(); ++f)
        for (int c = 0; c < 3; ++c)
            data.indices.push_back(mesh.face(f)[c].value());
}
