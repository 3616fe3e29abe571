#pragma once
// The binary scene file writer.
#include <cstdint>
#include <vector>

struct SScene;

// Writes the scene file to path: version block, the two texts (each only when
// given and not empty), then the scene. The file is written beside path and
// renamed over it once complete, so a failed write leaves any previous file as
// it was. Returns 0 on success, 1 on failure (reason in the message log).
int WriteSceneFile(const SScene& scene, const char* path, const char* optionsText, const char* historyText);

// The same bytes into memory (replacing *out). 0 on success, 1 when the scene
// breaks a consistency rule (reason in the message log).
int WriteSceneFileToMemory(const SScene& scene, const char* optionsText, const char* historyText,
                           std::vector<uint8_t>* out);
