#include "collada/Animation.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "app/ConversionLog.h"
#include "collada/AffineDecompose.h"
#include "collada/DAEMath.h"
#include "collada/ElCore.h"
#include "collada/ElGeometry.h"
#include "collada/ElScene.h"
#include "collada/NodeTransform.h"

namespace {

// Frame blocks one import may hold (about half a gigabyte); a longer animation is
// cut so that a key time of a million seconds cannot exhaust memory.
constexpr uint64_t kMaxFrameBlocks = uint64_t(1) << 22;

// Nested animations deeper than this are not followed.
constexpr size_t kMaxAnimationDepth = 256;

std::string Lower(const std::string& s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return out;
}

const std::vector<float>* FloatValues(const CEl_Accessor* accessor)
{
    const CEl_FloatArray* array = accessor ? accessor->FloatArray() : nullptr;
    return array ? &array->Values() : nullptr;
}

float ValueAt(const std::vector<float>* values, int64_t i)
{
    return (values && i >= 0 && i < int64_t(values->size())) ? (*values)[size_t(i)] : 0.0f;
}

SAnimChannel MakeChannel(const CEl_Channel& channel)
{
    SAnimChannel out;
    out.pChannel = &channel;
    out.eProperty = channel.Property();
    out.iElement = channel.MatrixElement();
    const SChannelSources sources = channel.Sources();
    const std::vector<float>* input = FloatValues(sources.pInput);
    const std::vector<float>* output = FloatValues(sources.pOutput);
    if (!channel.Sampler() || !input || !output || sources.pOutput->Count() == 0 || input->size() < 2)
        return out;
    if (!std::isfinite(input->front()) || !std::isfinite(input->back()))
        return out; // no usable time range
    out.keys = *input;
    out.rounded.resize(out.keys.size());
    out.ceiling.resize(out.keys.size());
    double running = -std::numeric_limits<double>::infinity();
    for (size_t k = 0; k < out.keys.size(); ++k) {
        const double r = std::isnan(out.keys[k]) ? -std::numeric_limits<double>::infinity() : AnimRound4(out.keys[k]);
        out.rounded[k] = r;
        running = std::max(running, r);
        out.ceiling[k] = running;
    }
    out.pOutput = output;
    out.iOutputStride = std::max(1, sources.pOutput->Stride());
    if (sources.pInterpolation && sources.pInterpolation->Array() &&
        sources.pInterpolation->Array()->Kind() == eEl_name_array)
        out.pInterpolation = &static_cast<const CEl_NameArray*>(sources.pInterpolation->Array())->Values();
    if ((out.pInTangent = FloatValues(sources.pInTangent)))
        out.iInTangentStride = std::max(1, sources.pInTangent->Stride());
    if ((out.pOutTangent = FloatValues(sources.pOutTangent)))
        out.iOutTangentStride = std::max(1, sources.pOutTangent->Stride());
    out.bValid = true;
    return out;
}

enum EInterpolation { eInterpStep, eInterpLinear, eInterpBezier, eInterpHermite, eInterpCardinal, eInterpBSpline,
                      eInterpUnknown };

EInterpolation InterpolationOf(const SAnimChannel& channel, int64_t key)
{
    // Without interpolation names the keys are joined linearly.
    if (!channel.pInterpolation || key < 0 || key >= int64_t(channel.pInterpolation->size()))
        return eInterpLinear;
    const std::string& name = (*channel.pInterpolation)[size_t(key)];
    static const struct {
        const char* name;
        EInterpolation kind;
    } kNames[] = {{"step", eInterpStep},         {"linear", eInterpLinear},     {"bezier", eInterpBezier},
                  {"hermite", eInterpHermite},   {"cardinal", eInterpCardinal}, {"bspline", eInterpBSpline}};
    for (const auto& row : kNames)
        if (EqualsNoCase(name.c_str(), row.name))
            return row.kind;
    return eInterpUnknown;
}

double Bezier(double p0, double p1, double p2, double p3, double u)
{
    const double v = 1 - u;
    return v * v * v * p0 + 3 * u * v * v * p1 + 3 * u * u * v * p2 + u * u * u * p3;
}

// The curve parameter at which the time curve reaches T, by halving.
double BezierParameter(double t0, double c0, double c1, double t1, double T)
{
    if (T - t0 <= 1e-20)
        return 0;
    if (t1 - T <= 1e-20)
        return 1;
    double lo = 0, hi = 1;
    for (int i = 0; i < 1000; ++i) {
        const double mid = 0.5 * (lo + hi);
        if (mid <= lo || mid >= hi)
            break; // the interval cannot shrink any further
        const double t = Bezier(t0, c0, c1, t1, mid);
        if (std::fabs(t - T) <= 1e-9) {
            lo = hi = mid;
            break;
        }
        if (t < T)
            lo = mid;
        else
            hi = mid;
    }
    return std::clamp(0.5 * (lo + hi), 0.0, 1.0);
}

// Time and value of a tangent of a key. Tangents hold (time, value) pairs:
// one pair per key, or one pair per output component when the accessor is
// that wide.
void Tangent(const std::vector<float>* values, int stride, int outputStride, int64_t key, int c, double* time,
             double* value)
{
    const int64_t pair = (outputStride > 1 && stride == 2 * outputStride) ? 2 * int64_t(c) : 0;
    const int64_t at = int64_t(stride) * key + pair;
    *time = ValueAt(values, at);
    *value = stride == 1 ? 0.0 : ValueAt(values, at + 1);
}

} // namespace

