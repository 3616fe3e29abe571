/*
 * qef: loads Meshwright scene files (.qef) from memory, for engines.
 *
 * Valid C99 and C++; plain structures, one result enum, options passed with
 * every call and no state between calls (the only process-wide state is the
 * optional in-memory file registry at the end of this header).
 *
 * A load checks the whole file once (every block length, count, offset and
 * index against the bytes that hold it) and returns views into the caller's
 * bytes: nothing is copied, and the bytes must outlive the scene. The tables
 * of records live in one block whose size qef_measure gives; qef_load takes it
 * from an allocator (malloc by default), qef_load_into from the caller.
 *
 * All numbers in the file are little-endian and need not be aligned: the
 * array views below are untyped (const void *) and are read with the qef_u32,
 * qef_i32 and qef_f32 helpers, or handed to a GPU as they are. On a
 * little-endian host a view's bytes are the host's own numbers.
 */
#ifndef QEF_QEF_H
#define QEF_QEF_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(QEF_SHARED) && defined(_WIN32)
#ifdef QEF_BUILDING
#define QEF_API __declspec(dllexport)
#else
#define QEF_API __declspec(dllimport)
#endif
#elif defined(QEF_SHARED) && defined(__GNUC__)
#define QEF_API __attribute__((visibility("default")))
#else
#define QEF_API
#endif

/* Every call's result. Each refusal also fills a qef_error (when given) with a
 * message naming what is wrong and where. */
typedef enum qef_result {
    QEF_OK = 0,
    QEF_INVALID_ARGUMENT = 1, /* a null pointer or an out-of-range index passed by the caller */
    QEF_TRUNCATED = 2,        /* a block, array or text runs past the end of the bytes */
    QEF_MALFORMED = 3,        /* a size, count, type or index that the format does not allow */
    QEF_WRONG_VERSION = 4,    /* no version block, or not the version text "AB.QEF.2.0"; also any refused
                                 file that does not begin with the version block (not a scene file at all) */
    QEF_WRONG_BYTE_ORDER = 5, /* the file was written in the opposite byte order */
    QEF_FIXED_POINT = 6,      /* the scene's numbers are in fixed point (flag bit 0) */
    QEF_OUT_OF_MEMORY = 7,    /* the allocator returned null */
    QEF_BUFFER_TOO_SMALL = 8, /* qef_load_into: less memory than qef_measure says */
    QEF_FILE_ERROR = 9        /* qef_load_file: no registered name and no readable file */
} qef_result;

/* Element types of vertex and index channels (17 of them; 0 is none). */
typedef enum qef_type {
    QEF_TYPE_NONE = 0,
    QEF_TYPE_FLOAT = 1,
    QEF_TYPE_INT = 2,      /* signed 32-bit */
    QEF_TYPE_USHORT = 3,   /* unsigned 16-bit; 16-bit indices */
    QEF_TYPE_RGBA = 4,     /* packed colour, R in the top byte */
    QEF_TYPE_ARGB = 5,     /* packed colour, A in the top byte */
    QEF_TYPE_D3DCOLOR = 6, /* same layout as ARGB */
    QEF_TYPE_UBYTE4 = 7,   /* four unsigned bytes, unscaled */
    QEF_TYPE_DEC3N = 8,    /* three signed 10-bit fields, normalised */
    QEF_TYPE_FIXED16 = 9,  /* signed 16.16 fixed point */
    QEF_TYPE_UBYTE = 10,
    QEF_TYPE_SHORT = 11,
    QEF_TYPE_SHORT_NORM = 12,
    QEF_TYPE_BYTE = 13,
    QEF_TYPE_BYTE_NORM = 14,
    QEF_TYPE_UBYTE_NORM = 15,
    QEF_TYPE_USHORT_NORM = 16,
    QEF_TYPE_UINT = 17 /* unsigned 32-bit; 32-bit indices */
} qef_type;

/* Bits of qef_node.anim_mask. */
enum { QEF_ANIM_POSITION = 1, QEF_ANIM_ROTATION = 2, QEF_ANIM_SCALE = 4, QEF_ANIM_MATRIX = 8 };

