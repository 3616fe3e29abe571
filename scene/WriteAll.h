#pragma once
// Writing an output file to the end, or learning why not.
#include <QString>
#include <cstddef>

class QIODevice;

// Writes all n bytes to device, writing the rest again after a short write:
// only the write that fails outright carries the system's reason ("No space
// left on device"), a short one does not. Open output files unbuffered so
// every write comes here; a buffered file writes its tail on commit, where a
// short write loses the reason. False with *why set when a write fails.
bool WriteAll(QIODevice& device, const void* data, size_t n, QString* why);
