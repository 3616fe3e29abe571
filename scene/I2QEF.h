#pragma once
// The importer's front door: fills an empty import scene from a file.
#include <cstdint>
#include <string>

class COptionsData;
struct SImportScene;

// What an import needs beyond the options: the caller's decisions.
struct SImportSettings {
    // Folder that receives files written beside the output (effect files);
    // when empty, the input file's folder.
    std::string outputFolder;
    // Copy the image files the document refers to beside the output (images
    // held in the document are written there always).
    bool copyTextures = false;
    // Frame blocks an import makes at the most (every node's frames over the
    // sampled range): about half a gigabyte of them. A fuzz target lowers it,
    // since a long animation is linear work, but its frames alone would pass
    // the time the fuzzer gives one input.
    uint64_t frameBlockLimit = uint64_t(1) << 22;
};

class I2QEF {
public:
    virtual ~I2QEF() = default;
    // Returns 0 on success or an E2QEFErrorCodes value. The options are only
    // read: what the document lacks is recorded in the scene.
    virtual int Import(const char* inputPath, SImportScene* scene, const COptionsData* options,
                       const SImportSettings& settings = SImportSettings()) = 0;
};
