#pragma once
// Runs one reader on one file as the program does, and gives its result as a
// number: the conversion result code of the Collada import (and of a whole
// Collada conversion), 0/1 of LoadSceneFile, the entry count of FromText, 1/0
// for a preference store that loaded or not.
#include <string>

enum EReader {
    eReaderCollada,      // CCollada2QEF::Import: E2QEFErrorCodes
    eReaderColladaWhole, // import, processing, writing: ConvertColladaWhole
    eReaderGltfWhole,    // the same for glTF, as its fuzz target: ConvertGltfWhole
    eReaderSceneWhole,   // LoadSceneFile of the whole scene: 0 or 1
    eReaderSceneTexts,   // LoadSceneFile of the two texts: 0 or 1
    eReaderOptionsText,  // COptionsData::FromText: recognised entries
    eReaderPrefs,        // CZGXPreferences::Load: 1 loaded, 0 not
};

int RunReader(EReader reader, const std::string& path);
