#include "convert/ScenePlan.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>
#include <map>

#include "gltf/ImportFormat.h"

namespace {

QString BaseName(const QString& fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? fileName.left(dot) : fileName;
}

// The scene files in dir, sorted so that every run converts and logs them in
// the same order.
QStringList SceneFilesIn(const QString& dir, bool recursive)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files | QDir::Readable | QDir::NoDotAndDotDot,
                    recursive ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
    while (it.hasNext()) {
        const QString path = it.next();
        if (ImportFormatOf(it.fileName()) != eImportFormatNone)
            files << path;
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

SScenePlan PlanScenes(const QStringList& inputs, const QString& outDir, bool recursive, const QString& suffix)
{
    SScenePlan plan;
    std::vector<SSceneJob> jobs;
    for (const QString& input : inputs) {
        const QFileInfo info(input);
        if (!info.isDir()) {
            const QString folder = outDir.isEmpty() ? info.path() : outDir;
            jobs.push_back({input, QDir(folder).filePath(BaseName(info.fileName()) + QLatin1Char('.') + suffix)});
            continue;
        }
        const QDir top(info.absoluteFilePath());
        for (const QString& file : SceneFilesIn(input, recursive)) {
            const QFileInfo fileInfo(file);
            QString output;
            if (outDir.isEmpty()) {
                output = QDir(fileInfo.path()).filePath(BaseName(fileInfo.fileName()));
            } else {
                const QString relative = top.relativeFilePath(fileInfo.absolutePath());
                output =
                    QDir(outDir).filePath(QDir::cleanPath(relative + QLatin1Char('/') + BaseName(fileInfo.fileName())));
            }
            jobs.push_back({file, output + QLatin1Char('.') + suffix});
        }
    }

    // Keyed by absolute clean paths, so "a/../x.dae" and "x.dae" are one file.
    std::map<QString, std::vector<size_t>> byOutput;
    std::map<QString, size_t> byInput;
    std::vector<bool> keep(jobs.size(), true);
    for (size_t i = 0; i < jobs.size(); ++i) {
        const QString in = QDir::cleanPath(QFileInfo(jobs[i].input).absoluteFilePath());
        if (!byInput.emplace(in, i).second) {
            keep[i] = false;
            continue;
        }
        byOutput[QDir::cleanPath(QFileInfo(jobs[i].output).absoluteFilePath())].push_back(i);
    }
    for (const auto& entry : byOutput) {
        if (entry.second.size() < 2)
            continue;
        QStringList names;
        for (size_t i : entry.second) {
            keep[i] = false;
            names << QStringLiteral("'%1'").arg(jobs[i].input);
        }
        for (size_t i : entry.second)
            plan.refused << QStringLiteral("'%1' not converted: %2 would all be written to '%3'")
                                .arg(jobs[i].input, names.join(QLatin1String(", ")), jobs[i].output);
    }
    for (size_t i = 0; i < jobs.size(); ++i)
        if (keep[i])
            plan.jobs.push_back(jobs[i]);
    return plan;
}
