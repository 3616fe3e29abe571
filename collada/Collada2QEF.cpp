#include "collada/Collada2QEF.h"

#include "app/ConversionLog.h"

CCollada2QEF::CCollada2QEF() = default;
CCollada2QEF::~CCollada2QEF() = default;

// Placeholder until the Collada reader exists.
int CCollada2QEF::Import(const char* inputPath, SImportScene*, COptionsData*)
{
    ConversionLog(eLogError, "Failed to parse %s.", inputPath ? inputPath : "");
    return 1;
}