/* qef_light.type */
enum { QEF_LIGHT_POINT = 0, QEF_LIGHT_DIRECTIONAL = 1, QEF_LIGHT_SPOT = 2 };

/* Bit 0 of qef_material.flags: blending enabled. */
enum { QEF_MATERIAL_BLEND = 1 };

/* A caller's allocator: alloc(user, size) returns memory aligned for any
 * type, or null; release(user, pointer) gives it back. */
typedef struct qef_allocator {
    void* (*alloc)(void* user, size_t size);
    void (*release)(void* user, void* pointer);
    void* user;
} qef_allocator;

/* Options of one call; a null pointer means all defaults. */
typedef struct qef_options {
    const qef_allocator* allocator; /* null: malloc and free */
} qef_options;

/* What a refusal says: the result, a message such as
 * "mesh 3 channel normal: 4800 bytes needed past offset 120, 4096 remain",
 * and the byte offset of the block where it was found. */
typedef struct qef_error {
    qef_result result;
    size_t offset;
    size_t bytes_needed; /* QEF_BUFFER_TOO_SMALL: what qef_measure gives */
    char message[320];
} qef_error;

/* One vertex attribute or the index list. The element of vertex i starts at
 * (const char *)data + i * stride; an absent channel has data null and
 * components 0. For an interleaved mesh data already points at this
 * attribute inside the vertex block (offset is its place in the vertex). */
typedef struct qef_channel {
    const void* data;
    uint32_t type;       /* qef_type */
    uint32_t components; /* 1 for the packed types 4 to 8 */
    uint32_t stride;     /* bytes from one element to the next */
    uint32_t count;      /* elements: the vertex count, or the index count */
    uint32_t offset;     /* inside the interleaved vertex; 0 otherwise */
} qef_channel;

typedef struct qef_mesh {
    uint32_t vertex_count;
    uint32_t triangle_count;
    /* The index list: type 3 (16-bit) or 17 (32-bit), one component, count =
     * triangle_count * 3 for a list, triangle_count + 2 * strip_count for
     * strips. data null: not indexed, corner i is vertex i. */
    qef_channel indices;
    const void* strip_triangles; /* u32[strip_count]: triangles per strip; null: a list */
    uint32_t strip_count;
    qef_channel position, normal, tangent, binormal, colour, bone_index, bone_weights;
    const qef_channel* tex_coords; /* tex_coord_count channels */
    uint32_t tex_coord_count;
    const void* vertex_block; /* interleaved vertices, vertex_stride bytes each; null when not interleaved */
    uint32_t vertex_stride;
    /* Bone batches: batch b covers the triangles from batch_start_triangle[b]
     * to the next batch's start; its palette is batch_bone_totals[b] node
     * indices at batch_bone_list[b * batch_capacity]. All u32, each array
     * null when absent. */
    const void* batch_bone_list;
    const void* batch_bone_totals;
    const void* batch_start_triangle;
    uint32_t batch_capacity;
    uint32_t batch_count;
    /* Stored positions p map to model space as (p, 1) x unpack_matrix (row
     * vectors, translation in elements 12 to 14). */
    float unpack_matrix[16];
} qef_mesh;

/* One transform track of a node: key_count floats of keys (3 per position,
 * 4 per rotation quaternion x y z w, 7 per scale, 16 per matrix) and, when
 * frame_index is not null, one u32 per frame: where that frame's key starts. */
typedef struct qef_track {
    const void* keys;
    uint32_t key_count;
    const void* frame_index;
    uint32_t frame_index_count; /* frame_count when frame_index is given */
} qef_track;

/* Nodes: first the mesh nodes (content = mesh index), then one per light,
 * then one per camera (content = light or camera index), then the rest. */
typedef struct qef_node {
    const char* name;
    int32_t content;
    int32_t material; /* -1: none */
    int32_t parent;   /* -1: a root */
    uint32_t anim_mask;
    qef_track position, rotation, scale, matrix; /* with a matrix track the other three are ignored */
    const void* user_data;
    uint32_t user_data_size;
    unsigned char legacy_keys[56]; /* static values of older files, which the tracks may point at */
} qef_node;

