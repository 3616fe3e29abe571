// Inputs that once crashed, hung, leaked or tripped a sanitizer in a reader
// (or in the whole conversion after it), each the smallest that showed it,
// with the result the reader now gives.
// They run in the ordinary suite and, with the sanitizer build, under ASan
// and UBSan.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <string>

#include "ReaderRuns.h"
#include "common/TestSupport.h"

namespace {

struct SRegression {
    const char* name;
    EReader reader;
    const char* file; // under tests/data/fuzz-regressions/
    int expected;     // the reader's result code (see ReaderRuns.h)
};

void PrintTo(const SRegression& r, std::ostream* os)
{
    *os << r.file;
}

class FuzzRegression : public ::testing::TestWithParam<SRegression> {};

TEST_P(FuzzRegression, GivesItsResultWithoutFault)
{
    const SRegression& r = GetParam();
    const std::string path = TestDataPath(std::string("fuzz-regressions/") + r.file);
    ASSERT_FALSE(ReadFileBytes(path).empty() && r.reader != eReaderOptionsText) << "missing input " << path;
    EXPECT_EQ(RunReader(r.reader, path), r.expected);
}

const SRegression kRegressions[] = {
    // Twenty thousand nested dicts: saving printed each line indented by its
    // depth, 200 MB for a 500 KB file (a hang, and a disk filler, as the file
    // grows). Refused at load, the file kept.
    {"PrefsDeepNesting", eReaderPrefs, "prefs/deep_nesting.plist", 0},
    // 3 KB: 22 levels of nodes instancing two copies of the level below, a
    // 30-triangle mesh at the bottom. Every copy carried the mesh: about
    // 10 GB before the record limit, so the import died of memory.
    {"ColladaNestedInstances", eReaderCollada, "collada/nested_instances.dae", 0},
    // 56 KB: a polylist whose first vcount says 2000 instead of 3, so that
    // one polygon takes the corners of hundreds of others and becomes a fan
    // of 1998 triangles round one vertex, most of them twice (both windings).
    // The geometry sort was cubic round that vertex: 24 s for the import,
    // processing and writing. Converted, from the import to the written
    // bytes, with the default options and with strips and tangent space.
    {"ColladaHugeVcount", eReaderColladaWhole, "collada/huge_vcount.dae", 0},
    // 10 KB: an animation whose keys span over a million seconds. Every
    // conversion sampled it at 30 frames a second up to the limit of 4M
    // frame blocks (1.4 s, 37 s under the sanitizers), even with animation
    // export off, where only frame 0 is used. Default options: frame 0 only.
    {"ColladaLongKeySpan", eReaderColladaWhole, "collada/long_key_span.dae", 0},
    // 12 KB: a skinned .glb whose mutated key times span a long time, the
    // same with animation export on, as the fuzz target converts it (frames
    // cut at 65,536 blocks there); its skin names no joints, so the import
    // fails, after sampling.
    {"GltfLongKeySpan", eReaderGltfWhole, "gltf/long_key_span.glb", 1},
};

INSTANTIATE_TEST_SUITE_P(Inputs, FuzzRegression, ::testing::ValuesIn(kRegressions),
                         [](const ::testing::TestParamInfo<SRegression>& test) {
                             return std::string(test.param.name);
                         });

} // namespace
