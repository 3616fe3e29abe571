// The Help menu's pieces: the about box and its start-up switch, the
// feedback dialog, the manuals built beside the program and the opener that
// finds them or asks for them.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QDialogButtonBox>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

#include <memory>

#include "GuiTestSupport.h"
#include "app/AboutBoxDialog.h"
#include "app/DocumentOpener.h"
#include "app/FeedbackDialog.h"
#include "app/StandaloneWindow.h"
#include "prefs/ZGXPreferences.h"

using guitest::WriteFile;

namespace {

const QString kTitle = QStringLiteral("Meshwright 2.12");

// Records what the opener does instead of starting a viewer or a dialog.
class CTestOpener : public CDocumentOpener {
public:
    using CDocumentOpener::CDocumentOpener;
    QStringList opened;   // files handed to the viewer
    QStringList warnings; // "title: text"
    QStringList answers;  // next answers of the file dialog; empty: Cancel
    bool viewerWorks = true;

protected:
    bool OpenFile(const QString& path) override
    {
        opened << path;
        return viewerWorks;
    }
    void Warn(const QString& title, const QString& text) override { warnings << title + QStringLiteral(": ") + text; }
    QString ChooseFile(const QString& caption, const QString& filter) override
    {
        if (caption != QLatin1String("Open Source File") || filter != QLatin1String("Portable Document Format (*.pdf)"))
            return QString();
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
};

QString Manual()
{
    return QString::fromLatin1(CStandaloneWindow::kManualFile);
}

QString Format()
{
    return QString::fromLatin1(CStandaloneWindow::kFormatFile);
}

QString Folder()
{
    return QString::fromLatin1(CStandaloneWindow::kDocumentFolder);
}

} // namespace

class TestHelpDialogs : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    std::unique_ptr<CZGXPreferences> OpenStore()
    {
        auto prefs = std::make_unique<CZGXPreferences>("Meshwright");
        CZGXTString error;
        prefs->Load(error);
        return prefs;
    }

private slots:
    void initTestCase()
    {
        // Never the user's own preference files.
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
        const std::string base = QDir(m_dir.path()).filePath(QStringLiteral("config")).toStdString();
        CZGXPreferences::SetBaseFolder(ePrefUser, base);
        CZGXPreferences::SetBaseFolder(ePrefAllUsers, base);
    }

    void aboutBoxTexts()
    {
        auto prefs = OpenStore();
        CAboutBoxDialog box(kTitle, CAboutBoxDialog::DefaultPicture(), prefs.get(), true, QString());
        QCOMPARE(box.objectName(), QStringLiteral("AboutBoxClass"));
        QCOMPARE(box.findChild<QLabel*>(QStringLiteral("AppVersionLabel"))->text(), kTitle);
        QCOMPARE(box.findChild<QLabel*>(QStringLiteral("VersionLabel"))->text(),
                 QStringLiteral("Meshwright 2.12 (build 3.0@2149614)"));
        QCOMPARE(box.findChild<QLabel*>(QStringLiteral("UsesLabel"))->text(),
                 QStringLiteral("Qt version ") + QLatin1String(qVersion()));
        QVERIFY(box.findChild<QLabel*>(QStringLiteral("EmailLabel"))
                    ->text()
                    .contains(QStringLiteral("mailto:support@meshwright.example.org")));
        QVERIFY(box.findChild<QLabel*>(QStringLiteral("WebsiteLabel"))
                    ->text()
                    .contains(QStringLiteral("href=\"https://meshwright.example.org\"")));
        QCOMPARE(box.ShowAtStartUpCheckBox()->objectName(), QStringLiteral("ShowAtStartUpCB"));
        QCOMPARE(box.ShowAtStartUpCheckBox()->text(), QStringLiteral("Show at startup"));
        const QImage picture = CAboutBoxDialog::DefaultPicture();
        QCOMPARE(picture.size(), QSize(500, 320));
        QCOMPARE(picture.depth(), 24);

        CAboutBoxDialog withUses(kTitle, picture, prefs.get(), true, QStringLiteral("pugixml 1.13"));
        QCOMPARE(withUses.findChild<QLabel*>(QStringLiteral("UsesLabel"))->text(),
                 QStringLiteral("pugixml 1.13 | Qt version ") + QLatin1String(qVersion()));

        // OK closes it.
        box.show();
        box.findChild<QPushButton*>(QStringLiteral("OkButton"))->click();
        QVERIFY(!box.isVisible());
        QCOMPARE(box.result(), int(QDialog::Accepted));
    }

