#pragma once
// Element types of vertex and index data, and how one element of each type is
// read as floats and written from floats. Every Part that touches vertex data
// goes through these functions.
#include <cstdint>

enum EZGXTDataType : uint32_t {
    eZGXTNone = 0,
    eZGXTFloat = 1,
    eZGXTInt = 2,       // signed 32-bit
    eZGXTUShort = 3,    // unsigned 16-bit
    eZGXTRGBA = 4,      // packed colour, R in the top byte
    eZGXTARGB = 5,      // packed colour, A in the top byte
    eZGXTD3DColour = 6, // same layout as ARGB
    eZGXTUByte4 = 7,    // four unsigned bytes, unscaled
    eZGXTDec3N = 8,     // three signed 10-bit fields, normalised
    eZGXTFixed16 = 9,   // signed 16.16 fixed point
    eZGXTUByte = 10,
    eZGXTShort = 11,
    eZGXTShortNorm = 12,
    eZGXTByte = 13,
    eZGXTByteNorm = 14,
    eZGXTUByteNorm = 15,
    eZGXTUShortNorm = 16,
    eZGXTUInt = 17, // unsigned 32-bit
    eZGXTTypeCount = 18
};

// Bytes per stored component; 0 for type 0 and unknown values.
uint32_t ComponentSize(uint32_t type);
// Float values carried by one stored element: 4 for the packed colours and
// UBYTE4, 3 for DEC3N, 1 for the plain types, 0 for none and unknown values.
uint32_t ValuesPerElement(uint32_t type);
inline bool IsPackedType(uint32_t type)
{
    return type >= eZGXTRGBA && type <= eZGXTDec3N;
}
inline bool IsValidDataType(uint32_t type)
{
    return type < eZGXTTypeCount;
}
// The name shown to the user ("float", "RGBA", ...); "none" and "int" for the
// two types the options editor does not offer, "unknown" for other values.
const char* DataTypeName(uint32_t type);

// Reads one element: out becomes (0, 0, 0, 1), then count values (plain types,
// at most 4) or the whole packed element (count ignored) are converted into it.
void ReadVertex(float out[4], const void* element, uint32_t type, uint32_t count);
// Writes count values of the type (for a packed type one element from the
// first values, missing values giving 0). At most 4 values are taken.
void WriteVertex(void* element, uint32_t type, uint32_t count, const float in[4]);

// One value of a plain type, for channels with more than four components.
float ReadComponent(const void* component, uint32_t type);
void WriteComponent(void* component, uint32_t type, float value);

// Index lists use only unsigned 16-bit (3) and unsigned 32-bit (17) values.
uint32_t ReadIndex(const void* address, uint32_t type);
void WriteIndex(void* address, uint32_t type, uint32_t value);
