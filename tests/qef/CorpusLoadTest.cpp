// Every scene that the converter writes from the corpus loads through qef/
// and agrees with the scene model the converter held before writing it.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <functional>

#include "QefTestUtil.h"
#include "TestSupport.h"
#include "collada/Collada2QEF.h"
#include "options/Options.h"
#include "process/SceneExporter.h"
#include "SceneTestUtil.h"
#include "scene/ImportScene.h"
#include "scene/SceneFromQef.h"

namespace {

struct SOptionSet {
    const char* name;
    std::function<void(COptions&)> setup;
};

// The defaults (interleaved, 16-bit indices where they fit); strips, packed
// types, an unpack matrix and separate channels (on a quarter of the corpus:
// making strips is the slow part); skin and animation with bone batches and
// indexed tracks.
const SOptionSet kOptionSets[] = {
    {"default", [](COptions&) {}},
    {"packed_strips",
     [](COptions& o) {
         o.SetPrimType(ePrimTriangleStrip);
         o.SetBool(opt::bTangentSpace, true);
         o.SetBool(opt::bInterleaved, false);
         o.SetBool(opt::bExportMatrices, true);
         o.SetBool(opt::bUnpackMatrix, true);
         o.SetType(eVAPosition, eZGXTShort);
         o.SetType(eVANormal, eZGXTDec3N);
         o.SetType(eVATangent, eZGXTShortNorm);
         o.SetType(eVABinormal, eZGXTByteNorm);
         o.SetExport(eVAColour, true);
         o.SetType(eVAColour, eZGXTRGBA);
         o.SetType(eVAUVW0, eZGXTUShortNorm);
     }},
    {"skinned_animated",
     [](COptions& o) {
         o.SetBool(opt::bExportSkin, true);
         o.SetBool(opt::bExportAnimations, true);
         o.SetBool(opt::bIndexAnimations, true);
         o.SetUInt(opt::uiBoneLimit, 9);
         o.SetType(eVABoneIndices, eZGXTUByte);
         o.SetType(eVABoneWeights, eZGXTUShortNorm);
     }},
};

constexpr int kShards = 4;

struct SCase {
    int optionSet;
    int shard;
};

class QefCorpus : public ::testing::TestWithParam<SCase> {};

TEST_P(QefCorpus, LoadsWhatTheConverterWrote)
{
    MW_REQUIRE_CORPUS();
    const SOptionSet& set = kOptionSets[GetParam().optionSet];
    const QStringList files = CorpusFiles(QStringLiteral(".dae"), GetParam().shard, kShards);
    ASSERT_FALSE(files.isEmpty());
    QTemporaryDir dir;
    int loaded = 0;
    for (const QString& file : files) {
        const std::string path = file.toStdString();
        SCOPED_TRACE(std::string(set.name) + " options: " + path);
        COptions options;
        set.setup(options);
        SImportScene imported;
        CCollada2QEF importer;
        SImportSettings settings;
        settings.outputFolder = dir.path().toStdString();
        if (importer.Import(path.c_str(), &imported, &options, settings) != 0)
            continue;
        CSceneExporter exporter;
        exporter.SetOutputPath(dir.filePath(QStringLiteral("out.qef")).toStdString());
        CLogCapture log;
        if (!exporter.Process(imported, options))
            continue; // a palette too small for a triangle: the processing's own tests
        const std::vector<uint8_t> bytes = WriteToMemory(*exporter.Scene(), options.ToText().c_str(), "corpus");
        qef_error error;
        QefScenePtr scene = LoadQef(bytes.data(), bytes.size(), &error);
        ASSERT_TRUE(scene) << error.message;
        ExpectSameScene(*exporter.Scene(), *scene);
        // The scene model built from the loader's views is the one the
        // converter held: written again, it gives the same bytes.
        SScene built;
        ASSERT_TRUE(BuildSceneFromQef(*scene, &built));
        EXPECT_TRUE(WriteToMemory(built, options.ToText().c_str(), "corpus") == bytes);
        EXPECT_EQ(std::string(scene->options_text, scene->options_text_size), options.ToText());
        if (::testing::Test::HasFailure())
            return;
        ++loaded;
    }
    EXPECT_GT(loaded, 0);
}

std::vector<SCase> Cases()
{
    std::vector<SCase> cases;
    for (int o = 0; o < int(sizeof(kOptionSets) / sizeof(kOptionSets[0])); ++o)
        for (int s = 0; s < (o == 1 ? 1 : kShards); ++s)
            cases.push_back({o, s});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Shard, QefCorpus, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<SCase>& test) {
                             return std::string(kOptionSets[test.param.optionSet].name) + "_" +
                                    std::to_string(test.param.shard);
                         });

} // namespace