double AnimRound4(double x)
{
    return std::floor(x * 10000.0 + 0.0005) / 10000.0;
}

SKeyInterval FindKeyInterval(const SAnimChannel& channel, double T)
{
    SKeyInterval k;
    if (!channel.bValid || channel.ceiling.empty())
        return k;
    // The running maximum first reaches T exactly at the first key whose
    // own rounded time reaches it, so a binary search over it finds that key
    // even among unsorted keys.
    const auto it = std::lower_bound(channel.ceiling.begin(), channel.ceiling.end(), T);
    if (it == channel.ceiling.end())
        return k; // every key lies before T
    int64_t next = int64_t(it - channel.ceiling.begin());
    const int64_t last = int64_t(channel.keys.size()) - 1;
    if (std::fabs(channel.rounded[size_t(next)] - T) <= 0.0001 && next < last)
        ++next;
    if (next - 1 < 0)
        return k; // T lies before the first key
    k.prev = next - 1;
    k.next = next;
    return k;
}

float SampleChannel(const SAnimChannel& channel, const SKeyInterval& k, double T, int c)
{
    const int64_t stride = channel.iOutputStride;
    const double a = ValueAt(channel.pOutput, stride * k.prev + c);
    const EInterpolation kind = InterpolationOf(channel, k.prev);
    if (kind == eInterpStep)
        return float(a);
    if (InterpolationOf(channel, k.next) != kind)
        C2QHub::Instance().WarnOnce(eWarnMixedInterpolation);
    const double b = ValueAt(channel.pOutput, stride * k.next + c);
    const double tPrev = channel.keys[size_t(k.prev)];
    const double tNext = channel.keys[size_t(k.next)];
    const double span = tNext - tPrev;
    const double s = span > 0 ? (std::max(T, tPrev) - tPrev) / span : 0.0;
    if (kind == eInterpLinear)
        return float(a + s * (b - a));
    if (kind == eInterpUnknown) {
        C2QHub::Instance().WarnOnce(eWarnInterpolation);
        return 0.0f;
    }

    // Control values: p from the previous key's out-tangent, q from the next
    // key's in-tangent. A key without tangents gets the third points of the
    // straight line.
    double pTime = tPrev + span / 3, p = a + (b - a) / 3;
    double qTime = tNext - span / 3, q = b - (b - a) / 3;
    if (channel.pOutTangent)
        Tangent(channel.pOutTangent, channel.iOutTangentStride, channel.iOutputStride, k.prev, c, &pTime, &p);
    if (channel.pInTangent)
        Tangent(channel.pInTangent, channel.iInTangentStride, channel.iOutputStride, k.next, c, &qTime, &q);

    double value = 0;
    switch (kind) {
    case eInterpBezier: {
        const double u = BezierParameter(tPrev, pTime, qTime, tNext, T);
        value = Bezier(a, p, q, b, u);
        break;
    }
    case eInterpHermite:
    case eInterpCardinal: {
        // Through both keys, leaving a with 3 (p - a) and arriving at b with
        // 3 (b - q).
        const double m0 = 3 * (p - a), m1 = 3 * (b - q);
        const double s2 = s * s, s3 = s2 * s;
        value = (2 * s3 - 3 * s2 + 1) * a + (s3 - 2 * s2 + s) * m0 + (-2 * s3 + 3 * s2) * b + (s3 - s2) * m1;
        break;
    }
    case eInterpBSpline: {
        // Uniform cubic B-spline over the control points a, p, q, b.
        const double v = 1 - s, s2 = s * s, s3 = s2 * s;
        value = (v * v * v * a + (3 * s3 - 6 * s2 + 4) * p + (-3 * s3 + 3 * s2 + 3 * s + 1) * q + s3 * b) / 6;
        break;
    }
    default: break;
    }
    return float(value);
}

