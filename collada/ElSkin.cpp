#include "collada/ElSkin.h"

#include <algorithm>

#include "collada/DAENumbers.h"
#include "collada/ElGeometry.h"

// ---------------------------------------------------------------- vertex_weights

bool CEl_Vertex_weights::SetAttribute(const char* name, const char* value)
{
    if (CDAEObject::SetAttribute(name, value))
        return true;
    if (EqualsNoCase(name, "count")) {
        m_iCount = DAEParseInt(value);
        return true;
    }
    return false;
}

bool CEl_Vertex_weights::AddChild(CDAEObject* child)
{
    switch (child->Kind()) {
    case eEl_input: {
        // Every input takes a place in each entry, whatever its semantic.
        const CEl_Input* input = static_cast<const CEl_Input*>(child);
        ++m_iInputs;
        if (input->Semantic() == eSemJoint)
            m_pJoint = input;
        else if (input->Semantic() == eSemWeight)
            m_pWeight = input;
        break;
    }
    case eEl_vcount: DAEParseIntList(child->GetContent(), m_vcount); break;
    case eEl_v: DAEParseIntList(child->GetContent(), m_v); break;
    default: return false;
    }
    return CDAEObject::AddChild(child);
}

bool CEl_Vertex_weights::Resolve(CDAEIndex&)
{
    m_starts.clear();
    int64_t at = 0;
    std::vector<int64_t> starts;
    starts.reserve(m_vcount.size());
    const int64_t size = int64_t(m_v.size());
    for (int32_t n : m_vcount) {
        starts.push_back(at);
        // A negative count holds no entries; 64-bit sums cannot wrap here.
        at += int64_t(std::max(n, 0)) * m_iInputs;
        if (at > size)
            return true; // more entries than v holds: no vertex is readable
    }
    m_starts = std::move(starts);
    return true;
}

// ---------------------------------------------------------------- skin

bool CEl_Skin::SetAttribute(const char* name, const char* value)
{
    if (CDAEObject::SetAttribute(name, value))
        return true;
    if (EqualsNoCase(name, "source")) {
        m_sSource = value ? value : "";
        return true;
    }
    return false;
}

bool CEl_Skin::AddChild(CDAEObject* child)
{
    switch (child->Kind()) {
    case eEl_bind_shape_matrix: {
        float d[16];
        if (DAEParseFloatsExactly(child->GetContent(), d, 16) != 16)
            return false;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                m_bindShape[size_t(4 * i + j)] = d[4 * j + i];
        break;
    }
    case eEl_input: {
        // The inputs of joints (passed through to the skin).
        const CEl_Input* input = static_cast<const CEl_Input*>(child);
        if (input->Semantic() == eSemJoint)
            m_pJoint = input;
        else if (input->Semantic() == eSemInvBindMatrix)
            m_pInvBind = input;
        break;
    }
    case eEl_source: break;
    case eEl_vertex_weights: m_pWeights = static_cast<CEl_Vertex_weights*>(child); break;
    default: return false;
    }
    return CDAEObject::AddChild(child);
}

// ---------------------------------------------------------------- controller

bool CEl_Controller::AddChild(CDAEObject* child)
{
    if (child->Kind() == eEl_skin)
        m_pSkin = static_cast<CEl_Skin*>(child);
    else if (child->Kind() == eEl_morph)
        m_pMorph = static_cast<CEl_Morph*>(child);
    else
        return false;
    return CDAEObject::AddChild(child);
}

// ---------------------------------------------------------------- morph

bool CEl_Morph::SetAttribute(const char* name, const char* value)
{
    if (CDAEObject::SetAttribute(name, value))
        return true;
    if (EqualsNoCase(name, "source")) {
        m_sSource = value ? value : "";
        return true;
    }
    return EqualsNoCase(name, "method"); // weights are not applied either way
}

bool CEl_Morph::AddChild(CDAEObject* child)
{
    // The target and weight sources are kept out of the way, unused.
    return child->Kind() == eEl_source && CDAEObject::AddChild(child);
}

CEl_Geometry* ControllerSourceGeometry(const std::string& url, const CDAEIndex& index, bool* throughMorph)
{
    std::string at = url;
    // A chain of morphs ends at a geometry; a cycle or a long chain ends here.
    for (int step = 0; step < 16; ++step) {
        if (CEl_Geometry* g = index.Find<CEl_Geometry>(at.c_str(), eMatchAny, eCatGeometry, eEl_geometry))
            return g;
        const CEl_Controller* c = index.Find<CEl_Controller>(at.c_str(), eMatchAny, eCatController, eEl_controller);
        if (!c || !c->Morph())
            return nullptr;
        if (throughMorph)
            *throughMorph = true;
        at = c->Morph()->SourceUrl();
    }
    return nullptr;
}
