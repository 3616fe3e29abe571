#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Conversion runs talk through queued signals, so every test program gets an
// application object and can spin its event loop. Preference files go to a
// private folder, never the user's own (child processes inherit it too).
int main(int argc, char** argv)
{
    QTemporaryDir config;
    if (config.isValid())
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
