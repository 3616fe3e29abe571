// Node conversion: one record per converted node, with its transform and
// its mesh, camera or light; instanced subtrees copied under the instancing
// record.
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "base/ConversionLog.h"
#include "collada/Animation.h"
#include "collada/Collada2QEF.h"
#include "collada/ElCore.h"
#include "collada/ElGeometry.h"
#include "collada/ElScene.h"
#include "collada/ElSkin.h"
#include "collada/MeshBuild.h"
#include "collada/NodeTransform.h"
#include "collada/Skin.h"
#include "options/Options.h"

namespace {

// Instancing can multiply records (a node instancing two copies of a node
// that instances two copies ...); beyond this many the copying stops.
constexpr size_t kMaxSceneRecords = size_t(1) << 22;
// The arrays of those copies may not add up to more than this either: a few
// kilobytes of nested instances would otherwise ask for many gigabytes.
constexpr size_t kMaxCopiedMB = 256;

// Bytes held by a record's arrays (what a copy of it costs).
size_t RecordBytes(const SImportNode& n)
{
    size_t bytes = n.positions.size() * sizeof(SVec3) + n.normals.size() * sizeof(SVec3) +
                   n.colours.size() * sizeof(SVec4) + n.triangles.size() * sizeof(SImportTriangle) +
                   n.frames.size() * sizeof(SImportTransform) + n.frameFov.size() * sizeof(float) + n.userData.size();
    for (const SImportUVSet& set : n.uvSets)
        bytes += set.values.size() * sizeof(SVec3) + set.triangles.size() * sizeof(set.triangles[0]);
    // Influences count as when every corner's list was a vector of its own,
    // so the copy budget admits exactly the copies it always did.
    for (const SImportSkin& skin : n.skins)
        bytes += skin.influences.size() * sizeof(std::vector<SImportInfluence>) +
                 skin.influences.Entries().size() * sizeof(SImportInfluence);
    return bytes;
}

template <class T>
T* TargetAs(const CEl_Node& node, EElementKind kind)
{
    const CEl_Instance* instance = node.Instance();
    CDAEObject* target = instance ? instance->Target() : nullptr;
    return (target && target->Kind() == kind) ? static_cast<T*>(target) : nullptr;
}

} // namespace

std::vector<SImportNode>* CCollada2QEF::ListFor(const CEl_Node& node)
{
    if (node.Container() == eEl_visual_scene)
        return m_pImport->scene ? &m_pImport->scene->nodes : nullptr;
    if (node.Container() == eEl_library_nodes)
        return &m_libraryNodes;
    return nullptr;
}

int32_t CCollada2QEF::ConvertNode(CEl_Node* node, CEl_Node* parent, bool recurse)
{
    // An explicit stack: documents nest nodes thousands deep.
    std::vector<std::pair<CEl_Node*, CEl_Node*>> stack{{node, parent}};
    int32_t result = -1;
    bool first = true;
    while (!stack.empty()) {
        const auto [n, p] = stack.back();
        stack.pop_back();
        const int32_t index = ConvertOne(n, p);
        if (first) {
            result = index;
            first = false;
        }
        if (!recurse || !ListFor(*n))
            continue;
        // Children of a node without a record hang on the node's own parent.
        CEl_Node* childParent = index >= 0 ? n : p;
        const std::vector<CEl_Node*>& children = n->ChildNodes();
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            stack.emplace_back(*it, childParent);
    }
    return result;
}

void CCollada2QEF::ConvertInstanceTargets(CEl_Node* node)
{
    // Nodes whose conversion is under way end the chain, so instances that
    // name each other in a circle stop here rather than nest.
    if (m_converting.size() > 16)
        return;
    std::vector<CEl_Node*> chain;
    std::unordered_set<const CEl_Node*> seen{node};
    for (CEl_Node* t = node->InstancedNode(); t && t->ConvertedIndex() < 0 && t->Container() == eEl_library_nodes &&
                                              !m_converting.count(t) && seen.insert(t).second;
         t = t->InstancedNode())
        chain.push_back(t);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        if ((*it)->ConvertedIndex() < 0 && !m_converting.count(*it))
            ConvertOne(*it, nullptr); // its parent link is set when its own turn comes
}

