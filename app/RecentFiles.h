#pragma once
// Adds a written file to the shared list of exported files.
void RecordExportedFile(const char* path);