    void showAtStartUpSwitch()
    {
        const CZGXTString key = CAboutBoxDialog::ShowSplashKey(kTitle).toStdString();
        QCOMPARE(key, CZGXTString("Meshwright 2.12/About/ShowSplash"));
        auto prefs = OpenStore();
        prefs->RemoveKey(key);
        {
            // Absent counts as on: shown at start-up.
            CAboutBoxDialog box(kTitle, QImage(), prefs.get(), false, QString());
            QVERIFY(box.ShouldShow());
            QVERIFY(box.ShowAtStartUpCheckBox()->isChecked());
            box.ShowAtStartUpCheckBox()->click();
        }
        // Written and saved at once.
        prefs = OpenStore();
        bool on = true;
        QVERIFY(prefs->ReadBool(key, on));
        QVERIFY(!on);
        {
            CAboutBoxDialog unforced(kTitle, QImage(), prefs.get(), false, QString());
            QVERIFY(!unforced.ShouldShow());
            CAboutBoxDialog forced(kTitle, QImage(), prefs.get(), true, QString());
            QVERIFY(forced.ShouldShow());
            QVERIFY(!forced.ShowAtStartUpCheckBox()->isChecked());
            forced.ShowAtStartUpCheckBox()->click();
        }
        prefs = OpenStore();
        QVERIFY(prefs->ReadBool(key, on));
        QVERIFY(on);
        // Another title keeps its own switch.
        CAboutBoxDialog other(QStringLiteral("Other 1.0"), QImage(), prefs.get(), false, QString());
        QVERIFY(other.ShouldShow());
    }

