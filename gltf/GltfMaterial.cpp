// glTF materials (metallic-roughness, or specular-glossiness where a file
// still has it) onto the scene's material records.
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <cmath>

#include "gltf/GltfImport.h"

namespace {

constexpr uint32_t kGlSrcAlpha = 0x0302;
constexpr uint32_t kGlOneMinusSrcAlpha = 0x0303;

// The image a texture reference shows, or -1 when its format is one that
// only extensions name and none of them does.
int32_t TextureImage(const SGltfImport& im, const json& textureInfo, const std::string& what)
{
    const json& textures = GltfArray(im.doc.root, "textures", "textures");
    const json& images = GltfArray(im.doc.root, "images", "images");
    const int32_t t = GltfIndex(textureInfo, "index", textures.size(), what + ".index");
    if (t < 0)
        GltfFail("%s has no index", what.c_str());
    int32_t source =
        GltfIndex(textures[size_t(t)], "source", images.size(), GltfItem("textures", size_t(t)) + ".source");
    if (source < 0) {
        // Images in other formats are named by extensions of the texture.
        if (const json* ext = GltfMember(textures[size_t(t)], "extensions"))
            for (const auto& e : ext->items())
                if (e.value().is_object() && source < 0)
                    source =
                        GltfIndex(e.value(), "source", images.size(), GltfItem("textures", size_t(t)) + ".extensions");
    }
    return source;
}

// The file suffix of an image's media type ("png" for "image/png").
std::string MediaSuffix(const std::string& mime)
{
    if (mime == "image/jpeg")
        return "jpg";
    const size_t slash = mime.find('/');
    return slash == std::string::npos || slash + 1 == mime.size() ? std::string("png") : mime.substr(slash + 1);
}

// The file name a texture is known by: the image's file name without its
// folders; for an image held in the document its own name (with the suffix
// of its media type when it has none), else the document's name and the
// image's index. Images held in the document are recorded for the
// conversion to write; external ones for it to copy.
std::string TextureName(SGltfImport& im, const json& textureInfo, const std::string& what, int slot)
{
    const int32_t source = TextureImage(im, textureInfo, what);
    if (source < 0)
        return std::string();
    const json& image = GltfArray(im.doc.root, "images", "images")[size_t(source)];
    const std::string what2 = GltfItem("images", size_t(source));
    const std::string uri = GltfString(image, "uri", "", what2 + ".uri");
    const int32_t material = int32_t(im.scene->materials.size());
    if (!uri.empty() && uri.compare(0, 5, "data:") != 0) {
        const std::string file = QUrl::fromPercentEncoding(QByteArray::fromStdString(uri)).toStdString();
        const std::string name = file.substr(file.find_last_of("/\\") + 1);
        const std::string path = im.doc.folder.empty() || QFileInfo(QString::fromStdString(file)).isAbsolute()
                                     ? file
                                     : im.doc.folder + "/" + file;
        SImportImage& record = im.scene->UseImage(path, name, material, slot);
        record.path = path;
        record.reference = uri;
        return name;
    }
    std::string mime = GltfString(image, "mimeType", "", what2 + ".mimeType");
    if (!uri.empty()) {
        const size_t colon = uri.find(':'), semi = uri.find_first_of(";,");
        if (semi != std::string::npos && semi > colon + 1)
            mime = uri.substr(colon + 1, semi - colon - 1);
    }
    const std::string ownName = GltfString(image, "name", "", what2 + ".name");
    std::string name = ownName;
    if (name.empty())
        name = QFileInfo(QString::fromStdString(im.doc.path)).completeBaseName().toStdString() + "-image" +
               std::to_string(source);
    if (name.find('.') == std::string::npos)
        name += "." + MediaSuffix(mime);
    SImportImage& record = im.scene->UseImage("#" + std::to_string(source), name, material, slot);
    if (!record.embedded) {
        record.embedded = true;
        record.reference = ownName.empty() ? what2 : ownName;
        if (!uri.empty()) {
            // A broken image is a missing one: the conversion says so.
            try {
                record.bytes = GltfDataUri(uri, what2);
            } catch (const CGltfError&) {
                record.bytes.clear();
            }
        } else {
            const json& views = GltfArray(im.doc.root, "bufferViews", "bufferViews");
            const int32_t view = GltfIndex(image, "bufferView", views.size(), what2 + ".bufferView");
            // An image with neither is missing: the conversion says so.
            if (view >= 0) {
                const CGltfAccessors::SBytes bytes = im.accessors->ViewBytes(view);
                record.bytes.assign(bytes.data, bytes.data + bytes.size);
            }
        }
    }
    return name;
}

// KHR_texture_transform of a texture reference as u' = m0 u + m1 v + m2,
// v' = m3 u + m4 v + m5 (in glTF's texture space); false when it has none.
bool TextureTransform(const json& textureInfo, const std::string& what, std::array<float, 6>& m, int32_t& texCoord)
{
    const json* ext = GltfObject(textureInfo, "extensions", what + ".extensions");
    const std::string w = what + ".extensions.KHR_texture_transform";
    const json* t = ext ? GltfObject(*ext, "KHR_texture_transform", w) : nullptr;
    if (!t)
        return false;
    float offset[2] = {0, 0}, scale[2] = {1, 1};
    GltfNumbers(*t, "offset", 2, offset, w + ".offset");
    GltfNumbers(*t, "scale", 2, scale, w + ".scale");
    const float r = float(GltfNumber(*t, "rotation", 0, w + ".rotation"));
    texCoord = int32_t(GltfInt(*t, "texCoord", texCoord, 0, 7, w + ".texCoord"));
    const float c = std::cos(r), s = std::sin(r);
    m = {c * scale[0], s * scale[1], offset[0], -s * scale[0], c * scale[1], offset[1]};
    return true;
}

} // namespace

