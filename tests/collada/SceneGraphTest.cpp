// Node records, transforms, the up axis, cameras, lights and instances.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <array>
#include <cmath>
#include <string>

#include "ColladaTestUtil.h"

namespace {

using SQuat = std::array<double, 4>; // x, y, z, w

SQuat AxisAngle(double x, double y, double z, double degrees)
{
    const double h = degrees * M_PI / 360.0;
    return {x * std::sin(h), y * std::sin(h), z * std::sin(h), std::cos(h)};
}

SQuat Mul(const SQuat& l, const SQuat& r)
{
    return {
        l[3] * r[0] + l[0] * r[3] + l[1] * r[2] - l[2] * r[1], l[3] * r[1] + l[1] * r[3] + l[2] * r[0] - l[0] * r[2],
        l[3] * r[2] + l[2] * r[3] + l[0] * r[1] - l[1] * r[0], l[3] * r[3] - l[0] * r[0] - l[1] * r[1] - l[2] * r[2]};
}

// Equal as rotations (q and -q are the same rotation).
void ExpectSameRotation(const SVec4& actual, const SQuat& expected, const char* what)
{
    double dot = 0;
    for (int i = 0; i < 4; ++i)
        dot += actual[size_t(i)] * expected[size_t(i)];
    EXPECT_NEAR(std::fabs(dot), 1.0, 1e-5)
        << what << ": " << actual[0] << " " << actual[1] << " " << actual[2] << " " << actual[3];
}

void ExpectVec3(const SVec3& actual, float x, float y, float z, const char* what)
{
    EXPECT_NEAR(actual[0], x, 1e-5) << what;
    EXPECT_NEAR(actual[1], y, 1e-5) << what;
    EXPECT_NEAR(actual[2], z, 1e-5) << what;
}

} // namespace

TEST(ColladaSceneGraph, TransformsAndNames)
{
    auto run = ImportFixture("transforms.dae");
    ASSERT_EQ(run->result, 0);

    // translate, rotateZ, rotateY, rotateX, scale: the rotations compose as the
    // document says, Z(Y(X(p))). The scene's quaternion matrix acts on row
    // vectors, so the stored quaternion is the conjugate of that turn.
    const SImportNode* order = run->Node("Order");
    ASSERT_NE(order, nullptr);
    ExpectVec3(order->transform.translation, 1, 2, 3, "Order translation");
    ExpectVec3(order->transform.scale, 2, 2, 2, "Order scale");
    ExpectSameRotation(order->transform.rotation,
                       Mul(Mul(AxisAngle(1, 0, 0, -10), AxisAngle(0, 1, 0, -20)), AxisAngle(0, 0, 1, -30)), "Order");
    EXPECT_EQ(order->transform.matrix[12], 1.0f);

    const SImportNode* zero = run->Node("ZeroAngle");
    ASSERT_NE(zero, nullptr);
    EXPECT_EQ(zero->transform.matrix, MatrixIdentity());
    EXPECT_EQ(zero->transform.rotation, (SVec4{0, 0, 0, 1}));

    const SImportNode* matrix = run->Node("Matrix");
    ASSERT_NE(matrix, nullptr);
    ExpectVec3(matrix->transform.translation, 4, 5, 6, "Matrix");

    // Wrong value counts and skew are refused.
    const SImportNode* bad = run->Node("BadCount");
    ASSERT_NE(bad, nullptr);
    EXPECT_EQ(bad->transform.matrix, MatrixIdentity());

    // Records of plain nodes come in document order; a node without name and
    // id is named after its record.
    const SImportNode* unnamed = run->Node("QEFNode-4");
    ASSERT_NE(unnamed, nullptr);
    EXPECT_EQ(unnamed->index, 4);
    const SImportNode* child = run->Node("Child");
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->parent, 4);
    ExpectVec3(child->transform.translation, 0, 1, 0, "Child");
    EXPECT_NE(run->Node("IdOnly"), nullptr);
    EXPECT_NE(run->Node(""), nullptr);        // present but empty stays empty
    EXPECT_NE(run->Node("Spelled"), nullptr); // <Node> is a node
    EXPECT_EQ(run->Node("InExtra"), nullptr); // inside extra: skipped
    for (size_t i = 0; i < run->scene.nodes.size(); ++i)
        EXPECT_EQ(run->scene.nodes[i].index, int32_t(i));

    // lookat places the node at the eye, looking at the interest point.
    const SImportNode* look = run->Node("LookAt");
    ASSERT_NE(look, nullptr);
    ExpectVec3(look->transform.translation, 6, 4, 8, "LookAt translation");
    const SMatrix44& m = look->transform.matrix;
    const float len = std::sqrt(36.0f + 9.0f + 64.0f);
    // Its local -Z (for row vectors: minus the third row) points at the
    // interest point.
    ExpectVec3({-m[8], -m[9], -m[10]}, -6 / len, -3 / len, -8 / len, "LookAt direction");
}

