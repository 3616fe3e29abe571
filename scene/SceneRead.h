#pragma once
// Reading scene files by name. The file is found as a resource file (the disk
// under the read-path prefix, then the in-memory registry), checked whole by
// the loader (qef/) and the scene model built from what it checked. Files are
// treated as hostile: every refusal names the broken rule and where it is.
#include <cstddef>
#include <cstdint>

#include "base/ZGXTString.h"

struct SScene;

// Opens path and reads it: the whole scene when no text is asked for (the
// scene is emptied first and given its animation cache), else the texts only:
// at most the given number of bytes each, cut at the first NUL; a text the
// file does not hold leaves its string as it was. 0 on success, 1 on failure,
// with the reason in *error when given (otherwise the byte-order and
// fixed-point refusals go to the debug output).
int LoadSceneFile(SScene& scene, const char* path, CZGXTString* optionsText, uint32_t optionsMax,
                  CZGXTString* historyText, uint32_t historyMax, CZGXTString* error = nullptr);
inline int LoadSceneFile(SScene& scene, const char* path, CZGXTString* error = nullptr)
{
    return LoadSceneFile(scene, path, nullptr, 0, nullptr, 0, error);
}

// Reads at most maxBytes of the options text stored in the scene file at
// path. False when the file cannot be read as a scene file.
bool ReadOptionsTextOfSceneFile(const char* path, size_t maxBytes, CZGXTString* text);
