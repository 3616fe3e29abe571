#pragma once
// profile_GLSL: code and include blocks, parameters, passes and their
// vertex and fragment shaders with the binds that link symbols to
// parameters.
#include <string>
#include <vector>

#include "collada/DAEObject.h"

class CEl_Newparam;
class CEl_Param;
class CEl_Instance_effect;

// GLSL source; re-indented when resolved.
class CEl_Code : public CDAEObject {
public:
    CEl_Code() : CDAEObject(eEl_code) {}
    bool SetContent(const char* text) override;
    const char* GetContent() const override { return m_sText.c_str(); }
    bool Resolve(CDAEIndex& index) override;
    // The code with its common leading white space removed, each line
    // starting with two tabs, ending with a line feed.
    static std::string Reindent(const std::string& text);

private:
    std::string m_sText;
};

class CEl_Include : public CDAEObject {
public:
    CEl_Include() : CDAEObject(eEl_include) {}
    bool SetAttribute(const char* name, const char* value) override;
    const std::string& Url() const { return m_sUrl; }

private:
    std::string m_sUrl;
};

// A shader's entry: source names a code or include by sid.
class CEl_Name : public CDAEObject {
public:
    CEl_Name() : CDAEObject(eEl_name) {}
    bool SetAttribute(const char* name, const char* value) override;
    const std::string& Source() const { return m_sSource; }

private:
    std::string m_sSource;
};

class CEl_Bind : public CDAEObject {
public:
    CEl_Bind() : CDAEObject(eEl_bind) {}
    bool SetAttribute(const char* name, const char* value) override;
    bool AddChild(CDAEObject* child) override;
    const std::string& Symbol() const { return m_sSymbol; }
    const std::string& Semantic() const { return m_sSemantic; }
    const std::string& Target() const { return m_sTarget; }
    CEl_Param* Param() const { return m_pParam; }

private:
    std::string m_sSymbol;
    std::string m_sSemantic;
    std::string m_sTarget;
    CEl_Param* m_pParam = nullptr;
};

enum EShaderStage : int { eStageUnknown, eStageVertex, eStageFragment };

class CEl_Shader : public CDAEObject {
public:
    // A bind linked to its parameter.
    struct SLinkedBind {
        CEl_Bind* pBind;
        CEl_Newparam* pParam;
    };

    CEl_Shader() : CDAEObject(eEl_shader) {}
    bool SetAttribute(const char* name, const char* value) override;
    bool AddChild(CDAEObject* child) override;
    EShaderStage Stage() const { return m_eStage; }
    CEl_Name* Name() const { return m_pName; }

    // Sorts the binds into uniform, attribute and texture lists by the
    // parameter each one refers to.
    void Link(const std::vector<CEl_Newparam*>& params, const CEl_Instance_effect* instanceEffect);
    const std::vector<SLinkedBind>& Uniforms() const { return m_uniforms; }
    const std::vector<SLinkedBind>& Attributes() const { return m_attributes; }
    const std::vector<SLinkedBind>& Textures() const { return m_textures; }

private:
    EShaderStage m_eStage = eStageUnknown;
    CEl_Name* m_pName = nullptr;
    std::vector<CEl_Bind*> m_binds;
    std::vector<SLinkedBind> m_uniforms, m_attributes, m_textures;
};

class CEl_Pass : public CDAEObject {
public:
    CEl_Pass() : CDAEObject(eEl_pass) {}
    bool AddChild(CDAEObject* child) override;
    CEl_Shader* VertexShader() const { return m_pVertex; }
    CEl_Shader* FragmentShader() const { return m_pFragment; }
    // Shaders of any other stage (reported when the effect is written).
    const std::vector<CEl_Shader*>& OtherShaders() const { return m_others; }

private:
    CEl_Shader* m_pVertex = nullptr;
    CEl_Shader* m_pFragment = nullptr;
    std::vector<CEl_Shader*> m_others;
};

class CEl_Profile_GLSL : public CDAEObject {
public:
    CEl_Profile_GLSL() : CDAEObject(eEl_profile_glsl) {}
    bool AddChild(CDAEObject* child) override;
    const std::vector<CEl_Newparam*>& Newparams() const { return m_newparams; }
    const std::vector<CEl_Include*>& Includes() const { return m_includes; }
    const std::vector<CEl_Pass*>& Passes() const { return m_passes; }
    // The code or include whose sid is source, or null.
    const CDAEObject* FindSource(const std::string& source) const;

private:
    std::vector<CEl_Newparam*> m_newparams;
    std::vector<CEl_Code*> m_codes;
    std::vector<CEl_Include*> m_includes;
    std::vector<CEl_Pass*> m_passes;
};
