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

// Mutants of a corpus document, made at test time (the corpus is not part
// of the project): the first entry of its longest <vcount> replaced.
struct SVcountMutant {
    const char* name;
    const char* file;  // under the corpus
    const char* count; // the new first entry
    int expected;      // ConvertColladaWhole's result
};

void PrintTo(const SVcountMutant& m, std::ostream* os)
{
    *os << m.file << " vcount " << m.count;
}

// The document with the first entry of its longest <vcount> list replaced;
// empty when it has none.
std::string WithFirstVcount(const std::string& text, const std::string& count)
{
    const std::string open = "<vcount>", close = "</vcount>";
    size_t best = std::string::npos, bestLength = 0;
    for (size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1)) {
        const size_t end = text.find(close, at);
        if (end != std::string::npos && end - at > bestLength) {
            best = at + open.size();
            bestLength = end - at;
        }
    }
    if (best == std::string::npos)
        return {};
    const size_t first = text.find_first_not_of(" \t\r\n", best);
    const size_t last = text.find_first_of(" \t\r\n<", first);
    return text.substr(0, first) + count + text.substr(last);
}

class FuzzRegressionMutant : public ::testing::TestWithParam<SVcountMutant> {};

TEST_P(FuzzRegressionMutant, GivesItsResultWithoutFault)
{
    MW_REQUIRE_CORPUS();
    const SVcountMutant& m = GetParam();
    const std::string original = ReadFileBytes((CorpusDir() + "/" + m.file).toStdString());
    ASSERT_FALSE(original.empty()) << "missing corpus file " << m.file;
    const std::string mutant = WithFirstVcount(original, m.count);
    ASSERT_FALSE(mutant.empty());
    QTemporaryDir dir;
    const std::string path = dir.filePath("mutant.dae").toStdString();
    ASSERT_TRUE(WriteFileBytes(path, mutant));
    EXPECT_EQ(RunReader(eReaderColladaWhole, path), m.expected);
}

const SVcountMutant kVcountMutants[] = {
    // 725 KB, converted in 0.35 s: one polygon then swallows the rest of the
    // index list, a fan of thousands of triangles round one corner whose
    // other corners come from all over the mesh. The geometry sort took
    // 22.6 s (65536) and 55 s (2147483647) before its work was bounded;
    // converted, like the fixtures above, with the default options and with
    // strips and tangent space.
    {"ColladaVcount65536", "assorted/COLLADA.dae", "65536", 0},
    {"ColladaVcountIntMax", "assorted/COLLADA.dae", "2147483647", 0},
};

INSTANTIATE_TEST_SUITE_P(CorpusMutants, FuzzRegressionMutant, ::testing::ValuesIn(kVcountMutants),
                         [](const ::testing::TestParamInfo<SVcountMutant>& test) {
                             return std::string(test.param.name);
                         });

} // namespace
