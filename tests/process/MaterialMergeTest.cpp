// Materials and textures of stage 1, and the merge from a scene file.
#include <gtest/gtest.h>

#include <QFile>

#include "ProcessTestScenes.h"
#include "TestSupport.h"
#include "options/Options.h"
#include "process/SceneBuild.h"
#include "process/SceneExporter.h"
#include "scene/Scene.h"
#include "scene/SceneWrite.h"

TEST(Materials, TexturesAreSharedAndTranslucencyBlends)
{
    std::vector<SMaterial> in(3);
    in[0].name = "Opaque";
    in[0].opacity = 1.0f;
    in[0].textures[SMaterial::eTexDiffuse] = "a.png";
    in[0].textures[SMaterial::eTexSpecular] = "b.png";
    in[0].diffuse = {0.1f, 0.2f, 0.3f};
    in[0].shininess = 0.25f;
    in[0].effectFile = "fx.qdl";
    in[0].effectName = "Shiny";
    in[0].userData = {7};
    in[1].name = "Glass";
    in[1].opacity = 0.5f;
    in[1].textures[SMaterial::eTexReflection] = "a.png";
    in[1].flags = 4;
    in[2].opacity = 0.999f;

    CLogCapture log;
    SWorkScene work;
    BuildMaterials(in, work);
    EXPECT_EQ(work.textures, std::vector<std::string>({"a.png", "b.png"}));
    ASSERT_EQ(work.materials.size(), 3u);
    const SSceneMaterial& o = work.materials[0];
    EXPECT_EQ(o.pszName, "Opaque");
    EXPECT_EQ(o.nDiffuseTexture, 0);
    EXPECT_EQ(o.nSpecularTexture, 1);
    EXPECT_EQ(o.nAmbientTexture, -1);
    EXPECT_EQ(o.fDiffuse[2], 0.3f);
    EXPECT_EQ(o.fShininess, 0.25f);
    EXPECT_EQ(o.pszEffectFileName, "fx.qdl");
    EXPECT_EQ(o.pszEffectLabel, "Shiny");
    EXPECT_EQ(o.pUserData, std::vector<uint8_t>({7}));
    EXPECT_EQ(o.uiMaterialFlags, 0u);
    EXPECT_EQ(o.eSrcColourFactor, kGLOne);
    EXPECT_EQ(o.eDstAlphaFactor, kGLZero);
    EXPECT_EQ(o.eColourBlendOp, kGLFuncAdd);

    const SSceneMaterial& g = work.materials[1];
    EXPECT_EQ(g.nReflectionTexture, 0);
    EXPECT_EQ(g.uiMaterialFlags, 5u);
    EXPECT_EQ(g.eSrcColourFactor, 0x0302u);
    EXPECT_EQ(g.eSrcAlphaFactor, 0x0302u);
    EXPECT_EQ(g.eDstColourFactor, 0x0303u);
    EXPECT_EQ(g.eDstAlphaFactor, 0x0303u);
    EXPECT_EQ(work.materials[2].uiMaterialFlags, 1u);
    EXPECT_TRUE(work.materials[2].pszName.empty());
}

namespace {

SSceneMaterial Material(const std::string& name)
{
    SSceneMaterial m;
    m.pszName = name;
    return m;
}

} // namespace

TEST(Materials, MergeTextureReferences)
{
    struct SCase {
        const char* what;
        const char* current; // texture of the current material, "" for none
        const char* source;
        std::vector<std::string> textures; // the current scene's list afterwards
        int32_t slot;                      // the current material's reference afterwards
    };
    const SCase cases[] = {
        {"missing texture is added", "", "wood.png", {"wood.png"}, 0},
        {"extension differs: renamed", "wood.tga", "wood.png", {"wood.png"}, 0},
        {"source without extension", "wood.tga", "wood", {"wood"}, 0},
        {"longer name with the same start is another texture", "woodland.tga", "wood.png", {"woodland.tga"}, 0},
        {"other name kept", "stone.png", "wood.png", {"stone.png"}, 0},
        {"same name", "wood.png", "wood.png", {"wood.png"}, 0},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.what);
        SScene current, source;
        current.pMaterials.push_back(Material("M"));
        if (*c.current) {
            current.pTextures.push_back({c.current});
            current.pMaterials[0].nEmissiveTexture = 0;
        }
        source.pTextures.push_back({c.source});
        source.pMaterials.push_back(Material("M"));
        source.pMaterials[0].nEmissiveTexture = 0;
        ASSERT_TRUE(MergeMaterials(current, source));
        std::vector<std::string> names;
        for (const SSceneTexture& t : current.pTextures)
            names.push_back(t.pszName);
        EXPECT_EQ(names, c.textures);
        EXPECT_EQ(current.pMaterials[0].nEmissiveTexture, c.slot);
    }
}

