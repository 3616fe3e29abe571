#pragma once
// Read-only file images: loaded whole from disk or, failing that, found in the
// process-wide in-memory file registry (which embedded scene files fill).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CZGXTResourceFile {
public:
    CZGXTResourceFile() = default;
    ~CZGXTResourceFile() { Close(); }
    CZGXTResourceFile(const CZGXTResourceFile&) = delete;
    CZGXTResourceFile& operator=(const CZGXTResourceFile&) = delete;

    // Read-path prefix + name from disk (a regular, non-empty file), else the
    // name as given from the registry. False when neither has it.
    bool Open(const char* name);
    void Close();

    bool FromRegistry() const { return m_bFromRegistry; }
    const uint8_t* Data() const { return m_pData; }
    size_t Size() const { return m_uiSize; }

    // Prefix put before every name loaded from disk (empty by default).
    static void SetReadPathPrefix(const std::string& prefix);
    static std::string ReadPathPrefix();

    // Registry entries match names exactly, first match first. An owned entry
    // keeps its own copy of the bytes; otherwise the caller keeps them alive
    // for as long as the entry exists (static data of embedded files).
    static void RegisterMemoryFile(const char* name, const void* data, size_t size, bool owned);
    static bool UnregisterMemoryFile(const char* name);

private:
    bool m_bOpen = false;
    bool m_bFromRegistry = false;
    const uint8_t* m_pData = nullptr;
    size_t m_uiSize = 0;
    std::unique_ptr<uint8_t[]> m_pLoaded;                // a file loaded from disk
    std::shared_ptr<const std::vector<uint8_t>> m_pKeep; // an owned registry entry in use
};
