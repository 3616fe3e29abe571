#include "cli/Inspect.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cstdio>
#include <string>

#include "cli/CommandLine.h"
#include "base/ZGXTString.h"
#include "scene/Scene.h"
#include "scene/SceneCheck.h"
#include "scene/SceneFileFormat.h"
#include "scene/ResourceFile.h"
#include "scene/SceneFromQef.h"
#include "scene/SceneRead.h"

namespace {

const char kInspectUsage[] = "Usage: meshwright-cli inspect FILE.qef [--json]\n";

void PrintErr(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
}

// Names come from the file: control characters are shown escaped so that
// they cannot drive the terminal.
std::string Printable(const std::string& s)
{
    std::string out;
    for (char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F)
            out += StrFormat("\\x%02x", unsigned(c));
        else
            out += ch;
    }
    return out;
}

std::string Quoted(const std::string& s)
{
    return "\"" + Printable(s) + "\"";
}

QString JsonText(const std::string& s)
{
    return QString::fromUtf8(s.data(), int(s.size()));
}

std::string Num(float v)
{
    return StrFormat("%g", double(v));
}

std::string Floats(const float* v, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += (i ? " " : "") + Num(v[i]);
    return out;
}

QJsonArray JsonFloats(const float* v, int n)
{
    QJsonArray a;
    for (int i = 0; i < n; ++i)
        a.append(double(v[i]));
    return a;
}

template <class T>
QJsonArray JsonArray(const std::vector<T>& v)
{
    QJsonArray a;
    for (const T& x : v)
        a.append(double(x));
    return a;
}

const char* GLName(uint32_t v)
{
    switch (v) {
    case 0: return "ZERO";
    case 1: return "ONE";
    case 0x0300: return "SRC_COLOR";
    case 0x0301: return "ONE_MINUS_SRC_COLOR";
    case 0x0302: return "SRC_ALPHA";
    case 0x0303: return "ONE_MINUS_SRC_ALPHA";
    case 0x0304: return "DST_ALPHA";
    case 0x0305: return "ONE_MINUS_DST_ALPHA";
    case 0x0306: return "DST_COLOR";
    case 0x0307: return "ONE_MINUS_DST_COLOR";
    case 0x0308: return "SRC_ALPHA_SATURATE";
    case 0x8001: return "CONSTANT_COLOR";
    case 0x8002: return "ONE_MINUS_CONSTANT_COLOR";
    case 0x8003: return "CONSTANT_ALPHA";
    case 0x8004: return "ONE_MINUS_CONSTANT_ALPHA";
    case 0x8006: return "FUNC_ADD";
    case 0x8007: return "MIN";
    case 0x8008: return "MAX";
    case 0x800A: return "FUNC_SUBTRACT";
    case 0x800B: return "FUNC_REVERSE_SUBTRACT";
    default: return "unknown";
    }
}

std::string GL(uint32_t v)
{
    return StrFormat("%s (%u)", GLName(v), v);
}

const char* LightTypeName(uint32_t t)
{
    switch (t) {
    case eLightPoint: return "point";
    case eLightDirectional: return "directional";
    case eLightSpot: return "spot";
    default: return "unknown";
    }
}

const char* const kTextureSlotNames[SSceneMaterial::kTextureSlots] = {
    "diffuse", "ambient", "specular", "slot 3", "slot 4", "emissive", "slot 6", "slot 7", "reflection", "slot 9"};

// What a node's place in the node array makes it.
struct SNodeRole {
    const char* kind; // "mesh", "light", "camera" or "other"
    size_t count;     // records of that kind, to check the content index
};

SNodeRole NodeRole(const SScene& s, size_t i)
{
    const size_t meshNodes = s.uiMeshNodeCount;
    if (i < meshNodes)
        return {"mesh", s.pMeshes.size()};
    if (i < meshNodes + s.pLights.size())
        return {"light", s.pLights.size()};
    if (i < meshNodes + s.pLights.size() + s.pCameras.size())
        return {"camera", s.pCameras.size()};
    return {"other", 0};
}