TEST(Materials, MergeMatchesByNameAndCopiesBlending)
{
    SScene current, source;
    for (const char* name : {"A", "A", "B", "C"})
        current.pMaterials.push_back(Material(name));
    current.pMaterials[0].fDiffuse[0] = 0.5f;
    current.pMaterials[0].pszEffectLabel = "Mine";
    source.pTextures = {{"x.png"}};
    SSceneMaterial a1 = Material("A");
    a1.uiMaterialFlags = 1;
    a1.eSrcColourFactor = 0x0302;
    a1.eAlphaBlendOp = 0x800A;
    a1.fConstantBlendColour[3] = 0.25f;
    a1.fBlendFactorRGBA[0] = 0.75f;
    a1.fDiffuse[0] = 0.9f;
    a1.fOpacity = 0.1f;
    a1.pszEffectFileName = "fx.qdl";
    a1.nDiffuseTexture = 5; // beyond the source's textures: ignored
    SSceneMaterial a2 = Material("A");
    a2.nAmbientTexture = 0;
    a2.pszEffectLabel = "Theirs";
    source.pMaterials = {a1, a2, Material("Z")};

    ASSERT_TRUE(MergeMaterials(current, source));
    const SSceneMaterial& m0 = current.pMaterials[0];
    EXPECT_EQ(m0.uiMaterialFlags, 1u);
    EXPECT_EQ(m0.eSrcColourFactor, 0x0302u);
    EXPECT_EQ(m0.eAlphaBlendOp, 0x800Au);
    EXPECT_EQ(m0.fConstantBlendColour[3], 0.25f);
    EXPECT_EQ(m0.fBlendFactorRGBA[0], 0.75f);
    EXPECT_EQ(m0.pszEffectFileName, "fx.qdl");
    EXPECT_EQ(m0.pszEffectLabel, "Mine"); // the source has none: kept
    EXPECT_EQ(m0.fDiffuse[0], 0.5f);      // colours and opacity stay
    EXPECT_EQ(m0.fOpacity, 1.0f);
    EXPECT_EQ(m0.nDiffuseTexture, -1);
    const SSceneMaterial& m1 = current.pMaterials[1];
    EXPECT_EQ(m1.nAmbientTexture, 0);
    EXPECT_EQ(m1.pszEffectLabel, "Theirs");
    EXPECT_EQ(current.pMaterials[2], Material("B"));
    EXPECT_EQ(current.pMaterials[3], Material("C"));
    ASSERT_EQ(current.pTextures.size(), 1u);
}

namespace {

SImportScene MaterialScene()
{
    SImportScene in;
    in.materials.resize(1);
    in.materials[0].name = "Wood";
    in.materials[0].opacity = 1.0f;
    in.materials[0].textures[0] = "wood.tga";
    AddQuad(AddNode(in, "Quad", eImportMesh), 0.0f, 0);
    return in;
}

// A scene file holding the material "Wood" as an artist edited it.
void WriteEditedScene(const std::string& path)
{
    SScene previous;
    previous.pTextures = {{"wood.png"}, {"wood_normal.png"}};
    SSceneMaterial m = Material("Wood");
    m.nDiffuseTexture = 0;
    m.nTextureSlot3 = 1;
    m.uiMaterialFlags = 1;
    m.pszEffectFileName = "wood.qdl";
    m.pszEffectLabel = "Bumpy";
    previous.pMaterials.push_back(m);
    ASSERT_EQ(WriteSceneFile(previous, path.c_str(), "", ""), 0);
}

void ExpectMerged(const SScene& s)
{
    ASSERT_EQ(s.pMaterials.size(), 1u);
    const SSceneMaterial& m = s.pMaterials[0];
    EXPECT_EQ(m.pszEffectFileName, "wood.qdl");
    EXPECT_EQ(m.pszEffectLabel, "Bumpy");
    EXPECT_EQ(m.uiMaterialFlags, 1u);
    ASSERT_EQ(s.pTextures.size(), 2u);
    EXPECT_EQ(s.pTextures[0].pszName, "wood.png");
    EXPECT_EQ(s.pTextures[1].pszName, "wood_normal.png");
    EXPECT_EQ(m.nTextureSlot3, 1);
}

} // namespace

TEST(Materials, MergeFromThePreviousOutput)
{
    const std::string path = TempPath("previous.qef");
    WriteEditedScene(path);
    COptions options;
    options.SetBool(opt::bMerge, true);
    CLogCapture log;
    CSceneExporter exporter;
    exporter.SetOutputPath(path);
    ASSERT_TRUE(exporter.Process(MaterialScene(), options));
    ExpectMerged(*exporter.Scene());
    EXPECT_EQ(log.Count(2) + log.Count(3), 0);

    // Writing over the source keeps the merged material for the next run.
    ASSERT_TRUE(exporter.Write(path.c_str(), options, "test"));
    CSceneExporter again;
    again.SetOutputPath(path);
    ASSERT_TRUE(again.Process(MaterialScene(), options));
    ExpectMerged(*again.Scene());
}

TEST(Materials, MergeFromANamedSource)
{
    const std::string path = TempPath("named-source.qef");
    WriteEditedScene(path);
    COptions options;
    options.SetBool(opt::bMerge, true);
    options.SetString(opt::sMergeSrc, path);
    CSceneExporter exporter;
    exporter.SetOutputPath(TempPath("elsewhere.qef"));
    ASSERT_TRUE(exporter.Process(MaterialScene(), options));
    ExpectMerged(*exporter.Scene());
}

TEST(Materials, MissingOrBrokenMergeSourceChangesNothing)
{
    const std::string broken = TempPath("broken.qef");
    ASSERT_TRUE(WriteFileBytes(broken, "not a scene file"));
    for (const std::string& path : {TempPath("does-not-exist.qef"), broken}) {
        SCOPED_TRACE(path);
        COptions options;
        options.SetBool(opt::bMerge, true);
        CLogCapture log;
        CSceneExporter exporter;
        exporter.SetOutputPath(path);
        ASSERT_TRUE(exporter.Process(MaterialScene(), options));
        const SScene& s = *exporter.Scene();
        ASSERT_EQ(s.pTextures.size(), 1u);
        EXPECT_EQ(s.pTextures[0].pszName, "wood.tga");
        EXPECT_TRUE(s.pMaterials[0].pszEffectFileName.empty());
        EXPECT_EQ(log.Count(2) + log.Count(3), 0);
    }
}
