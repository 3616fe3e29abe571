#pragma once
// The fixed frames that animation is sampled at, whatever the input format.
#include <cstdint>

// Seconds between frames, as the scene format has always sampled.
constexpr float kAnimFrameStep = 0.033333f;

// round4(x) = floor(x * 10000 + 0.0005) / 10000: frame and key times are
// compared at this precision.
double AnimRound4(double x);

// N, the last frame sampled for keys spanning [t0, t1] seconds, when
// perFrame blocks (or samples) are made at every frame: cut, with a warning,
// where the frames would pass blockLimit frame blocks (the import's limit,
// SImportSettings::frameBlockLimit). 0 when !allFrames: a conversion that
// uses no frame but the first samples only it, so a document's key span
// costs nothing there.
uint32_t SampledLastFrame(double t0, double t1, uint64_t perFrame, bool allFrames, uint64_t blockLimit);
