/*
 * A small engine: draws a Meshwright scene with OpenGL 3.3, lit by one
 * directional light (the scene's first, else a white one), skinned by bone
 * batches and animated, using nothing of Meshwright but its loader (libqef).
 * The camera frames the scene's bounding box at the frame drawn.
 *
 *   engine SCENE.qef [--frame F] [--screenshot OUT.png --size WxH]
 *
 * Without --screenshot it opens a window and plays the animation (Escape
 * closes it); with it, it draws frame F once into an off-screen framebuffer of
 * that size and writes it as a PNG file.
 *
 * Built with ENGINE_EMBEDDED_HEADER, the scene is compiled in as the array of
 * a generated header (meshwright-cli convert scene.dae -o scene.h) and loaded
 * from memory; built with ENGINE_DEFAULT_SCENE, a generated scene.cpp that is
 * linked in registers "scene.qef" at start-up and qef_load_file finds it by
 * that name before looking on disk.
 *
 * Exit status: 0 drawn, 1 the scene was refused or cannot be drawn (a bone
 * batch larger than this engine's palette), 2 no OpenGL 3.3 window,
 * 3 the picture was not written, 64 wrong arguments.
 */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <epoxy/gl.h>
#include <GLFW/glfw3.h>
#include <png.h>

#include <qef/qef.h>

#ifdef ENGINE_EMBEDDED_HEADER
#include "scene.h" /* static const unsigned int _scene_qef[]; static int _scene_qef_size */
#endif

/* The largest bone batch palette the shader holds (meshwright-cli's
 * uiBoneLimit, 9 by default, must not exceed it). */
#define ENGINE_MAX_BONES 56

/* ---- Matrices: row vectors, translation in elements 12 to 14, as the
 * loader gives them. Their bytes are also what OpenGL reads as a
 * column-major matrix that multiplies column vectors, so they are uploaded
 * as they are and the shaders write matrix * vector. */

static void mat_identity(float m[16])
{
    memset(m, 0, 16 * sizeof(float));
    m[0] = m[5] = m[10] = m[15] = 1.0f;
}

/* out = a x b: a applies first. */
static void mat_mul(float out[16], const float a[16], const float b[16])
{
    float r[16];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r[i * 4 + j] =
                a[i * 4] * b[j] + a[i * 4 + 1] * b[4 + j] + a[i * 4 + 2] * b[8 + j] + a[i * 4 + 3] * b[12 + j];
    memcpy(out, r, sizeof r);
}

static void transform_point(const float m[16], const float p[3], float out[3])
{
    float r[3];
    for (int j = 0; j < 3; ++j)
        r[j] = p[0] * m[j] + p[1] * m[4 + j] + p[2] * m[8 + j] + m[12 + j];
    memcpy(out, r, sizeof r);
}

static void normalise(float v[3])
{
    const float length = sqrtf(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length > 0.0f) {
        v[0] /= length;
        v[1] /= length;
        v[2] /= length;
    }
}

static void cross(const float a[3], const float b[3], float out[3])
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

/* A camera at eye looking at target, then a perspective projection. */
static void view_projection(const float eye[3], const float target[3], float fov_y, float aspect, float near_clip,
                            float far_clip, float out[16])
{
    float f[3] = {target[0] - eye[0], target[1] - eye[1], target[2] - eye[2]}, s[3], u[3];
    const float up[3] = {0.0f, 1.0f, 0.0f};
    normalise(f);
    cross(f, up, s);
    normalise(s);
    cross(s, f, u);
    float view[16], projection[16];
    mat_identity(view);
    for (int r = 0; r < 3; ++r) {
        view[r * 4 + 0] = s[r];
        view[r * 4 + 1] = u[r];
        view[r * 4 + 2] = -f[r];
    }
    view[12] = -(s[0] * eye[0] + s[1] * eye[1] + s[2] * eye[2]);
    view[13] = -(u[0] * eye[0] + u[1] * eye[1] + u[2] * eye[2]);
    view[14] = f[0] * eye[0] + f[1] * eye[1] + f[2] * eye[2];
    const float g = 1.0f / tanf(fov_y / 2.0f);
    memset(projection, 0, sizeof projection);
    projection[0] = g / aspect;
    projection[5] = g;
    projection[10] = (far_clip + near_clip) / (near_clip - far_clip);
    projection[11] = -1.0f;
    projection[14] = 2.0f * far_clip * near_clip / (near_clip - far_clip);
    mat_mul(out, view, projection);
}

