// Every glTF file of the corpus converts, or fails with an error that names
// it; triangle totals match what an independent reader (gltf_reference.py)
// counts in the file.
#include <gtest/gtest.h>

#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "GltfTestUtil.h"

namespace {

struct SReference {
    QString file;
    QString status; // ok, broken, noscene
    int triangles = 0;
    QString reason;
};

std::vector<SReference> ReadReference(const QStringList& files)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
                 QStringList{QString::fromStdString(TestDataPath("../gltf/gltf_reference.py"))} + files);
    python.waitForFinished(120000);
    std::vector<SReference> out;
    for (const QByteArray& line : python.readAllStandardOutput().split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        out.push_back({o["file"].toString(), o["status"].toString(), o["triangles"].toInt(), o["reason"].toString()});
    }
    return out;
}

} // namespace

TEST(GltfCorpus, EveryFileConvertsOrFailsWithItsMessage)
{
    const QString corpus = CorpusDir();
    if (corpus.isEmpty())
        GTEST_SKIP() << "The corpus (../shared/corpus beside the project) is not present.";
    QStringList files;
    QDirIterator it(corpus + QStringLiteral("/gltf"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(QStringLiteral(".gltf"), Qt::CaseInsensitive) ||
            path.endsWith(QStringLiteral(".glb"), Qt::CaseInsensitive))
            files << path;
    }
    files.sort();
    ASSERT_FALSE(files.isEmpty());
    const std::vector<SReference> reference = ReadReference(files);
    ASSERT_EQ(reference.size(), size_t(files.size())) << "the reference reader did not answer for every file";

    int converted = 0;
    for (const SReference& ref : reference) {
        const std::string name = ref.file.toStdString();
        auto run = ImportGltfPath(name);
        if (ref.status == QStringLiteral("ok")) {
            EXPECT_EQ(run->result, 0) << name << "\n" << run->Messages(eLogError);
            EXPECT_EQ(run->Triangles(), size_t(ref.triangles)) << name;
            converted += run->result == 0;
        } else {
            EXPECT_EQ(run->result, ref.status == QStringLiteral("noscene") ? 7 : 1)
                << name << " (" << ref.reason.toStdString() << ")";
            // One error line, naming the file.
            const std::string errors = run->Messages(eLogError);
            EXPECT_NE(errors.find(name), std::string::npos) << name << ": " << errors;
        }
        // Records hold together whatever the outcome.
        for (size_t i = 0; i < run->scene.nodes.size(); ++i) {
            const SImportNode& n = run->scene.nodes[i];
            ASSERT_EQ(n.index, int32_t(i)) << name;
            ASSERT_LT(n.parent, int32_t(run->scene.nodes.size())) << name;
            for (const SImportTriangle& t : n.triangles)
                for (int c = 0; c < 3; ++c) {
                    ASSERT_LT(size_t(t.position[c]), n.positions.size()) << name;
                    ASSERT_LT(t.normal[c], int32_t(n.normals.size())) << name;
                }
            for (const SImportSkin& s : n.skins)
                ASSERT_EQ(s.influences.size(), n.positions.size()) << name;
        }
    }
    EXPECT_GT(converted, 20);
}
