// The compiled part of the Python module `meshwright`: conversions through
// Convert() with the command line's option precedence, the options text, and
// scene files read into records whose vertex channels are numpy arrays. The
// package's __init__.py gives these their Python faces (results, errors).
#include <cctype>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <QString>
#include <QStringList>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/ConversionLog.h"
#include "base/ResultCodes.h"
#include "convert/Convert.h"
#include "convert/OptionArgs.h"
#include "convert/ScenePlan.h"
#include "options/Options.h"
#include "python/SceneData.h"
#include "scene/MeshTriangles.h"
#include "scene/Scene.h"
#include "scene/VertexDataTypes.h"

namespace py = pybind11;

namespace {

// Exit status of the command line for options it cannot apply.
constexpr int kResultBadOptions = 64;

// The messages of one conversion, kept for the caller (progress left out).
class CMessageList : public ILogSink {
public:
    void LogMessage(int level, const char* text) override { messages.emplace_back(level, std::string(text)); }
    void LogProgress(int, const char*) override {}

    std::vector<std::pair<int, std::string>> messages;
};

QString FromUtf8(const std::string& s)
{
    return QString::fromUtf8(s.data(), int(s.size()));
}

QStringList ToQStringList(const std::vector<std::string>& lines)
{
    QStringList out;
    for (const std::string& line : lines)
        out << FromUtf8(line);
    return out;
}

// One conversion: (code, output, written, read, messages).
py::tuple ConvertScene(const std::string& src, const std::optional<std::string>& dst,
                       const std::optional<std::string>& optionsFile, const std::vector<std::string>& optionLines,
                       const std::optional<std::string>& profile, const std::vector<std::string>& sets)
{
    SOptionArgs args;
    if (profile) {
        args.profile = FromUtf8(*profile);
        args.profileGiven = true;
    }
    if (optionsFile)
        args.file = FromUtf8(*optionsFile);
    args.fileLines = ToQStringList(optionLines);
    args.sets = ToQStringList(sets);
    for (const std::string& line : sets)
        if (line.compare(0, 11, "eExpFormat=") == 0)
            args.expFormatSet = true;

    const QString input = FromUtf8(src);
    QString output = dst ? FromUtf8(*dst) : QString();
    if (output.isEmpty())
        output = PlanScenes({input}, QString(), false, QStringLiteral("qef")).jobs.front().output;

    COptions options;
    const QString error = ApplyOptionArgs(args, options);
    CMessageList log;
    SConvertResult run;
    if (!error.isEmpty()) {
        log.messages.emplace_back(eLogError, error.toStdString());
        run.code = kResultBadOptions;
    } else {
        SetConversionOutput(options, output, args.expFormatSet, false);
        // Convert() logs to this call's own sink and records into its own
        // file trace, so other Python threads can convert meanwhile.
        py::gil_scoped_release release;
        run = Convert(src, options, &log);
    }
    const std::vector<std::string> read = FilesRead(args, input, run.files.read);
    py::list messages;
    for (const auto& m : log.messages)
        messages.append(py::make_tuple(m.first, m.second));
    return py::make_tuple(run.code, output.toStdString(), run.files.written, read, messages);
}

// The options text as (name, value) pairs in text order.
std::vector<std::pair<std::string, std::string>> TextPairs(const CZGXTString& text)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        const size_t eq = line.find('=');
        if (eq != std::string::npos)
            pairs.emplace_back(line.substr(0, eq), line.substr(eq + 1));
        start = end + 1;
    }
    return pairs;
}

// The default options: names to values, typed as the options text holds
// them (switches as bool, the float as float, numbers as int, texts as str).
py::dict DefaultOptions()
{
    const COptions defaults;
    py::dict out;
    // Typed by the name's prefix, as the options text names them: b
    // switches, f the float, s texts, the rest (e, c, ui, n) numbers; a vertex
    // attribute's entries by the part after its dot.
    for (const auto& [name, value] : TextPairs(defaults.ToText())) {
        const size_t dot = name.rfind('.');
        const std::string field = dot == std::string::npos ? name : name.substr(dot + 1);
        if (field.size() > 1 && field[0] == 'b' && std::isupper(static_cast<unsigned char>(field[1])))
            out[py::str(name)] = py::bool_(value != "0");
        else if (field.size() > 1 && field[0] == 'f' && std::isupper(static_cast<unsigned char>(field[1])))
            out[py::str(name)] = py::float_(std::stod(value));
        else if (field.size() > 1 && field[0] == 's' && std::isupper(static_cast<unsigned char>(field[1])))
            out[py::str(name)] = py::str(value);
        else
            out[py::str(name)] = py::int_(std::stoll(value));
    }
    return out;
}