/* ---- The scene on the GPU ---------------------------------------------- */

typedef struct vertex {
    float position[3];
    float normal[3];
    float bones[4];   /* places in the batch's palette */
    float weights[4]; /* 0 where the vertex has fewer influences */
} vertex;

typedef struct gpu_mesh {
    GLuint array, vertex_buffer, index_buffer;
    vertex* vertices; /* kept for the bounds of the animated scene */
    uint32_t* indices;
    uint32_t index_count;
    int skinned;
} gpu_mesh;

/* Reads up to four values per element of a channel into a zeroed float[4]
 * per vertex (the decode helper fills missing places with (0, 0, 0, 1),
 * which suits positions but not bone weights). */
static int decode4(const qef_channel* channel, uint32_t count, float (*out)[4])
{
    const uint32_t values = channel->components * qef_values_per_element(channel->type);
    const uint32_t kept = values < 4 ? values : 4;
    float* tmp = (float*)malloc((size_t)count * kept * sizeof(float) + 1);
    if (!tmp || qef_decode(channel, 0, count, kept, NULL, tmp) != QEF_OK) {
        free(tmp);
        return 0;
    }
    for (uint32_t i = 0; i < count; ++i)
        for (uint32_t k = 0; k < 4; ++k)
            out[i][k] = k < kept ? tmp[(size_t)i * kept + k] : 0.0f;
    free(tmp);
    return 1;
}

static int upload_mesh(const qef_mesh* mesh, gpu_mesh* out)
{
    const uint32_t n = mesh->vertex_count;
    memset(out, 0, sizeof *out);
    if (mesh->triangle_count > UINT32_MAX / 3)
        return 0;
    out->index_count = mesh->triangle_count * 3;
    out->vertices = (vertex*)calloc((size_t)n + 1, sizeof(vertex));
    out->indices = (uint32_t*)malloc((size_t)out->index_count * sizeof(uint32_t) + 1);
    float(*values)[4] = (float(*)[4])malloc(((size_t)n + 1) * sizeof *values);
    if (!out->vertices || !out->indices || !values)
        goto fail;
    /* Strips or a list, 16- or 32-bit: one triangle list of 32-bit indices. */
    if (qef_triangle_list(mesh, out->indices, out->index_count) != QEF_OK)
        goto fail;
    for (uint32_t i = 0; i < out->index_count; ++i)
        if (out->indices[i] >= n)
            goto fail;
    /* Positions through the mesh's unpack matrix, into model space. */
    float(*positions)[3] = (float(*)[3])values;
    if (n && qef_decode(&mesh->position, 0, n, 3, mesh->unpack_matrix, &positions[0][0]) != QEF_OK)
        goto fail;
    for (uint32_t i = 0; i < n; ++i)
        memcpy(out->vertices[i].position, positions[i], sizeof positions[i]);
    if (mesh->normal.data) {
        if (n && qef_decode(&mesh->normal, 0, n, 3, NULL, &positions[0][0]) != QEF_OK)
            goto fail;
        for (uint32_t i = 0; i < n; ++i)
            memcpy(out->vertices[i].normal, positions[i], sizeof positions[i]);
    } else {
        /* No normals in the file: each vertex takes the sum of its faces'. */
        for (uint32_t t = 0; t + 2 < out->index_count; t += 3) {
            vertex* v[3] = {&out->vertices[out->indices[t]], &out->vertices[out->indices[t + 1]],
                            &out->vertices[out->indices[t + 2]]};
            float e1[3], e2[3], face[3];
            for (int k = 0; k < 3; ++k) {
                e1[k] = v[1]->position[k] - v[0]->position[k];
                e2[k] = v[2]->position[k] - v[0]->position[k];
            }
            cross(e1, e2, face);
            for (int c = 0; c < 3; ++c)
                for (int k = 0; k < 3; ++k)
                    v[c]->normal[k] += face[k];
        }
    }
    out->skinned = mesh->bone_index.data && mesh->bone_weights.data;
    if (out->skinned) {
        if (!decode4(&mesh->bone_index, n, values))
            goto fail;
        for (uint32_t i = 0; i < n; ++i)
            memcpy(out->vertices[i].bones, values[i], sizeof values[i]);
        if (!decode4(&mesh->bone_weights, n, values))
            goto fail;
        for (uint32_t i = 0; i < n; ++i)
            memcpy(out->vertices[i].weights, values[i], sizeof values[i]);
    }
    free(values);

    glGenVertexArrays(1, &out->array);
    glBindVertexArray(out->array);
    glGenBuffers(1, &out->vertex_buffer);
    glBindBuffer(GL_ARRAY_BUFFER, out->vertex_buffer);
    glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)(n * sizeof(vertex)), out->vertices, GL_STATIC_DRAW);
    glGenBuffers(1, &out->index_buffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, out->index_buffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, (GLsizeiptr)(out->index_count * sizeof(uint32_t)), out->indices,
                 GL_STATIC_DRAW);
    const GLsizei stride = (GLsizei)sizeof(vertex);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, (const void*)offsetof(vertex, position));
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, (const void*)offsetof(vertex, normal));
    glVertexAttribPointer(2, 4, GL_FLOAT, GL_FALSE, stride, (const void*)offsetof(vertex, bones));
    glVertexAttribPointer(3, 4, GL_FLOAT, GL_FALSE, stride, (const void*)offsetof(vertex, weights));
    for (GLuint a = 0; a < 4; ++a)
        glEnableVertexAttribArray(a);
    glBindVertexArray(0);
    return 1;
