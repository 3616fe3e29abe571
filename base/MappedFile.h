#pragma once
// Files mapped into memory instead of read into a buffer, and big buffers
// backed by huge pages. Both are about page faults: on a virtual machine
// each costs microseconds, and a file read by copying takes one per 4 KB
// page of the copy, on top of the copy itself.
#include <cstddef>

// A regular file mapped privately, readable and writable. A write goes to a
// private copy of the page it touches, never to the file, so a parser may
// work in place; pages that are only read stay the system's cached pages of
// the file (mapped many at a time, never copied).
// Another program may shorten or rewrite the file while it is mapped. A page
// that is gone would stop the program (SIGBUS) when read; here every mapped
// file is guarded instead: the pages from the first lost one to the end then
// read as zeros and Lost() turns true. A caller that read the data checks
// Lost() afterwards and refuses what it made of it. (The guard is one
// process-wide SIGBUS handler, installed with the first mapping, that passes
// every other fault on to the handler it replaced.)
class CMappedFile {
public:
    CMappedFile() = default;
    ~CMappedFile();
    CMappedFile(const CMappedFile&) = delete;
    CMappedFile& operator=(const CMappedFile&) = delete;

    // Maps the whole file at path (an earlier mapping is released first).
    // False, with nothing mapped, when it is not a regular file, is empty,
    // cannot be opened or the system cannot map it (or does not map files):
    // the caller then reads it the ordinary way, which also tells why.
    bool Map(const char* path);
    void Unmap();

    char* Data() const { return m_data; }
    size_t Size() const { return m_size; }
    // True when the file lost pages while it was mapped (it was shortened):
    // what was read from the data since the loss is not the file's.
    bool Lost() const;

private:
    char* m_data = nullptr;
    size_t m_size = 0;
    int m_guard = -1; // the guard slot watching this mapping
};

// Asks the system to back the whole huge pages inside [p, p + bytes) with
// huge pages (Linux: transparent huge pages on request), so that filling a
// buffer of hundreds of megabytes takes a few hundred page faults instead
// of tens of thousands. Call it before the buffer's pages are first
// written; it changes no byte. Does nothing for a range that holds no
// whole huge page (2 MB) or where the system has no such pages.
void AdviseHugePages(void* p, size_t bytes);

// Sizes a vector to n elements; storage made here for an empty vector is
// advised onto huge pages before the new elements are written. A vector
// that holds elements grows as resize grows it.
template <class Vector>
void ResizeOnHugePages(Vector& v, size_t n)
{
    if (v.empty() && n > v.capacity()) {
        v.reserve(n);
        AdviseHugePages(v.data(), n * sizeof(*v.data()));
    }
    v.resize(n);
}

// Gives the whole pages inside [p, p + bytes) back to the system. Anonymous
// memory then reads as zeros, a privately mapped file as the file again:
// only for text that nothing reads any more.
void ReleasePages(const void* p, size_t bytes);
