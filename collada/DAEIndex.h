#pragma once
// Owns every element object of a document (except the root) and finds
// objects by reference. A lookup returns the first object in registration
// order whose id, name or sid (as asked) equals the reference; hash maps
// built on first use give that answer without walking the lists.
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "collada/DAEObject.h"

enum EDAECategory : int {
    eCatAll,
    eCatNode,
    eCatCamera,
    eCatGeometry,
    eCatLight,
    eCatMaterial,
    eCatEffect,
    eCatVisualScene,
    eCatController,
    eCatSource, // source and vertices
    eCatArray,  // float_array, name_array, idref_array (int and bool arrays too)
    eCatCount
};

enum EDAEMatch : unsigned {
    eMatchId = 1,
    eMatchName = 2,
    eMatchSid = 4,
    eMatchAny = 7,
};

// The category list an element kind belongs to besides "all"; eCatAll for
// kinds that are only in the all list.
EDAECategory DAECategoryOf(EElementKind kind);

class CDAEIndex {
public:
    CDAEIndex();
    ~CDAEIndex();
    CDAEIndex(const CDAEIndex&) = delete;
    CDAEIndex& operator=(const CDAEIndex&) = delete;

    // Takes ownership; the object joins the all list and its category list.
    CDAEObject* Register(std::unique_ptr<CDAEObject> object);

    // One leading '#' is stripped; references into other files never match.
    CDAEObject* FindObject(const char* url, unsigned matchKeys, EDAECategory category) const;
    // Like FindObject, but the object must also be of the given kind.
    template <class T>
    T* Find(const char* url, unsigned matchKeys, EDAECategory category, EElementKind kind) const
    {
        CDAEObject* o = FindObject(url, matchKeys, category);
        return (o && o->Kind() == kind) ? static_cast<T*>(o) : nullptr;
    }

    const std::vector<CDAEObject*>& Objects(EDAECategory category = eCatAll) const { return m_lists[category]; }

private:
    using Map = std::unordered_map<std::string_view, CDAEObject*>;
    const Map& KeyMap(EDAECategory category, int key) const;

    std::vector<std::unique_ptr<CDAEObject>> m_owned;
    std::vector<CDAEObject*> m_lists[eCatCount];
    mutable std::unique_ptr<Map> m_maps[eCatCount][3];
};
