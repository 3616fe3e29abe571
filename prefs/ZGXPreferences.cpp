#include "prefs/ZGXPreferences.h"

#include <QString>

#include <climits>
#include <cstdio>
#include <locale>
#include <sstream>

#include "prefs/Base64.h"
#include "prefs/PlistNodes.h"
#include "prefs/ZGXPreferencesImpl.h"

namespace {

// A preference file larger than this is not one of ours; reading it whole
// would only waste memory.
constexpr size_t kMaxStoreBytes = size_t(64) << 20;

// Suffix of the copy kept of a store file that could not be read.
const char kDamagedSuffix[] = ".damaged";

struct SFileWriter : pugi::xml_writer {
    std::FILE* file = nullptr;
    bool ok = true;
    void write(const void* data, size_t size) override
    {
        if (ok && std::fwrite(data, 1, size, file) != size)
            ok = false;
    }
};

std::unique_ptr<pugi::xml_document> EmptyDocument()
{
    auto doc = std::make_unique<pugi::xml_document>();
    doc->load_string(kZGXPrefEmptyFrame, kPlistParseFlags);
    // The frame's dict holds a line feed; entries must not follow it.
    pugi::xml_node dict = FirstElement(doc->document_element());
    while (dict.first_child())
        dict.remove_child(dict.first_child());
    return doc;
}

// Reads a whole file; false when it cannot be read or is too large.
bool ReadAll(std::FILE* f, std::string& bytes, bool& tooLarge)
{
    tooLarge = false;
    char buffer[65536];
    for (;;) {
        const size_t n = std::fread(buffer, 1, sizeof(buffer), f);
        if (bytes.size() + n > kMaxStoreBytes) {
            tooLarge = true;
            return false;
        }
        bytes.append(buffer, n);
        if (n < sizeof(buffer))
            return !std::ferror(f);
    }
}

void LineAndColumn(const std::string& bytes, ptrdiff_t offset, int& line, int& column)
{
    line = 1;
    column = 1;
    const size_t end = offset < 0 ? 0 : std::min(size_t(offset), bytes.size());
    for (size_t i = 0; i < end; ++i) {
        if (bytes[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
}

CZGXTString FormatReal(double value)
{
    // As a standard output stream writes it: six significant digits, and a
    // '.' whatever the process locale.
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s << value;
    return s.str();
}

void SetText(pugi::xml_node element, const CZGXTString& text)
{
    element.append_child(pugi::node_pcdata).set_value(text.c_str());
}

} // namespace

CZGXPreferences::CZGXPreferences(const CZGXTString& name, int location)
    : CZGXPreferences(name, location, std::make_unique<CZGXPreferencesPosix>())
{
}

CZGXPreferences::CZGXPreferences(const CZGXTString& name, int location, std::unique_ptr<CZGXPreferencesImpl> platform)
    : m_platform(std::move(platform)), m_name(name), m_location(location)
{
}

CZGXPreferences::~CZGXPreferences() = default;

CZGXTString CZGXPreferences::Path() const
{
    return m_platform ? m_platform->StorePath(m_name, m_location) : CZGXTString();
}

CZGXTString CZGXPreferences::StorePath(const CZGXTString& name, int location)
{
    return CZGXPreferencesPosix().StorePath(name, location);
}

CZGXTString CZGXPreferences::StoreFolder(int location)
{
    return CZGXPreferencesPosix::StoreFolder(location);
}

void CZGXPreferences::SetBaseFolder(int location, const CZGXTString& folder)
{
    CZGXPreferencesPosix::SetBaseFolder(location, folder);
}

void CZGXPreferences::TakeStamp()
{
    uint32_t stamp = 0;
    if (m_platform && m_platform->GetStamp(m_name, m_location, stamp))
        m_stamp = stamp;
    else
        m_stamp = 0;
}

bool CZGXPreferences::Load(CZGXTString& error, bool watch)
{
    error.clear();
    if (!m_platform) {
        error = "ERROR: Failed to open filed, or write temporary file!";
        return false;
    }
    std::unique_ptr<SZGXPrefStream> stream = m_platform->OpenStream(m_name, false, m_location, false);
    if (!stream) {
        error = "ERROR: Failed to open filed, or write temporary file!";
        return false;
    }
    std::string bytes;
    bool tooLarge = false;
    const bool read = ReadAll(stream->file, bytes, tooLarge);
    m_platform->CloseStream(std::move(stream), false);

    m_index.clear();
    m_doc.reset();
    m_bWatch = watch;
    m_bDirty = false;

    auto doc = std::make_unique<pugi::xml_document>();
    bool ok = false;
    if (!read) {
        error = tooLarge ? "ERROR: The file is too large for a preference file!\n"
                         : "ERROR: Failed to open filed, or write temporary file!";
    } else {
        const pugi::xml_parse_result parsed =
            doc->load_buffer(bytes.data(), bytes.size(), kPlistParseFlags, pugi::encoding_auto);
        // An empty file (or one with only comments) has nothing to lose.
        const bool parseFailed = !parsed && parsed.status != pugi::status_no_document_element;
        CZGXTString repairError;
        ok = Repair(*doc, bytes, repairError);
        if (!ok && parseFailed) {
            int line = 0, column = 0;
            LineAndColumn(bytes, parsed.offset, line, column);
            error = StrFormat("[%d:%d]: %s", line, column, parsed.description());
        } else if (!ok) {
            error = repairError;
        } else if (parseFailed) {
            // What was read before the fault is kept; the file itself is
            // kept too until something is written.
            int line = 0, column = 0;
            LineAndColumn(bytes, parsed.offset, line, column);
            StoreDebugOutput(Path(), StrFormat("WARNING: [%d:%d]: %s. The entries before it were read.\n", line, column,
                                               parsed.description()));
        }
        m_bDamaged = parseFailed;
    }
    if (ok) {
        m_doc = std::move(doc);
    } else {
        // Start from nothing, but leave the unreadable file alone until a
        // value is written: a save would otherwise replace it with defaults.
        m_doc = EmptyDocument();
        m_bDamaged = true;
    }
    TakeStamp();
    return ok;
}

bool CZGXPreferences::Save(bool force)
{
    if (!m_doc || !m_platform)
        return false;
    if (!m_bDirty && (!force || m_bDamaged))
        return true;
    std::unique_ptr<SZGXPrefStream> stream = m_platform->OpenStream(m_name, true, m_location, true);
    if (!stream)
        return false;
    SFileWriter writer;
    writer.file = stream->file;
    m_doc->save(writer, "\t", pugi::format_indent, pugi::encoding_utf8);
    // The unreadable file is kept beside its replacement.
    if (!writer.ok || (m_bDamaged && !m_platform->KeepCopy(m_name, m_location, kDamagedSuffix))) {
        m_platform->CloseStream(std::move(stream), false);
        return false;
    }
    if (!m_platform->CloseStream(std::move(stream), true))
        return false;
    m_bDirty = false;
    m_bDamaged = false;
    if (m_bWatch)
        TakeStamp();
    return true;
}

bool CZGXPreferences::ReloadIfChanged()
{
    if (m_bDirty || !m_bWatch || !m_doc)
        return true;
    uint32_t stamp = 0;
    if (m_platform->GetStamp(m_name, m_location, stamp) && stamp == m_stamp)
        return true;
    CZGXTString error;
    if (Load(error, true))
        return true;
    StoreDebugOutput(Path(), error);
    return false;
}

std::vector<CZGXTString> CZGXPreferences::SplitKey(const CZGXTString& key)
{
    std::vector<CZGXTString> parts;
    size_t start = 0;
    while (start <= key.size()) {
        size_t end = key.find('/', start);
        if (end == CZGXTString::npos)
            end = key.size();
        if (end > start)
            parts.emplace_back(key, start, end - start);
        start = end + 1;
    }
    return parts;
}

CZGXTString CZGXPreferences::EscapeKey(const CZGXTString& component)
{
    CZGXTString out;
    out.reserve(component.size());
    for (char c : component) {
        if (c == '%')
            out += "%25";
        else if (c == '/')
            out += "%2F";
        else
            out += c;
    }
    return out;
}

CZGXTString CZGXPreferences::UnescapeKey(const CZGXTString& component)
{
    CZGXTString out;
    out.reserve(component.size());
    for (size_t i = 0; i < component.size(); ++i) {
        if (component[i] == '%' && i + 2 < component.size()) {
            const CZGXTString code = component.substr(i + 1, 2);
            if (code == "25") {
                out += '%';
                i += 2;
                continue;
            }
            if (code == "2F" || code == "2f") {
                out += '/';
                i += 2;
                continue;
            }
        }
        out += component[i];
    }
    return out;
}

pugi::xml_node CZGXPreferences::RootDict() const
{
    if (!m_doc)
        return pugi::xml_node();
    pugi::xml_node dict = FirstElement(m_doc->document_element());
    return IsElement(dict, "dict") ? dict : pugi::xml_node();
}

pugi::xml_node CZGXPreferences::FindKeyElement(pugi::xml_node dict, const CZGXTString& component) const
{
    auto it = m_index.find(dict.internal_object());
    if (it == m_index.end()) {
        auto& keys = m_index[dict.internal_object()];
        // Entries are key/value pairs (checked when loading); the first of
        // two equal keys wins.
        for (pugi::xml_node k = FirstElement(dict); k;) {
            pugi::xml_node v = NextElement(k);
            if (IsElement(k, "key"))
                keys.emplace(TextOf(k), k.internal_object());
            if (!v)
                break;
            k = NextElement(v);
        }
        it = m_index.find(dict.internal_object());
    }
    auto found = it->second.find(component);
    return found == it->second.end() ? pugi::xml_node() : pugi::xml_node(found->second);
}

pugi::xml_node CZGXPreferences::FindValue(const std::vector<CZGXTString>& parts) const
{
    pugi::xml_node node = RootDict();
    for (const CZGXTString& part : parts) {
        if (!IsElement(node, "dict"))
            return pugi::xml_node();
        pugi::xml_node key = FindKeyElement(node, part);
        if (!key)
            return pugi::xml_node();
        node = NextElement(key);
    }
    return node;
}

bool CZGXPreferences::HasKey(const CZGXTString& key) const
{
    const std::vector<CZGXTString> parts = SplitKey(key);
    return !parts.empty() && FindValue(parts);
}

int CZGXPreferences::TypeOf(const CZGXTString& key)
{
    const std::vector<CZGXTString> parts = SplitKey(key);
    if (parts.empty() || !ReloadIfChanged())
        return -1;
    const pugi::xml_node value = FindValue(parts);
    static const char* const kNames[] = {"string", "integer", "real", "true", "false", "array", "dict", "data"};
    for (int t = 0; t < 8; ++t)
        if (IsElement(value, kNames[t]))
            return t;
    return -1;
}

pugi::xml_node CZGXPreferences::ReadValue(const CZGXTString& key, const char* element, bool& ok)
{
    ok = false;
    const std::vector<CZGXTString> parts = SplitKey(key);
    if (parts.empty() || !ReloadIfChanged())
        return pugi::xml_node();
    const pugi::xml_node value = FindValue(parts);
    if (!value || (element && !IsElement(value, element)))
        return pugi::xml_node();
    ok = true;
    return value;
}

bool CZGXPreferences::ReadBool(const CZGXTString& key, bool& value)
{
    const std::vector<CZGXTString> parts = SplitKey(key);
    if (parts.empty() || !ReloadIfChanged())
        return false;
    const pugi::xml_node v = FindValue(parts);
    if (IsElement(v, "true") || IsElement(v, "false")) {
        value = IsElement(v, "true");
        return true;
    }
    return false;
}

bool CZGXPreferences::ReadBool(const CZGXTString& key, bool& value, bool def)
{
    if (ReadBool(key, value))
        return true;
    value = def;
    return false;
}

bool CZGXPreferences::ReadInt(const CZGXTString& key, int32_t& value)
{
    bool ok = false;
    const pugi::xml_node v = ReadValue(key, "integer", ok);
    if (!ok)
        return false;
    const CZGXTString text = TextOf(v);
    const long long n = ParseDecimalInteger(text.data(), text.data() + text.size());
    // A number this store cannot hold is not read as a wrong one.
    if (n < INT32_MIN || n > INT32_MAX)
        return false;
    value = int32_t(n);
    return true;
}

bool CZGXPreferences::ReadInt(const CZGXTString& key, int32_t& value, int32_t def)
{
    if (ReadInt(key, value))
        return true;
    value = def;
    return false;
}

bool CZGXPreferences::ReadReal(const CZGXTString& key, double& value)
{
    bool ok = false;
    const pugi::xml_node v = ReadValue(key, "real", ok);
    if (!ok)
        return false;
    const CZGXTString text = TextOf(v);
    value = ParseDecimalReal(text.data(), text.data() + text.size());
    return true;
}

bool CZGXPreferences::ReadReal(const CZGXTString& key, double& value, double def)
{
    if (ReadReal(key, value))
        return true;
    value = def;
    return false;
}

bool CZGXPreferences::ReadString(const CZGXTString& key, CZGXTString& value)
{
    bool ok = false;
    const pugi::xml_node v = ReadValue(key, "string", ok);
    if (ok)
        value = TextOf(v);
    return ok;
}

bool CZGXPreferences::ReadString(const CZGXTString& key, CZGXTString& value, const CZGXTString& def)
{
    if (ReadString(key, value))
        return true;
    value = def;
    return false;
}

bool CZGXPreferences::ReadData(const CZGXTString& key, std::vector<uint8_t>& value)
{
    bool ok = false;
    const pugi::xml_node v = ReadValue(key, "data", ok);
    if (!ok)
        return false;
    const CZGXTString text = TextOf(v);
    return Base64Decode(text.data(), text.size(), value);
}

bool CZGXPreferences::ReadData(const CZGXTString& key, std::vector<uint8_t>& value, const std::vector<uint8_t>& def)
{
    if (ReadData(key, value))
        return true;
    value = def;
    return false;
}

bool CZGXPreferences::ReadStringArray(const CZGXTString& key, std::vector<CZGXTString>& value)
{
    bool ok = false;
    const pugi::xml_node v = ReadValue(key, "array", ok);
    if (!ok)
        return false;
    std::vector<CZGXTString> strings;
    for (pugi::xml_node e = FirstElement(v); e; e = NextElement(e)) {
        if (!IsElement(e, "string"))
            return false;
        strings.push_back(TextOf(e));
    }
    value.swap(strings);
    return true;
}

bool CZGXPreferences::ReadStringArray(const CZGXTString& key, std::vector<CZGXTString>& value,
                                      const std::vector<CZGXTString>& def)
{
    if (ReadStringArray(key, value))
        return true;
    value = def;
    return false;
}

pugi::xml_node CZGXPreferences::ReplaceValue(pugi::xml_node dict, const CZGXTString& component, const char* element)
{
    pugi::xml_node key = FindKeyElement(dict, component);
    if (!key) {
        key = dict.append_child("key");
        SetText(key, component);
        m_index[dict.internal_object()].emplace(component, key.internal_object());
        return dict.append_child(element);
    }
    pugi::xml_node old = NextElement(key);
    if (old) {
        // Removing a dict or array frees the nodes its index may point to.
        if (IsElement(old, "dict") || IsElement(old, "array"))
            m_index.clear();
        dict.remove_child(old);
    }
    return dict.insert_child_after(element, key);
}

int CZGXPreferences::PrepareWrite(const CZGXTString& key, const char* element, pugi::xml_node& value)
{
    const std::vector<CZGXTString> parts = SplitKey(key);
    if (parts.empty())
        return ePrefEmptyKey;
    if (!m_doc || !ReloadIfChanged())
        return ePrefNoDocument;
    pugi::xml_node dict = RootDict();
    if (!dict)
        return ePrefNoDocument;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        pugi::xml_node k = FindKeyElement(dict, parts[i]);
        pugi::xml_node next = k ? NextElement(k) : pugi::xml_node();
        dict = IsElement(next, "dict") ? next : ReplaceValue(dict, parts[i], "dict");
    }
    value = ReplaceValue(dict, parts.back(), element);
    m_bDirty = true;
    return ePrefDone;
}

int CZGXPreferences::WriteBool(const CZGXTString& key, bool value)
{
    pugi::xml_node v;
    return PrepareWrite(key, value ? "true" : "false", v);
}

int CZGXPreferences::WriteInt(const CZGXTString& key, int32_t value)
{
    pugi::xml_node v;
    const int r = PrepareWrite(key, "integer", v);
    if (r == ePrefDone)
        SetText(v, StrFormat("%d", int(value)));
    return r;
}

int CZGXPreferences::WriteReal(const CZGXTString& key, double value)
{
    pugi::xml_node v;
    const int r = PrepareWrite(key, "real", v);
    if (r == ePrefDone)
        SetText(v, FormatReal(value));
    return r;
}

int CZGXPreferences::WriteString(const CZGXTString& key, const CZGXTString& value)
{
    pugi::xml_node v;
    const int r = PrepareWrite(key, "string", v);
    if (r == ePrefDone)
        SetText(v, value);
    return r;
}

int CZGXPreferences::WriteData(const CZGXTString& key, const void* bytes, size_t length)
{
    pugi::xml_node v;
    const int r = PrepareWrite(key, "data", v);
    if (r == ePrefDone)
        SetText(v, Base64Encode(bytes, length, 72));
    return r;
}

int CZGXPreferences::WriteData(const CZGXTString& key, const std::vector<uint8_t>& bytes)
{
    return WriteData(key, bytes.data(), bytes.size());
}

int CZGXPreferences::WriteStringArray(const CZGXTString& key, const std::vector<CZGXTString>& value)
{
    pugi::xml_node v;
    const int r = PrepareWrite(key, "array", v);
    if (r == ePrefDone)
        for (const CZGXTString& s : value)
            SetText(v.append_child("string"), s);
    return r;
}

int CZGXPreferences::RemoveKey(const CZGXTString& key)
{
    const std::vector<CZGXTString> parts = SplitKey(key);
    if (parts.empty())
        return ePrefEmptyKey;
    if (!m_doc || !ReloadIfChanged())
        return ePrefNoDocument;
    // The dicts along the path, root first.
    std::vector<pugi::xml_node> dicts{RootDict()};
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        pugi::xml_node k = IsElement(dicts.back(), "dict") ? FindKeyElement(dicts.back(), parts[i]) : pugi::xml_node();
        pugi::xml_node next = k ? NextElement(k) : pugi::xml_node();
        if (!IsElement(next, "dict"))
            return ePrefNotFound;
        dicts.push_back(next);
    }
    if (!dicts.back() || !FindKeyElement(dicts.back(), parts.back()))
        return ePrefNotFound;
    // Walk upwards: remove the entry, and the entry holding its dict when
    // that dict is now empty. The root dict itself stays.
    for (size_t level = parts.size(); level-- > 0;) {
        pugi::xml_node dict = dicts[level];
        pugi::xml_node k = FindKeyElement(dict, parts[level]);
        pugi::xml_node v = NextElement(k);
        if (v)
            dict.remove_child(v);
        dict.remove_child(k);
        m_index.clear();
        if (level == 0 || FirstElement(dict))
            break;
    }
    m_bDirty = true;
    return ePrefDone;
}
