// Animation: channel targets, key lookup, sampling, frames of node records.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "process/SceneExporter.h"
#include "ColladaTestUtil.h"
#include "collada/Animation.h"
#include "collada/ElAnimation.h"

namespace {

using SQuat = std::array<double, 4>; // x, y, z, w

SQuat AxisAngle(double x, double y, double z, double degrees)
{
    const double h = degrees * M_PI / 360.0;
    return {x * std::sin(h), y * std::sin(h), z * std::sin(h), std::cos(h)};
}

void ExpectSameRotation(const SVec4& actual, const SQuat& expected, const std::string& what)
{
    double dot = 0;
    for (int i = 0; i < 4; ++i)
        dot += actual[size_t(i)] * expected[size_t(i)];
    EXPECT_NEAR(std::fabs(dot), 1.0, 1e-4) << what;
}

void ExpectMatrixNear(const SMatrix44& actual, const SMatrix44& expected, const std::string& what, float eps = 1e-4f)
{
    for (size_t i = 0; i < 16; ++i)
        EXPECT_NEAR(actual[i], expected[i], eps) << what << " element " << i;
}

// One animation with one channel: keys, values (stride per key), linear.
std::string ChannelXml(const std::string& n, const std::string& target, const std::string& times,
                       const std::string& values, int stride = 1)
{
    std::string params;
    for (int i = 0; i < stride; ++i)
        params += "<param name=\"V" + std::to_string(i) + "\" type=\"float\"/>";
    std::string out = "<animation id=\"" + n + "\">";
    out +=
        "<source id=\"" + n + "-in\"><float_array id=\"" + n + "-in-a\">" + times +
        "</float_array><technique_common><accessor source=\"#" + n +
        "-in-a\" count=\"1\" stride=\"1\"><param name=\"TIME\" type=\"float\"/></accessor></technique_common></source>";
    out += "<source id=\"" + n + "-out\"><float_array id=\"" + n + "-out-a\">" + values +
           "</float_array><technique_common><accessor source=\"#" + n + "-out-a\" count=\"1\" stride=\"" +
           std::to_string(stride) + "\">" + params + "</accessor></technique_common></source>";
    out += "<source id=\"" + n + "-ip\"><Name_array id=\"" + n +
           "-ip-a\">LINEAR LINEAR</Name_array>"
           "<technique_common><accessor source=\"#" +
           n +
           "-ip-a\" count=\"1\" stride=\"1\"><param name=\"INTERPOLATION\" "
           "type=\"name\"/></accessor></technique_common></source>";
    out += "<sampler id=\"" + n + "-s\"><input semantic=\"INPUT\" source=\"#" + n +
           "-in\"/><input semantic=\"OUTPUT\" source=\"#" + n + "-out\"/><input semantic=\"INTERPOLATION\" source=\"#" +
           n + "-ip\"/></sampler>";
    out += "<channel source=\"#" + n + "-s\" target=\"" + target + "\"/></animation>";
    return out;
}

std::string Document(const std::string& upAxis, const std::string& animations, const std::string& nodes)
{
    return "<?xml version=\"1.0\"?><COLLADA version=\"1.4.1\"><asset><up_axis>" + upAxis +
           "</up_axis></asset>"
           "<library_cameras><camera id=\"cam\"><optics><technique_common><perspective><yfov>45</yfov><znear>1</znear>"
           "<zfar>9</zfar></perspective></technique_common></optics></camera></library_cameras>"
           "<library_lights><light id=\"lamp\"><technique_common><point><color>1 1 1</color></point>"
           "</technique_common></light></library_lights>"
           "<library_animations>" +
           animations + "</library_animations><library_visual_scenes><visual_scene id=\"vs\">" + nodes +
           "</visual_scene></library_visual_scenes><scene><instance_visual_scene url=\"#vs\"/></scene></COLLADA>";
}

// Writes a document into a temporary folder and imports it, with animation
// export on unless `animations` is false.
std::unique_ptr<SImportRun> ImportText(const std::string& text, bool animations = true)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("doc.dae").toStdString();
    EXPECT_TRUE(WriteFileBytes(path, text));
    return ImportPath(path, [&](COptions& o) { o.SetBool(opt::bExportAnimations, animations); });
}

// A channel made straight from keys and values, for the lookup and sampling
// functions.
struct SChannelData {
    std::vector<float> output;
    std::vector<std::string> names;
    std::vector<float> inTangent, outTangent;
    SAnimChannel channel;

