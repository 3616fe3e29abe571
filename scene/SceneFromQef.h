#pragma once
// The scene model filled from what the loader (qef/) checked: every view
// copied into the model's own arrays, in host byte order.
#include <qef/qef.h>

#include <cstdint>

#include "base/ZGXTString.h"

struct SScene;

// Replaces *scene with the loaded scene and gives it its animation cache.
// False only when memory runs out.
bool BuildSceneFromQef(const qef_scene& loaded, SScene* scene);

// Loads a scene file image from memory through the loader and, when scene is
// given, builds the model. The texts asked for are set (at most the given
// number of bytes each) only when the file holds them. On failure false with
// the loader's message in *error when given; the byte-order and fixed-point
// refusals carry their own fixed texts, which go to the debug output when no
// error is asked for.
bool LoadSceneFromBytes(const void* data, size_t size, SScene* scene, CZGXTString* options, CZGXTString* history,
                        CZGXTString* error, uint32_t optionsMax = UINT32_MAX, uint32_t historyMax = UINT32_MAX);
