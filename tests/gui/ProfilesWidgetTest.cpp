// The profiles list driven as a user would: context menu, keys, in-place
// rename, drops, files; what it stores is what the command line reads.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <memory>

#include "GuiTestSupport.h"
#include "convert/ConversionRunner.h"
#include "convert/ConverterObject.h"
#include "base/Version.h"
#include "gui/ProfilesWidget.h"
#include "options/ProfileStore.h"
#include "prefs/ZGXPreferences.h"
#include "scene/Scene.h"
#include "scene/SceneSource.h"
#include "scene/SceneWrite.h"

using namespace guitest;

namespace {

// Answers the prompts and file dialogs without showing them.
class CTestProfiles : public CProfilesWidget {
public:
    QStringList names;   // next answers of the name prompt; empty: Cancel
    bool confirm = true; // answer of the delete question
    int confirmations = 0;
    QString exportAnswer, importAnswer;
    QString lastCaption, lastFilter, lastStart;

protected:
    QString AskName(bool* ok) override
    {
        *ok = !names.isEmpty();
        return names.isEmpty() ? QString() : names.takeFirst();
    }
    bool ConfirmDelete() override
    {
        ++confirmations;
        return confirm;
    }
    QString ChooseExportPath(const QString& caption, const QString& start, const QString& filter) override
    {
        lastCaption = caption;
        lastStart = start;
        lastFilter = filter;
        return exportAnswer;
    }
    QString ChooseImportPath(const QString& caption, const QString& start, const QString& filter) override
    {
        lastCaption = caption;
        lastStart = start;
        lastFilter = filter;
        return importAnswer;
    }
};

QPoint PosOf(CProfilesWidget& w, QListWidgetItem* item)
{
    return w.List()->visualItemRect(item).center();
}

// The menu's entries as shown, separators as "-".
QStringList MenuEntries(QMenu* menu)
{
    QStringList entries;
    for (QAction* a : menu->actions())
        entries << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return entries;
}

// Chooses an entry of the context menu over an item (null: empty space).
bool ChooseFromMenu(CProfilesWidget& w, QListWidgetItem* item, const QString& entry)
{
    const QPoint pos = item ? PosOf(w, item) : QPoint(5, w.List()->viewport()->height() - 5);
    std::unique_ptr<QMenu> menu(w.CreateContextMenu(pos));
    for (QAction* a : menu->actions()) {
        if (a->text() == entry) {
            a->trigger();
            return true;
        }
    }
    return false;
}

COptionsData Distinct(uint32_t boneLimit)
{
    COptionsData o;
    o.SetUInt(opt::uiBoneLimit, boneLimit);
    o.SetBool(opt::bExportSkin, !o.GetBool(opt::bExportSkin));
    o.SetString(opt::sClPostArgs, "--fast");
    return o;
}

// Options as they come back from their text form.
COptionsData ThroughText(const COptionsData& o)
{
    COptionsData back;
    back.FromText(o.ToText());
    return back;
}

struct SCliRun {
    int exitCode = -1;
    QString out, err;
};

} // namespace

class TestProfilesWidget : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_base; // configuration folder of this run's stores

    // A fresh application store in its own file.
    std::unique_ptr<CZGXPreferences> OpenStore()
    {
        auto prefs = std::make_unique<CZGXPreferences>("Meshwright");
        CZGXTString error;
        prefs->Load(error);
        return prefs;
    }

    void ResetStore() { QFile::remove(QString::fromStdString(CZGXPreferences::StorePath("Meshwright"))); }

    SCliRun RunCli(const QStringList& args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // The command line finds the stores where the widget wrote them.
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_base);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(MW_CLI_PATH), args);
        SCliRun run;
        if (!p.waitForFinished(60000))
            return run;
        run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        run.out = QString::fromUtf8(p.readAllStandardOutput());
        run.err = QString::fromUtf8(p.readAllStandardError());
        return run;
    }

