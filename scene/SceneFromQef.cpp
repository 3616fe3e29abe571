#include "scene/SceneFromQef.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/ConversionLog.h"
#include "qef/SceneFileFormat.h"
#include "scene/Scene.h"

namespace {

constexpr char kByteOrderMessage[] = "Error: Endianness mismatch between the .qef file and the platform.";
constexpr char kFixedPointMessage[] =
    "Error: The QEF file is in fixed point format but the tools haven't been compiled with fixed point enabled.";

template <class T>
std::vector<T> Array(const void* data, size_t count)
{
    static_assert(sizeof(T) == 4, "32-bit values only");
    std::vector<T> out(data ? count : 0);
    for (size_t i = 0; i < out.size(); ++i) {
        const uint32_t v = qef_u32(data, i);
        std::memcpy(&out[i], &v, 4);
    }
    return out;
}

std::vector<uint8_t> Bytes(const void* data, size_t size)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    return p ? std::vector<uint8_t>(p, p + size) : std::vector<uint8_t>();
}

// Little-endian components of the given size to host order.
void ToHostOrder(uint8_t* p, size_t bytes, uint32_t componentSize)
{
    if (qef::kHostLittleEndian || componentSize < 2)
        return;
    for (size_t i = 0; i + componentSize <= bytes; i += componentSize)
        for (uint32_t a = 0, b = componentSize - 1; a < b; ++a, --b)
            std::swap(p[i + a], p[i + b]);
}

SVertexChannel Channel(const qef_channel& c, bool interleaved)
{
    SVertexChannel out;
    out.eType = static_cast<EZGXTDataType>(c.type);
    out.uiComponentCount = c.components;
    out.uiStride = c.stride;
    if (interleaved) {
        out.uiOffset = c.offset;
    } else if (c.data) {
        const size_t bytes = size_t(c.stride) * c.count;
        out.pData = Bytes(c.data, bytes);
        ToHostOrder(out.pData.data(), bytes, ComponentSize(c.type));
    }
    return out;
}

} // namespace

