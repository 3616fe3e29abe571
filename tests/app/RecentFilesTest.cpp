// Recent-file lists: order, duplicates, limit, missing files, the spelling
// of paths, and the list of exported files written by a conversion.
#include <QDir>
#include <QFile>

#include "PrefsTest.h"
#include "common/TestSupport.h"
#include "app/RecentFiles.h"
#include "prefs/ZGXPreferences.h"

namespace {

class RecentFilesTest : public CPrefsTest {
protected:
    void SetUp() override
    {
        CPrefsTest::SetUp();
        CZGXTString error;
        ASSERT_TRUE(m_store.Load(error)) << error;
        QDir().mkpath(TempPath(QStringLiteral("files")));
    }
    // An existing file in the temporary folder.
    QString MakeFile(const QString& name)
    {
        const QString path = TempPath(QStringLiteral("files/") + name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        return path;
    }
    std::vector<CZGXTString> Stored(const CZGXTString& key)
    {
        CZGXPreferences fresh("Meshwright");
        CZGXTString error;
        EXPECT_TRUE(fresh.Load(error)) << error;
        std::vector<CZGXTString> list;
        fresh.ReadStringArray(key, list);
        return list;
    }

    CZGXPreferences m_store{"Meshwright"};
};

// A list that remembers which menus asked for a rebuild.
class CRecordingList : public CRecentFiles {
public:
    using CRecentFiles::CRecentFiles;
    QObject* target = nullptr;
    QStringList built;

protected:
    void RebuildMenu(QObject* t, const QStringList& files) override
    {
        target = t;
        built = files;
    }
};

TEST_F(RecentFilesTest, NewestFirstWithoutDuplicates)
{
    CRecentFiles list(&m_store, "Standalone//Export", 10, 0);
    EXPECT_EQ(list.Key(), "Standalone//Export/Recent files");
    const QString a = TempPath(QStringLiteral("a.qef")), b = TempPath(QStringLiteral("b.qef"));
    list.addFile(a);
    list.addFile(b);
    list.addFile(a);
    EXPECT_EQ(list.Files(), (QStringList{a, b}));
    EXPECT_EQ(list.First(), a);
    // Stored and saved at once, as an array of strings.
    EXPECT_EQ(Stored("Standalone/Export/Recent files"), (std::vector<CZGXTString>{a.toStdString(), b.toStdString()}));
    EXPECT_FALSE(m_store.IsDirty());
}

TEST_F(RecentFilesTest, TheEleventhEntryDropsTheOldest)
{
    CRecentFiles list(&m_store, "Standalone//Export", 10, 0);
    QStringList added;
    for (int i = 0; i < 11; ++i) {
        added.prepend(TempPath(QStringLiteral("out%1.qef").arg(i)));
        list.addFile(added.first());
    }
    const QStringList files = list.Files();
    ASSERT_EQ(files.size(), 10);
    EXPECT_EQ(files, added.mid(0, 10));
    EXPECT_FALSE(files.contains(TempPath(QStringLiteral("out0.qef"))));
}

TEST_F(RecentFilesTest, MissingFilesAreDroppedOnlyWithTheFlag)
{
    const QString kept = MakeFile(QStringLiteral("kept.dae"));
    const QString gone = MakeFile(QStringLiteral("gone.dae"));
    const QString never = TempPath(QStringLiteral("files/never.dae"));

    CRecentFiles opened(&m_store, "Standalone//Open", 10, CRecentFiles::eExistingOnly);
    opened.addFile(never);
    EXPECT_TRUE(opened.Files().isEmpty()) << "a file that does not exist is not added";
    opened.addFile(kept);
    opened.addFile(gone);
    ASSERT_EQ(opened.Files(), (QStringList{gone, kept}));

    CRecentFiles exported(&m_store, "Standalone//Export", 10, 0);
    exported.addFile(never);
    exported.addFile(gone);

    ASSERT_TRUE(QFile::remove(gone));
    EXPECT_EQ(opened.Files(), (QStringList{kept}));
    EXPECT_EQ(Stored("Standalone//Open/Recent files"), (std::vector<CZGXTString>{kept.toStdString()}));
    // Without the flag, an export target that does not exist (yet) stays.
    EXPECT_EQ(exported.Files(), (QStringList{gone, never}));
}

TEST_F(RecentFilesTest, SpellingsOfOnePathAreOneEntry)
{
    const QString file = MakeFile(QStringLiteral("scene.dae"));
    CRecentFiles list(&m_store, "Standalone//Open", 10, CRecentFiles::eExistingOnly);
    const QString folder = TempPath(QStringLiteral("files"));
    list.addFile(folder + QStringLiteral("//./scene.dae"));
    list.addFile(folder + QStringLiteral("/../files/scene.dae"));
    // A relative spelling from the folder itself.
    const QString oldDir = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder));
    list.addFile(QStringLiteral("scene.dae"));
    QDir::setCurrent(oldDir);
    EXPECT_EQ(list.Files(), QStringList{QDir::cleanPath(file)});