int32_t CCollada2QEF::ConvertOne(CEl_Node* node, CEl_Node* parent)
{
    std::vector<SImportNode>* list = ListFor(*node);
    if (!list)
        return -1;
    if (node->ConvertedIndex() >= 0) {
        if (parent && size_t(node->ConvertedIndex()) < list->size())
            (*list)[size_t(node->ConvertedIndex())].parent = parent->ConvertedIndex();
        return node->ConvertedIndex();
    }

    SImportNode record;
    CEl_Node* instanced = nullptr;
    if (node->Content() == eNodeContentInstanceNode) {
        instanced = node->InstancedNode();
        if (instanced) {
            m_converting.insert(node);
            ConvertInstanceTargets(node);
            m_converting.erase(node);
        }
    }
    const int32_t index = int32_t(list->size());
    record.index = index;
    record.parent = parent ? parent->ConvertedIndex() : -1;
    if (const char* name = node->GetName())
        record.name = name;
    else if (const char* id = node->GetId())
        record.name = id;
    else
        record.name = "QEFNode-" + std::to_string(index);
    node->SetConvertedIndex(index);
    record.transform = StaticTransform(*node, m_pImport->upAxis);
    if (m_pAnimation)
        m_pAnimation->Attach(*node, record, m_pImport->upAxis);

    bool appended = true;
    switch (node->Content()) {
    case eNodeContentPlain:
        record.content = eImportNone;
        list->push_back(std::move(record));
        break;
    case eNodeContentJoint:
        record.content = eImportBone;
        list->push_back(std::move(record));
        break;
    case eNodeContentGeometry: {
        record.content = eImportNone;
        list->push_back(std::move(record));
        const auto* instance = static_cast<const CEl_Instance_geometry*>(node->Instance());
        if (CEl_Geometry* geometry = TargetAs<CEl_Geometry>(*node, eEl_geometry))
            BuildGeometryInstance(*m_pImport, *geometry, index, *node, *list, instance->Materials(), nullptr);
        break;
    }
    case eNodeContentController:
        record.content = eImportNone;
        list->push_back(std::move(record));
        BuildSkinnedMesh(node, index, *list);
        break;
    case eNodeContentLight: {
        const CEl_Light* light = TargetAs<CEl_Light>(*node, eEl_light);
        const CEl_LightType* type = light ? light->Technique() : nullptr;
        if (!type) {
            appended = false;
            break;
        }
        const SVec4& colour = type->Colour();
        if (type->Technique() == eLightTechAmbient) {
            if (m_pImport->scene)
                m_pImport->scene->ambient = {colour[0], colour[1], colour[2]};
            appended = false;
            break;
        }
        record.content = eImportLight;
        record.light.type = type->Technique() == eLightTechDirectional ? eImportLightDirectional
                            : type->Technique() == eLightTechPoint     ? eImportLightPoint
                                                                       : eImportLightSpot;
        record.light.colour = {colour[0], colour[1], colour[2]};
        if (type->Technique() == eLightTechPoint || type->Technique() == eLightTechSpot) {
            record.light.constantAttenuation = type->ConstantAttenuation();
            // Attenuation per distance, and per distance squared, in metres.
            const float unit = m_pImport->unitScale;
            record.light.linearAttenuation = unit == 1 ? type->LinearAttenuation() : type->LinearAttenuation() / unit;
            record.light.quadraticAttenuation =
                unit == 1 ? type->QuadraticAttenuation() : type->QuadraticAttenuation() / (unit * unit);
        }
        if (type->Technique() == eLightTechSpot) {
            record.light.falloffAngle = type->FalloffAngle();
            record.light.falloffExponent = type->FalloffExponent();
        }
        list->push_back(std::move(record));
        break;
    }
    case eNodeContentCamera: {
        CEl_Camera* camera = TargetAs<CEl_Camera>(*node, eEl_camera);
        CEl_Perspective* perspective = camera ? camera->Perspective() : nullptr;
        if (!perspective) {
            appended = false;
            break;
        }
        record.content = eImportCamera;
        record.camera.farPlane = perspective->ZFar() * m_pImport->unitScale;
        record.camera.nearPlane = perspective->ZNear() * m_pImport->unitScale;
        record.camera.fov = perspective->VerticalFov();
        if (camera->TargetNode()) {
            record.camera.hasTarget = 1;
            record.camera.target = camera->TargetNode()->ConvertedIndex();
        }
        list->push_back(std::move(record));
        break;
    }
    case eNodeContentInstanceNode:
        if (!instanced) {
            appended = false;
            break;
        }
        // The instancing node's own record; the instanced node, with its own
        // transform, and its subtree hang below it.
        record.content = eImportNone;
        list->push_back(std::move(record));
        if (node->Container() == eEl_visual_scene)
            CopyInstancedSubtree(node, index);
        break;
    }
    if (!appended)
        node->SetConvertedIndex(-1);
    return node->ConvertedIndex();
}

