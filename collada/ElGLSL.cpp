#include "collada/ElGLSL.h"

#include <algorithm>

#include "collada/DAENumbers.h"
#include "collada/ElCore.h"
#include "collada/ElGeometry.h"
#include "collada/ElMaterial.h"

// ---------------------------------------------------------------- code, include, name

bool CEl_Code::SetContent(const char* text)
{
    m_sText = text ? text : "";
    return true;
}

bool CEl_Code::Resolve(CDAEIndex&)
{
    m_sText = Reindent(m_sText);
    return true;
}

std::string CEl_Code::Reindent(const std::string& text)
{
    std::vector<std::string_view> lines;
    const std::string_view all(text);
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = all.size();
        std::string_view line = all.substr(start, end - start);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        lines.push_back(line);
        if (end == all.size())
            break;
        start = end + ((all[end] == '\r' && end + 1 < all.size() && all[end + 1] == '\n') ? 2 : 1);
    }
    auto blank = [](std::string_view l) { return l.empty(); };
    while (!lines.empty() && blank(lines.front()))
        lines.erase(lines.begin());
    while (!lines.empty() && blank(lines.back()))
        lines.pop_back();
    // The white space every non-blank line starts with.
    std::string_view common;
    bool first = true;
    for (std::string_view l : lines) {
        if (blank(l))
            continue;
        const std::string_view indent = l.substr(0, l.find_first_not_of(" \t"));
        if (first) {
            common = indent;
            first = false;
        } else {
            size_t n = 0;
            while (n < common.size() && n < indent.size() && common[n] == indent[n])
                ++n;
            common = common.substr(0, n);
        }
    }
    std::string out;
    for (std::string_view l : lines) {
        if (!blank(l)) {
            out += "\t\t";
            out += l.substr(common.size());
        }
        out += '\n';
    }
    return out;
}

bool CEl_Include::SetAttribute(const char* name, const char* value)
{
    if (CDAEObject::SetAttribute(name, value))
        return true;
    if (!EqualsNoCase(name, "url"))
        return false;
    m_sUrl = value ? value : "";
    return true;
}

bool CEl_Name::SetAttribute(const char* name, const char* value)
{
    if (CDAEObject::SetAttribute(name, value))
        return true;
    if (!EqualsNoCase(name, "source"))
        return false;
    m_sSource = value ? value : "";
    return true;
}

// ---------------------------------------------------------------- bind, shader

bool CEl_Bind::SetAttribute(const char* name, const char* value)
{
    if (CDAEObject::SetAttribute(name, value))
        return true;
    if (EqualsNoCase(name, "symbol"))
        m_sSymbol = value ? value : "";
    else if (EqualsNoCase(name, "semantic"))
        m_sSemantic = value ? value : "";
    else if (EqualsNoCase(name, "target"))
        m_sTarget = value ? value : "";
    else
        return false;
    return true;
}

bool CEl_Bind::AddChild(CDAEObject* child)
{
    if (child->Kind() != eEl_param)
        return false;
    m_pParam = static_cast<CEl_Param*>(child);
    return CDAEObject::AddChild(child);
}

bool CEl_Shader::SetAttribute(const char* name, const char* value)
{
    if (CDAEObject::SetAttribute(name, value))
        return true;
    if (!EqualsNoCase(name, "stage"))
        return false;
    const std::string_view stage = TrimDAE(value ? value : "");
    if (EqualsNoCase(stage, "VERTEXPROGRAM") || EqualsNoCase(stage, "VERTEX"))
        m_eStage = eStageVertex;
    else if (EqualsNoCase(stage, "FRAGMENTPROGRAM") || EqualsNoCase(stage, "FRAGMENT"))
        m_eStage = eStageFragment;
    else
        m_eStage = eStageUnknown;
    return true;
}

bool CEl_Shader::AddChild(CDAEObject* child)
{
    if (child->Kind() == eEl_name)
        m_pName = static_cast<CEl_Name*>(child);
    else if (child->Kind() == eEl_bind)
        m_binds.push_back(static_cast<CEl_Bind*>(child));
    else
        return false;
    return CDAEObject::AddChild(child);
}

void CEl_Shader::Link(const std::vector<CEl_Newparam*>& params, const CEl_Instance_effect* instanceEffect)
{
    m_uniforms.clear();
    m_attributes.clear();
    m_textures.clear();
    for (CEl_Bind* bind : m_binds) {
        const CEl_Param* ref = bind->Param();
        if (!ref || !ref->HasRef())
            continue;
        CEl_Newparam* param = nullptr;
        for (CEl_Newparam* p : params)
            if (p->GetSid() && ref->Ref() == p->GetSid()) {
                param = p;
                break;
            }
        if (!param)
            continue;
        const CEl_Setparam* set = instanceEffect ? instanceEffect->FindSetparam(param->GetSid()) : nullptr;
        const bool sampler = (set && set->Sampler()) || param->Sampler();
        if (sampler)
            m_textures.push_back({bind, param});
        else if (param->Usage() == eParamAttribute)
            m_attributes.push_back({bind, param});
        else
            m_uniforms.push_back({bind, param});
    }
}

// ---------------------------------------------------------------- pass, profile

bool CEl_Pass::AddChild(CDAEObject* child)
{
    if (child->Kind() != eEl_shader)
        return false;
    CEl_Shader* shader = static_cast<CEl_Shader*>(child);
    switch (shader->Stage()) {
    case eStageVertex: m_pVertex = shader; break;
    case eStageFragment: m_pFragment = shader; break;
    default: m_others.push_back(shader); break;
    }
    return CDAEObject::AddChild(child);
}

bool CEl_Profile_GLSL::AddChild(CDAEObject* child)
{
    switch (child->Kind()) {
    case eEl_newparam: m_newparams.push_back(static_cast<CEl_Newparam*>(child)); break;
    case eEl_code: m_codes.push_back(static_cast<CEl_Code*>(child)); break;
    case eEl_include: m_includes.push_back(static_cast<CEl_Include*>(child)); break;
    case eEl_pass: m_passes.push_back(static_cast<CEl_Pass*>(child)); break;
    default: return false;
    }
    return CDAEObject::AddChild(child);
}

const CDAEObject* CEl_Profile_GLSL::FindSource(const std::string& source) const
{
    const CDAEObject* best = nullptr;
    for (const CEl_Code* c : m_codes)
        if (c->GetSid() && source == c->GetSid()) {
            best = c;
            break;
        }
    for (const CEl_Include* i : m_includes)
        if (i->GetSid() && source == i->GetSid() && (!best || i->Ordinal() < best->Ordinal())) {
            best = i;
            break;
        }
    return best;
}
