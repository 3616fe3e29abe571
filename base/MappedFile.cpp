#include "base/MappedFile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <mutex>

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

// The mappings the SIGBUS guard watches. A slot is claimed by storing its
// size, then its start; the handler reads them without locks.
struct SGuardSlot {
    std::atomic<char*> begin{nullptr};
    std::atomic<size_t> size{0};
    std::atomic<bool> lost{false};
};
constexpr int kGuardSlots = 64;
SGuardSlot g_guardSlots[kGuardSlots];
std::mutex g_guardClaim;
struct sigaction g_previousBus;

// A fault inside a watched mapping means its file lost the page: zero pages
// take the place of the rest of the mapping and the access is repeated.
// Anything else goes to the handler that was there before.
void OnBusError(int signal, siginfo_t* info, void* context)
{
    char* const address = static_cast<char*>(info->si_addr);
    for (SGuardSlot& slot : g_guardSlots) {
        char* const begin = slot.begin.load(std::memory_order_acquire);
        const size_t size = slot.size.load(std::memory_order_acquire);
        if (!begin || address < begin || address >= begin + size)
            continue;
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        char* const from = begin + size_t(address - begin) / page * page;
        if (mmap(from, size_t(begin + size - from), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1,
                 0) != MAP_FAILED) {
            slot.lost.store(true, std::memory_order_release);
            return;
        }
        break;
    }
    if ((g_previousBus.sa_flags & SA_SIGINFO) && g_previousBus.sa_sigaction) {
        g_previousBus.sa_sigaction(signal, info, context);
    } else if (g_previousBus.sa_handler != SIG_DFL && g_previousBus.sa_handler != SIG_IGN &&
               !(g_previousBus.sa_flags & SA_SIGINFO)) {
        g_previousBus.sa_handler(signal);
    } else {
        // Fatal, as without the guard.
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        sigaction(signal, &fallback, nullptr);
        raise(signal);
    }
}

// Watches [begin, begin + size); -1 when every slot is taken (the caller
// then does not map).
int ClaimGuard(char* begin, size_t size)
{
    static std::once_flag installed;
    std::call_once(installed, []() {
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &g_previousBus);
    });
    std::lock_guard<std::mutex> lock(g_guardClaim);
    for (int i = 0; i < kGuardSlots; ++i) {
        SGuardSlot& slot = g_guardSlots[i];
        if (slot.begin.load(std::memory_order_relaxed))
            continue;
        slot.lost.store(false, std::memory_order_relaxed);
        slot.size.store(size, std::memory_order_release);
        slot.begin.store(begin, std::memory_order_release);
        return i;
    }
    return -1;
}

void FreeGuard(int i)
{
    std::lock_guard<std::mutex> lock(g_guardClaim);
    g_guardSlots[i].begin.store(nullptr, std::memory_order_release);
    g_guardSlots[i].size.store(0, std::memory_order_release);
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
    m_guard = ClaimGuard(static_cast<char*>(data), size_t(st.st_size));
    if (m_guard < 0) {
        munmap(data, size_t(st.st_size));
        return false;
    }
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
    if (m_data) {
        FreeGuard(m_guard);
        munmap(m_data, m_size);
    }
#endif
    m_data = nullptr;
    m_size = 0;
    m_guard = -1;
}

bool CMappedFile::Lost() const
{
#if defined(MW_HAVE_MMAP)
    return m_guard >= 0 && g_guardSlots[m_guard].lost.load(std::memory_order_acquire);
#else
    return false;
#endif
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
