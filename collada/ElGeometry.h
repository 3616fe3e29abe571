#pragma once
// Geometry elements: sources, accessors, value arrays, inputs, and the
// primitive kinds with their triangulation and corner reads.
#include <atomic>
#include <string>
#include <vector>

#include "collada/DAEIndex.h"
#include "collada/DAEObject.h"

class CEl_Accessor;
class CEl_Source;
class CEl_Vertices;

enum EInputSemantic : int32_t {
    eSemNone = -1,
    eSemColor,
    eSemInput,
    eSemInTangent,
    eSemInterpolation,
    eSemInvBindMatrix,
    eSemJoint,
    eSemNormal,
    eSemOutput,
    eSemOutTangent,
    eSemPosition,
    eSemTexcoord,
    eSemUV,
    eSemVertex,
    eSemWeight,
};

// The semantic of a taken row (any case), eSemNone for refused and unknown
// semantics (BINORMAL, TANGENT, TEXTANGENT, ...).
EInputSemantic ParseInputSemantic(const char* text);

class CEl_Input : public CDAEObject {
public:
    CEl_Input() : CDAEObject(eEl_input) {}
    bool SetAttribute(const char* name, const char* value) override;
    bool Resolve(CDAEIndex& index) override;

    EInputSemantic Semantic() const { return m_eSemantic; }
    const std::string& SourceUrl() const { return m_sSource; }
    int32_t Offset() const { return m_iOffset; }
    int32_t Set() const { return m_iSet; }
    // The resolved source or vertices element, or null.
    CDAEObject* Source() const { return m_pSource; }
    CEl_Source* SourceElement() const;
    CEl_Vertices* VerticesElement() const;

private:
    EInputSemantic m_eSemantic = eSemNone;
    std::string m_sSource;
    bool m_bHasSource = false;
    int32_t m_iOffset = 0;
    int32_t m_iSet = 0;
    CDAEObject* m_pSource = nullptr;
};

// An accessor's param, a bind's param (ref) or a shader parameter marker.
class CEl_Param : public CDAEObject {
public:
    CEl_Param() : CDAEObject(eEl_param) {}
    bool SetAttribute(const char* name, const char* value) override;
    const std::string& Ref() const { return m_sRef; }
    bool HasRef() const { return m_bHasRef; }

private:
    std::string m_sRef;
    bool m_bHasRef = false;
    std::string m_sType;
};

// Value arrays. The text arrives before the attributes, so a count attribute
// replaces the number of parsed tokens as the stated count; only the values
// actually parsed can be read.
template <class T, EElementKind K>
class CEl_Array : public CDAEObject {
public:
    CEl_Array() : CDAEObject(K) {}
    bool SetContent(const char* text) override;
    bool SetAttribute(const char* name, const char* value) override;
    bool Resolve(CDAEIndex& index) override;
    const std::vector<T>& Values() const { return m_values; }
    int64_t StatedCount() const { return m_iCount; }

private:
    std::vector<T> m_values;
    std::vector<T> m_pointValues; // the text read with decimal commas, until Resolve
    int64_t m_iCount = 0;
};
using CEl_FloatArray = CEl_Array<float, eEl_float_array>;
using CEl_NameArray = CEl_Array<std::string, eEl_name_array>;
using CEl_IdrefArray = CEl_Array<std::string, eEl_idref_array>;

class CEl_Accessor : public CDAEObject {
public:
    CEl_Accessor() : CDAEObject(eEl_accessor) {}
    bool SetAttribute(const char* name, const char* value) override;
    bool AddChild(CDAEObject* child) override;
    bool Resolve(CDAEIndex& index) override;

    // Reads value i: up to k floats into out. Needs a float_array, i below
    // count and at least one param; returns the number of values delivered.
    int Read(int64_t i, float* out, int k) const;

    const std::string& SourceUrl() const { return m_sSource; }
    int32_t Count() const { return m_iCount; }
    int32_t Stride() const { return m_iStride; }
    int32_t Offset() const { return m_iOffset; }
    const std::vector<CEl_Param*>& Params() const { return m_params; }
    CDAEObject* Array() const { return m_pArray; }
    const CEl_FloatArray* FloatArray() const;

private:
    std::string m_sSource;
    bool m_bHasSource = false;
    int32_t m_iCount = 0;
    // Collada's default stride is 1; an accessor without the attribute must
    // not read every item from the same place.
    int32_t m_iStride = 1;
    int32_t m_iOffset = 0;
    std::vector<CEl_Param*> m_params;
    std::vector<int32_t> m_namedParams; // positions of the params with a name
    CDAEObject* m_pArray = nullptr;
    int64_t m_iArrayCount = 0;
};

