// The in-memory file registry that generated scene source registers with.
//
// A scene converted to C++ source (format 2) includes "../ZGXTMemoryFileSystem.h"
// and registers its array at start-up:
//   static CZGXTMemoryFileSystem RegisterFile_scene_qef("scene.qef", _scene_qef, 1234);
// Put a header of that name where the include finds it, holding
//   #include <qef/ZGXTMemoryFileSystem.h>
// and qef_load_file("scene.qef", ...) then loads the array where it is.
#ifndef QEF_ZGXT_MEMORY_FILE_SYSTEM_H
#define QEF_ZGXT_MEMORY_FILE_SYSTEM_H

#include <stddef.h>

#include <qef/qef.h>

#ifdef __cplusplus
class CZGXTMemoryFileSystem {
public:
    CZGXTMemoryFileSystem(const char* name, const unsigned int* words, size_t bytes)
    {
        m_entry.name = name;
        m_entry.data = words;
        m_entry.size = bytes;
        m_entry.next = NULL;
        qef_register_memory_file(&m_entry);
    }
    ~CZGXTMemoryFileSystem() { qef_unregister_memory_file(&m_entry); }

private:
    CZGXTMemoryFileSystem(const CZGXTMemoryFileSystem&);
    CZGXTMemoryFileSystem& operator=(const CZGXTMemoryFileSystem&);

    qef_memory_file m_entry;
};
#endif

#endif
