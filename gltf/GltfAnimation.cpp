// glTF animation channels sampled onto the scene's frames (the step and the
// time line of the Collada import): one transform block per frame for every
// animated node, and the world matrices at frame 0 that skins bind to.
#include <algorithm>
#include <cmath>

#include "import/Frames.h"
#include "import/ImportMath.h"
#include "import/Transform.h"
#include "gltf/GltfImport.h"
#include "options/Options.h"

namespace {

enum EPath { ePathTranslation, ePathRotation, ePathScale };
enum EInterpolation { eLinear, eStep, eCubic };

struct SChannel {
    int32_t node = -1;
    EPath path = ePathTranslation;
    EInterpolation interpolation = eLinear;
    std::vector<float> keys;
    std::vector<float> values; // components per element; CUBICSPLINE: in-tangent, value, out-tangent per key
    int components = 3;
};

void Normalise4(float* q)
{
    const float len = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    if (len > 0 && std::isfinite(len))
        for (int i = 0; i < 4; ++i)
            q[i] /= len;
}

// Element e of key k (the value part of a cubic spline key).
const float* Value(const SChannel& ch, size_t k, int part = 1)
{
    const size_t element = ch.interpolation == eCubic ? 3 * k + size_t(part) : k;
    return &ch.values[element * size_t(ch.components)];
}

// The channel's value at time T into out; times outside the keys hold the
// first or last value.
void Sample(const SChannel& ch, double T, float* out)
{
    const size_t n = ch.keys.size();
    const int c = ch.components;
    const size_t next = size_t(std::upper_bound(ch.keys.begin(), ch.keys.end(), float(T)) - ch.keys.begin());
    if (next == 0 || next >= n || ch.interpolation == eStep) {
        const float* v = Value(ch, next == 0 ? 0 : next - 1);
        std::copy(v, v + c, out);
        return;
    }
    const size_t prev = next - 1;
    const double dt = double(ch.keys[next]) - double(ch.keys[prev]);
    const float s = dt > 0 ? float((T - double(ch.keys[prev])) / dt) : 0.0f;
    const float* a = Value(ch, prev);
    const float* b = Value(ch, next);
    if (ch.interpolation == eCubic) {
        const float* outTangent = Value(ch, prev, 2);
        const float* inTangent = Value(ch, next, 0);
        const float s2 = s * s, s3 = s2 * s;
        for (int i = 0; i < c; ++i)
            out[i] = (2 * s3 - 3 * s2 + 1) * a[i] + (s3 - 2 * s2 + s) * float(dt) * outTangent[i] +
                     (-2 * s3 + 3 * s2) * b[i] + (s3 - s2) * float(dt) * inTangent[i];
    } else if (ch.path == ePathRotation) {
        // Spherical interpolation along the shorter arc.
        float d = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
        const float sign = d < 0 ? -1.0f : 1.0f;
        d = std::fabs(d);
        float wa = 1 - s, wb = s;
        if (d < 0.9995f) {
            const float angle = std::acos(std::min(d, 1.0f));
            const float sinAngle = std::sin(angle);
            wa = std::sin((1 - s) * angle) / sinAngle;
            wb = std::sin(s * angle) / sinAngle;
        }
        for (int i = 0; i < 4; ++i)
            out[i] = wa * a[i] + sign * wb * b[i];
    } else {
        for (int i = 0; i < c; ++i)
            out[i] = a[i] + s * (b[i] - a[i]);
    }
    if (ch.path == ePathRotation)
        Normalise4(out);
}

std::vector<SChannel> ReadChannels(SGltfImport& im)
{
    std::vector<SChannel> channels;
    const json& animations = GltfArray(im.doc.root, "animations", "animations");
    for (size_t a = 0; a < animations.size(); ++a) {
        const std::string what = GltfItem("animations", a);
        const json& samplers = GltfArray(animations[a], "samplers", what + ".samplers");
        const json& list = GltfArray(animations[a], "channels", what + ".channels");
        for (size_t c = 0; c < list.size(); ++c) {
            const std::string cw = what + ".channels[" + std::to_string(c) + "]";
            const int32_t s = GltfIndex(list[c], "sampler", samplers.size(), cw + ".sampler");
            const json* target = GltfObject(list[c], "target", cw + ".target");
            if (s < 0 || !target)
                GltfFail("%s has no sampler or target", cw.c_str());
            SChannel ch;
            ch.node = GltfIndex(*target, "node", im.nodes.size(), cw + ".target.node");
            const std::string path = GltfString(*target, "path", "", cw + ".target.path");
            if (path == "weights") {
                im.WarnOnce(eGltfWarnMorph, "Warning: Morph targets are not exported; meshes keep their base shape.");
                continue;
            }
            if (path == "translation")
                ch.path = ePathTranslation;
            else if (path == "rotation")
                ch.path = ePathRotation;
            else if (path == "scale")
                ch.path = ePathScale;
            else
                continue; // paths of extensions
            if (ch.node < 0 || im.nodes[size_t(ch.node)].record < 0)
                continue; // not in the scene
            if (im.nodes[size_t(ch.node)].hasMatrix) {
                im.WarnOnce(eGltfWarnMatrixAnimation, "Warning: Animation of nodes given by a matrix is not exported.");
                continue;
            }
            const json& sampler = samplers[size_t(s)];
            const std::string sw = what + ".samplers[" + std::to_string(s) + "]";
            const std::string interpolation = GltfString(sampler, "interpolation", "LINEAR", sw + ".interpolation");
            if (interpolation == "LINEAR")
                ch.interpolation = eLinear;
            else if (interpolation == "STEP")
                ch.interpolation = eStep;
            else if (interpolation == "CUBICSPLINE")
                ch.interpolation = eCubic;
            else
                GltfFail("%s.interpolation is '%s'", sw.c_str(), interpolation.c_str());
            const size_t accessors = GltfArray(im.doc.root, "accessors", "accessors").size();
            const int32_t input = GltfIndex(sampler, "input", accessors, sw + ".input");
            const int32_t output = GltfIndex(sampler, "output", accessors, sw + ".output");
            if (input < 0 || output < 0)
                GltfFail("%s has no input or output", sw.c_str());
            int components = 0;
            im.accessors->ReadFloats(input, eGltfTime, ch.keys, components);
            for (size_t k = 0; k < ch.keys.size(); ++k)
                if (!std::isfinite(ch.keys[k]) || (k > 0 && ch.keys[k] < ch.keys[k - 1]))
                    GltfFail("%s.input holds times that are not increasing numbers", sw.c_str());
            im.accessors->ReadFloats(output, ch.path == ePathRotation ? eGltfRotation : eGltfVector3, ch.values,
                                     ch.components);
            for (float v : ch.values)
                if (!std::isfinite(v))
                    GltfFail("%s.output holds values that are not finite numbers", sw.c_str());
            const size_t perKey = ch.interpolation == eCubic ? 3 : 1;
            if (ch.values.size() != ch.keys.size() * perKey * size_t(ch.components))
                GltfFail("%s.output has %zu elements for %zu times", sw.c_str(),
                         ch.values.size() / size_t(ch.components), ch.keys.size());
            channels.push_back(std::move(ch));
        }
    }
    return channels;
}

} // namespace

