#pragma once
// Skin controllers: controller, skin (bind shape matrix, joints, inverse
// bind matrices) and vertex_weights (influences per vertex).
#include <string>
#include <vector>

#include "collada/UpAxis.h"
#include "collada/DAEIndex.h"
#include "collada/DAEObject.h"
#include "scene/ImportScene.h"

class CEl_Geometry;
class CEl_Input;
class CEl_Node;
class CEl_Skin;

class CEl_Vertex_weights : public CDAEObject {
public:
    CEl_Vertex_weights() : CDAEObject(eEl_vertex_weights) {}
    bool SetAttribute(const char* name, const char* value) override;
    bool AddChild(CDAEObject* child) override;
    // Finds where each vertex's entries start in v.
    bool Resolve(CDAEIndex& index) override;

    int32_t Count() const { return m_iCount; }
    const CEl_Input* JointInput() const { return m_pJoint; }
    const CEl_Input* WeightInput() const { return m_pWeight; }
    int InputCount() const { return m_iInputs; }
    const std::vector<int32_t>& VCount() const { return m_vcount; }
    const std::vector<int32_t>& V() const { return m_v; }
    // Per vertex, the position of its first entry in v; empty when the
    // counts ask for more entries than v holds.
    const std::vector<int64_t>& EntryStarts() const { return m_starts; }

private:
    int32_t m_iCount = 0;
    const CEl_Input* m_pJoint = nullptr;
    const CEl_Input* m_pWeight = nullptr;
    int m_iInputs = 0;
    std::vector<int32_t> m_vcount;
    std::vector<int32_t> m_v;
    std::vector<int64_t> m_starts;
};

class CEl_Skin : public CDAEObject {
public:
    CEl_Skin() : CDAEObject(eEl_skin) {}
    bool SetAttribute(const char* name, const char* value) override;
    bool AddChild(CDAEObject* child) override;

    const std::string& SourceUrl() const { return m_sSource; }
    // Transposed into the node matrix layout; identity by default.
    const SMatrix44& BindShapeMatrix() const { return m_bindShape; }
    const CEl_Input* JointInput() const { return m_pJoint; }
    const CEl_Input* InvBindInput() const { return m_pInvBind; }
    CEl_Vertex_weights* VertexWeights() const { return m_pWeights; }

    // Filled by PrepareSkin.
    struct SPrepared {
        CEl_Geometry* pGeometry = nullptr;
        std::vector<SMatrix44> invBind;
        std::vector<SMatrix44> jointMatrices;    // bind shape x inverse bind x joint world
        std::vector<const CEl_Node*> jointNodes; // null where no node was found
        // From the vertex weights: their weights and their joint count.
        const std::vector<float>* pWeights = nullptr;
        bool bWeightsNotFloat = false;
        int64_t iWeightJointCount = -1; // -1: no joint array
        bool bThroughMorph = false;     // the skin's source is a morph's base mesh
        size_t JointCount() const { return jointNodes.size(); }
    };
    const SPrepared& Prepared() const { return m_prepared; }
    SPrepared& Prepared() { return m_prepared; }

private:
    std::string m_sSource;
    SMatrix44 m_bindShape = MatrixIdentity();
    const CEl_Input* m_pJoint = nullptr;
    const CEl_Input* m_pInvBind = nullptr;
    CEl_Vertex_weights* m_pWeights = nullptr;
    SPrepared m_prepared;
};

// A morph: only its base mesh is read (targets and weights are not
// exported).
class CEl_Morph : public CDAEObject {
public:
    CEl_Morph() : CDAEObject(eEl_morph) {}
    bool SetAttribute(const char* name, const char* value) override;
    bool AddChild(CDAEObject* child) override;
    const std::string& SourceUrl() const { return m_sSource; }

private:
    std::string m_sSource;
};

class CEl_Controller : public CDAEObject {
public:
    CEl_Controller() : CDAEObject(eEl_controller) {}
    bool AddChild(CDAEObject* child) override;
    // Null for controllers without a skin.
    CEl_Skin* Skin() const { return m_pSkin; }
    // Null for controllers without a morph.
    CEl_Morph* Morph() const { return m_pMorph; }

private:
    CEl_Skin* m_pSkin = nullptr;
    CEl_Morph* m_pMorph = nullptr;
};

// The geometry a skin's or morph's source names: a geometry directly, or the
// base mesh of a morph controller (followed through further morphs). Sets
// *throughMorph when a morph was passed. Null when nothing resolves.
CEl_Geometry* ControllerSourceGeometry(const std::string& url, const CDAEIndex& index, bool* throughMorph);
