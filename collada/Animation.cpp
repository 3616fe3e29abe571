#include "collada/Animation.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <limits>

#include "base/ConversionLog.h"
#include "import/AffineDecompose.h"
#include "collada/DAEMath.h"
#include "collada/ElCore.h"
#include "collada/ElGeometry.h"
#include "collada/ElScene.h"
#include "collada/NodeTransform.h"

namespace {

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

enum EInterpolation : uint8_t {
    eInterpStep,
    eInterpLinear,
    eInterpBezier,
    eInterpHermite,
    eInterpCardinal,
    eInterpBSpline,
    eInterpUnknown
};

EInterpolation NamedInterpolation(const std::string& name)
{
    static const struct {
        const char* name;
        EInterpolation kind;
    } kNames[] = {{"step", eInterpStep},       {"linear", eInterpLinear},     {"bezier", eInterpBezier},
                  {"hermite", eInterpHermite}, {"cardinal", eInterpCardinal}, {"bspline", eInterpBSpline}};
    for (const auto& row : kNames)
        if (EqualsNoCase(name.c_str(), row.name))
            return row.kind;
    return eInterpUnknown;
}

EInterpolation InterpolationOf(const SAnimChannel& channel, int64_t key)
{
    // Without interpolation names the keys are joined linearly.
    if (!channel.pInterpolation || key < 0 || key >= int64_t(channel.pInterpolation->size()))
        return eInterpLinear;
    // Named once per key when the channel was made; sampling asks per frame.
    if (key < int64_t(channel.interpolation.size()))
        return EInterpolation(channel.interpolation[size_t(key)]);
    return NamedInterpolation((*channel.pInterpolation)[size_t(key)]);
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
        sources.pInterpolation->Array()->Kind() == eEl_name_array) {
        out.pInterpolation = &static_cast<const CEl_NameArray*>(sources.pInterpolation->Array())->Values();
        out.interpolation.reserve(out.pInterpolation->size());
        for (const std::string& name : *out.pInterpolation)
            out.interpolation.push_back(NamedInterpolation(name));
    }
    if ((out.pInTangent = FloatValues(sources.pInTangent)))
        out.iInTangentStride = std::max(1, sources.pInTangent->Stride());
    if ((out.pOutTangent = FloatValues(sources.pOutTangent)))
        out.iOutTangentStride = std::max(1, sources.pOutTangent->Stride());
    out.bValid = true;
    return out;
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

SKeyInterval FindKeyInterval(const SAnimChannel& channel, double T)
{
    SKeyInterval k;
    if (!channel.bValid || channel.ceiling.empty())
        return k;
    // The running maximum first reaches T exactly at the first key whose
    // own rounded time reaches it, so a binary search over it finds that key
    // even among unsorted keys.
    const int64_t last = int64_t(channel.keys.size()) - 1;
    const auto it = std::lower_bound(channel.ceiling.begin(), channel.ceiling.end(), T);
    if (it == channel.ceiling.end()) {
        k.prev = k.next = last; // past the last key: it holds
        return k;
    }
    int64_t next = int64_t(it - channel.ceiling.begin());
    if (std::fabs(channel.rounded[size_t(next)] - T) <= 0.0001 && next < last)
        ++next;
    if (next - 1 < 0) {
        k.prev = k.next = 0; // before the first key: it holds
        return k;
    }
    k.prev = next - 1;
    k.next = next;
    return k;
}

float SampleChannel(const SAnimChannel& channel, const SKeyInterval& k, double T, int c, CImportWarnings& warnings)
{
    const int64_t stride = channel.iOutputStride;
    const double a = ValueAt(channel.pOutput, stride * k.prev + c);
    const EInterpolation kind = InterpolationOf(channel, k.prev);
    if (kind == eInterpStep || k.prev == k.next)
        return float(a);
    if (InterpolationOf(channel, k.next) != kind)
        warnings.WarnOnce(eWarnMixedInterpolation);
    const double b = ValueAt(channel.pOutput, stride * k.next + c);
    const double tPrev = channel.keys[size_t(k.prev)];
    const double tNext = channel.keys[size_t(k.next)];
    const double span = tNext - tPrev;
    const double s = span > 0 ? (std::max(T, tPrev) - tPrev) / span : 0.0;
    if (kind == eInterpLinear)
        return float(a + s * (b - a));
    if (kind == eInterpUnknown) {
        warnings.WarnOnce(eWarnInterpolation);
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

// Values a transform element of a kind holds.
int ValueCount(ETransformKind kind)
{
    switch (kind) {
    case eXformTranslate:
    case eXformScale: return 3;
    case eXformMatrix: return 16;
    case eXformLookat: return 9;
    default: return 4;
    }
}

// A channel bound to the values of one transform element of its node.
struct SChannelBinding {
    const SAnimChannel* pChannel = nullptr;
    size_t element = 0;
    int first = 0;       // first value written
    bool bWhole = false; // every output component, from `first` on
};

// The member a target names after the element's sid: ".X", ".Y", ".Z",
// ".ANGLE", "(i)" or "(r)(c)"; -1 when it names the whole element.
int TargetMember(const std::string& member, ETransformKind kind)
{
    if (member.empty())
        return -1;
    if (member[0] == '.') {
        const std::string name = Lower(member.substr(1));
        if (name == "x")
            return 0;
        if (name == "y")
            return 1;
        if (name == "z")
            return 2;
        if (name == "angle")
            return 3;
        return -2; // nothing this importer can drive
    }
    int numbers[2] = {0, 0};
    int count = 0;
    for (size_t i = 0; i < member.size() && count < 2;) {
        if (!std::isdigit(static_cast<unsigned char>(member[i]))) {
            ++i;
            continue;
        }
        int value = 0;
        while (i < member.size() && std::isdigit(static_cast<unsigned char>(member[i])) && value < 1000)
            value = value * 10 + (member[i++] - '0');
        numbers[count++] = value;
    }
    // Matrices are written row by row: (r)(c) is value 4r + c.
    const int at = count == 2 ? 4 * numbers[0] + numbers[1] : numbers[0];
    return (count >= 1 && at < ValueCount(kind)) ? at : -2;
}

// The node's transform list with a binding for every channel that drives
// it: by the sid the channel's target names, else by the property its
// target text reads as, on the first element of that kind (added, with a
// neutral value, when the node has none).
struct SAnimatedTransforms {
    std::vector<SNodeTransform> transforms;
    std::vector<SChannelBinding> bindings;
    bool bMatrixOnly = false; // a matrix channel of a node without a matrix element
};

SAnimatedTransforms BindChannels(const CEl_Node& node, const std::vector<const SAnimChannel*>& channels)
{
    SAnimatedTransforms out;
    out.transforms = node.Transforms();
    auto firstOf = [&](ETransformKind kind) -> int64_t {
        for (size_t i = 0; i < out.transforms.size(); ++i)
            if (out.transforms[i].eKind == kind)
                return int64_t(i);
        return -1;
    };
    auto add = [&](ETransformKind kind, const std::vector<float>& values, bool front) {
        SNodeTransform t;
        t.eKind = kind;
        std::copy(values.begin(), values.end(), t.values);
        t.m = TransformMatrix(kind, t.values);
        if (front) {
            out.transforms.insert(out.transforms.begin(), t);
            for (SChannelBinding& b : out.bindings)
                ++b.element;
            return size_t(0);
        }
        out.transforms.push_back(t);
        return out.transforms.size() - 1;
    };

    for (const SAnimChannel* channel : channels) {
        if (!channel->bValid)
            continue;
        SChannelBinding b;
        b.pChannel = channel;
        const std::string& target = channel->pChannel->Target();
        const size_t slash = target.rfind('/');
        const std::string tail = slash == std::string::npos ? std::string() : target.substr(slash + 1);
        const size_t cut = tail.find_first_of(".(");
        const std::string sid = tail.substr(0, cut);
        const std::string member = cut == std::string::npos ? std::string() : tail.substr(cut);

        int64_t element = -1;
        for (size_t i = 0; i < out.transforms.size() && !sid.empty(); ++i) {
            const CDAEObject* e = out.transforms[i].pElement;
            if (e && e->GetSid() && sid == e->GetSid()) {
                element = int64_t(i);
                break;
            }
        }
        if (element >= 0) {
            const int at = TargetMember(member, out.transforms[size_t(element)].eKind);
            if (at == -2)
                continue;
            b.element = size_t(element);
            b.bWhole = at < 0;
            b.first = std::max(at, 0);
            out.bindings.push_back(b);
            continue;
        }

        switch (channel->eProperty) {
        case eAnimPropTranslateX:
        case eAnimPropTranslateY:
        case eAnimPropTranslateZ:
        case eAnimPropTranslate:
            element = firstOf(eXformTranslate);
            b.element = element >= 0 ? size_t(element) : add(eXformTranslate, {0, 0, 0}, true);
            b.bWhole = channel->eProperty == eAnimPropTranslate;
            b.first = b.bWhole ? 0 : channel->eProperty - eAnimPropTranslateX;
            break;
        case eAnimPropScaleX:
        case eAnimPropScaleY:
        case eAnimPropScaleZ:
        case eAnimPropScale:
            element = firstOf(eXformScale);
            b.element = element >= 0 ? size_t(element) : add(eXformScale, {1, 1, 1}, false);
            b.bWhole = channel->eProperty == eAnimPropScale;
            b.first = b.bWhole ? 0 : channel->eProperty - eAnimPropScaleX;
            break;
        case eAnimPropRotateX:
        case eAnimPropRotateY:
        case eAnimPropRotateZ: {
            const int axis = channel->eProperty - eAnimPropRotateX;
            element = firstOf(ETransformKind(eXformRotateX + axis));
            std::vector<float> values = {0, 0, 0, 0};
            values[size_t(axis)] = 1;
            b.element = element >= 0 ? size_t(element) : add(ETransformKind(eXformRotateX + axis), values, false);
            b.first = 3;
            break;
        }
        case eAnimPropMatrixElement:
        case eAnimPropMatrix: {
            element = firstOf(eXformMatrix);
            if (element < 0) {
                element = int64_t(add(eXformMatrix, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, false));
                out.bMatrixOnly = true;
            }
            b.element = size_t(element);
            b.bWhole = channel->eProperty == eAnimPropMatrix;
            b.first = b.bWhole ? 0 : channel->iElement;
            break;
        }
        default: continue; // not animated
        }
        out.bindings.push_back(b);
    }
    return out;
}

// The transform block of a node at time T: the bound values sampled into
// the node's transform list, composed in document order and converted as the
// static transform is, so a frame whose values equal the static ones gives
// the static block.
SImportTransform FrameAt(const CEl_Node& node, SAnimatedTransforms& animated, const SImportTransform& staticBlock,
                         double T, EUpAxis mode, CImportWarnings& warnings)
{
    std::vector<SNodeTransform>& transforms = animated.transforms;
    std::vector<bool> touched(transforms.size(), false);
    for (const SChannelBinding& b : animated.bindings) {
        const SKeyInterval k = FindKeyInterval(*b.pChannel, T);
        if (!k.Applies())
            continue;
        SNodeTransform& t = transforms[b.element];
        const int count = ValueCount(t.eKind);
        const int components = b.bWhole ? b.pChannel->iOutputStride : 1;
        for (int c = 0; c < components && b.first + c < count; ++c)
            t.values[b.first + c] = SampleChannel(*b.pChannel, k, T, c, warnings);
        touched[b.element] = true;
    }
    for (size_t i = 0; i < transforms.size(); ++i)
        if (touched[i])
            transforms[i].m = TransformMatrix(transforms[i].eKind, transforms[i].values);

    SMatrix44 local = MatrixIdentity();
    if (animated.bMatrixOnly) {
        for (const SNodeTransform& t : transforms)
            if (t.eKind == eXformMatrix)
                local = t.m; // the channel's matrix replaces the node's transforms
    } else {
        local = ComposeTransforms(transforms);
    }
    SImportTransform block = DecomposeTransform(ConvertLocal(node, local, mode));
    // Parts that come out equal to the static ones but for the rounding of
    // the decomposition keep the static value to the bit, so unanimated
    // tracks stay constant.
    auto snap = [](auto& value, const auto& rest, float tolerance) {
        for (size_t i = 0; i < value.size(); ++i)
            if (!(std::fabs(value[i] - rest[i]) <= tolerance * std::max(1.0f, std::fabs(rest[i]))))
                return false;
        value = rest;
        return true;
    };
    snap(block.translation, staticBlock.translation, 1e-6f);
    snap(block.rotation, staticBlock.rotation, 1e-6f);
    if (snap(block.scale, staticBlock.scale, 1e-5f)) {
        // The stretch only means something next to an unequal scale; near the
        // identity it is all rounding.
        block.stretchAxis = staticBlock.stretchAxis;
        block.stretchAngle = staticBlock.stretchAngle;
    }
    const bool sameParts = block.translation == staticBlock.translation && block.rotation == staticBlock.rotation &&
                           block.scale == staticBlock.scale;
    if (sameParts)
        block.matrix = staticBlock.matrix;
    return block;
}

} // namespace

// ---------------------------------------------------------------- library

void CAnimationLibrary::Prepare(const std::vector<CDAEObject*>& libraries, bool allFrames, uint64_t frameBlockLimit)
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
    m_uiLastFrame = SampledLastFrame(t0, t1, m_byTarget.size(), allFrames, frameBlockLimit);
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
    SAnimatedTransforms animated = BindChannels(node, *channels);
    try {
        record.frames.clear();
        record.frames.reserve(size_t(m_uiLastFrame) + 1);
        for (uint32_t f = 0; f <= m_uiLastFrame; ++f)
            record.frames.push_back(FrameAt(node, animated, record.transform, FrameTime(f), mode, m_warnings));
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
