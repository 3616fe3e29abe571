#pragma once
// Loading written bytes through qef/ and comparing what it sees with the scene
// model that was written.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <qef/qef.h>

#include "scene/Scene.h"

struct SQefFree {
    void operator()(qef_scene* s) const { qef_free(s); }
};
using QefScenePtr = std::unique_ptr<qef_scene, SQefFree>;

// qef_load of the bytes; null with the error filled on a refusal.
QefScenePtr LoadQef(const void* data, size_t size, qef_error* error);

// The file bytes of a scene as the converter writes them.
std::vector<uint8_t> WriteToMemory(const SScene& scene, const char* optionsText = "opts", const char* history = "h");

// Every check of the loader's views against the model (counts, names,
// records, sampled decoded vertices, triangles, world matrices at a few
// frames). Failures go to GoogleTest.
void ExpectSameScene(const SScene& model, const qef_scene& loaded);

// Reads every view of a loaded scene through the helpers, as a renderer
// would: each channel decoded, the triangles, every node's world matrix and
// the cameras and lights at the first and last frames. Anything out of
// bounds shows under the sanitizers.
void TouchEverything(const qef_scene& s);
