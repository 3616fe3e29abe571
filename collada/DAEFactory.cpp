// The element factory: which class each kind becomes. Kinds without a case
// are plain objects whose parents read their attributes and text.
#include "collada/DAEGrammar.h"
#include "collada/ElAnimation.h"
#include "collada/ElCore.h"
#include "collada/ElGLSL.h"
#include "collada/ElGeometry.h"
#include "collada/ElMaterial.h"
#include "collada/ElScene.h"
#include "collada/ElSkin.h"

std::unique_ptr<CDAEObject> CreateDAEObject(EElementKind kind, CDAEObject* parent)
{
    switch (kind) {
    // document structure
    case eEl_COLLADA: return std::make_unique<CEl_Collada>();
    case eEl_asset: return std::make_unique<CEl_Asset>();
    case eEl_unit: return std::make_unique<CEl_Unit>();
    case eEl_scene: return std::make_unique<CEl_Scene>();
    case eEl_library_animations: return std::make_unique<CEl_Library_Animations>();

    // instances
    case eEl_instance_visual_scene:
    case eEl_instance_light:
    case eEl_instance_node: return std::make_unique<CEl_Instance>(kind);
    case eEl_instance_geometry: return std::make_unique<CEl_Instance_geometry>();
    case eEl_instance_controller: return std::make_unique<CEl_Instance_controller>();
    case eEl_instance_camera: return std::make_unique<CEl_Instance_camera>();
    case eEl_instance_effect: return std::make_unique<CEl_Instance_effect>();
    case eEl_instance_material: return std::make_unique<CEl_Instance_material>();
    case eEl_bind_vertex_input: return std::make_unique<CEl_Bind_vertex_input>();

    // geometry (sources and arrays also serve controllers and animations)
    case eEl_geometry: return std::make_unique<CEl_Geometry>();
    case eEl_source: return std::make_unique<CEl_Source>();
    case eEl_accessor: return std::make_unique<CEl_Accessor>();
    case eEl_param: return std::make_unique<CEl_Param>();
    case eEl_float_array: return std::make_unique<CEl_FloatArray>();
    case eEl_name_array: return std::make_unique<CEl_NameArray>();
    case eEl_idref_array: return std::make_unique<CEl_IdrefArray>();
    case eEl_vertices: return std::make_unique<CEl_Vertices>();
    case eEl_input: return std::make_unique<CEl_Input>();
    case eEl_triangles: return std::make_unique<CEl_Triangles>();
    case eEl_polylist: return std::make_unique<CEl_PolyList>();
    case eEl_polygons: return std::make_unique<CEl_Polygons>();
    case eEl_trifans: return std::make_unique<CEl_TriFans>();
    case eEl_tristrips: return std::make_unique<CEl_TriStrips>();

    // scene graph, cameras, lights
    case eEl_node: {
        if (parent && parent->Kind() == eEl_node) {
            CEl_Node* parentNode = static_cast<CEl_Node*>(parent);
            return std::make_unique<CEl_Node>(parentNode, parentNode->Container());
        }
        return std::make_unique<CEl_Node>(nullptr, parent ? parent->Kind() : eEl_none);
    }
    case eEl_camera: return std::make_unique<CEl_Camera>();
    case eEl_perspective: return std::make_unique<CEl_Perspective>();
    case eEl_light: return std::make_unique<CEl_Light>();
    case eEl_directional:
    case eEl_point:
    case eEl_spot: return std::make_unique<CEl_LightType>(kind);
    case eEl_ambient:
        if (parent && parent->Kind() == eEl_light)
            return std::make_unique<CEl_LightType>(kind);
        return std::make_unique<CCommon_Color_or_Texture_Type>(kind);

    // materials and effects
    case eEl_material: return std::make_unique<CEl_Material>();
    case eEl_effect: return std::make_unique<CEl_Effect>();
    case eEl_profile_common: return std::make_unique<CEl_Profile_common>();
    case eEl_lambert: return std::make_unique<CEl_Shader1>(kind);
    case eEl_phong:
    case eEl_blinn: return std::make_unique<CEl_Shader2>(kind);
    case eEl_emission:
    case eEl_diffuse:
    case eEl_specular:
    case eEl_reflective:
    case eEl_transparent: return std::make_unique<CCommon_Color_or_Texture_Type>(kind);
    case eEl_reflectivity:
    case eEl_transparency:
    case eEl_index_of_refraction:
    case eEl_shininess: return std::make_unique<CCommon_Float_or_Param_Type>(kind);
    case eEl_texture: return std::make_unique<CEl_Texture>();
    case eEl_image: return std::make_unique<CEl_Image>();
    case eEl_newparam: return std::make_unique<CEl_Newparam>();
    case eEl_setparam: return std::make_unique<CEl_Setparam>();
    case eEl_sampler2D: return std::make_unique<CEl_Sampler2D>();
    case eEl_surface: return std::make_unique<CEl_Surface>();

    // profile_GLSL
    case eEl_profile_glsl: return std::make_unique<CEl_Profile_GLSL>();
    case eEl_pass: return std::make_unique<CEl_Pass>();
    case eEl_shader: return std::make_unique<CEl_Shader>();
    case eEl_name: return std::make_unique<CEl_Name>();
    case eEl_bind: return std::make_unique<CEl_Bind>();
    case eEl_code: return std::make_unique<CEl_Code>();
    case eEl_include: return std::make_unique<CEl_Include>();

    // controllers
    case eEl_controller: return std::make_unique<CEl_Controller>();
    case eEl_skin: return std::make_unique<CEl_Skin>();
    case eEl_morph: return std::make_unique<CEl_Morph>();
    case eEl_vertex_weights: return std::make_unique<CEl_Vertex_weights>();

    // animations
    case eEl_animation: return std::make_unique<CEl_Animation>();
    case eEl_channel: return std::make_unique<CEl_Channel>();
    case eEl_sampler: return std::make_unique<CEl_Sampler>();

    default: return std::make_unique<CDAEObject>(kind);
    }
}