// The whole options text of the defaults with the given lines applied; the
// first line no option takes is named in the error.
std::string OptionsText(const std::vector<std::string>& lines)
{
    SOptionArgs args;
    args.fileLines = ToQStringList(lines);
    COptions options;
    const QString error = ApplyOptionArgs(args, options);
    if (!error.isEmpty())
        throw py::value_error(error.toStdString());
    return options.ToText();
}

// ---- Scene files ----

// numpy's type for a plain component type; empty for the packed ones.
py::dtype DtypeOf(uint32_t type)
{
    switch (type) {
    case eZGXTFloat: return py::dtype::of<float>();
    case eZGXTInt:
    case eZGXTFixed16: return py::dtype::of<int32_t>();
    case eZGXTUInt: return py::dtype::of<uint32_t>();
    case eZGXTUShort:
    case eZGXTUShortNorm: return py::dtype::of<uint16_t>();
    case eZGXTShort:
    case eZGXTShortNorm: return py::dtype::of<int16_t>();
    case eZGXTUByte:
    case eZGXTUByteNorm:
    case eZGXTUByte4: return py::dtype::of<uint8_t>();
    case eZGXTByte:
    case eZGXTByteNorm: return py::dtype::of<int8_t>();
    default: return py::dtype();
    }
}

// A loaded scene shared by every record and array made from it.
using ScenePtr = std::shared_ptr<SScene>;

// The owner handed to numpy for a view: keeps the scene alive.
py::capsule KeepAlive(const ScenePtr& scene)
{
    return py::capsule(new ScenePtr(scene), [](void* p) { delete static_cast<ScenePtr*>(p); });
}

py::array ReadOnly(py::array a)
{
    a.attr("flags").attr("writeable") = false;
    return a;
}

class CChannel {
public:
    CChannel(ScenePtr scene, uint32_t mesh, std::string name, const SVertexChannel* channel)
        : m_scene(std::move(scene)), m_mesh(mesh), m_name(std::move(name)), m_channel(channel)
    {
    }

    const std::string& Name() const { return m_name; }
    std::string Type() const { return DataTypeName(m_channel->eType); }
    uint32_t Components() const { return m_channel->uiComponentCount; }
    uint32_t Stride() const { return m_channel->uiStride; }
    bool Interleaved() const { return Mesh().IsInterleaved(); }

    // The stored values as they are: a read-only view (no copy) for the plain
    // types, None for the packed ones (colours, DEC3N).
    py::object View() const
    {
        const SSceneMesh& mesh = Mesh();
        const SVertexChannel& c = *m_channel;
        const py::dtype dtype = DtypeOf(c.eType);
        if (!dtype || (IsPackedType(c.eType) && c.eType != eZGXTUByte4))
            return py::none();
        const uint8_t* first = nullptr;
        if (!Covers(&first))
            return py::none();
        const size_t components = c.eType == eZGXTUByte4 ? 4 : c.uiComponentCount;
        const std::vector<ssize_t> shape{ssize_t(mesh.uiVertexCount), ssize_t(components)};
        const std::vector<ssize_t> strides{ssize_t(c.uiStride), ssize_t(dtype.itemsize())};
        return ReadOnly(py::array(dtype, shape, strides, first, KeepAlive(m_scene)));
    }