typedef struct qef_camera {
    int32_t target;      /* node index or -1 */
    float field_of_view; /* radians */
    float far_clip;
    float near_clip;
    const void* field_of_view_keys;   /* f32 per frame, or null */
    uint32_t field_of_view_key_count; /* frame_count when the keys are given */
} qef_camera;

typedef struct qef_light {
    int32_t target;
    float colour[3];
    uint32_t type;
    float constant_attenuation, linear_attenuation, quadratic_attenuation;
    float falloff_angle; /* radians */
    float falloff_exponent;
} qef_light;

typedef struct qef_material {
    const char* name;
    /* Texture indices or -1: diffuse, ambient, specular, slot 3, slot 4,
     * emissive, slot 6, slot 7, reflection, slot 9. */
    int32_t textures[10];
    float opacity;
    float ambient[3], diffuse[3], specular[3];
    float shininess;
    const char* effect_file_name;                                                      /* null: none */
    const char* effect_label;                                                          /* null: none */
    uint32_t src_colour_factor, src_alpha_factor, dst_colour_factor, dst_alpha_factor; /* OpenGL enumerants */
    uint32_t colour_blend_op, alpha_blend_op;
    float constant_blend_colour[4];
    float blend_factor[4];
    uint32_t flags;
    const void* user_data;
    uint32_t user_data_size;
} qef_material;

typedef struct qef_texture {
    const char* name; /* file name */
} qef_texture;

typedef struct qef_scene {
    float background[3];
    float ambient[3];
    const qef_camera* cameras;
    uint32_t camera_count;
    const qef_light* lights;
    uint32_t light_count;
    const qef_mesh* meshes;
    uint32_t mesh_count;
    const qef_node* nodes;
    uint32_t node_count;
    uint32_t mesh_node_count;
    const qef_texture* textures;
    uint32_t texture_count;
    const qef_material* materials;
    uint32_t material_count;
    uint32_t frame_count;       /* 0: no animation */
    uint32_t frames_per_second; /* 30 when the file gives none */
    uint32_t flags;
    const void* user_data;
    uint32_t user_data_size;
    /* The export options and history texts, not terminated: size bytes up to
     * the first NUL or the block's end; null and 0 when the file has none. */
    const char* options_text;
    uint32_t options_text_size;
    const char* history_text;
    uint32_t history_text_size;
    /* The file image the views point into. */
    const void* file_data;
    size_t file_size;
    /* Private to the loader. */
    const qef_allocator* internal_allocator;
    void* internal_file_copy;
    uint32_t internal_owned;
} qef_scene;

/* Checks data and gives in *bytes_needed the size of the block that
 * qef_load_into needs for its tables. */
QEF_API qef_result qef_measure(const void* data, size_t size, const qef_options* options, size_t* bytes_needed,
                               qef_error* error);

/* Checks data and builds the scene in the caller's memory (aligned for any
 * type); nothing is allocated. *scene points into memory, which the caller
 * keeps with data for as long as the scene is used; qef_free is not needed
 * (and does nothing for it). */
QEF_API qef_result qef_load_into(const void* data, size_t size, const qef_options* options, void* memory,
                                 size_t memory_size, qef_scene** scene, qef_error* error);

/* Checks data and builds the scene in one block from the options' allocator.
 * Release it with qef_free; data must outlive it. */
QEF_API qef_result qef_load(const void* data, size_t size, const qef_options* options, qef_scene** scene,
                            qef_error* error);

/* Loads a file by name: a name registered in the in-memory file registry
 * first (its bytes used where they are), else the file on disk, read whole
 * into memory that the scene owns. Release with qef_free. */
QEF_API qef_result qef_load_file(const char* path, const qef_options* options, qef_scene** scene, qef_error* error);

/* Releases a scene of qef_load or qef_load_file; null is allowed. */
QEF_API void qef_free(qef_scene* scene);

/* A short English text for a result. */
QEF_API const char* qef_result_text(qef_result result);