    SChannelData(std::vector<float> keys, std::vector<float> values, std::vector<std::string> interpolation = {})
        : output(std::move(values)), names(std::move(interpolation))
    {
        channel.bValid = keys.size() >= 2;
        channel.keys = keys;
        double running = -INFINITY;
        for (float k : keys) {
            channel.rounded.push_back(std::isnan(k) ? -INFINITY : AnimRound4(k));
            running = std::max(running, channel.rounded.back());
            channel.ceiling.push_back(running);
        }
        channel.pOutput = &output;
        channel.pInterpolation = names.empty() ? nullptr : &names;
    }
};

} // namespace

TEST(ColladaAnimation, TargetProperties)
{
    const struct {
        const char* text;
        EAnimProperty property;
        int element;
    } cases[] = {
        {"rotateZ.ANGLE", eAnimPropRotateZ, -1},
        {"rotateX.ANGLE", eAnimPropRotateX, -1},
        {"RotY", eAnimPropRotateY, -1},
        {"rotate.ANGLE", eAnimPropNone, -1},
        {"translate.X", eAnimPropTranslateX, -1},
        {"location.z", eAnimPropTranslateZ, -1},
        {"pos", eAnimPropTranslate, -1},
        {"translate", eAnimPropTranslate, -1},
        {"scale.Y", eAnimPropScaleY, -1},
        {"Scale", eAnimPropScale, -1},
        {"transform", eAnimPropMatrix, -1},
        {"MATRIX", eAnimPropMatrix, -1},
        {"transform(0)(3)", eAnimPropMatrixElement, 3},
        {"matrix(2)(1)", eAnimPropMatrixElement, 9},
        {"transform(13)", eAnimPropMatrixElement, 13},
        {"transform(16)", eAnimPropNone, -1},
        {"transform(4)(0)", eAnimPropNone, -1},
        {"transform(1)(2)(3)", eAnimPropNone, -1},
        {"visibility", eAnimPropNone, -1},
        {"", eAnimPropNone, -1},
    };
    for (const auto& c : cases) {
        int element = 99;
        EXPECT_EQ(ParseAnimProperty(c.text, &element), c.property) << c.text;
        EXPECT_EQ(element, c.element) << c.text;
    }
}

TEST(ColladaAnimation, KeyIntervals)
{
    const struct {
        std::vector<float> keys;
        double T;
        int64_t prev, next; // -1, -1: does not apply
    } cases[] = {
        {{0, 0.5f, 1}, 0, 0, 1},         {{0, 0.5f, 1}, 0.25, 0, 1}, {{0, 0.5f, 1}, 0.5, 1, 2}, // a key at T moves on
        {{0, 0.5f, 1}, 0.49995, 1, 2},                                                          // within 0.0001
        {{0, 0.5f, 1}, 1.0, 1, 2},                                                              // the last key stays
        {{0, 0.5f, 1}, 1.1, 2, 2},       // past the last key: it holds
        {{0.5f, 1}, 0.2, 0, 0},          // before the first key: it holds
        {{0, 0.5f, 0.5f, 1}, 0.5, 1, 2}, // equal keys: the first of them moves one on
        {{0, 1, 0.5f}, 0.6, 0, 1},       // unsorted: the first key at or after T
        {{0, 1, 0.5f}, 1.0, 1, 2},
    };
    for (const auto& c : cases) {
        SChannelData data(c.keys, std::vector<float>(c.keys.size(), 0));
        const SKeyInterval k = FindKeyInterval(data.channel, c.T);
        EXPECT_EQ(k.prev, c.prev) << "T " << c.T;
        EXPECT_EQ(k.next, c.next) << "T " << c.T;
    }
    // A channel with one key never applies.
    SChannelData single({0.5f}, {1});
    EXPECT_FALSE(FindKeyInterval(single.channel, 0.5).Applies());
}

