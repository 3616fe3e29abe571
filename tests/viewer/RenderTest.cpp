// Pictures of known scenes drawn offscreen with Mesa's software OpenGL, and
// the viewer panel driven as a user would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSlider>
#include <QWindow>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <array>
#include <cmath>
#include <map>
#include <memory>

#include "ViewerTestUtil.h"
#include "app/StandaloneWindow.h"
#include "scene/Scene.h"
#include "scene/SceneRead.h"
#include "viewer/DrawList.h"
#include "viewer/SceneRenderer.h"
#include "viewer/SceneView.h"
#include "viewer/Snapshot.h"
#include "viewer/ViewerPanel.h"

namespace {

// The viewer's own off-screen pictures; any failure fails the test.
class COffscreen {
public:
    bool Create(int width, int height)
    {
        std::string error;
        const bool ok = m_snapshot.Create(width, height, &error);
        EXPECT_TRUE(ok) << error;
        return ok;
    }
    QImage Draw(const SDrawList& list, const SDrawFrame& frame, const SViewCamera& camera,
                const SRenderSettings& settings)
    {
        std::string error;
        const QImage image = m_snapshot.Draw(list, frame, camera, settings, &error);
        EXPECT_FALSE(image.isNull()) << error;
        return image;
    }

private:
    CSnapshot m_snapshot;
};

struct SLoaded {
    SScene scene;
    SDrawList list;
    SDrawFrame frame;
    ~SLoaded() { Destroy(scene); }
};

std::unique_ptr<SLoaded> Load(const std::string& path)
{
    auto out = std::make_unique<SLoaded>();
    std::string error;
    EXPECT_TRUE(LoadDrawList(path, out->scene, out->list, &error)) << error;
    EvaluateFrame(out->scene, out->list, 0, out->frame);
    return out;
}

bool IsRed(QRgb c)
{
    return qRed(c) > 150 && qGreen(c) < 50 && qBlue(c) < 50;
}

// By hue, as lighting darkens faces turned from the headlight.
bool IsYellow(QRgb c)
{
    return qRed(c) > 60 && qGreen(c) > qRed(c) * 0.7 && qBlue(c) < qRed(c) * 0.3;
}

bool IsDarkRed(QRgb c)
{
    return qRed(c) > 60 && qGreen(c) < qRed(c) * 0.3 && qBlue(c) < qRed(c) * 0.3;
}

bool IsGizmoGreen(QRgb c)
{
    return qGreen(c) > 100 && qRed(c) < qGreen(c) * 0.6 && qBlue(c) < qGreen(c) * 0.6;
}

// Pixel of a world point in a width x height picture (y down).
QPoint Project(const SViewCamera& camera, const float p[3], int width, int height)
{
    const SMatrix44 m = MatrixMultiply(
        ViewMatrix(camera), Perspective(camera.fFieldOfView, float(width) / height, camera.fNear, camera.fFar));
    float clip[4];
    for (int c = 0; c < 4; ++c)
        clip[c] = p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + m[12 + c];
    return QPoint(int((clip[0] / clip[3] + 1) / 2 * width), int((1 - clip[1] / clip[3]) / 2 * height));
}

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_gl.Create(kSize, kSize)) << "no OpenGL context (run under xvfb-run)"; }
    static constexpr int kSize = 200;
    COffscreen m_gl;
    QTemporaryDir m_dir;
};

