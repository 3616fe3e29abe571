// Reading a scene file and building its draw list.
#include <QDir>
#include <QFileInfo>

#include <cmath>

#include "scene/Scene.h"
#include "scene/SceneRead.h"
#include "viewer/DrawList.h"

namespace {

float Finite(float v, float fallback)
{
    return std::isfinite(v) ? v : fallback;
}

// Blend factors and equations a renderer accepts; anything else falls back
// to the default, as an unknown enumerant would fail the draw.
bool IsBlendFactor(uint32_t f)
{
    return f == 0 || f == 1 || (f >= 0x0300 && f <= 0x0308) || (f >= 0x8001 && f <= 0x8004);
}

bool IsBlendOp(uint32_t op)
{
    return op == 0x8006 || op == 0x800A || op == 0x800B || op == 0x8007 || op == 0x8008;
}

// The image of a texture name beside the file: the name as a path relative
// to the folder, else its file name alone. Empty when neither exists.
std::string TextureBeside(const std::string& folder, const std::string& name)
{
    if (name.empty())
        return std::string();
    const QDir dir(QString::fromStdString(folder));
    const QString given = QString::fromStdString(name).replace(QLatin1Char('\\'), QLatin1Char('/'));
    for (const QString& candidate : {dir.filePath(given), dir.filePath(QFileInfo(given).fileName())}) {
        if (QFileInfo(candidate).isFile())
            return candidate.toStdString();
    }
    return std::string();
}

// Parents as a forest: a node whose chain of parents loops or leaves the
// table becomes a root. Each node is walked once (state per node).
void ResolveParents(const SScene& scene, std::vector<SDrawNode>& nodes)
{
    const size_t n = scene.pNodes.size();
    enum : uint8_t { eUnseen, eWalking, eGood, eBad };
    std::vector<uint8_t> state(n, eUnseen);
    std::vector<uint32_t> chain;
    for (size_t start = 0; start < n; ++start) {
        chain.clear();
        size_t at = start;
        uint8_t verdict = eGood;
        while (true) {
            if (state[at] == eGood || state[at] == eBad) {
                verdict = state[at];
                break;
            }
            if (state[at] == eWalking) {
                verdict = eBad; // a loop
                break;
            }
            state[at] = eWalking;
            chain.push_back(uint32_t(at));
            const int32_t parent = scene.pNodes[at].nParentIdx;
            if (parent < 0) {
                verdict = eGood;
                break;
            }
            if (size_t(parent) >= n) {
                verdict = eBad;
                break;
            }
            at = size_t(parent);
        }
        for (uint32_t c : chain)
            state[c] = verdict;
    }
    for (size_t i = 0; i < n; ++i) {
        const int32_t parent = scene.pNodes[i].nParentIdx;
        nodes[i].nParent = state[i] == eGood && parent >= 0 ? parent : -1;
    }
}

} // namespace

