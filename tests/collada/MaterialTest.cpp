// Materials, opacity, textures and GLSL effect files.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <string>

#include "ColladaTestUtil.h"
#include "collada/EffectFile.h"

TEST(ColladaMaterials, OpacityRules)
{
    struct SCase {
        const char* material;
        float opacity;
        float inverted; // with bInvertTransparency
    };
    const float rgbZero = 1 - 0.5f * (0.21267099678516388f * 1 * 0.5f * 0.5f +
                                      0.7151600122451782f * 0.5f * 0.5f * 0.5f + 0.0721689984202385f * 0 * 0.5f * 0.5f);
    const SCase cases[] = {
        {"Quarter", 0.25f, 0.75f}, // no transparent: transparency itself
        {"Black", 1.0f, 0.0f},     // A_ONE: alpha x transparency
        {"RgbZero", rgbZero, rgbZero}, {"Alpha", 0.5f * 0.8f, 0.5f * (1 - 0.8f)},
        {"Other", 0.5f, 0.5f}, // a transparent texture counts as white
        {"stone", 1.0f, 0.0f}, // no transparency: 1
    };
    auto plain = ImportFixture("materials.dae");
    auto inverted = ImportFixture("materials.dae", [](COptions& o) { o.SetBool(opt::bInvertTransparency, true); });
    ASSERT_EQ(plain->result, 0);
    ASSERT_EQ(inverted->result, 0);
    for (const SCase& c : cases) {
        ASSERT_NE(plain->Material(c.material), nullptr) << c.material;
        EXPECT_FLOAT_EQ(plain->Material(c.material)->opacity, c.opacity) << c.material;
        EXPECT_FLOAT_EQ(inverted->Material(c.material)->opacity, c.inverted) << c.material;
    }
}

TEST(ColladaMaterials, ColoursTexturesAndShininess)
{
    auto run = ImportFixture("materials.dae");
    ASSERT_EQ(run->result, 0);
    // The material without name and id is skipped.
    ASSERT_EQ(run->scene.materials.size(), 7u);
    EXPECT_EQ(run->scene.materials[4].name, "stone"); // the id when there is no name

    const SMaterial* stone = run->Material("stone");
    ASSERT_NE(stone, nullptr);
    // Reached through sampler -> surface -> image; the path is dropped.
    EXPECT_EQ(stone->textures[SMaterial::eTexDiffuse], "stone.png");
    EXPECT_EQ(stone->diffuse, (SVec3{1, 1, 1}));
    EXPECT_EQ(stone->ambient, (SVec3{0.1f, 0.2f, 0.3f}));
    EXPECT_EQ(stone->textures[SMaterial::eTexEmissive], "moss.tga"); // an image named directly
    EXPECT_EQ(stone->specular, (SVec3{0.5f, 0.6f, 0.7f}));
    EXPECT_FLOAT_EQ(stone->shininess, 0.2f);
    EXPECT_EQ(stone->textures[SMaterial::eTexReflection], ""); // unresolved
    EXPECT_TRUE(stone->effectFile.empty());

    // Same parameter sids in another effect: its own parameters count.
    const SMaterial* other = run->Material("Other");
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->textures[SMaterial::eTexDiffuse], "other.png");
    EXPECT_EQ(other->textures[SMaterial::eTexSpecular], "moss.tga");
    EXPECT_EQ(other->specular, (SVec3{1, 1, 1}));
    EXPECT_FLOAT_EQ(other->shininess, 0.5f);

    // An effect that does not resolve leaves the initial values.
    const SMaterial* lost = run->Material("Lost");
    ASSERT_NE(lost, nullptr);
    EXPECT_EQ(lost->opacity, 0.0f);
    EXPECT_EQ(lost->diffuse, (SVec3{0, 0, 0}));
    EXPECT_EQ(lost->blendOpRGB, 0x8006u);
}

TEST(ColladaMaterials, GlslEffectFileBesideTheOutput)
{
    QTemporaryDir out;
    auto run = ImportPathInto(TestDataPath("collada/glsl.dae"), out.path().toStdString());
    ASSERT_EQ(run->result, 0);
    const SMaterial* lit = run->Material("Lit/Brick");
    ASSERT_NE(lit, nullptr);
    // A '/' in the material name cannot lead out of the folder.
    EXPECT_EQ(lit->effectFile, "Lit_Brick.qdl");
    EXPECT_EQ(lit->effectName, "Lit");
    const std::string written = ReadFileBytes(out.path().toStdString() + "/Lit_Brick.qdl");
    EXPECT_EQ(written, ReadFileBytes(TestDataPath("collada/glsl_expected.qdl")));
    EXPECT_TRUE(run->Logged(eLogError, "CEl_Profile_GLSL::WriteShader - Shader type unknown.\n"));
    // Neither a pass sid nor an instance_effect name: nothing is written.
    const SMaterial* nameless = run->Material("Nameless");
    ASSERT_NE(nameless, nullptr);
    EXPECT_TRUE(nameless->effectFile.empty());
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files), QStringList{QStringLiteral("Lit_Brick.qdl")});
}

TEST(ColladaMaterials, EffectFileDefaultsToTheInputFolderAndReportsFailures)
{
    QTemporaryDir dir;
    const QString input = dir.path() + QStringLiteral("/scene.dae");
    ASSERT_TRUE(QFile::copy(QString::fromStdString(TestDataPath("collada/glsl.dae")), input));
    auto run = ImportPath(input.toStdString());
    ASSERT_EQ(run->result, 0);
    EXPECT_TRUE(QFileInfo::exists(dir.path() + QStringLiteral("/Lit_Brick.qdl")));

    auto failed = ImportPathInto(input.toStdString(), dir.path().toStdString() + "/no/such/folder");
    ASSERT_EQ(failed->result, 0); // the export goes on
    EXPECT_TRUE(failed->Logged(eLogError, "Failed to Open \"Lit_Brick.qdl\" for writing.\n"));
    EXPECT_TRUE(failed->Material("Lit/Brick")->effectFile.empty());
}

TEST(ColladaMaterials, EffectFileNames)
{
    EXPECT_EQ(EffectFileName("Wall"), "Wall.qdl");
    EXPECT_EQ(EffectFileName("../../etc/x"), ".._.._etc_x.qdl");
    EXPECT_EQ(EffectFileName("a\\b:c*d?e\"f<g>h|i\tj"), "a_b_c_d_e_f_g_h_i_j.qdl");
}
