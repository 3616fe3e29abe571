#pragma once
// Conversion of a mesh's channels into the types, components and coordinate
// convention chosen in the export options, and the position unpack matrix.
#include <array>
#include <cstdint>

#include "scene/VertexDataTypes.h"
#include "scene/Scene.h"

class COptionsData;

// Up to four component codes ending at the first 0: 1 x, 2 y, 3 z, 4 w; a
// negative code takes the component negated.
using SComponentCodes = std::array<int8_t, 4>;

// Codes from an attribute's component mask (bit 0 x, 1 y, 2 z, 3 w, bit 7 set:
// no w); an attribute that is not exported gives no codes.
SComponentCodes MakeComponentCodes(bool exported, int32_t mask);

// Rewrites the channel's own data in newType (a packed type takes one element,
// other types keep every value). Nothing happens without data, for the same
// type, or for a type outside 1..17.
void ConvertChannel(SVertexChannel& channel, uint32_t vertexCount, uint32_t newType);

// Selects, reorders and negates components; a channel left without components
// loses its data and ends with 0 components and stride 0.
void SwizzleChannel(SVertexChannel& channel, uint32_t vertexCount, const SComponentCodes& codes);

// The processing step that brings a mesh into the exported vertex format.
void ConvertMeshVertexData(const COptionsData& options, SSceneMesh& mesh);

// Packs positions into [lo, hi] of the target type with a scale and offset per
// axis stored in fUnpackMatrix. Returns true when the plain conversion should
// be used instead, false when the positions have been converted here.
bool ComputeUnpackMatrix(SSceneMesh& mesh, uint32_t positionType);
