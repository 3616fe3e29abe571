#include "collada/ElGeometry.h"

#include <cstring>

#include <algorithm>

#include "base/ConversionLog.h"
#include "collada/DAENumbers.h"
#include "collada/ElCore.h"
#include "collada/PolygonTriangulate.h"

namespace {

// The run holding triangle t: starts[k] <= t < starts[k + 1] (starts sorted,
// starts[0] <= t). Corners are mostly asked for in order, so the run of the
// last answer and the next one are tried before a binary search.
size_t FindRun(const std::vector<int64_t>& starts, int64_t t, std::atomic<size_t>& cursor)
{
    const size_t n = starts.size();
    const size_t hint = cursor.load(std::memory_order_relaxed);
    size_t k = hint < n ? hint : 0;
    auto holds = [&](size_t i) { return starts[i] <= t && (i + 1 == n || starts[i + 1] > t); };
    if (!holds(k)) {
        if (k + 1 < n && holds(k + 1))
            ++k;
        else
            k = size_t(std::upper_bound(starts.begin(), starts.end(), t) - starts.begin()) - 1;
    }
    cursor.store(k, std::memory_order_relaxed);
    return k;
}

struct SSemanticRow {
    const char* name;
    EInputSemantic semantic; // eSemNone: not taken
};

const SSemanticRow kSemantics[] = {
    {"BINORMAL", eSemNone},
    {"COLOR", eSemColor},
    {"CONTINUITY", eSemNone},
    {"IMAGE", eSemNone},
    {"INPUT", eSemInput},
    {"IN_TANGENT", eSemInTangent},
    {"INTERPOLATION", eSemInterpolation},
    {"INV_BIND_MATRIX", eSemInvBindMatrix},
    {"JOINT", eSemJoint},
    {"LINEAR_STEPS", eSemNone},
    {"MORPH_TARGET", eSemNone},
    {"MORPH_WEIGHT", eSemNone},
    {"NORMAL", eSemNormal},
    {"OUTPUT", eSemOutput},
    {"OUT_TANGENT", eSemOutTangent},
    {"POSITION", eSemPosition},
    {"TANGENT", eSemNone},
    {"TEXBINORMAL", eSemNone},
    {"TEXTANGENT", eSemNone},
    {"TEXCOORD", eSemTexcoord},
    {"UV", eSemUV},
    {"VERTEX", eSemVertex},
    {"WEIGHT", eSemWeight},
};

// A chain of vertices elements that name each other ends here.
constexpr int kMaxVertexNesting = 8;

// stride x v + offset, or -1 when it cannot be an index-list position (a
// stream vertex past any list, from counts in the billions).
int64_t ListPosition(int32_t stride, int64_t v, int32_t offset)
{
    int64_t at = 0;
    if (v < 0 || __builtin_mul_overflow(int64_t(stride), v, &at) || __builtin_add_overflow(at, int64_t(offset), &at))
        return -1;
    return at;
}

} // namespace

EInputSemantic ParseInputSemantic(const char* text)
{
    if (!text)
        return eSemNone;
    for (const SSemanticRow& row : kSemantics)
        if (EqualsNoCase(text, row.name))
            return row.semantic;
    return eSemNone;
}

// ---------------------------------------------------------------- input

bool CEl_Input::SetAttribute(const char* name, const char* value)
{
    if (CDAEObject::SetAttribute(name, value))
        return true;
    if (EqualsNoCase(name, "semantic")) {
        m_eSemantic = ParseInputSemantic(value);
        return m_eSemantic != eSemNone;
    }
    if (EqualsNoCase(name, "source")) {
        m_sSource = value ? value : "";
        m_bHasSource = true;
        return true;
    }
    if (EqualsNoCase(name, "offset")) {
        m_iOffset = DAEParseInt(value);
        return true;
    }
    if (EqualsNoCase(name, "set")) {
        m_iSet = DAEParseInt(value);
        return true;
    }
    return false;
}

bool CEl_Input::Resolve(CDAEIndex& index)
{
    if (m_bHasSource)
        m_pSource = index.FindObject(m_sSource.c_str(), eMatchId, eCatSource);
    return true;
}

