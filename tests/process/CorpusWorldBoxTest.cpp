// pycollada as an independent peer: every corpus document with geometry and
// no controller is converted in the three export modes, and the world-space
// bounding box of the result (the exported hierarchy evaluated as the scene
// model evaluates it) must match the box pycollada computes for the same
// document, turned into the Y-up frame.
#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <sstream>

#include "WorldGeometry.h"

namespace {

// Boxes may differ by this fraction of their diagonal.
constexpr double kBoxTolerance = 0.001;
// The share of documents that must agree in every mode.
constexpr double kRequiredAgreement = 0.97;

std::string BoxText(const SBox& b)
{
    if (b.Empty())
        return "(empty)";
    std::ostringstream s;
    s << "(" << b.lo[0] << " " << b.lo[1] << " " << b.lo[2] << ")-(" << b.hi[0] << " " << b.hi[1] << " " << b.hi[2]
      << ")";
    return s.str();
}

} // namespace

TEST(CorpusWorldBox, AgreesWithPycollada)
{
    MW_REQUIRE_CORPUS();
    // The agreement is a share of the whole corpus, so no sample here.
    const QStringList files = CorpusFiles(QStringLiteral(".dae"), 0, 1, false);
    ASSERT_FALSE(files.isEmpty());
    const SPeerBoxes peer = PeerBoxes(files);
    if (!peer.available)
        GTEST_SKIP() << "No independent reader: " << peer.why << ".";
    ASSERT_FALSE(peer.boxes.empty());

    CLogCapture quiet; // the importer's messages are its own tests' business
    for (EExportMode mode : {eModeDefault, eModeMatrices, eModeWorld}) {
        int equal = 0, animated = 0;
        std::string differing;
        for (const auto& [path, peerBox] : peer.boxes) {
            auto converted = ConvertInMemory(path, [&](COptions& o) {
                SetExportMode(o, mode);
                o.SetBool(opt::bExportAnimations, false); // the peer places the static pose
            });
            SBox ours, theirs = peerBox;
            const char* other = "pycollada";
            if (converted->importResult == 0 && converted->processed) {
                ours = BoxOf(WorldVertices(*converted->Scene(), 0));
                // World space is taken at an animation frame, which the peer
                // does not know: there the box must be the one the default
                // export shows at that frame.
                const bool hasFrames = std::any_of(converted->imported.nodes.begin(), converted->imported.nodes.end(),
                                                   [](const SImportNode& n) { return !n.frames.empty(); });
                if (mode == eModeWorld && hasFrames) {
                    auto framed = ConvertInMemory(path, [](COptions& o) {
                        SetExportMode(o, eModeDefault);
                        o.SetBool(opt::bExportAnimations, true);
                    });
                    theirs = framed->processed ? BoxOf(WorldVertices(*framed->Scene(), 0)) : SBox();
                    other = "default export at frame 0";
                    ++animated;
                }
            }
            if (SameBox(ours, theirs, kBoxTolerance))
                ++equal;
            else
                differing +=
                    "  " + path + "\n    ours " + BoxText(ours) + "\n    " + other + " " + BoxText(theirs) + "\n";
        }
        const double share = double(equal) / double(peer.boxes.size());
        std::cout << "[ corpus boxes ] " << ModeName(mode) << ": " << equal << " of " << peer.boxes.size()
                  << " documents agree with pycollada (" << 100.0 * share << "%); " << peer.skipped
                  << " documents without a peer box";
        if (animated)
            std::cout << "; " << animated << " animated documents compared with the default export at frame 0";
        std::cout << std::endl;
        ::testing::Test::RecordProperty(std::string("agreement_") + (mode == eModeDefault    ? "default"
                                                                     : mode == eModeMatrices ? "matrices"
                                                                                             : "world"),
                                        std::to_string(100.0 * share));
        EXPECT_GE(share, kRequiredAgreement) << ModeName(mode) << ": documents whose box differs:\n" << differing;
        if (share >= kRequiredAgreement && !differing.empty())
            std::cout << "Documents whose box differs (" << ModeName(mode) << "):\n" << differing;
    }
}

TEST(CorpusWorldBox, SkinnedDocumentsAtFrameZeroMatchTheWorldSpaceExport)
{
    // At frame 0 the skinning matrices applied to the bind-pose mesh (the
    // model-space export, evaluated) place every vertex where the world-space
    // export puts it.
    MW_REQUIRE_CORPUS();
    const QStringList files = CorpusFiles(QStringLiteral(".dae"));
    CLogCapture quiet;
    int skinned = 0, equal = 0;
    std::string differing;
    for (const QString& file : files) {
        const std::string path = file.toStdString();
        auto model = ConvertInMemory(path, [](COptions& o) {
            SetExportMode(o, eModeDefault);
            o.SetBool(opt::bExportSkin, true);
            o.SetBool(opt::bExportAnimations, true);
        });
        if (model->importResult != 0 || !model->processed)
            continue;
        const bool hasSkin = std::any_of(model->imported.nodes.begin(), model->imported.nodes.end(),
                                         [](const SImportNode& n) { return !n.skins.empty(); });
        if (!hasSkin)
            continue;
        ++skinned;
        auto world = ConvertInMemory(path, [](COptions& o) {
            SetExportMode(o, eModeWorld);
            o.SetBool(opt::bExportSkin, true);
        });
        const SBox a = BoxOf(WorldVertices(*model->Scene(), 0));
        const SBox b = world->processed ? BoxOf(WorldVertices(*world->Scene(), 0)) : SBox();
        if (SameBox(a, b, kBoxTolerance))
            ++equal;
        else
            differing += "  " + path + "\n    model space " + BoxText(a) + "\n    world space " + BoxText(b) + "\n";
    }
    std::cout << "[ corpus boxes ] skinned: " << equal << " of " << skinned
              << " skinned documents agree between model and world space" << std::endl;
    EXPECT_GT(skinned, 0);
    EXPECT_EQ(equal, skinned) << differing;
}
