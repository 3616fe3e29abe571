#include "PrefsTest.h"

#include <QDir>
#include <QStandardPaths>

#include <sys/stat.h>

#include "TestSupport.h"
#include "prefs/ZGXPreferences.h"

namespace {

// Before any test runs: even a test that forgets the fixture must not reach
// the real configuration folders.
class CPrefsEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        QStandardPaths::setTestModeEnabled(true);
        ASSERT_TRUE(m_dir.isValid());
        CZGXPreferences::SetBaseFolder(ePrefUser, (m_dir.path() + QStringLiteral("/user")).toStdString());
        CZGXPreferences::SetBaseFolder(ePrefAllUsers, (m_dir.path() + QStringLiteral("/all")).toStdString());
        qputenv("XDG_CONFIG_HOME", (m_dir.path() + QStringLiteral("/user")).toUtf8());
    }

private:
    QTemporaryDir m_dir;
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new CPrefsEnvironment);

} // namespace

void CPrefsTest::SetUp()
{
    (void)g_environment;
    ASSERT_TRUE(m_dir.isValid());
    CZGXPreferences::SetBaseFolder(ePrefUser, UserBase().toStdString());
    CZGXPreferences::SetBaseFolder(ePrefAllUsers, AllUsersBase().toStdString());
    m_hadXdg = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    m_oldXdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", UserBase().toUtf8());
}

void CPrefsTest::TearDown()
{
    if (m_hadXdg)
        qputenv("XDG_CONFIG_HOME", m_oldXdg);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

std::string CPrefsTest::StoreFile(const std::string& name, int location) const
{
    return (location == 0 ? UserBase() : AllUsersBase()).toStdString() + "/Meshwright/" + name + ".plist";
}

void CPrefsTest::InstallFixture(const std::string& fixture, const std::string& name) const
{
    InstallText(ReadFileBytes(TestDataPath("prefs/" + fixture)), name);
}

void CPrefsTest::InstallText(const std::string& text, const std::string& name) const
{
    QDir().mkpath(UserBase() + QStringLiteral("/Meshwright"));
    ASSERT_TRUE(WriteFileBytes(StoreFile(name), text));
}

std::string FileIdentity(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return std::string();
    return std::to_string(st.st_ino) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec) + ":" + std::to_string(st.st_size);
}