TEST(ColladaAnimation, Interpolations)
{
    CLogCapture log;
    CImportWarnings warnings;
    auto at = [&warnings](SChannelData& d, double T) {
        return SampleChannel(d.channel, FindKeyInterval(d.channel, T), T, 0, warnings);
    };
    SChannelData linear({0, 1}, {2, 4}, {"LINEAR", "LINEAR"});
    EXPECT_FLOAT_EQ(at(linear, 0.25), 2.5f);
    SChannelData step({0, 1}, {2, 4}, {"STEP", "STEP"});
    EXPECT_FLOAT_EQ(at(step, 0.75), 2.0f);
    SChannelData unnamed({0, 1}, {2, 4});
    EXPECT_FLOAT_EQ(at(unnamed, 0.5), 3.0f);

    // Bezier with tangents on the thirds of the straight line is that line;
    // with flat tangents it eases in and out.
    SChannelData bezier({0, 1}, {0, 3}, {"BEZIER", "BEZIER"});
    bezier.outTangent = {1.0f / 3, 1, 1.0f / 3, 1};
    bezier.inTangent = {2.0f / 3, 2, 2.0f / 3, 2};
    bezier.channel.pOutTangent = &bezier.outTangent;
    bezier.channel.iOutTangentStride = 2;
    bezier.channel.pInTangent = &bezier.inTangent;
    bezier.channel.iInTangentStride = 2;
    EXPECT_NEAR(at(bezier, 0.25), 0.75f, 1e-4);
    bezier.outTangent = {1.0f / 3, 0, 1.0f / 3, 0};
    bezier.inTangent = {2.0f / 3, 3, 2.0f / 3, 3};
    EXPECT_NEAR(at(bezier, 0.5), 1.5f, 1e-4);
    EXPECT_LT(at(bezier, 0.1), 0.3f * 0.5f);

    // Hermite and the B-spline run through their geometry without failing.
    SChannelData hermite({0, 1}, {0, 3}, {"HERMITE", "HERMITE"});
    EXPECT_NEAR(at(hermite, 0.5), 1.5f, 1e-4);
    SChannelData bspline({0, 1}, {0, 3}, {"BSPLINE", "BSPLINE"});
    EXPECT_TRUE(std::isfinite(at(bspline, 0.5)));
    EXPECT_EQ(log.Count(eLogWarning), 0);

    // Mixed names warn once, the previous key's name deciding; unknown names
    // give 0 and warn once.
    SChannelData mixed({0, 1}, {2, 4}, {"LINEAR", "STEP"});
    EXPECT_FLOAT_EQ(at(mixed, 0.5), 3.0f);
    EXPECT_FLOAT_EQ(at(mixed, 0.25), 2.5f);
    SChannelData unknown({0, 1}, {2, 4}, {"TCB", "TCB"});
    EXPECT_FLOAT_EQ(at(unknown, 0.5), 0.0f);
    EXPECT_FLOAT_EQ(at(unknown, 0.6), 0.0f);
    EXPECT_EQ(log.Count(eLogWarning), 2);
    EXPECT_TRUE(
        log.Contains(eLogWarning, "WARNING: Collada2QEF does not support mixed interpolation types for animations."));
    EXPECT_TRUE(log.Contains(eLogWarning, "WARNING: An unsupported interpolation type for animations has been found. "
                                          "Collada2QEF only\nsupports: Step and Linear."));
}