// A red unit cube seen from +Z at distance 3 with a 45 degree view: its
// front face covers the middle square of 2 x 48.3 pixels, in red, and
// nothing outside it is red.
TEST_F(RenderTest, RedUnitCubeFromPlusZ)
{
    auto cube = Load(ConvertToQef(ViewerFixture("red_cube.dae"), m_dir, "cube.qef"));
    SViewCamera camera;
    camera.fDistance = 3;
    camera.fNear = 0.1f;
    camera.fFar = 10;
    SRenderSettings settings;
    settings.bGizmo = false;
    const QImage image = m_gl.Draw(cube->list, cube->frame, camera, settings);
    const double half = 0.5 / (2.5 * std::tan(M_PI / 8)) * kSize / 2; // 48.3
    int inside = 0, insideRed = 0, outsideRed = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const double dx = std::fabs(x + 0.5 - kSize / 2.0), dy = std::fabs(y + 0.5 - kSize / 2.0);
            const bool red = IsRed(image.pixel(x, y));
            if (dx < half - 2 && dy < half - 2) {
                ++inside;
                insideRed += red;
            } else if (dx > half + 2 || dy > half + 2) {
                outsideRed += red;
            }
        }
    EXPECT_EQ(insideRed, inside);
    EXPECT_EQ(outsideRed, 0);
}

// A half-transparent material lets the background through: the middle of
// the cube is red mixed with the background, neither of the two alone.
TEST_F(RenderTest, OpacityBlends)
{
    auto cube = Load(ConvertToQef(ViewerFixture("red_cube.dae"), m_dir, "cube.qef"));
    ASSERT_EQ(cube->list.pMaterials.size(), 1u);
    SViewCamera camera;
    camera.fDistance = 3;
    SRenderSettings settings;
    settings.bGizmo = false;
    const QRgb opaque = m_gl.Draw(cube->list, cube->frame, camera, settings).pixel(kSize / 2, kSize / 2);
    cube->list.pMaterials[0].fDiffuse[3] = 0.5f;
    const QImage image = m_gl.Draw(cube->list, cube->frame, camera, settings);
    const QRgb background = image.pixel(0, 0), mixed = image.pixel(kSize / 2, kSize / 2);
    EXPECT_GT(qRed(mixed), qRed(background) + 40);
    EXPECT_LT(qRed(mixed), qRed(opaque));
    EXPECT_GT(qBlue(mixed), qBlue(opaque) + 10);
}

// Frame 30 of the arm example (the elbow bent 90 degrees) differs from
// frame 0 where the forearm was, and not at the shoulder.
TEST_F(RenderTest, AnimatedArmMovesAtFrame30)
{
    auto arm = Load(ConvertToQef(ExamplePath("skinned_arm.dae"), m_dir, "arm.qef", ArmOptions(3)));
    ASSERT_GE(arm->list.uiFrameCount, 31u);
    SViewCamera camera;
    SBox box;
    ASSERT_TRUE(ItemBounds(arm->list, arm->frame, 0, box));
    FrameBox(camera, box.fMin, box.fMax);
    SRenderSettings settings;
    settings.bGizmo = false;
    const QImage first = m_gl.Draw(arm->list, arm->frame, camera, settings);
    EvaluateFrame(arm->scene, arm->list, 30, arm->frame);
    const QImage later = m_gl.Draw(arm->list, arm->frame, camera, settings);

    const QRgb background = first.pixel(0, 0);
    const float tip[3] = {3.9f, 0, 0}, shoulder[3] = {0.1f, 0, 0};
    const QPoint t = Project(camera, tip, kSize, kSize), s = Project(camera, shoulder, kSize, kSize);
    EXPECT_NE(first.pixel(t), background) << "the forearm is drawn at frame 0";
    EXPECT_EQ(later.pixel(t), background) << "the forearm has moved away by frame 30";
    EXPECT_NE(first.pixel(s), background);
    EXPECT_NE(later.pixel(s), background) << "the shoulder stays";
    int changed = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            changed += first.pixel(x, y) != later.pixel(x, y);
    EXPECT_GT(changed, 500);
}

