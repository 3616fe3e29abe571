#include "collada/ElMaterial.h"

#include <cstring>

#include "collada/DAENumbers.h"
#include "collada/ElCore.h"
#include "collada/ElGLSL.h"

namespace {

struct SWordRow {
    const char* document;
    const char* effectFile;
};

const SWordRow kWrapWords[] = {
    {"none", "NONE"}, {"clamp", "CLAMP"}, {"wrap", "REPEAT"}, {"mirror", "NONE"}, {"border", "NONE"},
};

const SWordRow kFilterWords[] = {
    {"none", "NONE"},
    {"linear", "LINEAR"},
    {"nearest", "NEAREST"},
    {"nearest_mipmap_nearest", "NONE"},
    {"linear_mipmap_nearest", "NONE"},
    {"nearest_mipmap_linear", "NONE"},
    {"linear_mipmap_linear", "NONE"},
};

template <size_t N>
const char* MapWord(const SWordRow (&table)[N], const char* text)
{
    const std::string_view word = TrimDAE(text ? text : "");
    for (const SWordRow& row : table)
        if (EqualsNoCase(word, row.document))
            return row.effectFile;
    return nullptr;
}

struct SValueType {
    EElementKind kind;
    const char* typeName;
    const char* constructor;
};

const SValueType kValueTypes[] = {
    {eEl_bool, "BOOL", "bool("},
    {eEl_bool2, "BOOL2", "bvec2("},
    {eEl_bool3, "BOOL3", "bvec3("},
    {eEl_bool4, "BOOL4", "bvec4("},
    {eEl_int, "INT", "int("},
    {eEl_int2, "INT2", "ivec2("},
    {eEl_int3, "INT3", "ivec3("},
    {eEl_int4, "INT4", "ivec4("},
    {eEl_float, "FLOAT", "float("},
    {eEl_float2, "FLOAT2", "vec2("},
    {eEl_float3, "FLOAT3", "vec3("},
    {eEl_float4, "FLOAT4", "vec4("},
    {eEl_float2x2, "FLOAT2X2", "mat2("},
    {eEl_float3x3, "FLOAT3X3", "mat3("},
    {eEl_float4x4, "FLOAT4X4", "mat4("},
};

const SValueType* FindValueType(EElementKind kind)
{
    for (const SValueType& t : kValueTypes)
        if (t.kind == kind)
            return &t;
    return nullptr;
}

} // namespace

// ---------------------------------------------------------------- image, sampler, surface

bool CEl_Image::AddChild(CDAEObject* child)
{
    if (child->Kind() != eEl_init_from)
        return false;
    m_sInitFrom = TrimmedDAE(child->GetContent());
    const size_t slash = m_sInitFrom.find_last_of("/\\");
    m_sFileName = slash == std::string::npos ? m_sInitFrom : m_sInitFrom.substr(slash + 1);
    return CDAEObject::AddChild(child);
}

bool CEl_Sampler2D::AddChild(CDAEObject* child)
{
    const char* text = child->GetContent();
    switch (child->Kind()) {
    case eEl_source: m_sSource = TrimmedDAE(text); break;
    case eEl_wrap_s: m_apszWords[eWrapS] = MapWord(kWrapWords, text); break;
    case eEl_wrap_t: m_apszWords[eWrapT] = MapWord(kWrapWords, text); break;
    case eEl_minfilter: m_apszWords[eMinFilter] = MapWord(kFilterWords, text); break;
    case eEl_magfilter: m_apszWords[eMagFilter] = MapWord(kFilterWords, text); break;
    case eEl_mipfilter: m_apszWords[eMipFilter] = MapWord(kFilterWords, text); break;
    default: return false;
    }
    return CDAEObject::AddChild(child);
}

bool CEl_Sampler2D::AnyFilterOrWrap() const
{
    for (const char* w : m_apszWords)
        if (w)
            return true;
    return false;
}

bool CEl_Surface::AddChild(CDAEObject* child)
{
    if (child->Kind() != eEl_init_from)
        return false;
    if (!m_bHasInitFrom) {
        m_sInitFrom = TrimmedDAE(child->GetContent());
        m_bHasInitFrom = true;
    }
    return CDAEObject::AddChild(child);
}

// ---------------------------------------------------------------- parameters

const char* CParamData::TypeName(EElementKind valueKind)
{
    const SValueType* t = FindValueType(valueKind);
    return t ? t->typeName : nullptr;
}

bool CParamData::IsValueKind(EElementKind kind)
{
    return FindValueType(kind) != nullptr;
}

