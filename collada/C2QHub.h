#pragma once
// Process-wide state of the Collada importer: the parsed document, the scene
// and options of the running import, the document's up axis and the
// warned-once flags. Used only on the conversion worker thread.
#include <memory>

class CEl_Collada;
class COptionsData;
struct SImportScene;

enum EUpAxis : int {
    eUpAxisNone = 0, // X_UP, or no asset
    eUpAxisY = 1,    // Y_UP, or an asset without up_axis
    eUpAxisZ = 2,
};

// Warning numbers for C2QHub::WarnOnce.
enum EHubWarning : int {
    eWarnBoneWeights = 0,
    eWarnBoneLimit = 1,
    eWarnUVSets = 2,
    eWarnInterpolation = 3,
    eWarnMixedInterpolation = 4,
    eWarnMorphTargets = 5,
    eWarnCount = 6
};

class C2QHub {
public:
    static C2QHub& Instance();
    ~C2QHub();
    C2QHub(const C2QHub&) = delete;
    C2QHub& operator=(const C2QHub&) = delete;

    CEl_Collada* Document() const { return m_pDocument.get(); }
    // Replaces (and destroys) the current document; null releases it.
    void SetDocument(std::unique_ptr<CEl_Collada> document);

    COptionsData* Options() const { return m_pOptions; }
    void SetOptions(COptionsData* options) { m_pOptions = options; }
    SImportScene* Scene() const { return m_pScene; }
    void SetScene(SImportScene* scene) { m_pScene = scene; }

    EUpAxis UpAxis() const { return m_eUpAxis; }
    void SetUpAxis(EUpAxis mode) { m_eUpAxis = mode; }

    // Emits warning n at warning level unless it was emitted during this import.
    void WarnOnce(int n);
    void ClearWarnings();

private:
    C2QHub();

    std::unique_ptr<CEl_Collada> m_pDocument;
    COptionsData* m_pOptions = nullptr;
    SImportScene* m_pScene = nullptr;
    EUpAxis m_eUpAxis = eUpAxisNone;
    bool m_abWarned[eWarnCount] = {};
};
