#pragma once
class COptionsData;

// Runs the user's post-export command and opens the result in the viewer.
// Called by the conversion run after a successful write.
void RunPostExportActions(const COptionsData& options, const char* outputPath);
