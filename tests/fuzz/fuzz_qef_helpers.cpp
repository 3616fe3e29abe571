// The loader and then every helper a renderer calls on what it accepts:
// each channel decoded, the triangles, world and bone matrices, cameras and
// lights at several frames.
#include <cstddef>
#include <cstdint>
#include <vector>

#include <qef/qef.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    qef_scene* s = nullptr;
    if (qef_load(data, size, nullptr, &s, nullptr) != QEF_OK)
        return 0;
    std::vector<float> values;
    std::vector<uint32_t> triangles;
    for (uint32_t i = 0; i < s->mesh_count; ++i) {
        const qef_mesh& m = s->meshes[i];
        const qef_channel* fixed[] = {&m.position, &m.normal,     &m.tangent,     &m.binormal,
                                      &m.colour,   &m.bone_index, &m.bone_weights};
        auto decode = [&](const qef_channel& c) {
            if (!c.data || !c.count)
                return;
            values.resize(size_t(c.count) * 4);
            qef_decode(&c, 0, c.count, 4, m.unpack_matrix, values.data());
        };
        for (const qef_channel* c : fixed)
            decode(*c);
        for (uint32_t t = 0; t < m.tex_coord_count; ++t)
            decode(m.tex_coords[t]);
        triangles.resize(size_t(m.triangle_count) * 3);
        qef_triangle_list(&m, triangles.data(), triangles.size());
        for (uint32_t t : triangles)
            if (t >= m.vertex_count && m.indices.data)
                __builtin_trap(); // a checked index list gives vertices only
    }
    const float last = s->frame_count ? float(s->frame_count - 1) : 0.0f;
    for (float frame : {-0.5f, 0.0f, last * 0.5f + 0.25f, last, last + 3.0f}) {
        float out[16];
        for (uint32_t n = 0; n < s->node_count && n < 64; ++n) {
            qef_world_matrix(s, n, frame, out);
            qef_bone_matrix(s, n, s->node_count - 1 - n, frame, out);
        }
        qef_view view;
        for (uint32_t c = 0; c < s->camera_count && c < 16; ++c)
            qef_camera_at(s, c, frame, &view);
        for (uint32_t l = 0; l < s->light_count && l < 16; ++l)
            qef_light_at(s, l, frame, &view);
    }
    qef_free(s);
    return 0;
}
