// Options files may be scene files. The options code sits below the scene
// reader and cannot call it, so the reader is installed at start-up by this
// object, which every program that links the scene layer links whole.
#include "options/SceneOptionsSource.h"
#include "scene/SceneRead.h"

namespace {
const bool kInstalled = (SetSceneFileOptionsReader(&ReadOptionsTextOfSceneFile), true);
}
