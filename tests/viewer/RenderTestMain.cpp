#include <QApplication>
#include <QSurfaceFormat>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
    return RUN_ALL_TESTS();
}