    // The values as float32, one row per vertex: normalised types scaled,
    // packed colours as four values 0..1, DEC3N as three.
    py::array_t<float> Decode() const
    {
        const SSceneMesh& mesh = Mesh();
        const SVertexChannel& c = *m_channel;
        const uint8_t* first = nullptr;
        if (!Covers(&first))
            throw py::value_error("the channel '" + m_name + "' does not hold every vertex");
        const size_t n = mesh.uiVertexCount;
        const uint32_t values = IsPackedType(c.eType) ? ValuesPerElement(c.eType) : c.uiComponentCount;
        py::array_t<float> out({ssize_t(n), ssize_t(values)});
        float* dst = out.mutable_data();
        const uint32_t size = ComponentSize(c.eType);
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* element = first + i * c.uiStride;
            if (values <= 4) {
                float v[4];
                ReadVertex(v, element, c.eType, values);
                std::memcpy(dst + i * values, v, values * sizeof(float));
            } else {
                for (uint32_t k = 0; k < values; ++k)
                    dst[i * values + k] = ReadComponent(element + k * size, c.eType);
            }
        }
        return out;
    }

private:
    const SSceneMesh& Mesh() const { return m_scene->pMeshes[m_mesh]; }

    // Whether the bytes hold every vertex's element; *first is the first.
    bool Covers(const uint8_t** first) const
    {
        const SSceneMesh& mesh = Mesh();
        const SVertexChannel& c = *m_channel;
        if (!IsValidDataType(c.eType) || ComponentSize(c.eType) == 0 || mesh.uiVertexCount == 0)
            return false;
        const bool interleaved = mesh.IsInterleaved();
        const std::vector<uint8_t>& bytes = interleaved ? mesh.pVertexBlock : c.pData;
        const size_t base = interleaved ? c.uiOffset : 0;
        const size_t element = ElementSize(c);
        if (c.uiStride == 0 || base + (mesh.uiVertexCount - 1) * size_t(c.uiStride) + element > bytes.size())
            return false;
        *first = bytes.data() + base;
        return true;
    }

    ScenePtr m_scene;
    uint32_t m_mesh;
    std::string m_name;
    const SVertexChannel* m_channel;
};

py::array_t<float> MatrixArray(const SMatrix44& m)
{
    py::array_t<float> out({4, 4});
    std::memcpy(out.mutable_data(), m.data(), sizeof(float) * 16);
    return out;
}

class CMesh {
public:
    CMesh(ScenePtr scene, uint32_t index) : m_scene(std::move(scene)), m_index(index) {}

    uint32_t VertexCount() const { return Mesh().uiVertexCount; }
    uint32_t TriangleCount() const { return Mesh().uiTriangleCount; }
    py::array_t<float> UnpackMatrix() const { return MatrixArray(Mesh().fUnpackMatrix); }

    // The channels present, by name, in file order.
    py::dict Channels() const
    {
        const SSceneMesh& mesh = Mesh();
        py::dict out;
        auto add = [&](const std::string& name, const SVertexChannel& c) {
            if (c.IsPresent())
                out[py::str(name)] = CChannel(m_scene, m_index, name, &c);
        };
        add("position", mesh.sPosition);
        add("normal", mesh.sNormal);
        add("tangent", mesh.sTangent);
        add("binormal", mesh.sBinormal);
        for (size_t i = 0; i < mesh.psTexCoord.size(); ++i)
            add("uv" + std::to_string(i), mesh.psTexCoord[i]);
        add("colour", mesh.sColour);
        add("bone_index", mesh.sBoneIndex);
        add("bone_weight", mesh.sBoneWeights);
        return out;
    }

    // The triangles as rows of three vertex indices, from a list or strips.
    py::array_t<uint32_t> Indices() const
    {
        const std::vector<uint32_t> list = TriangleList(Mesh());
        py::array_t<uint32_t> out({ssize_t(list.size() / 3), ssize_t(3)});
        std::memcpy(out.mutable_data(), list.data(), (list.size() / 3) * 3 * sizeof(uint32_t));
        return out;
    }

    // Positions as float32 with the unpack matrix applied.
    py::array_t<float> Positions() const
    {
        const SSceneMesh& mesh = Mesh();
        if (!mesh.sPosition.IsPresent())
            return py::array_t<float>(std::vector<ssize_t>{0, 3});
        py::array_t<float> decoded = CChannel(m_scene, m_index, "position", &mesh.sPosition).Decode();
        const ssize_t n = decoded.shape(0), w = decoded.shape(1);
        py::array_t<float> out({n, ssize_t(3)});
        const float* in = decoded.data();
        float* dst = out.mutable_data();
        const SMatrix44& m = mesh.fUnpackMatrix;
        for (ssize_t i = 0; i < n; ++i) {
            float p[3] = {0, 0, 0};
            for (ssize_t k = 0; k < std::min<ssize_t>(w, 3); ++k)
                p[k] = in[i * w + k];
            for (int c = 0; c < 3; ++c)
                dst[i * 3 + c] = p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + m[12 + c];
        }
        return out;
    }

private:
    const SSceneMesh& Mesh() const { return m_scene->pMeshes[m_index]; }

