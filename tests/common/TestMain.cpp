#include <QCoreApplication>
#include <gtest/gtest.h>

// Conversion runs talk through queued signals, so every test program gets an
// application object and can spin its event loop.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
