#pragma once
#include <string>

#include "collada/I2QEF.h"

// Imports a Collada document.
class CCollada2QEF : public I2QEF {
public:
    CCollada2QEF();
    ~CCollada2QEF() override;

    // Folder that receives files written beside the output (effect files).
    void SetOutputFolder(const std::string& folder) { m_outputFolder = folder; }
    const std::string& OutputFolder() const { return m_outputFolder; }

    int Import(const char* inputPath, SImportScene* scene, COptionsData* options) override;

private:
    std::string m_outputFolder;
};
