#pragma once
// Which scene files one call converts and where each result goes: directories
// expanded to the scene files inside them, outputs named after their inputs.
#include <QString>
#include <QStringList>

#include <vector>

struct SSceneJob {
    QString input;
    QString output;
};

struct SScenePlan {
    std::vector<SSceneJob> jobs; // in the order given, a directory's files sorted by path
    QStringList refused;         // inputs not converted, each with why (two inputs, one output)
};

// Plans the conversions of inputs (files or directories; subdirectories too
// when recursive). A file goes to outDir under its own base name with suffix
// (for example "qef"); a file found in a directory keeps its path below that
// directory. Without outDir each output lies beside its input. Inputs whose
// outputs would be the same file are all refused, before anything is
// converted; a file named twice is converted once. Missing inputs stay in the
// plan, so the conversion says why they cannot be read.
SScenePlan PlanScenes(const QStringList& inputs, const QString& outDir, bool recursive, const QString& suffix);
