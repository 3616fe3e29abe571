#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "SceneTestUtil.h"
#include "common/TestSupport.h"
#include "options/Options.h"
#include "scene/ResourceFile.h"
#include "scene/SceneRead.h"
#include "scene/SceneWrite.h"

namespace {

std::string FullSceneFile()
{
    std::vector<uint8_t> out;
    EXPECT_EQ(WriteSceneFileToMemory(MakeFullScene(), "bIndexed=0\n", "Meshwright 2.12 | 3.0@2149614", &out), 0);
    return std::string(out.begin(), out.end());
}

// Reads bytes through a file; returns LoadSceneFile's result.
int LoadBytes(const CTempDir& dir, const std::string& bytes, SScene* scene, CZGXTString* error)
{
    const std::string path = dir.Path("input.qef");
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return LoadSceneFile(*scene, path.c_str(), error);
}

// The start header of the n-th block with this tag.
size_t At(const std::string& file, uint32_t tag, size_t n = 0)
{
    const auto blocks = FindBlocks(file, tag);
    EXPECT_GT(blocks.size(), n) << "no block " << tag;
    return blocks.size() > n ? blocks[n].offset : 0;
}

} // namespace

TEST(SceneFileRead, RoundTripKeepsEveryField)
{
    CTempDir dir;
    const SScene written = MakeFullScene();
    const std::string path = dir.Path("full.qef");
    ASSERT_EQ(WriteSceneFile(written, path.c_str(), "bIndexed=0\n", "history"), 0);

    SScene read;
    CZGXTString error;
    ASSERT_EQ(LoadSceneFile(read, path.c_str(), &error), 0) << error;
    EXPECT_EQ(read, written);
    // The interleaved mesh reads back with offsets into its block.
    const SSceneMesh& m = read.pMeshes[2];
    EXPECT_TRUE(m.IsInterleaved());
    EXPECT_TRUE(m.sNormal.pData.empty());
    EXPECT_EQ(m.sNormal.uiOffset, 16u);
    EXPECT_EQ(m.sColour.uiOffset, 36u);
    // The reader gives the scene its animation cache.
    EXPECT_EQ(read.sAnimCache.pmWorldFrame0.size(), read.pNodes.size());

    // Written again, the file is the same byte for byte.
    std::vector<uint8_t> again;
    ASSERT_EQ(WriteSceneFileToMemory(read, "bIndexed=0\n", "history", &again), 0);
    EXPECT_EQ(std::string(again.begin(), again.end()), ReadFileBytes(path));
}

TEST(SceneFileRead, TextModeReadsOnlyTheTexts)
{
    CTempDir dir;
    const std::string options(19999, 'x'); // a 20000-byte block with its NUL
    const std::string path = dir.Path("texts.qef");
    ASSERT_EQ(WriteSceneFile(MakeFullScene(), path.c_str(), options.c_str(), "the history"), 0);

    SScene scene;
    CZGXTString text, history;
    ASSERT_EQ(LoadSceneFile(scene, path.c_str(), &text, 10239, nullptr, 0), 0);
    EXPECT_EQ(text, options.substr(0, 10239));
    EXPECT_TRUE(scene.pNodes.empty()); // no scene in text mode
    ASSERT_EQ(LoadSceneFile(scene, path.c_str(), nullptr, 0, &history, 1000), 0);
    EXPECT_EQ(history, "the history");

    // A missing text is a success that leaves the string untouched.
    ASSERT_EQ(WriteSceneFile(MakeFullScene(), path.c_str(), nullptr, nullptr), 0);
    text = "untouched";
    EXPECT_EQ(LoadSceneFile(scene, path.c_str(), &text, 10239, nullptr, 0), 0);
    EXPECT_EQ(text, "untouched");
}

TEST(SceneFileRead, OptionsLoadFromASceneFile)
{
    CTempDir dir;
    COptions written;
    written.SetBool(opt::bExportSkin, true);
    written.SetUInt(opt::uiBoneLimit, 17);
    written.SetString(opt::sMergeSrc, "other.qef");
    const std::string path = dir.Path("options.qef");
    ASSERT_EQ(WriteSceneFile(SScene(), path.c_str(), written.ToText().c_str(), "history"), 0);
    COptions read;
    EXPECT_GT(read.LoadFromFile(path.c_str()), 70);
    EXPECT_EQ(static_cast<const COptionsData&>(read), static_cast<const COptionsData&>(written));

    // A file that is not a scene file gives nothing.
    ASSERT_TRUE(WriteFileBytes(path, "bExportSkin=1\n"));
    EXPECT_EQ(COptions().LoadFromFile(path.c_str()), 0);
}