// ---------------------------------------------------------------- frame transform

namespace {

// A node's transform in the document's own frame, before the up-axis
// conversion and the camera and light correction, split into the parts the
// channels replace.
struct SNodeRest {
    SMatrix44 raw = IdentityMatrix44();
    SVec3 translation{0, 0, 0};
    SVec3 scale{1, 1, 1};
    SMatrix44 rotation = IdentityMatrix44();
    float angles[3] = {0, 0, 0}; // degrees about +X, +Y, +Z
    bool bEuler = false;         // the rotation is exactly Z x Y x X of angles
    bool bCameraOrLight = false;
};

float AngleAbout(const SMatrix44& m, ETransformKind kind)
{
    double a = 0;
    switch (kind) {
    case eXformRotateX: a = std::atan2(m[9], m[5]); break;
    case eXformRotateY: a = std::atan2(m[2], m[0]); break;
    case eXformRotateZ: a = std::atan2(m[4], m[0]); break;
    default: break;
    }
    return float(a / kDegToRad);
}

SNodeRest RestOf(const CEl_Node& node, EUpAxis mode)
{
    SNodeRest rest;
    rest.bCameraOrLight = node.Content() == eNodeContentCamera || node.Content() == eNodeContentLight;
    bool convertedMatrix = false;
    bool euler = true;
    int rotationRuns = 0;
    bool inRun = false;
    for (const SNodeTransform& t : node.Transforms()) {
        if (t.eKind == eXformAxisConversion)
            continue;
        rest.raw = MatMul(t.m, rest.raw);
        if (t.eKind == eXformMatrix)
            convertedMatrix = true;
        const bool rotation = IsRotation(t.eKind);
        if (rotation && !inRun)
            ++rotationRuns;
        inRun = rotation;
        if (t.eKind == eXformRotateX || t.eKind == eXformRotateY || t.eKind == eXformRotateZ)
            rest.angles[t.eKind - eXformRotateX] += AngleAbout(t.m, t.eKind);
        else if (t.eKind != eXformTranslate && t.eKind != eXformScale)
            euler = false; // matrix, lookat, other axis
    }
    // A top-level matrix was turned into the Y-up frame when it was read.
    if (convertedMatrix && node.IsTopLevel())
        rest.raw = MatMul(rest.raw, Transpose(AxisConversionOfIdentity(mode)));
    rest.bEuler = euler && rotationRuns <= 1;
    if (!rest.bEuler)
        rest.angles[0] = rest.angles[1] = rest.angles[2] = 0;

    float a[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            a[i][j] = rest.raw[size_t(4 * i + j)];
    const float t[3] = {rest.raw[12], rest.raw[13], rest.raw[14]};
    const SAffineParts parts = DecomposeAffine(a, t);
    rest.translation = {t[0], t[1], t[2]};
    rest.scale = {parts.k[0] * parts.f, parts.k[1] * parts.f, parts.k[2] * parts.f};
    float r[3][3];
    QuaternionToMatrix(parts.q, r);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            rest.rotation[size_t(4 * i + j)] = r[i][j];
    return rest;
}

// S x R x T of a block's scale, rotation and translation, as the static
// transform's matrix is built.
SMatrix44 ComposeTransform(const SImportTransform& block)
{
    const float q[4] = {block.rotation[0], block.rotation[1], block.rotation[2], block.rotation[3]};
    float r[3][3];
    QuaternionToMatrix(q, r);
    SMatrix44 rm = IdentityMatrix44();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            rm[size_t(4 * i + j)] = r[i][j];
    return MatMul(MatMul(ScaleMatrix(block.scale[0], block.scale[1], block.scale[2]), rm),
                  TranslationMatrix(block.translation[0], block.translation[1], block.translation[2]));
}

// The transform block of a node at time T. The channels replace parts of
// the node's own transform in the document's frame; the up-axis conversion
// and the camera and light correction are then applied once, as for the
// static transform, so a frame whose values equal the static ones gives the
// static block.
SImportTransform FrameFromRest(const CEl_Node& node, const SNodeRest& rest, const SImportTransform& staticBlock,
                               const std::vector<const SAnimChannel*>& channels, double T, EUpAxis mode)
{
    SVec3 translation = rest.translation;
    SVec3 scale = rest.scale;
    float angleSum[3] = {0, 0, 0};
    bool angleSet[3] = {false, false, false};
    bool translationSet = false, scaleSet = false, rotationSet = false, matrixSet = false;
    SMatrix44 work = rest.raw;

    for (const SAnimChannel* channel : channels) {
        if (!channel->bValid || channel->eProperty == eAnimPropNone)
            continue;
        const SKeyInterval k = FindKeyInterval(*channel, T);
        if (!k.Applies())
            continue;
        const int components = channel->iOutputStride;
        auto sample = [&](int c) { return SampleChannel(*channel, k, T, c); };
        switch (channel->eProperty) {
        case eAnimPropTranslateX:
        case eAnimPropTranslateY:
        case eAnimPropTranslateZ:
            translation[size_t(channel->eProperty - eAnimPropTranslateX)] = sample(0);
            translationSet = true;
            break;
        case eAnimPropTranslate:
            for (int c = 0; c < std::min(components, 3); ++c)
                translation[size_t(c)] = sample(c);
            translationSet = true;
            break;
        case eAnimPropScaleX:
        case eAnimPropScaleY:
        case eAnimPropScaleZ:
            scale[size_t(channel->eProperty - eAnimPropScaleX)] = sample(0);
            scaleSet = true;
            break;
        case eAnimPropScale:
            for (int c = 0; c < std::min(components, 3); ++c)
                scale[size_t(c)] = sample(c);
            scaleSet = true;
            break;
        case eAnimPropRotateX:
        case eAnimPropRotateY:
        case eAnimPropRotateZ: {
            const int axis = channel->eProperty - eAnimPropRotateX;
            angleSum[axis] += sample(0);
            angleSet[axis] = true;
            rotationSet = true;
            break;
        }
        case eAnimPropMatrixElement: {
            // Document matrices are written row by row with the translation
            // in the last column; ours hold it in elements 12-14.
            const int r = channel->iElement / 4, c = channel->iElement % 4;
            work[size_t(4 * c + r)] = sample(0);
            matrixSet = true;
            break;
        }
        case eAnimPropMatrix:
            for (int e = 0; e < std::min(components, 16); ++e)
                work[size_t(4 * (e % 4) + e / 4)] = sample(e);
            matrixSet = true;
            break;
        default: break;
        }
    }

    const bool trs = translationSet || scaleSet || rotationSet;
    const bool correctY = rest.bCameraOrLight && mode == eUpAxisY;
    const SMatrix44 correctionY = RotationMatrix(1, 0, 0, 90);
    if (trs) {
        SMatrix44 rotation = rest.rotation;
        if (rotationSet) {
            // Z-up documents turn their rotations the other way round, as the
            // static transform does.
            const float sign = mode == eUpAxisZ ? -1.0f : 1.0f;
            float angles[3];
            for (int a = 0; a < 3; ++a)
                angles[a] = angleSet[a] ? sign * angleSum[a] : rest.angles[a];
            // The order the node's own rotations compose in: X applied first.
            rotation = MatMul(RotationMatrix(0, 0, 1, angles[2]),
                              MatMul(RotationMatrix(0, 1, 0, angles[1]), RotationMatrix(1, 0, 0, angles[0])));
        }
        work = MatMul(ScaleMatrix(scale[0], scale[1], scale[2]), rotation);
        if (correctY)
            work = MatMul(work, correctionY); // after the rotation, before the translation
        work = MatMul(work, TranslationMatrix(translation[0], translation[1], translation[2]));
    } else if (matrixSet) {
        if (correctY)
            work = MatMul(correctionY, work);
    } else {
        return staticBlock;
    }
    if (node.IsTopLevel())
        ApplyAxisConversion(work, mode);
    if (rest.bCameraOrLight && mode == eUpAxisZ)
        work = MatMul(Transpose(AxisConversionOfIdentity(eUpAxisZ)), work);
    SImportTransform block = DecomposeTransform(work, mode);
    if (!trs)
        return block;
    // What no channel drives keeps its static value to the bit, rather than
    // what a second decomposition makes of it, so unanimated tracks stay
    // equal to the rest value.
    if (!translationSet)
        block.translation = staticBlock.translation;
    if (!rotationSet)
        block.rotation = staticBlock.rotation;
    if (!scaleSet) {
        block.scale = staticBlock.scale;
        block.stretchAxis = staticBlock.stretchAxis;
        block.stretchAngle = staticBlock.stretchAngle;
    }
    if (mode != eUpAxisZ)
        block.matrix = ComposeTransform(block);
    return block;
}

} // namespace

// ---------------------------------------------------------------- library

void CAnimationLibrary::Prepare(const std::vector<CDAEObject*>& libraries)
{
    m_channels.clear();
    m_byTarget.clear();
    m_uiLastFrame = 0;
    m_dStart = 0;

    // Channels in document order, nested animations included.
    struct SLevel {
        CDAEObject* next;
    };
    std::vector<SLevel> stack;
    for (CDAEObject* library : libraries) {
        for (CDAEObject* top : Children(library)) {
            if (top->Kind() != eEl_animation)
                continue;
            stack.push_back({top->FirstChild()});
            while (!stack.empty()) {
                CDAEObject* c = stack.back().next;
                if (!c) {
                    stack.pop_back();
                    continue;
                }
                stack.back().next = c->NextSibling();
                if (c->Kind() == eEl_animation) {
                    if (stack.size() < kMaxAnimationDepth)
                        stack.push_back({c->FirstChild()});
                } else if (c->Kind() == eEl_channel) {
                    const CEl_Channel& channel = *static_cast<const CEl_Channel*>(c);
                    m_channels.push_back(std::make_unique<SAnimChannel>(MakeChannel(channel)));
                    m_byTarget[Lower(channel.TargetNodeId())].push_back(m_channels.back().get());
                }
            }
        }
    }

    // The range covers every key, so unsorted keys are sampled in full.
    double t0 = std::numeric_limits<double>::infinity(), t1 = -t0;
    bool any = false;
    for (const auto& channel : m_channels) {
        if (!channel->bValid)
            continue;
        for (float key : channel->keys) {
            if (!std::isfinite(key))
                continue;
            t0 = std::min(t0, double(key));
            t1 = std::max(t1, double(key));
            any = true;
        }
    }
    if (!any)
        return;
    m_dStart = t0;
    m_uiLastFrame = SampledLastFrame(t0, t1, m_byTarget.size());
}

uint32_t SampledLastFrame(double t0, double t1, uint64_t perFrame)
{
    const double frames = std::floor((t1 - t0) / double(kAnimFrameStep));
    const uint64_t maxLast = kMaxFrameBlocks / std::max<uint64_t>(1, perFrame);
    if (maxLast == 0 || !(frames <= double(maxLast - 1))) {
        const uint64_t last = maxLast ? maxLast - 1 : 0;
        ConversionLog(eLogWarning,
                      "Warning: The animation is too long to be sampled in full; only its first %u frames are kept.\n",
                      unsigned(last + 1));
        return uint32_t(last);
    }
    return uint32_t(std::max(0.0, frames));
}

double CAnimationLibrary::FrameTime(uint32_t f) const
{
    return AnimRound4(double(f) * double(kAnimFrameStep)) + m_dStart;
}

const std::vector<const SAnimChannel*>* CAnimationLibrary::ChannelsOf(const char* nodeId) const
{
    if (!nodeId)
        return nullptr;
    const auto it = m_byTarget.find(Lower(nodeId));
    return it == m_byTarget.end() ? nullptr : &it->second;
}

bool CAnimationLibrary::Attach(const CEl_Node& node, SImportNode& record, EUpAxis mode) const
{
    const std::vector<const SAnimChannel*>* channels = ChannelsOf(node.GetId());
    if (!channels)
        return false;
    const SNodeRest rest = RestOf(node, mode);
    try {
        record.frames.clear();
        record.frames.reserve(size_t(m_uiLastFrame) + 1);
        for (uint32_t f = 0; f <= m_uiLastFrame; ++f)
            record.frames.push_back(FrameFromRest(node, rest, record.transform, *channels, FrameTime(f), mode));
    } catch (const std::bad_alloc&) {
        ConversionLog(eLogError, "Error: Failed to add animation frames to node '%s'.", record.name.c_str());
        std::vector<SImportTransform>().swap(record.frames);
        return false;
    }
    return true;
}

void CAnimationLibrary::Finish(SImportScene& scene) const
{
    scene.firstFrame = 0;
    scene.lastFrame = m_uiLastFrame;
    scene.frameRate = uint32_t(1.0f / kAnimFrameStep);
}
