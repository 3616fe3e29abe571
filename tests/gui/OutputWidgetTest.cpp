// The output pane: coloured lines and the progress bar.
#include <QProgressBar>
#include <QTextEdit>
#include <QtTest>

#include "GuiTestSupport.h"
#include "gui/OutputWidget.h"

using namespace guitest;

class TestOutputWidget : public QObject {
    Q_OBJECT
private slots:
    void formAsBuilt()
    {
        COutputWidget w;
        QCOMPARE(w.findChild<QTextEdit*>(QStringLiteral("OutputTE")), w.TextEdit());
        QCOMPARE(w.findChild<QProgressBar*>(QStringLiteral("OutputPB")), w.ProgressBar());
        QVERIFY(w.TextEdit()->isReadOnly());
        QVERIFY(!w.TextEdit()->isUndoRedoEnabled());
        QVERIFY(!w.ProgressBar()->isTextVisible());
        QCOMPARE(w.ProgressBar()->value(), 0);
        QVERIFY(!w.ProgressBar()->isHidden());
    }

    void lineKinds_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<bool>("bold");
        QTest::newRow("info") << int(eOutputInfo) << QColor(Qt::black) << false;
        QTest::newRow("warning") << int(eOutputWarning) << QColor(0xd2, 0x69, 0x1e) << false;
        QTest::newRow("error") << int(eOutputError) << QColor(Qt::red) << true;
        QTest::newRow("success") << int(eOutputSuccess) << QColor(0x00, 0x64, 0x00) << false;
        QTest::newRow("unknown renders as info") << 7 << QColor(Qt::black) << false;
    }
    void lineKinds()
    {
        QFETCH(int, type);
        QFETCH(QColor, colour);
        QFETCH(bool, bold);
        COutputWidget w;
        w.appendOutput("first", eOutputInfo);
        w.appendOutput("the line", static_cast<EOutputType>(type));
        const QTextDocument* doc = w.TextEdit()->document();
        QCOMPARE(doc->blockCount(), 2);
        QCOMPARE(doc->findBlockByNumber(1).text(), QStringLiteral("the line"));
        QCOMPARE(LineColour(doc, 1), colour);
        QCOMPARE(LineBold(doc, 1), bold);
    }

    void nullTextChangesNothing()
    {
        COutputWidget w;
        w.appendOutput("one", eOutputInfo);
        const QString before = w.TextEdit()->toHtml();
        w.appendOutput(nullptr, eOutputError);
        QCOMPARE(w.TextEdit()->toHtml(), before);
    }

    void markupCharactersAreShownAsWritten()
    {
        // Messages name files; a path such as "a<b>&c.dae" must read as given.
        COutputWidget w;
        w.appendOutput("Failed to parse /tmp/a<b>&c.dae.", eOutputError);
        QCOMPARE(w.TextEdit()->toPlainText(), QStringLiteral("Failed to parse /tmp/a<b>&c.dae."));
    }

    void progressBar()
    {
        COutputWidget w;
        w.setProgress(40);
        QCOMPARE(w.ProgressBar()->value(), 40);
        QVERIFY(!w.ProgressBar()->isHidden());
        w.setProgress(100);
        QVERIFY(w.ProgressBar()->isHidden());
        w.setProgress(99);
        QVERIFY(!w.ProgressBar()->isHidden());
        QCOMPARE(w.ProgressBar()->value(), 99);
        w.setProgress(100);
        w.appendOutput("line", eOutputInfo);
        w.clearOutput();
        QVERIFY(w.TextEdit()->toPlainText().isEmpty());
        QCOMPARE(w.ProgressBar()->value(), 0);
        QVERIFY(!w.ProgressBar()->isHidden());
    }
};

QTEST_MAIN(TestOutputWidget)
#include "OutputWidgetTest.moc"
