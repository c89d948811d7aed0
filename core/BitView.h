// Bit fields read most significant bit first from bytes already in memory (a frame header in a
// block buffer). A field that reaches past the last byte reads as 0 and marks the view short, so
// a header walk stops there instead of reading out of bounds.
#pragma once

#include "core/ByteReader.h"

#include <cstdint>

namespace audiolens {

class TBitView {
  public:
    explicit TBitView(TByteView bytes, uint64_t bitPos = 0) : Bytes(bytes), Pos(bitPos) {}

    // The next count bits (at most 32) as a number; 0 and Short() when they are not all there.
    uint32_t Bits(unsigned count) {
        const uint32_t value = BitsAt(Pos, count);
        Pos += count;
        return value;
    }
    bool Flag() { return Bits(1) != 0; }
    void Skip(uint64_t count) { Pos += count; }

    // count bits (at most 32) at an absolute bit position, without moving.
    uint32_t BitsAt(uint64_t bitPos, unsigned count) {
        const uint64_t total = static_cast<uint64_t>(Bytes.Size()) * 8;
        if (count > 32 || bitPos > total || count > total - bitPos) {
            Missing = true;
            return 0;
        }
        uint64_t value = 0;
        for (unsigned done = 0; done < count;) {
            const uint64_t at = bitPos + done;
            const unsigned inByte = static_cast<unsigned>(at % 8);
            unsigned n = 8 - inByte;
            if (n > count - done) n = count - done;
            const unsigned byte = Bytes.U8(at / 8);
            value = value << n | ((byte >> (8 - inByte - n)) & ((1u << n) - 1));
            done += n;
        }
        return static_cast<uint32_t>(value);
    }

    uint64_t Position() const { return Pos; }
    // True once any field ran past the end of the bytes.
    bool Short() const { return Missing; }

  private:
    TByteView Bytes;
    uint64_t Pos;
    bool Missing = false;
};

} // namespace audiolens
