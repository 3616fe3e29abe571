#include "scene/ResourceFile.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "base/FileTrace.h"

namespace {

struct SMemoryFile {
    std::string name;
    const uint8_t* data = nullptr;
    size_t size = 0;
    std::shared_ptr<const std::vector<uint8_t>> owned;
};

// Function-local statics: embedded files register during static
// initialisation, possibly before this file's own globals exist.
std::mutex& RegistryMutex()
{
    static std::mutex m;
    return m;
}

std::vector<SMemoryFile>& Registry()
{
    static std::vector<SMemoryFile> files;
    return files;
}

std::string& PrefixStorage()
{
    static std::string prefix;
    return prefix;
}

// Whole regular files only: a directory, device or pipe has no size to trust.
bool LoadFromDisk(const std::string& path, std::unique_ptr<uint8_t[]>* data, size_t* size)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    bool ok = false;
    struct stat st;
    if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
        uint64_t(st.st_size) <= uint64_t(SIZE_MAX)) {
        const size_t n = size_t(st.st_size);
        std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[n]);
        if (buffer && std::fread(buffer.get(), 1, n, f) == n) {
            *data = std::move(buffer);
            *size = n;
            ok = true;
        }
    }
    std::fclose(f);
    return ok;
}

} // namespace

bool CZGXTResourceFile::Open(const char* name)
{
    Close();
    if (!name)
        return false;
    const std::string path = ReadPathPrefix() + name;
    if (LoadFromDisk(path, &m_pLoaded, &m_uiSize)) {
        NoteFileRead(path);
        m_pData = m_pLoaded.get();
        m_bOpen = true;
        return true;
    }
    std::lock_guard<std::mutex> lock(RegistryMutex());
    for (const SMemoryFile& f : Registry()) {
        if (f.name == name) {
            m_pKeep = f.owned;
            m_pData = f.data;
            m_uiSize = f.size;
            m_bOpen = true;
            m_bFromRegistry = true;
            return true;
        }
    }
    return false;
}

void CZGXTResourceFile::Close()
{
    m_pLoaded.reset();
    m_pKeep.reset();
    m_pData = nullptr;
    m_uiSize = 0;
    m_bOpen = false;
    m_bFromRegistry = false;
}

void CZGXTResourceFile::SetReadPathPrefix(const std::string& prefix)
{
    std::lock_guard<std::mutex> lock(RegistryMutex());
    PrefixStorage() = prefix;
}

std::string CZGXTResourceFile::ReadPathPrefix()
{
    std::lock_guard<std::mutex> lock(RegistryMutex());
    return PrefixStorage();
}

void CZGXTResourceFile::RegisterMemoryFile(const char* name, const void* data, size_t size, bool owned)
{
    if (!name)
        return;
    SMemoryFile f;
    f.name = name;
    f.size = data ? size : 0;
    if (owned && data) {
        auto copy = std::make_shared<std::vector<uint8_t>>(static_cast<const uint8_t*>(data),
                                                           static_cast<const uint8_t*>(data) + size);
        f.data = copy->data();
        f.owned = std::move(copy);
    } else {
        f.data = static_cast<const uint8_t*>(data);
    }
    std::lock_guard<std::mutex> lock(RegistryMutex());
    Registry().push_back(std::move(f));
}

bool CZGXTResourceFile::UnregisterMemoryFile(const char* name)
{
    if (!name)
        return false;
    std::lock_guard<std::mutex> lock(RegistryMutex());
    std::vector<SMemoryFile>& files = Registry();
    for (auto it = files.begin(); it != files.end(); ++it) {
        if (it->name == name) {
            files.erase(it);
            return true;
        }
    }
    return false;
}