// A Z-up document's top (yellow) is drawn above its sides (red) in the first
// view, and the gizmo's Y axis (green) points up from its centre.
TEST_F(RenderTest, ZUpTopFacesTheGizmosUp)
{
    auto box = Load(ConvertToQef(ViewerFixture("zup_box.dae"), m_dir, "zup.qef"));
    SViewCamera camera;
    camera.fYaw = 0.5f;
    camera.fPitch = 0.4f;
    SBox bounds;
    for (size_t i = 0; i < box->list.pItems.size(); ++i)
        ASSERT_TRUE(ItemBounds(box->list, box->frame, i, bounds));
    EXPECT_NEAR(bounds.fMax[1] - bounds.fMin[1], 0.5f, 1e-3f) << "the box's thin side is its height";
    FrameBox(camera, bounds.fMin, bounds.fMax);
    const QImage image = m_gl.Draw(box->list, box->frame, camera, SRenderSettings());
    const int gizmo = std::clamp(kSize / 5, 48, 140);
    double yellowY = 0, redY = 0, greenY = 0;
    int yellow = 0, red = 0, green = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const QRgb c = image.pixel(x, y);
            const bool inGizmo = x < gizmo && y >= kSize - gizmo;
            if (inGizmo && IsGizmoGreen(c))
                greenY += y, ++green;
            else if (!inGizmo && IsYellow(c))
                yellowY += y, ++yellow;
            else if (!inGizmo && IsDarkRed(c))
                redY += y, ++red;
        }
    ASSERT_GT(yellow, 100);
    ASSERT_GT(red, 100);
    ASSERT_GT(green, 5);
    EXPECT_LT(yellowY / yellow, redY / red) << "the top is drawn above the sides";
    EXPECT_LT(greenY / green, kSize - gizmo / 2.0) << "the gizmo's Y points up";
}

// The file's own lights shine: with the headlight off, the textured box
// example is lit by its lamp; without the lamp it is left in the dark.
TEST_F(RenderTest, FileLightsShine)
{
    auto box = Load(ConvertToQef(ExamplePath("textured_box.dae"), m_dir, "box.qef"));
    ASSERT_FALSE(box->list.pLights.empty());
    SViewCamera camera;
    camera.fYaw = 0.5f;
    camera.fPitch = 0.4f;
    SBox bounds;
    ASSERT_TRUE(ItemBounds(box->list, box->frame, 0, bounds));
    FrameBox(camera, bounds.fMin, bounds.fMax);
    SRenderSettings settings;
    settings.bHeadlight = false;
    settings.bGizmo = false;
    const auto brightness = [](const QImage& image) {
        qint64 sum = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                sum += qGray(image.pixel(x, y));
        return sum;
    };
    const qint64 lit = brightness(m_gl.Draw(box->list, box->frame, camera, settings));
    box->list.pLights.clear();
    const qint64 dark = brightness(m_gl.Draw(box->list, box->frame, camera, settings));
    EXPECT_GT(lit, dark + 200 * 255) << "the lamp lights the box";
}

// Where the red square is in a picture: its extent in pixels from the
// middle, left, right, up and down (-1 when no red pixel on that line).
struct SRedExtent {
    int left = -1, right = -1, up = -1, down = -1;
};
SRedExtent RedExtent(const QImage& image)
{
    SRedExtent e;
    const int cx = image.width() / 2, cy = image.height() / 2;
    for (int x = cx; x < image.width() && IsRed(image.pixel(x, cy)); ++x)
        e.right = x - cx;
    for (int x = cx; x >= 0 && IsRed(image.pixel(x, cy)); --x)
        e.left = cx - x;
    for (int y = cy; y >= 0 && IsRed(image.pixel(cx, y)); --y)
        e.up = cy - y;
    for (int y = cy; y < image.height() && IsRed(image.pixel(cx, y)); ++y)
        e.down = y - cy;
    return e;
}