    void feedbackDialog()
    {
        CFeedbackDialog dialog(QStringLiteral("Meshwright"), QStringLiteral("Standalone 2.12"));
        QCOMPARE(dialog.objectName(), QStringLiteral("FeedbackClass"));
        QPlainTextEdit* required = dialog.findChild<QPlainTextEdit*>(QStringLiteral("RequiredText"));
        QVERIFY(required && required->isReadOnly());
        QCOMPARE(required->toPlainText(), QStringLiteral("Meshwright Standalone 2.12 (build 3.0@2149614)"));
        QCOMPARE(dialog.RequiredText(), required->toPlainText());
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("RequiredTextLabel"))->text(),
                 QStringLiteral("Please include the following text in your feedback"));
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("SelectAndCopyLabel"))->text(),
                 QStringLiteral("Select text [Ctrl+A] and copy [Ctrl + C]."));
        QVERIFY(!dialog.findChild<QLabel*>(QStringLiteral("ForumLabel"))->text().isEmpty());
        QVERIFY(dialog.findChild<QLabel*>(QStringLiteral("ForumURL"))
                    ->text()
                    .contains(QStringLiteral("https://meshwright.example.org/forum")));
        QVERIFY(!dialog.findChild<QLabel*>(QStringLiteral("SupportEmailLabel"))->text().isEmpty());

        // The mail link carries subject and text whole, whatever they hold.
        const QUrl link = dialog.MailLink();
        QCOMPARE(link.scheme(), QStringLiteral("mailto"));
        QCOMPARE(link.path(), QStringLiteral("support@meshwright.example.org"));
        const QUrlQuery query(link);
        QCOMPARE(query.queryItemValue(QStringLiteral("subject")), QStringLiteral("Feedback"));
        QCOMPARE(query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded), dialog.RequiredText());
        QVERIFY(dialog.findChild<QLabel*>(QStringLiteral("SupportEmail"))
                    ->text()
                    .contains(link.toString(QUrl::FullyEncoded).toHtmlEscaped()));
        CFeedbackDialog awkward(QStringLiteral("A&B"), QStringLiteral("1 + 2 = 3?"));
        QCOMPARE(QUrlQuery(awkward.MailLink()).queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded),
                 awkward.RequiredText());

        dialog.show();
        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close)->click();
        QVERIFY(!dialog.isVisible());
    }

    void manualsAreBuiltBesideTheProgram()
    {
        int pagesTotal = 0;
        for (const QString& name : {Manual(), Format()}) {
            QFile pdf(QDir(QStringLiteral(MW_PROGRAM_DIR)).filePath(name));
            QVERIFY2(pdf.open(QIODevice::ReadOnly), qPrintable(pdf.fileName()));
            const QByteArray bytes = pdf.readAll();
            QVERIFY(bytes.startsWith("%PDF-"));
            QVERIFY(bytes.trimmed().endsWith("%%EOF"));
            const int pages =
                int(QString::fromLatin1(bytes).count(QRegularExpression(QStringLiteral("/Type\\s*/Page[^s]"))));
            QVERIFY2(pages >= 2, qPrintable(name));
            pagesTotal += pages;
        }
        QVERIFY(pagesTotal >= 6);
    }

    void shippedManualsOpenFirst()
    {
        auto prefs = OpenStore();
        // Even a remembered copy elsewhere comes after the shipped one.
        const QString elsewhere = QDir(m_dir.path()).filePath(Manual());
        QVERIFY(WriteFile(elsewhere, "%PDF-1.4\n"));
        prefs->WriteString("OpenDocs/Document", elsewhere.toStdString());
        CTestOpener opener(nullptr, prefs.get());
        opener.SetProgramFolder(QStringLiteral(MW_PROGRAM_DIR));
        QVERIFY(opener.Open(Manual(), Folder(), QStringLiteral("Document")));
        QVERIFY(opener.Open(Format(), Folder(), QStringLiteral("Document")));
        QCOMPARE(opener.opened, QStringList({QDir(QStringLiteral(MW_PROGRAM_DIR)).filePath(Manual()),
                                             QDir(QStringLiteral(MW_PROGRAM_DIR)).filePath(Format())}));
        QVERIFY(opener.warnings.isEmpty());
        prefs->RemoveKey("OpenDocs/Document");
    }

    void installedLayoutIsFoundRelativeToTheProgram()
    {
        // bin/meshwright and share/doc/meshwright/<manual>.
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("share/doc/meshwright")));
        const QString installed = prefix.filePath(QStringLiteral("share/doc/meshwright/")) + Format();
        QVERIFY(WriteFile(installed, "%PDF-1.4\n"));
        auto prefs = OpenStore();
        CTestOpener opener(nullptr, prefs.get());
        opener.SetProgramFolder(prefix.filePath(QStringLiteral("bin")));
        QVERIFY(opener.Open(Format(), Folder(), QStringLiteral("Document")));
        QCOMPARE(opener.opened, QStringList({QFileInfo(installed).absoluteFilePath()}));
    }

    void aLocatedManualIsRemembered()
    {
        auto prefs = OpenStore();
        prefs->RemoveKey("OpenDocs/Document");
        QTemporaryDir empty;
        QTemporaryDir docs;
        const QString manual = docs.filePath(Manual());
        const QString format = docs.filePath(Format());
        QVERIFY(WriteFile(manual, "%PDF-1.4\n"));
        QVERIFY(WriteFile(format, "%PDF-1.4\n"));
        const QString notFound =
            QStringLiteral("Documentation File Not Found: Please locate the file: ") + Manual() + QStringLiteral("\n");
        {
            CTestOpener opener(nullptr, prefs.get());
            opener.SetProgramFolder(empty.path());
            // First a file that is not there, then the right one.
            opener.answers << docs.filePath(QStringLiteral("gone.pdf")) << manual;
            QVERIFY(opener.Open(Manual(), Folder(), QStringLiteral("Document")));
            QCOMPARE(opener.warnings,
                     QStringList({notFound,
                                  QStringLiteral("File Open Failed: ") + docs.filePath(QStringLiteral("gone.pdf")) +
                                      QStringLiteral("\nThere is no such file."),
                                  notFound}));
            QCOMPARE(opener.opened, QStringList({manual}));
        }
        // Remembered in the store file.
        prefs = OpenStore();
        CZGXTString remembered;
        QVERIFY(prefs->ReadString("OpenDocs/Document", remembered));
        QCOMPARE(QString::fromStdString(remembered), manual);
        {
            CTestOpener opener(nullptr, prefs.get());
            opener.SetProgramFolder(empty.path());
            QVERIFY(opener.Open(Manual(), Folder(), QStringLiteral("Document")));
            // The other manual is looked for beside it, not opened in its place.
            QVERIFY(opener.Open(Format(), Folder(), QStringLiteral("Document")));
            QCOMPARE(opener.opened, QStringList({manual, format}));
            QVERIFY(opener.warnings.isEmpty());
        }
    }

    void cancellingOrAFailingViewerEndsTheSearch()
    {
        auto prefs = OpenStore();
        prefs->RemoveKey("OpenDocs/Document");
        QTemporaryDir empty;
        CTestOpener opener(nullptr, prefs.get());
        opener.SetProgramFolder(empty.path());
        QVERIFY(!opener.Open(Manual(), Folder(), QStringLiteral("Document")));
        QCOMPARE(opener.warnings.size(), 1);
        QVERIFY(opener.opened.isEmpty());

        // A viewer that cannot show the file: the user is told and asked again.
        const QString manual = empty.filePath(QStringLiteral("copy.pdf"));
        QVERIFY(WriteFile(manual, "%PDF-1.4\n"));
        CTestOpener broken(nullptr, prefs.get());
        broken.SetProgramFolder(empty.path());
        broken.viewerWorks = false;
        broken.answers << manual;
        QVERIFY(!broken.Open(Manual(), Folder(), QStringLiteral("Document")));
        QCOMPARE(broken.warnings.size(), 3);
        QCOMPARE(broken.warnings.at(1), QStringLiteral("File Open Failed: ") +
                                            CDocumentOpener::NoViewerText(QFileInfo(manual).absoluteFilePath()));
        CZGXTString remembered;
        QVERIFY(!prefs->ReadString("OpenDocs/Document", remembered));
    }

    // The manual lies beside the program but no program shows PDF files:
    // the user is told so, with the manual's place, and not asked for it.
    void aMissingPdfViewerIsSaid()
    {
        auto prefs = OpenStore();
        prefs->RemoveKey("OpenDocs/Document");
        CTestOpener opener(nullptr, prefs.get());
        opener.SetProgramFolder(QStringLiteral(MW_PROGRAM_DIR));
        opener.viewerWorks = false;
        opener.answers << QStringLiteral("/never/asked.pdf");
        QVERIFY(!opener.Open(Manual(), Folder(), QStringLiteral("Document")));
        const QString shipped = QDir(QStringLiteral(MW_PROGRAM_DIR)).filePath(Manual());
        QCOMPARE(opener.opened, QStringList({shipped}));
        QCOMPARE(opener.warnings,
                 QStringList({QStringLiteral("File Open Failed: ") + CDocumentOpener::NoViewerText(shipped)}));
        QVERIFY(opener.warnings.at(0).contains(QStringLiteral("No program here opens PDF files")));
        QCOMPARE(opener.answers.size(), 1);
    }
};

QTEST_MAIN(TestHelpDialogs)
#include "HelpDialogsTest.moc"