fail:
    free(values);
    return 0;
}

/* The bone batches of a mesh: batch b draws triangles first .. end - 1 with
 * palette bones[0 .. count - 1] (node indices). A skinned mesh without a
 * batch table indexes the scene's nodes directly. */
typedef struct batch {
    uint32_t first, end, count;
    uint32_t bones[ENGINE_MAX_BONES];
} batch;

static int mesh_batch(const qef_scene* scene, const qef_mesh* mesh, uint32_t b, batch* out)
{
    if (mesh->batch_count == 0) {
        out->first = 0;
        out->end = mesh->triangle_count;
        out->count = scene->node_count < ENGINE_MAX_BONES ? scene->node_count : ENGINE_MAX_BONES;
        for (uint32_t i = 0; i < out->count; ++i)
            out->bones[i] = i;
        return 1;
    }
    out->first = qef_u32(mesh->batch_start_triangle, b);
    out->end = b + 1 < mesh->batch_count ? qef_u32(mesh->batch_start_triangle, b + 1) : mesh->triangle_count;
    out->count = qef_u32(mesh->batch_bone_totals, b);
    if (out->count > ENGINE_MAX_BONES || out->first > out->end || out->end > mesh->triangle_count) {
        fprintf(stderr, "engine: bone batch %u has %u bones; this engine holds at most %d\n", b, out->count,
                ENGINE_MAX_BONES);
        return 0;
    }
    for (uint32_t i = 0; i < out->count; ++i)
        out->bones[i] = qef_u32(mesh->batch_bone_list, (size_t)b * mesh->batch_capacity + i);
    return 1;
}

/* The skinning matrices of a batch's palette for mesh node `node` at a frame. */
static int batch_palette(const qef_scene* scene, uint32_t node, const batch* batch, float frame, float palette[][16])
{
    for (uint32_t i = 0; i < batch->count; ++i)
        if (qef_bone_matrix(scene, node, batch->bones[i], frame, palette[i]) != QEF_OK)
            return 0;
    return 1;
}

/* Where a vertex of a mesh node is at a frame: skinned by its palette, or
 * through the node's world matrix. */
static void place_vertex(const vertex* v, int skinned, const float world[16], const float palette[][16],
                         uint32_t palette_size, float out[3])
{
    if (!skinned) {
        transform_point(world, v->position, out);
        return;
    }
    float total = 0.0f, moved[3];
    out[0] = out[1] = out[2] = 0.0f;
    for (int k = 0; k < 4; ++k) {
        const uint32_t bone = (uint32_t)v->bones[k];
        if (v->weights[k] == 0.0f || bone >= palette_size)
            continue;
        transform_point(palette[bone], v->position, moved);
        for (int c = 0; c < 3; ++c)
            out[c] += v->weights[k] * moved[c];
        total += v->weights[k];
    }
    if (total == 0.0f)
        transform_point(world, v->position, out);
}

