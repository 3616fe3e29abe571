// Oversized inputs: a clear message, the documented result, and memory that
// follows what the input holds, never what it claims.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdint>
#include <string>

#include "collada/ColladaTestUtil.h"
#include "common/TestSupport.h"
#include "options/Options.h"
#include "prefs/ZGXPreferences.h"
#include "scene/Scene.h"
#include "scene/SceneRead.h"

namespace {

std::string U32(uint32_t v)
{
    const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char((v >> 24) & 0xFF)};
    return std::string(b, 4);
}
// A block header whose length may claim more than follows.
std::string Header(uint32_t tag, uint32_t length)
{
    return U32(tag) + U32(length);
}
std::string Block(uint32_t tag, const std::string& payload)
{
    return Header(tag, uint32_t(payload.size())) + payload;
}
std::string Version()
{
    return Block(1000, std::string("AB.QEF.2.0\0", 11));
}

const char kBillionCounts[] = R"(<COLLADA>
  <library_geometries><geometry id="g" name="big"><mesh>
    <source id="s">
      <float_array id="claims" count="2000000000">0 0 0 1 0 0 0 1 0</float_array>
      <technique_common><accessor source="#claims" count="4000000000" stride="3">
        <param name="X" type="float"/><param name="Y" type="float"/><param name="Z" type="float"/>
      </accessor></technique_common>
    </source>
    <vertices id="v"><input semantic="POSITION" source="#s"/></vertices>
    <triangles count="4000000000"><input semantic="VERTEX" source="#v" offset="0"/><p>0 1 2</p></triangles>
  </mesh></geometry></library_geometries>
  <library_visual_scenes><visual_scene id="vs">
    <node id="n" name="big"><instance_geometry url="#g"/></node>
  </visual_scene></library_visual_scenes>
  <scene><instance_visual_scene url="#vs"/></scene>
</COLLADA>)";

} // namespace

TEST(Limits, ColladaCountsInTheBillionsReadOnlyWhatTheTextHolds)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("big.dae").toStdString();
    ASSERT_TRUE(WriteFileBytes(path, kBillionCounts));
    std::unique_ptr<SImportRun> run = ImportPathInto(path, dir.path().toStdString());
    EXPECT_EQ(run->result, 0);
    const SImportNode* node = run->Node("big");
    ASSERT_NE(node, nullptr);
    // One triangle: what the index list holds, not the billions claimed.
    EXPECT_EQ(node->triangles.size(), 1u);
    EXPECT_EQ(node->positions.size(), 3u);
    EXPECT_EQ(CornerXs(*node), "0 1 0");
    EXPECT_TRUE(run->Logged(eLogWarning, "WARNING: Array \"claims\" claims 2000000000 values but holds only 9."));
}

TEST(Limits, InstancesOfInstancesStopAtTheCopyBudget)
{
    QTemporaryDir dir;
    std::unique_ptr<SImportRun> run =
        ImportPathInto(TestDataPath("fuzz-regressions/collada/nested_instances.dae"), dir.path().toStdString());
    EXPECT_EQ(run->result, 0);
    EXPECT_TRUE(
        run->Logged(eLogWarning, "Warning: Instanced nodes were not all copied as their copies grew past 256 MB.\n"));
    size_t bytes = 0, meshes = 0;
    for (const SImportNode& n : run->scene.nodes) {
        bytes += n.positions.size() * sizeof(SVec3) + n.triangles.size() * sizeof(SImportTriangle);
        meshes += !n.triangles.empty();
    }
    EXPECT_LE(bytes, size_t(256) << 20);
    EXPECT_GT(meshes, 1000u); // copies were made up to the budget
}

struct SSceneLimitCase {
    const char* name;
    std::string bytes;
    bool textsOnly;
    const char* error; // part of the loader's message
};

void PrintTo(const SSceneLimitCase& c, std::ostream* os)
{
    *os << c.name;
}

class SceneFileLimits : public ::testing::TestWithParam<SSceneLimitCase> {};

TEST_P(SceneFileLimits, FailWithAMessageAndAllocateNothing)
{
    const SSceneLimitCase& c = GetParam();
    QTemporaryDir dir;
    const std::string path = dir.filePath("claims.qef").toStdString();
    ASSERT_TRUE(WriteFileBytes(path, c.bytes));
    SScene scene;
    CZGXTString options, history, error;
    const int result = c.textsOnly ? LoadSceneFile(scene, path.c_str(), &options, 10239, &history, 10239, &error)
                                   : LoadSceneFile(scene, path.c_str(), &error);
    EXPECT_EQ(result, 1);
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_TRUE(scene.pMeshes.empty());
    EXPECT_TRUE(scene.pUserData.empty());
    Destroy(scene);
    if (c.textsOnly) {
        // The options import gives up: nothing recognised.
        COptionsData o;
        EXPECT_EQ(o.LoadFromFile(path.c_str()), 0);
    }
    // The inspector reports the file as unreadable.
    const SCliResult cli = RunCli({"inspect", QString::fromStdString(path)});
    EXPECT_EQ(cli.exitCode, 1);
    EXPECT_FALSE(cli.err.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Claims, SceneFileLimits,
    ::testing::Values(
        // Scene user data claiming 3 GB in a file of a few dozen bytes.
        SSceneLimitCase{"UserDataOfGigabytes", Version() + Header(1001, 0) + Header(2018, 0xC0000000u) + "abcd", false,
                        "3221225472 bytes needed past offset 35, 4 remain"},
        // Four billion meshes declared.
        SSceneLimitCase{"MeshCountInTheBillions", Version() + Header(1001, 0) + Block(2004, U32(0xFFFFFFFFu)), false,
                        "4294967295 mesh groups cannot fit"},
        // An options text claiming 4 GB, read as the options import does.
        SSceneLimitCase{"OptionsTextOfGigabytes", Version() + Header(1002, 0xFFFFFFF0u) + "bIndexed=0\n", true,
                        "4294967280 bytes needed past offset 27, 11 remain"}),
    [](const ::testing::TestParamInfo<SSceneLimitCase>& test) { return std::string(test.param.name); });

TEST(Limits, HugePreferenceFileIsRefusedAndKept)
{
    QTemporaryDir dir;
    CZGXPreferences::SetBaseFolder(ePrefUser, dir.path().toStdString());
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(CZGXPreferences::StoreFolder())));
    const QString path = QString::fromStdString(CZGXPreferences::StorePath("Huge"));
    {
        // 65 MB, sparse: more than any store should hold.
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(qint64(65) << 20));
    }
    CZGXPreferences prefs("Huge");
    CZGXTString error;
    EXPECT_FALSE(prefs.Load(error));
    EXPECT_EQ(error, "ERROR: The file is too large for a preference file!\n");
    int32_t value = 0;
    EXPECT_FALSE(prefs.ReadInt("Window/Width", value, 7));
    EXPECT_EQ(value, 7);
    // Nothing written: the file stays as it was.
    prefs.Save(true);
    EXPECT_EQ(QFileInfo(path).size(), qint64(65) << 20);
    CZGXPreferences::SetBaseFolder(ePrefUser, "");
}