void GltfConvertAnimations(SGltfImport& im)
{
    std::vector<SChannel> channels = ReadChannels(im);
    std::vector<std::vector<const SChannel*>> byNode(im.nodes.size());
    double t0 = INFINITY, t1 = -INFINITY;
    size_t animated = 0;
    for (const SChannel& ch : channels) {
        if (byNode[size_t(ch.node)].empty())
            ++animated;
        byNode[size_t(ch.node)].push_back(&ch);
        t0 = std::min(t0, double(ch.keys.front()));
        t1 = std::max(t1, double(ch.keys.back()));
    }

    uint32_t last = 0;
    if (animated > 0) {
        // Every channel is sampled at every frame.
        last = SampledLastFrame(t0, t1, channels.size(), im.options->UsesFrames(), im.settings.frameBlockLimit);
        im.scene->firstFrame = 0;
        im.scene->lastFrame = last;
        im.scene->frameRate = uint32_t(1.0f / kAnimFrameStep);
    } else {
        im.scene->animated = false;
    }

    // Parents come before their children in the order, so world matrices
    // build up in one pass.
    for (int32_t n : im.order) {
        SGltfNodeRecord& node = im.nodes[size_t(n)];
        SImportNode& record = im.scene->nodes[size_t(node.record)];
        const bool correct = record.content == eImportCamera || record.content == eImportLight;
        SMatrix44 local0 = node.local;
        if (!byNode[size_t(n)].empty()) {
            record.frames.reserve(size_t(last) + 1);
            for (uint32_t f = 0; f <= last; ++f) {
                const double T = AnimRound4(double(f) * double(kAnimFrameStep)) + t0;
                float trs[10];
                std::copy(node.trs, node.trs + 10, trs);
                for (const SChannel* ch : byNode[size_t(n)])
                    Sample(*ch, T, trs + (ch->path == ePathTranslation ? 0 : ch->path == ePathRotation ? 3 : 7));
                const SMatrix44 local = GltfComposeTRS(trs, trs + 3, trs + 7);
                if (f == 0)
                    local0 = local;
                record.frames.push_back(DecomposeTransform(correct ? GltfCameraLightCorrection(local) : local));
            }
        }
        node.world0 = node.parentNode >= 0 ? MatrixMultiply(local0, im.nodes[size_t(node.parentNode)].world0) : local0;
    }
}
