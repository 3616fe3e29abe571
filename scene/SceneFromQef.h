#pragma once
// The scene model filled from what the loader (qef/) checked: every view
// copied into the model's own arrays, in host byte order.
#include <qef/qef.h>

#include "base/ZGXTString.h"

struct SScene;

// Replaces *scene with the loaded scene and gives it its animation cache.
// False only when memory runs out.
bool BuildSceneFromQef(const qef_scene& loaded, SScene* scene);

// Loads a scene file from memory through the loader and builds the model;
// on failure false with the loader's message in *error (when given).
bool LoadSceneFromBytes(const void* data, size_t size, SScene* scene, CZGXTString* options, CZGXTString* history,
                        CZGXTString* error);
