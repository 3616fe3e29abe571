#pragma once
// Dependency files in Make syntax: what each output of a conversion was made
// from, so a build system converts a scene again only when one of those files
// changed. Make, Ninja and CMake read them.
#include <QString>
#include <QStringList>

#include <vector>

// One conversion: its outputs (the scene file first, then extra files such as
// effects) and every file it read.
struct SDepRule {
    QStringList outputs;
    QStringList inputs;
};

// The text of the rules, one "outputs: inputs" line each. Paths are written
// relative to the current folder when they lie inside it, so the same call
// from another checkout writes the same file; spaces, '#' and '$' are escaped
// as Make needs. A path with a line break cannot be written: error names it.
QByteArray DepFileText(const std::vector<SDepRule>& rules, QString* error);

// Writes the rules to path through a file beside it, which replaces the old
// one only when complete. False with the reason in error.
bool WriteDepFile(const QString& path, const std::vector<SDepRule>& rules, QString* error);