TEST(ColladaAnimation, FramesOfNodes)
{
    auto run = ImportFixture("animation.dae", [](COptions& o) { o.SetBool(opt::bExportAnimations, true); });
    ASSERT_EQ(run->result, 0);
    EXPECT_TRUE(ExportOptions(run->options, run->scene).GetBool(opt::bExportAnimations));
    // Keys from 0 to 1 second: frames 0 .. 30 at 30 per second.
    EXPECT_EQ(run->scene.firstFrame, 0u);
    EXPECT_EQ(run->scene.lastFrame, 30u);
    EXPECT_EQ(run->scene.frameRate, 30u);
    for (const SImportNode& n : run->scene.nodes)
        EXPECT_EQ(n.frames.size(), n.name == "Still" ? 0u : 31u) << n.name;

    // Box/rotateZ.ANGLE turns about Z, Box/translate.X moves along x; frame
    // 15 is sampled at 0.4999 s.
    const SImportNode* box = run->Node("Box");
    ASSERT_NE(box, nullptr);
    // The scene's quaternion matrix acts on row vectors: a counter-clockwise
    // turn by a is stored as the quaternion of -a.
    ExpectSameRotation(box->frames[15].rotation, AxisAngle(0, 0, 1, -0.4999 * 90), "Box frame 15");
    EXPECT_NEAR(box->frames[15].translation[0], 0.4999f * 3, 1e-4);
    EXPECT_NEAR(box->frames[30].translation[0], 0.9999f * 3, 1e-4);
    EXPECT_EQ(box->frames[0].matrix, box->transform.matrix);
    // What no channel drives keeps its static value to the bit.
    EXPECT_EQ(box->frames[15].scale, box->transform.scale);
    EXPECT_EQ(box->frames[15].stretchAxis, box->transform.stretchAxis);

    // Box/transform replaces the whole matrix; the document's last column is
    // the translation.
    const SImportNode* mat = run->Node("Mat");
    ASSERT_NE(mat, nullptr);
    EXPECT_NEAR(mat->frames[30].translation[0], 0.9999f, 1e-4);
    EXPECT_NEAR(mat->frames[30].translation[1], 2 * 0.9999f, 1e-4);
    EXPECT_NEAR(mat->frames[30].translation[2], 3 * 0.9999f, 1e-4);
    EXPECT_NEAR(mat->frames[30].matrix[13], 2 * 0.9999f, 1e-4);

    // Visibility animates nothing: every frame is the static block.
    const SImportNode* vis = run->Node("Vis");
    ASSERT_NE(vis, nullptr);
    for (const SImportTransform& f : vis->frames)
        EXPECT_EQ(f.matrix, vis->transform.matrix);

    // A channel starting at 0.5 s holds its first key before then; one ending
    // at 0.5 s holds its last key after.
    const SImportNode* late = run->Node("Late");
    ASSERT_NE(late, nullptr);
    EXPECT_FLOAT_EQ(late->frames[14].translation[1], 5.0f);
    EXPECT_EQ(late->frames[20].rotation, late->transform.rotation);
    EXPECT_FLOAT_EQ(late->frames[15].translation[1], 5.0f);
    EXPECT_NEAR(late->frames[30].translation[1], 5.9998f, 1e-4);
    const SImportNode* early = run->Node("Early");
    ASSERT_NE(early, nullptr);
    EXPECT_NEAR(early->frames[15].translation[2], 7.9998f, 1e-4);
    EXPECT_FLOAT_EQ(early->frames[16].translation[2], 8.0f);
    EXPECT_FLOAT_EQ(early->frames[30].translation[2], 8.0f);

    // Step keys hold until the next key; the target's node id matches
    // without regard to case.
    const SImportNode* step = run->Node("Step");
    ASSERT_NE(step, nullptr);
    EXPECT_FLOAT_EQ(step->frames[10].translation[0], 0.0f);
    EXPECT_FLOAT_EQ(step->frames[20].translation[0], 1.0f);
    EXPECT_FLOAT_EQ(step->frames[30].translation[0], 1.0f);
}

TEST(ColladaAnimation, ChannelsAtStaticValuesKeepTheStaticPose)
{
    // Rotations compose as the node's own rotations do (X first, then Y,
    // then Z): channels holding the static angles reproduce the static
    // transform, also with only X and Z, and for a Y-up camera.
    auto run = ImportFixture("animation.dae", [](COptions& o) { o.SetBool(opt::bExportAnimations, true); });
    ASSERT_EQ(run->result, 0);
    for (const char* name : {"Comp", "XZ"}) {
        const SImportNode* n = run->Node(name);
        ASSERT_NE(n, nullptr);
        ASSERT_EQ(n->frames.size(), 31u);
        for (size_t f = 0; f < n->frames.size(); f += 10)
            ExpectMatrixNear(n->frames[f].matrix, n->transform.matrix,
                             std::string(name) + " frame " + std::to_string(f));
    }
    const SImportNode* cam = run->Node("Cam");
    ASSERT_NE(cam, nullptr);
    ExpectMatrixNear(cam->frames[0].matrix, cam->transform.matrix, "Cam frame 0");
    // Its translation moves it along z; the camera correction does not turn
    // the position.
    EXPECT_NEAR(cam->frames[30].translation[2], 10 + 10 * 0.9999f, 1e-3);
    EXPECT_NEAR(cam->frames[30].translation[1], 0.0f, 1e-4);
    ExpectSameRotation(cam->frames[30].rotation,
                       {cam->transform.rotation[0], cam->transform.rotation[1], cam->transform.rotation[2],
                        cam->transform.rotation[3]},
                       "Cam rotation");
}

