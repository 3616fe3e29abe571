// Images that travel with the scene: embedded ones written beside the output
// with their own bytes, external ones copied when asked, a different file of
// the same name never replaced, a missing image one warning; and the warning
// for textures that no texture coordinates can map.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#ifdef MW_TEST_IMAGE_READER
#include <QImage>
#include <QImageReader>
#endif

#include <algorithm>

#include "TestSupport.h"
#include "convert/Convert.h"
#include "gltf/GltfTestUtil.h"
#include "scene/Scene.h"
#include "scene/SceneRead.h"

namespace {

// A 2x2 PNG with four different pixels, red, green / blue, white (written
// once with Python's zlib, so the test needs no image writer).
QByteArray PngBytes()
{
    static const unsigned char kPng[] = {0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49,
                                         0x48, 0x44, 0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02,
                                         0x00, 0x00, 0x00, 0xfd, 0xd4, 0x9a, 0x73, 0x00, 0x00, 0x00, 0x12, 0x49, 0x44,
                                         0x41, 0x54, 0x78, 0xda, 0x63, 0xf8, 0xcf, 0xc0, 0xc0, 0x00, 0xc2, 0x0c, 0xff,
                                         0x81, 0x00, 0x00, 0x1f, 0xee, 0x05, 0xfb, 0xf1, 0xab, 0xba, 0x77, 0x00, 0x00,
                                         0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
    return QByteArray(reinterpret_cast<const char*>(kPng), int(sizeof kPng));
}

// A textured triangle: TEXCOORD_0 and a material "Wood" whose base colour
// texture shows image 0 (the caller adds the images).
SGltfBuilder TexturedTriangle(bool withUv = true)
{
    SGltfBuilder b;
    json primitive = b.Triangles({0, 0, 0, 1, 0, 0, 0, 1, 0});
    primitive["attributes"]["NORMAL"] = b.Floats({0, 0, 1, 0, 0, 1, 0, 0, 1}, "VEC3", 3);
    if (withUv)
        primitive["attributes"]["TEXCOORD_0"] = b.Floats({0, 0, 1, 0, 0, 1}, "VEC2", 2);
    primitive["material"] = 0;
    b.MeshNode(primitive);
    b.doc["materials"] =
        json::array({{{"name", "Wood"}, {"pbrMetallicRoughness", {{"baseColorTexture", {{"index", 0}}}}}}});
    b.doc["textures"] = json::array({{{"source", 0}}});
    return b;
}

// Texture names of the scene file's materials' diffuse slots.
std::vector<std::string> DiffuseTextures(const std::string& path)
{
    SScene scene;
    std::vector<std::string> out;
    if (LoadSceneFile(scene, path.c_str()) != 0)
        return out;
    for (const SSceneMaterial& m : scene.pMaterials)
        if (m.nDiffuseTexture >= 0 && size_t(m.nDiffuseTexture) < scene.pTextures.size())
            out.push_back(scene.pTextures[size_t(m.nDiffuseTexture)].pszName);
    return out;
}

bool Wrote(const SConvertResult& r, const QString& path)
{
    return std::find(r.files.written.begin(), r.files.written.end(), path.toStdString()) != r.files.written.end();
}

class CCollect : public ILogSink {
public:
    void LogMessage(int level, const char* text) override
    {
        if (level == eLogWarning)
            warnings.push_back(QString::fromUtf8(text));
    }
    void LogProgress(int, const char*) override {}
    QStringList warnings;
};

class SceneImages : public ::testing::Test {
protected:
    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    SConvertResult Run(const QString& input, const QString& output, CCollect* sink, bool copyTextures = false,
                       bool mapping = true)
    {
        COptions options;
        options.SetBool(opt::bExportMappingChannels, mapping);
        options.SetOutputPath(output.toStdString());
        SImportSettings settings;
        settings.copyTextures = copyTextures;
        return Convert(input.toStdString(), options, sink, settings);
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(SceneImages, EmbeddedImagesAreWrittenBesideTheOutput)
{
    const QByteArray png = PngBytes();
    const std::string dataUri = "data:image/png;base64," + png.toBase64().toStdString();
    const struct {
        const char* name;
        bool glb;
        bool dataUri;        // else a buffer view
        const char* own;     // the image's own name, or none
        const char* written; // the file beside the output the scene names
    } cases[] = {
        {".glb buffer view, unnamed", true, false, nullptr, "box-image0.png"},
        {".glb buffer view, named without suffix", true, false, "Planks", "Planks.png"},
        {".gltf data: URI, unnamed", false, true, nullptr, "box-image0.png"},
        {".gltf data: URI, named", false, true, "planks.png", "planks.png"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SGltfBuilder b = TexturedTriangle();
        json image;
        if (c.dataUri) {
            image["uri"] = dataUri;
        } else {
            image["bufferView"] = b.View(png.constData(), size_t(png.size()));
            image["mimeType"] = "image/png";
        }
        if (c.own)
            image["name"] = c.own;
        b.doc["images"] = json::array({image});
        const QString folder = QStringLiteral("run%1").arg(&c - cases);
        const QString input = Write(folder + (c.glb ? "/in/box.glb" : "/in/box.gltf"),
                                    QByteArray::fromStdString(c.glb ? b.Glb() : b.Gltf()));
        const QString output = dir.filePath(folder + "/out/box.qef");
        QDir().mkpath(QFileInfo(output).path());
        CCollect log;
        const SConvertResult r = Run(input, output, &log);
        ASSERT_EQ(r.code, 0);
        EXPECT_TRUE(log.warnings.isEmpty()) << log.warnings.join("\n").toStdString();
        const QString written = QFileInfo(output).dir().filePath(c.written);
        EXPECT_EQ(QByteArray::fromStdString(ReadFileBytes(written.toStdString())), png);
        EXPECT_TRUE(Wrote(r, written));
        EXPECT_EQ(DiffuseTextures(output.toStdString()), std::vector<std::string>{c.written});
#ifdef MW_TEST_IMAGE_READER
        QImageReader reader(written);
        const QImage read = reader.read().convertToFormat(QImage::Format_RGB32);
        QImage source;
        ASSERT_TRUE(source.loadFromData(png));
        EXPECT_EQ(read, source.convertToFormat(QImage::Format_RGB32));
        EXPECT_EQ(read.pixel(0, 0), qRgb(255, 0, 0));
        EXPECT_EQ(read.pixel(1, 1), qRgb(255, 255, 255));
#endif
    }
}

TEST_F(SceneImages, ADifferentFileOfThatNameIsNeverReplaced)
{
    SGltfBuilder b = TexturedTriangle();
    const QByteArray png = PngBytes();
    b.doc["images"] = json::array({{{"bufferView", b.View(png.constData(), size_t(png.size()))},
                                    {"mimeType", "image/png"},
                                    {"name", "planks.png"}}});
    const QString input = Write("in/box.glb", QByteArray::fromStdString(b.Glb()));
    const QString output = dir.filePath("out/box.qef");
    const QString taken = Write("out/planks.png", "not this image");

    CCollect log;
    SConvertResult r = Run(input, output, &log);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(ReadFileBytes(taken.toStdString()), "not this image");
    const QString other = dir.filePath("out/planks-1.png");
    EXPECT_EQ(QByteArray::fromStdString(ReadFileBytes(other.toStdString())), png);
    EXPECT_TRUE(Wrote(r, other));
    EXPECT_FALSE(Wrote(r, taken));
    EXPECT_EQ(DiffuseTextures(output.toStdString()), std::vector<std::string>{"planks-1.png"});
    ASSERT_EQ(log.warnings.size(), 1);
    EXPECT_TRUE(log.warnings[0].contains("planks-1.png") && log.warnings[0].contains("Wood"))
        << log.warnings[0].toStdString();

    // Converting again finds its own image under the other name.
    CCollect again;
    r = Run(input, output, &again);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(again.warnings, log.warnings);
    EXPECT_TRUE(Wrote(r, other));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("out/planks-2.png")));
}

TEST_F(SceneImages, ExternalImagesAreCopiedWhenAsked)
{
    // A Collada document naming one image that exists and one that does not.
    auto effect = [](const char* id, const char* image) {
        return std::string("<effect id=\"") + id + "\"><profile_COMMON><technique sid=\"t\"><lambert><diffuse>" +
               "<texture texture=\"" + image + "\" texcoord=\"uv\"/></diffuse></lambert></technique>" +
               "</profile_COMMON></effect>";
    };
    const std::string document =
        "<?xml version=\"1.0\"?><COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" version=\"1.4.1\">"
        "<asset><up_axis>Y_UP</up_axis></asset><library_images>"
        "<image id=\"top\"><init_from>./../tex/top%20side.png</init_from></image>"
        "<image id=\"gone\"><init_from>tex/gone.png</init_from></image></library_images>"
        "<library_effects>" +
        effect("e1", "top") + effect("e2", "gone") +
        "</library_effects><library_materials><material id=\"Top\"><instance_effect url=\"#e1\"/></material>"
        "<material id=\"Gone\"><instance_effect url=\"#e2\"/></material></library_materials>"
        "<library_visual_scenes><visual_scene id=\"vs\"><node id=\"n\"/></visual_scene></library_visual_scenes>"
        "<scene><instance_visual_scene url=\"#vs\"/></scene></COLLADA>";
    const QString input = Write("scenes/box.dae", QByteArray::fromStdString(document));
    const QString image = Write("tex/top side.png", PngBytes());
    const QString output = dir.filePath("out/box.qef");
    // Under the name the scene records: the reference's last part, as written.
    const QString copied = dir.filePath("out/top%20side.png");
    QDir().mkpath(dir.filePath("out"));

    CCollect plain;
    SConvertResult r = Run(input, output, &plain);
    ASSERT_EQ(r.code, 0);
    EXPECT_FALSE(QFileInfo::exists(copied));

    CCollect log;
    r = Run(input, output, &log, true);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(ReadFileBytes(copied.toStdString()), ReadFileBytes(image.toStdString()));
    EXPECT_TRUE(Wrote(r, copied));
    // One warning for the missing image, naming its material and its path.
    ASSERT_EQ(log.warnings.size(), 1) << log.warnings.join("\n").toStdString();
    EXPECT_TRUE(log.warnings[0].contains("'Gone'") &&
                log.warnings[0].contains(QDir::cleanPath(dir.filePath("scenes/tex/gone.png"))))
        << log.warnings[0].toStdString();
}

TEST_F(SceneImages, TexturesWithoutMappingChannelsAreNamedOnce)
{
    const QByteArray png = PngBytes();
    const struct {
        const char* name;
        bool mapping;
        bool textured;
        int warnings;
    } cases[] = {
        {"mapping channels off", false, true, 1},
        {"mapping channels on", true, true, 0},
        {"no texture", false, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SGltfBuilder b = TexturedTriangle();
        b.doc["images"] = json::array({{{"uri", "data:image/png;base64," + png.toBase64().toStdString()}}});
        if (!c.textured)
            b.doc["materials"][0].erase("pbrMetallicRoughness");
        b.doc["materials"].push_back(b.doc["materials"][0]); // a second textured material: still one line
        const QString input = Write("uv/box.gltf", QByteArray::fromStdString(b.Gltf()));
        CCollect log;
        const SConvertResult r = Run(input, dir.filePath("uv/box.qef"), &log, false, c.mapping);
        ASSERT_EQ(r.code, 0);
        const QStringList lines = log.warnings.filter("bExportMappingChannels");
        EXPECT_EQ(lines.size(), c.warnings) << log.warnings.join("\n").toStdString();
        if (c.warnings) {
            EXPECT_TRUE(lines[0].contains("'Wood'") && lines[0].contains("box-image0.png")) << lines[0].toStdString();
        }
    }
}
