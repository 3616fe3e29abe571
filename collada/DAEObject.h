#pragma once
// Base of every Collada element object: kind, child list, the id/name/sid
// attributes and the element's text. Subclasses keep what they need from
// their attributes and children and look up their references in Resolve.
#include <cstdint>
#include <memory>
#include <string_view>

class CDAEIndex;

// Every element the grammar names, spelled as the grammar spells it.
// Adding a kind: add it here, give it a row in DAEGrammar.cpp and, when it
// needs a class of its own, a case in DAEFactory.cpp.
// clang-format off
#define MW_DAE_ELEMENT_KINDS(X)                                                                   \
    X(COLLADA) X(asset) X(up_axis) X(unit)                                                        \
    X(library_cameras) X(camera) X(perspective) X(xfov) X(yfov) X(aspect_ratio) X(znear) X(zfar)  \
    X(target) X(extra) X(technique) X(optics) X(technique_common)                                 \
    X(library_effects) X(effect) X(color) X(source) X(profile_common) X(newparam) X(sampler2D)    \
    X(init_from) X(wrap_s) X(wrap_t) X(minfilter) X(magfilter) X(mipfilter) X(surface)            \
    X(diffuse) X(blinn) X(lambert) X(phong) X(texture) X(ambient) X(specular) X(emission)         \
    X(reflective) X(transparent) X(float) X(reflectivity) X(transparency)                         \
    X(index_of_refraction) X(shininess) X(profile_glsl) X(semantic)                               \
    X(bool) X(bool2) X(bool3) X(bool4) X(int) X(int2) X(int3) X(int4)                             \
    X(float2) X(float3) X(float4) X(float2x2) X(float3x3) X(float4x4)                             \
    X(code) X(pass) X(shader) X(name) X(bind) X(param) X(include)                                 \
    X(library_geometries) X(geometry) X(accessor) X(float_array) X(int_array) X(bool_array)       \
    X(vertices) X(input) X(triangles) X(trifans) X(tristrips) X(polylist) X(p) X(vcount)          \
    X(polygons) X(mesh) X(ph) X(h)                                                                \
    X(library_images) X(image)                                                                    \
    X(library_lights) X(light) X(directional) X(point) X(spot) X(constant_attenuation)            \
    X(linear_attenuation) X(quadratic_attenuation) X(falloff_angle) X(falloff_exponent)           \
    X(library_materials) X(material) X(instance_effect) X(setparam)                               \
    X(library_visual_scenes) X(visual_scene) X(node)                                              \
    X(library_animations) X(animation) X(name_array) X(idref_array) X(channel) X(sampler)         \
    X(library_controllers) X(controller) X(vertex_weights) X(v) X(skin) X(bind_shape_matrix)      \
    X(morph) X(targets)                                                                           \
    X(joints) X(library_nodes) X(scene) X(instance_visual_scene)                                  \
    X(rotate) X(translate) X(scale) X(matrix) X(lookat) X(skew)                                   \
    X(instance_geometry) X(instance_camera) X(instance_light) X(instance_material)                \
    X(instance_controller) X(instance_node) X(skeleton) X(bind_vertex_input) X(bind_material)
// clang-format on

enum EElementKind : int32_t {
    eEl_none = 0,
#define MW_DAE_ENUM(n) eEl_##n,
    MW_DAE_ELEMENT_KINDS(MW_DAE_ENUM)
#undef MW_DAE_ENUM
        eEl_count
};

// The element's name as a document writes it ("float_array"); "" for none.
const char* DAEElementName(EElementKind kind);

// ASCII-only case folding: A-Z equal a-z, nothing else folds.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool EqualsNoCase(const char* a, const char* b);

// Owned NUL-terminated copy; null for null.
std::unique_ptr<char[]> DupString(const char* text);

class CDAEObject {
public:
    explicit CDAEObject(EElementKind kind) : m_eKind(kind) {}
    virtual ~CDAEObject();
    CDAEObject(const CDAEObject&) = delete;
    CDAEObject& operator=(const CDAEObject&) = delete;

    // Keeps id, name and sid; false for every other attribute. Overrides
    // offer the attribute here first.
    virtual bool SetAttribute(const char* name, const char* value);
    // Keeps a copy of the text (large index lists are only borrowed, see
    // below).
    virtual bool SetContent(const char* text);
    // Appends to the child list; overrides accept only what they use.
    virtual bool AddChild(CDAEObject* child);
    virtual const char* GetName() const { return m_pszName.get(); }
    virtual const char* GetId() const { return m_pszId.get(); }
    virtual const char* GetSid() const { return m_pszSid.get(); }
    virtual const char* GetContent() const;
    // Called once after the whole document is built.
    virtual bool Resolve(CDAEIndex& index);

    EElementKind Kind() const { return m_eKind; }
    CDAEObject* FirstChild() const { return m_pFirstChild; }
    CDAEObject* NextSibling() const { return m_pNextSibling; }

    // Position in the index's registration order.
    uint32_t Ordinal() const { return m_uiOrdinal; }
    void SetOrdinal(uint32_t ordinal) { m_uiOrdinal = ordinal; }

    // The text of p, vcount and v is parsed by the parent in AddChild straight
    // from the parser's buffer; a copy of a multi-megabyte index list is never
    // kept. The parser drops the borrowed pointer once AddChild has run.
    static bool BorrowsContent(EElementKind kind);
    void DropBorrowedContent() { m_pszBorrowed = nullptr; }

    // Its numbers were written with decimal commas ("0,5") and read as the
    // author meant them; the import names the first such element.
    void NoteDecimalCommas() { m_bDecimalCommas = true; }
    bool HasDecimalCommas() const { return m_bDecimalCommas; }

private:
    EElementKind m_eKind;
    CDAEObject* m_pFirstChild = nullptr;
    CDAEObject* m_pLastChild = nullptr;
    CDAEObject* m_pNextSibling = nullptr;
    std::unique_ptr<char[]> m_pszId;
    std::unique_ptr<char[]> m_pszName;
    std::unique_ptr<char[]> m_pszSid;
    std::unique_ptr<char[]> m_pszContent;
    const char* m_pszBorrowed = nullptr;
    uint32_t m_uiOrdinal = 0;
    bool m_bDecimalCommas = false;
};

// Iterates the child list: for (CDAEObject* c : Children(obj)).
struct SDAEChildRange {
    CDAEObject* first;
    struct iterator {
        CDAEObject* p;
        CDAEObject* operator*() const { return p; }
        iterator& operator++()
        {
            p = p->NextSibling();
            return *this;
        }
        bool operator!=(const iterator& o) const { return p != o.p; }
    };
    iterator begin() const { return {first}; }
    iterator end() const { return {nullptr}; }
};
inline SDAEChildRange Children(const CDAEObject* obj)
{
    return {obj ? obj->FirstChild() : nullptr};
}
