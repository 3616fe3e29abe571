#include <QApplication>
#include <QSurfaceFormat>
#include <QTemporaryDir>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>

#include <string>
#include <vector>

namespace {

int CollectLibrary(dl_phdr_info* info, size_t, void* names)
{
    if (info->dlpi_name && info->dlpi_name[0])
        static_cast<std::vector<std::string>*>(names)->push_back(info->dlpi_name);
    return 0;
}

// Keeps every loaded library (the GL driver among them) mapped until the
// process ends: the driver is unloaded when the display closes, and the
// memory it keeps for the process would then show as leaks of an unknown
// module in the sanitizer build.
void PinLoadedLibraries()
{
    std::vector<std::string> names;
    dl_iterate_phdr(CollectLibrary, &names);
    for (const std::string& name : names)
        dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

} // namespace

// The rendering tests need widgets and OpenGL: a QApplication on the
// platform the test's environment names (xcb under xvfb-run). Preference
// files go to a private folder.
int main(int argc, char** argv)
{
    QTemporaryDir config;
    if (config.isValid())
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QSurfaceFormat format;
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    PinLoadedLibraries();
    return result;
}