struct STrack {
    const char* name;
    uint32_t bit;
    uint32_t keySize;
    const std::vector<uint32_t>* keyIdx;
    const std::vector<float>* keys;
};

std::vector<STrack> Tracks(const SSceneNode& n)
{
    return {{"position", 0, kPositionKeySize, &n.puiPositionKeyIdx, &n.pfPositionKeys},
            {"rotation", 1, kRotationKeySize, &n.puiRotationKeyIdx, &n.pfRotationKeys},
            {"scale", 2, kScaleKeySize, &n.puiScaleKeyIdx, &n.pfScaleKeys},
            {"matrix", 3, kMatrixKeySize, &n.puiMatrixKeyIdx, &n.pfMatrixKeys}};
}

std::string RefText(int32_t index, size_t count, const char* what)
{
    if (index < 0)
        return "none";
    if (size_t(index) >= count)
        return StrFormat("%d (out of range: %zu %s)", index, count, what);
    return StrFormat("%d", index);
}

struct SInspection {
    std::string path;
    qint64 size = 0;
    std::string options;
    std::string history;
    SScene scene;
};

// ---- text ----

void TextChannel(std::string& out, const SSceneMesh& m, const SVertexChannel& c, bool interleaved)
{
    if (!c.IsPresent())
        return;
    out += StrFormat("    %s: %s x%u", VertexChannelName(m, &c).c_str(), DataTypeName(c.eType), c.uiComponentCount);
    out += interleaved ? StrFormat(", offset %u\n", c.uiOffset) : StrFormat(", stride %u\n", c.uiStride);
}

