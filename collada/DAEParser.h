#pragma once
// Reads a Collada file into the element model.
#include <cstddef>
#include <memory>

class CEl_Collada;

class CDAEParser {
public:
    // Logs "Parsing %s.", parses, builds the tree, resolves every reference
    // and logs "Complete.". False (after "Failed to parse %s." and a line
    // naming the reason) when the file or its XML cannot be read. A readable
    // document whose root is not COLLADA builds no tree: document is then
    // null. document is released first, so an earlier document never takes up
    // memory while this one loads.
    static bool LoadDocument(const char* fileName, std::unique_ptr<CEl_Collada>& document);
    // The same from a buffer (name is only used in messages).
    static bool LoadDocumentFromMemory(const char* name, const void* data, size_t size,
                                       std::unique_ptr<CEl_Collada>& document);
};
