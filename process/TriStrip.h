#pragma once
// Triangle strips from a triangle list (ZGXTTriStrip): strips grow along
// shared edges and are improved by randomised passes; five attempts with the
// C library's generator seeded 0 to 4 keep the result with the fewest strips,
// so a given list always gives the same strips.
#include <cstdint>
#include <vector>

// Strips of faceCount triangles (3 x 32-bit indices each). Each strip is its
// first triangle's three indices followed by one index per further triangle;
// *lengths gets the triangles of each strip. Every triangle appears once with
// its winding: strip triangle k of indices s[k], s[k+1], s[k+2] is
// (s[k], s[k+1], s[k+2]) for even k and (s[k+1], s[k], s[k+2]) for odd k.
// The keys are those of the C library's rand() after srand(seed), drawn
// from an own copy of glibc's generator; the first call that needs keys
// checks the copy against rand() (reseeding the library's generator), and
// where they differ the attempts draw from rand() itself, one call at a time.
// Safe to call from several threads at once.
// Each attempt's improvement passes may take a number of steps proportional
// to n log n (counted, the same on every machine); an attempt that spends
// them keeps its strips as they stand, and *budgetReached (when given) says
// whether any attempt did.
void GenerateTriStrips(const uint32_t* faces, uint32_t faceCount, std::vector<uint32_t>* indices,
                       std::vector<uint32_t>* lengths, bool* budgetReached = nullptr);

// Reorders the triangles (in place) into the order of their strips; every
// triangle keeps its winding, its corners may be rotated. Returns whether
// an attempt ran out of its work budget.
bool TriStripOrder(uint32_t* faces, uint32_t faceCount);