TEST(ColladaSceneGraph, ZUpDocumentsAreTurnedYUp)
{
    // One change of basis, (x, y, z) -> (x, z, -y), for every node alike.
    auto run = ImportFixture("zup.dae");
    ASSERT_EQ(run->result, 0);
    const SImportNode* translated = run->Node("Translated");
    ASSERT_NE(translated, nullptr);
    ExpectVec3(translated->transform.translation, 0, 5, 0, "Translated");
    ExpectSameRotation(translated->transform.rotation, AxisAngle(1, 0, 0, 0), "Translated");
    const SImportNode* inner = run->Node("Inner");
    ASSERT_NE(inner, nullptr);
    ExpectVec3(inner->transform.translation, 0, 5, 0, "Inner");
    // A node given by matrix lands where the translated one does.
    const SImportNode* matrix = run->Node("Matrix");
    ASSERT_NE(matrix, nullptr);
    ExpectVec3(matrix->transform.translation, 0, 5, 0, "Matrix");
    ExpectSameRotation(matrix->transform.rotation, AxisAngle(1, 0, 0, 0), "Matrix");
    EXPECT_EQ(matrix->transform.matrix[13], 5.0f);
    // A counter-clockwise turn about the document's up axis is one about +Y
    // (stored as the conjugate quaternion, as every turn is).
    const SImportNode* rotated = run->Node("Rotated");
    ASSERT_NE(rotated, nullptr);
    ExpectSameRotation(rotated->transform.rotation, AxisAngle(0, 1, 0, -90), "Rotated");
}

TEST(ColladaSceneGraph, CamerasAndLights)
{
    auto run = ImportFixture("cameras_lights.dae");
    ASSERT_EQ(run->result, 0);
    const float deg = 0.01745329238474369f;

    const SImportNode* camY = run->Node("CamY");
    ASSERT_NE(camY, nullptr);
    EXPECT_EQ(camY->content, uint32_t(eImportCamera));
    EXPECT_FLOAT_EQ(camY->camera.fov, 45 * deg);
    EXPECT_EQ(camY->camera.nearPlane, 0.5f);
    EXPECT_EQ(camY->camera.farPlane, 200.0f);
    EXPECT_EQ(camY->camera.hasTarget, 0u);
    EXPECT_EQ(camY->camera.target, -1);
    // Cameras and lights of Y-up documents are turned about X.
    ExpectSameRotation(camY->transform.rotation, AxisAngle(1, 0, 0, 90), "CamY");

    const SImportNode* target = run->Node("Target");
    ASSERT_NE(target, nullptr);
    for (const char* name : {"CamX", "CamX2"}) {
        const SImportNode* camX = run->Node(name);
        ASSERT_NE(camX, nullptr) << name;
        // A vertical field of view from xfov and the aspect ratio, the same
        // for every instance.
        EXPECT_NEAR(camX->camera.fov, 2 * std::atan(std::tan(15 * deg) / 1.5f), 1e-6) << name;
        EXPECT_EQ(camX->camera.hasTarget, 1u) << name;
        EXPECT_EQ(camX->camera.target, target->index) << name;
    }
    // No perspective: no record; its child hangs on the nearest converted ancestor.
    EXPECT_EQ(run->Node("Ortho"), nullptr);
    ASSERT_NE(run->Node("UnderOrtho"), nullptr);
    EXPECT_EQ(run->Node("UnderOrtho")->parent, -1);

    struct SLight {
        const char* node;
        uint32_t type;
        SVec3 colour;
        float constant, linear, quadratic, angle, exponent;
    };
    const float pi = 3.14159265358979f;
    const SLight lights[] = {
        {"Sun", eImportLightDirectional, {1, 0.5f, 0.25f}, 1, 0, 0, pi, 0},
        {"Bulb", eImportLightPoint, {0, 1, 0}, 2, 0.5f, 0.25f, pi, 0},
        {"Torch", eImportLightSpot, {0, 0, 1}, 1, 0, 0.125f, 45 * deg, 2},
        {"Twice", eImportLightPoint, {0, 1, 0}, 2, 0.5f, 0.25f, pi, 0}, // the last instance counts
        {"Dim", eImportLightPoint, {0, 0, 0}, 1, 0, 0, pi, 0},          // two colour values: refused
    };
    for (const SLight& l : lights) {
        const SImportNode* node = run->Node(l.node);
        ASSERT_NE(node, nullptr) << l.node;
        EXPECT_EQ(node->content, uint32_t(eImportLight)) << l.node;
        EXPECT_EQ(node->light.type, l.type) << l.node;
        EXPECT_EQ(node->light.colour, l.colour) << l.node;
        EXPECT_EQ(node->light.constantAttenuation, l.constant) << l.node;
        EXPECT_EQ(node->light.linearAttenuation, l.linear) << l.node;
        EXPECT_EQ(node->light.quadraticAttenuation, l.quadratic) << l.node;
        EXPECT_FLOAT_EQ(node->light.falloffAngle, l.angle) << l.node;
        EXPECT_EQ(node->light.falloffExponent, l.exponent) << l.node;
        EXPECT_EQ(node->light.target, -1) << l.node;
    }
    // An ambient light only sets the scene's ambient colour.
    EXPECT_EQ(run->Node("Sky"), nullptr);
    EXPECT_EQ(run->scene.ambient, (SVec3{0.1f, 0.2f, 0.3f}));
    EXPECT_EQ(run->Node("Missing"), nullptr);
}

