#pragma once
// Hashing of keys that are compared with float equality (welding, instancing,
// animation keys): -0 and +0 compare equal, so both hash alike.
#include <cstdint>
#include <cstring>

constexpr uint64_t kKeyHashSeed = 0xcbf29ce484222325ull;

inline uint32_t CanonicalBits(float f)
{
    if (f == 0.0f)
        return 0;
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

inline uint64_t HashWord(uint64_t h, uint32_t word)
{
    return (h ^ word) * 0x100000001b3ull;
}

// Spreads the bits, so that the low ones can pick a table slot.
inline uint64_t FinishHash(uint64_t h)
{
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return h;
}
