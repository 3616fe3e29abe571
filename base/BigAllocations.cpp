#include "base/BigAllocations.h"

#include "base/MappedFile.h"

#include <cstdint>
#include <cstdlib>
#include <new>

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
    // malloc's own thresholds stay: a fixed mapping threshold gave blocks of
    // 16 MB and more back when freed, but the kernel then cleared fresh pages
    // for every one that came next, and since the import keeps each glTF
    // vertex once the memory it saved is small (Blender's 1M-triangle .glb:
    // 1.46 s and 387 MiB with malloc's thresholds, 1.76 s and 372 MiB with
    // the fixed one; the big Collada documents peak the same either way).
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