    // Separators stay this platform's: here a backslash is part of a name,
    // so such a file is its own entry under its own name.
    EXPECT_EQ(CRecentFiles::NormalisePath(QStringLiteral("/a//b/./c.dae")), QStringLiteral("/a/b/c.dae"));
    EXPECT_EQ(CRecentFiles::NormalisePath(QDir::toNativeSeparators(QStringLiteral("/a/b/c.dae"))),
              QStringLiteral("/a/b/c.dae"));
    if (QDir::separator() == QLatin1Char('/')) {
        const QString odd = MakeFile(QStringLiteral("odd\\name.dae"));
        list.addFile(odd);
        EXPECT_EQ(list.Files(), (QStringList{odd, QDir::cleanPath(file)}));
    }
}

TEST_F(RecentFilesTest, ClearEmptiesTheStoredList)
{
    CRecentFiles list(&m_store, "", 10, 0);
    EXPECT_EQ(list.Key(), "Recent files");
    list.addFile(TempPath(QStringLiteral("x.qef")));
    list.clear();
    EXPECT_TRUE(list.Files().isEmpty());
    EXPECT_EQ(m_store.TypeOf("Recent files"), ePrefArray);
    EXPECT_TRUE(Stored("Recent files").empty());
}

TEST_F(RecentFilesTest, MenuEntriesAndRefreshReachTheList)
{
    const QString kept = MakeFile(QStringLiteral("kept.dae"));
    const QString gone = MakeFile(QStringLiteral("gone.dae"));
    CRecordingList list(&m_store, "Standalone//Open", 10, CRecentFiles::eExistingOnly);
    list.addFile(kept);
    list.addFile(gone);
    ASSERT_TRUE(QFile::remove(gone));

    // A menu about to show asks for a rebuild with the current entries.
    QObject menu;
    QObject::connect(&menu, SIGNAL(objectNameChanged(QString)), &list, SLOT(refresh()));
    menu.setObjectName(QStringLiteral("menu"));
    EXPECT_EQ(list.target, &menu);
    EXPECT_EQ(list.built, QStringList{kept});

    // An entry carries its path; choosing it reports the path.
    QStringList chosen;
    QObject::connect(&list, &CRecentFiles::triggered, [&chosen](const QString& p) { chosen << p; });
    QObject entry;
    entry.setProperty(CRecentFiles::kPathProperty, kept);
    QObject::connect(&entry, SIGNAL(objectNameChanged(QString)), &list, SLOT(fileSelected()));
    entry.setObjectName(QStringLiteral("entry"));
    EXPECT_EQ(chosen, QStringList{kept});
    // An entry without a path reports nothing.
    QObject empty;
    QObject::connect(&empty, SIGNAL(objectNameChanged(QString)), &list, SLOT(fileSelected()));
    empty.setObjectName(QStringLiteral("empty"));
    EXPECT_EQ(chosen, QStringList{kept});
}

TEST_F(RecentFilesTest, ConversionRecordsWrittenFilesInTheirOwnStore)
{
    RecordExportedFile(nullptr);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(StoreFile("QEFFiles"))));

    QStringList written;
    for (int i = 0; i < 12; ++i) {
        written.prepend(MakeFile(QStringLiteral("out%1.qef").arg(i)));
        RecordExportedFile(written.first().toUtf8().constData());
    }
    RecordExportedFile(TempPath(QStringLiteral("files/not-written.qef")).toUtf8().constData());
    RecordExportedFile(written.at(5).toUtf8().constData());

    CZGXPreferences store("QEFFiles");
    CZGXTString error;
    ASSERT_TRUE(store.Load(error)) << error;
    std::vector<CZGXTString> list;
    ASSERT_TRUE(store.ReadStringArray("Exported/Recent files", list));
    ASSERT_EQ(list.size(), 10u);
    EXPECT_EQ(list[0], written.at(5).toStdString());
    EXPECT_EQ(list[1], written.at(0).toStdString());
    EXPECT_EQ(list[9], written.at(9).toStdString());
    // No lock file is left behind.
    EXPECT_FALSE(QFile::exists(QString::fromStdString(StoreFile("QEFFiles")) + QStringLiteral(".lock")));
}

} // namespace