/* ---- Shaders ----------------------------------------------------------- */

/* Both start with "#version 330 core" and "#define MAX_BONES n" (compile). */
// clang-format off
static const char* const vertex_shader =
    "layout(location = 0) in vec3 a_position;\n"
    "layout(location = 1) in vec3 a_normal;\n"
    "layout(location = 2) in vec4 a_bones;\n"
    "layout(location = 3) in vec4 a_weights;\n"
    "uniform mat4 u_view_projection;\n"
    "uniform mat4 u_world;              // the node's world matrix at the frame\n"
    "uniform mat4 u_palette[MAX_BONES]; // the batch's skinning matrices\n"
    "uniform bool u_skinned;\n"
    "out vec3 v_normal;\n"
    "mat4 bone(float place)\n"
    "{\n"
    "    return u_palette[clamp(int(place), 0, MAX_BONES - 1)];\n"
    "}\n"
    "void main()\n"
    "{\n"
    "    mat4 m = u_world;\n"
    "    if (u_skinned && dot(a_weights, vec4(1.0)) > 0.0)\n"
    "        m = a_weights.x * bone(a_bones.x) + a_weights.y * bone(a_bones.y) +\n"
    "            a_weights.z * bone(a_bones.z) + a_weights.w * bone(a_bones.w);\n"
    "    v_normal = transpose(inverse(mat3(m))) * a_normal;\n"
    "    gl_Position = u_view_projection * (m * vec4(a_position, 1.0));\n"
    "}\n";

static const char* const fragment_shader =
    "uniform vec3 u_light; // towards the light, normalised\n"
    "uniform vec3 u_light_colour;\n"
    "uniform vec3 u_diffuse;\n"
    "in vec3 v_normal;\n"
    "out vec4 colour;\n"
    "void main()\n"
    "{\n"
    "    vec3 n = normalize(gl_FrontFacing ? v_normal : -v_normal);\n"
    "    vec3 lit = 0.25 + 0.75 * max(dot(n, u_light), 0.0) * u_light_colour;\n"
    "    colour = vec4(u_diffuse * lit, 1.0);\n"
    "}\n";
// clang-format on

/* 1 when a shader compiled or a program linked; else 0 and its log on stderr. */
static int built(GLuint object, GLenum status, PFNGLGETSHADERIVPROC get, PFNGLGETSHADERINFOLOGPROC get_log)
{
    GLint ok = 0;
    get(object, status, &ok);
    if (!ok) {
        char log[1024];
        get_log(object, sizeof log, NULL, log);
        fprintf(stderr, "engine: %s: %s\n", status == GL_LINK_STATUS ? "program" : "shader", log);
    }
    return ok != 0;
}

static GLuint compile(GLenum kind, const char* text)
{
    char prelude[64];
    snprintf(prelude, sizeof prelude, "#version 330 core\n#define MAX_BONES %d\n", ENGINE_MAX_BONES);
    const char* texts[2] = {prelude, text};
    const GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 2, texts, NULL);
    glCompileShader(shader);
    built(shader, GL_COMPILE_STATUS, glGetShaderiv, glGetShaderInfoLog);
    return shader; /* a failure shows when the program is linked */
}

static GLuint build_program(void)
{
    const GLuint program = glCreateProgram();
    glAttachShader(program, compile(GL_VERTEX_SHADER, vertex_shader));
    glAttachShader(program, compile(GL_FRAGMENT_SHADER, fragment_shader));
    glLinkProgram(program);
    return built(program, GL_LINK_STATUS, glGetProgramiv, glGetProgramInfoLog) ? program : 0;
}

/* ---- Drawing ----------------------------------------------------------- */

typedef struct engine {
    const qef_scene* scene;
    gpu_mesh* meshes;
    GLuint program;
    GLint u_view_projection, u_world, u_palette, u_skinned, u_light, u_light_colour, u_diffuse;
} engine;

/* The mesh of mesh node i, or null (a file is input: its indices are checked
 * by the loader, but a node may have no mesh). */
