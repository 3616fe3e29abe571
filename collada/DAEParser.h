#pragma once
// Reads a Collada file into the element model and installs it in C2QHub.
#include <cstddef>

class CDAEParser {
public:
    // Logs "Parsing %s.", parses, builds the tree, resolves every reference
    // and logs "Complete.". False (after "Failed to parse %s." and a line
    // naming the reason) when the file or its XML cannot be read. A readable document whose root is not COLLADA builds
    // no tree: the hub then holds no document.
    static bool LoadDocument(const char* fileName);
    // The same from a buffer (name is only used in messages).
    static bool LoadDocumentFromMemory(const char* name, const void* data, size_t size);
};
