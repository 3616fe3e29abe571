#pragma once
// The files a conversion read and wrote, for dependency files: the readers
// and writers note each file as they open it into the record that the
// conversion installed on its thread (ParallelFor hands it on to the threads
// it starts). Without a record, notes are dropped.
#include <string>
#include <vector>

struct SFileTrace {
    std::vector<std::string> read;    // in the order first read, no repeats
    std::vector<std::string> written; // in the order first written, no repeats
};

// Notes a file that was opened and read (a path as it was opened).
void NoteFileRead(const std::string& path);
// Notes a file that was written in full.
void NoteFileWritten(const std::string& path);

// The calling thread's record, or null.
SFileTrace* CurrentFileTrace();
// Installs the calling thread's record (null for none); returns the one it replaces.
SFileTrace* SetFileTrace(SFileTrace* trace);