std::string Text(const SInspection& in)
{
    const SScene& s = in.scene;
    std::string out;
    out += "File: " + Printable(in.path) + StrFormat(" (%lld bytes)\n", static_cast<long long>(in.size));
    out += StrFormat("Version: %s\n", qef::kVersionText);
    out += "History: " + Printable(in.history) + "\n";
    out += "Scene:\n";
    out += "  background: " + Floats(s.fBackgroundRGB, 3) + "\n";
    out += "  ambient: " + Floats(s.fAmbientRGB, 3) + "\n";
    out += s.uiFrameCount ? StrFormat("  frames: %u at %u per second\n", s.uiFrameCount, s.uiFramesPerSecond)
                          : std::string("  frames: 0 (no animation)\n");
    out += StrFormat("  flags: 0x%08x\n", s.uiFlags);
    out += StrFormat("  user data: %zu bytes\n", s.pUserData.size());
    out += StrFormat("  counts: %zu meshes, %zu nodes (%u mesh nodes), %zu cameras, %zu lights, %zu materials, "
                     "%zu textures\n",
                     s.pMeshes.size(), s.pNodes.size(), s.uiMeshNodeCount, s.pCameras.size(), s.pLights.size(),
                     s.pMaterials.size(), s.pTextures.size());

    for (size_t i = 0; i < s.pMeshes.size(); ++i) {
        const SSceneMesh& m = s.pMeshes[i];
        out += StrFormat("Mesh %zu: %u vertices, %u triangles, ", i, m.uiVertexCount, m.uiTriangleCount);
        out += m.puiStripTriangles.empty() ? std::string("triangle list") : StrFormat("%u strips", m.StripCount());
        if (m.sIndexData.IsPresent())
            out += StrFormat(", %llu indices (%s)", static_cast<unsigned long long>(IndexCount(m)),
                             DataTypeName(m.sIndexData.eType));
        else
            out += ", not indexed";
        out += m.IsInterleaved() ? StrFormat(", interleaved, %u bytes per vertex\n", InterleavedStride(m))
                                 : std::string(", separate channels\n");
        if (!m.puiStripTriangles.empty()) {
            out += "    strip triangles:";
            for (uint32_t t : m.puiStripTriangles)
                out += StrFormat(" %u", t);
            out += "\n";
        }
        for (const SVertexChannel* c : VertexChannels(m))
            TextChannel(out, m, *c, m.IsInterleaved());
        if (m.fUnpackMatrix != MatrixIdentity())
            out += "    unpack matrix: " + Floats(m.fUnpackMatrix.data(), 16) + "\n";
        if (m.uiBatchCount) {
            out += StrFormat("    bone batches: %u, capacity %u\n", m.uiBatchCount, m.uiBatchCapacity);
            for (uint32_t b = 0; b < m.uiBatchCount; ++b) {
                out += StrFormat("      batch %u:", b);
                if (!m.puiBatchStartTriangle.empty())
                    out += StrFormat(" start triangle %u,", m.puiBatchStartTriangle[b]);
                if (!m.puiBatchBoneTotals.empty())
                    out += StrFormat(" bones used %u", m.puiBatchBoneTotals[b]);
                if (!m.puiBatchBoneList.empty()) {
                    out += m.puiBatchBoneTotals.empty() ? " bone list [" : ", list [";
                    for (uint32_t k = 0; k < m.uiBatchCapacity; ++k)
                        out += StrFormat(k ? " %u" : "%u", m.puiBatchBoneList[size_t(b) * m.uiBatchCapacity + k]);
                    out += "]";
                }
                out += "\n";
            }
        }
    }

    for (size_t i = 0; i < s.pNodes.size(); ++i) {
        const SSceneNode& n = s.pNodes[i];
        const SNodeRole role = NodeRole(s, i);
        out += StrFormat("Node %zu ", i) + Quoted(n.pszName) + ": ";
        if (role.count || std::string(role.kind) != "other")
            out += StrFormat("%s ", role.kind) + RefText(n.nContentIdx, role.count, "records");
        else
            out += "transform";
        out += ", parent " + RefText(n.nParentIdx, s.pNodes.size(), "nodes");
        if (n.nMaterialIdx >= 0)
            out += ", material " + RefText(n.nMaterialIdx, s.pMaterials.size(), "materials");
        out += StrFormat(", animation flags 0x%x", n.uiAnimMask);
        if (!n.pUserData.empty())
            out += StrFormat(", user data %zu bytes", n.pUserData.size());
        out += "\n";
        std::string tracks;
        for (const STrack& t : Tracks(n)) {
            if (t.keys->empty())
                continue;
            const bool animated = (n.uiAnimMask >> t.bit) & 1;
            tracks += StrFormat("%s%s: ", tracks.empty() ? "    " : "; ", t.name);
            if (!animated)
                tracks += "static";
            else
                tracks +=
                    StrFormat("animated, %zu keys%s", t.keys->size() / t.keySize, t.keyIdx->empty() ? "" : ", indexed");
        }
        if (!tracks.empty())
            out += tracks + "\n";
    }

    for (size_t i = 0; i < s.pMaterials.size(); ++i) {
        const SSceneMaterial& m = s.pMaterials[i];
        out += StrFormat("Material %zu ", i) + Quoted(m.pszName) + ": opacity " + Num(m.fOpacity) + ", shininess " +
               Num(m.fShininess) + "\n";
        out += "    ambient " + Floats(m.fAmbient, 3) + ", diffuse " + Floats(m.fDiffuse, 3) + ", specular " +
               Floats(m.fSpecular, 3) + "\n";
        for (int t = 0; t < SSceneMaterial::kTextureSlots; ++t) {
            const int32_t idx = m.TextureSlot(t);
            if (idx < 0)
                continue;
            out += StrFormat("    %s texture: ", kTextureSlotNames[t]) + RefText(idx, s.pTextures.size(), "textures");
            if (size_t(idx) < s.pTextures.size())
                out += " " + Quoted(s.pTextures[size_t(idx)].pszName);
            out += "\n";
        }
        if (!m.pszEffectFileName.empty() || !m.pszEffectLabel.empty())
            out += "    effect: file " + Quoted(m.pszEffectFileName) + ", label " + Quoted(m.pszEffectLabel) + "\n";
        out += StrFormat("    blending %s: ", (m.uiMaterialFlags & kMaterialBlendEnabled) ? "on" : "off");
        out += "source colour " + GL(m.eSrcColourFactor) + ", source alpha " + GL(m.eSrcAlphaFactor) +
               ", destination colour " + GL(m.eDstColourFactor) + ", destination alpha " + GL(m.eDstAlphaFactor) +
               ", colour op " + GL(m.eColourBlendOp) + ", alpha op " + GL(m.eAlphaBlendOp) + "\n";
        out += "    blend colour " + Floats(m.fConstantBlendColour, 4) + ", blend factor " +
               Floats(m.fBlendFactorRGBA, 4) + StrFormat(", flags 0x%x", m.uiMaterialFlags);
        if (!m.pUserData.empty())
            out += StrFormat(", user data %zu bytes", m.pUserData.size());
        out += "\n";
    }

    for (size_t i = 0; i < s.pTextures.size(); ++i)
        out += StrFormat("Texture %zu: ", i) + Quoted(s.pTextures[i].pszName) + "\n";

    for (size_t i = 0; i < s.pCameras.size(); ++i) {
        const SSceneCamera& c = s.pCameras[i];
        out += StrFormat("Camera %zu: target ", i) + RefText(c.nTargetIdx, s.pNodes.size(), "nodes") +
               ", field of view " + Num(c.fFieldOfView) + " rad, near " + Num(c.fNearClip) + ", far " + Num(c.fFarClip);
        if (!c.pfFieldOfViewKeys.empty())
            out += StrFormat(", %zu field of view keys", c.pfFieldOfViewKeys.size());
        out += "\n";
    }

    for (size_t i = 0; i < s.pLights.size(); ++i) {
        const SSceneLight& l = s.pLights[i];
        out += StrFormat("Light %zu: %s, target ", i, LightTypeName(l.eType)) +
               RefText(l.nTargetIdx, s.pNodes.size(), "nodes") + ", colour " + Floats(l.fColour, 3);
        if (l.eType != eLightDirectional)
            out += ", attenuation " + Num(l.fConstantAttenuation) + " " + Num(l.fLinearAttenuation) + " " +
                   Num(l.fQuadraticAttenuation);
        if (l.eType == eLightSpot)
            out += ", falloff angle " + Num(l.fFalloffAngle) + " rad, exponent " + Num(l.fFalloffExponent);
        out += "\n";
    }

    out += "Options:\n";
    size_t start = 0;
    while (start < in.options.size()) {
        size_t end = in.options.find('\n', start);
        if (end == std::string::npos)
            end = in.options.size();
        out += "  " + Printable(in.options.substr(start, end - start)) + "\n";
        start = end + 1;
    }
    return out;
}

