#pragma once
// Materials, effects, the profile_COMMON shaders, textures, samplers,
// surfaces, images and effect parameters.
#include <string>
#include <vector>

#include "collada/DAEIndex.h"
#include "collada/DAEObject.h"
#include "scene/ImportScene.h"

class CEl_Effect;
class CEl_Image;
class CEl_Instance_effect;
class CEl_Instance_material;
class CEl_Profile_GLSL;
class CEl_Sampler2D;
class CEl_Surface;

class CEl_Image : public CDAEObject {
public:
    CEl_Image() : CDAEObject(eEl_image) {}
    bool AddChild(CDAEObject* child) override;
    const std::string& InitFrom() const { return m_sInitFrom; }
    // The part of init_from after its last '/' or '\'.
    const std::string& FileName() const { return m_sFileName; }

private:
    std::string m_sInitFrom;
    std::string m_sFileName;
};

// wrap_* and *filter words mapped to the words of effect files.
class CEl_Sampler2D : public CDAEObject {
public:
    enum EWord { eWrapS, eWrapT, eMinFilter, eMagFilter, eMipFilter, eWordCount };
    CEl_Sampler2D() : CDAEObject(eEl_sampler2D) {}
    bool AddChild(CDAEObject* child) override;
    const std::string& Source() const { return m_sSource; }
    // The effect-file word, or null when the document gives none (or an
    // unknown one).
    const char* Word(EWord w) const { return m_apszWords[w]; }
    bool AnyFilterOrWrap() const;
    bool AnyWrap() const { return m_apszWords[eWrapS] || m_apszWords[eWrapT]; }

private:
    std::string m_sSource;
    const char* m_apszWords[eWordCount] = {};
};

class CEl_Surface : public CDAEObject {
public:
    CEl_Surface() : CDAEObject(eEl_surface) {}
    bool AddChild(CDAEObject* child) override;
    const std::string& InitFrom() const { return m_sInitFrom; }

private:
    std::string m_sInitFrom;
    bool m_bHasInitFrom = false;
};

enum EParamUsage : int { eParamUniform = 0, eParamAttribute = 1 };

// A newparam or setparam: semantic, one typed value, sampler or surface.
class CParamData : public CDAEObject {
public:
    explicit CParamData(EElementKind kind) : CDAEObject(kind) {}
    bool AddChild(CDAEObject* child) override;

    const std::string& Semantic() const { return m_sSemantic; }
    bool HasSemantic() const { return m_bHasSemantic; }
    EElementKind ValueType() const { return m_eValueType; }           // eEl_none without a value
    const std::string& ValueList() const { return m_sValueList; }     // "1,0,0,1"
    const std::string& Constructor() const { return m_sConstructor; } // "vec4(1,0,0,1)"
    CEl_Sampler2D* Sampler() const { return m_pSampler; }
    CEl_Surface* Surface() const { return m_pSurface; }
    EParamUsage Usage() const { return m_eUsage; }
    void SetUsage(EParamUsage usage) { m_eUsage = usage; }

    // "FLOAT4" and the like; null for other kinds.
    static const char* TypeName(EElementKind valueKind);
    static bool IsValueKind(EElementKind kind);

private:
    std::string m_sSemantic;
    bool m_bHasSemantic = false;
    EElementKind m_eValueType = eEl_none;
    std::string m_sValueList;
    std::string m_sConstructor;
    CEl_Sampler2D* m_pSampler = nullptr;
    CEl_Surface* m_pSurface = nullptr;
    EParamUsage m_eUsage = eParamUniform;
};

class CEl_Newparam : public CParamData {
public:
    CEl_Newparam() : CParamData(eEl_newparam) {}
};

class CEl_Setparam : public CParamData {
public:
    CEl_Setparam() : CParamData(eEl_setparam) {}
    bool SetAttribute(const char* name, const char* value) override;
    const std::string& Ref() const { return m_sRef; }
    bool HasRef() const { return m_bHasRef; }

private:
    std::string m_sRef;
    bool m_bHasRef = false;
};

// The image a sampler reaches: source (a surface parameter's sid) -> surface
// init_from -> image. Parameters of the sampler's own effect are preferred to
// equal sids elsewhere in the document.
const CEl_Image* ResolveSamplerImage(const CEl_Sampler2D* sampler, const std::vector<CEl_Newparam*>& scope,
                                     const CDAEIndex& index);

class CEl_Texture : public CDAEObject {
public:
    CEl_Texture() : CDAEObject(eEl_texture) {}
    bool SetAttribute(const char* name, const char* value) override;
    bool Resolve(CDAEIndex& index) override;
    const CEl_Image* Image() const { return m_pImage; }
    void SetEffect(CEl_Effect* effect) { m_pEffect = effect; }

private:
    std::string m_sTexture;
    bool m_bHasTexture = false;
    std::string m_sTexCoord;
    CEl_Effect* m_pEffect = nullptr;
    const CEl_Image* m_pImage = nullptr;
};

enum EOpaqueMode : int { eOpaqueAOne = 0, eOpaqueRGBZero = 1 };

