// Bit fields read most significant bit first from a stream, through a read-ahead buffer so a
// frame walk costs one system call per 64 KiB rather than one per byte.
#pragma once

#include "core/FileStream.h"

#include <array>
#include <cstdint>

namespace audiolens {

class TBitReader : public TObject {
  public:
    explicit TBitReader(TFileStream& stream) : Stream(stream) {}

    // Returns false when a byte was missing; value keeps the last 32 bits when count > 32.
    bool ReadBits(uint32_t count, uint32_t& value);
    // The stream's Seek, then BitPos 0 and the buffer dropped.
    uint64_t Seek(int64_t offset, int origin);
    // Byte position of the next unread byte.
    uint64_t Position() const { return BufferStart + BufferPos; }

    uint32_t BitPos = 0;
    uint8_t CurByte = 0;

  private:
    bool NextByte(uint8_t& byte);

    TFileStream& Stream;
    std::array<uint8_t, 65536> Buffer{};
    uint64_t BufferStart = 0; // stream offset of Buffer[0]
    uint32_t BufferLen = 0;
    uint32_t BufferPos = 0;
    bool Positioned = false;
};

} // namespace audiolens
