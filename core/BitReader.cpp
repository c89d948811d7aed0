#include "core/BitReader.h"

namespace audiolens {

bool TBitReader::NextByte(uint8_t& byte) {
    if (BufferPos >= BufferLen) {
        if (!Positioned) {
            const uint64_t at = Stream.Position();
            BufferStart = at == SeekFailed ? 0 : at;
            Positioned = true;
        } else {
            BufferStart += BufferLen;
        }
        BufferPos = 0;
        BufferLen = Stream.Read(Buffer.data(), static_cast<uint32_t>(Buffer.size()));
        if (BufferLen == 0) return false;
    }
    byte = Buffer[BufferPos++];
    return true;
}

bool TBitReader::ReadBits(uint32_t count, uint32_t& value) {
    bool ok = count <= 32;
    value = 0;
    while (count > 0) {
        if (BitPos == 0) ok = NextByte(CurByte);
        uint32_t n = count < 8 - BitPos ? count : 8 - BitPos;
        uint32_t bits = (static_cast<uint32_t>(CurByte) >> (8 - BitPos - n)) & ((1u << n) - 1);
        value = static_cast<uint32_t>((static_cast<uint64_t>(value) << n) | bits);
        BitPos = (BitPos + n) & 7;
        count -= n;
    }
    return ok;
}

uint64_t TBitReader::Seek(int64_t offset, int origin) {
    if (origin == FromCurrent) {
        offset += static_cast<int64_t>(Position());
        origin = FromBeginning;
    }
    const uint64_t at = Stream.Seek(offset, origin);
    BitPos = 0;
    BufferLen = BufferPos = 0;
    Positioned = at != SeekFailed;
    BufferStart = Positioned ? at : 0;
    return at;
}

} // namespace audiolens
