#pragma once
// Big buffers in big pages. A conversion of a large scene allocates hundreds
// of megabytes in buffers of tens of megabytes, fills them once and frees
// them: with the system's 4 KB pages, the faults that bring each page in
// cost more than the work on them. Every operator new of this program of at
// least kBigAllocation bytes asks the system for 2 MB pages on it (where the
// system backs them on request: Linux with transparent huge pages set to
// "madvise" or "always"); memory from malloc elsewhere (Qt's buffers) can ask
// the same with AdviseHugePages (base/MappedFile.h). Nothing else changes:
// the same bytes, freed as before.
#include <cstddef>

constexpr size_t kBigAllocation = size_t(2) << 20;
