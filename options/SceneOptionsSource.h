#pragma once
// Reading the exporter-options text embedded in a scene file. The scene file
// reader provides it; the options code only needs the text.
#include <cstddef>

#include "base/ZGXTString.h"

// Reads at most maxBytes of the options text stored in the scene file at path.
// Returns false when the file cannot be read as a scene file.
bool ReadSceneFileOptionsText(const char* path, size_t maxBytes, CZGXTString* text);
