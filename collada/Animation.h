#pragma once
// Collada animation resampled to fixed frames: the channels of the animation
// libraries are grouped by target node, and every animated node gets one
// transform block per frame at 30 frames per second.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "collada/C2QHub.h"
#include "collada/ElAnimation.h"
#include "scene/ImportScene.h"

class CDAEObject;
class CEl_Node;

// Seconds between frames, as the scene format has always sampled.
constexpr float kAnimFrameStep = 0.033333f;

// round4(x) = floor(x * 10000 + 0.0005) / 10000: frame and key times are
// compared at this precision.
double AnimRound4(double x);

// N, the last frame sampled for keys spanning [t0, t1] seconds, when
// perFrame blocks (or samples) are made at every frame: cut, with a warning,
// where the frames would pass the import's limit of frame blocks. 0 when
// !allFrames: a conversion that uses no frame but the first samples only it,
// so a document's key span costs nothing there.
uint32_t SampledLastFrame(double t0, double t1, uint64_t perFrame, bool allFrames);

// The import's limit of frame blocks (1 << 22, about half a gigabyte of
// them). A fuzz target lowers it: a long animation is linear work, but its
// frames alone would pass the time the fuzzer gives one input.
uint64_t FrameBlockLimit();
void SetFrameBlockLimit(uint64_t blocks);

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
    // Groups the channels of every animation library (nested animations
    // included) by target node id and fixes the frame range (frame 0 alone
    // when !allFrames).
    void Prepare(const std::vector<CDAEObject*>& libraries, bool allFrames);

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
float SampleChannel(const SAnimChannel& channel, const SKeyInterval& k, double T, int c);