TEST(ColladaAnimation, StaticPoseInEveryFrameOfReference)
{
    // Top-level and child nodes, cameras and lights, Y-up and Z-up: constant
    // channels equal to the static values give the static transform.
    const std::string animations =
        ChannelXml("a", "N/translate", "0 1", "1 2 3 1 2 3", 3) + ChannelXml("b", "N/rotateZ.ANGLE", "0 1", "30 30") +
        ChannelXml("c", "N/rotateX.ANGLE", "0 1", "10 10") + ChannelXml("d", "N/scale", "0 1", "2 2 2 2 2 2", 3) +
        ChannelXml("e", "C/translate.Y", "0 1", "5 5") + ChannelXml("f", "C/rotateY.ANGLE", "0 1", "40 40") +
        ChannelXml("g", "L/translate.X", "0 1", "3 3") + ChannelXml("h", "K/rotateY.ANGLE", "0 1", "25 25") +
        ChannelXml("i", "M/transform", "0 1", "1 0 0 4 0 1 0 5 0 0 1 6 0 0 0 1 1 0 0 4 0 1 0 5 0 0 1 6 0 0 0 1", 16);
    const std::string nodes =
        "<node id=\"N\" name=\"N\"><translate>1 2 3</translate><rotate>0 0 1 30</rotate><rotate>1 0 0 10</rotate>"
        "<scale>2 2 2</scale><node id=\"K\" name=\"K\"><translate>0 1 0</translate><rotate>0 1 0 "
        "25</rotate></node></node>"
        "<node id=\"C\" name=\"C\"><translate>0 5 0</translate><rotate>0 1 0 40</rotate><instance_camera "
        "url=\"#cam\"/></node>"
        "<node id=\"L\" name=\"L\"><translate>3 0 0</translate><instance_light url=\"#lamp\"/></node>"
        "<node id=\"M\" name=\"M\"><matrix>1 0 0 4 0 1 0 5 0 0 1 6 0 0 0 1</matrix></node>";
    for (const char* up : {"Y_UP", "Z_UP", "X_UP"}) {
        auto run = ImportText(Document(up, animations, nodes));
        ASSERT_EQ(run->result, 0) << up;
        for (const char* name : {"N", "K", "C", "L", "M"}) {
            const SImportNode* n = run->Node(name);
            ASSERT_NE(n, nullptr) << up << " " << name;
            ASSERT_EQ(n->frames.size(), 31u) << up << " " << name;
            ExpectMatrixNear(n->frames[20].matrix, n->transform.matrix, std::string(up) + " " + name);
            for (int i = 0; i < 3; ++i)
                EXPECT_NEAR(n->frames[20].translation[size_t(i)], n->transform.translation[size_t(i)], 1e-4)
                    << up << " " << name;
        }
    }
}

TEST(ColladaAnimation, BadChannels)
{
    // Each document imports; its channels apply only where they can.
    const struct {
        const char* what;
        std::string animations;
        float x30; // translation x of node N at frame 30 (static x is 9)
        uint32_t lastFrame;
    } cases[] = {
        {"one key", ChannelXml("a", "N/translate.X", "0.5", "1"), 9, 0},
        {"unsorted keys", ChannelXml("a", "N/translate.X", "0 1 0.5", "0 10 5"), 10, 30},
        {"equal keys", ChannelXml("a", "N/translate.X", "0 1 1", "0 1 2"), 1, 30},
        {"missing sampler",
         "<animation><channel source=\"#nowhere\" target=\"N/translate.X\"/></animation>" +
             ChannelXml("b", "Other/translate.X", "0 1", "0 1"),
         9, 30},
        {"short output", ChannelXml("a", "N/translate.X", "0 1", "4"), 0, 30},
        {"NaN key", ChannelXml("a", "N/translate.X", "0 nan 1", "0 5 10"), 5, 30},
        {"infinite key", ChannelXml("a", "N/translate.X", "0 1 inf", "0 5 10"), 9, 0},
        {"output with wrong kind",
         "<animation><source id=\"i\"><float_array id=\"ia\">0 1</float_array><technique_common><accessor "
         "source=\"#ia\" count=\"2\"><param name=\"T\" type=\"float\"/></accessor></technique_common></source>"
         "<source id=\"o\"><Name_array id=\"oa\">a b</Name_array><technique_common><accessor source=\"#oa\" "
         "count=\"2\"><param name=\"X\" type=\"float\"/></accessor></technique_common></source>"
         "<sampler id=\"s\"><input semantic=\"INPUT\" source=\"#i\"/><input semantic=\"OUTPUT\" "
         "source=\"#o\"/></sampler>"
         "<channel source=\"#s\" target=\"N/translate.X\"/></animation>",
         9, 0},
        {"nested animations",
         "<animation><animation>" + ChannelXml("a", "N/translate.X", "0 2", "0 20") + "</animation></animation>",
         9.999f, 60},
    };
    for (const auto& c : cases) {
        auto run =
            ImportText(Document("Y_UP", c.animations, "<node id=\"N\" name=\"N\"><translate>9 0 0</translate></node>"));
        ASSERT_EQ(run->result, 0) << c.what;
        EXPECT_EQ(run->scene.lastFrame, c.lastFrame) << c.what;
        const SImportNode* n = run->Node("N");
        ASSERT_NE(n, nullptr) << c.what;
        ASSERT_EQ(n->frames.size(), size_t(c.lastFrame) + 1) << c.what;
        const size_t f = std::min<size_t>(30, c.lastFrame);
        EXPECT_NEAR(n->frames[f].translation[0], c.x30, 1e-3) << c.what;
    }
}

