#pragma once
// Scenes for the viewer tests: small Collada fixtures converted with the
// project's own conversion into a temporary .qef, then read as the viewer
// reads them.
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <string>

#include "TestSupport.h"
#include "convert/ConversionRunner.h"
#include "options/Options.h"

// A fixture of tests/data/viewer.
inline std::string ViewerFixture(const std::string& name)
{
    return TestDataPath("viewer/" + name);
}

// Converts input into dir/name with the default options changed by setup;
// the path of the written file, or an empty string when the run failed.
inline std::string ConvertToQef(const std::string& input, const QTemporaryDir& dir, const std::string& name,
                                const std::function<void(COptions&)>& setup = {})
{
    COptions options;
    if (setup)
        setup(options);
    const std::string out = dir.filePath(QString::fromStdString(name)).toStdString();
    options.SetOutputPath(out);
    return RunConversion(options, QString::fromStdString(input)) == 0 ? out : std::string();
}

// The skinned, animated arm of examples/ with its bones and animation kept,
// in batches of at most boneLimit bones (0: no batches).
inline std::function<void(COptions&)> ArmOptions(uint32_t boneLimit)
{
    return [boneLimit](COptions& o) {
        o.SetBool(opt::bExportSkin, true);
        o.SetBool(opt::bExportAnimations, true);
        o.SetBool(opt::bIndexAnimations, true);
        o.SetUInt(opt::uiBoneLimit, boneLimit);
    };
}
