#pragma once
// Every test here works in a temporary configuration folder: the store's
// base folders and XDG_CONFIG_HOME (for the command line it starts) point
// into it, so no test reads or writes the real user or system folders.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>

#include "base/ZGXTString.h"

class CPrefsTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The configuration folders standing in for the per-user and all-users ones.
    QString UserBase() const { return m_dir.path() + QStringLiteral("/user"); }
    QString AllUsersBase() const { return m_dir.path() + QStringLiteral("/all"); }
    // Where a store of that name lives (vendor folder included).
    std::string StoreFile(const std::string& name, int location = 0) const;
    // Puts a fixture from tests/data/prefs in place as the store "name".
    void InstallFixture(const std::string& fixture, const std::string& name) const;
    // Writes text as the store "name".
    void InstallText(const std::string& text, const std::string& name) const;
    QString TempPath(const QString& name) const { return m_dir.path() + QLatin1Char('/') + name; }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldXdg;
    bool m_hadXdg = false;
};

// Identity of a file's current content on disk (changes whenever the file
// is replaced); empty when there is none.
std::string FileIdentity(const std::string& path);