CEl_Source* CEl_Input::SourceElement() const
{
    return (m_pSource && m_pSource->Kind() == eEl_source) ? static_cast<CEl_Source*>(m_pSource) : nullptr;
}

CEl_Vertices* CEl_Input::VerticesElement() const
{
    return (m_pSource && m_pSource->Kind() == eEl_vertices) ? static_cast<CEl_Vertices*>(m_pSource) : nullptr;
}

// ---------------------------------------------------------------- param

bool CEl_Param::SetAttribute(const char* name, const char* value)
{
    if (CDAEObject::SetAttribute(name, value))
        return true;
    if (EqualsNoCase(name, "ref")) {
        m_sRef = value ? value : "";
        m_bHasRef = true;
        return true;
    }
    if (EqualsNoCase(name, "type")) {
        m_sType = value ? value : "";
        return true;
    }
    return false;
}

// ---------------------------------------------------------------- arrays

namespace {
// Some exporters write the numbers of a comma locale ("0,5"). When every
// comma of the text sits between the digits of one word, pointValues receive
// that reading too; the array's count decides between the two (Resolve).
void ParseValues(const char* text, std::vector<float>& out, std::vector<float>& pointValues)
{
    DAEParseFloatList(text, out);
    if (std::strchr(text, ',') && DAEDecimalCommas(text, 0) != eDAENoDecimalCommas)
        DAEParseFloatList(DAEDecimalCommasToPoints(text).c_str(), pointValues);
}
void ParseValues(const char* text, std::vector<std::string>& out, std::vector<std::string>&)
{
    DAEParseStringList(text, out);
}
} // namespace

template <class T, EElementKind K>
bool CEl_Array<T, K>::SetContent(const char* text)
{
    // Parsed straight from the parser's text; no copy of it is kept.
    ParseValues(text, m_values, m_pointValues);
    m_iCount = int64_t(m_values.size());
    return true;
}

template <class T, EElementKind K>
bool CEl_Array<T, K>::SetAttribute(const char* name, const char* value)
{
    if (CDAEObject::SetAttribute(name, value))
        return true;
    if (EqualsNoCase(name, "count")) {
        m_iCount = DAEParseInt(value);
        return true;
    }
    return false;
}

template <class T, EElementKind K>
bool CEl_Array<T, K>::Resolve(CDAEIndex& index)
{
    // Decimal commas when the count says so, and only then.
    if (!m_pointValues.empty() && m_iCount == int64_t(m_pointValues.size()) && m_iCount != int64_t(m_values.size())) {
        m_values.swap(m_pointValues);
        NoteDecimalCommas();
    }
    std::vector<T>().swap(m_pointValues);
    // The count is only a claim: storage follows the values in the text, so
    // a count in the billions costs nothing, but the user should know.
    if (m_iCount > int64_t(m_values.size()))
        ConversionLog(eLogWarning, "WARNING: Array \"%s\" claims %lld values but holds only %lld.",
                      GetId() ? GetId() : "", static_cast<long long>(m_iCount),
                      static_cast<long long>(m_values.size()));
    return CDAEObject::Resolve(index);
}

template class CEl_Array<float, eEl_float_array>;
template class CEl_Array<std::string, eEl_name_array>;
template class CEl_Array<std::string, eEl_idref_array>;

// ---------------------------------------------------------------- accessor

bool CEl_Accessor::SetAttribute(const char* name, const char* value)
{
    if (CDAEObject::SetAttribute(name, value))
        return true;
    if (EqualsNoCase(name, "source")) {
        m_sSource = value ? value : "";
        m_bHasSource = true;
    } else if (EqualsNoCase(name, "count")) {
        m_iCount = DAEParseInt(value);
    } else if (EqualsNoCase(name, "stride")) {
        m_iStride = DAEParseInt(value);
    } else if (EqualsNoCase(name, "offset")) {
        m_iOffset = DAEParseInt(value);
    } else {
        return false;
    }
    return true;
}

bool CEl_Accessor::AddChild(CDAEObject* child)
{
    if (child->Kind() != eEl_param)
        return false;
    if (child->GetName())
        m_namedParams.push_back(int32_t(m_params.size()));
    m_params.push_back(static_cast<CEl_Param*>(child));
    return CDAEObject::AddChild(child);
}

