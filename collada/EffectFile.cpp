#include "collada/EffectFile.h"

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include "base/OutputPath.h"
#include "base/ConversionLog.h"
#include "base/FileTrace.h"
#include "base/Version.h"
#include "collada/ElCore.h"
#include "collada/ElGLSL.h"
#include "collada/ElGeometry.h"
#include "collada/ElMaterial.h"

namespace {

const char kCopyright[] = "Meshwright";

// A newparam as the material sees it: a setparam of the material's
// instance_effect with the same sid overrides semantic, value and sampler.
struct SParamView {
    const CEl_Newparam* param;
    const CEl_Setparam* set;

    bool HasSemantic() const { return (set && set->HasSemantic()) || param->HasSemantic(); }
    const std::string& Semantic() const { return (set && set->HasSemantic()) ? set->Semantic() : param->Semantic(); }
    const CParamData& Value() const
    {
        return (set && set->ValueType() != eEl_none) ? static_cast<const CParamData&>(*set) : *param;
    }
    const CEl_Sampler2D* Sampler() const { return (set && set->Sampler()) ? set->Sampler() : param->Sampler(); }
};

SParamView View(const CEl_Newparam* param, const CEl_Instance_effect* instanceEffect)
{
    return {param, instanceEffect ? instanceEffect->FindSetparam(param->GetSid()) : nullptr};
}

const char* Word(const CEl_Sampler2D* s, CEl_Sampler2D::EWord w)
{
    const char* word = s->Word(w);
    return word ? word : "NONE";
}

} // namespace

std::string EffectFileName(const std::string& materialName)
{
    std::string name = materialName;
    for (char& c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
            c == '|')
            c = '_';
    }
    return name + ".qdl";
}

