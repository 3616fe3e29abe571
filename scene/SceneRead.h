#pragma once
// The binary scene file reader. Files are treated as hostile: every length and
// count is checked against the bytes that remain and against the records it
// describes, nothing is allocated beyond what the file holds, and strings are
// always terminated.
#include <cstddef>
#include <cstdint>

#include "base/ZGXTString.h"
#include "scene/ResourceFile.h"

struct SScene;

// A byte source. Read and Skip fail, changing nothing, when fewer bytes remain.
class CSource {
public:
    virtual ~CSource() = default;
    virtual bool Read(void* destination, size_t bytes) = 0;
    virtual bool Skip(size_t bytes) = 0;
    virtual size_t Remaining() const = 0;
    virtual size_t Position() const = 0;
};

// Reads a named resource file (disk, then the in-memory registry).
class CSourceStream : public CSource {
public:
    // Releases any previous file; false for a null name or a file that does
    // not open.
    bool Init(const char* name);

    bool Read(void* destination, size_t bytes) override;
    bool Skip(size_t bytes) override;
    size_t Remaining() const override { return m_file.Size() - m_position; }
    size_t Position() const override { return m_position; }

private:
    CZGXTResourceFile m_file;
    size_t m_position = 0;
};

// Reads bytes held in memory; the caller keeps them alive while it reads.
class CMemorySource : public CSource {
public:
    CMemorySource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool Read(void* destination, size_t bytes) override;
    bool Skip(size_t bytes) override;
    size_t Remaining() const override { return m_size - m_position; }
    size_t Position() const override { return m_position; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_position = 0;
};

// Reads the scene (when scene is given) or, when optionsText or historyText is
// given, only those texts: at most the given number of bytes each, cut at the
// first NUL. In text mode the result is true even when a text is missing (the
// string is then left as it was). On failure the broken rule and where it was
// found go to *error when given; otherwise the byte-order and fixed-point
// messages go to the debug output. A partly read scene must still be
// destroyed by the caller.
bool ReadSceneFile(SScene* scene, CZGXTString* optionsText, uint32_t optionsMax, CZGXTString* historyText,
                   uint32_t historyMax, CSource& source, CZGXTString* error = nullptr);

// Opens path and reads it: the whole scene when no text is asked for (the
// scene is emptied first and given its animation cache), else the texts only.
// 0 on success, 1 on failure.
int LoadSceneFile(SScene& scene, const char* path, CZGXTString* optionsText, uint32_t optionsMax,
                  CZGXTString* historyText, uint32_t historyMax, CZGXTString* error = nullptr);
inline int LoadSceneFile(SScene& scene, const char* path, CZGXTString* error = nullptr)
{
    return LoadSceneFile(scene, path, nullptr, 0, nullptr, 0, error);
}

// Reads a whole scene file image from memory, as LoadSceneFile reads a file.
// 0 on success, 1 on failure.
int LoadSceneBytes(SScene& scene, const uint8_t* data, size_t size, CZGXTString* error = nullptr);

// Reads at most maxBytes of the options text stored in the scene file at
// path. False when the file cannot be read as a scene file.
bool ReadOptionsTextOfSceneFile(const char* path, size_t maxBytes, CZGXTString* text);
