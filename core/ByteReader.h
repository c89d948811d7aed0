// Bounds-checked reads over a byte span: every reader goes through this, so a size field that
// points past the end becomes "stop here" (Has() false, a getter 0), never a read out of bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace audiolens {

class TByteView {
  public:
    TByteView() = default;
    TByteView(const uint8_t* data, size_t size) : Data(data), Length(size) {}
    explicit TByteView(std::string_view bytes)
        : Data(reinterpret_cast<const uint8_t*>(bytes.data())), Length(bytes.size()) {}

    size_t Size() const { return Length; }
    const uint8_t* Bytes() const { return Data; }
    // True when n bytes starting at offset lie inside the view (no overflow for huge values).
    bool Has(uint64_t offset, uint64_t n) const { return offset <= Length && n <= Length - offset; }

    uint8_t U8(uint64_t at) const { return Has(at, 1) ? Data[at] : 0; }
    uint16_t U16LE(uint64_t at) const { return static_cast<uint16_t>(Uint(at, 2, false)); }
    uint16_t U16BE(uint64_t at) const { return static_cast<uint16_t>(Uint(at, 2, true)); }
    uint32_t U24BE(uint64_t at) const { return static_cast<uint32_t>(Uint(at, 3, true)); }
    uint32_t U24LE(uint64_t at) const { return static_cast<uint32_t>(Uint(at, 3, false)); }
    uint32_t U32LE(uint64_t at) const { return static_cast<uint32_t>(Uint(at, 4, false)); }
    uint32_t U32BE(uint64_t at) const { return static_cast<uint32_t>(Uint(at, 4, true)); }
    uint64_t U64LE(uint64_t at) const { return Uint(at, 8, false); }
    uint64_t U64BE(uint64_t at) const { return Uint(at, 8, true); }

    // n bytes at offset as a string, cut to what is present.
    std::string Text(uint64_t at, uint64_t n) const {
        if (at >= Length) return {};
        if (n > Length - at) n = Length - at;
        return std::string(reinterpret_cast<const char*>(Data + at), static_cast<size_t>(n));
    }
    bool Matches(uint64_t at, std::string_view magic) const {
        return Has(at, magic.size()) && std::memcmp(Data + at, magic.data(), magic.size()) == 0;
    }
    TByteView Sub(uint64_t at, uint64_t n) const {
        if (at >= Length) return {};
        if (n > Length - at) n = Length - at;
        return TByteView(Data + at, static_cast<size_t>(n));
    }
    // Offset of the first occurrence of needle at or after from, or npos.
    size_t Find(std::string_view needle, size_t from = 0) const {
        std::string_view all(reinterpret_cast<const char*>(Data), Length);
        return all.find(needle, from);
    }
    static constexpr size_t npos = std::string_view::npos;

  private:
    uint64_t Uint(uint64_t at, unsigned n, bool bigEndian) const {
        if (!Has(at, n)) return 0;
        uint64_t v = 0;
        for (unsigned i = 0; i < n; ++i) {
            unsigned idx = bigEndian ? i : n - 1 - i;
            v = (v << 8) | Data[at + idx];
        }
        return v;
    }

    const uint8_t* Data = nullptr;
    size_t Length = 0;
};

inline uint32_t SwapBytes32(uint32_t v) {
    return __builtin_bswap32(v);
}
inline uint64_t SwapBytes64(uint64_t v) {
    return __builtin_bswap64(v);
}

// ID3v2-style 28-bit number from four 7-bit bytes.
inline uint32_t SyncSafe32(uint32_t v) {
    return ((v >> 24) & 0x7F) << 21 | ((v >> 16) & 0x7F) << 14 | ((v >> 8) & 0x7F) << 7 |
           (v & 0x7F);
}

} // namespace audiolens
