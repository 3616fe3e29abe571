#pragma once
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "collada/C2QHub.h"
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

    // Folder that receives files written beside the output (effect files);
    // when empty, the input file's folder.
    void SetOutputFolder(const std::string& folder) { m_outputFolder = folder; }

    // 0 on success, 1 when no Collada document could be read, 7 when the
    // document has no scene. Clears bExportAnimations when the document has
    // no library_animations and switches the normal channel off when a mesh
    // has no normals.
    int Import(const char* inputPath, SImportScene* scene, COptionsData* options) override;

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

    std::string m_outputFolder;
    std::vector<SImportNode> m_libraryNodes;
    SImportScene* m_pScene = nullptr;
    COptionsData* m_pOptions = nullptr;
    CEl_Library_Animations* m_pAnimations = nullptr;
    std::unique_ptr<CAnimationLibrary> m_pAnimation; // the sampled channels
    EUpAxis m_eUpAxis = eUpAxisNone;
    bool m_bWarnedCopyLimit = false;
    bool m_bWarnedCopyBudget = false;
    size_t m_copiedBytes = 0;                         // arrays of instanced copies made by this import
    std::unordered_set<const CEl_Node*> m_converting; // instance targets being converted
};
