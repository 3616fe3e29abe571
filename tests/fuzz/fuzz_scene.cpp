// Scene files read through the loader into the scene model: the texts only (as the options import reads them), then
// the whole scene with its animation cache (as the material merge does).
#include <cstddef>
#include <cstdint>

#include "scene/Scene.h"
#include "scene/SceneFromQef.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    {
        // The buffer size of the options import.
        CZGXTString options, history;
        CZGXTString error;
        LoadSceneFromBytes(data, size, nullptr, &options, &history, &error, 10239, 10239);
    }
    {
        SScene scene;
        CZGXTString error;
        if (LoadSceneFromBytes(data, size, &scene, nullptr, nullptr, &error)) {
            // A scene the reader accepts must be safe to evaluate: every
            // node at the first and the last frame.
            const uint32_t nodes = uint32_t(scene.pNodes.size());
            for (float frame : {0.0f, float(scene.uiFrameCount ? scene.uiFrameCount - 1 : 0)}) {
                SelectFrame(scene, frame);
                for (uint32_t n = 0; n < nodes && n < 64; ++n)
                    WorldMatrixAt(scene, n);
            }
        }
        Destroy(scene);
    }
    return 0;
}
