#include "collada/ElAnimation.h"

#include <cctype>
#include <string_view>

#include "collada/ElGeometry.h"

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// 0, 1 or 2 for x, y, z in either case; -1 otherwise.
int AxisOf(char c)
{
    switch (c) {
    case 'x':
    case 'X': return 0;
    case 'y':
    case 'Y': return 1;
    case 'z':
    case 'Z': return 2;
    default: return -1;
    }
}

} // namespace

EAnimProperty ParseAnimProperty(const char* text, int* matrixElement)
{
    if (matrixElement)
        *matrixElement = -1;
    const std::string_view t = text ? std::string_view(text) : std::string_view();
    if (t.empty())
        return eAnimPropNone;

    for (std::string_view prefix : {std::string_view("transform"), std::string_view("matrix")}) {
        if (!StartsWithNoCase(t, prefix))
            continue;
        if (t.size() == prefix.size())
            return eAnimPropMatrix;
        // "(r)(c)", "(r)", ".r" and the like: the digit runs after the name.
        int numbers[2] = {0, 0};
        int count = 0;
        for (size_t i = prefix.size(); i < t.size();) {
            if (!std::isdigit(static_cast<unsigned char>(t[i]))) {
                ++i;
                continue;
            }
            long value = 0;
            while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) {
                if (value < 1000)
                    value = value * 10 + (t[i] - '0');
                ++i;
            }
            if (count == 2)
                return eAnimPropNone;
            numbers[count++] = int(value);
        }
        int element = -1;
        if (count == 1)
            element = numbers[0];
        else if (count == 2 && numbers[0] < 4 && numbers[1] < 4)
            element = 4 * numbers[0] + numbers[1];
        if (element < 0 || element >= 16)
            return eAnimPropNone;
        if (matrixElement)
            *matrixElement = element;
        return eAnimPropMatrixElement;
    }

    const int last = AxisOf(t.back());
    if (StartsWithNoCase(t, "trans") || StartsWithNoCase(t, "location") || StartsWithNoCase(t, "pos")) {
        static const EAnimProperty kTranslate[3] = {eAnimPropTranslateX, eAnimPropTranslateY, eAnimPropTranslateZ};
        return last >= 0 ? kTranslate[last] : eAnimPropTranslate;
    }
    if (StartsWithNoCase(t, "rot")) {
        static const EAnimProperty kRotate[3] = {eAnimPropRotateX, eAnimPropRotateY, eAnimPropRotateZ};
        int axis = last;
        if (axis < 0) {
            // rotateZ.ANGLE: the letter before the last '.'
            const size_t dot = t.rfind('.');
            if (dot != std::string_view::npos && dot > 0)
                axis = AxisOf(t[dot - 1]);
        }
        return axis >= 0 ? kRotate[axis] : eAnimPropNone;
    }
    if (StartsWithNoCase(t, "scale")) {
        static const EAnimProperty kScale[3] = {eAnimPropScaleX, eAnimPropScaleY, eAnimPropScaleZ};
        return last >= 0 ? kScale[last] : eAnimPropScale;
    }
    return eAnimPropNone;
}

// ---------------------------------------------------------------- sampler

bool CEl_Sampler::AddChild(CDAEObject* child)
{
    return child->Kind() == eEl_input && CDAEObject::AddChild(child);
}

// ---------------------------------------------------------------- channel

bool CEl_Channel::SetAttribute(const char* name, const char* value)
{
    if (CDAEObject::SetAttribute(name, value))
        return true;
    if (EqualsNoCase(name, "source")) {
        m_sSource = value ? value : "";
        m_bHasSource = true;
        return true;
    }
    if (EqualsNoCase(name, "target")) {
        m_sTarget = value ? value : "";
        const size_t slash = m_sTarget.find('/');
        m_sTargetNode = m_sTarget.substr(0, slash);
        const size_t lastSlash = m_sTarget.rfind('/');
        const std::string property = lastSlash == std::string::npos ? m_sTarget : m_sTarget.substr(lastSlash + 1);
        m_eProperty = ParseAnimProperty(property.c_str(), &m_iMatrixElement);
        return true;
    }
    return false;
}

bool CEl_Channel::Resolve(CDAEIndex& index)
{
    if (m_bHasSource) {
        CDAEObject* o = index.FindObject(m_sSource.c_str(), eMatchAny, eCatAll);
        if (o && o->Kind() == eEl_sampler)
            m_pSampler = static_cast<CEl_Sampler*>(o);
    }
    return true;
}

SChannelSources CEl_Channel::Sources() const
{
    SChannelSources out;
    if (!m_pSampler)
        return out;
    for (CDAEObject* c : Children(m_pSampler)) {
        if (c->Kind() != eEl_input)
            continue;
        const CEl_Input* input = static_cast<const CEl_Input*>(c);
        const CEl_Source* source = input->SourceElement();
        const CEl_Accessor* accessor = source ? source->Accessor() : nullptr;
        switch (input->Semantic()) {
        case eSemInput: out.pInput = accessor; break;
        case eSemOutput: out.pOutput = accessor; break;
        case eSemInterpolation: out.pInterpolation = accessor; break;
        case eSemInTangent: out.pInTangent = accessor; break;
        case eSemOutTangent: out.pOutTangent = accessor; break;
        default: break;
        }
    }
    return out;
}

// ---------------------------------------------------------------- animation

bool CEl_Animation::AddChild(CDAEObject* child)
{
    switch (child->Kind()) {
    case eEl_animation: m_animations.push_back(static_cast<CEl_Animation*>(child)); break;
    case eEl_channel: m_channels.push_back(static_cast<CEl_Channel*>(child)); break;
    case eEl_source:
    case eEl_sampler:
    case eEl_input: break;
    default: return false;
    }
    return CDAEObject::AddChild(child);
}
