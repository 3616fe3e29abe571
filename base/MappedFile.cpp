#include "base/MappedFile.h"

#include <cerrno>
#include <cstdint>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#define MW_HAVE_MMAP 1
#endif

namespace {

#if defined(MW_HAVE_MMAP)
// Gives the advice for the whole units (a power of two) inside
// [p, p + bytes), if there are any.
void AdviseWholeUnits(const void* p, size_t bytes, uintptr_t unit, int advice)
{
    const uintptr_t begin = (uintptr_t(p) + unit - 1) & ~(unit - 1);
    const uintptr_t end = (uintptr_t(p) + bytes) & ~(unit - 1);
    if (p && end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, advice);
}
#endif

} // namespace

CMappedFile::~CMappedFile()
{
    Unmap();
}

bool CMappedFile::Map(const char* path)
{
    Unmap();
#if defined(MW_HAVE_MMAP)
    if (!path)
        return false;
    int fd;
    do
        fd = open(path, O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    struct stat st {};
    void* data = MAP_FAILED;
    // Only regular files: a pipe or a device has no size to map.
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && uint64_t(st.st_size) <= uint64_t(SIZE_MAX))
        data = mmap(nullptr, size_t(st.st_size), PROT_READ | PROT_WRITE, MAP_PRIVATE, fd, 0);
    close(fd); // the mapping keeps the file
    if (data == MAP_FAILED)
        return false;
    m_data = static_cast<char*>(data);
    m_size = size_t(st.st_size);
#if defined(MADV_POPULATE_READ)
    // Every page will be read: mapping them all in one call costs far less
    // than a fault per few pages (an error only means they come by faults).
    madvise(m_data, m_size, MADV_POPULATE_READ);
#endif
    return true;
#else
    (void)path;
    return false;
#endif
}

void CMappedFile::Unmap()
{
#if defined(MW_HAVE_MMAP)
    if (m_data)
        munmap(m_data, m_size);
#endif
    m_data = nullptr;
    m_size = 0;
}

void AdviseHugePages(void* p, size_t bytes)
{
#if defined(MW_HAVE_MMAP) && defined(MADV_HUGEPAGE)
    AdviseWholeUnits(p, bytes, uintptr_t(2) << 20, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

void ReleasePages(const void* p, size_t bytes)
{
#if defined(MW_HAVE_MMAP)
    static const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    AdviseWholeUnits(p, bytes, page, MADV_DONTNEED);
#else
    (void)p;
    (void)bytes;
#endif
}