void CCollada2QEF::CopyMeshRecords(CEl_Node* node, int32_t parentRecord)
{
    const std::vector<SImportNode>* source = ListFor(*node);
    if (!source || node->MeshRecords().empty())
        return;
    std::vector<SImportNode>& scene = m_pImport->scene->nodes;
    for (int32_t at : node->MeshRecords()) {
        if (at < 0 || size_t(at) >= source->size() || scene.size() >= kMaxSceneRecords ||
            !TakeCopyBudget((*source)[size_t(at)]))
            continue;
        SImportNode copy = (*source)[size_t(at)];
        copy.index = int32_t(scene.size());
        copy.parent = parentRecord;
        scene.push_back(std::move(copy));
    }
}

bool CCollada2QEF::TakeCopyBudget(const SImportNode& record)
{
    const size_t bytes = RecordBytes(record);
    if (bytes <= (kMaxCopiedMB << 20) - m_copiedBytes) {
        m_copiedBytes += bytes;
        return true;
    }
    if (!m_bWarnedCopyBudget)
        ConversionLog(eLogWarning, "Warning: Instanced nodes were not all copied as their copies grew past %zu MB.\n",
                      kMaxCopiedMB);
    m_bWarnedCopyBudget = true;
    return false;
}

void CCollada2QEF::CopyInstancedSubtree(CEl_Node* instancing, int32_t record)
{
    if (!m_pImport->scene)
        return;
    std::vector<SImportNode>& scene = m_pImport->scene->nodes;
    // The nodes being expanded on the way down: following an instance to one
    // of them again would never end, so such a repeated instance is cut.
    std::unordered_map<const CEl_Node*, int> onPath;
    std::vector<const CEl_Node*> path;
    struct SFrame {
        std::vector<CEl_Node*> sources;
        size_t next = 0;
        int32_t parentRecord;
        size_t pathSize;
    };
    auto expand = [&](CEl_Node* n, int32_t parentRecord) {
        SFrame frame;
        frame.parentRecord = parentRecord;
        frame.pathSize = path.size();
        path.push_back(n);
        ++onPath[n];
        frame.sources = n->ChildNodes();
        // An instanced node comes under its instancing node's record as a
        // child of its own, keeping its transform.
        if (CEl_Node* t = n->InstancedNode())
            frame.sources.push_back(t);
        return frame;
    };

    std::vector<SFrame> stack;
    SFrame top = expand(instancing, record);
    top.sources.erase(top.sources.begin(), top.sources.end() - 1); // the converter took the children
    stack.push_back(std::move(top));
    while (!stack.empty()) {
        SFrame& frame = stack.back();
        if (frame.next == frame.sources.size()) {
            while (path.size() > frame.pathSize) {
                --onPath[path.back()];
                path.pop_back();
            }
            stack.pop_back();
            continue;
        }
        CEl_Node* child = frame.sources[frame.next++];
        const int32_t parentRecord = frame.parentRecord;
        if (onPath[child])
            continue;
        const std::vector<SImportNode>* source = ListFor(*child);
        const int32_t at = child->ConvertedIndex();
        if (!source || at < 0 || size_t(at) >= source->size())
            continue;
        if (scene.size() >= kMaxSceneRecords) {
            if (!m_bWarnedCopyLimit)
                ConversionLog(eLogWarning,
                              "Warning: Instanced nodes were not all copied as the scene grew past %zu nodes.\n",
                              kMaxSceneRecords);
            m_bWarnedCopyLimit = true;
            return;
        }
        if (!TakeCopyBudget((*source)[size_t(at)]))
            return;
        SImportNode copy = (*source)[size_t(at)];
        const int32_t copyIndex = int32_t(scene.size());
        copy.index = copyIndex;
        copy.parent = parentRecord;
        scene.push_back(std::move(copy));
        CopyMeshRecords(child, copyIndex);
        stack.push_back(expand(child, copyIndex));
    }
}