std::string BuildEffectText(const CEl_Material& material, CEl_Profile_GLSL& profile, const CDAEIndex& index,
                            std::string* effectName)
{
    const std::vector<CEl_Pass*>& passes = profile.Passes();
    if (passes.empty())
        return std::string();
    const CEl_Instance_effect* instanceEffect = material.InstanceEffect();

    // Parameter usage: attribute when the first instance_material that
    // targets the material binds a vertex input of the same semantic.
    const CEl_Instance_material* firstInstance = material.Instances().empty() ? nullptr : material.Instances().front();
    for (CEl_Newparam* p : profile.Newparams()) {
        const SParamView view = View(p, instanceEffect);
        EParamUsage usage = eParamUniform;
        if (firstInstance && view.HasSemantic())
            for (const CEl_Bind_vertex_input* input : firstInstance->VertexInputs())
                if (EqualsNoCase(input->Semantic(), view.Semantic()))
                    usage = eParamAttribute;
        p->SetUsage(usage);
    }
    for (CEl_Pass* pass : passes) {
        if (pass->VertexShader())
            pass->VertexShader()->Link(profile.Newparams(), instanceEffect);
        if (pass->FragmentShader())
            pass->FragmentShader()->Link(profile.Newparams(), instanceEffect);
    }

    const CEl_Pass& pass = *passes.front();
    std::string name;
    if (pass.GetSid())
        name = pass.GetSid();
    else if (instanceEffect && instanceEffect->GetName())
        name = instanceEffect->GetName();
    else
        return std::string(); // no effect name: nothing is written
    if (effectName)
        *effectName = name;

    const CEl_Shader* shaders[2] = {pass.VertexShader(), pass.FragmentShader()};
    auto shaderName = [](const CEl_Shader* s) { return s->Name() ? s->Name()->Source() : std::string(); };
    std::string out;

    out += "[HEADER]\n";
    out += std::string("\tVERSION\t\t") + kEffectFileVersion + "\n";
    out += std::string("\tDESCRIPTION\t") + MW_VERSION_STRING + "\n";
    out += std::string("\tCOPYRIGHT\t") + kCopyright + "\n";
    out += "[/HEADER]\n\n";

    out += "[TEXTURES]\n";
    for (const CEl_Shader* shader : shaders) {
        if (!shader)
            continue;
        for (const CEl_Shader::SLinkedBind& b : shader->Textures()) {
            const CEl_Sampler2D* sampler = View(b.pParam, instanceEffect).Sampler();
            const CEl_Image* image = ResolveSamplerImage(sampler, profile.Newparams(), index);
            if (!image)
                continue;
            out += "\tFILE\t" + b.pBind->Symbol() + "\t" + image->FileName();
            if (sampler->AnyFilterOrWrap())
                out += std::string("\t") + Word(sampler, CEl_Sampler2D::eMinFilter) + "-" +
                       Word(sampler, CEl_Sampler2D::eMagFilter) + "-" + Word(sampler, CEl_Sampler2D::eMipFilter);
            if (sampler->AnyWrap())
                out += std::string("\t") + Word(sampler, CEl_Sampler2D::eWrapS) + "-" +
                       Word(sampler, CEl_Sampler2D::eWrapT) + "-NONE";
            out += "\n";
        }
    }
    out += "[/TEXTURES]\n\n";

    const char* const markers[2] = {"VERTEXSHADER", "FRAGMENTSHADER"};
    for (int i = 0; i < 2; ++i) {
        out += std::string("[") + markers[i] + "]\n";
        if (const CEl_Shader* shader = shaders[i]) {
            const std::string source = shaderName(shader);
            out += "\tNAME\t" + source + "\n";
            const CDAEObject* code = profile.FindSource(source);
            if (code && code->Kind() == eEl_code) {
                out += "\n\t[GLSL_CODE]\n";
                out += code->GetContent();
                out += "\t[/GLSL_CODE]\n";
            } else if (code && code->Kind() == eEl_include) {
                out += "\tFILE\t" + static_cast<const CEl_Include*>(code)->Url() + "\n";
            }
        }
        out += std::string("[/") + markers[i] + "]\n\n";
    }
    for (size_t i = 0; i < pass.OtherShaders().size(); ++i)
        ConversionLog(eLogError, "CEl_Profile_GLSL::WriteShader - Shader type unknown.\n");

    if (!pass.GetSid())
        return out;
    out += "[EFFECT]\n";
    out += "\tNAME\t" + name + "\n\n";
    out += "\t[ANNOTATION]\n";
    for (const CEl_Shader* shader : shaders) {
        if (!shader)
            continue;
        for (const CEl_Shader::SLinkedBind& b : shader->Uniforms()) {
            const SParamView view = View(b.pParam, instanceEffect);
            out += "\t\t" + b.pBind->Symbol();
            if (view.HasSemantic())
                out += "\tsemantic=" + view.Semantic();
            const CParamData& value = view.Value();
            if (value.ValueType() != eEl_none)
                out +=
                    std::string("\ttype=") + CParamData::TypeName(value.ValueType()) + "\tvalue=" + value.ValueList();
            out += "\n";
        }
        for (const CEl_Shader::SLinkedBind& b : shader->Attributes()) {
            const SParamView view = View(b.pParam, instanceEffect);
            if (view.HasSemantic())
                out += "\t\t" + b.pBind->Symbol() + "\tsemantic=" + view.Semantic() + "\n";
        }
    }
    out += "\t[/ANNOTATION]\n\n";
    for (const CEl_Shader* shader : shaders) {
        if (!shader)
            continue;
        for (const CEl_Shader::SLinkedBind& b : shader->Uniforms()) {
            const SParamView view = View(b.pParam, instanceEffect);
            if (!view.HasSemantic())
                continue;
            out += "\tUNIFORM\t" + b.pBind->Symbol() + "\t" + view.Semantic();
            if (!view.Value().Constructor().empty())
                out += "\t" + view.Value().Constructor();
            out += "\n";
        }
    }
    out += "\n";
    int texture = 0;
    for (const CEl_Shader* shader : shaders)
        if (shader)
            for (const CEl_Shader::SLinkedBind& b : shader->Textures())
                out += "\tUNIFORM\t" + b.pBind->Symbol() + "\tTEXTURE" + std::to_string(texture++) + "\n";
    for (const CEl_Shader* shader : shaders) {
        if (!shader)
            continue;
        out += "\n";
        for (const CEl_Shader::SLinkedBind& b : shader->Attributes()) {
            const SParamView view = View(b.pParam, instanceEffect);
            if (view.HasSemantic())
                out += "\tATTRIBUTE\t" + b.pBind->Symbol() + "\t" + view.Semantic() + "\n";
        }
    }
    out += "\n";
    if (shaders[0])
        out += "\tVERTEXSHADER\t" + shaderName(shaders[0]) + "\n";
    if (shaders[1])
        out += "\tFRAGMENTSHADER\t" + shaderName(shaders[1]) + "\n";
    out += "\n";
    texture = 0;
    for (const CEl_Shader* shader : shaders)
        if (shader)
            for (const CEl_Shader::SLinkedBind& b : shader->Textures())
                out += "\tTEXTURE\t" + std::to_string(texture++) + "\t" + b.pBind->Symbol() + "\n";
    out += "[/EFFECT]\n";
    return out;
}

bool WriteEffectFile(const CEl_Material& material, CEl_Profile_GLSL& profile, const CDAEIndex& index,
                     const std::string& folder, SMaterial& record)
{
    std::string effectName;
    const std::string text = BuildEffectText(material, profile, index, &effectName);
    if (text.empty())
        return false;
    const std::string fileName = EffectFileName(record.name);
    const std::string path = folder.empty() ? fileName : folder + "/" + fileName;
    // Written beside the output through a temporary file, so a failed write
    // never leaves half an effect over a good one.
    QSaveFile file(QString::fromUtf8(path.c_str()));
    if (!IsReplaceableOutput(path.c_str()) || !file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), qint64(text.size())) != qint64(text.size()) || !file.commit()) {
        ConversionLog(eLogError, "Failed to Open \"%s\" for writing.\n", fileName.c_str());
        return false;
    }
    NoteFileWritten(path);
    record.effectFile = fileName;
    record.effectName = effectName;
    return true;
}