bool CEl_Accessor::Resolve(CDAEIndex& index)
{
    if (!m_bHasSource)
        return true;
    m_pArray = index.FindObject(m_sSource.c_str(), eMatchId, eCatArray);
    if (!m_pArray)
        return true;
    switch (m_pArray->Kind()) {
    case eEl_float_array: m_iArrayCount = static_cast<CEl_FloatArray*>(m_pArray)->StatedCount(); break;
    case eEl_name_array: m_iArrayCount = static_cast<CEl_NameArray*>(m_pArray)->StatedCount(); break;
    case eEl_idref_array: m_iArrayCount = static_cast<CEl_IdrefArray*>(m_pArray)->StatedCount(); break;
    default: break;
    }
    return true;
}

const CEl_FloatArray* CEl_Accessor::FloatArray() const
{
    return (m_pArray && m_pArray->Kind() == eEl_float_array) ? static_cast<const CEl_FloatArray*>(m_pArray) : nullptr;
}

int CEl_Accessor::Read(int64_t i, float* out, int k) const
{
    const CEl_FloatArray* array = FloatArray();
    if (!array || i < 0 || i >= m_iCount || m_params.empty() || k <= 0)
        return 0;
    const int64_t first = int64_t(m_iStride) * i + m_iOffset;
    if (first < 0)
        return 0;
    const std::vector<float>& values = array->Values();
    const int64_t parsed = int64_t(values.size());
    const int64_t stated = array->StatedCount();
    // Every param takes one position; only named ones deliver a value.
    int delivered = 0;
    for (int32_t position : m_namedParams) {
        const int64_t at = first + position;
        if (at >= stated)
            break;
        out[delivered++] = at < parsed ? values[size_t(at)] : 0.0f;
        if (delivered == k)
            break;
    }
    return delivered;
}

// ---------------------------------------------------------------- source, vertices

bool CEl_Source::AddChild(CDAEObject* child)
{
    if (child->Kind() == eEl_accessor)
        m_pAccessor = static_cast<CEl_Accessor*>(child);
    return CDAEObject::AddChild(child);
}

bool CEl_Vertices::AddChild(CDAEObject* child)
{
    return child->Kind() == eEl_input && CDAEObject::AddChild(child);
}

// ---------------------------------------------------------------- triangles

bool CEl_Triangles::SetAttribute(const char* name, const char* value)
{
    if (CDAEObject::SetAttribute(name, value))
        return true;
    if (EqualsNoCase(name, "material")) {
        m_sMaterial = value ? value : "";
        m_bHasMaterial = true;
        return true;
    }
    if (EqualsNoCase(name, "count")) {
        m_iCount = DAEParseInt(value);
        return true;
    }
    return false;
}

bool CEl_Triangles::AddChild(CDAEObject* child)
{
    switch (child->Kind()) {
    case eEl_input: return CDAEObject::AddChild(child);
    case eEl_p:
        // A later p replaces an earlier one.
        DAEParseIntList(child->GetContent(), m_p);
        m_bHasP = true;
        return CDAEObject::AddChild(child);
    default: return false;
    }
}

void CEl_Triangles::BindInput(const CEl_Input* input, int32_t offset, int depth)
{
    const EInputSemantic semantic = input->Semantic();
    if (semantic == eSemVertex) {
        const CEl_Vertices* vertices = input->VerticesElement();
        if (!vertices || depth >= kMaxVertexNesting)
            return;
        for (CDAEObject* c : Children(vertices))
            if (c->Kind() == eEl_input)
                BindInput(static_cast<const CEl_Input*>(c), offset, depth + 1);
        return;
    }
    if (semantic != eSemPosition && semantic != eSemNormal && semantic != eSemColor && semantic != eSemTexcoord)
        return;
    const CEl_Source* source = input->SourceElement();
    const CEl_Accessor* accessor = source ? source->Accessor() : nullptr;
    if (!accessor)
        return;
    const SInputBinding binding{accessor, offset, input->Set()};
    switch (semantic) {
    case eSemPosition:
        m_position = binding;
        m_bPosition = true;
        break;
    case eSemNormal:
        m_normal = binding;
        m_bNormal = true;
        break;
    case eSemColor:
        m_colour = binding;
        m_bColour = true;
        break;
    default:
        if (m_iTexcoords < 8)
            m_texcoords[m_iTexcoords++] = binding;
        else
            m_bDroppedTexcoords = true;
        break;
    }
}

