// Materials and the texture list of stage 1, and the material merge from a
// previously written scene file.
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>

#include "base/ConversionLog.h"
#include "scene/ImportScene.h"
#include "process/SceneBuild.h"

namespace {

void CopyColour(float out[3], const SVec3& in)
{
    for (int i = 0; i < 3; ++i)
        out[i] = in[size_t(i)];
}

} // namespace

void BuildMaterials(const std::vector<SMaterial>& materials, SWorkScene& work)
{
    std::unordered_map<std::string, int32_t> textureIndex;
    for (size_t i = 0; i < work.textures.size(); ++i)
        textureIndex.emplace(work.textures[i], int32_t(i));

    for (const SMaterial& in : materials) {
        SSceneMaterial m;
        for (int slot = 0; slot < SSceneMaterial::kTextureSlots; ++slot) {
            const std::string& name = in.textures[slot];
            int32_t index = -1;
            if (!name.empty()) {
                const auto it = textureIndex.find(name);
                if (it != textureIndex.end()) {
                    index = it->second;
                    ConversionLog(eLogVerbose, "Instancing texture %d\n", index);
                } else {
                    index = int32_t(work.textures.size());
                    work.textures.push_back(name);
                    textureIndex.emplace(name, index);
                }
            }
            m.TextureSlot(slot) = index;
        }
        m.pszName = in.name;
        m.fOpacity = in.opacity;
        CopyColour(m.fAmbient, in.ambient);
        CopyColour(m.fDiffuse, in.diffuse);
        CopyColour(m.fSpecular, in.specular);
        m.fShininess = in.shininess;
        m.pszEffectFileName = in.effectFile;
        m.pszEffectLabel = in.effectName;
        m.eSrcColourFactor = in.blendSrcRGB;
        m.eSrcAlphaFactor = in.blendSrcAlpha;
        m.eDstColourFactor = in.blendDstRGB;
        m.eDstAlphaFactor = in.blendDstAlpha;
        m.eColourBlendOp = in.blendOpRGB;
        m.eAlphaBlendOp = in.blendOpAlpha;
        for (int i = 0; i < 4; ++i) {
            m.fConstantBlendColour[i] = in.blendColour[size_t(i)];
            m.fBlendFactorRGBA[i] = in.blendFactor[size_t(i)];
        }
        m.uiMaterialFlags = in.flags;
        m.pUserData = in.userData;
        // Anything not fully opaque is blended by its alpha.
        if (in.opacity != 1.0f) {
            m.uiMaterialFlags |= kMaterialBlendEnabled;
            m.eSrcColourFactor = kGLSrcAlpha;
            m.eSrcAlphaFactor = kGLSrcAlpha;
            m.eDstColourFactor = kGLOneMinusSrcAlpha;
            m.eDstAlphaFactor = kGLOneMinusSrcAlpha;
        }
        work.materials.push_back(std::move(m));
    }
}

namespace {

// True when current differs from source in the extension only: both agree up
// to the first "." of source, and current's own name part ends there too.
bool SameBaseName(const std::string& current, const std::string& source)
{
    const size_t dot = source.find('.');
    const size_t base = dot == std::string::npos ? source.size() : dot;
    if (current.size() < base || current.compare(0, base, source, 0, base) != 0)
        return false;
    return current.size() == base || current[base] == '.';
}

void MergeMaterial(SScene& scene, SSceneMaterial& current, const SSceneMaterial& from, const SScene& source)
{
    for (int slot = 0; slot < SSceneMaterial::kTextureSlots; ++slot) {
        const int32_t s = from.TextureSlot(slot);
        if (s < 0 || size_t(s) >= source.pTextures.size())
            continue;
        const std::string& sourceName = source.pTextures[size_t(s)].pszName;
        int32_t& c = current.TextureSlot(slot);
        if (c < 0 || size_t(c) >= scene.pTextures.size()) {
            scene.pTextures.push_back(SSceneTexture{sourceName});
            c = int32_t(scene.pTextures.size() - 1);
            continue;
        }
        std::string& currentName = scene.pTextures[size_t(c)].pszName;
        if (currentName != sourceName && SameBaseName(currentName, sourceName))
            currentName = sourceName;
    }
    current.eSrcColourFactor = from.eSrcColourFactor;
    current.eSrcAlphaFactor = from.eSrcAlphaFactor;
    current.eDstColourFactor = from.eDstColourFactor;
    current.eDstAlphaFactor = from.eDstAlphaFactor;
    current.eColourBlendOp = from.eColourBlendOp;
    current.eAlphaBlendOp = from.eAlphaBlendOp;
    std::memcpy(current.fConstantBlendColour, from.fConstantBlendColour, sizeof current.fConstantBlendColour);
    std::memcpy(current.fBlendFactorRGBA, from.fBlendFactorRGBA, sizeof current.fBlendFactorRGBA);
    current.uiMaterialFlags = from.uiMaterialFlags;
    if (!from.pszEffectFileName.empty())
        current.pszEffectFileName = from.pszEffectFileName;
    if (!from.pszEffectLabel.empty())
        current.pszEffectLabel = from.pszEffectLabel;
}

} // namespace

bool MergeMaterials(SScene& scene, const SScene& source)
{
    try {
        // Unmatched materials of the current scene by name, in scene order.
        std::unordered_map<std::string, std::vector<size_t>> byName;
        for (size_t i = scene.pMaterials.size(); i-- > 0;)
            byName[scene.pMaterials[i].pszName].push_back(i);
        for (const SSceneMaterial& from : source.pMaterials) {
            const auto it = byName.find(from.pszName);
            if (it == byName.end() || it->second.empty())
                continue;
            const size_t match = it->second.back();
            it->second.pop_back();
            MergeMaterial(scene, scene.pMaterials[match], from, source);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}