// Looking through the file's camera: a 2 x 2 red square 5 units in front of
// a camera with a vertical field of view of 0.8 radians fills the middle of
// the picture, 1 / (5 tan 0.4) of its half-height each way, in a square
// picture and in a wide one (pixels stay square); the second camera, off to
// the side, sees it narrower and still in the middle.
TEST_F(RenderTest, SquareThroughItsCamera)
{
    auto square = Load(ConvertToQef(ViewerFixture("camera_square.gltf"), m_dir, "square.qef"));
    ASSERT_EQ(square->list.pCameras.size(), 2u);
    SRenderSettings settings;
    settings.bGizmo = false;
    const double half = 1 / (5 * std::tan(0.4)); // of the half-height: 0.473
    COffscreen wide;
    ASSERT_TRUE(wide.Create(300, 200));
    for (int picture = 0; picture < 2; ++picture) {
        SViewCamera camera;
        ASSERT_TRUE(LookThroughCamera(camera, square->scene, square->list, square->frame, 0));
        const QImage image = picture ? wide.Draw(square->list, square->frame, camera, settings)
                                     : m_gl.Draw(square->list, square->frame, camera, settings);
        const double expect = half * image.height() / 2;
        const SRedExtent e = RedExtent(image);
        SCOPED_TRACE(picture ? "300 x 200" : "200 x 200");
        EXPECT_NEAR(e.left, expect, 2.5);
        EXPECT_NEAR(e.right, expect, 2.5);
        EXPECT_NEAR(e.up, expect, 2.5);
        EXPECT_NEAR(e.down, expect, 2.5);
        EXPECT_FALSE(IsRed(image.pixel(2, 2))) << "the corners show the background";
    }
    // From (3, 0, 4) the square's middle is 5 away and its near edge (+X)
    // 4.4 deep and 0.8 to the right, its far edge 5.6 deep and 0.8 to the
    // left.
    SViewCamera side;
    ASSERT_TRUE(LookThroughCamera(side, square->scene, square->list, square->frame, 1));
    const SRedExtent e = RedExtent(m_gl.Draw(square->list, square->frame, side, settings));
    const double scale = kSize / 2 / std::tan(0.4);
    EXPECT_NEAR(e.up, half * kSize / 2, 2.5);
    EXPECT_NEAR(e.right, 0.8 / 4.4 * scale, 2.5);
    EXPECT_NEAR(e.left, 0.8 / 5.6 * scale, 2.5);
}

// A spot light turned to shine straight down lights the floor where it
// points, at (2, 0, 0), inside its 40 degree cone, and leaves the rest dark.
TEST_F(RenderTest, SpotLightLightsWhereItPoints)
{
    auto floor = Load(ConvertToQef(ViewerFixture("spot_plane.dae"), m_dir, "spot.qef"));
    ASSERT_EQ(floor->list.pLights.size(), 1u);
    SViewCamera camera;
    camera.fPitch = 1.2f;
    const float mn[3] = {-5, 0, -5}, mx[3] = {5, 0, 5};
    FrameBox(camera, mn, mx);
    SRenderSettings settings;
    settings.bHeadlight = false;
    settings.bGizmo = false;
    const QImage image = m_gl.Draw(floor->list, floor->frame, camera, settings);
    const auto brightness = [&](float x, float z) {
        const float p[3] = {x, 0, z};
        return qGray(image.pixel(Project(camera, p, kSize, kSize)));
    };
    EXPECT_GT(brightness(2, 0), 200) << "under the light";
    EXPECT_GT(brightness(2.4f, 0.3f), 150) << "inside the cone (0.73 wide)";
    for (const auto& dark : {std::array<float, 2>{-2, 0}, {0, 0}, {2, 1.5f}, {2, -1.5f}, {3.2f, 0}})
        EXPECT_LT(brightness(dark[0], dark[1]), 60) << dark[0] << ", " << dark[1];
}

