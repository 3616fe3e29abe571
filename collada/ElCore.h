#pragma once
// The document root, the asset, the scene and the instance elements.
#include <string>
#include <vector>

#include "collada/UpAxis.h"
#include "collada/DAEIndex.h"
#include "collada/DAEObject.h"

class CEl_Material;

// Holds an up-axis mode; the asset takes it from its up_axis child.
class CEl_Up_axis : public CDAEObject {
public:
    explicit CEl_Up_axis(EElementKind kind = eEl_up_axis) : CDAEObject(kind) {}
    EUpAxis UpAxis() const { return m_eUpAxis; }
    // "Y_UP", "Z_UP", "X_UP" (any case); anything else is the document
    // default, Y up.
    static EUpAxis ParseUpAxis(const char* text);

protected:
    EUpAxis m_eUpAxis = eUpAxisY;
};

// The unit of distance of an asset: metres per unit of its scope.
class CEl_Unit : public CDAEObject {
public:
    CEl_Unit() : CDAEObject(eEl_unit) {}
    bool SetAttribute(const char* name, const char* value) override;
    // 0 when the meter attribute is missing or not a positive number.
    double Meter() const { return m_dMeter; }

private:
    double m_dMeter = 0;
};

// The document's asset, or the asset of a node or a geometry, whose unit
// holds for what the element holds.
class CEl_Asset : public CEl_Up_axis {
public:
    CEl_Asset() : CEl_Up_axis(eEl_asset) {}
    bool AddChild(CDAEObject* child) override;
    // Metres per unit, 0 without a unit.
    double Meter() const { return m_dMeter; }

private:
    double m_dMeter = 0;
};

// A url to another element, looked up by id, name or sid in the category
// that matches the instance kind.
class CEl_Instance : public CDAEObject {
public:
    explicit CEl_Instance(EElementKind kind) : CDAEObject(kind) {}
    bool SetAttribute(const char* name, const char* value) override;
    bool Resolve(CDAEIndex& index) override;
    const std::string& Url() const { return m_sUrl; }
    CDAEObject* Target() const { return m_pTarget; }
    // The category the url of an instance kind is looked up in.
    static EDAECategory TargetCategory(EElementKind instanceKind);
    static EElementKind TargetKind(EElementKind instanceKind);

protected:
    std::string m_sUrl;
    bool m_bHasUrl = false;
    CDAEObject* m_pTarget = nullptr;
};

class CEl_Bind_vertex_input : public CDAEObject {
public:
    CEl_Bind_vertex_input() : CDAEObject(eEl_bind_vertex_input) {}
    bool SetAttribute(const char* name, const char* value) override;
    const std::string& Semantic() const { return m_sSemantic; }

private:
    std::string m_sSemantic;
    std::string m_sInputSemantic;
    int32_t m_iInputSet = 0;
};

// Binds a primitive's material symbol to a material of the document.
class CEl_Instance_material : public CDAEObject {
public:
    CEl_Instance_material() : CDAEObject(eEl_instance_material) {}
    bool SetAttribute(const char* name, const char* value) override;
    bool AddChild(CDAEObject* child) override;
    bool Resolve(CDAEIndex& index) override;
    const std::string& Symbol() const { return m_sSymbol; }
    bool HasSymbol() const { return m_bHasSymbol; }
    CEl_Material* Material() const { return m_pMaterial; }
    const std::vector<CEl_Bind_vertex_input*>& VertexInputs() const { return m_vertexInputs; }

private:
    std::string m_sSymbol;
    bool m_bHasSymbol = false;
    std::string m_sTarget;
    bool m_bHasTarget = false;
    CEl_Material* m_pMaterial = nullptr;
    std::vector<CEl_Bind_vertex_input*> m_vertexInputs;
};

class CEl_Instance_geometry : public CEl_Instance {
public:
    CEl_Instance_geometry() : CEl_Instance(eEl_instance_geometry) {}
    bool AddChild(CDAEObject* child) override;
    const std::vector<CEl_Instance_material*>& Materials() const { return m_materials; }

private:
    std::vector<CEl_Instance_material*> m_materials;
};

class CEl_Instance_controller : public CEl_Instance {
public:
    CEl_Instance_controller() : CEl_Instance(eEl_instance_controller) {}
    bool AddChild(CDAEObject* child) override;
    bool Resolve(CDAEIndex& index) override;
    const std::vector<CEl_Instance_material*>& Materials() const { return m_materials; }

private:
    std::vector<CEl_Instance_material*> m_materials;
    std::vector<std::string> m_skeletonUrls;
    std::vector<CDAEObject*> m_skeletons;
};

class CEl_Instance_camera : public CEl_Instance {
public:
    CEl_Instance_camera() : CEl_Instance(eEl_instance_camera) {}
};

class CEl_Setparam;

class CEl_Instance_effect : public CEl_Instance {
public:
    CEl_Instance_effect() : CEl_Instance(eEl_instance_effect) {}
    bool AddChild(CDAEObject* child) override;
    // The setparam whose ref equals sid exactly, or null.
    const CEl_Setparam* FindSetparam(const char* sid) const;

private:
    std::vector<CEl_Setparam*> m_setparams;
};

class CEl_Scene : public CDAEObject {
public:
    CEl_Scene() : CDAEObject(eEl_scene) {}
    bool AddChild(CDAEObject* child) override;
    CEl_Instance* InstanceVisualScene() const { return m_pInstanceVisualScene; }

private:
    CEl_Instance* m_pInstanceVisualScene = nullptr;
};

// The animation library; sampling is filled in by the animation code.
class CEl_Library_Animations : public CDAEObject {
public:
    CEl_Library_Animations() : CDAEObject(eEl_library_animations) {}
    bool AddChild(CDAEObject* child) override;
    const std::vector<CDAEObject*>& Animations() const { return m_animations; }

private:
    std::vector<CDAEObject*> m_animations;
};

// The document root: asset, scene, the library lists and the index.
class CEl_Collada : public CDAEObject {
public:
    enum ELibrary {
        eLibVisualScenes,
        eLibMaterials,
        eLibGeometries,
        eLibLights,
        eLibImages,
        eLibEffects,
        eLibCameras,
        eLibAnimations,
        eLibControllers,
        eLibNodes,
        eLibCount
    };

    CEl_Collada();
    ~CEl_Collada() override;
    bool SetAttribute(const char* name, const char* value) override;
    bool AddChild(CDAEObject* child) override;

    CEl_Scene* Scene() const { return m_pScene; }
    const std::vector<CDAEObject*>& Libraries(ELibrary library) const { return m_libraries[library]; }
    const std::string& Version() const { return m_sVersion; }
    CDAEIndex& Index() { return m_index; }
    const CDAEIndex& Index() const { return m_index; }

    // Y up without an asset's up_axis, none without an asset.
    EUpAxis UpAxisMode() const;
    // Metres per unit of the document's asset; 1 without one.
    double UnitMeter() const;
    // The visual scene the scene element instances, or null.
    CDAEObject* VisualScene() const;

    static ELibrary LibraryOf(EElementKind kind);

private:
    CDAEIndex m_index;
    CEl_Asset* m_pAsset = nullptr;
    CEl_Scene* m_pScene = nullptr;
    std::vector<CDAEObject*> m_libraries[eLibCount];
    std::string m_sVersion;
};