    ScenePtr m_scene;
    uint32_t m_index;
};

const char* NodeKind(const SScene& scene, size_t node)
{
    const size_t meshes = scene.uiMeshNodeCount, lights = scene.pLights.size(), cameras = scene.pCameras.size();
    if (node < meshes)
        return "mesh";
    if (node < meshes + lights)
        return "light";
    if (node < meshes + lights + cameras)
        return "camera";
    return "node";
}

const char* LightType(uint32_t type)
{
    switch (type) {
    case eLightPoint: return "point";
    case eLightDirectional: return "directional";
    case eLightSpot: return "spot";
    default: return "unknown";
    }
}

py::tuple Triple(const float v[3])
{
    return py::make_tuple(v[0], v[1], v[2]);
}

// The scene as plain Python records, the vertex channels as arrays.
py::dict LoadScene(py::object source)
{
    std::string error;
    ScenePtr scene;
    if (py::isinstance<py::bytes>(source) || py::isinstance<py::bytearray>(source) ||
        py::isinstance<py::memoryview>(source)) {
        const std::string held = py::bytes(py::module_::import("builtins").attr("bytes")(source));
        const std::vector<uint8_t> bytes(held.begin(), held.end());
        py::gil_scoped_release release;
        scene = ReadSceneData(nullptr, bytes, &error);
    } else {
        const std::string path = py::str(py::module_::import("os").attr("fspath")(source));
        py::gil_scoped_release release;
        scene = ReadSceneData(&path, {}, &error);
    }
    if (!scene)
        throw py::value_error(error);

    py::dict out;
    out["frame_count"] = scene->uiFrameCount;
    out["frames_per_second"] = scene->uiFramesPerSecond;
    out["background"] = Triple(scene->fBackgroundRGB);
    out["ambient"] = Triple(scene->fAmbientRGB);
    py::list nodes;
    for (size_t i = 0; i < scene->pNodes.size(); ++i) {
        const SSceneNode& n = scene->pNodes[i];
        py::dict node;
        node["index"] = i;
        node["name"] = n.pszName;
        node["parent"] = n.nParentIdx;
        node["kind"] = NodeKind(*scene, i);
        node["content"] = n.nContentIdx;
        node["material"] = n.nMaterialIdx;
        nodes.append(node);
    }
    out["nodes"] = nodes;
    py::list meshes;
    for (size_t i = 0; i < scene->pMeshes.size(); ++i)
        meshes.append(CMesh(scene, uint32_t(i)));
    out["meshes"] = meshes;
    py::list textures;
    for (const SSceneTexture& t : scene->pTextures)
        textures.append(t.pszName);
    out["textures"] = textures;
    py::list materials;
    for (const SSceneMaterial& m : scene->pMaterials) {
        py::dict material;
        material["name"] = m.pszName;
        material["diffuse"] = Triple(m.fDiffuse);
        material["ambient"] = Triple(m.fAmbient);
        material["specular"] = Triple(m.fSpecular);
        material["shininess"] = m.fShininess;
        material["opacity"] = m.fOpacity;
        material["diffuse_texture"] = m.nDiffuseTexture;
        material["effect_file"] = m.pszEffectFileName;
        material["effect"] = m.pszEffectLabel;
        py::list textureSlots;
        for (int s = 0; s < SSceneMaterial::kTextureSlots; ++s)
            textureSlots.append(m.TextureSlot(s));
        material["texture_slots"] = textureSlots;
        materials.append(material);
    }
    out["materials"] = materials;
    py::list cameras;
    for (const SSceneCamera& c : scene->pCameras) {
        py::dict camera;
        camera["target"] = c.nTargetIdx;
        camera["field_of_view"] = c.fFieldOfView;
        camera["near"] = c.fNearClip;
        camera["far"] = c.fFarClip;
        cameras.append(camera);
    }
    out["cameras"] = cameras;
    py::list lights;
    for (const SSceneLight& l : scene->pLights) {
        py::dict light;
        light["target"] = l.nTargetIdx;
        light["type"] = LightType(l.eType);
        light["colour"] = Triple(l.fColour);
        light["attenuation"] = py::make_tuple(l.fConstantAttenuation, l.fLinearAttenuation, l.fQuadraticAttenuation);
        light["falloff_angle"] = l.fFalloffAngle;
        light["falloff_exponent"] = l.fFalloffExponent;
        lights.append(light);
    }
    out["lights"] = lights;
    // World matrices at any frame, through the scene's own evaluation.
    out["world_matrices"] = py::cpp_function([scene](float frame) {
        SelectFrame(*scene, frame);
        const size_t n = scene->pNodes.size();
        py::array_t<float> m({ssize_t(n), ssize_t(4), ssize_t(4)});
        for (size_t i = 0; i < n; ++i) {
            const SMatrix44 w = WorldMatrixAt(*scene, uint32_t(i));
            std::memcpy(m.mutable_data() + i * 16, w.data(), sizeof(float) * 16);
        }
        return m;
    });
    return out;
}

} // namespace

