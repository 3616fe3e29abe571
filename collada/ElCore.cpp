#include "collada/ElCore.h"

#include <cmath>

#include "collada/DAENumbers.h"
#include "collada/ElMaterial.h"

EUpAxis CEl_Up_axis::ParseUpAxis(const char* text)
{
    const std::string_view t = TrimDAE(text ? text : "");
    if (EqualsNoCase(t, "Z_UP"))
        return eUpAxisZ;
    if (EqualsNoCase(t, "X_UP"))
        return eUpAxisX;
    return eUpAxisY;
}

bool CEl_Unit::SetAttribute(const char* name, const char* value)
{
    if (CDAEObject::SetAttribute(name, value))
        return true;
    if (!EqualsNoCase(name, "meter"))
        return false;
    const float meter = DAEParseFloat(value ? value : "");
    m_dMeter = (meter > 0 && std::isfinite(meter)) ? double(meter) : 0.0;
    return true;
}

bool CEl_Asset::AddChild(CDAEObject* child)
{
    if (child->Kind() == eEl_unit)
        m_dMeter = static_cast<CEl_Unit*>(child)->Meter();
    else if (child->Kind() == eEl_up_axis)
        m_eUpAxis = ParseUpAxis(child->GetContent());
    else
        return false;
    return CDAEObject::AddChild(child);
}

bool CEl_Instance::SetAttribute(const char* name, const char* value)
{
    if (CDAEObject::SetAttribute(name, value))
        return true;
    if (EqualsNoCase(name, "url")) {
        m_sUrl = value ? value : "";
        m_bHasUrl = true;
        return true;
    }
    return false;
}

EDAECategory CEl_Instance::TargetCategory(EElementKind instanceKind)
{
    switch (instanceKind) {
    case eEl_instance_camera: return eCatCamera;
    case eEl_instance_controller: return eCatController;
    case eEl_instance_geometry: return eCatGeometry;
    case eEl_instance_light: return eCatLight;
    case eEl_instance_node: return eCatNode;
    case eEl_instance_effect: return eCatEffect;
    case eEl_instance_visual_scene: return eCatVisualScene;
    default: return eCatCount;
    }
}

EElementKind CEl_Instance::TargetKind(EElementKind instanceKind)
{
    switch (instanceKind) {
    case eEl_instance_camera: return eEl_camera;
    case eEl_instance_controller: return eEl_controller;
    case eEl_instance_geometry: return eEl_geometry;
    case eEl_instance_light: return eEl_light;
    case eEl_instance_node: return eEl_node;
    case eEl_instance_effect: return eEl_effect;
    case eEl_instance_visual_scene: return eEl_visual_scene;
    default: return eEl_none;
    }
}

bool CEl_Instance::Resolve(CDAEIndex& index)
{
    const EDAECategory category = TargetCategory(Kind());
    if (m_bHasUrl && category != eCatCount)
        m_pTarget = index.FindObject(m_sUrl.c_str(), eMatchAny, category);
    return true;
}

bool CEl_Bind_vertex_input::SetAttribute(const char* name, const char* value)
{
    if (CDAEObject::SetAttribute(name, value))
        return true;
    if (EqualsNoCase(name, "semantic"))
        m_sSemantic = value ? value : "";
    else if (EqualsNoCase(name, "input_semantic"))
        m_sInputSemantic = value ? value : "";
    else if (EqualsNoCase(name, "input_set"))
        m_iInputSet = DAEParseInt(value);
    else
        return false;
    return true;
}

bool CEl_Instance_material::SetAttribute(const char* name, const char* value)
{
    if (CDAEObject::SetAttribute(name, value))
        return true;
    if (EqualsNoCase(name, "symbol")) {
        m_sSymbol = value ? value : "";
        m_bHasSymbol = true;
    } else if (EqualsNoCase(name, "target")) {
        m_sTarget = value ? value : "";
        m_bHasTarget = true;
    } else {
        return false;
    }
    return true;
}

bool CEl_Instance_material::AddChild(CDAEObject* child)
{
    if (child->Kind() != eEl_bind_vertex_input)
        return false;
    m_vertexInputs.push_back(static_cast<CEl_Bind_vertex_input*>(child));
    return CDAEObject::AddChild(child);
}

bool CEl_Instance_material::Resolve(CDAEIndex& index)
{
    if (!m_bHasTarget)
        return true;
    CDAEObject* target = index.FindObject(m_sTarget.c_str(), eMatchAny, eCatAll);
    if (target && target->Kind() == eEl_material) {
        m_pMaterial = static_cast<CEl_Material*>(target);
        m_pMaterial->AddInstance(this);
    }
    return true;
}

