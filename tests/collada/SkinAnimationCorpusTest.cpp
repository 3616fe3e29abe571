// The skinned and animated files of the corpus: skin blocks and frame blocks
// keep their invariants.
#include <gtest/gtest.h>

#include <QDirIterator>
#include <QTemporaryDir>

#include <cmath>

#include "ColladaTestUtil.h"

TEST(ColladaCorpus, SkinsAndFramesHoldTogether)
{
    MW_REQUIRE_CORPUS();
    const QStringList files = CorpusFiles(QStringLiteral(".dae"), 0, 1);
    QTemporaryDir effects;
    int skinned = 0, animated = 0;
    for (const QString& path : files) {
        const std::string name = path.toStdString();
        auto run = ImportPath(
            name, [](COptions& o) { o.SetBool(opt::bExportSkin, true); }, effects.path().toStdString());
        if (run->result != 0)
            continue;
        const auto& nodes = run->scene.nodes;
        bool fileSkinned = false, fileAnimated = false;
        for (const SImportNode& n : nodes) {
            for (const SImportSkin& skin : n.skins) {
                fileSkinned = true;
                ASSERT_EQ(skin.influences.size(), n.positions.size()) << name;
                for (const auto& list : skin.influences) {
                    ASSERT_LE(list.size(), 4u) << name;
                    for (size_t k = 0; k < list.size(); ++k) {
                        ASSERT_GE(list[k].bone, 0) << name;
                        ASSERT_LT(size_t(list[k].bone), nodes.size()) << name;
                        ASSERT_TRUE(std::isfinite(list[k].weight)) << name;
                        if (k) {
                            ASSERT_GE(list[k - 1].weight, list[k].weight) << name;
                        }
                    }
                }
            }
            if (!n.frames.empty()) {
                fileAnimated = true;
                ASSERT_EQ(n.frames.size(), size_t(run->scene.lastFrame) + 1) << name << " " << n.name;
            }
        }
        EXPECT_EQ(run->scene.frameRate, 30u) << name;
        skinned += fileSkinned;
        animated += fileAnimated;
    }
    RecordProperty("skinned", skinned);
    RecordProperty("animated", animated);
    EXPECT_GT(skinned + animated, 0) << "no skinned or animated file in " << CorpusDir().toStdString();
}