void CEl_Triangles::BindInputs()
{
    m_iInputCount = 0;
    m_iStride = 0;
    std::vector<int32_t> offsets;
    for (CDAEObject* c : Children(this)) {
        if (c->Kind() != eEl_input)
            continue;
        const CEl_Input* input = static_cast<const CEl_Input*>(c);
        ++m_iInputCount;
        if (std::find(offsets.begin(), offsets.end(), input->Offset()) == offsets.end()) {
            offsets.push_back(input->Offset());
            ++m_iStride;
        }
        BindInput(input, input->Offset(), 0);
    }
}

void ResetCorner(SCornerData& data)
{
    // The texture coordinates are left alone: only the uvSets read are valid.
    data.position[0] = data.position[1] = data.position[2] = 0;
    data.normal[0] = data.normal[2] = 0;
    data.normal[1] = 1;
    data.colour[0] = data.colour[1] = data.colour[2] = 0;
    data.colour[3] = 1;
    data.bPosition = data.bNormal = data.bColour = false;
    data.uvSets = 0;
}

bool CEl_Triangles::ReadVertex(const int32_t* list, size_t listSize, int64_t v, SCornerData& data) const
{
    ResetCorner(data);
    if (!m_bPosition || v < 0)
        return false;
    const int64_t size = int64_t(listSize);
    auto indexOf = [&](const SInputBinding& b, int64_t& index) {
        const int64_t at = ListPosition(m_iStride, v, b.iOffset);
        if (at < 0 || at >= size)
            return false;
        index = list[at];
        return true;
    };
    int64_t index = 0;
    if (!indexOf(m_position, index))
        return false;
    const int n = m_position.pAccessor->Read(index, data.position, 3);
    if (n <= 0)
        return false;
    for (int i = n; i < 3; ++i)
        data.position[i] = 0;
    data.bPosition = true;

    if (m_bNormal && indexOf(m_normal, index)) {
        float normal[3] = {0, 0, 0};
        if (m_normal.pAccessor->Read(index, normal, 3) > 0) {
            std::copy(normal, normal + 3, data.normal);
            data.bNormal = true;
        }
    }
    if (m_bColour && indexOf(m_colour, index)) {
        // Missing green and blue read 0, missing alpha 1.
        if (m_colour.pAccessor->Read(index, data.colour, 4) > 0)
            data.bColour = true;
    }
    for (int s = 0; s < m_iTexcoords; ++s) {
        const int read = indexOf(m_texcoords[s], index) ? m_texcoords[s].pAccessor->Read(index, data.uv[s], 3) : 0;
        if (read <= 0)
            break;
        for (int i = read; i < 3; ++i)
            data.uv[s][i] = 0;
        data.uvSets = s + 1;
    }
    return true;
}

int32_t CEl_Triangles::PositionIndexAt(const int32_t* list, size_t listSize, int64_t v) const
{
    if (!m_bPosition || v < 0)
        return -1;
    const int64_t at = ListPosition(m_iStride, v, m_position.iOffset);
    if (at < 0 || at >= int64_t(listSize))
        return -1;
    return list[at];
}

