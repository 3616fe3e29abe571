#pragma once
// Nodes with their transforms and instances, cameras and lights.
#include <string>
#include <vector>

#include "collada/DAEIndex.h"
#include "collada/DAEObject.h"
#include "scene/ImportScene.h"

class CEl_Instance;

enum ENodeType : int { eNodeTypeNode = 0, eNodeTypeJoint = 1 };

enum ENodeContent : int {
    eNodeContentPlain = 0,
    eNodeContentGeometry,
    eNodeContentController,
    eNodeContentJoint,
    eNodeContentLight,
    eNodeContentCamera,
    eNodeContentInstanceNode,
};

enum ETransformKind : int {
    eXformTranslate = 0,
    eXformScale,
    eXformMatrix,
    eXformLookat,
    eXformRotateX, // a rotate whose axis is +X or -X
    eXformRotateY,
    eXformRotateZ,
    eXformRotateOther,
};

inline bool IsRotation(ETransformKind k)
{
    return k >= eXformRotateX;
}

// One transform element of a node: its values as the document writes them
// (translate and scale 3, rotate 4 with the angle in degrees, matrix 16 row
// by row, lookat 9) and the matrix they make. Animation replaces values and
// rebuilds the matrix with TransformMatrix.
struct SNodeTransform {
    SMatrix44 m = MatrixIdentity();
    ETransformKind eKind = eXformTranslate;
    float values[16] = {};
    const CDAEObject* pElement = nullptr; // for its sid
};

// The matrix of a transform element of the given kind from its values.
SMatrix44 TransformMatrix(ETransformKind kind, const float* values);
// A node's transforms composed in document order (Collada's rule: the first
// element is the outermost), in the document's own frame.
SMatrix44 ComposeTransforms(const std::vector<SNodeTransform>& transforms);

class CEl_Node : public CDAEObject {
public:
    // parentNode: the enclosing node or null; container: visual_scene or
    // library_nodes for converted nodes (inherited from the parent node).
    CEl_Node(CEl_Node* parentNode, EElementKind container);
    bool SetAttribute(const char* name, const char* value) override;
    bool AddChild(CDAEObject* child) override;

    ENodeContent Content() const { return m_eContent; }
    EElementKind Container() const { return m_eContainer; }
    CEl_Node* ParentNode() const { return m_pParentNode; }
    bool IsTopLevel() const { return m_pParentNode == nullptr; }
    CEl_Instance* Instance() const { return m_pInstance; }
    const std::vector<CEl_Node*>& ChildNodes() const { return m_childNodes; }
    const std::vector<SNodeTransform>& Transforms() const { return m_transforms; }
    // The instanced node of an instance_node, when it resolved.
    CEl_Node* InstancedNode() const;

    // Conversion marks of the running import.
    int32_t ConvertedIndex() const { return m_iConverted; }
    void SetConvertedIndex(int32_t index) { m_iConverted = index; }
    std::vector<int32_t>& MeshRecords() { return m_meshRecords; }
    const std::vector<int32_t>& MeshRecords() const { return m_meshRecords; }

    // Metres per unit of the node's own asset; 0 without one.
    double OwnMeter() const;
    // What the import scales the node's translations by (1 unless the
    // document's units are applied).
    float UnitScale() const { return m_fUnitScale; }
    void SetUnitScale(float scale) { m_fUnitScale = scale; }

private:
    void AddTransform(ETransformKind kind, const float* values, size_t count, const CDAEObject* element);
    bool ParseTransform(CDAEObject* child);

    ENodeType m_eType = eNodeTypeNode;
    ENodeContent m_eContent = eNodeContentPlain;
    EElementKind m_eContainer;
    CEl_Node* m_pParentNode;
    CEl_Instance* m_pInstance = nullptr;
    std::vector<CEl_Node*> m_childNodes;
    std::vector<SNodeTransform> m_transforms;
    SMatrix44 m_accumulated = MatrixIdentity();
    int32_t m_iConverted = -1;
    std::vector<int32_t> m_meshRecords;
    const CDAEObject* m_pAsset = nullptr;
    float m_fUnitScale = 1;
};

class CEl_Perspective : public CDAEObject {
public:
    CEl_Perspective() : CDAEObject(eEl_perspective) {}
    bool AddChild(CDAEObject* child) override;

    bool HasXFov() const { return m_bXFov; }
    bool HasYFov() const { return m_bYFov; }
    float XFov() const { return m_fXFov; } // radians
    float YFov() const { return m_fYFov; } // radians
    float AspectRatio() const { return m_fAspect; }
    float ZNear() const { return m_fNear; }
    float ZFar() const { return m_fFar; }
    // The vertical field of view a camera record gets: yfov when given,
    // else from xfov and the aspect ratio (width / height; 1 when absent):
    // 2 atan(tan(xfov / 2) / aspect).
    float VerticalFov() const;

private:
    float m_fXFov = 0;
    float m_fYFov = 0;
    bool m_bXFov = false;
    bool m_bYFov = false;
    float m_fAspect = 1;
    float m_fNear = 0;
    float m_fFar = 0;
};

class CEl_Camera : public CDAEObject {
public:
    CEl_Camera() : CDAEObject(eEl_camera) {}
    bool AddChild(CDAEObject* child) override;
    bool Resolve(CDAEIndex& index) override;
    CEl_Perspective* Perspective() const { return m_pPerspective; }
    CEl_Node* TargetNode() const { return m_pTargetNode; }

private:
    CEl_Perspective* m_pPerspective = nullptr;
    std::string m_sTarget;
    bool m_bHasTarget = false;
    CEl_Node* m_pTargetNode = nullptr;
};

// Named apart from the scene model's light types, so both headers can meet.
enum ELightTechnique : int { eLightTechAmbient, eLightTechDirectional, eLightTechPoint, eLightTechSpot };

class CEl_LightType : public CDAEObject {
public:
    explicit CEl_LightType(EElementKind kind);
    bool AddChild(CDAEObject* child) override;
    ELightTechnique Technique() const { return m_eTechnique; }
    const SVec4& Colour() const { return m_colour; }
    float ConstantAttenuation() const { return m_fConstant; }
    float LinearAttenuation() const { return m_fLinear; }
    float QuadraticAttenuation() const { return m_fQuadratic; }
    float FalloffAngle() const { return m_fFalloffAngle; } // radians
    float FalloffExponent() const { return m_fFalloffExponent; }

private:
    ELightTechnique m_eTechnique;
    SVec4 m_colour{0, 0, 0, 1};
    float m_fConstant = 1;
    float m_fLinear = 0;
    float m_fQuadratic = 0;
    float m_fFalloffAngle = 3.14159265358979f;
    float m_fFalloffExponent = 0;
};

class CEl_Light : public CDAEObject {
public:
    CEl_Light() : CDAEObject(eEl_light) {}
    bool AddChild(CDAEObject* child) override;
    CEl_LightType* Technique() const { return m_pTechnique; }

private:
    CEl_LightType* m_pTechnique = nullptr;
};
