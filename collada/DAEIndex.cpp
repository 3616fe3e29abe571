#include "collada/DAEIndex.h"

EDAECategory DAECategoryOf(EElementKind kind)
{
    switch (kind) {
    case eEl_node: return eCatNode;
    case eEl_camera: return eCatCamera;
    case eEl_geometry: return eCatGeometry;
    case eEl_light: return eCatLight;
    case eEl_material: return eCatMaterial;
    case eEl_effect: return eCatEffect;
    case eEl_visual_scene: return eCatVisualScene;
    case eEl_controller: return eCatController;
    case eEl_source:
    case eEl_vertices: return eCatSource;
    case eEl_float_array:
    case eEl_int_array:
    case eEl_bool_array:
    case eEl_name_array:
    case eEl_idref_array: return eCatArray;
    default: return eCatAll;
    }
}

CDAEIndex::CDAEIndex() = default;

// Objects hold plain pointers to each other; the owning list releases them
// one by one, so no chain of destructors can grow with the document's depth.
CDAEIndex::~CDAEIndex() = default;

CDAEObject* CDAEIndex::Register(std::unique_ptr<CDAEObject> object)
{
    CDAEObject* o = object.get();
    if (!o)
        return nullptr;
    o->SetOrdinal(uint32_t(m_owned.size()));
    m_owned.push_back(std::move(object));
    m_lists[eCatAll].push_back(o);
    for (auto& map : m_maps[eCatAll])
        map.reset();
    const EDAECategory category = DAECategoryOf(o->Kind());
    if (category != eCatAll) {
        m_lists[category].push_back(o);
        for (auto& map : m_maps[category])
            map.reset();
    }
    return o;
}

const CDAEIndex::Map& CDAEIndex::KeyMap(EDAECategory category, int key) const
{
    std::unique_ptr<Map>& map = m_maps[category][key];
    if (!map) {
        map = std::make_unique<Map>();
        for (CDAEObject* o : m_lists[category]) {
            const char* value = key == 0 ? o->GetId() : key == 1 ? o->GetName() : o->GetSid();
            if (value)
                map->emplace(std::string_view(value), o); // keeps the first
        }
    }
    return *map;
}

CDAEObject* CDAEIndex::FindObject(const char* url, unsigned matchKeys, EDAECategory category) const
{
    if (!url || category < 0 || category >= eCatCount)
        return nullptr;
    if (*url == '#')
        ++url;
    const std::string_view ref(url);
    CDAEObject* best = nullptr;
    for (int key = 0; key < 3; ++key) {
        if (!(matchKeys & (1u << key)))
            continue;
        const Map& map = KeyMap(category, key);
        const auto it = map.find(ref);
        if (it != map.end() && (!best || it->second->Ordinal() < best->Ordinal()))
            best = it->second;
    }
    return best;
}