void CCollada2QEF::LinkCameraTargets()
{
    CEl_Collada* document = m_pImport->document.get();
    if (!document)
        return;
    for (CDAEObject* o : document->Index().Objects(eCatNode)) {
        CEl_Node* node = static_cast<CEl_Node*>(o);
        if (node->Content() != eNodeContentCamera || node->ConvertedIndex() < 0)
            continue;
        std::vector<SImportNode>* list = ListFor(*node);
        const CEl_Camera* camera = TargetAs<CEl_Camera>(*node, eEl_camera);
        if (!list || !camera || !camera->TargetNode() || size_t(node->ConvertedIndex()) >= list->size())
            continue;
        SImportNode& record = (*list)[size_t(node->ConvertedIndex())];
        if (record.camera.target == -1 && camera->TargetNode()->ConvertedIndex() >= 0)
            record.camera.target = camera->TargetNode()->ConvertedIndex();
    }
}

void CCollada2QEF::BuildSkinnedMesh(CEl_Node* node, int32_t index, std::vector<SImportNode>& list)
{
    CEl_Collada* document = m_pImport->document.get();
    const CEl_Controller* controller = TargetAs<CEl_Controller>(*node, eEl_controller);
    CEl_Skin* skin = controller ? controller->Skin() : nullptr;
    const auto* instance = static_cast<const CEl_Instance_controller*>(node->Instance());
    if (document && controller && !skin && controller->Morph()) {
        // A morph alone: its base mesh, unskinned.
        m_pImport->warnings.WarnOnce(eWarnMorphTargets);
        if (CEl_Geometry* base = ControllerSourceGeometry(controller->Morph()->SourceUrl(), document->Index(), nullptr))
            BuildGeometryInstance(*m_pImport, *base, index, *node, list, instance->Materials(), nullptr);
        return;
    }
    if (!document || !skin)
        return;
    const std::vector<SImportNode>* sceneNodes = m_pImport->scene ? &m_pImport->scene->nodes : nullptr;
    PrepareSkin(*skin, document->Index(), sceneNodes, m_pImport->upAxis,
                NodeWorldMatrix(*node, 0, ListFor(*node), m_pImport->upAxis), m_pImport->unitScale);
    CEl_Geometry* geometry = skin->Prepared().pGeometry;
    if (skin->Prepared().bThroughMorph)
        m_pImport->warnings.WarnOnce(eWarnMorphTargets);
    const bool exportSkin = !m_pImport->options || m_pImport->options->GetBool(opt::bExportSkin);
    if (!exportSkin) {
        // Without skinning the geometry alone is wanted, bones or not.
        if (geometry)
            BuildGeometryInstance(*m_pImport, *geometry, index, *node, list, instance->Materials(), nullptr);
        return;
    }
    if (!SkinIsBuildable(*skin))
        return; // the record stays, without mesh
    BuildGeometryInstance(*m_pImport, *geometry, index, *node, list, instance->Materials(), skin);
}