TEST(SceneFileRead, ByteOrderVersionAndFixedPointRejections)
{
    CTempDir dir;
    const std::string good = FullSceneFile();
    struct SCase {
        const char* what;
        std::function<void(std::string&)> change;
        const char* debugMessage; // nullptr: no message
    } cases[] = {
        {"opposite byte order", [](std::string& f) { SetU32(f, 0, 0xE8030000u); },
         "Error: Endianness mismatch between the .qef file and the platform.\n"},
        {"version length 10", [](std::string& f) { SetU32(f, 4, 10); }, nullptr},
        {"other version text", [](std::string& f) { f[9] = 'C'; }, nullptr},
        {"fixed point", [](std::string& f) { SetU32(f, At(f, 2016) + 8, 1); },
         "Error: The QEF file is in fixed point format but the tools haven't been compiled with fixed point "
         "enabled.\n"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = good;
        c.change(bytes);
        const std::string path = dir.Path("bad.qef");
        ASSERT_TRUE(WriteFileBytes(path, bytes));
        SScene scene;
        testing::internal::CaptureStderr();
        EXPECT_EQ(LoadSceneFile(scene, path.c_str()), 1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.debugMessage ? c.debugMessage : "");
    }
}

TEST(SceneFileRead, CountsMustMatchTheGroups)
{
    CTempDir dir;
    SScene two;
    two.pMeshes.resize(2);
    std::vector<uint8_t> out;
    ASSERT_EQ(WriteSceneFileToMemory(two, nullptr, nullptr, &out), 0);
    std::string bytes(out.begin(), out.end());
    SetU32(bytes, At(bytes, 2004) + 8, 3);
    SScene scene;
    CZGXTString error;
    EXPECT_EQ(LoadBytes(dir, bytes, &scene, &error), 1);
    EXPECT_NE(error.find("declares 3 mesh groups but holds 2"), std::string::npos) << error;
}

TEST(SceneFileRead, EveryTruncationFails)
{
    const std::string good = FullSceneFile();
    for (size_t n = 0; n < good.size(); ++n) {
        SScene scene;
        CZGXTString error;
        ASSERT_EQ(ReadSceneBytes(good.substr(0, n), &scene, &error), 1) << "prefix of " << n << " bytes";
    }
}

TEST(SceneFileRead, HostileFilesFailWithTheBrokenRule)
{
    struct SCase {
        const char* what;
        std::function<void(std::string&)> change;
        const char* message; // part of the error text
    };
    const SCase cases[] = {
        {"string without NUL", [](std::string& f) { f[At(f, 4000) + 8 + 11] = 'x'; }, "does not end with a NUL"},
        {"empty string block", [](std::string& f) { SetU32(f, At(f, 3000) + 4, 0); }, "string block is empty"},
        {"stride beyond the data", [](std::string& f) { SetU32(f, At(f, 9002, 1) + 8, 16); },
         "channel position: 64 bytes needed (stride 16 x 4 vertices), the data holds 48"},
        {"offset beyond the vertex", [](std::string& f) { SetU32(f, At(f, 9003, 11) + 8, 30); },
         "do not fit the interleaved vertex of 40 bytes"},
        {"overlapping offsets", [](std::string& f) { SetU32(f, At(f, 9003, 11) + 8, 8); }, "overlap"},
        {"index count beyond the data", [](std::string& f) { SetU32(f, At(f, 6001) + 8, 3); }, "index data holds"},
        {"index beyond the vertices", [](std::string& f) { f[At(f, 9003) + 8] = 100; }, "not below the vertex count"},
        {"key array longer than its flags allow", [](std::string& f) { SetU32(f, At(f, 5012, 1) + 8, 1); },
         "rotation keys hold 12 floats"},
        {"field of view keys and frames", [](std::string& f) { SetU32(f, At(f, 2009) + 8, 4); },
         "field of view keys hold 3 values for 4 frames"},
        {"length beyond the file", [](std::string& f) { SetU32(f, At(f, 6014) + 4, 0x7FFFFFF0u); },
         "2147483632 bytes needed past offset"},
        {"count of a gigabyte of meshes", [](std::string& f) { SetU32(f, At(f, 2004) + 8, 0x40000000u); },
         "cannot fit"},
        {"huge texture coordinate count", [](std::string& f) { SetU32(f, At(f, 6002) + 8, 0x10000000u); },
         "cannot fit"},
        {"more texture coordinate groups than declared", [](std::string& f) { SetU32(f, At(f, 6002) + 8, 1); },
         "beyond the 1 declared"},
        {"more texture groups than declared", [](std::string& f) { SetU32(f, At(f, 2007) + 8, 1); },
         "a texture group beyond the 1 declared"},
        {"unknown channel type", [](std::string& f) { SetU32(f, At(f, 9000, 2) + 8, 99); }, "unknown type 99"},
        {"wrong length of a number", [](std::string& f) { SetU32(f, At(f, 2009) + 4, 8); },
         "has 8 bytes; it must have 4"},
        {"strip count and strip lengths", [](std::string& f) { SetU32(f, At(f, 6005, 1) + 8, 3); },
         "strip count 3 does not match"},
        {"vertex block not whole vertices", [](std::string& f) { SetU32(f, At(f, 6000, 2) + 8, 7); },
         "not a whole number"},
        {"mesh nodes beyond nodes", [](std::string& f) { SetU32(f, At(f, 2006) + 8, 99); },
         "mesh node count 99 exceeds"},
        {"vertex count beyond the channel data", [](std::string& f) { SetU32(f, At(f, 6000) + 8, 5); },
         "channel position: 60 bytes needed (stride 12 x 5 vertices), the data holds 48"},
    };
    CTempDir dir;
    const std::string good = FullSceneFile();
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = good;
        c.change(bytes);
        SScene scene;
        CZGXTString error;
        EXPECT_EQ(LoadBytes(dir, bytes, &scene, &error), 1);
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        // The message says where: a block tag and a byte offset.
        EXPECT_NE(error.find("at byte "), std::string::npos) << error;
    }
}

