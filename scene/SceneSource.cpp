#include "scene/SceneSource.h"

#include <QFile>
#include <QSaveFile>

#include <cstring>
#include <new>
#include <vector>

#include "app/ConversionLog.h"
#include "options/Options.h"
#include "scene/Scene.h"
#include "scene/SceneWrite.h"

namespace {

bool IsAlnum(unsigned char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Text inside the leading block comment: a "*/" in an option value would end
// the comment early and leave the rest of the text as code.
void AppendCommentText(CZGXTString& out, const char* text)
{
    for (const char* p = text; *p; ++p) {
        out += *p;
        if (p[0] == '*' && p[1] == '/')
            out += ' ';
    }
}

// A name on a "//" line: a line break in it would end the comment.
CZGXTString LineCommentText(const CZGXTString& name)
{
    CZGXTString out = name;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return out;
}

// A name inside a C string literal.
CZGXTString StringLiteralText(const CZGXTString& name)
{
    CZGXTString out;
    for (char ch : name) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c == 0x7F) {
            out += StrFormat("\\%03o", unsigned(c));
        } else {
            out += ch;
        }
    }
    return out;
}

char* AppendWord(char* p, uint32_t w)
{
    static const char kHex[] = "0123456789abcdef";
    *p++ = '0';
    *p++ = 'x';
    int shift = 28;
    while (shift > 0 && ((w >> shift) & 0xF) == 0)
        shift -= 4;
    for (; shift >= 0; shift -= 4)
        *p++ = kHex[(w >> shift) & 0xF];
    *p++ = ',';
    return p;
}

} // namespace

SSceneSourceNames SceneSourceNames(const char* outputPath)
{
    SSceneSourceNames names;
    const CZGXTString path = outputPath ? outputPath : "";
    const size_t slash = path.find_last_of("/\\");
    names.fileName = slash == CZGXTString::npos ? path : path.substr(slash + 1);
    const size_t dot = names.fileName.rfind('.');
    names.embeddedName = (dot == CZGXTString::npos ? names.fileName : names.fileName.substr(0, dot)) + ".qef";
    names.identifier = "_" + names.embeddedName;
    for (size_t i = 1; i < names.identifier.size(); ++i)
        if (!IsAlnum(static_cast<unsigned char>(names.identifier[i])))
            names.identifier[i] = '_';
    return names;
}

CZGXTString SceneSourceText(const uint8_t* data, size_t size, const char* outputPath, const char* optionsText,
                            const char* historyText, uint32_t modeFlags)
{
    const SSceneSourceNames names = SceneSourceNames(outputPath);
    const CZGXTString commentName = LineCommentText(names.embeddedName);
    const bool registration = (modeFlags & eSourceNoRegistration) == 0;

    CZGXTString head;
    head += "/*\n\tExpOpt{\n";
    AppendCommentText(head, optionsText ? optionsText : "");
    head += "\t}ExpOpt\n\n\tHistory{\n";
    AppendCommentText(head, historyText ? historyText : "");
    head += "\n\t}History\n*/\n";
    head += "// This file was created by Bytecask 1.1\n";
    head += (modeFlags & eSourceBigEndian) ? "// Big endian mode\n" : "// Little endian mode\n";
    head += "// DO NOT EDIT\n\n";
    if (registration)
        head += "#include \"../ZGXTMemoryFileSystem.h\"\n\n";
    head += "// using 32 bit to guarantee alignment.\n#ifndef A32BIT\n #define A32BIT static const unsigned int\n"
            "#endif\n\n";
    head += "// ******** Start: " + commentName + " ********\n\n// File data\n";
    head += "A32BIT " + names.identifier + "[] = {";

    CZGXTString tail = "\n};\n\n";
    if (registration) {
        tail += "// Register " + commentName + " in memory file system at application startup time\n";
        tail += "static CZGXTMemoryFileSystem RegisterFile" + names.identifier + "(\"" +
                StringLiteralText(names.embeddedName) + "\", " + names.identifier + ", " +
                StrFormat("%zu", size) + ");\n\n";
    } else {
        tail += "static int " + names.identifier + "_size = " + StrFormat("%zu", size) + ";\n\n";
    }
    tail += "// ******** End: " + commentName + " ********\n\n";

    // An empty file still gives one word; the extra-word mode guarantees a
    // trailing zero byte.
    const size_t words = (size == 0 || (modeFlags & eSourceExtraWord)) ? size / 4 + 1 : (size + 3) / 4;
    CZGXTString text;
    text.resize(head.size() + words * 11 + words / 64 + 1 + tail.size());
    char* p = &text[0];
    std::memcpy(p, head.data(), head.size());
    p += head.size();
    const bool swap = (modeFlags & eSourceBigEndian) != 0;
    for (size_t i = 0; i < words; ++i) {
        uint8_t b[4] = {0, 0, 0, 0};
        const size_t at = i * 4;
        if (at + 4 <= size)
            std::memcpy(b, data + at, 4);
        else if (at < size)
            std::memcpy(b, data + at, size - at);
        uint32_t w = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
        if (swap)
            w = (w >> 24) | ((w >> 8) & 0xFF00u) | ((w << 8) & 0xFF0000u) | (w << 24);
        if (i % 64 == 0)
            *p++ = '\n';
        p = AppendWord(p, w);
    }
    std::memcpy(p, tail.data(), tail.size());
    p += tail.size();
    text.resize(size_t(p - text.data()));
    return text;
}

int WriteSceneSource(const char* outputPath, const COptionsData& options, const char* historyText,
                     const SScene& scene)
{
    if (!outputPath || !*outputPath)
        return 1;
    const CZGXTString optionsText = options.ToText();
    std::vector<uint8_t> binary;
    if (WriteSceneFileToMemory(scene, optionsText.c_str(), historyText, &binary) != 0)
        return 1;
    const uint32_t mode = options.GetExpFormat() == eExpFormatHeader ? uint32_t(eSourceNoRegistration) : 0u;
    CZGXTString text;
    try {
        text = SceneSourceText(binary.data(), binary.size(), outputPath, optionsText.c_str(), historyText, mode);
    } catch (const std::bad_alloc&) {
        ConversionLog(eLogError, "Out of memory.");
        return 1;
    }
    binary = std::vector<uint8_t>();

    QSaveFile file(QFile::decodeName(outputPath));
    if (!file.open(QIODevice::WriteOnly)) {
        ConversionLog(eLogError, "Cannot create '%s': %s", outputPath, file.errorString().toUtf8().constData());
        return 1;
    }
    if (file.write(text.data(), qint64(text.size())) != qint64(text.size())) {
        ConversionLog(eLogError, "Cannot write '%s': %s", outputPath, file.errorString().toUtf8().constData());
        file.cancelWriting();
        return 1;
    }
    if (!file.commit()) {
        ConversionLog(eLogError, "Cannot write '%s': %s", outputPath, file.errorString().toUtf8().constData());
        return 1;
    }
    return 0;
}