static const qef_mesh* node_mesh(const qef_scene* scene, uint32_t i)
{
    const int32_t content = scene->nodes[i].content;
    return content >= 0 && (uint32_t)content < scene->mesh_count ? &scene->meshes[content] : NULL;
}

/* Calls visit for every batch of every mesh node at a frame, with its world
 * matrix and palette. */
typedef void (*batch_visitor)(engine* e, uint32_t node, const gpu_mesh* mesh, const batch* batch, const float world[16],
                              const float palette[][16], void* user);

static int visit_batches(engine* e, float frame, batch_visitor visit, void* user)
{
    static float palette[ENGINE_MAX_BONES][16];
    const qef_scene* scene = e->scene;
    for (uint32_t i = 0; i < scene->mesh_node_count; ++i) {
        const qef_mesh* mesh = node_mesh(scene, i);
        if (!mesh)
            continue;
        const gpu_mesh* gpu = &e->meshes[scene->nodes[i].content];
        float world[16];
        if (qef_world_matrix(scene, i, frame, world) != QEF_OK)
            return 0;
        const uint32_t batches = gpu->skinned && mesh->batch_count ? mesh->batch_count : 1;
        for (uint32_t b = 0; b < batches; ++b) {
            batch current;
            if (gpu->skinned) {
                if (!mesh_batch(scene, mesh, b, &current) || !batch_palette(scene, i, &current, frame, palette))
                    return 0;
            } else {
                current.first = 0;
                current.end = mesh->triangle_count;
                current.count = 0;
            }
            visit(e, i, gpu, &current, world, (const float(*)[16])palette, user);
        }
    }
    return 1;
}

static void grow_bounds(engine* e, uint32_t node, const gpu_mesh* mesh, const batch* batch, const float world[16],
                        const float palette[][16], void* user)
{
    (void)e;
    (void)node;
    float* bounds = (float*)user; /* min x y z, max x y z */
    for (uint32_t t = batch->first * 3; t < batch->end * 3; ++t) {
        float p[3];
        place_vertex(&mesh->vertices[mesh->indices[t]], mesh->skinned, world, palette, batch->count, p);
        for (int c = 0; c < 3; ++c) {
            bounds[c] = p[c] < bounds[c] ? p[c] : bounds[c];
            bounds[3 + c] = p[c] > bounds[3 + c] ? p[c] : bounds[3 + c];
        }
    }
}

static void draw_batch(engine* e, uint32_t node, const gpu_mesh* mesh, const batch* batch, const float world[16],
                       const float palette[][16], void* user)
{
    (void)user;
    const qef_scene* scene = e->scene;
    const int32_t m = scene->nodes[node].material;
    const float grey[3] = {0.8f, 0.8f, 0.8f};
    const float* diffuse = m >= 0 && (uint32_t)m < scene->material_count ? scene->materials[m].diffuse : grey;
    glUniformMatrix4fv(e->u_world, 1, GL_FALSE, world);
    glUniform1i(e->u_skinned, mesh->skinned);
    if (batch->count)
        glUniformMatrix4fv(e->u_palette, (GLsizei)batch->count, GL_FALSE, palette[0]);
    glUniform3fv(e->u_diffuse, 1, diffuse);
    glBindVertexArray(mesh->array);
    glDrawElements(GL_TRIANGLES, (GLsizei)((batch->end - batch->first) * 3), GL_UNSIGNED_INT,
                   (const void*)((size_t)batch->first * 3 * sizeof(uint32_t)));
}

/* A camera that frames the scene's bounding box at a frame from the front,
 * a little from above and the right, with the light over its left shoulder. */
