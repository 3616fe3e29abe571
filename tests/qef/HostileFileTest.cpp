// Files that are cut short, mutated or built to break the rules: each is
// refused with its result and a message naming what and where, or loads into
// views that every helper reads safely.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "QefTestUtil.h"
#include "SceneTestUtil.h"
#include "qef/SceneFileFormat.h"
#include "scene/SceneCheck.h"
#include "scene/SceneFromQef.h"
#include "scene/SceneWrite.h"

namespace {

std::string FullSceneBytes()
{
    const std::vector<uint8_t> bytes = WriteToMemory(MakeFullScene(), "options text", "history text");
    return std::string(bytes.begin(), bytes.end());
}

// A copy of exactly the given bytes, so that a read past them is a fault.
// The views die with the copy: the scene is released here.
qef_result LoadExact(const std::string& bytes, qef_error* error)
{
    std::vector<uint8_t> copy(bytes.begin(), bytes.end());
    qef_scene* s = nullptr;
    const qef_result r = qef_load(copy.data(), copy.size(), nullptr, &s, error);
    if (r == QEF_OK)
        TouchEverything(*s);
    qef_free(s);
    return r;
}

TEST(QefHostile, EveryTruncationIsRefused)
{
    const std::string file = FullSceneBytes();
    qef_error error;
    ASSERT_EQ(LoadExact(file, &error), QEF_OK) << error.message;
    for (size_t n = 0; n < file.size(); ++n) {
        const qef_result r = LoadExact(file.substr(0, n), &error);
        ASSERT_NE(r, QEF_OK) << "a file cut at byte " << n << " of " << file.size() << " loaded";
        ASSERT_NE(error.message[0], 0) << n;
    }
}

// Every byte changed four ways: each mutant is refused with a message, or
// what the loader accepts is safe to use and builds a scene model that keeps
// the model's own consistency rules and writes again.
TEST(QefHostile, MutantsAreRefusedOrSafeAndKeepTheModelRules)
{
    const std::string file = FullSceneBytes();
    int refused = 0, accepted = 0;
    for (size_t i = 0; i < file.size(); ++i) {
        const uint8_t b = uint8_t(file[i]);
        for (uint8_t v : {uint8_t(b ^ 0xFF), uint8_t(0), uint8_t(0x7F), uint8_t(b + 1)}) {
            if (v == b)
                continue;
            std::string mutant = file;
            mutant[i] = char(v);
            qef_error error;
            const qef_result r = LoadExact(mutant, &error);
            if (r != QEF_OK) {
                ASSERT_NE(error.message[0], 0) << "byte " << i << " = " << int(v);
                ++refused;
                continue;
            }
            // The model from the same bytes, which outlive the views.
            SScene scene;
            CZGXTString why;
            ASSERT_TRUE(LoadSceneFromBytes(mutant.data(), mutant.size(), &scene, nullptr, nullptr, &why)) << why;
            ASSERT_TRUE(CheckScene(scene, eCheckAsRead, &why)) << "byte " << i << " = " << int(v) << ": " << why;
            std::vector<uint8_t> again;
            ASSERT_EQ(WriteSceneFileToMemory(scene, nullptr, nullptr, &again), 0) << "byte " << i << " = " << int(v);
            ++accepted;
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(accepted, 0);
}

// The first block with the tag at or after offset `from`.
size_t Find(const std::string& file, uint32_t tag, size_t from = 0)
{
    for (const SBlockRef& b : FindBlocks(file, tag))
        if (b.offset >= from)
            return b.offset;
    ADD_FAILURE() << "no block " << tag;
    return 0;
}

// The n-th mesh group's offset.
size_t Mesh(const std::string& file, size_t n)
{
    return FindBlocks(file, qef::eMesh).at(n).offset;
}

struct SHostile {
    const char* name;
    std::function<void(std::string&)> mutate;
    qef_result result;
    const char* message; // part of the message
};

void PrintTo(const SHostile& h, std::ostream* os)
{
    *os << h.name;
}

const SHostile kHostile[] = {
    {"ByteOrder", [](std::string& f) { SetU32(f, 0, qef::kSwappedVersionTag); }, QEF_WRONG_BYTE_ORDER,
     "file: the file was written in the opposite byte order"},
    {"VersionText", [](std::string& f) { f[8 + 7] = '3'; }, QEF_WRONG_VERSION, "the version text is not"},
    {"NotASceneFile", [](std::string& f) { f = "bExportSkin=1\nbIndexed=0\n"; }, QEF_WRONG_VERSION,
     "file: not a QEF scene file: it does not begin with the version block \"AB.QEF.2.0\""},
    {"NoVersion", [](std::string& f) { f.erase(0, 8 + 11 + 8); }, QEF_WRONG_VERSION, "no version block"},
    {"FixedPoint", [](std::string& f) { SetU32(f, Find(f, qef::eFlags) + 8, 1); }, QEF_FIXED_POINT, "fixed point"},
    {"MissingMesh", [](std::string& f) { SetU32(f, Find(f, qef::eMeshCount) + 8, 4); }, QEF_MALFORMED,
     "scene: the scene declares 4 mesh groups but holds 3"},
    {"HugeNodeCount", [](std::string& f) { SetU32(f, Find(f, qef::eNodeCount) + 8, 0x10000000); }, QEF_TRUNCATED,
     "scene: 268435456 node groups cannot fit"},
    {"IndexOutOfRange",
     [](std::string& f) {
         const size_t data = Find(f, qef::eChanData, Find(f, qef::eMeshIndexData, Mesh(f, 0)));
         SetU32(f, data + 8, 0xFFFFFFFF);
     },
     QEF_MALFORMED, "mesh 0 channel index: index 0 is 65535, not below the vertex count 4"},
    {"NormalPastTheEnd",
     [](std::string& f) {
         const size_t data = Find(f, qef::eChanData, Find(f, qef::eMeshNormal, Mesh(f, 0)));
         SetU32(f, data + 4, 0x7FFFFFF0);
     },
     QEF_TRUNCATED, "mesh 0 channel normal: 2147483632 bytes needed past offset"},
    {"MoreVerticesThanData", [](std::string& f) { SetU32(f, Find(f, qef::eMeshVertexCount, Mesh(f, 0)) + 8, 5); },
     QEF_MALFORMED, "mesh 0 channel position: 60 bytes needed (stride 12 x 5 vertices), the data holds 48"},
    {"InterleavedOverlap",
     [](std::string& f) {
         const size_t data = Find(f, qef::eChanData, Find(f, qef::eMeshNormal, Mesh(f, 2)));
         SetU32(f, data + 8, 4);
     },
     QEF_MALFORMED, "mesh 2: two channels overlap inside the interleaved vertex"},
    {"StripSum",
     [](std::string& f) {
         const size_t strips = Find(f, qef::eMeshStripTriangles, Mesh(f, 1));
         SetU32(f, strips + 8, 3);
     },
     QEF_MALFORMED, "mesh 1: strips hold 4 triangles; the mesh has 3"},
    {"TexCoordBeyondDeclared", [](std::string& f) { SetU32(f, Find(f, qef::eMeshTexCoordSets, Mesh(f, 2)) + 8, 0); },
     QEF_MALFORMED, "mesh 2: a texture coordinate set beyond the 0 declared"},
    {"KeysForOtherFrameCount", [](std::string& f) { SetU32(f, Find(f, qef::eFrameCount) + 8, 4); }, QEF_MALFORMED,
     "frames"},
    {"SecondScene",
     [](std::string& f) {
         // The scene group consumes its own end header, so the file level
         // meets the copy as a second scene.
         f += f.substr(Find(f, qef::eScene));
     },
     QEF_MALFORMED, "second scene group"},
};

class QefHostileFile : public ::testing::TestWithParam<SHostile> {};

TEST_P(QefHostileFile, IsRefusedWithItsMessage)
{
    std::string file = FullSceneBytes();
    GetParam().mutate(file);
    qef_error error;
    ASSERT_EQ(LoadExact(file, &error), GetParam().result) << error.message;
    EXPECT_EQ(error.result, GetParam().result);
    EXPECT_NE(std::string(error.message).find(GetParam().message), std::string::npos) << error.message;
}

INSTANTIATE_TEST_SUITE_P(Files, QefHostileFile, ::testing::ValuesIn(kHostile),
                         [](const ::testing::TestParamInfo<SHostile>& test) { return std::string(test.param.name); });

} // namespace
