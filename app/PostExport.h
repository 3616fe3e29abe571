#pragma once
class COptionsData;

// Runs the user's post-export command and opens the result in the viewer.
// Called by the writer after a successful write.
void RunPostExportActions(const COptionsData& options, const char* outputPath);
