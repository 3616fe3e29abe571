#include "ReaderRuns.h"

#include <QDir>
#include <QTemporaryDir>

#include "../fuzz/WholeConversion.h"
#include "collada/Collada2QEF.h"
#include "scene/ImportScene.h"
#include "common/TestSupport.h"
#include "options/Options.h"
#include "prefs/ZGXPreferences.h"
#include "scene/Scene.h"
#include "scene/SceneRead.h"

namespace {

int RunPrefs(const std::string& path)
{
    QTemporaryDir dir;
    const CZGXTString base = dir.path().toStdString();
    CZGXPreferences::SetBaseFolder(ePrefUser, base);
    int result = -1;
    const CZGXTString store = CZGXPreferences::StorePath("Regression");
    if (QDir().mkpath(QString::fromStdString(CZGXPreferences::StoreFolder())) &&
        WriteFileBytes(store, ReadFileBytes(path))) {
        CZGXPreferences prefs("Regression");
        CZGXTString error;
        result = prefs.Load(error) ? 1 : 0;
        // What the program reads right after loading.
        COptionsData options;
        options.LoadFromPreferences(prefs, "Profiles/[Current]/");
        std::vector<CZGXTString> list;
        prefs.ReadStringArray("Exported/Recent files", list);
        // And the save after the next write.
        prefs.WriteString("Regression/Written", "1");
        prefs.Save(true);
    }
    CZGXPreferences::SetBaseFolder(ePrefUser, "");
    return result;
}

} // namespace

int RunReader(EReader reader, const std::string& path)
{
    switch (reader) {
    case eReaderCollada: {
        QTemporaryDir out;
        CCollada2QEF importer;
        SImportSettings settings;
        settings.outputFolder = out.path().toStdString();
        SImportScene scene;
        COptionsData options;
        return importer.Import(path.c_str(), &scene, &options, settings);
    }
    case eReaderColladaWhole: {
        QTemporaryDir out;
        return ConvertColladaWhole(path, out.path().toStdString());
    }
    case eReaderGltfWhole: {
        const std::string bytes = ReadFileBytes(path);
        return ConvertGltfWhole(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    case eReaderSceneWhole: {
        SScene scene;
        const int result = LoadSceneFile(scene, path.c_str());
        Destroy(scene);
        return result;
    }
    case eReaderSceneTexts: {
        SScene scene;
        CZGXTString options, history;
        return LoadSceneFile(scene, path.c_str(), &options, 10239, &history, 10239);
    }
    case eReaderOptionsText: {
        COptionsData options;
        return options.FromText(ReadFileBytes(path));
    }
    case eReaderPrefs: return RunPrefs(path);
    }
    return -1;
}
