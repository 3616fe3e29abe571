// The options text: "name=value" lines, one per option.
#include <QSaveFile>

#include <cstdio>
#include <cstring>
#include <memory>

#include "options/Options.h"
#include "base/OutputPath.h"
#include "options/SceneOptionsSource.h"

namespace {
SceneFileOptionsReader g_sceneFileOptionsReader = nullptr;
}

void SetSceneFileOptionsReader(SceneFileOptionsReader reader)
{
    g_sceneFileOptionsReader = reader;
}

bool ReadSceneFileOptionsText(const char* path, size_t maxBytes, CZGXTString* text)
{
    return g_sceneFileOptionsReader && g_sceneFileOptionsReader(path, maxBytes, text);
}

namespace {

// Longest text or line read from a file, as the file readers have always cut it.
constexpr size_t kMaxFileText = 10239;

bool Matches(const char* key, size_t keyLen, const char* name)
{
    return name && std::strlen(name) == keyLen && std::memcmp(key, name, keyLen) == 0;
}

template <class T>
bool MatchesSlot(const char* key, size_t keyLen, const SOptionRecord<T>& slot)
{
    return Matches(key, keyLen, slot.pszName) || Matches(key, keyLen, slot.pszLegacyName);
}

bool EqualsIgnoreCase(const std::string& a, const char* b)
{
    size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = char(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

} // namespace

CZGXTString COptionsData::ToText() const
{
    CZGXTString text;
    text.reserve(2048);
    auto line = [&text](const char* name, const CZGXTString& value) {
        text += name;
        text += '=';
        text += value;
        text += '\n';
    };
    // bApplyUnit came later than the texts that scene files and profiles
    // hold: written only when on, so every text written without it stays as
    // it was, and a text without it reads as off.
    for (int i = 0; i < opt::eBoolCount; ++i)
        if (i != opt::bApplyUnit || m_aBool[i].value)
            line(m_aBool[i].pszName, m_aBool[i].value ? "1" : "0");
    for (const auto& slot : m_aFloat)
        line(slot.pszName, FormatFixed(slot.value, 2));
    for (const SOptionRecord<int32_t>* slot : {&m_eExpFormat, &m_cS, &m_eTriSort, &m_ePrimType})
        line(slot->pszName, std::to_string(slot->value));
    for (const auto& slot : m_aString)
        line(slot.pszName, slot.value);
    // Unsigned numbers are written as signed 32-bit values; reading them back
    // wraps to the same bits.
    for (const auto& slot : m_aUInt)
        line(slot.pszName, std::to_string(int32_t(slot.value)));
    for (int a = 0; a < eVACount; ++a) {
        const char* name = m_aVtxName[a].pszName;
        text += StrFormat("%s.bExport=%i\n", name, m_aVtx[a].bExport ? 1 : 0);
        text += StrFormat("%s.eType=%i\n", name, int(m_aVtx[a].eType));
        text += StrFormat("%s.nEnable=%i\n", name, int(m_aVtx[a].nEnable));
    }
    return text;
}

int COptionsData::FromText(const CZGXTString& text)
{
    const char* p = text.data();
    const char* const end = p + text.size();
    int count = 0;
    bool sawCustomSettings = false;

    while (p < end) {
        while (p < end && *p == '\n')
            ++p;
        if (p >= end)
            break;
        const char* lineEnd = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        if (!lineEnd)
            lineEnd = end;
        const char* eq = static_cast<const char*>(std::memchr(p, '=', size_t(lineEnd - p)));
        const char* key = p;
        p = lineEnd;
        if (!eq)
            continue;
        const size_t keyLen = size_t(eq - key);
        const char* value = eq + 1;
        const char* valueEnd = lineEnd;
        if (keyLen == 0 || value == valueEnd)
            continue;

        auto asInt = [&] { return ParseDecimalInteger(value, valueEnd); };
        bool matched = false;

        for (int i = 0; i < opt::eBoolCount && !matched; ++i) {
            if (MatchesSlot(key, keyLen, m_aBool[i])) {
                SetBool(i, asInt() != 0);
                if (i == opt::bUseCustomOptSettings)
                    sawCustomSettings = true;
                matched = true;
            }
        }
        for (int i = 0; i < opt::eFloatCount && !matched; ++i) {
            if (MatchesSlot(key, keyLen, m_aFloat[i])) {
                m_aFloat[i].value = float(ParseDecimalReal(value, valueEnd));
                matched = true;
            }
        }
        if (!matched) {
            SOptionRecord<int32_t>* choices[] = {&m_eExpFormat, &m_cS, &m_eTriSort, &m_ePrimType};
            for (SOptionRecord<int32_t>* slot : choices) {
                if (Matches(key, keyLen, slot->pszName)) {
                    slot->value = int32_t(asInt());
                    if (slot == &m_ePrimType)
                        ApplyAutoOptimisation();
                    matched = true;
                    break;
                }
            }
        }
        for (int i = 0; i < opt::eStringCount && !matched; ++i) {
            if (MatchesSlot(key, keyLen, m_aString[i])) {
                m_aString[i].value.assign(value, valueEnd);
                matched = true;
            }
        }
        for (int i = 0; i < opt::eUIntCount && !matched; ++i) {
            if (MatchesSlot(key, keyLen, m_aUInt[i])) {
                m_aUInt[i].value = uint32_t(asInt());
                matched = true;
            }
        }
        if (!matched) {
            const char* dot = static_cast<const char*>(std::memchr(key, '.', keyLen));
            if (dot && dot + 1 < eq) {
                const size_t nameLen = size_t(dot - key);
                const CZGXTString field(dot + 1, eq);
                for (int a = 0; a < eVACount && !matched; ++a) {
                    if (!Matches(key, nameLen, m_aVtxName[a].pszName))
                        continue;
                    if (field == "bExport") {
                        m_aVtx[a].bExport = asInt() != 0;
                        matched = true;
                    } else if (field == "eType") {
                        m_aVtx[a].eType = int32_t(asInt());
                        matched = true;
                    } else if (field == "nEnable") {
                        m_aVtx[a].nEnable = int32_t(asInt());
                        matched = true;
                    }
                    break;
                }
            }
        }
        if (!matched && Matches(key, keyLen, "exportNormals")) {
            m_aVtx[eVANormal].bExport = asInt() != 0;
            matched = true;
        }
        if (!matched && Matches(key, keyLen, "exportVertexColor")) {
            m_aVtx[eVAColour].bExport = asInt() != 0;
            matched = true;
        }
        if (matched)
            ++count;
    }

    MaskVertexFormats();
    if (sawCustomSettings) {
        ApplyAutoOptimisation();
    } else {
        // Older texts have no custom-settings line: keep their sorting choices
        // by switching custom settings on when they differ from the rule.
        const bool sortMatches = m_aBool[opt::bSortVertices].value == m_aBool[opt::bIndexed].value;
        const int32_t ruleTriSort = (m_ePrimType.value == ePrimTriangleStrip) ? eTriSortTriStrip : eTriSortGeometry;
        if (!sortMatches || m_eTriSort.value != ruleTriSort)
            m_aBool[opt::bUseCustomOptSettings].value = true;
    }
    return count;
}

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Collects the lines between "\tExpOpt{" and "\t}ExpOpt" of a generated header.
bool ReadHeaderOptionsBlock(const char* path, CZGXTString* text)
{
    FilePtr file(std::fopen(path, "rb"));
    if (!file)
        return false;
    std::unique_ptr<char[]> buf(new char[kMaxFileText + 1]);
    bool inside = false;
    while (std::fgets(buf.get(), int(kMaxFileText + 1), file.get())) {
        std::string line(buf.get());
        if (line.size() >= 2 && line[line.size() - 2] == '\r' && line.back() == '\n') {
            line.erase(line.size() - 2, 1);
        }
        if (!inside) {
            if (line == "\tExpOpt{\n")
                inside = true;
            continue;
        }
        if (line == "\t}ExpOpt\n")
            return true;
        *text += line;
    }
    return false;
}

} // namespace

int COptionsData::LoadFromFile(const char* path)
{
    if (!path)
        return 0;
    const char* dot = std::strrchr(path, '.');
    if (!dot)
        return 0;
    const std::string ext(dot + 1);

    CZGXTString text;
    if (EqualsIgnoreCase(ext, "h")) {
        if (!ReadHeaderOptionsBlock(path, &text))
            return 0;
        return FromText(text);
    }
    if (EqualsIgnoreCase(ext, "qef")) {
        if (!ReadSceneFileOptionsText(path, kMaxFileText, &text))
            return 0;
        if (text.size() > kMaxFileText)
            text.resize(kMaxFileText);
        // The stored text may carry its terminating NUL; stop there.
        text.resize(std::strlen(text.c_str()));
        return FromText(text);
    }
    if (EqualsIgnoreCase(ext, "plist"))
        return 0;

    FilePtr file(std::fopen(path, "rb"));
    if (!file)
        return 0;
    text.resize(kMaxFileText);
    size_t n = std::fread(&text[0], 1, kMaxFileText, file.get());
    text.resize(n);
    text.resize(std::strlen(text.c_str()));
    if (text.empty())
        return 0;
    return FromText(text);
}

bool COptionsData::SaveToFile(const char* path) const
{
    if (!path)
        return false;
    // Written beside the target and renamed over it, so a failed write keeps
    // the previous profile file.
    if (!IsReplaceableOutput(path))
        return false;
    QSaveFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const CZGXTString text = ToText();
    if (file.write(text.data(), qint64(text.size())) != qint64(text.size())) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
