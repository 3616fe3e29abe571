#pragma once
// Base64 with the standard alphabet ("+", "/", "=" padding), as property
// lists hold binary data.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/ZGXTString.h"

// Encodes bytes in lines of at most lineLength characters, each ended by a
// line feed; no bytes give an empty text.
CZGXTString Base64Encode(const void* bytes, size_t length, size_t lineLength = 72);

// Decodes a text, skipping white space anywhere in it. Returns false (and
// leaves out untouched) for any other character outside the alphabet,
// misplaced padding or a length that cannot be Base64.
bool Base64Decode(const char* text, size_t length, std::vector<uint8_t>& out);
