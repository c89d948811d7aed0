// The writing side of the byte readers: fixed-width numbers as the bytes a tag stores them in.
#pragma once

#include <cstdint>
#include <string>

namespace audiolens {

inline std::string PutLE16(uint16_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8)};
}

inline std::string PutLE32(uint32_t v) {
    std::string out(4, '\0');
    for (size_t i = 0; i < 4; ++i)
        out[i] = static_cast<char>(v >> (8 * i));
    return out;
}

inline std::string PutLE64(uint64_t v) {
    return PutLE32(static_cast<uint32_t>(v)) + PutLE32(static_cast<uint32_t>(v >> 32));
}

inline std::string PutBE32(uint32_t v) {
    std::string out(4, '\0');
    for (size_t i = 0; i < 4; ++i)
        out[i] = static_cast<char>(v >> (8 * (3 - i)));
    return out;
}

// ID3v2-style 28-bit number as four 7-bit bytes, most significant first (the inverse of
// SyncSafe32).
inline std::string PutSyncSafe32(uint32_t v) {
    std::string out(4, '\0');
    for (size_t i = 0; i < 4; ++i)
        out[i] = static_cast<char>((v >> (7 * (3 - i))) & 0x7F);
    return out;
}

} // namespace audiolens
