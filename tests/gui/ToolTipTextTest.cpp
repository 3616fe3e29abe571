// Tool tip texts broken into short lines.
#include <QtTest>

#include "gui/MeshwrightStrings.h"
#include "gui/ToolTipText.h"

class TestToolTipText : public QObject {
    Q_OBJECT
private slots:
    void lines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("wrapped");
        const QString sixty(60, QLatin1Char('x'));
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("short stays") << QStringLiteral("Export the meshes - vertex and triangle data")
                                     << QStringLiteral("Export the meshes - vertex and triangle data");
        QTest::newRow("exactly one line") << sixty << sixty;
        QTest::newRow("broken at spaces")
            << QStringLiteral("Select a frame of animation to use as the base position of all objects when "
                              "exporting in world space")
            << QStringLiteral("Select a frame of animation to use as the base position of\n"
                              "all objects when exporting in world space");
        QTest::newRow("overlong word is cut")
            << QStringLiteral("at /") + sixty + QStringLiteral("/scene.qef now")
            << QStringLiteral("at\n/") + sixty.left(59) + QStringLiteral("\nx/scene.qef now");
    }

    void lines()
    {
        QFETCH(QString, text);
        QFETCH(QString, wrapped);
        QCOMPARE(ToolTipText(text), wrapped);
    }

    // Every text of the table keeps its words and no line is too long.
    void everyTextFits()
    {
        for (int id = 0; id < CMeshwrightStrings::kStringCount; ++id) {
            const QString text = UIText(id);
            const QString wrapped = ToolTipText(text);
            QCOMPARE(QString(wrapped).replace(QLatin1Char('\n'), QLatin1Char(' ')), text.simplified());
            for (const QString& line : wrapped.split(QLatin1Char('\n')))
                QVERIFY2(line.size() <= kToolTipLineLength, qPrintable(line));
        }
    }
};

QTEST_GUILESS_MAIN(TestToolTipText)
#include "ToolTipTextTest.moc"
