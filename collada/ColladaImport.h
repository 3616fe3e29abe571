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
    // Metres per unit of the document when its units are applied (bApplyUnit),
    // else 1: what camera planes and light ranges scale by. Nodes and
    // geometries carry their own (nested assets may give other units).
    float unitScale = 1;
    CImportWarnings warnings;
    SImportSettings settings;
};