PYBIND11_MODULE(_meshwright, m)
{
    m.doc() = "The compiled part of meshwright; use the meshwright package.";
    m.def("convert", &ConvertScene);
    m.def("default_options", &DefaultOptions);
    m.def("options_text", &OptionsText);
    m.def("load", &LoadScene);
    m.attr("RESULT_BAD_OPTIONS") = kResultBadOptions;

    py::class_<CChannel>(m, "Channel", "One vertex channel of a mesh (positions, normals, a UV set...).")
        .def_property_readonly("name", &CChannel::Name,
                               "The channel's name: position, normal, tangent, binormal, "
                               "uv0..uv7, colour, bone_index, bone_weight.")
        .def_property_readonly("type", &CChannel::Type, "The stored type: float, short, RGBA, DEC3N...")
        .def_property_readonly("components", &CChannel::Components, "Components per vertex as stored.")
        .def_property_readonly("stride", &CChannel::Stride, "Bytes from one vertex's element to the next.")
        .def_property_readonly("interleaved", &CChannel::Interleaved,
                               "Whether the channel lives in the mesh's interleaved vertex block.")
        .def_property_readonly("view", &CChannel::View,
                               "The stored values as a read-only numpy array of shape (vertices, components), "
                               "a view without a copy; None for the packed types (colours, DEC3N), which "
                               "decode() reads. Normalised types show their stored integers.")
        .def("decode", &CChannel::Decode,
             "The values as a new float32 array of shape (vertices, values): normalised types scaled, "
             "packed colours as four values from 0 to 1, DEC3N as three.")
        .def("__repr__", [](const CChannel& c) {
            return "<Channel " + c.Name() + ": " + std::to_string(c.Components()) + " x " + c.Type() + ">";
        });
    py::class_<CMesh>(m, "Mesh", "One mesh of a scene file.")
        .def_property_readonly("vertex_count", &CMesh::VertexCount, "Vertices of the mesh.")
        .def_property_readonly("triangle_count", &CMesh::TriangleCount, "Triangles of the mesh.")
        .def_property_readonly("unpack_matrix", &CMesh::UnpackMatrix,
                               "The 4x4 float32 matrix that takes stored positions to model space.")
        .def_property_readonly("channels", &CMesh::Channels, "The channels present: a dict of name to Channel.")
        .def_property_readonly("indices", &CMesh::Indices,
                               "The triangles as a (triangles, 3) uint32 array, whether the file stores a "
                               "list or strips, 16- or 32-bit indices.")
        .def("positions", &CMesh::Positions,
             "The positions as a (vertices, 3) float32 array in model space (the unpack matrix applied).")
        .def("__repr__", [](const CMesh& mesh) {
            return "<Mesh: " + std::to_string(mesh.VertexCount()) + " vertices, " +
                   std::to_string(mesh.TriangleCount()) + " triangles>";
        });
}