// ---- JSON ----

QJsonObject JsonChannel(const SSceneMesh& m, const SVertexChannel& c, bool interleaved)
{
    QJsonObject o;
    o["name"] = QString::fromStdString(VertexChannelName(m, &c));
    o["type"] = double(c.eType);
    o["typeName"] = QString::fromLatin1(DataTypeName(c.eType));
    o["components"] = double(c.uiComponentCount);
    o["stride"] = double(c.uiStride);
    if (interleaved)
        o["offset"] = double(c.uiOffset);
    return o;
}

std::string Json(const SInspection& in)
{
    const SScene& s = in.scene;
    QJsonObject root;
    root["file"] = JsonText(in.path);
    root["size"] = double(in.size);
    root["version"] = QString::fromLatin1(qef::kVersionText);
    root["history"] = JsonText(in.history);
    root["options"] = JsonText(in.options);

    QJsonObject scene;
    scene["background"] = JsonFloats(s.fBackgroundRGB, 3);
    scene["ambient"] = JsonFloats(s.fAmbientRGB, 3);
    scene["frameCount"] = double(s.uiFrameCount);
    scene["framesPerSecond"] = double(s.uiFramesPerSecond);
    scene["flags"] = double(s.uiFlags);
    scene["userDataSize"] = double(s.pUserData.size());
    scene["meshNodeCount"] = double(s.uiMeshNodeCount);
    QJsonObject counts;
    counts["meshes"] = double(s.pMeshes.size());
    counts["nodes"] = double(s.pNodes.size());
    counts["cameras"] = double(s.pCameras.size());
    counts["lights"] = double(s.pLights.size());
    counts["materials"] = double(s.pMaterials.size());
    counts["textures"] = double(s.pTextures.size());
    scene["counts"] = counts;
    root["scene"] = scene;

    QJsonArray meshes;
    for (const SSceneMesh& m : s.pMeshes) {
        QJsonObject o;
        o["vertices"] = double(m.uiVertexCount);
        o["triangles"] = double(m.uiTriangleCount);
        o["strips"] = JsonArray(m.puiStripTriangles);
        o["indexCount"] = double(IndexCount(m));
        o["index"] = JsonChannel(m, m.sIndexData, false);
        o["interleaved"] = m.IsInterleaved();
        if (m.IsInterleaved())
            o["vertexSize"] = double(InterleavedStride(m));
        QJsonArray channels;
        for (const SVertexChannel* c : VertexChannels(m))
            if (c->IsPresent())
                channels.append(JsonChannel(m, *c, m.IsInterleaved()));
        o["channels"] = channels;
        o["texCoordSets"] = double(m.TexCoordSets());
        o["unpackMatrix"] = JsonFloats(m.fUnpackMatrix.data(), 16);
        QJsonObject batches;
        batches["count"] = double(m.uiBatchCount);
        batches["capacity"] = double(m.uiBatchCapacity);
        batches["boneList"] = JsonArray(m.puiBatchBoneList);
        batches["boneTotals"] = JsonArray(m.puiBatchBoneTotals);
        batches["startTriangles"] = JsonArray(m.puiBatchStartTriangle);
        o["batches"] = batches;
        meshes.append(o);
    }
    root["meshes"] = meshes;

    QJsonArray nodes;
    for (size_t i = 0; i < s.pNodes.size(); ++i) {
        const SSceneNode& n = s.pNodes[i];
        QJsonObject o;
        o["name"] = JsonText(n.pszName);
        o["kind"] = QString::fromLatin1(NodeRole(s, i).kind);
        o["content"] = double(n.nContentIdx);
        o["material"] = double(n.nMaterialIdx);
        o["parent"] = double(n.nParentIdx);
        o["animMask"] = double(n.uiAnimMask);
        o["userDataSize"] = double(n.pUserData.size());
        QJsonObject tracks;
        for (const STrack& t : Tracks(n)) {
            if (t.keys->empty())
                continue;
            QJsonObject track;
            track["animated"] = bool((n.uiAnimMask >> t.bit) & 1);
            track["indexed"] = !t.keyIdx->empty();
            track["keys"] = double(t.keys->size() / t.keySize);
            track["floats"] = double(t.keys->size());
            tracks[QString::fromLatin1(t.name)] = track;
        }
        o["tracks"] = tracks;
        nodes.append(o);
    }
    root["nodes"] = nodes;

    QJsonArray materials;
    for (const SSceneMaterial& m : s.pMaterials) {
        QJsonObject o;
        o["name"] = JsonText(m.pszName);
        QJsonObject textures;
        for (int t = 0; t < SSceneMaterial::kTextureSlots; ++t)
            if (m.TextureSlot(t) >= 0)
                textures[QString::fromLatin1(kTextureSlotNames[t])] = double(m.TextureSlot(t));
        o["textures"] = textures;
        o["opacity"] = double(m.fOpacity);
        o["ambient"] = JsonFloats(m.fAmbient, 3);
        o["diffuse"] = JsonFloats(m.fDiffuse, 3);
        o["specular"] = JsonFloats(m.fSpecular, 3);
        o["shininess"] = double(m.fShininess);
        o["effectFile"] = JsonText(m.pszEffectFileName);
        o["effectLabel"] = JsonText(m.pszEffectLabel);
        QJsonObject blend;
        blend["enabled"] = bool(m.uiMaterialFlags & kMaterialBlendEnabled);
        blend["srcColour"] = double(m.eSrcColourFactor);
        blend["srcAlpha"] = double(m.eSrcAlphaFactor);
        blend["dstColour"] = double(m.eDstColourFactor);
        blend["dstAlpha"] = double(m.eDstAlphaFactor);
        blend["colourOp"] = double(m.eColourBlendOp);
        blend["alphaOp"] = double(m.eAlphaBlendOp);
        blend["constantColour"] = JsonFloats(m.fConstantBlendColour, 4);
        blend["factor"] = JsonFloats(m.fBlendFactorRGBA, 4);
        o["blend"] = blend;
        o["flags"] = double(m.uiMaterialFlags);
        o["userDataSize"] = double(m.pUserData.size());
        materials.append(o);
    }
    root["materials"] = materials;

    QJsonArray textures;
    for (const SSceneTexture& t : s.pTextures)
        textures.append(JsonText(t.pszName));
    root["textures"] = textures;

    QJsonArray cameras;
    for (const SSceneCamera& c : s.pCameras) {
        QJsonObject o;
        o["target"] = double(c.nTargetIdx);
        o["fieldOfView"] = double(c.fFieldOfView);
        o["nearClip"] = double(c.fNearClip);
        o["farClip"] = double(c.fFarClip);
        o["fieldOfViewKeys"] = double(c.pfFieldOfViewKeys.size());
        cameras.append(o);
    }
    root["cameras"] = cameras;

    QJsonArray lights;
    for (const SSceneLight& l : s.pLights) {
        QJsonObject o;
        o["type"] = double(l.eType);
        o["typeName"] = QString::fromLatin1(LightTypeName(l.eType));
        o["target"] = double(l.nTargetIdx);
        o["colour"] = JsonFloats(l.fColour, 3);
        o["constantAttenuation"] = double(l.fConstantAttenuation);
        o["linearAttenuation"] = double(l.fLinearAttenuation);
        o["quadraticAttenuation"] = double(l.fQuadraticAttenuation);
        o["falloffAngle"] = double(l.fFalloffAngle);
        o["falloffExponent"] = double(l.fFalloffExponent);
        lights.append(o);
    }
    root["lights"] = lights;

    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

} // namespace

