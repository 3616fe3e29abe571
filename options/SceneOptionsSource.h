#pragma once
// Reading the exporter-options text embedded in a scene file. The scene layer
// sits above the options and installs its reader here when a program links
// it; the options code only needs the text.
#include <cstddef>

#include "base/ZGXTString.h"

// Reads at most maxBytes of the options text stored in the scene file at path.
// Returns false when the file cannot be read as a scene file.
using SceneFileOptionsReader = bool (*)(const char* path, size_t maxBytes, CZGXTString* text);

void SetSceneFileOptionsReader(SceneFileOptionsReader reader);
// The installed reader; without one, scene files hold no options.
bool ReadSceneFileOptionsText(const char* path, size_t maxBytes, CZGXTString* text);