// Wireframe, normals and boxes draw without OpenGL errors and show their lines.
TEST_F(RenderTest, OverlaysDraw)
{
    auto arm = Load(ConvertToQef(ExamplePath("skinned_arm.dae"), m_dir, "arm.qef", ArmOptions(3)));
    EvaluateFrame(arm->scene, arm->list, 30, arm->frame);
    SViewCamera camera;
    SBox box;
    ASSERT_TRUE(ItemBounds(arm->list, arm->frame, 0, box));
    FrameBox(camera, box.fMin, box.fMax);
    SRenderSettings settings;
    settings.bWireframe = settings.bNormals = settings.bBounds = true;
    const QImage image = m_gl.Draw(arm->list, arm->frame, camera, settings);
    int cyan = 0, boxYellow = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const QRgb c = image.pixel(x, y);
            cyan += qBlue(c) > 200 && qGreen(c) > 180 && qRed(c) < 120;
            boxYellow += qRed(c) > 200 && qGreen(c) > 170 && qBlue(c) < 90;
        }
    EXPECT_GT(cyan, 20);
    EXPECT_GT(boxYellow, 20);
}

// meshwright-view --screenshot draws a picture of each scene and exits: not
// blank, another camera gives another picture, and a camera the file lacks
// or a file that is no scene file is refused with a message.
TEST(ViewerScreenshot, PicturesFromTheCommandLine)
{
    QTemporaryDir dir;
    const std::string square = ConvertToQef(ViewerFixture("camera_square.gltf"), dir, "square.qef");
    const std::string box = ConvertToQef(ExamplePath("textured_box.dae"), dir, "box.qef");
    const std::string arm = ConvertToQef(ExamplePath("skinned_arm.dae"), dir, "arm.qef", ArmOptions(3));
    struct SCase {
        std::string name, file;
        QStringList args;
        int status;
        QSize size;
    };
    const QSize normal(800, 600);
    const SCase cases[] = {
        {"box", box, {}, 0, normal},
        {"box through its camera", box, {"--camera", "0"}, 0, normal},
        {"square front", square, {"--camera", "FrontCam"}, 0, normal},
        {"square side", square, {"--camera", "1"}, 0, normal},
        {"arm at frame 30", arm, {"--frame", "30", "--size", "320x240"}, 0, QSize(320, 240)},
        {"no such camera", square, {"--camera", "Top"}, 64, normal},
        {"not a scene file", ViewerFixture("red_cube.dae"), {}, 1, normal},
    };
    std::map<std::string, QImage> pictures;
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString out = dir.filePath(QString::fromStdString(c.name) + QStringLiteral(".png"));
        QProcess view;
        // The viewer program unloads Mesa's driver at exit, so LeakSanitizer
        // cannot name what the driver keeps for the process and would fail
        // the run on it; this process keeps the driver loaded and still looks
        // for leaks in the same drawing code.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
        view.setProcessEnvironment(env);
        view.start(QStringLiteral(MW_VIEW_PATH),
                   QStringList{QString::fromStdString(c.file)} + c.args + QStringList{"--screenshot", out});
        ASSERT_TRUE(view.waitForFinished(120000));
        const QString errors = QString::fromLocal8Bit(view.readAllStandardError());
        EXPECT_EQ(view.exitCode(), c.status) << errors.toStdString();
        if (c.status != 0) {
            EXPECT_FALSE(QFile::exists(out));
            EXPECT_FALSE(errors.isEmpty());
            if (c.name == "no such camera") {
                EXPECT_TRUE(errors.contains(QStringLiteral("0 (FrontCam), 1 (SideCam)"))) << errors.toStdString();
            } else {
                EXPECT_TRUE(errors.contains(QStringLiteral("not a QEF scene file"))) << errors.toStdString();
            }
            continue;
        }
        const QImage image(out);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), c.size);
        // Not blank: a good part of the picture differs from its corner.
        const QRgb corner = image.pixel(image.width() - 1, 0);
        int drawn = 0;
        for (int y = 0; y < image.height(); y += 4)
            for (int x = 0; x < image.width(); x += 4)
                drawn += image.pixel(x, y) != corner;
        EXPECT_GT(drawn, image.width() * image.height() / 16 / 50) << "at least 2% drawn";
        pictures[c.name] = image;
    }
    EXPECT_NE(pictures["square front"], pictures["square side"]);
    EXPECT_NE(pictures["box"], pictures["box through its camera"]);

    // Without a display there is no OpenGL: said, not a crash.
    QProcess headless;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    headless.setProcessEnvironment(env);
    headless.start(QStringLiteral(MW_VIEW_PATH), {QString::fromStdString(square), QStringLiteral("--screenshot"),
                                                  dir.filePath(QStringLiteral("x.png"))});
    ASSERT_TRUE(headless.waitForFinished(60000));
    EXPECT_EQ(headless.exitCode(), 2);
    EXPECT_TRUE(QString::fromLocal8Bit(headless.readAllStandardError()).contains(QStringLiteral("xvfb-run")));
}

