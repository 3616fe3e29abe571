#pragma once
// Collada animation resampled to fixed frames: the channels of the animation
// libraries are grouped by target node, and every animated node gets one
// transform block per frame at 30 frames per second.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "collada/UpAxis.h"
#include "collada/ElAnimation.h"
#include "import/Frames.h"
#include "import/ImportWarnings.h"
#include "scene/ImportScene.h"

class CDAEObject;
class CEl_Node;

// One channel made ready for sampling.
struct SAnimChannel {
    const CEl_Channel* pChannel = nullptr;
    EAnimProperty eProperty = eAnimPropNone;
    int iElement = -1;           // matrix element of eAnimPropMatrixElement
    bool bValid = false;         // sampler, keys and values resolved, at least two keys
    std::vector<float> keys;     // INPUT times
    std::vector<double> rounded; // round4 of each key (NaN keys as -inf)
    std::vector<double> ceiling; // running maximum of rounded (key lookup)
    const std::vector<float>* pOutput = nullptr;
    int iOutputStride = 1; // components per key
    const std::vector<std::string>* pInterpolation = nullptr;
    std::vector<uint8_t> interpolation; // the kind each name of pInterpolation stands for, when known
    const std::vector<float>* pInTangent = nullptr;
    int iInTangentStride = 0;
    const std::vector<float>* pOutTangent = nullptr;
    int iOutTangentStride = 0;
};

// The key interval of a channel at time T: the keys before and after it.
struct SKeyInterval {
    int64_t prev = -1;
    int64_t next = -1;
    bool Applies() const { return prev >= 0 && next >= 0; }
};

class CAnimationLibrary {
public:
    // Warnings of sampling go to the import's warnings.
    explicit CAnimationLibrary(CImportWarnings& warnings) : m_warnings(warnings) {}

    // Groups the channels of every animation library (nested animations
    // included) by target node id and fixes the frame range (frame 0 alone
    // when !allFrames).
    // At most frameBlockLimit frame blocks are made (SampledLastFrame).
    void Prepare(const std::vector<CDAEObject*>& libraries, bool allFrames, uint64_t frameBlockLimit);

    // N: frames 0 .. N are sampled.
    uint32_t LastFrame() const { return m_uiLastFrame; }
    // The channels that target a node id (compared without regard to case).
    const std::vector<const SAnimChannel*>* ChannelsOf(const char* nodeId) const;

    // Computes the frame blocks 0 .. N of a node into record.frames. False
    // (nothing attached) when no channel names the node.
    bool Attach(const CEl_Node& node, SImportNode& record, EUpAxis mode) const;

    // Frame range and rate of the import scene.
    void Finish(SImportScene& scene) const;

    // The time frame f is sampled at.
    double FrameTime(uint32_t f) const;

private:
    CImportWarnings& m_warnings;
    std::vector<std::unique_ptr<SAnimChannel>> m_channels;
    std::unordered_map<std::string, std::vector<const SAnimChannel*>> m_byTarget; // lower-case id
    uint32_t m_uiLastFrame = 0;
    double m_dStart = 0;
};

// Key lookup: the first key whose rounded time is at least T, moved one
// further when it equals T and is not the last key; previous = next - 1.
// Logarithmic in the key count.
SKeyInterval FindKeyInterval(const SAnimChannel& channel, double T);

// Value component c of a channel at time T within interval k.
// Interpolations it cannot follow are warned of through warnings.
float SampleChannel(const SAnimChannel& channel, const SKeyInterval& k, double T, int c, CImportWarnings& warnings);