class CCommon_Color_or_Texture_Type : public CDAEObject {
public:
    enum EHolds { eHoldsNothing, eHoldsColour, eHoldsTexture, eHoldsParam };
    explicit CCommon_Color_or_Texture_Type(EElementKind kind) : CDAEObject(kind) {}
    bool SetAttribute(const char* name, const char* value) override;
    bool AddChild(CDAEObject* child) override;
    EHolds Holds() const { return m_eHolds; }
    const SVec4& Colour() const { return m_colour; }
    CEl_Texture* Texture() const { return m_pTexture; }
    EOpaqueMode Opaque() const { return m_eOpaque; }

private:
    EHolds m_eHolds = eHoldsNothing;
    SVec4 m_colour{1, 1, 1, 1};
    CEl_Texture* m_pTexture = nullptr;
    EOpaqueMode m_eOpaque = eOpaqueAOne;
};

class CCommon_Float_or_Param_Type : public CDAEObject {
public:
    explicit CCommon_Float_or_Param_Type(EElementKind kind) : CDAEObject(kind) {}
    bool AddChild(CDAEObject* child) override;
    bool HasValue() const { return m_bHasValue; }
    float Value() const { return m_fValue; }

private:
    float m_fValue = 0;
    bool m_bHasValue = false;
    bool m_bParam = false;
};

// lambert; phong and blinn add specular and shininess.
class CEl_Shader1 : public CDAEObject {
public:
    explicit CEl_Shader1(EElementKind kind = eEl_lambert) : CDAEObject(kind) {}
    bool AddChild(CDAEObject* child) override;
    CCommon_Color_or_Texture_Type* Emission() const { return m_pEmission; }
    CCommon_Color_or_Texture_Type* Ambient() const { return m_pAmbient; }
    CCommon_Color_or_Texture_Type* Diffuse() const { return m_pDiffuse; }
    CCommon_Color_or_Texture_Type* Reflective() const { return m_pReflective; }
    CCommon_Color_or_Texture_Type* Transparent() const { return m_pTransparent; }
    CCommon_Float_or_Param_Type* Transparency() const { return m_pTransparency; }
    virtual CCommon_Color_or_Texture_Type* Specular() const { return nullptr; }
    virtual CCommon_Float_or_Param_Type* Shininess() const { return nullptr; }

private:
    CCommon_Color_or_Texture_Type* m_pEmission = nullptr;
    CCommon_Color_or_Texture_Type* m_pAmbient = nullptr;
    CCommon_Color_or_Texture_Type* m_pDiffuse = nullptr;
    CCommon_Color_or_Texture_Type* m_pReflective = nullptr;
    CCommon_Color_or_Texture_Type* m_pTransparent = nullptr;
    CCommon_Float_or_Param_Type* m_pReflectivity = nullptr;
    CCommon_Float_or_Param_Type* m_pTransparency = nullptr;
    CCommon_Float_or_Param_Type* m_pIndexOfRefraction = nullptr;
};

class CEl_Shader2 : public CEl_Shader1 {
public:
    explicit CEl_Shader2(EElementKind kind) : CEl_Shader1(kind) {}
    bool AddChild(CDAEObject* child) override;
    CCommon_Color_or_Texture_Type* Specular() const override { return m_pSpecular; }
    CCommon_Float_or_Param_Type* Shininess() const override { return m_pShininess; }

private:
    CCommon_Color_or_Texture_Type* m_pSpecular = nullptr;
    CCommon_Float_or_Param_Type* m_pShininess = nullptr;
};

class CEl_Profile_common : public CDAEObject {
public:
    CEl_Profile_common() : CDAEObject(eEl_profile_common) {}
    bool AddChild(CDAEObject* child) override;
    // The last lambert, phong or blinn technique.
    CEl_Shader1* Technique() const { return m_pTechnique; }

private:
    CEl_Shader1* m_pTechnique = nullptr;
};

class CEl_Effect : public CDAEObject {
public:
    CEl_Effect() : CDAEObject(eEl_effect) {}
    bool AddChild(CDAEObject* child) override;
    bool Resolve(CDAEIndex& index) override;
    CEl_Profile_common* ProfileCommon() const { return m_pProfileCommon; }
    CEl_Profile_GLSL* ProfileGLSL() const { return m_pProfileGLSL; }
    // Every newparam inside the effect, in document order: the scope in
    // which its textures and samplers look up parameter sids first.
    const std::vector<CEl_Newparam*>& Newparams() const { return m_newparams; }
    CEl_Newparam* FindNewparam(const char* sid) const;

private:
    CEl_Profile_common* m_pProfileCommon = nullptr;
    CEl_Profile_GLSL* m_pProfileGLSL = nullptr;
    std::vector<CEl_Newparam*> m_newparams;
};

class CEl_Material : public CDAEObject {
public:
    CEl_Material() : CDAEObject(eEl_material) {}
    bool AddChild(CDAEObject* child) override;
    CEl_Instance_effect* InstanceEffect() const { return m_pInstanceEffect; }
    CEl_Effect* Effect() const;
    // Position in the import scene's material list; -1 until converted.
    int32_t SceneIndex() const { return m_iSceneIndex; }
    void SetSceneIndex(int32_t index) { m_iSceneIndex = index; }
    // instance_material elements that target this material, in registration
    // order.
    const std::vector<CEl_Instance_material*>& Instances() const { return m_instances; }
    void AddInstance(CEl_Instance_material* instance) { m_instances.push_back(instance); }

private:
    CEl_Instance_effect* m_pInstanceEffect = nullptr;
    int32_t m_iSceneIndex = -1;
    std::vector<CEl_Instance_material*> m_instances;
};