class CEl_Source : public CDAEObject {
public:
    CEl_Source() : CDAEObject(eEl_source) {}
    bool AddChild(CDAEObject* child) override;
    CEl_Accessor* Accessor() const { return m_pAccessor; }

private:
    CEl_Accessor* m_pAccessor = nullptr;
};

class CEl_Vertices : public CDAEObject {
public:
    CEl_Vertices() : CDAEObject(eEl_vertices) {}
    bool AddChild(CDAEObject* child) override;
};

// What GetCorner fills for one triangle corner. Texture-coordinate sets at
// or past uvSets are not valid (read them as zero).
struct SCornerData {
    float position[3] = {0, 0, 0};
    bool bPosition = false;
    float normal[3] = {0, 1, 0};
    bool bNormal = false;
    float colour[4] = {0, 0, 0, 1};
    bool bColour = false;
    float uv[8][3] = {};
    int uvSets = 0;
};

// Back to the initial values (position 0, normal (0, 1, 0), colour
// (0, 0, 0, 1), nothing present).
void ResetCorner(SCornerData& data);

struct SInputBinding {
    const CEl_Accessor* pAccessor = nullptr;
    int32_t iOffset = 0;
    int32_t iSet = 0;
};

// triangles, and the base of every primitive kind.
class CEl_Triangles : public CDAEObject {
public:
    explicit CEl_Triangles(EElementKind kind = eEl_triangles) : CDAEObject(kind) {}
    bool SetAttribute(const char* name, const char* value) override;
    bool AddChild(CDAEObject* child) override;

    // Reads the corner's inputs; false past the end or without a readable
    // position.
    virtual bool GetCorner(int64_t corner, SCornerData& data) const;
    // The value index of the corner's position in its source; -1 past the
    // end or without index data.
    virtual int32_t GetPositionIndex(int64_t corner) const;
    // Binds the inputs and triangulates, once.
    virtual bool Build();

    const std::string& Material() const { return m_sMaterial; }
    bool HasMaterial() const { return m_bHasMaterial; }
    int64_t TriangleCount() const { return m_iTriangles; }
    // Triangles whose corners all lie within the index data (what a mesh
    // can hold at most); valid after Build.
    int64_t TrianglesWithinData() const { return m_iTrianglesWithinData; }
    // More than 8 texture coordinate inputs, the rest left out; valid after Build.
    bool DroppedTexcoords() const { return m_bDroppedTexcoords; }
    int InputCount() const { return m_iInputCount; }
    int IndexStride() const { return m_iStride; }
    const SInputBinding& NormalBinding() const { return m_normal; }
    const SInputBinding& ColourBinding() const { return m_colour; }
    const std::vector<int32_t>& Indices() const { return m_p; }

protected:
    // Step 2 of Build: input count, index stride and bindings.
    void BindInputs();
    // Reads every bound input of stream vertex v from an index list.
    bool ReadVertex(const int32_t* list, size_t listSize, int64_t v, SCornerData& data) const;
    int32_t PositionIndexAt(const int32_t* list, size_t listSize, int64_t v) const;
    // Triangles of a face of `vertices` stream vertices from first on (the
    // outer ring, then the holes of ringSizes after the first): false for
    // the fan over the outer ring (convex, or not to be split), else the
    // face's own triangles, appended to corners as vertex numbers within
    // the face; *triangles is their count.
    bool SplitFace(const int32_t* list, size_t listSize, int64_t first, const std::vector<uint32_t>& ringSizes,
                   std::vector<uint32_t>& corners, int64_t* triangles) const;

    std::string m_sMaterial;
    bool m_bHasMaterial = false;
    int32_t m_iCount = 0;
    std::vector<int32_t> m_p;
    bool m_bHasP = false;
    int m_iInputCount = 0;
    int m_iStride = 0;
    SInputBinding m_position, m_normal, m_colour;
    bool m_bPosition = false, m_bNormal = false, m_bColour = false;
    SInputBinding m_texcoords[8];
    int m_iTexcoords = 0;
    bool m_bDroppedTexcoords = false;
    bool m_bBuilt = false;
    bool m_bBuildResult = false;
    int64_t m_iTriangles = 0;
    int64_t m_iTrianglesWithinData = 0;

private:
    void BindInput(const CEl_Input* input, int32_t offset, int depth);
};

