#pragma once
// Stage 3 of the processing driver: node animation tracks that never leave
// the rest transform are dropped, the rest are flagged and optionally indexed
// (distinct keys plus a per-frame offset), every node gets the transform
// arrays its export form needs, and the working lists become the scene's.
#include <cstdint>
#include <vector>

class COptionsData;
struct SScene;
struct SWorkNode;
struct SWorkScene;

// The whole stage; the working lists are left empty.
void ReduceAnimation(SScene& scene, SWorkScene& work, const COptionsData& options);

// The track reduction of one node (frameCount frames).
void ReduceNodeAnimation(SWorkNode& node, uint32_t frameCount, const COptionsData& options);

// Replaces track (frames x keySize floats) by its distinct keys and fills
// index with each frame's key offset in floats. False, with track unchanged
// and index empty, when that would not save space.
bool IndexTrack(std::vector<uint32_t>& index, std::vector<float>& track, uint32_t frames, uint32_t keySize);
