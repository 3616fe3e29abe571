#pragma once
// A glTF 2.0 document read into memory: its JSON tree and the bytes of every
// buffer, from a .gltf (external files, data: URIs) or a .glb container.
#include <cstdarg>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <memory>

#include <QByteArray>

#include <nlohmann/json.hpp>

#include "base/MappedFile.h"

using json = nlohmann::json;

// A fault in the document; its text names what is wrong. Every reader of the
// document throws it, and the import turns it into one error line.
class CGltfError : public std::runtime_error {
public:
    explicit CGltfError(const std::string& what) : std::runtime_error(what) {}
};

// Throws CGltfError with a printf-formatted text.
[[noreturn]] void GltfFail(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Bytes of one buffer where they lie: in the document's file or in one of the
// buffers it owns.
struct SGltfBuffer {
    const uint8_t* bytes = nullptr;
    size_t length = 0;
    const uint8_t* data() const { return bytes; }
    size_t size() const { return length; }
};

struct SGltfDocument {
    json root;
    std::string path;   // the file, as named in messages
    std::string folder; // where files it names are looked up; empty for none
    // Bytes of each buffer, at least its byteLength long. Empty for a buffer
    // that only backs compressed views (EXT_meshopt_compression fallback).
    std::vector<SGltfBuffer> buffers;
    // What the buffers point into: the file opened by LoadGltfFile, mapped
    // (or, where it cannot be, read into file), whose BIN chunk is used where
    // it lies, not copied; and the bytes of data: URIs, buffer files and a
    // BIN chunk given by the caller.
    std::unique_ptr<CMappedFile> mapped;
    QByteArray file;
    std::vector<std::vector<uint8_t>> owned;
};

// Lets the system take back the memory of the mapped file's pages read so
// far; the next read of them brings them in again. For a mesh's data read
// out of the file, so that the file and the meshes are not all held at once.
void GltfReleaseFilePages(SGltfDocument& doc);

// True when the mapped file was shortened by another program while it was
// read: what was read since then is zeros, not the file.
bool GltfFileLost(const SGltfDocument& doc);

// Reads a .gltf or .glb file and its buffers. Throws CGltfError: the file or
// a buffer file cannot be read, a data: URI is bad, the container or the JSON
// is broken, the asset is not glTF 2.0, or extensionsRequired names an
// extension this importer does not support.
void LoadGltfFile(const std::string& path, SGltfDocument& doc);

// The same from bytes in memory (a .glb when they start with the glTF magic,
// JSON otherwise). External buffer files are looked up beside folder; an empty
// folder refuses them.
void LoadGltfBytes(const uint8_t* data, size_t size, const std::string& folder, const std::string& name,
                   SGltfDocument& doc);

// The bytes of a base64 data: URI; throws CGltfError naming what (the
// buffer or image that has it) when its text is broken.
std::vector<uint8_t> GltfDataUri(const std::string& uri, const std::string& what);

// Extensions the importer understands when a file requires them.
bool GltfExtensionSupported(const std::string& name);

// ----- checked JSON access: members of the wrong type throw CGltfError naming
// what (e.g. "accessors[2].count").

// The member, or null when o is not an object or has no such member.
const json* GltfMember(const json& o, const char* key);
// An object member, or null when absent; throws when it is not an object.
const json* GltfObject(const json& o, const char* key, const std::string& what);
// An array member (empty when absent).
const json& GltfArray(const json& o, const char* key, const std::string& what);
// An integer member within [lo, hi]; def when absent.
int64_t GltfInt(const json& o, const char* key, int64_t def, int64_t lo, int64_t hi, const std::string& what);
// A finite number member; def when absent.
double GltfNumber(const json& o, const char* key, double def, const std::string& what);
// A string member; def when absent.
std::string GltfString(const json& o, const char* key, const std::string& def, const std::string& what);
// An index into a list of count entries; -1 when absent.
int32_t GltfIndex(const json& o, const char* key, size_t count, const std::string& what);
// Up to n numbers of an array member into out; false when absent. Throws when
// the member is not an array of exactly n finite numbers.
bool GltfNumbers(const json& o, const char* key, size_t n, float* out, const std::string& what);
// "name[i]" for messages.
std::string GltfItem(const char* name, size_t i);