bool CEl_Triangles::SplitFace(const int32_t* list, size_t listSize, int64_t first,
                              const std::vector<uint32_t>& ringSizes, std::vector<uint32_t>& corners,
                              int64_t* triangles) const
{
    size_t vertices = 0;
    for (uint32_t n : ringSizes)
        vertices += n;
    *triangles = int64_t(ringSizes[0]) - 2;
    if ((vertices < 4 && ringSizes.size() == 1) || vertices > kMaxClippedPolygonVertices || !m_bPosition)
        return false;
    thread_local std::vector<float> points;
    thread_local std::vector<uint32_t> split;
    points.resize(3 * vertices);
    for (size_t i = 0; i < vertices; ++i) {
        const int32_t index = PositionIndexAt(list, listSize, first + int64_t(i));
        float* p = &points[3 * i];
        p[0] = p[1] = p[2] = 0;
        if (index < 0 || m_position.pAccessor->Read(index, p, 3) <= 0)
            return false; // an unreadable corner: the fan, as ever
    }
    if (TriangulatePolygon(points.data(), ringSizes, &split) != ePolygonClipped)
        return false;
    corners.insert(corners.end(), split.begin(), split.end());
    *triangles = int64_t(split.size() / 3);
    return true;
}

bool CEl_Triangles::Build()
{
    if (m_bBuilt)
        return m_bBuildResult;
    m_bBuilt = true;
    if (!m_bHasP)
        return m_bBuildResult = false;
    BindInputs();
    m_iTriangles = std::max<int64_t>(m_iCount, 0);
    m_iTrianglesWithinData =
        m_iStride > 0 ? std::min<int64_t>(m_iTriangles, int64_t(m_p.size()) / (3 * int64_t(m_iStride))) : 0;
    return m_bBuildResult = true;
}

bool CEl_Triangles::GetCorner(int64_t corner, SCornerData& data) const
{
    if (!m_bBuilt || corner < 0 || corner >= 3 * m_iTriangles) {
        ResetCorner(data);
        return false;
    }
    return ReadVertex(m_p.data(), m_p.size(), corner, data);
}

int32_t CEl_Triangles::GetPositionIndex(int64_t corner) const
{
    if (!m_bBuilt || corner < 0 || corner >= 3 * m_iTriangles)
        return -1;
    return PositionIndexAt(m_p.data(), m_p.size(), corner);
}

// ---------------------------------------------------------------- polylist

bool CEl_PolyList::AddChild(CDAEObject* child)
{
    if (child->Kind() == eEl_vcount) {
        DAEParseIntList(child->GetContent(), m_vcount);
        m_bHasVCount = true;
        return CDAEObject::AddChild(child);
    }
    return CEl_Triangles::AddChild(child);
}

bool CEl_PolyList::Build()
{
    if (m_bBuilt)
        return m_bBuildResult;
    m_bBuilt = true;
    if (!m_bHasP || !m_bHasVCount)
        return m_bBuildResult = false;
    BindInputs();

    const int64_t available = m_iStride > 0 ? int64_t(m_p.size()) / m_iStride : 0;
    m_bAllTriangles = std::all_of(m_vcount.begin(), m_vcount.end(), [](int32_t n) { return n == 3; });
    if (m_bAllTriangles) {
        m_iTriangles = int64_t(m_vcount.size());
        m_iTrianglesWithinData = std::min(m_iTriangles, available / 3);
    } else {
        size_t polygons = 0;
        for (int32_t n : m_vcount)
            polygons += n >= 3;
        m_polyTriangle.reserve(polygons);
        m_polyVertex.reserve(polygons);
        int64_t triangle = 0, vertex = 0, within = 0;
        std::vector<uint32_t> rings(1);
        for (int32_t n : m_vcount) {
            if (n >= 3) {
                // Faces that are not convex are clipped into ears.
                int64_t split = -1, count = n - 2;
                rings[0] = uint32_t(n);
                const int64_t start = int64_t(m_splitCorners.size());
                if (n > 3 && vertex + n <= available &&
                    SplitFace(m_p.data(), m_p.size(), vertex, rings, m_splitCorners, &count))
                    split = start;
                if (split >= 0 || !m_polySplit.empty()) {
                    m_polySplit.resize(m_polyTriangle.size(), -1);
                    m_polySplit.push_back(split);
                }
                m_polyTriangle.push_back(triangle);
                m_polyVertex.push_back(vertex);
                triangle += n - 2;
                if (vertex + n <= available)
                    within += n - 2;
                else if (vertex + 2 < available)
                    within += available - vertex - 2;
            }
            vertex += std::max<int32_t>(n, 0);
        }
        m_iTriangles = triangle;
        m_iTrianglesWithinData = within;
    }
    // The corner map replaces the counts.
    std::vector<int32_t>().swap(m_vcount);
    return m_bBuildResult = true;
}

