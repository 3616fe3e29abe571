#include "base/BigAllocations.h"

#include "base/MappedFile.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <malloc.h>
#include <sys/mman.h>
#endif

// The sanitizers keep their own operator new (it checks every new against
// its delete); everywhere else the program's allocations go through this one,
// which is malloc (operator delete stays free) plus the huge-page advice.
#if !defined(__SANITIZE_ADDRESS__) && !defined(MW_NO_BIG_PAGES)
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#define MW_NO_BIG_PAGES
#endif
#endif
#endif

#if !defined(__SANITIZE_ADDRESS__) && !defined(MW_NO_BIG_PAGES)
void* operator new(size_t size)
{
#if defined(__GLIBC__) && defined(M_MMAP_THRESHOLD)
    // Big blocks in mappings of their own, given back when freed: left to
    // itself, malloc raises that limit to the biggest block freed so far and
    // then keeps every freed block of up to 32 MB in its heap, where the
    // conversion's stages leave a hundred megabytes and more unused beside
    // what is live.
    // 16 MB: smaller blocks come and go often enough that fresh pages for
    // each would cost more time than their reuse saves memory.
    // A fixed mapping threshold also stops malloc from raising the limit
    // above which it gives the free top of its heap back (128 KB): each
    // stage that freed a few megabytes there (the sort of every bone batch)
    // had the next one fault the same pages in again. 32 MB stays.
    static const bool mapped = mallopt(M_MMAP_THRESHOLD, 16 << 20) != 0 && mallopt(M_TRIM_THRESHOLD, 32 << 20) != 0;
    (void)mapped;
#endif
    for (;;) {
        if (void* p = std::malloc(size ? size : 1)) {
            if (size >= kBigAllocation)
                AdviseHugePages(p, size);
            return p;
        }
        std::new_handler handler = std::get_new_handler();
        if (!handler)
            throw std::bad_alloc();
        handler();
    }
}

void* operator new[](size_t size)
{
    return ::operator new(size);
}
#endif
