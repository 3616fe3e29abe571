#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "SceneTestUtil.h"
#include "common/TestSupport.h"
#include "scene/SceneWrite.h"

namespace {

std::string WriteInspectable(const CTempDir& dir)
{
    SScene s = MakeFullScene();
    s.pNodes[9].pszName = "evil\x1b[2J"; // a terminal escape in a name
    const std::string path = dir.Path("inspect.qef");
    EXPECT_EQ(WriteSceneFile(s, path.c_str(), "bIndexed=0\nbExportSkin=1\n", "Meshwright 2.12 | 3.0@2149614"), 0);
    return path;
}

} // namespace

TEST(Inspect, PrintsWhatTheFileHolds)
{
    CTempDir dir;
    const std::string path = WriteInspectable(dir);
    const SCliResult r = RunCli({QStringLiteral("inspect"), QString::fromStdString(path)});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const std::string out = r.out.toStdString();
    for (const char* line : {
             "Version: AB.QEF.2.0\n",
             "History: Meshwright 2.12 | 3.0@2149614\n",
             "  frames: 3 at 25 per second\n",
             "  counts: 3 meshes, 10 nodes (3 mesh nodes), 2 cameras, 3 lights, 2 materials, 2 textures\n",
             "Mesh 0: 4 vertices, 2 triangles, triangle list, 6 indices (unsigned short), separate channels\n",
             "    normal: short, normalised x3, stride 6\n",
             "    texture coordinate set 1: unsigned byte, normalised x2, stride 2\n",
             "    bone batches: 2, capacity 2\n",
             "      batch 1: start triangle 1, bones used 1, list [9 0]\n",
             "Mesh 1: 5 vertices, 3 triangles, 2 strips, 7 indices (unsigned int), separate channels\n",
             "Mesh 2: 3 vertices, 1 triangles, triangle list, 3 indices (unsigned short), interleaved, 40 bytes "
             "per vertex\n",
             "    colour: RGBA x1, offset 36\n",
             "Node 1 \"Mesh1\": mesh 1, parent none, material 1, animation flags 0x3\n",
             "    position: animated, 2 keys, indexed; rotation: animated, 3 keys; scale: static\n",
             "    matrix: animated, 2 keys, indexed\n",
             "Node 2 \"Mesh2\": mesh 2, parent none, material 0, animation flags 0x8, user data 3 bytes\n",
             "Node 3 \"PointLight\": light 0, parent 8",
             "Node 6 \"Camera\": camera 0",
             "Node 9 \"evil\\x1b[2J\": transform, parent 8",
             "Material 0 \"Glass\": opacity 0.5, shininess 0.2\n",
             "    diffuse texture: 0 \"diffuse.png\"\n",
             "    slot 3 texture: 1 \"specular.tga\"\n",
             "    effect: file \"effects.qdl\", label \"GlassFX\"\n",
             "    blending on: source colour SRC_ALPHA (770), source alpha SRC_ALPHA (770), destination colour "
             "ONE_MINUS_SRC_ALPHA (771)",
             "Texture 1: \"specular.tga\"\n",
             "Camera 0: target 9, field of view 0.8 rad, near 0.5, far 500, 3 field of view keys\n",
             "Light 1: directional, target 8, colour 0.75 0.75 0.75\n",
             "Light 2: spot, target none, colour 1 0.5 0.25, attenuation 1 0.1 0.01, falloff angle 0.7 rad, exponent "
             "2\n",
             "Options:\n  bIndexed=0\n  bExportSkin=1\n",
         })
        EXPECT_NE(out.find(line), std::string::npos) << "missing: " << line << "\n" << out;
    EXPECT_EQ(out.find('\x1b'), std::string::npos);
}

TEST(Inspect, JsonCarriesTheSame)
{
    CTempDir dir;
    const std::string path = WriteInspectable(dir);
    const SCliResult r = RunCli({QStringLiteral("inspect"), QString::fromStdString(path), QStringLiteral("--json")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QJsonParseError error;
    const QJsonObject root = QJsonDocument::fromJson(r.out.toUtf8(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    EXPECT_EQ(root["version"].toString(), QStringLiteral("AB.QEF.2.0"));
    EXPECT_EQ(root["options"].toString(), QStringLiteral("bIndexed=0\nbExportSkin=1\n"));
    EXPECT_EQ(root["scene"].toObject()["counts"].toObject()["nodes"].toInt(), 10);
    const QJsonObject mesh = root["meshes"].toArray()[2].toObject();
    EXPECT_TRUE(mesh["interleaved"].toBool());
    EXPECT_EQ(mesh["vertexSize"].toInt(), 40);
    const QJsonArray channels = mesh["channels"].toArray();
    ASSERT_EQ(channels.size(), 4);
    EXPECT_EQ(channels[1].toObject()["name"].toString(), QStringLiteral("normal"));
    EXPECT_EQ(channels[1].toObject()["offset"].toInt(), 16);
    const QJsonObject node = root["nodes"].toArray()[1].toObject();
    EXPECT_EQ(node["name"].toString(), QStringLiteral("Mesh1"));
    EXPECT_EQ(node["tracks"].toObject()["position"].toObject()["keys"].toInt(), 2);
    EXPECT_TRUE(node["tracks"].toObject()["position"].toObject()["indexed"].toBool());
    EXPECT_EQ(root["lights"].toArray()[2].toObject()["typeName"].toString(), QStringLiteral("spot"));
    EXPECT_EQ(root["materials"].toArray()[0].toObject()["blend"].toObject()["dstColour"].toInt(), 771);
    EXPECT_EQ(root["textures"].toArray()[1].toString(), QStringLiteral("specular.tga"));
}

TEST(Inspect, BrokenFilesAndWrongArguments)
{
    CTempDir dir;
    std::string bytes = ReadFileBytes(WriteInspectable(dir));
    const auto names = FindBlocks(bytes, 4000);
    ASSERT_FALSE(names.empty());
    bytes[names[0].offset + 8 + 11] = 'x'; // "diffuse.png" loses its NUL
    const std::string bad = dir.Path("bad.qef");
    ASSERT_TRUE(WriteFileBytes(bad, bytes));
    SCliResult r = RunCli({QStringLiteral("inspect"), QString::fromStdString(bad)});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("the string block does not end with a NUL"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("block 4000 at byte %1").arg(names[0].offset))) << r.err.toStdString();
    // inspect reads through the loader, which names the record first.
    EXPECT_TRUE(r.err.contains(QStringLiteral("texture 0: "))) << r.err.toStdString();

    r = RunCli({QStringLiteral("inspect"), QString::fromStdString(dir.Path("missing.qef"))});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("no file at"))) << r.err.toStdString();
    EXPECT_EQ(RunCli({QStringLiteral("inspect")}).exitCode, 64);
    EXPECT_EQ(RunCli({QStringLiteral("inspect"), QStringLiteral("a.qef"), QStringLiteral("--yaml")}).exitCode, 64);
}