class CEl_PolyList : public CEl_Triangles {
public:
    CEl_PolyList() : CEl_Triangles(eEl_polylist) {}
    bool AddChild(CDAEObject* child) override;
    bool GetCorner(int64_t corner, SCornerData& data) const override;
    int32_t GetPositionIndex(int64_t corner) const override;
    bool Build() override;
    const std::vector<int32_t>& VCount() const { return m_vcount; }

private:
    // Stream vertex of a corner, -1 past the end.
    int64_t StreamVertex(int64_t corner) const;

    std::vector<int32_t> m_vcount;
    bool m_bHasVCount = false;
    // The corner map, one entry per polygon with at least three vertices:
    // its first triangle and its first stream vertex. All-triangle lists
    // (the common case) need no map at all.
    bool m_bAllTriangles = false;
    std::vector<int64_t> m_polyTriangle;
    std::vector<int64_t> m_polyVertex;
    // Faces that are not convex: per polygon the start of its triangles in
    // m_splitCorners, -1 for the fan; empty when every face is a fan.
    std::vector<int64_t> m_polySplit;
    std::vector<uint32_t> m_splitCorners;
    // Corners are mostly read in order: where the last one was found. Only a
    // hint, so threads reading corners of one primitive may share it.
    mutable std::atomic<size_t> m_uiCursor{0};
};

// polygons, trifans and tristrips: one index list per p element.
class CEl_Polygons : public CEl_Triangles {
public:
    CEl_Polygons() : CEl_Triangles(eEl_polygons) {}
    bool AddChild(CDAEObject* child) override;
    bool GetCorner(int64_t corner, SCornerData& data) const override;
    int32_t GetPositionIndex(int64_t corner) const override;
    bool Build() override;
    size_t ListCount() const { return m_listStart.empty() ? 0 : m_listStart.size() - 1; }

protected:
    explicit CEl_Polygons(EElementKind kind) : CEl_Triangles(kind) {}
    // Triangulates every list as a fan (polygons, trifans) or as a strip.
    void Triangulate(bool strips);
    // (list, vertex within the list) of a corner; false past the end.
    bool LocateCorner(int64_t corner, size_t& list, int64_t& vertex) const;

    // All lists back to back; list i is [m_listStart[i], m_listStart[i+1]).
    std::vector<int32_t> m_lists;
    std::vector<size_t> m_listStart;
    bool m_bStrips = false;
    // One entry per list that makes triangles: list number, first triangle.
    std::vector<uint32_t> m_mapList;
    std::vector<int64_t> m_mapTriangle;
    // As for polylist: triangles of faces that are not convex, per entry.
    std::vector<int64_t> m_mapSplit;
    std::vector<uint32_t> m_splitCorners;
    // Index values of each ring of a polygon with holes (ph): outer first;
    // empty for a list without holes.
    std::vector<std::vector<uint32_t>> m_ringValues;
    mutable std::atomic<size_t> m_uiCursor{0}; // as above
};

class CEl_TriFans : public CEl_Polygons {
public:
    CEl_TriFans() : CEl_Polygons(eEl_trifans) {}
};

class CEl_TriStrips : public CEl_Polygons {
public:
    CEl_TriStrips() : CEl_Polygons(eEl_tristrips) {}
    bool Build() override;
};

class CEl_Geometry : public CDAEObject {
public:
    CEl_Geometry() : CDAEObject(eEl_geometry) {}
    bool AddChild(CDAEObject* child) override;
    // The primitive children in document order.
    const std::vector<CEl_Triangles*>& Primitives() const { return m_primitives; }
    int PrimitiveCount() const { return m_iPrimitives; }
    int CountOf(EElementKind kind) const;
    // Metres per unit of the geometry's own asset; 0 without one.
    double OwnMeter() const;
    // What the import scales the positions by (1 unless the document's
    // units are applied).
    float UnitScale() const { return m_fUnitScale; }
    void SetUnitScale(float scale) { m_fUnitScale = scale; }

private:
    const CDAEObject* m_pAsset = nullptr;
    float m_fUnitScale = 1;
    std::vector<CEl_Triangles*> m_primitives;
    int m_iPrimitives = 0;
    int m_iTriangles = 0, m_iPolylists = 0, m_iPolygons = 0, m_iTrifans = 0, m_iTristrips = 0;
};
