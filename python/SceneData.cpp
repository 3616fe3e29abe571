#include "python/SceneData.h"

#include "scene/Scene.h"
#include "scene/SceneFromQef.h"
#include "scene/SceneRead.h"

std::shared_ptr<SScene> ReadSceneData(const std::string* path, const std::vector<uint8_t>& bytes, std::string* error)
{
    auto scene = std::make_shared<SScene>();
    CZGXTString why;
    const bool failed = path ? LoadSceneFile(*scene, path->c_str(), &why) != 0
                             : !LoadSceneFromBytes(bytes.data(), bytes.size(), scene.get(), nullptr, nullptr, &why);
    if (failed) {
        Destroy(*scene);
        *error = why.empty() ? std::string("not a scene file") : why;
        return nullptr;
    }
    return scene;
}