int64_t CEl_PolyList::StreamVertex(int64_t corner) const
{
    if (!m_bBuilt || corner < 0 || corner >= 3 * m_iTriangles)
        return -1;
    if (m_bAllTriangles)
        return corner;
    const int64_t t = corner / 3;
    const int c = int(corner % 3);
    const size_t k = FindRun(m_polyTriangle, t, m_uiCursor);
    const int64_t j = t - m_polyTriangle[k];
    const int64_t b = m_polyVertex[k];
    if (!m_polySplit.empty() && m_polySplit[k] >= 0)
        return b + m_splitCorners[size_t(m_polySplit[k] + 3 * j + c)];
    return c == 0 ? b : b + j + c;
}

bool CEl_PolyList::GetCorner(int64_t corner, SCornerData& data) const
{
    const int64_t v = StreamVertex(corner);
    if (v < 0) {
        ResetCorner(data);
        return false;
    }
    return ReadVertex(m_p.data(), m_p.size(), v, data);
}

int32_t CEl_PolyList::GetPositionIndex(int64_t corner) const
{
    const int64_t v = StreamVertex(corner);
    return v < 0 ? -1 : PositionIndexAt(m_p.data(), m_p.size(), v);
}

// ---------------------------------------------------------------- polygons, trifans, tristrips

bool CEl_Polygons::AddChild(CDAEObject* child)
{
    if (child->Kind() == eEl_h && Kind() == eEl_polygons && !m_listStart.empty()) {
        // A hole of the polygon just read (ph passes its p and h elements
        // through): its values join that polygon's list.
        const size_t list = ListCount() - 1;
        if (m_ringValues.size() < ListCount())
            m_ringValues.resize(ListCount());
        std::vector<uint32_t>& rings = m_ringValues[list];
        if (rings.empty())
            rings.push_back(uint32_t(m_listStart[list + 1] - m_listStart[list]));
        const size_t before = m_lists.size();
        ForEachDAEToken(child->GetContent(), [this](std::string_view t) { m_lists.push_back(DAEIntToken(t)); });
        rings.push_back(uint32_t(m_lists.size() - before));
        m_listStart.back() = m_lists.size();
        return CDAEObject::AddChild(child);
    }
    if (child->Kind() != eEl_p)
        return CEl_Triangles::AddChild(child);
    // Each p is one polygon, fan or strip, parsed on its own.
    if (m_listStart.empty())
        m_listStart.push_back(0);
    ForEachDAEToken(child->GetContent(), [this](std::string_view t) { m_lists.push_back(DAEIntToken(t)); });
    m_listStart.push_back(m_lists.size());
    m_bHasP = true;
    return CDAEObject::AddChild(child);
}

void CEl_Polygons::Triangulate(bool strips)
{
    m_bStrips = strips;
    int64_t triangles = 0;
    const size_t lists = ListCount();
    std::vector<uint32_t> rings;
    for (size_t i = 0; i < lists && m_iStride > 0; ++i) {
        const size_t values = m_listStart[i + 1] - m_listStart[i];
        // Rings in vertices: the whole list, or the outer ring and its holes.
        rings.assign(1, uint32_t(values / size_t(m_iStride)));
        if (i < m_ringValues.size() && !m_ringValues[i].empty()) {
            rings.clear();
            for (uint32_t v : m_ringValues[i])
                rings.push_back(v / uint32_t(m_iStride));
        }
        const int64_t n = rings[0];
        if (n < 3)
            continue; // fewer than three vertices make nothing
        int64_t count = n - 2, split = -1;
        const int64_t start = int64_t(m_splitCorners.size());
        if (!strips && Kind() == eEl_polygons &&
            SplitFace(m_lists.data() + m_listStart[i], values, 0, rings, m_splitCorners, &count))
            split = start;
        if (split >= 0 || !m_mapSplit.empty()) {
            m_mapSplit.resize(m_mapList.size(), -1);
            m_mapSplit.push_back(split);
        }
        m_mapList.push_back(uint32_t(i));
        m_mapTriangle.push_back(triangles);
        triangles += count;
    }
    m_iTriangles = triangles;
    m_iTrianglesWithinData = triangles;
}

