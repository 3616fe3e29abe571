#pragma once
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "collada/ColladaImport.h"
#include "scene/I2QEF.h"
#include "scene/ImportScene.h"

class CAnimationLibrary;
class CEl_Library_Animations;
class CEl_Node;

// Imports a Collada document.
class CCollada2QEF : public I2QEF {
public:
    CCollada2QEF();
    ~CCollada2QEF() override;

    // 0 on success, 1 when no Collada document could be read, 7 when the
    // document has no scene. A document without library_animations leaves
    // the scene's animated flag off; a mesh without normals gets smooth ones.
    int Import(const char* inputPath, SImportScene* scene, const COptionsData* options,
               const SImportSettings& settings = SImportSettings()) override;

private:
    // Converts a node (and with recurse its subtree) into the list of its
    // container; returns its record index or -1.
    int32_t ConvertNode(CEl_Node* node, CEl_Node* parent, bool recurse);
    int32_t ConvertOne(CEl_Node* node, CEl_Node* parent);
    // Converts library nodes that an instance_node chain starting at node
    // names, deepest first, so the instance can copy a finished record.
    void ConvertInstanceTargets(CEl_Node* node);
    // Copies the node an instance_node names (its record, submeshes and
    // subtree, following further instances) under the instancing record.
    void CopyInstancedSubtree(CEl_Node* instancing, int32_t record);
    void CopyMeshRecords(CEl_Node* node, int32_t parentRecord);
    std::vector<SImportNode>* ListFor(const CEl_Node& node);
    void LinkCameraTargets();
    // Prepares the skin of a controller node and builds its skinned mesh.
    void BuildSkinnedMesh(CEl_Node* node, int32_t index, std::vector<SImportNode>& list);
    // Counts a copy of record against the import's copy budget; false (and
    // a warning, once) when it does not fit.
    bool TakeCopyBudget(const SImportNode& record);

    SColladaImport* m_pImport = nullptr; // the running import
    std::vector<SImportNode> m_libraryNodes;
    CEl_Library_Animations* m_pAnimations = nullptr;
    std::unique_ptr<CAnimationLibrary> m_pAnimation; // the sampled channels
    bool m_bWarnedCopyLimit = false;
    bool m_bWarnedCopyBudget = false;
    size_t m_copiedBytes = 0;                         // arrays of instanced copies made by this import
    std::unordered_set<const CEl_Node*> m_converting; // instance targets being converted
};