/* ---- Decoding ---------------------------------------------------------- */

/* Bytes per stored component of a type (0 for none and unknown values) and
 * float values per element (4 for the packed colours and UBYTE4, 3 for DEC3N,
 * 1 for the plain types). */
QEF_API uint32_t qef_component_size(uint32_t type);
QEF_API uint32_t qef_values_per_element(uint32_t type);

/* Decodes elements first .. first + count - 1 of a channel into out, out_size
 * floats per element: each element reads as (0, 0, 0, 1) with its values
 * converted over it (normalised types scaled, packed colours split into
 * bytes / 255, DEC3N fields / 511), then the first out_size (1 to 4) are kept.
 * With unpack (16 floats) each element's x, y, z are mapped through it as a
 * point: pass a mesh's unpack_matrix for its positions. */
QEF_API qef_result qef_decode(const qef_channel* channel, uint32_t first, uint32_t count, uint32_t out_size,
                              const float* unpack, float* out);

/* Index i of a mesh's index list (corner i when the mesh is not indexed). */
QEF_API uint32_t qef_index(const qef_mesh* mesh, uint32_t i);

/* Writes the mesh's triangle_count triangles as a list of 3 * triangle_count
 * indices (strips unrolled with alternating winding, lists copied). */
QEF_API qef_result qef_triangle_list(const qef_mesh* mesh, uint32_t* out, size_t out_count);

/* ---- Evaluation -------------------------------------------------------- */

/* Node world matrices at a frame (fractions interpolate between frames, as
 * the converter evaluates them): local = scale x rotation x translation (or
 * the matrix key), world = local x parent's world. Row vectors. */
QEF_API qef_result qef_world_matrix(const qef_scene* scene, uint32_t node, float frame, float out[16]);

/* The skinning matrix of a bone for a mesh node: mesh world at frame 0 x
 * inverse(bone world at frame 0) x bone world at the frame. */
QEF_API qef_result qef_bone_matrix(const qef_scene* scene, uint32_t mesh_node, uint32_t bone_node, float frame,
                                   float out[16]);

/* A camera or light at a frame: its node's world matrix, its place, the
 * direction it faces (down its node's -Z axis, or towards its target node's
 * place when it has one, not normalised), and for a camera its up direction
 * (the node's +Y) and the field of view of that frame. */
typedef struct qef_view {
    uint32_t node;
    float world[16];
    float position[3];
    float direction[3];
    float up[3];
    float field_of_view; /* cameras only */
} qef_view;
QEF_API qef_result qef_camera_at(const qef_scene* scene, uint32_t camera, float frame, qef_view* out);
QEF_API qef_result qef_light_at(const qef_scene* scene, uint32_t light, float frame, qef_view* out);

/* ---- In-memory files --------------------------------------------------- */

/* An entry that the caller owns and keeps alive while it is registered (the
 * generated source's registration objects do this). Names match exactly;
 * the first registered wins. */
typedef struct qef_memory_file {
    const char* name;
    const void* data;
    size_t size;
    struct qef_memory_file* next; /* private */
} qef_memory_file;

QEF_API void qef_register_memory_file(qef_memory_file* entry);
QEF_API void qef_unregister_memory_file(qef_memory_file* entry);
/* 1 and the bytes when the name is registered, else 0. */
QEF_API int qef_find_memory_file(const char* name, const void** data, size_t* size);

/* ---- Reading the little-endian arrays of the views ------------------- */

static inline uint32_t qef_u32(const void* array, size_t i)
{
    const unsigned char* p = (const unsigned char*)array + 4 * i;
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static inline int32_t qef_i32(const void* array, size_t i)
{
    const uint32_t u = qef_u32(array, i);
    int32_t v;
    memcpy(&v, &u, 4);
    return v;
}

static inline float qef_f32(const void* array, size_t i)
{
    const uint32_t u = qef_u32(array, i);
    float v;
    memcpy(&v, &u, 4);
    return v;
}

#ifdef __cplusplus
}
#endif

#endif /* QEF_QEF_H */