bool CParamData::AddChild(CDAEObject* child)
{
    const EElementKind kind = child->Kind();
    if (kind == eEl_semantic) {
        m_sSemantic = TrimmedDAE(child->GetContent());
        m_bHasSemantic = true;
    } else if (const SValueType* type = FindValueType(kind)) {
        m_eValueType = kind;
        m_sValueList.clear();
        ForEachDAEToken(child->GetContent(), [this](std::string_view token) {
            if (!m_sValueList.empty())
                m_sValueList += ',';
            m_sValueList += token;
        });
        m_sConstructor = std::string(type->constructor) + m_sValueList + ")";
    } else if (kind == eEl_sampler2D) {
        m_pSampler = static_cast<CEl_Sampler2D*>(child);
    } else if (kind == eEl_surface) {
        m_pSurface = static_cast<CEl_Surface*>(child);
    } else {
        return false;
    }
    return CDAEObject::AddChild(child);
}

bool CEl_Setparam::SetAttribute(const char* name, const char* value)
{
    if (CDAEObject::SetAttribute(name, value))
        return true;
    if (EqualsNoCase(name, "ref")) {
        m_sRef = value ? value : "";
        m_bHasRef = true;
        return true;
    }
    return false;
}

namespace {
// First parameter of the scope with this sid, or null.
const CEl_Newparam* FindInScope(const std::vector<CEl_Newparam*>& scope, const std::string& sid)
{
    for (const CEl_Newparam* p : scope)
        if (p->GetSid() && sid == p->GetSid())
            return p;
    return nullptr;
}
} // namespace

const CEl_Image* ResolveSamplerImage(const CEl_Sampler2D* sampler, const std::vector<CEl_Newparam*>& scope,
                                     const CDAEIndex& index)
{
    if (!sampler)
        return nullptr;
    const CDAEObject* param = FindInScope(scope, sampler->Source());
    if (!param)
        param = index.FindObject(sampler->Source().c_str(), eMatchAny, eCatAll);
    if (!param || param->Kind() != eEl_newparam)
        return nullptr;
    const CEl_Surface* surface = static_cast<const CEl_Newparam*>(param)->Surface();
    if (!surface)
        return nullptr;
    return index.Find<const CEl_Image>(surface->InitFrom().c_str(), eMatchAny, eCatAll, eEl_image);
}

// ---------------------------------------------------------------- texture

bool CEl_Texture::SetAttribute(const char* name, const char* value)
{
    if (CDAEObject::SetAttribute(name, value))
        return true;
    if (EqualsNoCase(name, "texture")) {
        m_sTexture = value ? value : "";
        m_bHasTexture = true;
        return true;
    }
    if (EqualsNoCase(name, "texcoord")) {
        m_sTexCoord = value ? value : "";
        return true;
    }
    return false;
}

bool CEl_Texture::Resolve(CDAEIndex& index)
{
    if (!m_bHasTexture)
        return true;
    // Parameter sids are scoped to their effect; two effects may both use
    // "diffuse-sampler" for different images.
    const CDAEObject* target = m_pEffect ? m_pEffect->FindNewparam(m_sTexture.c_str()) : nullptr;
    if (!target)
        target = index.FindObject(m_sTexture.c_str(), eMatchAny, eCatAll);
    if (!target)
        return true;
    if (target->Kind() == eEl_image) {
        m_pImage = static_cast<const CEl_Image*>(target);
    } else if (target->Kind() == eEl_newparam) {
        static const std::vector<CEl_Newparam*> kNoScope;
        m_pImage = ResolveSamplerImage(static_cast<const CEl_Newparam*>(target)->Sampler(),
                                       m_pEffect ? m_pEffect->Newparams() : kNoScope, index);
    }
    return true;
}

// ---------------------------------------------------------------- common shader values

bool CCommon_Color_or_Texture_Type::SetAttribute(const char* name, const char* value)
{
    if (CDAEObject::SetAttribute(name, value))
        return true;
    if (!EqualsNoCase(name, "opaque"))
        return false;
    if (EqualsNoCase(value, "A_ONE"))
        m_eOpaque = eOpaqueAOne;
    else if (EqualsNoCase(value, "RGB_ZERO"))
        m_eOpaque = eOpaqueRGBZero;
    else
        return false;
    return true;
}

bool CCommon_Color_or_Texture_Type::AddChild(CDAEObject* child)
{
    switch (child->Kind()) {
    case eEl_color: {
        float c[4];
        if (DAEParseFloatsExactly(child->GetContent(), c, 4) == 4)
            m_colour = {c[0], c[1], c[2], c[3]};
        m_eHolds = eHoldsColour;
        break;
    }
    case eEl_texture:
        m_pTexture = static_cast<CEl_Texture*>(child);
        m_eHolds = eHoldsTexture;
        break;
    case eEl_param: m_eHolds = eHoldsParam; break;
    default: return false;
    }
    return CDAEObject::AddChild(child);
}

