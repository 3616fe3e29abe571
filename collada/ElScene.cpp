#include "collada/ElScene.h"

#include <algorithm>
#include <cmath>

#include "collada/UpAxis.h"
#include "collada/DAEMath.h"
#include "collada/DAENumbers.h"
#include "collada/ElCore.h"

CEl_Node::CEl_Node(CEl_Node* parentNode, EElementKind container)
    : CDAEObject(eEl_node), m_eContainer(container), m_pParentNode(parentNode)
{
}

bool CEl_Node::SetAttribute(const char* name, const char* value)
{
    if (CDAEObject::SetAttribute(name, value))
        return true;
    if (!EqualsNoCase(name, "type"))
        return false;
    if (EqualsNoCase(value, "JOINT")) {
        m_eType = eNodeTypeJoint;
        m_eContent = eNodeContentJoint;
        return true;
    }
    if (EqualsNoCase(value, "NODE")) {
        m_eType = eNodeTypeNode;
        return true;
    }
    return false;
}

SMatrix44 TransformMatrix(ETransformKind kind, const float* v)
{
    switch (kind) {
    case eXformTranslate: return TranslationMatrix(v[0], v[1], v[2]);
    case eXformScale: return ScaleMatrix(v[0], v[1], v[2]);
    case eXformMatrix: {
        // Documents write matrices row by row for column vectors; ours act on
        // row vectors, so the translation column becomes elements 12-14.
        SMatrix44 m{};
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                m[size_t(4 * i + j)] = v[4 * j + i];
        return m;
    }
    case eXformLookat: {
        const float* eye = v;
        const float* interest = v + 3;
        const float* up = v + 6;
        float z[3] = {eye[0] - interest[0], eye[1] - interest[1], eye[2] - interest[2]};
        Normalise3(z);
        float x[3] = {up[1] * z[2] - up[2] * z[1], up[2] * z[0] - up[0] * z[2], up[0] * z[1] - up[1] * z[0]};
        Normalise3(x);
        float y[3] = {z[1] * x[2] - z[2] * x[1], z[2] * x[0] - z[0] * x[2], z[0] * x[1] - z[1] * x[0]};
        Normalise3(y);
        // The node's own axes are x, y and z (it looks along -z, at the
        // interest point): for row vectors they are the rows. The node sits
        // at the eye: its local origin must land there, as it does for the
        // same camera placed by translate and rotate.
        SMatrix44 m{};
        m[0] = x[0], m[1] = x[1], m[2] = x[2];
        m[4] = y[0], m[5] = y[1], m[6] = y[2];
        m[8] = z[0], m[9] = z[1], m[10] = z[2];
        m[15] = 1;
        m[12] = eye[0];
        m[13] = eye[1];
        m[14] = eye[2];
        return m;
    }
    default: {
        float axis[3] = {v[0], v[1], v[2]};
        Normalise3(axis);
        return RotationMatrix(axis[0], axis[1], axis[2], v[3]);
    }
    }
}

SMatrix44 ComposeTransforms(const std::vector<SNodeTransform>& transforms)
{
    // Row vectors: each later element acts on the points first.
    SMatrix44 a = MatrixIdentity();
    for (const SNodeTransform& t : transforms)
        a = MatrixMultiply(t.m, a);
    return a;
}

void CEl_Node::AddTransform(ETransformKind kind, const float* values, size_t count, const CDAEObject* element)
{
    SNodeTransform transform;
    transform.eKind = kind;
    std::copy(values, values + count, transform.values);
    transform.pElement = element;
    transform.m = TransformMatrix(kind, values);
    m_accumulated = MatrixMultiply(transform.m, m_accumulated);
    m_transforms.push_back(transform);
}

bool CEl_Node::ParseTransform(CDAEObject* child)
{
    const char* text = child->GetContent();
    switch (child->Kind()) {
    case eEl_translate:
    case eEl_scale: {
        float v[3];
        if (DAEParseFloatsExactly(text, v, 3) != 3)
            return false;
        AddTransform(child->Kind() == eEl_translate ? eXformTranslate : eXformScale, v, 3, child);
        return true;
    }
    case eEl_rotate: {
        float v[4];
        if (DAEParseFloatsExactly(text, v, 4) != 4)
            return false;
        // A zero angle is kept (it composes to the identity): animation may
        // turn it.
        float axis[3] = {v[0], v[1], v[2]};
        Normalise3(axis);
        ETransformKind kind = eXformRotateOther;
        if ((axis[0] == 1 || axis[0] == -1) && axis[1] == 0 && axis[2] == 0)
            kind = eXformRotateX;
        else if (axis[0] == 0 && (axis[1] == 1 || axis[1] == -1) && axis[2] == 0)
            kind = eXformRotateY;
        else if (axis[0] == 0 && axis[1] == 0 && (axis[2] == 1 || axis[2] == -1))
            kind = eXformRotateZ;
        AddTransform(kind, v, 4, child);
        return true;
    }
    case eEl_matrix: {
        float d[16];
        if (DAEParseFloatsExactly(text, d, 16) != 16)
            return false;
        AddTransform(eXformMatrix, d, 16, child);
        return true;
    }
    case eEl_lookat: {
        float d[9];
        if (DAEParseFloatsExactly(text, d, 9) != 9)
            return false;
        AddTransform(eXformLookat, d, 9, child);
        return true;
    }
    default: return false; // skew and anything else
    }
}