void GltfConvertMaterials(SGltfImport& im)
{
    const json& materials = GltfArray(im.doc.root, "materials", "materials");
    im.materialBase = int32_t(im.scene->materials.size());
    im.textureSets.assign(materials.size(), 0);
    im.uvTransforms.assign(materials.size(), {1, 0, 0, 0, 1, 0});
    im.hasUvTransform.assign(materials.size(), 0);
    for (size_t i = 0; i < materials.size(); ++i) {
        const json& m = materials[i];
        const std::string what = GltfItem("materials", i);
        SMaterial out;
        out.name =
            GltfMember(m, "name") ? GltfString(m, "name", "", what + ".name") : "QEFMaterial-" + std::to_string(i);

        float base[4] = {1, 1, 1, 1};
        float metallic = 1, roughness = 1;
        const json* pbr = GltfObject(m, "pbrMetallicRoughness", what + ".pbrMetallicRoughness");
        const json* ext = GltfObject(m, "extensions", what + ".extensions");
        const json* specGloss = ext ? GltfObject(*ext, "KHR_materials_pbrSpecularGlossiness",
                                                 what + ".extensions.KHR_materials_pbrSpecularGlossiness")
                                    : nullptr;
        const json* baseTexture = nullptr;
        std::string baseWhat;
        if (pbr) {
            const std::string w = what + ".pbrMetallicRoughness";
            GltfNumbers(*pbr, "baseColorFactor", 4, base, w + ".baseColorFactor");
            metallic = std::clamp(float(GltfNumber(*pbr, "metallicFactor", 1, w + ".metallicFactor")), 0.0f, 1.0f);
            roughness = std::clamp(float(GltfNumber(*pbr, "roughnessFactor", 1, w + ".roughnessFactor")), 0.0f, 1.0f);
            baseTexture = GltfObject(*pbr, "baseColorTexture", w + ".baseColorTexture");
            baseWhat = w + ".baseColorTexture";
        }
        float specular[3];
        for (int c = 0; c < 3; ++c)
            specular[c] = 0.04f * (1 - metallic) + base[c] * metallic;
        if (specGloss && !pbr) {
            const std::string w = what + ".extensions.KHR_materials_pbrSpecularGlossiness";
            GltfNumbers(*specGloss, "diffuseFactor", 4, base, w + ".diffuseFactor");
            specular[0] = specular[1] = specular[2] = 1;
            GltfNumbers(*specGloss, "specularFactor", 3, specular, w + ".specularFactor");
            roughness = 1 - std::clamp(float(GltfNumber(*specGloss, "glossinessFactor", 1, w + ".glossinessFactor")),
                                       0.0f, 1.0f);
            baseTexture = GltfObject(*specGloss, "diffuseTexture", w + ".diffuseTexture");
            baseWhat = w + ".diffuseTexture";
        }
        out.diffuse = {base[0], base[1], base[2]};
        out.specular = {specular[0], specular[1], specular[2]};
        // Blinn-Phong exponent of the roughness, in the scene's hundredths.
        const float alpha = std::max(roughness * roughness, 0.01f);
        out.shininess = std::clamp(2 / (alpha * alpha) - 2, 0.0f, 100.0f) * 0.01f;

        const std::string alphaMode = GltfString(m, "alphaMode", "OPAQUE", what + ".alphaMode");
        out.opacity = 1;
        if (alphaMode == "BLEND") {
            out.opacity = std::clamp(base[3], 0.0f, 1.0f);
            out.flags |= 1;
            out.blendSrcRGB = out.blendSrcAlpha = kGlSrcAlpha;
            out.blendDstRGB = out.blendDstAlpha = kGlOneMinusSrcAlpha;
        } else if (alphaMode == "MASK") {
            im.WarnOnce(eGltfWarnAlphaMask,
                        "Warning: Alpha-masked (cut-out) materials are exported as opaque materials.");
        } else if (alphaMode != "OPAQUE") {
            GltfFail("%s.alphaMode is '%s'", what.c_str(), alphaMode.c_str());
        }
        if (const json* ds = GltfMember(m, "doubleSided"))
            if (ds->is_boolean() && ds->get<bool>())
                im.WarnOnce(eGltfWarnDoubleSided, "Warning: Double-sided materials are exported single-sided.");

        if (baseTexture) {
            out.textures[SMaterial::eTexDiffuse] = TextureName(im, *baseTexture, baseWhat, SMaterial::eTexDiffuse);
            int32_t set = int32_t(GltfInt(*baseTexture, "texCoord", 0, 0, 7, baseWhat + ".texCoord"));
            if (TextureTransform(*baseTexture, baseWhat, im.uvTransforms[i], set))
                im.hasUvTransform[i] = 1;
            im.textureSets[i] = set;
        }
        if (const json* emissive = GltfObject(m, "emissiveTexture", what + ".emissiveTexture"))
            out.textures[SMaterial::eTexEmissive] =
                TextureName(im, *emissive, what + ".emissiveTexture", SMaterial::eTexEmissive);
        // Other textures with their own transform cannot share one set of
        // texture coordinates.
        for (const char* key : {"emissiveTexture", "normalTexture", "occlusionTexture"}) {
            const json* t = GltfObject(m, key, what + "." + key);
            if (t) {
                TextureImage(im, *t, what + "." + key); // checks the reference
                GltfNumber(*t, "scale", 1, what + "." + key + ".scale");
                GltfNumber(*t, "strength", 1, what + "." + key + ".strength");
            }
            std::array<float, 6> other;
            int32_t set = 0;
            if (t && TextureTransform(*t, what + "." + key, other, set) && other != im.uvTransforms[i])
                im.WarnOnce(eGltfWarnTextureTransform,
                            "Warning: Texture transforms are applied for the base colour texture only.");
        }
        im.scene->materials.push_back(std::move(out));
    }
}
