// Preference store: Load of a store file from bytes, then the reads the
// program makes (options of the current profile, a recent-files list, every
// value type), a write and a save.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "options/Options.h"
#include "prefs/ZGXPreferences.h"
#include "prefs/ZGXPreferencesImpl.h"

namespace {

// Serves the fuzz input as the store file and swallows what is saved.
class CMemoryPrefs : public CZGXPreferencesImpl {
public:
    CMemoryPrefs(const uint8_t* data, size_t size) : m_bytes(data, data + size) {}

    std::unique_ptr<SZGXPrefStream> OpenStream(const CZGXTString& name, bool forWriting, int, bool) override
    {
        auto stream = std::make_unique<SZGXPrefStream>();
        stream->path = name + ".plist";
        stream->forWriting = forWriting;
        if (forWriting || m_bytes.empty())
            stream->file = std::fopen("/dev/null", forWriting ? "wb" : "rb");
        else
            stream->file = fmemopen(m_bytes.data(), m_bytes.size(), "rb");
        if (!stream->file)
            return nullptr;
        return stream;
    }
    bool CloseStream(std::unique_ptr<SZGXPrefStream> stream, bool) override
    {
        return stream && std::fclose(stream->file) == 0;
    }
    bool GetStamp(const CZGXTString&, int, uint32_t&) override { return false; }
    bool KeepCopy(const CZGXTString&, int, const char*) override { return true; }
    CZGXTString StorePath(const CZGXTString& name, int) override { return name + ".plist"; }

private:
    std::vector<uint8_t> m_bytes;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CZGXPreferences store("Fuzz", ePrefUser, std::make_unique<CMemoryPrefs>(data, size));
    CZGXTString error;
    store.Load(error);

    COptionsData options;
    options.LoadFromPreferences(store, "Profiles/[Current]/");

    bool b = false;
    int32_t i = 0;
    double r = 0;
    CZGXTString s;
    std::vector<uint8_t> bytes;
    std::vector<CZGXTString> list;
    for (const char* key : {"a", "a/b", "Exported/Recent files"}) {
        store.ReadBool(key, b);
        store.ReadInt(key, i);
        store.ReadReal(key, r);
        store.ReadString(key, s);
        store.ReadData(key, bytes);
        store.ReadStringArray(key, list);
        store.TypeOf(key);
        store.HasKey(key);
    }
    store.WriteString("a/b/c", "x");
    store.RemoveKey("a/b");
    store.Save(true);
    return 0;
}
