// Scene file reader: the texts only (as the options import reads them), then
// the whole scene with its animation cache (as the material merge does).
#include <cstddef>
#include <cstdint>

#include "scene/Scene.h"
#include "scene/SceneRead.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    {
        // The buffer size of the options import.
        CZGXTString options, history;
        CMemorySource source(data, size);
        CZGXTString error;
        ReadSceneFile(nullptr, &options, 10239, &history, 10239, source, &error);
    }
    {
        CMemorySource source(data, size);
        SScene scene;
        CZGXTString error;
        if (ReadSceneFile(&scene, nullptr, 0, nullptr, 0, source, &error) && CreateAnimCache(scene) == 0) {
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