static int frame_camera(engine* e, float frame, float aspect, float out[16])
{
    float bounds[6] = {INFINITY, INFINITY, INFINITY, -INFINITY, -INFINITY, -INFINITY};
    if (!visit_batches(e, frame, grow_bounds, bounds))
        return 0;
    if (!(bounds[0] <= bounds[3]))
        memset(bounds, 0, sizeof bounds); /* nothing to draw */
    const float centre[3] = {(bounds[0] + bounds[3]) / 2, (bounds[1] + bounds[4]) / 2, (bounds[2] + bounds[5]) / 2};
    float radius = 0.5f * sqrtf((bounds[3] - bounds[0]) * (bounds[3] - bounds[0]) +
                                (bounds[4] - bounds[1]) * (bounds[4] - bounds[1]) +
                                (bounds[5] - bounds[2]) * (bounds[5] - bounds[2]));
    if (radius <= 0.0f)
        radius = 1.0f;
    const float fov_y = 0.7f;                                                   /* radians */
    float fov = aspect < 1.0f ? 2.0f * atanf(tanf(fov_y / 2) * aspect) : fov_y; /* the narrower of the two */
    const float distance = 1.05f * radius / sinf(fov / 2);
    float direction[3] = {0.35f, 0.3f, 1.0f};
    normalise(direction);
    const float eye[3] = {centre[0] + direction[0] * distance, centre[1] + direction[1] * distance,
                          centre[2] + direction[2] * distance};
    const float near_clip = distance - 1.5f * radius > distance * 0.01f ? distance - 1.5f * radius : distance * 0.01f;
    view_projection(eye, centre, fov_y, aspect, near_clip, distance + 1.5f * radius, out);
    return 1;
}

static int draw(engine* e, float frame, int width, int height, const float camera[16])
{
    const qef_scene* scene = e->scene;
    glViewport(0, 0, width, height);
    glClearColor(scene->background[0], scene->background[1], scene->background[2], 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glUseProgram(e->program);
    glUniformMatrix4fv(e->u_view_projection, 1, GL_FALSE, camera);
    /* The scene's first directional light, else white light from the upper left. */
    float light[3] = {-0.4f, 0.8f, 0.6f}, colour[3] = {1.0f, 1.0f, 1.0f};
    for (uint32_t i = 0; i < scene->light_count; ++i) {
        qef_view view;
        if (scene->lights[i].type == QEF_LIGHT_DIRECTIONAL && qef_light_at(scene, i, frame, &view) == QEF_OK) {
            for (int c = 0; c < 3; ++c) {
                light[c] = -view.direction[c];
                colour[c] = scene->lights[i].colour[c];
            }
            break;
        }
    }
    normalise(light);
    glUniform3fv(e->u_light, 1, light);
    glUniform3fv(e->u_light_colour, 1, colour);
    return visit_batches(e, frame, draw_batch, NULL);
}

/* ---- The picture ------------------------------------------------------- */

static int write_png(const char* path, int width, int height)
{
    unsigned char* pixels = (unsigned char*)malloc((size_t)width * height * 3);
    if (!pixels)
        return 0;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = (png_uint_32)width;
    image.height = (png_uint_32)height;
    image.format = PNG_FORMAT_RGB;
    /* OpenGL's rows run bottom to top: a negative stride writes them flipped. */
    const int ok = png_image_write_to_file(&image, path, 0, pixels, -(png_int_32)(width * 3), NULL);
    if (!ok)
        fprintf(stderr, "engine: cannot write '%s': %s\n", path, image.message);
    free(pixels);
    return ok;
}

/* ---- main -------------------------------------------------------------- */

static int usage(void)
{
    fprintf(stderr, "usage: engine SCENE.qef [--frame F] [--screenshot OUT.png --size WxH]\n");
    return 64;
}

int main(int argc, char** argv)
{
    const char* path = NULL;
    const char* screenshot = NULL;
    float frame = 0.0f;
    int width = 800, height = 600;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--frame") && i + 1 < argc) {
            char* end = NULL;
            frame = strtof(argv[++i], &end);
            if (end == argv[i] || *end || !(frame >= 0.0f && frame < 1e9f))
                return usage();
        } else if (!strcmp(argv[i], "--screenshot") && i + 1 < argc)
            screenshot = argv[++i];
        else if (!strcmp(argv[i], "--size") && i + 1 < argc) {
            if (sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width < 1 || height < 1 || width > 16384 ||
                height > 16384)
                return usage();
        } else if (argv[i][0] != '-' && !path)
            path = argv[i];
        else
            return usage();
    }
#ifdef ENGINE_DEFAULT_SCENE
    if (!path)
        path = ENGINE_DEFAULT_SCENE;
#endif

    /* Load: a check of the whole file, then views into its bytes. */
    qef_scene* scene = NULL;
    qef_error error;
#ifdef ENGINE_EMBEDDED_HEADER
    if (path)
        return usage();
    path = "the compiled-in scene";
    const qef_result result = qef_load(_scene_qef, (size_t)_scene_qef_size, NULL, &scene, &error);
