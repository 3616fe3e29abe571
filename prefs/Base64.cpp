#include "prefs/Base64.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int DecodeChar(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

} // namespace

CZGXTString Base64Encode(const void* bytes, size_t length, size_t lineLength)
{
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    const size_t chars = (length + 2) / 3 * 4;
    CZGXTString out;
    out.reserve(chars + (lineLength ? chars / lineLength + 1 : 0));
    size_t column = 0;
    auto put = [&](char c) {
        out += c;
        if (lineLength && ++column == lineLength) {
            out += '\n';
            column = 0;
        }
    };
    size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        const uint32_t v = uint32_t(p[i]) << 16 | uint32_t(p[i + 1]) << 8 | p[i + 2];
        put(kAlphabet[v >> 18 & 63]);
        put(kAlphabet[v >> 12 & 63]);
        put(kAlphabet[v >> 6 & 63]);
        put(kAlphabet[v & 63]);
    }
    if (length - i == 1) {
        const uint32_t v = uint32_t(p[i]) << 16;
        put(kAlphabet[v >> 18 & 63]);
        put(kAlphabet[v >> 12 & 63]);
        put('=');
        put('=');
    } else if (length - i == 2) {
        const uint32_t v = uint32_t(p[i]) << 16 | uint32_t(p[i + 1]) << 8;
        put(kAlphabet[v >> 18 & 63]);
        put(kAlphabet[v >> 12 & 63]);
        put(kAlphabet[v >> 6 & 63]);
        put('=');
    }
    // The last line is ended as well, unless it was just ended.
    if (lineLength && column != 0)
        out += '\n';
    return out;
}

bool Base64Decode(const char* text, size_t length, std::vector<uint8_t>& out)
{
    std::vector<uint8_t> bytes;
    bytes.reserve(length / 4 * 3);
    uint32_t group = 0;
    int count = 0;   // characters in the current group
    int padding = 0; // "=" seen; only white space and more "=" may follow
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        if (IsSpace(c))
            continue;
        if (c == '=') {
            // Padding only completes a group of two or three characters.
            if (count + padding < 2)
                return false;
            if (++padding + count > 4)
                return false;
            continue;
        }
        const int v = DecodeChar(c);
        if (v < 0 || padding)
            return false;
        group = group << 6 | uint32_t(v);
        if (++count == 4) {
            bytes.push_back(uint8_t(group >> 16));
            bytes.push_back(uint8_t(group >> 8));
            bytes.push_back(uint8_t(group));
            group = 0;
            count = 0;
        }
    }
    if (padding && count + padding != 4)
        return false;
    if (count == 1)
        return false;
    // Tolerate missing padding: two or three characters still carry bytes.
    if (count == 2) {
        bytes.push_back(uint8_t(group >> 4));
    } else if (count == 3) {
        bytes.push_back(uint8_t(group >> 10));
        bytes.push_back(uint8_t(group >> 2));
    }
    out.swap(bytes);
    return true;
}