TEST(ColladaSceneGraph, LibraryNodesAndInstances)
{
    auto run = ImportFixture("instances.dae");
    ASSERT_EQ(run->result, 0);
    const auto& nodes = run->scene.nodes;
    auto childrenOf = [&](int32_t parent) {
        std::vector<std::string> names;
        for (const SImportNode& n : nodes)
            if (n.parent == parent)
                names.push_back(n.name);
        return names;
    };

    // The instancing node keeps its own name and place; below it comes a copy
    // of the library node, with its own transform, mesh and children.
    const SImportNode* part = run->Node("PartCopy");
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part->content, uint32_t(eImportNone));
    ExpectVec3(part->transform.translation, 0, 0, 1, "PartCopy");
    EXPECT_EQ(childrenOf(part->index), (std::vector<std::string>{"Part"}));
    const SImportNode* instanced = run->Node("Part");
    EXPECT_EQ(instanced->content, uint32_t(eImportMesh));
    EXPECT_EQ(instanced->triangles.size(), 1u);
    EXPECT_EQ(childrenOf(instanced->index), (std::vector<std::string>{"PartChild"}));
    ExpectVec3(run->Node("PartChild")->transform.translation, 1, 0, 0, "PartChild");

    // The submeshes of an instanced split geometry come along.
    const SImportNode* split = run->Node("SplitCopy");
    ASSERT_NE(split, nullptr);
    EXPECT_EQ(childrenOf(split->index), (std::vector<std::string>{"Split"}));
    EXPECT_EQ(childrenOf(run->Node("Split")->index), (std::vector<std::string>{"Split-submesh0", "Split-submesh1"}));
    EXPECT_EQ(run->Node("Split-submesh1")->triangles.size(), 1u);

    // RingA -> ToB (instances RingB) -> ToA (instances RingA again): the
    // repeated instance is cut.
    const SImportNode* ring = run->Node("Ring");
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(childrenOf(ring->index), (std::vector<std::string>{"RingA"}));
    EXPECT_EQ(childrenOf(run->Node("RingA")->index), (std::vector<std::string>{"ToB"}));
    EXPECT_EQ(childrenOf(run->Node("ToB")->index), (std::vector<std::string>{"RingB"}));
    EXPECT_EQ(childrenOf(run->Node("RingB")->index), (std::vector<std::string>{"ToA"}));
    EXPECT_TRUE(childrenOf(run->Node("ToA")->index).empty());

    const SImportNode* self = run->Node("SelfCopy");
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(childrenOf(self->index), (std::vector<std::string>{"Self"}));
    EXPECT_EQ(childrenOf(run->Node("Self")->index), (std::vector<std::string>{"SelfChild"}));

    // A target defined in a later library_nodes is converted first.
    const SImportNode* later = run->Node("LaterCopy");
    ASSERT_NE(later, nullptr);
    EXPECT_EQ(childrenOf(later->index), (std::vector<std::string>{"UsesLater"}));
    EXPECT_EQ(childrenOf(run->Node("UsesLater")->index), (std::vector<std::string>{"Later"}));
    EXPECT_EQ(run->Node("Later")->triangles.size(), 1u);

    // An instance into another file resolves to nothing: no record.
    EXPECT_EQ(run->Node("Nowhere"), nullptr);
    ASSERT_NE(run->Node("Orphan"), nullptr);
    EXPECT_EQ(run->Node("Orphan")->parent, -1);
    for (size_t i = 0; i < nodes.size(); ++i) {
        EXPECT_EQ(nodes[i].index, int32_t(i));
        EXPECT_LT(nodes[i].parent, int32_t(nodes.size()));
    }
}

TEST(ColladaSceneGraph, InstanceCyclesThroughDeepChainsEnd)
{
    // A chain of library nodes, each instancing the next, the last one the
    // first again; a visual scene node instances the first.
    const int length = 3000;
    std::string text = "<COLLADA><asset/><library_nodes>";
    for (int i = 0; i < length; ++i)
        text += "<node id=\"n" + std::to_string(i) + "\"><node id=\"c" + std::to_string(i) +
                "\"><instance_node url=\"#n" + std::to_string((i + 1) % length) + "\"/></node></node>";
    text += "</library_nodes><library_visual_scenes><visual_scene id=\"vs\"><node name=\"Top\">"
            "<instance_node url=\"#n0\"/></node></visual_scene></library_visual_scenes>"
            "<scene><instance_visual_scene url=\"#vs\"/></scene></COLLADA>";
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/chain.dae";
    ASSERT_TRUE(WriteFileBytes(path, text));
    auto run = ImportPath(path);
    ASSERT_EQ(run->result, 0);
    // Top, then a copy of each node and of its child along the chain until
    // it comes round.
    EXPECT_EQ(run->scene.nodes.size(), size_t(1 + 2 * length));
}
