#pragma once
// C source output: the binary scene file embedded as an array of 32-bit words,
// optionally registered with the embedding application's in-memory file
// system, behind a comment that carries the export options.
#include <cstddef>
#include <cstdint>

#include "base/ZGXTString.h"

class COptionsData;
struct SScene;

// Names derived from an output path P.
struct SSceneSourceNames {
    CZGXTString fileName;     // P after its last '/' or '\'
    CZGXTString embeddedName; // fileName with its extension replaced by ".qef"
    CZGXTString identifier;   // "_" + embeddedName, non-alphanumerics as '_'
};
SSceneSourceNames SceneSourceNames(const char* outputPath);

// Mode bits of the generated text.
enum ESceneSourceMode : uint32_t {
    eSourceNoRegistration = 1, // no include line and no registration object
    eSourceExtraWord = 4,      // at least one trailing zero byte
    eSourceBigEndian = 8,      // words byte-swapped
};

// The whole source text for a binary scene file of size bytes.
CZGXTString SceneSourceText(const uint8_t* data, size_t size, const char* outputPath, const char* optionsText,
                            const char* historyText, uint32_t modeFlags);

// Writes the scene as source to outputPath (.h: format 1 without
// registration, .cpp: format 2), replacing the file only once the text is
// complete. 0 on success, nonzero on failure (reason in the message log).
int WriteSceneSource(const char* outputPath, const COptionsData& options, const char* historyText, const SScene& scene);
