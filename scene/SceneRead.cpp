#include "scene/SceneRead.h"

#include "scene/ResourceFile.h"
#include "scene/Scene.h"
#include "scene/SceneFromQef.h"

int LoadSceneFile(SScene& scene, const char* path, CZGXTString* optionsText, uint32_t optionsMax,
                  CZGXTString* historyText, uint32_t historyMax, CZGXTString* error)
{
    Destroy(scene);
    CZGXTResourceFile file;
    if (!file.Open(path)) {
        if (error)
            *error = StrFormat("cannot open '%s' as a file", path ? path : "");
        return 1;
    }
    const bool textsOnly = optionsText || historyText;
    if (!LoadSceneFromBytes(file.Data(), file.Size(), textsOnly ? nullptr : &scene, optionsText, historyText, error,
                            optionsMax, historyMax))
        return 1;
    return 0;
}

bool ReadOptionsTextOfSceneFile(const char* path, size_t maxBytes, CZGXTString* text)
{
    if (!text)
        return false;
    SScene unused;
    const uint32_t max = maxBytes > UINT32_MAX ? UINT32_MAX : uint32_t(maxBytes);
    return LoadSceneFile(unused, path, text, max, nullptr, 0) == 0;
}