bool BuildSceneFromQef(const qef_scene& q, SScene* scene)
{
    try {
        SScene s;
        std::memcpy(s.fBackgroundRGB, q.background, sizeof(s.fBackgroundRGB));
        std::memcpy(s.fAmbientRGB, q.ambient, sizeof(s.fAmbientRGB));
        s.uiMeshNodeCount = q.mesh_node_count;
        s.uiFrameCount = q.frame_count;
        s.uiFramesPerSecond = q.frames_per_second;
        s.uiFlags = q.flags;
        s.pUserData = Bytes(q.user_data, q.user_data_size);
        for (uint32_t i = 0; i < q.camera_count; ++i) {
            const qef_camera& c = q.cameras[i];
            SSceneCamera camera;
            camera.nTargetIdx = c.target;
            camera.fFieldOfView = c.field_of_view;
            camera.fFarClip = c.far_clip;
            camera.fNearClip = c.near_clip;
            camera.pfFieldOfViewKeys = Array<float>(c.field_of_view_keys, c.field_of_view_key_count);
            s.pCameras.push_back(std::move(camera));
        }
        for (uint32_t i = 0; i < q.light_count; ++i) {
            const qef_light& l = q.lights[i];
            SSceneLight light;
            light.nTargetIdx = l.target;
            std::memcpy(light.fColour, l.colour, sizeof(light.fColour));
            light.eType = l.type;
            light.fConstantAttenuation = l.constant_attenuation;
            light.fLinearAttenuation = l.linear_attenuation;
            light.fQuadraticAttenuation = l.quadratic_attenuation;
            light.fFalloffAngle = l.falloff_angle;
            light.fFalloffExponent = l.falloff_exponent;
            s.pLights.push_back(light);
        }
        for (uint32_t i = 0; i < q.mesh_count; ++i) {
            const qef_mesh& m = q.meshes[i];
            const bool interleaved = m.vertex_block != nullptr;
            SSceneMesh mesh;
            mesh.uiVertexCount = m.vertex_count;
            mesh.uiTriangleCount = m.triangle_count;
            mesh.sIndexData = Channel(m.indices, false);
            mesh.puiStripTriangles = Array<uint32_t>(m.strip_triangles, m.strip_count);
            mesh.sPosition = Channel(m.position, interleaved);
            mesh.sNormal = Channel(m.normal, interleaved);
            mesh.sTangent = Channel(m.tangent, interleaved);
            mesh.sBinormal = Channel(m.binormal, interleaved);
            for (uint32_t t = 0; t < m.tex_coord_count; ++t)
                mesh.psTexCoord.push_back(Channel(m.tex_coords[t], interleaved));
            mesh.sColour = Channel(m.colour, interleaved);
            mesh.sBoneIndex = Channel(m.bone_index, interleaved);
            mesh.sBoneWeights = Channel(m.bone_weights, interleaved);
            if (interleaved) {
                mesh.pVertexBlock = Bytes(m.vertex_block, size_t(m.vertex_stride) * m.vertex_count);
                for (const SVertexChannel* c : VertexChannels(mesh))
                    if (c->IsPresent())
                        for (uint32_t v = 0; v < m.vertex_count; ++v)
                            ToHostOrder(mesh.pVertexBlock.data() + size_t(v) * m.vertex_stride + c->uiOffset,
                                        ElementSize(*c), ComponentSize(c->eType));
            }
            mesh.puiBatchBoneList = Array<uint32_t>(m.batch_bone_list, size_t(m.batch_capacity) * m.batch_count);
            mesh.puiBatchBoneTotals = Array<uint32_t>(m.batch_bone_totals, m.batch_count);
            mesh.puiBatchStartTriangle = Array<uint32_t>(m.batch_start_triangle, m.batch_count);
            mesh.uiBatchCapacity = m.batch_capacity;
            mesh.uiBatchCount = m.batch_count;
            std::memcpy(mesh.fUnpackMatrix.data(), m.unpack_matrix, sizeof(m.unpack_matrix));
            s.pMeshes.push_back(std::move(mesh));
        }
        for (uint32_t i = 0; i < q.node_count; ++i) {
            const qef_node& n = q.nodes[i];
            SSceneNode node;
            node.nContentIdx = n.content;
            node.pszName = n.name ? n.name : "";
            node.nMaterialIdx = n.material;
            node.nParentIdx = n.parent;
            node.uiAnimMask = n.anim_mask;
            node.puiPositionKeyIdx = Array<uint32_t>(n.position.frame_index, n.position.frame_index_count);
            node.pfPositionKeys = Array<float>(n.position.keys, n.position.key_count);
            node.puiRotationKeyIdx = Array<uint32_t>(n.rotation.frame_index, n.rotation.frame_index_count);
            node.pfRotationKeys = Array<float>(n.rotation.keys, n.rotation.key_count);
            node.puiScaleKeyIdx = Array<uint32_t>(n.scale.frame_index, n.scale.frame_index_count);
            node.pfScaleKeys = Array<float>(n.scale.keys, n.scale.key_count);
            node.puiMatrixKeyIdx = Array<uint32_t>(n.matrix.frame_index, n.matrix.frame_index_count);
            node.pfMatrixKeys = Array<float>(n.matrix.keys, n.matrix.key_count);
            node.pUserData = Bytes(n.user_data, n.user_data_size);
            s.pNodes.push_back(std::move(node));
        }
        for (uint32_t i = 0; i < q.texture_count; ++i)
            s.pTextures.push_back({q.textures[i].name ? q.textures[i].name : ""});
        for (uint32_t i = 0; i < q.material_count; ++i) {
            const qef_material& m = q.materials[i];
            SSceneMaterial material;
            material.pszName = m.name ? m.name : "";
            for (int t = 0; t < SSceneMaterial::kTextureSlots; ++t)
                material.TextureSlot(t) = m.textures[t];
            material.fOpacity = m.opacity;
            std::memcpy(material.fAmbient, m.ambient, sizeof(material.fAmbient));
            std::memcpy(material.fDiffuse, m.diffuse, sizeof(material.fDiffuse));
            std::memcpy(material.fSpecular, m.specular, sizeof(material.fSpecular));
            material.fShininess = m.shininess;
            material.pszEffectFileName = m.effect_file_name ? m.effect_file_name : "";
            material.pszEffectLabel = m.effect_label ? m.effect_label : "";
            material.eSrcColourFactor = m.src_colour_factor;
            material.eSrcAlphaFactor = m.src_alpha_factor;
            material.eDstColourFactor = m.dst_colour_factor;
            material.eDstAlphaFactor = m.dst_alpha_factor;
            material.eColourBlendOp = m.colour_blend_op;
            material.eAlphaBlendOp = m.alpha_blend_op;
            std::memcpy(material.fConstantBlendColour, m.constant_blend_colour, sizeof(material.fConstantBlendColour));
            std::memcpy(material.fBlendFactorRGBA, m.blend_factor, sizeof(material.fBlendFactorRGBA));
            material.uiMaterialFlags = m.flags;
            material.pUserData = Bytes(m.user_data, m.user_data_size);
            s.pMaterials.push_back(std::move(material));
        }
        *scene = std::move(s);
        return CreateAnimCache(*scene) == 0;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool LoadSceneFromBytes(const void* data, size_t size, SScene* scene, CZGXTString* options, CZGXTString* history,
                        CZGXTString* error, uint32_t optionsMax, uint32_t historyMax)
{
    qef_scene* loaded = nullptr;
    qef_error why;
    const qef_result result = qef_load(data, size, nullptr, &loaded, &why);
    if (result != QEF_OK) {
        // Two refusals have always had texts of their own.
        const char* fixed = result == QEF_WRONG_BYTE_ORDER ? kByteOrderMessage
                            : result == QEF_FIXED_POINT    ? kFixedPointMessage
                                                           : nullptr;
        if (error)
            *error = fixed ? fixed : why.message;
        else if (fixed)
            DebugOutput("%s", fixed);
        return false;
    }
    if (options && loaded->options_text)
        options->assign(loaded->options_text, std::min(loaded->options_text_size, optionsMax));
    if (history && loaded->history_text)
        history->assign(loaded->history_text, std::min(loaded->history_text_size, historyMax));
    const bool ok = !scene || BuildSceneFromQef(*loaded, scene);
    qef_free(loaded);
    if (!ok && error)
        *error = "out of memory while building the scene";
    return ok;
}