bool CEl_Instance_geometry::AddChild(CDAEObject* child)
{
    if (child->Kind() != eEl_instance_material)
        return false;
    m_materials.push_back(static_cast<CEl_Instance_material*>(child));
    return CDAEObject::AddChild(child);
}

bool CEl_Instance_controller::AddChild(CDAEObject* child)
{
    if (child->Kind() == eEl_instance_material) {
        m_materials.push_back(static_cast<CEl_Instance_material*>(child));
        return CDAEObject::AddChild(child);
    }
    if (child->Kind() == eEl_skeleton) {
        const char* text = child->GetContent();
        m_skeletonUrls.emplace_back(text ? text : "");
        return CDAEObject::AddChild(child);
    }
    return false;
}

bool CEl_Instance_controller::Resolve(CDAEIndex& index)
{
    CEl_Instance::Resolve(index);
    for (const std::string& url : m_skeletonUrls)
        if (CDAEObject* node = index.FindObject(url.c_str(), eMatchAny, eCatNode))
            m_skeletons.push_back(node);
    return true;
}

bool CEl_Instance_effect::AddChild(CDAEObject* child)
{
    if (child->Kind() != eEl_setparam)
        return false;
    m_setparams.push_back(static_cast<CEl_Setparam*>(child));
    return CDAEObject::AddChild(child);
}

const CEl_Setparam* CEl_Instance_effect::FindSetparam(const char* sid) const
{
    if (!sid)
        return nullptr;
    for (const CEl_Setparam* s : m_setparams)
        if (s->HasRef() && s->Ref() == sid)
            return s;
    return nullptr;
}

bool CEl_Scene::AddChild(CDAEObject* child)
{
    if (child->Kind() != eEl_instance_visual_scene)
        return false;
    // Only the first visual scene instance of a scene counts.
    if (!m_pInstanceVisualScene)
        m_pInstanceVisualScene = static_cast<CEl_Instance*>(child);
    return CDAEObject::AddChild(child);
}

bool CEl_Library_Animations::AddChild(CDAEObject* child)
{
    if (child->Kind() != eEl_animation)
        return false;
    m_animations.push_back(child);
    return CDAEObject::AddChild(child);
}

CEl_Collada::CEl_Collada() : CDAEObject(eEl_COLLADA) {}
CEl_Collada::~CEl_Collada() = default;

bool CEl_Collada::SetAttribute(const char* name, const char* value)
{
    if (CDAEObject::SetAttribute(name, value))
        return true;
    if (EqualsNoCase(name, "version")) {
        m_sVersion = value ? value : "";
        return true;
    }
    return false;
}

CEl_Collada::ELibrary CEl_Collada::LibraryOf(EElementKind kind)
{
    switch (kind) {
    case eEl_library_visual_scenes: return eLibVisualScenes;
    case eEl_library_materials: return eLibMaterials;
    case eEl_library_geometries: return eLibGeometries;
    case eEl_library_lights: return eLibLights;
    case eEl_library_images: return eLibImages;
    case eEl_library_effects: return eLibEffects;
    case eEl_library_cameras: return eLibCameras;
    case eEl_library_animations: return eLibAnimations;
    case eEl_library_controllers: return eLibControllers;
    case eEl_library_nodes: return eLibNodes;
    default: return eLibCount;
    }
}

bool CEl_Collada::AddChild(CDAEObject* child)
{
    switch (child->Kind()) {
    case eEl_asset:
        // A second asset or scene is refused, so it cannot change the axis.
        if (m_pAsset)
            return false;
        m_pAsset = static_cast<CEl_Asset*>(child);
        break;
    case eEl_scene:
        if (m_pScene)
            return false;
        m_pScene = static_cast<CEl_Scene*>(child);
        break;
    default: {
        const ELibrary library = LibraryOf(child->Kind());
        if (library == eLibCount)
            return false;
        m_libraries[library].push_back(child);
        break;
    }
    }
    return CDAEObject::AddChild(child);
}

EUpAxis CEl_Collada::UpAxisMode() const
{
    return m_pAsset ? m_pAsset->UpAxis() : eUpAxisNone;
}

double CEl_Collada::UnitMeter() const
{
    return m_pAsset && m_pAsset->Meter() > 0 ? m_pAsset->Meter() : 1.0;
}

CDAEObject* CEl_Collada::VisualScene() const
{
    if (!m_pScene || !m_pScene->InstanceVisualScene())
        return nullptr;
    CDAEObject* target = m_pScene->InstanceVisualScene()->Target();
    return (target && target->Kind() == eEl_visual_scene) ? target : nullptr;
}
