#include "collada/DAEGrammar.h"

#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The rows are laid out by hand, several to a line.
// clang-format off
// Rows: R makes an object, P passes the element through, T makes an object
// whose descendants use another table.
#define R(n) {#n, eEl_##n, false, nullptr}
#define P(n) {#n, eEl_##n, true, nullptr}
#define T(n, table) {#n, eEl_##n, false, &table}
#define TABLE(name, rows) const SRuleTable name = {rows, sizeof(rows) / sizeof(rows[0])}

namespace {

const SElementRule kAssetRows[] = {R(up_axis), R(unit)};
TABLE(kAsset, kAssetRows);

const SElementRule kCameraRows[] = {
    R(camera), R(perspective), R(xfov), R(yfov), R(aspect_ratio), R(znear), R(zfar), R(target),
    P(extra), P(technique), P(optics), P(technique_common),
};
TABLE(kCameras, kCameraRows);

// The fifteen parameter value types, as effects and materials name them.
#define VALUE_TYPES                                                                                 \
    R(bool), R(bool2), R(bool3), R(bool4), R(int), R(int2), R(int3), R(int4), R(float2), R(float3), \
        R(float4), R(float2x2), R(float3x3), R(float4x4)

const SElementRule kEffectRows[] = {
    R(effect), R(color), R(source), R(profile_common), R(newparam), R(sampler2D), R(init_from),
    R(wrap_s), R(wrap_t), R(minfilter), R(magfilter), R(mipfilter), R(surface), R(diffuse), R(blinn),
    R(lambert), R(phong), R(texture), R(ambient), R(specular), R(emission), R(reflective),
    R(transparent), R(float), R(reflectivity), R(transparency), R(index_of_refraction), R(shininess),
    R(profile_glsl), R(semantic), VALUE_TYPES, R(code), R(pass), R(shader), R(name), R(bind),
    R(param), R(include), P(technique),
};
TABLE(kEffects, kEffectRows);

const SElementRule kGeometryRows[] = {
    R(geometry), R(source), R(accessor), R(float_array), R(param), R(vertices), R(input),
    R(triangles), R(trifans), R(tristrips), R(polylist), R(p), R(vcount), R(polygons), R(h),
    P(mesh), P(technique_common), P(ph), T(asset, kAsset),
};
TABLE(kGeometries, kGeometryRows);

const SElementRule kImageRows[] = {R(init_from), R(image)};
TABLE(kImages, kImageRows);

const SElementRule kLightRows[] = {
    R(light), R(directional), R(point), R(spot), R(color), R(ambient), R(constant_attenuation),
    R(linear_attenuation), R(quadratic_attenuation), R(falloff_angle), R(falloff_exponent),
    P(technique_common),
};
TABLE(kLights, kLightRows);

const SElementRule kMaterialRows[] = {
    R(material), R(instance_effect), R(setparam), R(semantic), R(bool), R(bool2), R(bool3), R(bool4),
    R(int), R(int2), R(int3), R(int4), R(float), R(float2), R(float3), R(float4), R(float2x2),
    R(float3x3), R(float4x4), R(sampler2D), R(init_from), R(wrap_s), R(wrap_t), R(minfilter),
    R(magfilter), R(mipfilter), R(surface),
};
TABLE(kMaterials, kMaterialRows);

const SElementRule kNodeRows[] = {
    R(node), R(rotate), R(translate), R(scale), R(matrix), R(lookat), R(skew), R(instance_geometry),
    R(instance_camera), R(instance_light), R(instance_material), R(instance_controller),
    R(instance_node), R(skeleton), R(bind_vertex_input), P(bind_material), P(technique_common),
    T(asset, kAsset),
};
TABLE(kNodes, kNodeRows);

const SElementRule kVisualSceneRows[] = {R(visual_scene), T(node, kNodes)};
TABLE(kVisualScenes, kVisualSceneRows);

const SElementRule kAnimationRows[] = {
    R(animation), R(source), R(accessor), R(param), R(float_array), R(name_array), R(channel),
    R(sampler), R(input), P(technique_common),
};
TABLE(kAnimations, kAnimationRows);

const SElementRule kControllerRows[] = {
    R(controller), R(source), R(accessor), R(input), R(vertex_weights), R(vcount), R(v), R(param),
    R(float_array), R(name_array), R(idref_array), R(skin), R(bind_shape_matrix), R(morph),
    P(technique_common), P(joints), P(targets),
};
TABLE(kControllers, kControllerRows);

const SElementRule kLibraryNodeRows[] = {T(node, kNodes)};
TABLE(kLibraryNodes, kLibraryNodeRows);

const SElementRule kTopLevelRows[] = {
    T(asset, kAsset),
    T(library_cameras, kCameras),
    T(library_effects, kEffects),
    T(library_geometries, kGeometries),
    T(library_images, kImages),
    T(library_lights, kLights),
    T(library_materials, kMaterials),
    T(library_visual_scenes, kVisualScenes),
    T(library_animations, kAnimations),
    T(library_controllers, kControllers),
    T(library_nodes, kLibraryNodes),
    R(scene),
    R(instance_visual_scene),
};
TABLE(kTopLevel, kTopLevelRows);

const SRuleTable* const kAllTables[] = {
    &kAsset, &kCameras, &kEffects, &kGeometries, &kImages, &kLights, &kMaterials, &kNodes,
    &kVisualScenes, &kAnimations, &kControllers, &kLibraryNodes, &kTopLevel,
};

// Lower-case name -> first row, per table; built once.
struct SRuleLookup {
    std::vector<std::string> names; // keeps the keys alive
    std::unordered_map<const SRuleTable*, std::unordered_map<std::string_view, const SElementRule*>> tables;

    SRuleLookup()
    {
        size_t rows = 0;
        for (const SRuleTable* t : kAllTables)
            rows += t->uiCount;
        names.reserve(rows); // no reallocation: the views stay valid
        for (const SRuleTable* t : kAllTables) {
            auto& map = tables[t];
            for (size_t i = 0; i < t->uiCount; ++i) {
                std::string lower(t->pRows[i].pszName);
                for (char& c : lower)
                    if (c >= 'A' && c <= 'Z')
                        c = char(c - 'A' + 'a');
                names.push_back(std::move(lower));
                map.emplace(std::string_view(names.back()), &t->pRows[i]); // first row wins
            }
        }
    }
};

const SRuleLookup& Lookup()
{
    static const SRuleLookup lookup;
    return lookup;
}

} // namespace

const SRuleTable& TopLevelRules()
{
    return kTopLevel;
}

const SElementRule* FindRule(const SRuleTable& table, const char* elementName)
{
    if (!elementName)
        return nullptr;
    char lower[64];
    size_t n = 0;
    for (; elementName[n]; ++n) {
        if (n + 1 >= sizeof(lower))
            return nullptr; // longer than any name in the grammar
        const char c = elementName[n];
        lower[n] = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    }
    const auto& tables = Lookup().tables;
    const auto t = tables.find(&table);
    if (t == tables.end()) {
        // A table not in the list: compare row by row.
        for (size_t i = 0; i < table.uiCount; ++i)
            if (EqualsNoCase(std::string_view(lower, n), table.pRows[i].pszName))
                return &table.pRows[i];
        return nullptr;
    }
    const auto row = t->second.find(std::string_view(lower, n));
    return row == t->second.end() ? nullptr : row->second;
}
// clang-format on