void BuildDrawList(const SScene& scene, const std::string& folder, SDrawList& out)
{
    out = SDrawList();
    const uint32_t nodeCount = uint32_t(scene.pNodes.size());
    for (int c = 0; c < 3; ++c) {
        out.fBackground[c] = Finite(scene.fBackgroundRGB[c], 0);
        out.fAmbient[c] = Finite(scene.fAmbientRGB[c], 0);
    }
    out.uiFrameCount = scene.uiFrameCount;
    out.uiFramesPerSecond = scene.uiFramesPerSecond ? scene.uiFramesPerSecond : 30;

    out.pMeshes.resize(scene.pMeshes.size());
    for (size_t m = 0; m < scene.pMeshes.size(); ++m)
        DecodeMesh(scene.pMeshes[m], nodeCount, out.pMeshes[m]);

    for (const SSceneMaterial& sm : scene.pMaterials) {
        SDrawMaterial dm;
        dm.sName = sm.pszName;
        for (int c = 0; c < 3; ++c) {
            dm.fDiffuse[c] = Finite(sm.fDiffuse[c], 0.8f);
            dm.fAmbient[c] = Finite(sm.fAmbient[c], 0);
            dm.fSpecular[c] = Finite(sm.fSpecular[c], 0);
        }
        dm.fDiffuse[3] = std::isfinite(sm.fOpacity) ? std::fmin(std::fmax(sm.fOpacity, 0.0f), 1.0f) : 1.0f;
        dm.fShininess = Finite(sm.fShininess, 0);
        dm.bBlend = (sm.uiMaterialFlags & kMaterialBlendEnabled) != 0;
        if (IsBlendFactor(sm.eSrcColourFactor) && IsBlendFactor(sm.eDstColourFactor)) {
            dm.eSrcFactor = sm.eSrcColourFactor;
            dm.eDstFactor = sm.eDstColourFactor;
        } else if (dm.bBlend) {
            dm.eSrcFactor = kGLSrcAlpha;
            dm.eDstFactor = kGLOneMinusSrcAlpha;
        }
        dm.eBlendOp = IsBlendOp(sm.eColourBlendOp) ? sm.eColourBlendOp : kGLFuncAdd;
        if (sm.nDiffuseTexture >= 0 && size_t(sm.nDiffuseTexture) < scene.pTextures.size()) {
            dm.sTextureName = scene.pTextures[size_t(sm.nDiffuseTexture)].pszName;
            dm.sTexturePath = TextureBeside(folder, dm.sTextureName);
        }
        out.pMaterials.push_back(dm);
    }

    // Nodes by their place: mesh nodes, one per light, one per camera, others.
    out.pNodes.resize(nodeCount);
    const size_t meshNodes = std::min<size_t>(scene.uiMeshNodeCount, nodeCount);
    const size_t lightEnd = meshNodes + scene.pLights.size();
    const size_t cameraEnd = lightEnd + scene.pCameras.size();
    std::vector<bool> isBone(nodeCount, false);
    for (const SDrawMesh& m : out.pMeshes)
        for (size_t i = 0; i < m.puiBoneNodes.size(); ++i)
            if (m.pfBoneWeights[i] > 0)
                isBone[m.puiBoneNodes[i]] = true;
    for (size_t i = 0; i < nodeCount; ++i) {
        const SSceneNode& sn = scene.pNodes[i];
        SDrawNode& dn = out.pNodes[i];
        dn.sName = sn.pszName;
        const int32_t content = sn.nContentIdx;
        if (i < meshNodes) {
            dn.eKind = eNodeMesh;
            if (content >= 0 && size_t(content) < scene.pMeshes.size()) {
                dn.nContent = content;
                SDrawItem item;
                item.uiNode = uint32_t(i);
                item.uiMesh = uint32_t(content);
                if (sn.nMaterialIdx >= 0 && size_t(sn.nMaterialIdx) < out.pMaterials.size())
                    item.nMaterial = sn.nMaterialIdx;
                if (out.pMeshes[item.uiMesh].uiVertexCount != 0)
                    out.pItems.push_back(item);
            }
        } else if (i < lightEnd) {
            dn.eKind = eNodeLight;
            if (content >= 0 && size_t(content) < scene.pLights.size())
                dn.nContent = content;
        } else if (i < cameraEnd) {
            dn.eKind = eNodeCamera;
            if (content >= 0 && size_t(content) < scene.pCameras.size())
                dn.nContent = content;
        } else {
            dn.eKind = isBone[i] ? eNodeBone : eNodeOther;
        }
    }
    ResolveParents(scene, out.pNodes);

    for (size_t i = meshNodes; i < std::min(lightEnd, size_t(nodeCount)); ++i) {
        if (out.pNodes[i].nContent < 0)
            continue;
        const SSceneLight& sl = scene.pLights[size_t(out.pNodes[i].nContent)];
        SDrawLight dl;
        dl.uiNode = uint32_t(i);
        dl.eType = sl.eType <= eLightSpot ? sl.eType : eLightPoint;
        for (int c = 0; c < 3; ++c)
            dl.fColour[c] = Finite(sl.fColour[c], 0);
        const float att[3] = {Finite(sl.fConstantAttenuation, 0), Finite(sl.fLinearAttenuation, 0),
                              Finite(sl.fQuadraticAttenuation, 0)};
        // No attenuation given: the light does not fade.
        if (att[0] > 0 || att[1] > 0 || att[2] > 0)
            for (int c = 0; c < 3; ++c)
                dl.fAttenuation[c] = std::fmax(att[c], 0.0f);
        dl.fFalloffAngle = Finite(sl.fFalloffAngle, 0);
        dl.fFalloffExponent = Finite(sl.fFalloffExponent, 0);
        dl.nTarget = sl.nTargetIdx >= 0 && uint32_t(sl.nTargetIdx) < nodeCount ? sl.nTargetIdx : -1;
        out.pLights.push_back(dl);
    }
    for (size_t i = lightEnd; i < std::min(cameraEnd, size_t(nodeCount)); ++i) {
        if (out.pNodes[i].nContent < 0)
            continue;
        const SSceneCamera& sc = scene.pCameras[size_t(out.pNodes[i].nContent)];
        SDrawCamera dc;
        dc.uiNode = uint32_t(i);
        if (UsableFieldOfView(sc.fFieldOfView))
            dc.fFieldOfView = sc.fFieldOfView;
        if (std::isfinite(sc.fNearClip) && sc.fNearClip > 0)
            dc.fNear = sc.fNearClip;
        if (std::isfinite(sc.fFarClip) && sc.fFarClip > dc.fNear)
            dc.fFar = sc.fFarClip;
        dc.nTarget = sc.nTargetIdx >= 0 && uint32_t(sc.nTargetIdx) < nodeCount ? sc.nTargetIdx : -1;
        out.pCameras.push_back(dc);
    }
}

bool UsableFieldOfView(float radians)
{
    return std::isfinite(radians) && radians > 0.01f && radians < 3.1f;
}

bool LoadDrawList(const std::string& path, SScene& scene, SDrawList& out, std::string* error)
{
    out = SDrawList();
    CZGXTString why;
    if (LoadSceneFile(scene, path.c_str(), &why) != 0) {
        Destroy(scene);
        if (error)
            *error = why.empty() ? std::string("not a QEF scene file") : why;
        return false;
    }
    BuildDrawList(scene, QFileInfo(QString::fromStdString(path)).absolutePath().toStdString(), out);
    return true;
}
