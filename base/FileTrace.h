#pragma once
// The files a conversion read and wrote, for dependency files: the readers
// and writers note each file as they open it; the run clears the record at
// its start and takes it at its end. One record per process, so conversions
// that must be told apart run in processes of their own.
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
// Empties the record.
void ClearFileTrace();
// The record so far.
SFileTrace FileTrace();