bool CEl_Polygons::Build()
{
    if (m_bBuilt)
        return m_bBuildResult;
    m_bBuilt = true;
    if (ListCount() == 0)
        return m_bBuildResult = false;
    BindInputs();
    Triangulate(false);
    return m_bBuildResult = true;
}

bool CEl_TriStrips::Build()
{
    if (m_bBuilt)
        return m_bBuildResult;
    m_bBuilt = true;
    if (ListCount() == 0)
        return m_bBuildResult = false;
    BindInputs();
    Triangulate(true);
    return m_bBuildResult = true;
}

bool CEl_Polygons::LocateCorner(int64_t corner, size_t& list, int64_t& vertex) const
{
    if (!m_bBuilt || corner < 0 || corner >= 3 * m_iTriangles || m_mapTriangle.empty())
        return false;
    const int64_t t = corner / 3;
    const int c = int(corner % 3);
    const size_t k = FindRun(m_mapTriangle, t, m_uiCursor);
    const int64_t i = t - m_mapTriangle[k];
    list = m_mapList[k];
    if (!m_mapSplit.empty() && m_mapSplit[k] >= 0)
        vertex = m_splitCorners[size_t(m_mapSplit[k] + 3 * i + c)];
    else if (!m_bStrips)
        vertex = c == 0 ? 0 : i + c;
    else if (i % 2 == 0)
        vertex = i + c;
    else
        vertex = i + 2 - c; // odd triangles turn round: (i+2, i+1, i)
    return true;
}

bool CEl_Polygons::GetCorner(int64_t corner, SCornerData& data) const
{
    size_t list = 0;
    int64_t vertex = 0;
    if (!LocateCorner(corner, list, vertex)) {
        ResetCorner(data);
        return false;
    }
    const size_t begin = m_listStart[list];
    return ReadVertex(m_lists.data() + begin, m_listStart[list + 1] - begin, vertex, data);
}

int32_t CEl_Polygons::GetPositionIndex(int64_t corner) const
{
    size_t list = 0;
    int64_t vertex = 0;
    if (!m_bPosition || !LocateCorner(corner, list, vertex))
        return -1;
    // An index position outside the corner's own list reads as 0 here.
    const size_t begin = m_listStart[list];
    const int64_t at = ListPosition(m_iStride, vertex, m_position.iOffset);
    if (at < 0 || at >= int64_t(m_listStart[list + 1] - begin))
        return 0;
    return m_lists[begin + size_t(at)];
}

// ---------------------------------------------------------------- geometry

bool CEl_Geometry::AddChild(CDAEObject* child)
{
    switch (child->Kind()) {
    case eEl_source:
    case eEl_vertices: break;
    case eEl_asset:
        if (m_pAsset)
            return false;
        m_pAsset = child;
        return CDAEObject::AddChild(child);
    case eEl_triangles: ++m_iTriangles; break;
    case eEl_polylist: ++m_iPolylists; break;
    case eEl_polygons: ++m_iPolygons; break;
    case eEl_trifans: ++m_iTrifans; break;
    case eEl_tristrips: ++m_iTristrips; break;
    default: return false;
    }
    if (child->Kind() != eEl_source && child->Kind() != eEl_vertices) {
        m_primitives.push_back(static_cast<CEl_Triangles*>(child));
        ++m_iPrimitives;
    }
    return CDAEObject::AddChild(child);
}

double CEl_Geometry::OwnMeter() const
{
    return m_pAsset ? static_cast<const CEl_Asset*>(m_pAsset)->Meter() : 0.0;
}

int CEl_Geometry::CountOf(EElementKind kind) const
{
    switch (kind) {
    case eEl_triangles: return m_iTriangles;
    case eEl_polylist: return m_iPolylists;
    case eEl_polygons: return m_iPolygons;
    case eEl_trifans: return m_iTrifans;
    case eEl_tristrips: return m_iTristrips;
    default: return 0;
    }
}
