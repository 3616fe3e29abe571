#pragma once
// The importer's front door: fills an empty import scene from a file.
class COptionsData;
struct SImportScene;

class I2QEF {
public:
    virtual ~I2QEF() = default;
    // Returns 0 on success or an E2QEFErrorCodes value. May change options for
    // the rest of the export.
    virtual int Import(const char* inputPath, SImportScene* scene, COptionsData* options) = 0;
};