// The main window keeps its native window when its Preview page first
// shows a scene (a window made anew blinks on a desktop), and the page draws.
TEST(ViewerInWindow, FirstPreviewKeepsTheWindow)
{
    QTemporaryDir dir;
    const std::string box = ConvertToQef(ExamplePath("textured_box.dae"), dir, "box.qef");
    const auto settle = [](int ms, const std::function<bool()>& done) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms && !done())
            QApplication::processEvents(QEventLoop::AllEvents, 20);
    };
    CStandaloneWindow window;
    window.show();
    settle(5000, [&window] { return window.windowHandle() && window.windowHandle()->isExposed(); });
    ASSERT_TRUE(window.windowHandle() && window.windowHandle()->isExposed());
    const WId before = window.winId();
    window.showPreview(QString::fromStdString(box), true);
    settle(300, [] { return false; });
    EXPECT_EQ(window.winId(), before);
    ASSERT_TRUE(window.Preview()->HasScene());
    EXPECT_TRUE(window.Preview()->View()->GLError().isEmpty());
    EXPECT_FALSE(window.Preview()->View()->grabFramebuffer().isNull());
}

// The panel as a user meets it: a damaged file gives the reader's message in
// the status line; a good one shows its counts, its node tree and frames.
TEST(ViewerPanelTest, StatusTreeFramesAndBadFiles)
{
    QTemporaryDir dir;
    const std::string arm = ConvertToQef(ExamplePath("skinned_arm.dae"), dir, "arm.qef", ArmOptions(3));
    std::string bytes = ReadFileBytes(arm);
    const std::string broken = dir.filePath(QStringLiteral("broken.qef")).toStdString();
    ASSERT_TRUE(WriteFileBytes(broken, bytes.substr(0, bytes.size() / 2)));

    CViewerPanel panel;
    panel.resize(640, 480);
    panel.show();
    EXPECT_FALSE(panel.OpenFile(QString::fromStdString(broken)));
    EXPECT_TRUE(panel.StatusIsError());
    EXPECT_TRUE(panel.StatusText().contains(QStringLiteral("broken.qef"))) << panel.StatusText().toStdString();
    SScene scene;
    CZGXTString why;
    ASSERT_NE(LoadSceneFile(scene, broken.c_str(), &why), 0);
    EXPECT_TRUE(panel.StatusText().contains(QString::fromStdString(why))) << panel.StatusText().toStdString();
    EXPECT_EQ(panel.Tree()->topLevelItemCount(), 0);

    ASSERT_TRUE(panel.OpenFile(QString::fromStdString(arm)));
    EXPECT_FALSE(panel.StatusIsError());
    const QString status = panel.StatusText();
    EXPECT_TRUE(status.contains(QStringLiteral("36 triangles"))) << status.toStdString();
    EXPECT_TRUE(status.contains(QStringLiteral("28 vertices"))) << status.toStdString();
    EXPECT_TRUE(status.contains(QStringLiteral("1 draw call \u00b7"))) << status.toStdString();
    EXPECT_TRUE(status.contains(QStringLiteral("ACMR"))) << status.toStdString();
    // Arm and Shoulder at the top, Elbow under Shoulder, Wrist under Elbow.
    ASSERT_EQ(panel.Tree()->topLevelItemCount(), 2);
    EXPECT_EQ(panel.Tree()->topLevelItem(0)->text(1), QStringLiteral("mesh"));
    EXPECT_EQ(panel.Tree()->topLevelItem(1)->child(0)->child(0)->text(0), QStringLiteral("Wrist"));
    EXPECT_EQ(panel.Tree()->topLevelItem(1)->text(1), QStringLiteral("bone"));

    EXPECT_EQ(panel.FrameSlider()->maximum(), int(panel.List().uiFrameCount) - 1);
    panel.FrameSlider()->setValue(30);
    EXPECT_EQ(panel.Frame().fFrame, 30.0f);
    panel.SetPlaying(true);
    EXPECT_TRUE(panel.IsPlaying());
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 5000 && panel.Frame().fFrame == 30.0f) // the first picture may take a while
        QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    EXPECT_NE(panel.Frame().fFrame, 30.0f) << "playback advances";
    panel.SetPlaying(false);
    EXPECT_FALSE(panel.IsPlaying());

    // Untick the mesh: nothing left to count.
    panel.Tree()->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    EXPECT_TRUE(panel.StatusText().startsWith(QStringLiteral("0 triangles"))) << panel.StatusText().toStdString();
    // A fully transparent material's triangles are said to be invisible;
    // a scene without triangles has no cache figure.
    const std::string clear = ConvertToQef(ViewerFixture("clear_cube.dae"), dir, "clear.qef");
    ASSERT_TRUE(panel.OpenFile(QString::fromStdString(clear)));
    EXPECT_TRUE(
        panel.StatusText().startsWith(QStringLiteral("12 triangles \u00b7 24 vertices \u00b7 1 draw call \u00b7 12 "
                                                     "invisible (fully transparent material)")))
        << panel.StatusText().toStdString();
    panel.Tree()->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    EXPECT_FALSE(panel.StatusText().contains(QStringLiteral("ACMR"))) << panel.StatusText().toStdString();
    // Another file starts with everything shown.
    ASSERT_TRUE(panel.OpenFile(QString::fromStdString(arm)));
    EXPECT_TRUE(panel.StatusText().startsWith(QStringLiteral("36 triangles"))) << panel.StatusText().toStdString();

    // Frame the wrist: the orbit centres on it.
    panel.FrameNode(3);
    const SMatrix44& wrist = panel.Frame().pmWorld[3];
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(panel.View()->Camera().fTarget[c], wrist[12 + c], 0.5f);

    // The file's camera: looking through it puts the eye where the
    // textured box example's lookat says (6 4 8).
    const std::string box = ConvertToQef(ExamplePath("textured_box.dae"), dir, "box.qef");
    ASSERT_TRUE(panel.OpenFile(QString::fromStdString(box)));
    ASSERT_EQ(panel.CameraList()->count(), 2);
    panel.LookThrough(0);
    EXPECT_TRUE(panel.View()->Camera().bFixed);
    SMatrix44 eye;
    ASSERT_TRUE(AffineInverse(panel.View()->Camera().mFixedView, &eye));
    EXPECT_NEAR(eye[12], 6, 1e-3);
    EXPECT_NEAR(eye[13], 4, 1e-3);
    EXPECT_NEAR(eye[14], 8, 1e-3);
    panel.FrameAll();
    EXPECT_FALSE(panel.View()->Camera().bFixed);
    ASSERT_TRUE(panel.OpenFile(QString::fromStdString(arm)));

    // The widget draws the arm.
    panel.FrameAll();
    const QImage shot = panel.View()->grabFramebuffer();
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(panel.View()->GLError().isEmpty()) << panel.View()->GLError().toStdString();
    const QRgb corner = shot.pixel(shot.width() - 1, 0);
    int drawn = 0;
    for (int y = 0; y < shot.height(); y += 2)
        for (int x = 0; x < shot.width(); x += 2)
            drawn += shot.pixel(x, y) != corner;
    EXPECT_GT(drawn, 200);
    Destroy(scene);
}

} // namespace