bool CEl_Node::AddChild(CDAEObject* child)
{
    switch (child->Kind()) {
    case eEl_node: m_childNodes.push_back(static_cast<CEl_Node*>(child)); break;
    case eEl_asset:
        if (m_pAsset)
            return false;
        m_pAsset = child;
        break;
    case eEl_translate:
    case eEl_scale:
    case eEl_rotate:
    case eEl_matrix:
    case eEl_lookat:
        if (!ParseTransform(child))
            return false;
        break;
    case eEl_instance_geometry:
    case eEl_instance_controller:
    case eEl_instance_light:
    case eEl_instance_camera:
    case eEl_instance_node:
        // One instance per node: a later one replaces an earlier one.
        m_pInstance = static_cast<CEl_Instance*>(child);
        m_eContent = child->Kind() == eEl_instance_geometry     ? eNodeContentGeometry
                     : child->Kind() == eEl_instance_controller ? eNodeContentController
                     : child->Kind() == eEl_instance_light      ? eNodeContentLight
                     : child->Kind() == eEl_instance_camera     ? eNodeContentCamera
                                                                : eNodeContentInstanceNode;
        break;
    default: return false;
    }
    return CDAEObject::AddChild(child);
}

double CEl_Node::OwnMeter() const
{
    return m_pAsset ? static_cast<const CEl_Asset*>(m_pAsset)->Meter() : 0.0;
}

CEl_Node* CEl_Node::InstancedNode() const
{
    if (m_eContent != eNodeContentInstanceNode || !m_pInstance)
        return nullptr;
    CDAEObject* target = m_pInstance->Target();
    return (target && target->Kind() == eEl_node) ? static_cast<CEl_Node*>(target) : nullptr;
}

// ---------------------------------------------------------------- cameras

bool CEl_Perspective::AddChild(CDAEObject* child)
{
    const float value = DAEParseFloat(child->GetContent());
    switch (child->Kind()) {
    case eEl_xfov:
        m_fXFov = value * kDegToRad;
        m_bXFov = true;
        break;
    case eEl_yfov:
        m_fYFov = value * kDegToRad;
        m_bYFov = true;
        break;
    case eEl_aspect_ratio: m_fAspect = value; break;
    case eEl_znear: m_fNear = value; break;
    case eEl_zfar: m_fFar = value; break;
    default: return false;
    }
    return CDAEObject::AddChild(child);
}

float CEl_Perspective::VerticalFov() const
{
    if (m_bYFov || !m_bXFov)
        return m_fYFov;
    // A missing, zero or broken aspect ratio leaves the angle as it is.
    const float aspect = (m_fAspect > 0 && std::isfinite(m_fAspect)) ? m_fAspect : 1.0f;
    return float(2.0 * std::atan(std::tan(0.5 * double(m_fXFov)) / double(aspect)));
}

bool CEl_Camera::AddChild(CDAEObject* child)
{
    if (child->Kind() == eEl_perspective) {
        m_pPerspective = static_cast<CEl_Perspective*>(child);
    } else if (child->Kind() == eEl_target) {
        const char* text = child->GetContent();
        m_sTarget = text ? text : "";
        m_bHasTarget = true;
    } else {
        return false;
    }
    return CDAEObject::AddChild(child);
}

bool CEl_Camera::Resolve(CDAEIndex& index)
{
    if (m_bHasTarget) {
        const std::string target(TrimDAE(m_sTarget));
        m_pTargetNode = index.Find<CEl_Node>(target.c_str(), eMatchId | eMatchName, eCatNode, eEl_node);
    }
    return true;
}

// ---------------------------------------------------------------- lights

CEl_LightType::CEl_LightType(EElementKind kind)
    : CDAEObject(kind), m_eTechnique(kind == eEl_directional ? eLightTechDirectional
                                     : kind == eEl_point     ? eLightTechPoint
                                     : kind == eEl_spot      ? eLightTechSpot
                                                             : eLightTechAmbient)
{
}

bool CEl_LightType::AddChild(CDAEObject* child)
{
    const char* text = child->GetContent();
    switch (child->Kind()) {
    case eEl_color: {
        float c[4] = {0, 0, 0, 1};
        if (DAEParseFloatsUpTo(text, c, 4) < 3)
            return false;
        m_colour = {c[0], c[1], c[2], c[3]};
        break;
    }
    case eEl_constant_attenuation: m_fConstant = DAEParseFloat(text); break;
    case eEl_linear_attenuation: m_fLinear = DAEParseFloat(text); break;
    case eEl_quadratic_attenuation: m_fQuadratic = DAEParseFloat(text); break;
    case eEl_falloff_angle: m_fFalloffAngle = DAEParseFloat(text) * kDegToRad; break;
    case eEl_falloff_exponent: m_fFalloffExponent = DAEParseFloat(text); break;
    default: return false;
    }
    return CDAEObject::AddChild(child);
}

bool CEl_Light::AddChild(CDAEObject* child)
{
    switch (child->Kind()) {
    case eEl_ambient:
    case eEl_directional:
    case eEl_point:
    case eEl_spot: m_pTechnique = static_cast<CEl_LightType*>(child); return CDAEObject::AddChild(child);
    default: return false;
    }
}