#else
    if (!path)
        return usage();
    /* A registered in-memory file of that name first, else the disk. */
    const qef_result result = qef_load_file(path, NULL, &scene, &error);
#endif
    if (result != QEF_OK) {
        fprintf(stderr, "engine: %s refused: %s\n", path, error.message);
        return 1;
    }
    printf("%s: %u meshes, %u nodes, %u frames at %u per second\n", path, scene->mesh_count, scene->node_count,
           scene->frame_count, scene->frames_per_second);
    fflush(stdout);

    if (!glfwInit()) {
        fprintf(stderr, "engine: no window system\n");
        qef_free(scene);
        return 2;
    }
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
    if (screenshot)
        glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(screenshot ? 64 : width, screenshot ? 64 : height, "engine", NULL, NULL);
    if (!window) {
        fprintf(stderr, "engine: no OpenGL 3.3 core context\n");
        glfwTerminate();
        qef_free(scene);
        return 2;
    }
    glfwMakeContextCurrent(window);
    glfwSwapInterval(1);

    engine e;
    memset(&e, 0, sizeof e);
    e.scene = scene;
    e.program = build_program();
    e.u_view_projection = glGetUniformLocation(e.program, "u_view_projection");
    e.u_world = glGetUniformLocation(e.program, "u_world");
    e.u_palette = glGetUniformLocation(e.program, "u_palette");
    e.u_skinned = glGetUniformLocation(e.program, "u_skinned");
    e.u_light = glGetUniformLocation(e.program, "u_light");
    e.u_light_colour = glGetUniformLocation(e.program, "u_light_colour");
    e.u_diffuse = glGetUniformLocation(e.program, "u_diffuse");
    e.meshes = (gpu_mesh*)calloc((size_t)scene->mesh_count + 1, sizeof(gpu_mesh));
    int status = e.program && e.meshes ? 0 : 2;
    for (uint32_t m = 0; status == 0 && m < scene->mesh_count; ++m)
        if (!upload_mesh(&scene->meshes[m], &e.meshes[m])) {
            fprintf(stderr, "engine: mesh %u cannot be drawn\n", m);
            status = 1;
        }

    float camera[16];
    if (status == 0 && screenshot) {
        /* One frame into a framebuffer of the picture's size. */
        GLuint framebuffer, colour, depth;
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glGenRenderbuffers(1, &colour);
        glBindRenderbuffer(GL_RENDERBUFFER, colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        glGenRenderbuffers(1, &depth);
        glBindRenderbuffer(GL_RENDERBUFFER, depth);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
            status = 2;
        else if (!frame_camera(&e, frame, (float)width / (float)height, camera) ||
                 !draw(&e, frame, width, height, camera))
            status = 1;
        else if (!write_png(screenshot, width, height))
            status = 3;
    } else if (status == 0) {
        /* Play the animation from the given frame, in a loop. */
        const double start = glfwGetTime();
        int w = width, h = height;
        glfwGetFramebufferSize(window, &w, &h);
        if (!frame_camera(&e, frame, (float)w / (float)(h ? h : 1), camera))
            status = 1;
        while (status == 0 && !glfwWindowShouldClose(window)) {
            float now = frame;
            if (scene->frame_count > 1)
                now = fmodf(frame + (float)((glfwGetTime() - start) * scene->frames_per_second),
                            (float)(scene->frame_count - 1));
            glfwGetFramebufferSize(window, &w, &h);
            if (!draw(&e, now, w, h, camera))
                status = 1;
            glfwSwapBuffers(window);
            glfwPollEvents();
            if (glfwGetKey(window, GLFW_KEY_ESCAPE) == GLFW_PRESS)
                glfwSetWindowShouldClose(window, GLFW_TRUE);
        }
    }
    if (status == 1)
        fprintf(stderr, "engine: %s cannot be drawn at frame %g\n", path, frame);

    for (uint32_t m = 0; e.meshes && m < scene->mesh_count; ++m) {
        free(e.meshes[m].vertices);
        free(e.meshes[m].indices);
    }
    free(e.meshes);
    glfwDestroyWindow(window);
    glfwTerminate();
    qef_free(scene);
    return status;
}