int RunInspect(const QStringList& args)
{
    QString path;
    bool json = false;
    for (const QString& a : args) {
        if (a == QLatin1String("--json")) {
            json = true;
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            PrintErr("meshwright-cli: unknown option '" + a.toStdString() + "'\n" + kInspectUsage);
            return kExitUsage;
        } else if (path.isEmpty()) {
            path = a;
        } else {
            PrintErr("meshwright-cli: inspect takes one file\n" + std::string(kInspectUsage));
            return kExitUsage;
        }
    }
    if (path.isEmpty()) {
        PrintErr("meshwright-cli: inspect needs a scene file\n" + std::string(kInspectUsage));
        return kExitUsage;
    }

    SInspection in;
    in.path = path.toStdString();
    const QFileInfo info(path);
    if (!info.isFile()) {
        PrintErr("meshwright-cli: error: no file at '" + Printable(in.path) + "'\n");
        return 1;
    }
    in.size = info.size();
    const QByteArray native = QFile::encodeName(path);
    // Read through the loader (qef/), as an engine reads the file.
    CZGXTString error;
    CZGXTResourceFile file;
    if (!file.Open(native.constData())) {
        error = "cannot read the file";
    } else if (!LoadSceneFromBytes(file.Data(), file.Size(), &in.scene, &in.options, &in.history, &error)) {
        if (error.empty())
            error = "not a scene file";
    } else {
        error.clear();
    }
    if (!error.empty()) {
        PrintErr("meshwright-cli: error: " + Printable(in.path) + ": " + Printable(error) + "\n");
        return 1;
    }
    const std::string out = json ? Json(in) : Text(in);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
