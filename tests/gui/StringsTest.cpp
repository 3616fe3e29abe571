// The UI string table: size, exact texts, and safe lookups outside it.
#include <QtTest>

#include "gui/MeshwrightStrings.h"

class TestStrings : public QObject {
    Q_OBJECT
private slots:
    void everyEntryExists()
    {
        QCOMPARE(CMeshwrightStrings::kStringCount, 173);
        for (int id = 0; id < CMeshwrightStrings::kStringCount; ++id)
            QVERIFY2(!UIText(id).isEmpty(), qPrintable(QString::number(id)));
    }

    void exactTexts_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");
        const struct {
            int id;
            const char* text;
        } rows[] = {
            {0, "A0"},
            {5, "Add position unpack matrix"},
            {8, "Align vertex data (to 32-bits)"},
            {23, "[Current]"},
            {31, "Are you sure you'd like to delete this profile?"},
            {37, "Export transformations as matrices"},
            {50, "All supported formats (*.qef;*.QEF)"},
            {58, "QEF scene files (*.qef;*.QEF;*.h;*.cpp)"},
            {59, "QEF scene files [Binary] (*.qef;*.QEF)"},
            {64, "Export..."},
            {66, "fixed 16.16"},
            {92, "Enter how large a palette of bones may be indexed into when rendering - e.g. 9 for OGLES 1.x "
                 "and for OGLES 2.0 the maximum number of bone matrices supported by your shader"},
            {95, "Merge materials"},
            {100, "OK"},
            {101, "Open in scene viewer"},
            {102, "Open the .qef file in the scene viewer after exporting"},
            {104, "Scene viewer path"},
            {112, "The working directory to run 'command' in."},
            {133, "Vertex cache order (meshoptimizer)"},
            {135, "Geometry sort"},
            {136, "Triangle strip order"},
            {144, "Options that affect the export of transformations/animations"},
            {154, "UVW 7"},
            {166, "Vertex-splitting"},
            {167, "Split a vertex if the DP3 of tangents/binormals are below this (range -1..1)"},
            {168, "Yes"},
            {169, "Scale to metres by the document's unit"},
            {171, "Copy Textures Beside Export"},
        };
        for (const auto& row : rows)
            QTest::newRow(qPrintable(QString::number(row.id))) << row.id << QString::fromUtf8(row.text);
    }
    void exactTexts()
    {
        QFETCH(int, id);
        QFETCH(QString, text);
        QCOMPARE(UIText(id), text);
        QCOMPARE(CMeshwrightStrings::Text(id, CMeshwrightStrings::eBritishEnglish), text);
    }

    // Users read names of other products as another program's leftovers.
    void noTextNamesAnotherProduct()
    {
        for (int id = 0; id < CMeshwrightStrings::kStringCount; ++id) {
            const QString text = UIText(id);
            for (const char* name : {"Lumetra", "ZGX", "Vistrel", "D3DX"})
                QVERIFY2(!text.contains(QLatin1String(name)), qPrintable(text));
        }
    }

    void outsideTheTableIsEmpty()
    {
        QVERIFY(UIText(-1).isEmpty());
        QVERIFY(UIText(173).isEmpty());
        QVERIFY(CMeshwrightStrings::Text(0, static_cast<CMeshwrightStrings::ELanguages>(5)).isEmpty());
    }

    void oneLanguage()
    {
        QCOMPARE(CMeshwrightStrings::Language(), CMeshwrightStrings::eBritishEnglish);
        QCOMPARE(QString::fromUtf8(CMeshwrightStrings::LanguageName(CMeshwrightStrings::eBritishEnglish)),
                 QStringLiteral("British English"));
        // An unknown language is refused and the current one stays.
        CMeshwrightStrings::SetLanguage(static_cast<CMeshwrightStrings::ELanguages>(3));
        QCOMPARE(CMeshwrightStrings::Language(), CMeshwrightStrings::eBritishEnglish);
    }
};

QTEST_GUILESS_MAIN(TestStrings)
#include "StringsTest.moc"
