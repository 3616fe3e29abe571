#pragma once
// Imports fixture documents straight through the importer.
#include <QString>

#include <memory>
#include <string>

#include "common/TestSupport.h"
#include "base/ConversionLog.h"
#include "collada/Collada2QEF.h"
#include "scene/ImportScene.h"
#include "options/Options.h"

struct SImportRun {
    int result = -1;
    SImportScene scene;
    COptions options;
    std::unique_ptr<CLogCapture> log = std::make_unique<CLogCapture>();

    const SImportNode* Node(const std::string& name) const
    {
        for (const SImportNode& n : scene.nodes)
            if (n.name == name)
                return &n;
        return nullptr;
    }
    const SMaterial* Material(const std::string& name) const
    {
        for (const SMaterial& m : scene.materials)
            if (m.name == name)
                return &m;
        return nullptr;
    }
    bool Logged(int level, const char* text) const { return log->Contains(level, QString::fromUtf8(text)); }
};

// Imports a file; options may be adjusted before through setup.
template <class Setup>
std::unique_ptr<SImportRun> ImportPath(const std::string& path, Setup&& setup, const std::string& outputFolder = {})
{
    auto run = std::make_unique<SImportRun>();
    setup(run->options);
    CCollada2QEF importer;
    SImportSettings settings;
    settings.outputFolder = outputFolder;
    run->result = importer.Import(path.c_str(), &run->scene, &run->options, settings);
    return run;
}

inline std::unique_ptr<SImportRun> ImportPath(const std::string& path)
{
    return ImportPath(path, [](COptions&) {});
}
// Effect files go to outputFolder.
inline std::unique_ptr<SImportRun> ImportPathInto(const std::string& path, const std::string& outputFolder)
{
    return ImportPath(
        path, [](COptions&) {}, outputFolder);
}

// A fixture under tests/data/collada.
inline std::unique_ptr<SImportRun> ImportFixture(const std::string& name)
{
    return ImportPath(TestDataPath("collada/" + name));
}
template <class Setup>
std::unique_ptr<SImportRun> ImportFixture(const std::string& name, Setup&& setup)
{
    return ImportPath(TestDataPath("collada/" + name), std::forward<Setup>(setup));
}

// The x of each corner's position, triangle by triangle ("0 1 2|3 4 5").
inline std::string CornerXs(const SImportNode& n)
{
    std::string out;
    for (const SImportTriangle& t : n.triangles) {
        if (!out.empty())
            out += "|";
        for (int c = 0; c < 3; ++c) {
            if (c)
                out += " ";
            out += std::to_string(int(n.positions[size_t(t.position[c])][0]));
        }
    }
    return out;
}