private slots:
    void initTestCase()
    {
        // Never the user's own preference files.
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
        m_base = QDir(m_dir.path()).filePath(QStringLiteral("config"));
        CZGXPreferences::SetBaseFolder(ePrefUser, m_base.toStdString());
        CZGXPreferences::SetBaseFolder(ePrefAllUsers, m_base.toStdString());
    }

    void init() { ResetStore(); }

    void startsWithTheFixedEntries()
    {
        CTestProfiles w;
        QCOMPARE(w.List()->objectName(), QStringLiteral("ProfilesList"));
        QLabel* label = w.findChild<QLabel*>(QStringLiteral("ProfilesLabel"));
        QVERIFY(label);
        QCOMPARE(label->text(), QStringLiteral("Profiles"));
        QCOMPARE(label->toolTip(), QStringLiteral("The profiles are saved export options"));
        QCOMPARE(w.List()->count(), 2);
        QCOMPARE(w.CurrentEntry()->text(), QStringLiteral("[Current]"));
        QCOMPARE(w.CurrentEntry()->toolTip(), QStringLiteral("Current export options - Profile: Default Settings"));
        QCOMPARE(w.DefaultEntry()->text(), QStringLiteral("Default Settings"));
        QCOMPARE(w.DefaultEntry()->toolTip(), QStringLiteral("Default export options"));
        QCOMPARE(w.ActiveProfile(), w.DefaultEntry());
        QVERIFY(!(w.CurrentEntry()->flags() & Qt::ItemIsEditable));
        QVERIFY(!(w.DefaultEntry()->flags() & Qt::ItemIsEditable));
        QVERIFY(w.DefaultEntry()->Options() == COptionsData());
    }

    void contextMenus()
    {
        CTestProfiles w;
        w.resize(300, 400);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        CProfileItem* mine = w.AddProfile(QStringLiteral("Mine"), COptionsData());
        const QStringList overCurrent{QStringLiteral("Save As..."), QStringLiteral("Export to file")};
        const QStringList overDefault{QStringLiteral("Set as [Current]"), QStringLiteral("-"),
                                      QStringLiteral("Export to file")};
        const QStringList overMine =
            overDefault + QStringList{QStringLiteral("-"), QStringLiteral("Rename"), QStringLiteral("Delete")};
        std::unique_ptr<QMenu> menu(w.CreateContextMenu(PosOf(w, w.CurrentEntry())));
        QCOMPARE(menu->title(), QStringLiteral("Menu"));
        QCOMPARE(MenuEntries(menu.get()), overCurrent);
        menu.reset(w.CreateContextMenu(PosOf(w, w.DefaultEntry())));
        QCOMPARE(MenuEntries(menu.get()), overDefault);
        menu.reset(w.CreateContextMenu(PosOf(w, mine)));
        QCOMPARE(MenuEntries(menu.get()), overMine);
        QCOMPARE(w.List()->currentItem(), mine); // the entry under the pointer
        menu.reset(w.CreateContextMenu(QPoint(5, w.List()->viewport()->height() - 5)));
        QCOMPARE(MenuEntries(menu.get()), QStringList{QStringLiteral("Import from file")});
    }

    void savedAsMobileComesBackAsTheThirdEntry()
    {
        auto prefs = OpenStore();
        {
            CTestProfiles w;
            w.resize(300, 400);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            COptions current;
            current = Distinct(24);
            w.updateCurrentOptions(current);
            QVERIFY(w.IsEdited());
            w.names << QStringLiteral("Mobile");
            QVERIFY(ChooseFromMenu(w, w.CurrentEntry(), QStringLiteral("Save As...")));
            QCOMPARE(w.ProfileCount(), 1);
            QCOMPARE(w.List()->item(2)->text(), QStringLiteral("Mobile"));
            QCOMPARE(w.ActiveProfile(), w.Profile(0));
            QVERIFY(!w.IsEdited());
            // A cancelled prompt saves nothing.
            QVERIFY(ChooseFromMenu(w, w.CurrentEntry(), QStringLiteral("Save As...")));
            QCOMPARE(w.ProfileCount(), 1);
            QVERIFY(w.Save(*prefs, "Profiles/"));
        }
        std::vector<CZGXTString> list;
        QVERIFY(prefs->ReadStringArray("Profiles//Custom/List/", list));
        QCOMPARE(list, std::vector<CZGXTString>{"0:Mobile"});
        QCOMPARE(prefs->TypeOf("Profiles//Custom/0:Mobile"), int(ePrefDict));

        // A restart: a new store object reads the file.
        prefs = OpenStore();
        CTestProfiles again;
        again.Load(*prefs, "Profiles/");
        QCOMPARE(again.List()->count(), 3);
        QCOMPARE(again.List()->item(2)->text(), QStringLiteral("Mobile"));
        QVERIFY(again.Profile(0)->Options() == Distinct(24));
        QVERIFY(again.Profile(0)->flags() & Qt::ItemIsEditable);
    }

    void savingRenumbersAndForgetsDeletedProfiles()
    {
        auto prefs = OpenStore();
        CTestProfiles w;
        w.AddProfile(QStringLiteral("A"), Distinct(1));
        w.AddProfile(QStringLiteral("B"), Distinct(2));
        w.AddProfile(QStringLiteral("A"), Distinct(3)); // names may repeat
        QVERIFY(w.Save(*prefs, "Profiles/"));
        std::vector<CZGXTString> list;
        prefs->ReadStringArray("Profiles//Custom/List/", list);
        QCOMPARE(list, (std::vector<CZGXTString>{"0:A", "1:B", "2:A"}));

        w.List()->setCurrentItem(w.Profile(0));
        w.deleteCurrentItem();
        QVERIFY(w.Save(*prefs, "Profiles/"));
        prefs->ReadStringArray("Profiles//Custom/List/", list);
        QCOMPARE(list, (std::vector<CZGXTString>{"0:B", "1:A"}));
        QCOMPARE(prefs->TypeOf("Profiles//Custom/2:A"), -1);
        CTestProfiles again;
        again.Load(*prefs, "Profiles/");
        QCOMPARE(again.ProfileCount(), 2);
        QVERIFY(again.Profile(0)->Options() == Distinct(2));
        QVERIFY(again.Profile(1)->Options() == Distinct(3));
    }

    void missingProfileIsReportedAndDropped()
    {
        auto prefs = OpenStore();
        {
            CTestProfiles w;
            w.AddProfile(QStringLiteral("Kept"), Distinct(5));
            QVERIFY(w.Save(*prefs, "Profiles/"));
        }
        prefs->WriteStringArray("Profiles//Custom/List/", {"0:Kept", "1:Gone", "NoColon"});
        CTestProfiles w;
        QSignalSpy errors(&w, &CProfilesWidget::errorMessage);
        w.Load(*prefs, "Profiles/");
        QCOMPARE(errors.count(), 2);
        QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Failed to load profile 1:Gone. Entry does not exist"));
        QCOMPARE(errors.at(1).at(0).toString(), QStringLiteral("Failed to load profile NoColon. Entry does not exist"));
        QCOMPARE(w.ProfileCount(), 1);
        QCOMPARE(w.Profile(0)->Name(), QStringLiteral("Kept"));
    }

    void namesWithSlashesFromOlderStores()
    {
        // Before names were escaped, "a/b" was stored two levels deep.
        auto prefs = OpenStore();
        QVERIFY(Distinct(9).SaveToPreferences(*prefs, "Profiles//Custom/0:a/b/"));
        prefs->WriteStringArray("Profiles//Custom/List/", {"0:a/b"});
        CTestProfiles w;
        w.Load(*prefs, "Profiles/");
        QCOMPARE(w.ProfileCount(), 1);
        QCOMPARE(w.Profile(0)->Name(), QStringLiteral("a/b"));
        QVERIFY(w.Profile(0)->Options() == Distinct(9));
        // Saved again, it moves to its escaped key and the old levels go.
        QVERIFY(w.Save(*prefs, "Profiles/"));
        QCOMPARE(prefs->TypeOf("Profiles//Custom/0:a%2Fb"), int(ePrefDict));
        QCOMPARE(prefs->TypeOf("Profiles//Custom/0:a"), -1);
    }

    void editedStateFollowsTheAppliedProfile()
    {
        CTestProfiles w;
        w.resize(300, 400);
        w.show();
        CProfileItem* mobile = w.AddProfile(QStringLiteral("Mobile"), Distinct(24));
        QSignalSpy used(&w, &CProfilesWidget::useOptions);
        QVERIFY(ChooseFromMenu(w, mobile, QStringLiteral("Set as [Current]")));
        QCOMPARE(used.count(), 1);
        QVERIFY(used.at(0).at(0).value<COptionsData>() == Distinct(24));
        QCOMPARE(w.ActiveProfile(), mobile);
        QCOMPARE(w.List()->currentItem(), w.CurrentEntry());
        QVERIFY(!w.IsEdited());
        QCOMPARE(w.CurrentEntry()->text(), QStringLiteral("[Current]"));
        QVERIFY(!w.CurrentEntry()->font().italic());
        QCOMPARE(w.CurrentEntry()->toolTip(), QStringLiteral("Current export options - Profile: Mobile"));

        // The editor reports a change.
        COptions changed;
        changed = Distinct(24);
        changed.SetBool(opt::bFlipTextureV, !changed.GetBool(opt::bFlipTextureV));
        w.updateCurrentOptions(changed);
        QVERIFY(w.IsEdited());
        QCOMPARE(w.CurrentEntry()->text(), QStringLiteral("[Current]*"));
        QVERIFY(w.CurrentEntry()->font().italic());
        QCOMPARE(w.CurrentEntry()->toolTip(), QStringLiteral("Current export options"));
        QVERIFY(w.CurrentEntry()->Options() == changed);

        // ... and back to the profile's values.
        changed.SetBool(opt::bFlipTextureV, !changed.GetBool(opt::bFlipTextureV));
        w.updateCurrentOptions(changed);
        QVERIFY(!w.IsEdited());
        QCOMPARE(w.CurrentEntry()->text(), QStringLiteral("[Current]"));
        QVERIFY(!w.CurrentEntry()->font().italic());

        // A renamed active profile is named in the tool tip.
        mobile->setText(QStringLiteral("Phone"));
        QCOMPARE(w.CurrentEntry()->toolTip(), QStringLiteral("Current export options - Profile: Phone"));
    }

    void deleteKeyLeavesTheFixedEntries()
    {
        CTestProfiles w;
        w.resize(300, 400);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.AddProfile(QStringLiteral("Mine"), COptionsData());
        for (QListWidgetItem* fixed :
             {static_cast<QListWidgetItem*>(w.CurrentEntry()), static_cast<QListWidgetItem*>(w.DefaultEntry())}) {
            w.List()->setCurrentItem(fixed);
            QTest::keyClick(w.List(), Qt::Key_Delete);
            w.deleteCurrentItem();
        }
        QCOMPARE(w.List()->count(), 3);
        QCOMPARE(w.confirmations, 0); // not even asked

        // On a profile it asks; "No" keeps it, "Yes" removes it.
        w.List()->setCurrentItem(w.Profile(0));
        w.confirm = false;
        QTest::keyClick(w.List(), Qt::Key_Delete);
        QCOMPARE(w.confirmations, 1);
        QCOMPARE(w.ProfileCount(), 1);
        w.confirm = true;
        QTest::keyClick(w.List(), Qt::Key_Delete);
        QCOMPARE(w.ProfileCount(), 0);
    }

    void deletingTheActiveProfileHandsOverToATwin()
    {
        CTestProfiles w;
        w.resize(300, 400);
        w.show();
        CProfileItem* first = w.AddProfile(QStringLiteral("First"), Distinct(7));
        CProfileItem* other = w.AddProfile(QStringLiteral("Other"), Distinct(8));
        CProfileItem* twin = w.AddProfile(QStringLiteral("Twin"), Distinct(7));
        w.List()->setCurrentItem(first);
        w.useProfile();
        COptions current;
        current = Distinct(7);
        w.updateCurrentOptions(current);
        QVERIFY(!w.IsEdited());

        QVERIFY(ChooseFromMenu(w, first, QStringLiteral("Delete")));
        QCOMPARE(w.ProfileCount(), 2);
        QCOMPARE(w.ActiveProfile(), twin);
        QVERIFY(!w.IsEdited());
        QCOMPARE(w.CurrentEntry()->toolTip(), QStringLiteral("Current export options - Profile: Twin"));

        // Without a twin the defaults take over, and the current options
        // now differ from them.
        QVERIFY(ChooseFromMenu(w, twin, QStringLiteral("Delete")));
        QCOMPARE(w.ActiveProfile(), w.DefaultEntry());
        QVERIFY(w.IsEdited());
        QCOMPARE(w.CurrentEntry()->text(), QStringLiteral("[Current]*"));
        QCOMPARE(w.ProfileCount(), 1);
        QCOMPARE(w.Profile(0), other);
    }

    void renameInPlace()
    {
        CTestProfiles w;
        w.resize(300, 400);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        CProfileItem* item = w.AddProfile(QStringLiteral("Mobile"), COptionsData());
        auto typeName = [&](const QString& name) -> bool {
            // Editors of earlier renames linger hidden until deleted.
            QLineEdit* editor = nullptr;
            for (QLineEdit* e : w.List()->viewport()->findChildren<QLineEdit*>())
                if (e->isVisible())
                    editor = e;
            if (!editor)
                return false;
            editor->selectAll();
            QTest::keyClick(editor, Qt::Key_Backspace);
            QTest::keyClicks(editor, name);
            QTest::keyClick(editor, Qt::Key_Return);
            // The view takes the text on its next turn of the event loop.
            QCoreApplication::processEvents();
            return true;
        };

        // Through the menu.
        QVERIFY(ChooseFromMenu(w, item, QStringLiteral("Rename")));
        QVERIFY(typeName(QStringLiteral("Tablet")));
        QCOMPARE(item->Name(), QStringLiteral("Tablet"));

        // With the edit key; an empty name keeps the old one.
        w.List()->setCurrentItem(item);
        w.List()->setFocus();
        QTest::keyClick(w.List(), Qt::Key_F2);
        QVERIFY(typeName(QString()));
        QCOMPARE(item->Name(), QStringLiteral("Tablet"));
        item->setText(QStringLiteral("   "));
        QCOMPARE(item->Name(), QStringLiteral("Tablet"));
        QTest::keyClick(w.List(), Qt::Key_F2);
        QVERIFY(typeName(QStringLiteral("Phone")));
        QCOMPARE(item->Name(), QStringLiteral("Phone"));

        // The fixed entries cannot be renamed.
        w.List()->setCurrentItem(w.DefaultEntry());
        w.renameProfile();
        for (QLineEdit* e : w.List()->viewport()->findChildren<QLineEdit*>())
            QVERIFY(!e->isVisible());
        QCOMPARE(w.DefaultEntry()->text(), QStringLiteral("Default Settings"));

        // An entry without a name is named with the date and time.
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        CProfileItem unnamed{QString(), COptionsData()};
        const QDateTime named = QDateTime::fromString(unnamed.Name());
        QVERIFY2(named.isValid(), qPrintable(unnamed.Name()));
        QVERIFY(named >= before.addSecs(-1) && named <= QDateTime::currentDateTime().addSecs(1));
    }

    void droppedFilesBecomeProfiles()
    {
        const QString cfg = m_dir.filePath(QStringLiteral("settings.cfg"));
        const QString txt = m_dir.filePath(QStringLiteral("NOTES.TXT"));
        const QString dae = m_dir.filePath(QStringLiteral("scene.dae"));
        QVERIFY(WriteFile(cfg, "uiBoneLimit=24\nbExportSkin=0\n"));
        QVERIFY(WriteFile(txt, "bFlipTextureV=1\n"));
        QVERIFY(WriteFile(dae, "<COLLADA/>"));

        CTestProfiles w;
        bool enter = false, drop = false;
        SendDrop(&w, {QUrl::fromLocalFile(dae)}, &enter, &drop);
        QVERIFY(!enter);
        SendDrop(&w, {QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("gone.cfg")))}, &enter, &drop);
        QVERIFY(!enter);
        QCOMPARE(w.ProfileCount(), 0);

        SendDrop(&w, {QUrl::fromLocalFile(dae), QUrl::fromLocalFile(cfg), QUrl::fromLocalFile(txt)}, &enter, &drop);
        QVERIFY(enter && drop);
        QCOMPARE(w.ProfileCount(), 2);
        QCOMPARE(w.Profile(0)->Name(), QStringLiteral("settings.cfg"));
        QCOMPARE(w.Profile(0)->Options().GetUInt(opt::uiBoneLimit), 24u);
        QVERIFY(!w.Profile(0)->Options().GetBool(opt::bExportSkin));
        QCOMPARE(w.Profile(1)->Name(), QStringLiteral("NOTES.TXT"));
        QVERIFY(w.Profile(1)->Options().GetBool(opt::bFlipTextureV));
        QVERIFY(w.Profile(1)->flags() & Qt::ItemIsEditable);
    }

    void exportAndImportATextFile()
    {
        CTestProfiles w;
        w.resize(300, 400);
        w.show();
        CProfileItem* item = w.AddProfile(QStringLiteral("Mobile"), Distinct(31));
        const QString path = m_dir.filePath(QStringLiteral("mobile.txt"));
        w.exportAnswer = path;
        QVERIFY(ChooseFromMenu(w, item, QStringLiteral("Export to file")));
        QCOMPARE(w.lastCaption, QStringLiteral("Export to file"));
        QCOMPARE(w.lastFilter, QStringLiteral("Normal txt file (*.txt);;Config files (*.cfg)"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().toStdString(), Distinct(31).ToText());
        QCOMPARE(w.LastExportPath(), QFileInfo(path).absolutePath());

        // The next export starts in that folder.
        w.exportAnswer.clear();
        QVERIFY(ChooseFromMenu(w, item, QStringLiteral("Export to file")));
        QCOMPARE(w.lastStart, QFileInfo(path).absolutePath());

        w.importAnswer = path;
        w.names << QStringLiteral("Back");
        QVERIFY(ChooseFromMenu(w, nullptr, QStringLiteral("Import from file")));
        QCOMPARE(w.lastCaption, QStringLiteral("Import from file"));
        QCOMPARE(w.lastFilter, QStringLiteral("QEF scene files (*.qef;*.QEF;*.h;*.cpp);;Normal txt file "
                                              "(*.txt);;Config files (*.cfg)"));
        QCOMPARE(w.ProfileCount(), 2);
        QCOMPARE(w.Profile(1)->Name(), QStringLiteral("Back"));
        QVERIFY(w.Profile(1)->Options() == ThroughText(Distinct(31)));
        QCOMPARE(w.LastImportPath(), QFileInfo(path).absolutePath());

        // A cancelled name prompt adds nothing, but the folder is remembered.
        w.importAnswer = path;
        QVERIFY(ChooseFromMenu(w, nullptr, QStringLiteral("Import from file")));
        QCOMPARE(w.ProfileCount(), 2);

        // The paths persist with the profiles.
        auto prefs = OpenStore();
        QVERIFY(w.Save(*prefs, "Profiles/"));
        CTestProfiles again;
        again.Load(*prefs, "Profiles/");
        QCOMPARE(again.LastExportPath(), w.LastExportPath());
        QCOMPARE(again.LastImportPath(), w.LastImportPath());
    }

    void dialogFiltersListPatternsWithBlanks()
    {
        QCOMPARE(CProfilesWidget::DialogFilter(QStringLiteral("QEF scene files (*.qef;*.QEF;*.h;*.cpp);;"
                                                              "Normal txt file (*.txt)")),
                 QStringLiteral("QEF scene files (*.qef *.QEF *.h *.cpp);;Normal txt file (*.txt)"));
        QCOMPARE(CProfilesWidget::DialogFilter(QStringLiteral("All types (*.*)")), QStringLiteral("All types (*.*)"));
    }

    void importFromASceneFileAndAHeader()
    {
        COptions options;
        options = Distinct(42);
        options.SetFloat(opt::fTangentSpaceVtxSplit, 0.25f);

        // A scene file written by the converter, or by the scene writer while
        // conversions of the example do not succeed.
        const QString qef = m_dir.filePath(QStringLiteral("exported.qef"));
        options.SetOutputPath(qef.toStdString());
        const int result = RunConversion(options, ExamplePath(QStringLiteral("textured_box.dae")));
        if (result != E2QEF_SUCCESS) {
            SScene scene;
            QCOMPARE(WriteSceneFile(scene, qef.toUtf8().constData(), options.ToText().c_str(), MW_VERSION_STRING), 0);
        }
        const QString header = m_dir.filePath(QStringLiteral("exported.h"));
        {
            SScene scene;
            QCOMPARE(WriteSceneSource(header.toUtf8().constData(), options, MW_VERSION_STRING, scene), 0);
        }

        CTestProfiles w;
        w.resize(300, 400);
        w.show();
        w.importAnswer = qef;
        w.names << QStringLiteral("From scene");
        QVERIFY(ChooseFromMenu(w, nullptr, QStringLiteral("Import from file")));
        w.importAnswer = header;
        w.names << QStringLiteral("From header");
        QVERIFY(ChooseFromMenu(w, nullptr, QStringLiteral("Import from file")));
        QCOMPARE(w.ProfileCount(), 2);
        for (int i = 0; i < 2; ++i) {
            const COptionsData& got = w.Profile(i)->Options();
            QCOMPARE(got.GetUInt(opt::uiBoneLimit), 42u);
            QCOMPARE(got.GetBool(opt::bExportSkin), options.GetBool(opt::bExportSkin));
            QCOMPARE(got.String(opt::sClPostArgs), CZGXTString("--fast"));
            QCOMPARE(got.GetFloat(opt::fTangentSpaceVtxSplit), 0.25f);
        }
        QVERIFY(w.Profile(1)->Options() == ThroughText(options));

        // Dropped, they are named after the files.
        bool enter = false, drop = false;
        SendDrop(&w, {QUrl::fromLocalFile(qef), QUrl::fromLocalFile(header)}, &enter, &drop);
        QVERIFY(enter && drop);
        QCOMPARE(w.Profile(2)->Name(), QStringLiteral("exported.qef"));
        QCOMPARE(w.Profile(3)->Name(), QStringLiteral("exported.h"));
        QCOMPARE(w.Profile(2)->Options().GetUInt(opt::uiBoneLimit), 42u);
    }

    void commandLineReadsWhatTheListSaved()
    {
        {
            auto prefs = OpenStore();
            CTestProfiles w;
            w.AddProfile(QStringLiteral("Mobile"), Distinct(24));
            // A name with a slash stays one key component.
            w.AddProfile(QStringLiteral("Desk/Top"), Distinct(48));
            QVERIFY(w.Save(*prefs, "Profiles/"));
            QCOMPARE(prefs->TypeOf("Profiles//Custom/1:Desk%2FTop"), int(ePrefDict));
            QCOMPARE(prefs->TypeOf("Profiles//Custom/1:Desk"), -1);
        }

        const SCliRun list = RunCli({QStringLiteral("profiles")});
        QCOMPARE(list.exitCode, 0);
        QCOMPARE(list.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
                 QStringList({QStringLiteral("Mobile"), QStringLiteral("Desk/Top")}));

        for (const auto& [name, limit] : {std::pair<QString, int>{QStringLiteral("Mobile"), 24},
                                          std::pair<QString, int>{QStringLiteral("Desk/Top"), 48}}) {
            const SCliRun options = RunCli({QStringLiteral("options"), QStringLiteral("--profile"), name});
            QCOMPARE(options.exitCode, 0);
            QVERIFY2(options.out.contains(QStringLiteral("\nuiBoneLimit=%1\n").arg(limit)), qPrintable(options.out));
            QVERIFY(options.out.contains(QStringLiteral("\nsClPostArgs=--fast\n")));
        }

        // convert finds the profile and the file carries its options.
        const QString out = m_dir.filePath(QStringLiteral("cli-profile.qef"));
        const SCliRun convert =
            RunCli({QStringLiteral("convert"), ExamplePath(QStringLiteral("textured_box.dae")), QStringLiteral("-o"),
                    out, QStringLiteral("--profile"), QStringLiteral("Desk/Top")});
        QVERIFY2(!convert.err.contains(QStringLiteral("unknown profile")), qPrintable(convert.err));
        QVERIFY2(convert.exitCode == 0, qPrintable(convert.err));
        QVERIFY(QFile::exists(out));
        QVERIFY(ReadsAsSceneFile(out));
        COptionsData written;
        QVERIFY(written.LoadFromFile(out.toUtf8().constData()) > 0);
        QCOMPARE(written.GetUInt(opt::uiBoneLimit), 48u);
        const SCliRun unknown =
            RunCli({QStringLiteral("convert"), ExamplePath(QStringLiteral("textured_box.dae")), QStringLiteral("-o"),
                    out, QStringLiteral("--profile"), QStringLiteral("Tablet")});
        QVERIFY(unknown.exitCode != 0);
        QVERIFY2(unknown.err.contains(QStringLiteral("unknown profile 'Tablet'")), qPrintable(unknown.err));
    }
};

QTEST_MAIN(TestProfilesWidget)
#include "ProfilesWidgetTest.moc"
