#include "gltf/Gltf2QEF.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include "base/ConversionLog.h"
#include "base/ResultCodes.h"
#include "gltf/GltfImport.h"

void SGltfImport::WarnOnce(EGltfWarning w, const char* text)
{
    if (warned[w])
        return;
    warned[w] = true;
    ConversionLog(eLogWarning, "%s", text);
}

namespace {

bool HasScene(const json& root)
{
    const json* scenes = GltfMember(root, "scenes");
    const json* scene = GltfMember(root, "scene");
    if (scenes && scenes->is_array() && !scenes->empty()) {
        // A scene index that names no scene leaves nothing to show.
        return !scene || (scene->is_number_integer() && scene->get<int64_t>() >= 0 &&
                          uint64_t(scene->get<int64_t>()) < scenes->size());
    }
    const json* nodes = GltfMember(root, "nodes");
    return !scene && nodes && nodes->is_array() && !nodes->empty();
}

// Runs the stages on a loaded document.
int Convert(SGltfImport& im, const std::string& name)
{
    if (!HasScene(im.doc.root)) {
        ConversionLog(eLogError, "Error: No scene found in %s.", name.c_str());
        return E2QEF_NO_SCENE;
    }
    CGltfAccessors accessors(im.doc);
    im.accessors = &accessors;
    GltfConvertMaterials(im);
    GltfConvertNodes(im);
    GltfConvertAnimations(im);
    GltfConvertMeshes(im);
    return E2QEF_SUCCESS;
}

int Guarded(SGltfImport& im, const std::string& name, const std::function<void()>& load)
{
    // What was read from a file that another program shortened meanwhile is
    // not the file: that is the reason given, whatever else went wrong.
    static const char kShortened[] = "the file was shortened by another program while it was read";
    try {
        load();
        const int code = Convert(im, name);
        if (!GltfFileLost(im.doc))
            return code;
        ConversionLog(eLogError, "Error: %s cannot be imported: %s.", name.c_str(), kShortened);
    } catch (const CGltfError& e) {
        ConversionLog(eLogError, "Error: %s cannot be imported: %s.", name.c_str(),
                      GltfFileLost(im.doc) ? kShortened : e.what());
    } catch (const json::exception& e) {
        ConversionLog(eLogError, "Error: %s cannot be imported: %s.", name.c_str(),
                      GltfFileLost(im.doc) ? kShortened : e.what());
    }
    return E2QEF_READ_FAILED;
}

} // namespace

int CGltf2QEF::Import(const char* inputPath, SImportScene* scene, const COptionsData* options,
                      const SImportSettings& settings)
{
    if (!inputPath || !*inputPath || !scene || !options)
        return E2QEF_READ_FAILED;
    SGltfImport im;
    im.scene = scene;
    im.options = options;
    im.settings = settings;
    const std::string path = inputPath;
    return Guarded(im, path, [&] { LoadGltfFile(path, im.doc); });
}

int CGltf2QEF::ImportBytes(const uint8_t* data, size_t size, const std::string& folder, const std::string& name,
                           SImportScene* scene, const COptionsData* options, const SImportSettings& settings)
{
    if (!scene || !options)
        return E2QEF_READ_FAILED;
    SGltfImport im;
    im.scene = scene;
    im.options = options;
    im.settings = settings;
    return Guarded(im, name, [&] { LoadGltfBytes(data, size, folder, name, im.doc); });
}