TEST(ColladaAnimation, LongAnimationIsCut)
{
    // A key a million seconds away would ask for 30 million frames of every
    // animated node; the frames kept are bounded by the number of nodes.
    std::string animations = ChannelXml("a", "N/translate.X", "0 1000000", "0 1");
    for (int i = 0; i < 64; ++i)
        animations += ChannelXml("t" + std::to_string(i), "T" + std::to_string(i) + "/translate.X", "0 1", "0 1");
    auto run = ImportText(Document("Y_UP", animations, "<node id=\"N\" name=\"N\"/>"));
    ASSERT_EQ(run->result, 0);
    const SImportNode* n = run->Node("N");
    ASSERT_NE(n, nullptr);
    EXPECT_GT(run->scene.lastFrame, 0u);
    EXPECT_LE(uint64_t(run->scene.lastFrame + 1) * 65, uint64_t(1) << 22);
    EXPECT_EQ(n->frames.size(), size_t(run->scene.lastFrame) + 1);
    EXPECT_EQ(run->log->Count(eLogWarning), 1);
}

TEST(ColladaAnimation, OnlyConversionsThatUseFramesSampleThemAll)
{
    // Keys a million seconds apart: a conversion that exports no animation
    // and stays in model space reads frame 0 alone (it places skins), so it
    // samples only that frame and says nothing of the animation's length.
    const std::string doc = Document("Z_UP", ChannelXml("a", "N/translate.X", "0 1000000", "2 3"),
                                     "<node id=\"N\" name=\"N\"><translate>1 0 0</translate></node>");
    struct SCase {
        bool animations, modelSpace;
        bool allFrames;
    };
    for (const SCase c : {SCase{false, true, false}, SCase{true, true, true}, SCase{false, false, true}}) {
        QTemporaryDir dir;
        const std::string path = dir.filePath("doc.dae").toStdString();
        ASSERT_TRUE(WriteFileBytes(path, doc));
        auto run = ImportPath(path, [&](COptions& o) {
            o.SetBool(opt::bExportAnimations, c.animations);
            o.SetBool(opt::bExportModelSpace, c.modelSpace);
        });
        ASSERT_EQ(run->result, 0);
        const SImportNode& n = *run->Node("N");
        SCOPED_TRACE(testing::Message() << "animations " << c.animations << ", model space " << c.modelSpace);
        EXPECT_EQ(run->log->Count(eLogWarning), c.allFrames ? 1 : 0);
        EXPECT_EQ(n.frames.size() > 1, c.allFrames);
        ASSERT_FALSE(n.frames.empty());
        // Frame 0 is the keys' first value, whatever else is sampled (X of
        // the Z-up document stays X).
        EXPECT_EQ(n.frames[0].translation[0], 2.0f);
        EXPECT_EQ(n.frames.size(), size_t(run->scene.lastFrame) + 1);
    }
}

TEST(ColladaAnimation, WithoutLibraryAnimationsAreOff)
{
    auto run = ImportFixture("transforms.dae", [](COptions& o) { o.SetBool(opt::bExportAnimations, true); });
    ASSERT_EQ(run->result, 0);
    EXPECT_FALSE(ExportOptions(run->options, run->scene).GetBool(opt::bExportAnimations));
    EXPECT_EQ(run->scene.lastFrame, 0u);
    for (const SImportNode& n : run->scene.nodes)
        EXPECT_TRUE(n.frames.empty());
}
