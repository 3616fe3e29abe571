#pragma once
// Animation elements: animation (nested), sampler and channel with its
// target parsed into a node id and an animated property.
#include <string>
#include <vector>

#include "collada/DAEIndex.h"
#include "collada/DAEObject.h"

class CEl_Accessor;
class CEl_Channel;

// The property a channel drives.
enum EAnimProperty : int {
    eAnimPropNone = 0, // not animated (visibility and anything unknown)
    eAnimPropTranslateX,
    eAnimPropTranslateY,
    eAnimPropTranslateZ,
    eAnimPropTranslate, // all three components in order
    eAnimPropRotateX,   // angle in degrees
    eAnimPropRotateY,
    eAnimPropRotateZ,
    eAnimPropScaleX,
    eAnimPropScaleY,
    eAnimPropScaleZ,
    eAnimPropScale,
    eAnimPropMatrixElement, // one element, see CEl_Channel::MatrixElement
    eAnimPropMatrix,        // all 16 values
};

// The text of a channel target after its last '/': the property and, for a
// single matrix element, its index 4 * row + column (0-15).
EAnimProperty ParseAnimProperty(const char* text, int* matrixElement);

class CEl_Sampler : public CDAEObject {
public:
    CEl_Sampler() : CDAEObject(eEl_sampler) {}
    bool AddChild(CDAEObject* child) override;
};

// The accessors a channel samples through, looked up once the whole
// document has been resolved.
struct SChannelSources {
    const CEl_Accessor* pInput = nullptr; // key times
    const CEl_Accessor* pOutput = nullptr;
    const CEl_Accessor* pInterpolation = nullptr;
    const CEl_Accessor* pInTangent = nullptr;
    const CEl_Accessor* pOutTangent = nullptr;
};

class CEl_Channel : public CDAEObject {
public:
    CEl_Channel() : CDAEObject(eEl_channel) {}
    bool SetAttribute(const char* name, const char* value) override;
    bool Resolve(CDAEIndex& index) override;

    const std::string& SourceUrl() const { return m_sSource; }
    const std::string& Target() const { return m_sTarget; }
    // Text of the target before the first '/'.
    const std::string& TargetNodeId() const { return m_sTargetNode; }
    EAnimProperty Property() const { return m_eProperty; }
    int MatrixElement() const { return m_iMatrixElement; }
    CEl_Sampler* Sampler() const { return m_pSampler; }
    // The sampler's inputs by semantic (every pointer may be null).
    SChannelSources Sources() const;

private:
    std::string m_sSource;
    bool m_bHasSource = false;
    std::string m_sTarget;
    std::string m_sTargetNode;
    EAnimProperty m_eProperty = eAnimPropNone;
    int m_iMatrixElement = -1;
    CEl_Sampler* m_pSampler = nullptr;
};

class CEl_Animation : public CDAEObject {
public:
    CEl_Animation() : CDAEObject(eEl_animation) {}
    bool AddChild(CDAEObject* child) override;
    const std::vector<CEl_Animation*>& Animations() const { return m_animations; }

private:
    std::vector<CEl_Animation*> m_animations;
    std::vector<CEl_Channel*> m_channels;
};