bool CCommon_Float_or_Param_Type::AddChild(CDAEObject* child)
{
    if (child->Kind() == eEl_float) {
        const char* text = child->GetContent();
        m_fValue = DAEParseFloat(text);
        if (text && std::strchr(text, ',') && DAEDecimalCommas(text, 1) == eDAEDecimalCommas) {
            m_fValue = DAEParseFloat(DAEDecimalCommasToPoints(text).c_str());
            child->NoteDecimalCommas();
        }
        m_bHasValue = true;
    } else if (child->Kind() == eEl_param) {
        m_bParam = true;
    } else {
        return false;
    }
    return CDAEObject::AddChild(child);
}

bool CEl_Shader1::AddChild(CDAEObject* child)
{
    auto colour = [child] { return static_cast<CCommon_Color_or_Texture_Type*>(child); };
    auto value = [child] { return static_cast<CCommon_Float_or_Param_Type*>(child); };
    switch (child->Kind()) {
    case eEl_emission: m_pEmission = colour(); break;
    case eEl_ambient: m_pAmbient = colour(); break;
    case eEl_diffuse: m_pDiffuse = colour(); break;
    case eEl_reflective: m_pReflective = colour(); break;
    case eEl_transparent: m_pTransparent = colour(); break;
    case eEl_reflectivity: m_pReflectivity = value(); break;
    case eEl_transparency: m_pTransparency = value(); break;
    case eEl_index_of_refraction: m_pIndexOfRefraction = value(); break;
    default: return false;
    }
    return CDAEObject::AddChild(child);
}

bool CEl_Shader2::AddChild(CDAEObject* child)
{
    if (child->Kind() == eEl_specular)
        m_pSpecular = static_cast<CCommon_Color_or_Texture_Type*>(child);
    else if (child->Kind() == eEl_shininess)
        m_pShininess = static_cast<CCommon_Float_or_Param_Type*>(child);
    else
        return CEl_Shader1::AddChild(child);
    return CDAEObject::AddChild(child);
}

// ---------------------------------------------------------------- profile, effect, material

bool CEl_Profile_common::AddChild(CDAEObject* child)
{
    switch (child->Kind()) {
    case eEl_lambert:
    case eEl_phong:
    case eEl_blinn: m_pTechnique = static_cast<CEl_Shader1*>(child); break;
    case eEl_newparam: break;
    default: return false;
    }
    return CDAEObject::AddChild(child);
}

bool CEl_Effect::AddChild(CDAEObject* child)
{
    switch (child->Kind()) {
    case eEl_profile_common: m_pProfileCommon = static_cast<CEl_Profile_common*>(child); break;
    case eEl_profile_glsl: m_pProfileGLSL = static_cast<CEl_Profile_GLSL*>(child); break;
    case eEl_newparam: break;
    default: return false;
    }
    return CDAEObject::AddChild(child);
}

bool CEl_Effect::Resolve(CDAEIndex&)
{
    // The effect resolves before anything inside it (it was registered
    // first): collect its parameters and tell its textures where they live.
    std::vector<CDAEObject*> stack{this};
    while (!stack.empty()) {
        CDAEObject* o = stack.back();
        stack.pop_back();
        if (o->Kind() == eEl_newparam)
            m_newparams.push_back(static_cast<CEl_Newparam*>(o));
        else if (o->Kind() == eEl_texture)
            static_cast<CEl_Texture*>(o)->SetEffect(this);
        std::vector<CDAEObject*> children;
        for (CDAEObject* c : Children(o))
            children.push_back(c);
        stack.insert(stack.end(), children.rbegin(), children.rend());
    }
    return true;
}

CEl_Newparam* CEl_Effect::FindNewparam(const char* sid) const
{
    if (!sid)
        return nullptr;
    for (CEl_Newparam* p : m_newparams)
        if (p->GetSid() && std::string_view(p->GetSid()) == sid)
            return p;
    return nullptr;
}

bool CEl_Material::AddChild(CDAEObject* child)
{
    if (child->Kind() != eEl_instance_effect)
        return false;
    m_pInstanceEffect = static_cast<CEl_Instance_effect*>(child);
    return CDAEObject::AddChild(child);
}

CEl_Effect* CEl_Material::Effect() const
{
    CDAEObject* target = m_pInstanceEffect ? m_pInstanceEffect->Target() : nullptr;
    return (target && target->Kind() == eEl_effect) ? static_cast<CEl_Effect*>(target) : nullptr;
}
