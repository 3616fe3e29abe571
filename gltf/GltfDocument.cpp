#include "gltf/GltfDocument.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/FileTrace.h"
#include "scene/ReadAll.h"

namespace {

constexpr uint32_t kGlbMagic = 0x46546C67; // "glTF"
constexpr uint32_t kChunkJson = 0x4E4F534A;
constexpr uint32_t kChunkBin = 0x004E4942;
// Deeper JSON than this is no glTF (the deepest glTF path is about ten levels)
// and would only exhaust the stack of the parser's callers.
constexpr int kMaxJsonDepth = 64;
// Mapped files smaller than this keep their pages (too few to matter).
constexpr size_t kMinReleasedBytes = size_t(16) << 20;

uint32_t ReadU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Deepest nesting of arrays and objects, strings skipped; stops counting past
// the limit.
int JsonDepth(const uint8_t* text, size_t size)
{
    int depth = 0, deepest = 0;
    bool inString = false;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
            if (deepest > kMaxJsonDepth)
                return deepest;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

void ParseJson(const uint8_t* text, size_t size, SGltfDocument& doc)
{
    if (JsonDepth(text, size) > kMaxJsonDepth)
        GltfFail("the JSON is nested more than %d levels deep", kMaxJsonDepth);
    try {
        doc.root = json::parse(text, text + size);
    } catch (const json::parse_error& e) {
        GltfFail("the JSON cannot be parsed (at byte %zu)", e.byte);
    }
    if (!doc.root.is_object())
        GltfFail("the JSON is not an object");
}

void CheckAsset(const SGltfDocument& doc)
{
    const json* asset = GltfMember(doc.root, "asset");
    if (!asset || !asset->is_object())
        GltfFail("it has no asset description");
    const std::string version = GltfString(*asset, "version", "", "asset.version");
    const std::string minVersion = GltfString(*asset, "minVersion", "", "asset.minVersion");
    const std::string major = version.substr(0, version.find('.'));
    if (major != "2" || (!minVersion.empty() && minVersion.substr(0, minVersion.find('.')) != "2"))
        GltfFail("its version is '%s', not glTF 2.0", version.c_str());
    for (const json& e : GltfArray(doc.root, "extensionsRequired", "extensionsRequired")) {
        if (!e.is_string())
            GltfFail("extensionsRequired holds a value that is not a name");
        const std::string name = e.get<std::string>();
        if (!GltfExtensionSupported(name))
            GltfFail("it requires the extension %s, which is not supported", name.c_str());
    }
}

std::vector<uint8_t> ReadBufferFile(const std::string& uri, const std::string& folder, size_t index)
{
    const QString relative = QUrl::fromPercentEncoding(QByteArray::fromStdString(uri));
    if (folder.empty() || relative.isEmpty() || QFileInfo(relative).isAbsolute() || relative.contains(QLatin1Char(':')))
        GltfFail("buffers[%zu] names the file '%s', which cannot be read", index, uri.c_str());
    const QString file = QDir(QString::fromStdString(folder)).filePath(relative);
    QByteArray bytes;
    QString why = QStringLiteral("there is no such file");
    if (!QFileInfo(file).exists() || !ReadAll(file, &bytes, &why))
        GltfFail("the buffer file '%s' cannot be read (%s)", file.toUtf8().constData(), why.toUtf8().constData());
    NoteFileRead(file.toStdString());
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// With viewBin the BIN chunk lies in doc.file and is used where it is;
// otherwise it is copied, as the caller's bytes may go before the document.
void LoadBuffers(SGltfDocument& doc, const std::string& folder, const uint8_t* bin, size_t binSize, bool glb,
                 bool viewBin)
{
    const json& buffers = GltfArray(doc.root, "buffers", "buffers");
    doc.buffers.assign(buffers.size(), {});
    doc.owned.reserve(buffers.size());
    for (size_t i = 0; i < buffers.size(); ++i) {
        const json& b = buffers[i];
        const std::string what = GltfItem("buffers", i);
        const int64_t length = GltfInt(b, "byteLength", -1, 1, INT64_MAX, what + ".byteLength");
        if (length < 0)
            GltfFail("%s has no byteLength", what.c_str());
        const json* uri = GltfMember(b, "uri");
        std::vector<uint8_t> bytes;
        if (glb && i == 0 && bin && viewBin && !uri) {
            if (uint64_t(binSize) < uint64_t(length))
                GltfFail("%s holds %zu bytes, fewer than its byteLength %lld", what.c_str(), binSize,
                         static_cast<long long>(length));
            doc.buffers[i] = {bin, size_t(length)};
            continue;
        }
        if (uri) {
            const std::string text = GltfString(b, "uri", "", what + ".uri");
            if (text.compare(0, 5, "data:") == 0)
                bytes = GltfDataUri(text, what);
            else
                bytes = ReadBufferFile(text, folder, i);
        } else if (glb && i == 0 && bin) {
            bytes.assign(bin, bin + binSize);
        } else {
            const json* ext = GltfMember(b, "extensions");
            const json* meshopt = ext ? GltfMember(*ext, "EXT_meshopt_compression") : nullptr;
            if (meshopt && meshopt->is_object() && GltfMember(*meshopt, "fallback"))
                continue; // its views are decoded from another buffer
            GltfFail("%s has no data", what.c_str());
        }
        if (uint64_t(bytes.size()) < uint64_t(length))
            GltfFail("%s holds %zu bytes, fewer than its byteLength %lld", what.c_str(), bytes.size(),
                     static_cast<long long>(length));
        bytes.resize(size_t(length));
        doc.owned.push_back(std::move(bytes));
        doc.buffers[i] = {doc.owned.back().data(), doc.owned.back().size()};
    }
}

} // namespace

void GltfFail(const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    throw CGltfError(text);
}

std::vector<uint8_t> GltfDataUri(const std::string& uri, const std::string& what)
{
    const size_t comma = uri.find(',');
    if (comma == std::string::npos || uri.compare(comma - std::min<size_t>(comma, 7), 7, ";base64") != 0)
        GltfFail("%s has a data: URI that is not base64", what.c_str());
    const QByteArray encoded = QByteArray::fromRawData(uri.data() + comma + 1, qsizetype(uri.size() - comma - 1));
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(encoded, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        GltfFail("%s has a data: URI whose base64 text is broken", what.c_str());
    return std::vector<uint8_t>(decoded.decoded.begin(), decoded.decoded.end());
}

bool GltfExtensionSupported(const std::string& name)
{
    static const char* const kSupported[] = {
        "KHR_mesh_quantization",      "KHR_texture_transform", "KHR_lights_punctual",
        "EXT_meshopt_compression",    "KHR_materials_unlit",   "KHR_materials_emissive_strength",
        "KHR_draco_mesh_compression",
    };
    for (const char* s : kSupported)
        if (name == s)
            return true;
    return false;
}

namespace {

// The document from data, which is doc.file when viewBin is set.
void LoadDocument(const uint8_t* data, size_t size, const std::string& folder, bool viewBin, SGltfDocument& doc)
{
    doc.folder = folder;
    if (size >= 4 && ReadU32(data) == kGlbMagic) {
        if (size < 20)
            GltfFail("the binary container is cut short");
        if (ReadU32(data + 4) != 2)
            GltfFail("its binary container has version %u, not 2", ReadU32(data + 4));
        const uint64_t total = ReadU32(data + 8);
        if (total > size)
            GltfFail("the binary container claims %llu bytes but holds %zu", static_cast<unsigned long long>(total),
                     size);
        const uint8_t* jsonChunk = nullptr;
        size_t jsonSize = 0;
        const uint8_t* bin = nullptr;
        size_t binSize = 0;
        for (uint64_t at = 12; at + 8 <= total;) {
            const uint64_t length = ReadU32(data + at);
            const uint32_t type = ReadU32(data + at + 4);
            if (length > total - at - 8)
                GltfFail("a chunk of the binary container runs past its end");
            if (type == kChunkJson && !jsonChunk) {
                jsonChunk = data + at + 8;
                jsonSize = size_t(length);
            } else if (type == kChunkBin && !bin && jsonChunk) {
                bin = data + at + 8;
                binSize = size_t(length);
            }
            at += 8 + length;
        }
        if (!jsonChunk)
            GltfFail("the binary container has no JSON chunk");
        ParseJson(jsonChunk, jsonSize, doc);
        CheckAsset(doc);
        LoadBuffers(doc, folder, bin, binSize, true, viewBin);
    } else {
        ParseJson(data, size, doc);
        CheckAsset(doc);
        LoadBuffers(doc, folder, nullptr, 0, false, false);
    }
}

} // namespace

void LoadGltfBytes(const uint8_t* data, size_t size, const std::string& folder, const std::string& name,
                   SGltfDocument& doc)
{
    doc = SGltfDocument();
    doc.path = name;
    LoadDocument(data, size, folder, false, doc);
}

void LoadGltfFile(const std::string& path, SGltfDocument& doc)
{
    doc = SGltfDocument();
    doc.path = path;
    const QString file = QString::fromStdString(path);
    const QString folder = QFileInfo(file).absolutePath();
    // A regular file is mapped: its pages come from the system's cache, are
    // not copied, and can be given back once read (GltfReleaseFilePages).
    if (QFileInfo(file).isFile()) {
        auto mapped = std::make_unique<CMappedFile>();
        if (mapped->Map(path.c_str())) {
            doc.mapped = std::move(mapped);
            LoadDocument(reinterpret_cast<const uint8_t*>(doc.mapped->Data()), doc.mapped->Size(), folder.toStdString(),
                         true, doc);
            return;
        }
    }
    QString why;
    if (!ReadAll(file, &doc.file, &why))
        GltfFail("the file cannot be read (%s)", why.toUtf8().constData());
    LoadDocument(reinterpret_cast<const uint8_t*>(doc.file.constData()), size_t(doc.file.size()), folder.toStdString(),
                 true, doc);
}

void GltfReleaseFilePages(SGltfDocument& doc)
{
    // Pages of a file mapping that were only read: dropping them loses
    // nothing, as they are read again from the file when touched.
    if (doc.mapped && doc.mapped->Size() >= kMinReleasedBytes)
        ReleasePages(doc.mapped->Data(), doc.mapped->Size());
}

bool GltfFileLost(const SGltfDocument& doc)
{
    return doc.mapped && doc.mapped->Lost();
}

// ---------------------------------------------------------------- JSON access

const json* GltfMember(const json& o, const char* key)
{
    if (!o.is_object())
        return nullptr;
    const auto it = o.find(key);
    return it == o.end() ? nullptr : &*it;
}

const json* GltfObject(const json& o, const char* key, const std::string& what)
{
    const json* m = GltfMember(o, key);
    if (m && !m->is_object())
        GltfFail("%s is not an object", what.c_str());
    return m;
}

const json& GltfArray(const json& o, const char* key, const std::string& what)
{
    static const json kEmpty = json::array();
    const json* m = GltfMember(o, key);
    if (!m)
        return kEmpty;
    if (!m->is_array())
        GltfFail("%s is not an array", what.c_str());
    return *m;
}

int64_t GltfInt(const json& o, const char* key, int64_t def, int64_t lo, int64_t hi, const std::string& what)
{
    const json* m = GltfMember(o, key);
    if (!m)
        return def;
    int64_t v = 0;
    if (m->is_number_unsigned()) {
        const uint64_t u = m->get<uint64_t>();
        if (u > uint64_t(INT64_MAX))
            GltfFail("%s is out of range", what.c_str());
        v = int64_t(u);
    } else if (m->is_number_integer()) {
        v = m->get<int64_t>();
    } else if (m->is_number_float() && std::floor(m->get<double>()) == m->get<double>() &&
               std::fabs(m->get<double>()) < 9e15) {
        v = int64_t(m->get<double>()); // 3.0 written by some exporters
    } else {
        GltfFail("%s is not an integer", what.c_str());
    }
    if (v < lo || v > hi)
        GltfFail("%s is out of range", what.c_str());
    return v;
}

double GltfNumber(const json& o, const char* key, double def, const std::string& what)
{
    const json* m = GltfMember(o, key);
    if (!m)
        return def;
    if (!m->is_number() || !std::isfinite(m->get<double>()))
        GltfFail("%s is not a number", what.c_str());
    return m->get<double>();
}

std::string GltfString(const json& o, const char* key, const std::string& def, const std::string& what)
{
    const json* m = GltfMember(o, key);
    if (!m)
        return def;
    if (!m->is_string())
        GltfFail("%s is not a string", what.c_str());
    return m->get<std::string>();
}

int32_t GltfIndex(const json& o, const char* key, size_t count, const std::string& what)
{
    const int64_t v = GltfInt(o, key, -1, 0, INT32_MAX, what);
    if (v >= 0 && uint64_t(v) >= count)
        GltfFail("%s refers to entry %lld of %zu", what.c_str(), static_cast<long long>(v), count);
    return int32_t(v);
}

bool GltfNumbers(const json& o, const char* key, size_t n, float* out, const std::string& what)
{
    const json* m = GltfMember(o, key);
    if (!m)
        return false;
    if (!m->is_array() || m->size() != n)
        GltfFail("%s is not an array of %zu numbers", what.c_str(), n);
    for (size_t i = 0; i < n; ++i) {
        const json& v = (*m)[i];
        if (!v.is_number() || !std::isfinite(v.get<double>()))
            GltfFail("%s holds a value that is not a number", what.c_str());
        out[i] = float(v.get<double>());
    }
    return true;
}

std::string GltfItem(const char* name, size_t i)
{
    return std::string(name) + "[" + std::to_string(i) + "]";
}
