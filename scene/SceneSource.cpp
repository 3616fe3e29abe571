#include "scene/SceneSource.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <vector>

#include "base/ConversionLog.h"
#include "base/OutputPath.h"
#include "options/Options.h"
#include "scene/Scene.h"
#include "scene/SceneFileFormat.h"
#include "scene/SceneWrite.h"
#include "scene/WriteAll.h"

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

// "0x", the word in lower-case hex without leading zeros, ",". Writes up
// to 16 bytes at p (the buffer keeps that much slack); returns the new end.
char* AppendWord(char* p, uint32_t w)
{
    const int digits = w ? (32 - __builtin_clz(w) + 3) / 4 : 1;
    p[0] = '0';
    p[1] = 'x';
    if (qef::kHostLittleEndian) {
        // Eight nibbles, most significant first in memory, turned to ASCII
        // together; shifting drops the leading zeros.
        uint64_t n = 0;
        for (int i = 0; i < 8; ++i)
            n |= uint64_t((w >> (28 - 4 * i)) & 0xF) << (8 * i);
        const uint64_t letters = ((n + 0x7676767676767676ull) >> 7) & 0x0101010101010101ull;
        uint64_t ascii = n + 0x3030303030303030ull + letters * 0x27;
        ascii >>= 8 * (8 - digits);
        std::memcpy(p + 2, &ascii, 8);
    } else {
        static const char kHex[] = "0123456789abcdef";
        for (int i = 0; i < digits; ++i)
            p[2 + i] = kHex[(w >> (4 * (digits - 1 - i))) & 0xF];
    }
    p[2 + digits] = ',';
    return p + 3 + digits;
}

// The text in pieces: head, words, tail. Returns false when the sink does.
using FTextSink = std::function<bool(const char* text, size_t size)>;

bool GenerateSourceText(const uint8_t* data, size_t size, const char* outputPath, const char* optionsText,
                        const char* historyText, uint32_t modeFlags, const FTextSink& sink)
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
    if (!sink(head.data(), head.size()))
        return false;

    // An empty file still gives one word; the extra-word mode guarantees a
    // trailing zero byte.
    const size_t words = (size == 0 || (modeFlags & eSourceExtraWord)) ? size / 4 + 1 : (size + 3) / 4;
    const bool swap = (modeFlags & eSourceBigEndian) != 0;
    constexpr size_t kLinesPerChunk = 2048; // 64 words each, at most 11 bytes a word
    std::vector<char> chunk(kLinesPerChunk * (64 * 11 + 1) + 16);
    for (size_t line = 0; line * 64 < words;) {
        char* p = chunk.data();
        const size_t lastLine = std::min(line + kLinesPerChunk, (words + 63) / 64);
        for (; line < lastLine; ++line) {
            *p++ = '\n';
            const size_t end = std::min(words, (line + 1) * 64);
            for (size_t i = line * 64; i < end; ++i) {
                const size_t at = i * 4;
                uint32_t w;
                if (at + 4 <= size) {
                    w = uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 |
                        uint32_t(data[at + 3]) << 24;
                } else {
                    uint8_t b[4] = {0, 0, 0, 0};
                    if (at < size)
                        std::memcpy(b, data + at, size - at);
                    w = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
                }
                if (swap)
                    w = (w >> 24) | ((w >> 8) & 0xFF00u) | ((w << 8) & 0xFF0000u) | (w << 24);
                p = AppendWord(p, w);
            }
        }
        if (!sink(chunk.data(), size_t(p - chunk.data())))
            return false;
    }

    CZGXTString tail = "\n};\n\n";
    if (registration) {
        tail += "// Register " + commentName + " in memory file system at application startup time\n";
        tail += "static CZGXTMemoryFileSystem RegisterFile" + names.identifier + "(\"" +
                StringLiteralText(names.embeddedName) + "\", " + names.identifier + ", " + StrFormat("%zu", size) +
                ");\n\n";
    } else {
        tail += "static int " + names.identifier + "_size = " + StrFormat("%zu", size) + ";\n\n";
    }
    tail += "// ******** End: " + commentName + " ********\n\n";
    return sink(tail.data(), tail.size());
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
    CZGXTString text;
    text.reserve(size / 4 * 11 + size / 256 + 4096);
    GenerateSourceText(data, size, outputPath, optionsText, historyText, modeFlags, [&text](const char* p, size_t n) {
        text.append(p, n);
        return true;
    });
    return text;
}

int WriteSceneSource(const char* outputPath, const COptionsData& options, const char* historyText, const SScene& scene)
{
    if (!outputPath || !*outputPath)
        return 1;
    const CZGXTString optionsText = options.ToText();
    std::vector<uint8_t> binary;
    if (WriteSceneFileToMemory(scene, optionsText.c_str(), historyText, &binary) != 0)
        return 1;
    const uint32_t mode = options.GetExpFormat() == eExpFormatHeader ? uint32_t(eSourceNoRegistration) : 0u;

    // The text goes straight into a file beside the output, which replaces
    // the output only once it is complete.
    if (!IsReplaceableOutput(outputPath)) {
        ConversionLog(eLogError, "Cannot create '%s': %s", outputPath, "it exists and is not a regular file");
        return 1;
    }
    QSaveFile file(QFile::decodeName(outputPath));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        ConversionLog(eLogError, "Cannot create '%s': %s", outputPath, file.errorString().toUtf8().constData());
        return 1;
    }
    bool written = false;
    QString why;
    try {
        written = GenerateSourceText(binary.data(), binary.size(), outputPath, optionsText.c_str(), historyText, mode,
                                     [&file, &why](const char* p, size_t n) { return WriteAll(file, p, n, &why); });
    } catch (const std::bad_alloc&) {
        file.cancelWriting();
        ConversionLog(eLogError, "Out of memory.");
        return 1;
    }
    if (!written) {
        ConversionLog(eLogError, "Cannot write '%s': %s", outputPath, why.toUtf8().constData());
        file.cancelWriting();
        return 1;
    }
    if (!file.commit()) {
        ConversionLog(eLogError, "Cannot write '%s': %s", outputPath, file.errorString().toUtf8().constData());
        return 1;
    }
    return 0;
}