TEST(SceneFileRead, DamagedBytesNeverBreakTheReader)
{
    // Every byte of a file changed in turn: the reader either fails or gives a
    // scene the writer accepts again.
    const std::string good = FullSceneFile();
    int accepted = 0;
    for (size_t i = 0; i < good.size(); ++i) {
        for (uint8_t value : {uint8_t(0xFF), uint8_t(0x00), uint8_t(good[i] + 1)}) {
            std::string bytes = good;
            bytes[i] = char(value);
            SScene scene;
            CZGXTString error;
            if (ReadSceneBytes(bytes, &scene, &error) == 0) {
                ++accepted;
                std::vector<uint8_t> out;
                ASSERT_EQ(WriteSceneFileToMemory(scene, nullptr, nullptr, &out), 0) << "byte " << i;
            }
        }
    }
    EXPECT_GT(accepted, 0); // float payloads and the like change without harm
}

TEST(SceneFileRead, LegacyNodeValuesBecomeOneKeyArrays)
{
    auto file = [](bool withPositionArray) {
        CQefBytes b;
        b.Version().Begin(1001).LeafU32(2005, 1).LeafU32(2009, 2).LeafU32(2017, 30);
        b.Begin(2013).LeafString(5001, "Old").LeafF32s(5004, {1, 2, 3});
        if (withPositionArray)
            b.LeafF32s(5007, {1, 2, 3, 4, 5, 6});
        b.End(2013).End(1001);
        return b.str();
    };
    CTempDir dir;
    SScene scene;
    CZGXTString error;
    ASSERT_EQ(LoadBytes(dir, file(false), &scene, &error), 0) << error;
    const SSceneNode& n = scene.pNodes[0];
    EXPECT_EQ(n.pfPositionKeys, (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(n.pfRotationKeys, (std::vector<float>{0, 0, 0, 1}));
    EXPECT_EQ(n.pfScaleKeys, (std::vector<float>{1, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(n.uiAnimMask, 0u);

    ASSERT_EQ(LoadBytes(dir, file(true), &scene, &error), 0) << error;
    EXPECT_EQ(scene.pNodes[0].uiAnimMask, uint32_t(eAnimPosition));
    EXPECT_EQ(scene.pNodes[0].pfPositionKeys.size(), 6u);
}

TEST(SceneFileRead, UnknownBlocksAreSkippedAtEveryLevel)
{
    CQefBytes unknownLeaf, unknownGroup;
    unknownLeaf.LeafBytes(7777, "junk");
    unknownGroup.Begin(7778).LeafU32(7779, 5).Begin(7780).LeafBytes(7781, "x").End(7780).End(7778);
    const std::string extra = unknownLeaf.str() + unknownGroup.str();

    const std::string good = FullSceneFile();
    std::string bytes = good;
    // Insert from the back so that earlier offsets stay valid.
    const size_t points[] = {
        At(good, 1001),    // file level
        At(good, 2010),    // scene level
        At(good, 8001),    // camera
        At(good, 3002),    // material
        At(good, 6006),    // mesh
        At(good, 9002, 3), // channel
        At(good, 5012, 1), // node
        At(good, 4000),    // texture
        good.size(),       // after the scene
    };
    std::vector<size_t> sorted(std::begin(points), std::end(points));
    std::sort(sorted.rbegin(), sorted.rend());
    for (size_t p : sorted)
        bytes.insert(p, extra);

    CTempDir dir;
    SScene scene;
    CZGXTString error;
    ASSERT_EQ(LoadBytes(dir, bytes, &scene, &error), 0) << error;
    EXPECT_EQ(scene, MakeFullScene());
}

TEST(SceneFileRead, ParentCyclesLoadAndEvaluate)
{
    std::string bytes = FullSceneFile();
    // Node 8 ("Root") gets node 9 as parent, whose parent is node 8.
    SetU32(bytes, At(bytes, 5003, 8) + 8, 9);
    CTempDir dir;
    SScene scene;
    ASSERT_EQ(LoadBytes(dir, bytes, &scene, nullptr), 0);
    EXPECT_EQ(scene.pNodes[8].nParentIdx, 9);
    (void)ComputeWorldMatrix(scene, 0);
}

TEST(SceneFileRead, FilesComeFromDiskOrTheMemoryRegistry)
{
    const std::string good = FullSceneFile();
    CTempDir dir;
    SScene scene;
    EXPECT_EQ(LoadSceneFile(scene, dir.Dir().c_str()), 1); // a folder is not a file
    EXPECT_EQ(LoadSceneFile(scene, nullptr), 1);

    const char* name = "registry-test/scene.qef";
    EXPECT_EQ(LoadSceneFile(scene, name), 1);
    CZGXTResourceFile::RegisterMemoryFile(name, good.data(), good.size(), true);
    CZGXTString error;
    ASSERT_EQ(LoadSceneFile(scene, name, &error), 0) << error;
    EXPECT_EQ(scene, MakeFullScene());
    EXPECT_TRUE(CZGXTResourceFile::UnregisterMemoryFile(name));
    EXPECT_EQ(LoadSceneFile(scene, name), 1);

    // Names from disk are looked up under the read-path prefix.
    ASSERT_TRUE(WriteFileBytes(dir.Path("prefixed.qef"), good));
    EXPECT_EQ(LoadSceneFile(scene, "prefixed.qef"), 1);
    CZGXTResourceFile::SetReadPathPrefix(dir.Dir() + "/");
    EXPECT_EQ(LoadSceneFile(scene, "prefixed.qef"), 0);
    CZGXTResourceFile::SetReadPathPrefix("");

    // Entries that are not owned point at the caller's bytes.
    CZGXTResourceFile::RegisterMemoryFile(name, good.data(), good.size(), false);
    CZGXTResourceFile file;
    ASSERT_TRUE(file.Open(name));
    EXPECT_TRUE(file.FromRegistry());
    EXPECT_EQ(static_cast<const void*>(file.Data()), static_cast<const void*>(good.data()));
    EXPECT_TRUE(CZGXTResourceFile::UnregisterMemoryFile(name));
}

TEST(SceneFileRead, MeshWithoutIndicesTakesItsVerticesInOrder)
{
    // A mesh exported as a plain triangle list or plain strips carries no
    // index data; its corners are its vertices.
    CTempDir dir;
    SScene scene;
    SSceneMesh mesh;
    mesh.uiVertexCount = 6;
    mesh.uiTriangleCount = 2;
    mesh.sIndexData.eType = eZGXTUInt;
    mesh.sPosition.eType = eZGXTFloat;
    mesh.sPosition.uiComponentCount = 3;
    mesh.sPosition.uiStride = 12;
    mesh.sPosition.pData.assign(6 * 12, 0);
    scene.pMeshes.push_back(mesh);
    const std::string path = dir.Path("plain.qef");
    ASSERT_EQ(WriteSceneFile(scene, path.c_str(), "", "history"), 0);
    SScene read;
    CZGXTString error;
    ASSERT_EQ(LoadSceneFile(read, path.c_str(), &error), 0) << error;
    EXPECT_TRUE(read.pMeshes[0].sIndexData.pData.empty());

    // Too few vertices for the corners is refused.
    scene.pMeshes[0].uiVertexCount = 5;
    scene.pMeshes[0].sPosition.pData.resize(5 * 12);
    EXPECT_NE(WriteSceneFile(scene, dir.Path("short.qef").c_str(), "", "history"), 0);
}
