// Every Collada file of the corpus imports without a crash and with a
// documented result.
#include <gtest/gtest.h>

#include <QDirIterator>
#include <QTemporaryDir>

#include <set>

#include "ColladaTestUtil.h"

TEST(ColladaCorpus, EveryFileImports)
{
    MW_REQUIRE_CORPUS();
    const QStringList corpusFiles = CorpusFiles(QStringLiteral(".dae"), 0, 1);
    QTemporaryDir effects; // effect files of corpus materials land here
    const std::set<int> documented = {0, 1, 7};
    int files = 0;
    int imported = 0;
    for (const QString& path : corpusFiles) {
        ++files;
        auto run = ImportPathInto(path.toStdString(), effects.path().toStdString());
        EXPECT_TRUE(documented.count(run->result)) << path.toStdString() << " gave " << run->result;
        if (run->result == 0) {
            ++imported;
            const auto& nodes = run->scene.nodes;
            for (size_t i = 0; i < nodes.size(); ++i) {
                const SImportNode& n = nodes[i];
                ASSERT_EQ(n.index, int32_t(i)) << path.toStdString();
                ASSERT_LT(n.parent, int32_t(nodes.size())) << path.toStdString();
                for (const SImportTriangle& t : n.triangles)
                    for (int c = 0; c < 3; ++c) {
                        ASSERT_LT(size_t(t.position[c]), n.positions.size()) << path.toStdString();
                        ASSERT_LT(t.normal[c], int32_t(n.normals.size())) << path.toStdString();
                        ASSERT_LT(t.colour[c], int32_t(n.colours.size())) << path.toStdString();
                    }
                for (const SImportUVSet& s : n.uvSets)
                    ASSERT_EQ(s.triangles.size(), n.triangles.size()) << path.toStdString();
            }
        }
    }
    EXPECT_GT(files, 0) << "no .dae files under " << CorpusDir().toStdString();
    RecordProperty("files", files);
    RecordProperty("imported", imported);
}
