#include "collada/MaterialConvert.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <utility>

#include "collada/EffectFile.h"
#include "collada/ElGLSL.h"
#include "collada/ElMaterial.h"
#include "options/Options.h"

namespace {

const CEl_Image* ImageOf(const CCommon_Color_or_Texture_Type* value)
{
    const CEl_Texture* texture = value ? value->Texture() : nullptr;
    return texture ? texture->Image() : nullptr;
}

std::string TextureName(const CCommon_Color_or_Texture_Type* value)
{
    const CEl_Image* image = ImageOf(value);
    return image ? image->FileName() : std::string();
}

// The file an image's init_from names: a file: URL, or a path (percent
// encoded, perhaps with Windows separators) relative to the document.
std::string ImageFile(const std::string& initFrom, const std::string& documentFolder)
{
    const QString text = QString::fromStdString(initFrom);
    QString file;
    if (text.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        file = QUrl(text).toLocalFile();
    else
        file = QUrl::fromPercentEncoding(text.toUtf8()).replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (file.isEmpty())
        return std::string();
    if (QFileInfo(file).isRelative() && !documentFolder.empty())
        file = QDir(QString::fromStdString(documentFolder)).filePath(file);
    return QDir::cleanPath(file).toStdString();
}

// Records the images of the technique's texture slots, for the conversion to
// copy beside its output.
void NoteImages(const CEl_Shader1& technique, int32_t material, const std::string& documentFolder, SImportScene& scene)
{
    const std::pair<int, const CCommon_Color_or_Texture_Type*> textured[] = {
        {SMaterial::eTexDiffuse, technique.Diffuse()},   {SMaterial::eTexAmbient, technique.Ambient()},
        {SMaterial::eTexEmissive, technique.Emission()}, {SMaterial::eTexReflection, technique.Reflective()},
        {SMaterial::eTexSpecular, technique.Specular()},
    };
    for (const auto& slot : textured) {
        const CEl_Image* image = ImageOf(slot.second);
        if (!image || image->FileName().empty())
            continue;
        const std::string path = ImageFile(image->InitFrom(), documentFolder);
        SImportImage& record = scene.UseImage(path, image->FileName(), material, slot.first);
        record.path = path;
        record.reference = image->InitFrom();
    }
}

SVec3 Rgb(const SVec4& c)
{
    return {c[0], c[1], c[2]};
}

// The fourth component of the transparency colour.
float Opacity(const CEl_Shader1& technique, bool invert)
{
    const CCommon_Float_or_Param_Type* transparency = technique.Transparency();
    float t = (transparency && transparency->HasValue()) ? transparency->Value() : 1.0f;
    if (invert)
        t = 1 - t;
    const CCommon_Color_or_Texture_Type* transparent = technique.Transparent();
    if (!transparent)
        return t;
    const SVec4 colour = transparent->Holds() == CCommon_Color_or_Texture_Type::eHoldsTexture ? SVec4{1, 1, 1, 1}
                                                                                              : transparent->Colour();
    if (transparent->Opaque() == eOpaqueAOne)
        return colour[3] * t;
    const float r = colour[0], g = colour[1], b = colour[2];
    return 1 -
           t * (0.21267099678516388f * r * t * t + 0.7151600122451782f * g * t * t + 0.0721689984202385f * b * t * t);
}

} // namespace

void FillFromCommonTechnique(const CEl_Shader1& technique, bool invertTransparency, SMaterial& record)
{
    if (const auto* diffuse = technique.Diffuse()) {
        record.diffuse = Rgb(diffuse->Colour());
        record.textures[SMaterial::eTexDiffuse] = TextureName(diffuse);
    }
    if (const auto* ambient = technique.Ambient()) {
        record.ambient = Rgb(ambient->Colour());
        record.textures[SMaterial::eTexAmbient] = TextureName(ambient);
    }
    if (const auto* emission = technique.Emission())
        record.textures[SMaterial::eTexEmissive] = TextureName(emission);
    if (const auto* reflective = technique.Reflective())
        record.textures[SMaterial::eTexReflection] = TextureName(reflective);
    if (const auto* specular = technique.Specular()) {
        record.specular = Rgb(specular->Colour());
        record.textures[SMaterial::eTexSpecular] = TextureName(specular);
    }
    if (const auto* shininess = technique.Shininess())
        record.shininess = shininess->Value() * 0.01f;
    record.opacity = Opacity(technique, invertTransparency);
}

int32_t ConvertMaterial(CEl_Material& material, SImportScene& scene, const COptionsData* options,
                        const CDAEIndex& index, const std::string& effectFolder, const std::string& documentFolder)
{
    const char* name = material.GetName() ? material.GetName() : material.GetId();
    if (!name) {
        material.SetSceneIndex(-1);
        return -1;
    }
    SMaterial record;
    record.name = name;
    if (const CEl_Effect* effect = material.Effect()) {
        const CEl_Profile_common* common = effect->ProfileCommon();
        if (common && common->Technique()) {
            FillFromCommonTechnique(*common->Technique(), options && options->GetBool(opt::bInvertTransparency),
                                    record);
            NoteImages(*common->Technique(), int32_t(scene.materials.size()), documentFolder, scene);
        }
        if (effect->ProfileGLSL())
            WriteEffectFile(material, *effect->ProfileGLSL(), index, effectFolder, record);
    }
    scene.materials.push_back(std::move(record));
    const int32_t sceneIndex = int32_t(scene.materials.size() - 1);
    material.SetSceneIndex(sceneIndex);
    return sceneIndex;
}
