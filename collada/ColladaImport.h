#pragma once
// The state of one Collada import, handed to each of its stages: the parsed
// document, the options it reads, the scene it fills, the document's up
// axis and the warnings given so far. Imports share nothing.
#include <memory>

#include "collada/ElCore.h"
#include "collada/UpAxis.h"
#include "import/ImportWarnings.h"
#include "scene/I2QEF.h"

class COptionsData;
struct SImportScene;

struct SColladaImport {
    std::unique_ptr<CEl_Collada> document;
    const COptionsData* options = nullptr;
    SImportScene* scene = nullptr;
    EUpAxis upAxis = eUpAxisNone;
    CImportWarnings warnings;
    SImportSettings settings;
};
